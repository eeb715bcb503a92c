// Argon2 and its PHC strings against libargon2 (Debian's libargon2-dev), over
// random inputs and parameters, in both directions.
#include <argon2.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kdf/argon2.h"
#include "kdf/phc_string.h"
#include "tests/kdf/kdf_test_support.h"

namespace mg::test {
namespace {

struct Case {
    CArgon2::Parameters p;
    std::string password, salt, secret, ad;
    std::size_t tagLength;
};

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

Case RandomCase(std::mt19937& rng) {
    Case c;
    c.p.type = static_cast<CArgon2::Type>(rng() % 3);
    c.p.version = rng() % 2 ? CArgon2::kVersion13 : CArgon2::kVersion10;
    c.p.lanes = 1 + rng() % 4;
    c.p.memoryKiB = 8 * c.p.lanes + rng() % 200;
    c.p.passes = 1 + rng() % 3;
    c.password = RandomBytes(rng, rng() % 70);
    c.salt = RandomBytes(rng, 8 + rng() % 40);
    c.secret = RandomBytes(rng, rng() % 3 == 0 ? rng() % 33 : 0);
    c.ad = RandomBytes(rng, rng() % 3 == 0 ? rng() % 33 : 0);
    c.tagLength = 4 + rng() % 100;
    return c;
}

argon2_type OracleType(CArgon2::Type t) {
    return t == CArgon2::Type::kD ? Argon2_d : t == CArgon2::Type::kI ? Argon2_i : Argon2_id;
}

std::vector<unsigned char> Ours(const Case& c) {
    std::vector<unsigned char> tag(c.tagLength);
    CArgon2(c.p).Hash({{U(c.password), c.password.size()},
                       {U(c.salt), c.salt.size()},
                       {U(c.secret), c.secret.size()},
                       {U(c.ad), c.ad.size()}},
                      tag.data(), tag.size());
    return tag;
}

std::vector<unsigned char> Theirs(const Case& c) {
    std::vector<unsigned char> tag(c.tagLength);
    std::string password = c.password, secret = c.secret;  // libargon2 may clear these
    argon2_context ctx{};
    ctx.out = tag.data();
    ctx.outlen = static_cast<std::uint32_t>(tag.size());
    ctx.pwd = reinterpret_cast<std::uint8_t*>(password.data());
    ctx.pwdlen = static_cast<std::uint32_t>(password.size());
    ctx.salt = reinterpret_cast<std::uint8_t*>(const_cast<char*>(c.salt.data()));
    ctx.saltlen = static_cast<std::uint32_t>(c.salt.size());
    ctx.secret = secret.empty() ? nullptr : reinterpret_cast<std::uint8_t*>(secret.data());
    ctx.secretlen = static_cast<std::uint32_t>(secret.size());
    ctx.ad = c.ad.empty() ? nullptr : reinterpret_cast<std::uint8_t*>(const_cast<char*>(c.ad.data()));
    ctx.adlen = static_cast<std::uint32_t>(c.ad.size());
    ctx.t_cost = c.p.passes;
    ctx.m_cost = c.p.memoryKiB;
    ctx.lanes = ctx.threads = c.p.lanes;
    ctx.version = c.p.version;
    EXPECT_EQ(argon2_ctx(&ctx, OracleType(c.p.type)), ARGON2_OK);
    return tag;
}

std::string Describe(const Case& c) {
    return "type " + std::to_string(static_cast<int>(c.p.type)) + " v" + std::to_string(c.p.version) + " m" +
           std::to_string(c.p.memoryKiB) + " t" + std::to_string(c.p.passes) + " p" + std::to_string(c.p.lanes) +
           " password " + std::to_string(c.password.size()) + " salt " + std::to_string(c.salt.size()) + " secret " +
           std::to_string(c.secret.size()) + " ad " + std::to_string(c.ad.size()) + " tag " +
           std::to_string(c.tagLength);
}

TEST(Libargon2Oracle, RandomParametersSecretsAndTags) {
    std::mt19937 rng(9106);
    for (int round = 0; round < 150; ++round) {
        const Case c = RandomCase(rng);
        EXPECT_EQ(Ours(c), Theirs(c)) << Describe(c);
    }
}

// Strings written by either side verify with the other; a wrong password
// fails on both.
TEST(Libargon2Oracle, PhcStringsBothWays) {
    std::mt19937 rng(19);
    for (int round = 0; round < 60; ++round) {
        Case c = RandomCase(rng);
        c.secret.clear();
        c.ad.clear();
        c.tagLength = 12 + rng() % 53;
        const argon2_type type = OracleType(c.p.type);

        std::string encoded(argon2_encodedlen(c.p.passes, c.p.memoryKiB, c.p.lanes, static_cast<std::uint32_t>(c.salt.size()),
                                              static_cast<std::uint32_t>(c.tagLength), type),
                            '\0');
        ASSERT_EQ(argon2_hash(c.p.passes, c.p.memoryKiB, c.p.lanes, c.password.data(), c.password.size(), c.salt.data(),
                              c.salt.size(), nullptr, c.tagLength, encoded.data(), encoded.size(), type, c.p.version),
                  ARGON2_OK);
        encoded.resize(encoded.find('\0'));
        const auto parsed = CPhcString::Parse(encoded, {1048576, 100, 16});
        ASSERT_TRUE(parsed) << encoded;
        Case back = c;
        back.p = parsed->Parameters();
        back.salt.assign(parsed->Salt().begin(), parsed->Salt().end());
        back.tagLength = parsed->Tag().size();
        EXPECT_EQ(Ours(back), parsed->Tag()) << encoded;
        back.password += "x";
        EXPECT_NE(Ours(back), parsed->Tag()) << encoded;

        const std::vector<unsigned char> tag = Ours(c);
        const std::string ours = CPhcString::Format(c.p, U(c.salt), c.salt.size(), tag.data(), tag.size());
        EXPECT_EQ(ours, encoded) << "both write the one deterministic encoding";
        EXPECT_EQ(argon2_verify(ours.c_str(), c.password.data(), c.password.size(), type), ARGON2_OK) << ours;
        EXPECT_EQ(argon2_verify(ours.c_str(), "wrong", 5, type), ARGON2_VERIFY_MISMATCH) << ours;
    }
}

}  // namespace
}  // namespace mg::test
