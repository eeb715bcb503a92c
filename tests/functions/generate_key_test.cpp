// GENERATEKEY. Lengths at the edges, host aborts and threads are covered with
// every other function in tests/faults and tests/stress.
#include <set>

#include "functions/generate_key.h"
#include "host_fixture.h"

namespace mg::testing {
namespace {

// Every character a key can hold; upper-case letters stand twice in the pool,
// so they are drawn twice as often.
const std::string kFullPool =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    "{}|\\]?[\":;'><,./~!@#$%^&*()_+`-=";

TEST(GenerateKeyUnits, IndexStaysInThePool) {
    EXPECT_EQ(functions::PoolIndex(0, 120), 0u);
    EXPECT_EQ(functions::PoolIndex(32767, 120), 119u);
    EXPECT_EQ(functions::PoolIndex(16384, 26), 13u);
}

using GenerateKey = HostTest;

TEST_F(GenerateKey, LengthAndPoolFollowTheSwitches) {
    const std::string key = Bytes("GENERATEKEY", {I(32), L(true), L(true), L(true)});
    ASSERT_EQ(key.size(), 32u);
    for (char c : key) EXPECT_NE(kFullPool.find(c), std::string::npos) << c;

    for (char c : Bytes("GENERATEKEY", {I(200)})) EXPECT_TRUE(c >= 'a' && c <= 'z') << c;
    for (char c : Bytes("GENERATEKEY", {I(200), L(true)})) EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) << c;
    // A logical is read from the low byte of its truth value.
    for (char c : Bytes("GENERATEKEY", {I(200), Value::Truth(0x100), Value::Truth(0x200), Value::Truth(0x100)})) {
        EXPECT_TRUE(c >= 'a' && c <= 'z') << c;
    }
}

TEST_F(GenerateKey, EveryPoolCharacterTurnsUp) {
    const std::string key = Bytes("GENERATEKEY", {I(30000), L(true), L(true), L(true)});
    EXPECT_EQ(std::set<char>(key.begin(), key.end()), std::set<char>(kFullPool.begin(), kFullPool.end()));
    std::size_t upper = 0, lower = 0;
    for (char c : key) upper += c >= 'A' && c <= 'Z', lower += c >= 'a' && c <= 'z';
    EXPECT_GT(upper, lower * 3 / 2);
}

}  // namespace
}  // namespace mg::testing
