#include "kdf/pbkdf2.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "digest/hmac.h"
#include "tests/kdf/kdf_test_support.h"

namespace mg::test {
namespace {

using namespace std::string_literals;

struct Pbkdf2Vector {
    const char* source;
    int hashType;
    std::string password;
    std::string salt;
    std::uint32_t iterations;
    const char* hex;
};

std::string Derive(const Pbkdf2Vector& v) {
    std::vector<unsigned char> out(std::string(v.hex).size() / 2);
    Pbkdf2(v.hashType, U(v.password), v.password.size(), U(v.salt), v.salt.size(), v.iterations, out.data(), out.size());
    return Hex(out.data(), out.size());
}

const Pbkdf2Vector kVectors[] = {
    {"RFC 6070 #1", 1, "password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
    {"RFC 6070 #2", 1, "password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
    {"RFC 6070 #3", 1, "password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
    {"RFC 6070 #5", 1, "passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
     "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
    {"RFC 6070 #6", 1, "pass\0word"s, "sa\0lt"s, 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
    {"RFC 7914 section 11 #1", 2, "passwd", "salt", 1,
     "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
     "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
    {"RFC 7914 section 11 #2", 2, "Password", "NaCl", 80000,
     "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
     "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"},
};

TEST(Pbkdf2, PublishedVectors) {
    for (const auto& v : kVectors) EXPECT_EQ(Derive(v), v.hex) << v.source;
}

TEST(Pbkdf2, Rfc6070SixteenMillionIterationsLong) {
    EXPECT_EQ(Derive({"RFC 6070 #4", 1, "password", "salt", 16777216, "eefe3d61cd4da4e4e9945b3d6ba2158c2634e984"}),
              "eefe3d61cd4da4e4e9945b3d6ba2158c2634e984");
}

TEST(Pbkdf2, RefusesZeroIterationsAndTouchesNothing) {
    unsigned char out[4] = {1, 2, 3, 4};
    EXPECT_THROW(Pbkdf2(2, U("p"), 1, U("s"), 1, 0, out, sizeof out), std::invalid_argument);
    EXPECT_EQ(Hex(out, 4), "01020304");
}

// A key longer than the block is hashed first (RFC 4231 case 6), and the
// prepared states serve any number of messages under one key.
TEST(Hmac, OversizedKeyAndRepeatedMessages) {
    const std::string key(131, '\xaa');
    const std::string message = "Test Using Larger Than Block-Size Key - Hash Key First";
    CHmac hmac(2);
    hmac.SetKey(U(key), key.size());
    for (int round = 0; round < 3; ++round) {
        unsigned char out[32];
        hmac.Update(U(message), 20);
        hmac.Update(U(message) + 20, message.size() - 20);
        hmac.Final(out);
        EXPECT_EQ(Hex(out, 32), "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54") << round;
    }
    EXPECT_EQ(hmac.Length(), 32u);
    EXPECT_EQ(CHmac(0).Length(), 64u) << "unknown types are SHA-512, as in HASH";
}

}  // namespace
}  // namespace mg::test
