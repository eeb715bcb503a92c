#include "kdf/argon2.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "digest/blake2b.h"
#include "tests/kdf/kdf_test_support.h"

namespace mg::test {
namespace {

using Type = CArgon2::Type;

struct Blake2bVector {
    const char* source;
    std::string message;
    std::string key;
    std::size_t outLength;
    const char* hex;
};

std::string Bytes(int first, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += static_cast<char>(first + i);
    return s;
}

TEST(Blake2b, PublishedVectors) {
    const Blake2bVector vectors[] = {
        {"RFC 7693 appendix A", "abc", "", 64,
         "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d1"
         "7d87c5392aab792dc252d5de4533cc9518d38aa8dbf1925ab92386edd4009923"},
        {"BLAKE2 reference KAT, empty message", "", "", 64,
         "786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419"
         "d25e1031afee585313896444934eb04b903a685b1448b755d56f701afe9be2ce"},
        {"BLAKE2 reference keyed KAT, 0 bytes", "", Bytes(0, 64), 64,
         "10ebb67700b1868efb4417987acf4690ae9d972fb7a590c2f02871799aaa4786"
         "b5e996e8f0f4eb981fc214b005f42d2ff4233499391653df7aefcbc13fc51568"},
        {"BLAKE2 reference keyed KAT, 255 bytes", Bytes(0, 255), Bytes(0, 64), 64,
         "142709d62e28fcccd0af97fad0f8465b971e82201dc51070faa0372aa43e9248"
         "4be1c1e73ba10906d5d1853db6a4106e0a7bf9800d373d6dee2d46d62ef2a461"},
    };
    for (const auto& v : vectors) {
        for (std::size_t split : {std::size_t{0}, std::size_t{1}, std::size_t{128}}) {
            if (split > v.message.size()) continue;
            CBlake2b h(v.outLength, U(v.key), v.key.size());
            h.Update(U(v.message), split);
            h.Update(U(v.message) + split, v.message.size() - split);
            unsigned char out[64];
            h.Final(out);
            EXPECT_EQ(Hex(out, v.outLength), v.hex) << v.source << " split " << split;
        }
    }
    EXPECT_THROW(CBlake2b(0), std::invalid_argument);
    EXPECT_THROW(CBlake2b(65), std::invalid_argument);
}

struct Argon2Vector {
    Type type;
    const char* hex;
};

// RFC 9106, sections 5.1 to 5.3: m = 32, t = 3, p = 4, password 32 x 0x01,
// salt 16 x 0x02, secret 8 x 0x03, associated data 12 x 0x04, 32-byte tag.
const Argon2Vector kRfc9106[] = {
    {Type::kD, "512b391b6f1162975371d30919734294f868e3be3984f3c1a13a4db9fabe4acb"},
    {Type::kI, "c814d9d1dc7f37aa13f0d77f2494bda1c8de6b016dd388d29952a4c4672b6ce8"},
    {Type::kId, "0d640df58d78766c08c037a34a8b53c9d01ef0452d75b65eb52520e96b01e659"},
};

std::string Rfc9106Tag(Type type, Argon2FillFn fill) {
    const std::string password(32, '\x01'), salt(16, '\x02'), secret(8, '\x03'), ad(12, '\x04');
    CArgon2::Parameters p;
    p.type = type;
    p.memoryKiB = 32;
    p.passes = 3;
    p.lanes = 4;
    CArgon2 argon2(p, fill);
    unsigned char tag[32];
    argon2.Hash({{U(password), password.size()}, {U(salt), salt.size()}, {U(secret), secret.size()}, {U(ad), ad.size()}},
                tag, sizeof tag);
    return Hex(tag, sizeof tag);
}

TEST(Argon2, Rfc9106VectorsOnEveryKernel) {
    for (const auto& kernel : Argon2Kernels()) {
        if (!kernel.usable(DetectCpu())) continue;
        for (const auto& v : kRfc9106) EXPECT_EQ(Rfc9106Tag(v.type, kernel.fill), v.hex) << kernel.name;
    }
}

// Every variant against the portable one, on random blocks, with and
// without the xor of the later passes, and with the output standing where
// an input is (the address blocks are made that way).
TEST(Argon2, KernelsMatchThePortableOne) {
    std::mt19937_64 rng(9106);
    for (const auto& kernel : Argon2Kernels()) {
        if (!kernel.usable(DetectCpu())) continue;
        for (int round = 0; round < 50; ++round) {
            Argon2Block prev, ref, next;
            for (auto* b : {&prev, &ref, &next})
                for (auto& w : b->v) w = rng();
            Argon2Block expected = next, actual = next;
            const bool withXor = round % 2 != 0;
            Argon2FillPortable(prev, ref, expected, withXor);
            kernel.fill(prev, ref, actual, withXor);
            ASSERT_EQ(std::vector<std::uint64_t>(expected.v, expected.v + 128),
                      std::vector<std::uint64_t>(actual.v, actual.v + 128))
                << kernel.name << " round " << round;
            Argon2Block inPlace = ref;
            kernel.fill(prev, inPlace, inPlace, false);
            Argon2Block separate;
            Argon2FillPortable(prev, ref, separate, false);
            ASSERT_EQ(std::vector<std::uint64_t>(separate.v, separate.v + 128),
                      std::vector<std::uint64_t>(inPlace.v, inPlace.v + 128))
                << kernel.name;
        }
    }
}

std::string Tag(const CArgon2::Parameters& p, const std::string& password, const std::string& salt,
                std::size_t tagLength) {
    std::vector<unsigned char> tag(tagLength);
    CArgon2(p).Hash({{U(password), password.size()}, {U(salt), salt.size()}, {}, {}}, tag.data(), tag.size());
    return Hex(tag.data(), tag.size());
}

// Memory over several chunks, lanes that do not divide it, version 0x10, and
// tags of every H' shape (up to 64 bytes, just over, several chained
// digests); the values come from libargon2 20171227.
TEST(Argon2, ShapesBeyondTheRfcVectors) {
    struct Case {
        Type type;
        std::uint32_t version, memoryKiB, passes, lanes;
        std::size_t tagLength;
        const char* hex;
    };
    const Case cases[] = {
        {Type::kId, 0x13, 2100, 1, 1, 32,
         "77ed4f421c9b85a7356de08d6d2528f8d329a7eb1c84b361192bc19d158b9c2c"},
        {Type::kId, 0x13, 3000, 2, 3, 16,
         "39e58084b740490d43399c08646f3e35"},
        {Type::kI, 0x13, 1030, 2, 1, 64,
         "07b187cb2019c72167dd03fd7c88af54872b979a9d1ed3e6a080746d1282ee6f"
         "c4563cff9039e419b4ec5788185fc145141c307b458ca8fca598d673aaa19dbe"},
        {Type::kD, 0x13, 64, 4, 2, 65,
         "c1deaec963927d21c85d826a060405f32931ad7fb00b89bb9da3b7ca2d0f2837"
         "bd3c776ab1ee6d041ad7d49eda3e39c966ee7aeb2c7d9fd2fdbbd0d11665f20d"
         "5f"},
        {Type::kId, 0x10, 64, 2, 1, 32,
         "e270c282aaa2fcc62f3d4ad4abc65f554ac5b68e37897616eebcb271ab54ce82"},
        {Type::kI, 0x10, 256, 3, 2, 32,
         "358ad32aa61492d169c51c0b0862451c96d8f7f88e1a1ca037c0d336765709f6"},
        {Type::kD, 0x10, 128, 1, 1, 4,
         "2c724238"},
        {Type::kId, 0x13, 64, 1, 1, 200,
         "8774c4b41704448be0aef7e200e0f84da33510aa2b4910c1012e04dfbec20d51"
         "f41d2e82c2bcac4de5b12a27f45a88af1cdbcb0e22295b22fa94398a48a7a9db"
         "d443ff21d48baff1dd8a9f605084f981f59ecca929e43d05e554ebf1d899746d"
         "a752150fdfa3f023a12ac676372840c2f46a6d63a7f983eb8037fc8c82d4e7c4"
         "ff9aed9e40d8a30da94f8339509e786d7671d81df43d2b543a60cc489ee46f9d"
         "6ad8b871d013690a79f827813e9273bc7e819ba079a4cd0c9d4efcd0ff8269aa"
         "15bb15f07342a61b"},
        {Type::kId, 0x13, 16, 1, 2, 97,
         "4b0c4966a53bd4861803fd4aab0d88e342b321ee516866d8b741d71a065ebf8f"
         "a19af22166eb705451aaadc136eace4bbffc81c731e71ca4be48860cb72cffb6"
         "a546080cf22afeb192f138b4c080b519a0fc8203c7f59929d8a79c61a0f6b302"
         "4a"},
    };
    for (const auto& c : cases) {
        CArgon2::Parameters p{c.type, c.version, c.memoryKiB, c.passes, c.lanes};
        EXPECT_EQ(Tag(p, "password", "somesalt", c.tagLength), c.hex)
            << static_cast<int>(c.type) << " v" << c.version << " m" << c.memoryKiB << " t" << c.passes << " p"
            << c.lanes << " tag " << c.tagLength;
    }
}

TEST(Argon2, RefusesWhatArgon2DoesNotDefine) {
    auto make = [](std::uint32_t m, std::uint32_t t, std::uint32_t p, std::uint32_t v) {
        CArgon2::Parameters parameters;
        parameters.memoryKiB = m;
        parameters.passes = t;
        parameters.lanes = p;
        parameters.version = v;
        return CArgon2(parameters);
    };
    EXPECT_THROW(make(7, 1, 1, 0x13), std::invalid_argument);
    EXPECT_THROW(make(15, 1, 2, 0x13), std::invalid_argument);
    EXPECT_THROW(make(8, 0, 1, 0x13), std::invalid_argument);
    EXPECT_THROW(make(8, 1, 0, 0x13), std::invalid_argument);
    EXPECT_THROW(make(8, 1, 1, 0x12), std::invalid_argument);
    EXPECT_EQ(make(8, 1, 1, 0x10).MemoryBlocks(), 8u);
    EXPECT_EQ(make(35, 1, 2, 0x13).MemoryBlocks(), 32u) << "rounded down to whole segments";
    unsigned char tag[4];
    const CArgon2 a = make(8, 1, 1, 0x13);
    EXPECT_THROW(a.Hash({{U("p"), 1}, {U("1234567"), 7}, {}, {}}, tag, 4), std::invalid_argument);
    EXPECT_THROW(a.Hash({{U("p"), 1}, {U("12345678"), 8}, {}, {}}, tag, 3), std::invalid_argument);
    EXPECT_NO_THROW(a.Hash({{}, {U("12345678"), 8}, {}, {}}, tag, 4));
}

}  // namespace
}  // namespace mg::test
