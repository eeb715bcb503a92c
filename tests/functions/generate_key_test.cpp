#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "functions/generate_key.h"
#include "host_fixture.h"

namespace mg::testing {
namespace {

using functions::KeyPool;

TEST(GenerateKeyUnits, OnloadSeedFormula) {
    EXPECT_EQ(functions::OnloadSeed(0x01020304u), 68097034u);
    EXPECT_EQ(functions::OnloadSeed(0), 0u);
    // Wraps in 32 bits rather than overflowing.
    EXPECT_EQ(functions::OnloadSeed(0xFFFFFFFFu), static_cast<std::uint32_t>(((255ull * 257 + 255) * 257 + 255) * 257 + 255));
}

TEST(GenerateKeyUnits, PoolOrderAndIndex) {
    EXPECT_EQ(KeyPool(false, false, false), "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(KeyPool(true, false, false).size(), 36u);
    EXPECT_EQ(KeyPool(false, true, false).size(), 78u);
    const std::string all = KeyPool(true, true, true);
    ASSERT_EQ(all.size(), 120u);
    EXPECT_EQ(all.substr(52, 10), "0123456789") << "digits sit between the two upper-case runs";
    EXPECT_EQ(all.substr(62, 26), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(all.substr(88), "{}|\\]?[\":;'><,./~!@#$%^&*()_+`-=");
    EXPECT_EQ(functions::PoolIndex(0, 120), 0u);
    EXPECT_EQ(functions::PoolIndex(32767, 120), 119u);
    EXPECT_EQ(functions::PoolIndex(16384, 26), 13u);
}

using GenerateKey = HostTest;

TEST_F(GenerateKey, LengthAndPoolFollowTheSwitches) {
    const std::string key = Bytes("GENERATEKEY", {I(32), L(true), L(true), L(true)});
    ASSERT_EQ(key.size(), 32u);
    const std::string pool = KeyPool(true, true, true);
    for (char c : key) EXPECT_NE(pool.find(c), std::string::npos) << c;

    for (char c : Bytes("GENERATEKEY", {I(200)})) EXPECT_TRUE(c >= 'a' && c <= 'z') << c;
    for (char c : Bytes("GENERATEKEY", {I(200), L(true)})) EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) << c;
    // A logical is read from the low byte of its truth value.
    for (char c : Bytes("GENERATEKEY", {I(200), Value::Truth(0x100)})) EXPECT_TRUE(c >= 'a' && c <= 'z') << c;
}

TEST_F(GenerateKey, NonPositiveLengthsGiveTheEmptyString) {
    for (int n : {0, -5, -2147483647 - 1}) {
        CallResult r = host.Call("GENERATEKEY", {I(n), L(true)});
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.value.kind, Value::Kind::Bytes);
        EXPECT_EQ(r.value.bytes, "") << n;
    }
}

TEST_F(GenerateKey, EveryPoolCharacterTurnsUp) {
    const std::string key = Bytes("GENERATEKEY", {I(30000), L(true), L(true), L(true)});
    const std::set<char> seen(key.begin(), key.end());
    const std::string pool = KeyPool(true, true, true);
    EXPECT_EQ(seen, std::set<char>(pool.begin(), pool.end()));
    // Upper-case letters stand twice in the pool, so they come about twice as often.
    std::size_t upper = 0, lower = 0;
    for (char c : key) upper += c >= 'A' && c <= 'Z', lower += c >= 'a' && c <= 'z';
    EXPECT_GT(upper, lower * 3 / 2);
}

TEST_F(GenerateKey, AHostAbortOnTheResultLeaksNothing) {
    host.SetObserver([](abi::HostRequest& r) {
        if (r.libraryCode == abi::kReturnValue) r.libraryCode = abi::kAbort;
    });
    CallResult r = host.Call("GENERATEKEY", {I(64)});
    EXPECT_EQ(r.value.kind, Value::Kind::None);
    host.SetObserver(nullptr);
    EXPECT_EQ(Bytes("GENERATEKEY", {I(3)}).size(), 3u);
}

TEST_F(GenerateKey, HostThreadsCallAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&good, t] {
            hostsim::Host own;
            for (int i = 0; i < 200; ++i) good[t] += own.Call("GENERATEKEY", {Value::Int(40)}).value.bytes.size() == 40;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good, std::vector<int>(4, 200));
}

}  // namespace
}  // namespace mg::testing
