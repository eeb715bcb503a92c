// GENERATEKEY; its edge lengths, host faults and threads are in tests/faults and tests/stress.
#include <set>

#include "host_fixture.h"

namespace mg::testing {
namespace {

// Every character a key can hold; upper-case letters stand in it twice, so come twice as often.
const std::string kFullPool =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    "{}|\\]?[\":;'><,./~!@#$%^&*()_+`-=";

using GenerateKey = HostTest;

// The switches' pools are checked on every key the stress test makes.
TEST_F(GenerateKey, ALogicalIsReadFromTheLowByteOfItsTruthValue) {
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
