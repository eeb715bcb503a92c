#include "kdf/phc_string.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/kdf/kdf_test_support.h"

namespace mg::test {
namespace {

constexpr CPhcString::Limits kLimits{1048576, 100, 16};

// The example of the C2SP phc-strings document (its hash uses a secret, so
// only the parsing is checked here).
const char kExample[] = "$argon2id$v=19$m=65536,t=2,p=1$gZiV/M1gPc22ElAH/Jh1Hw$CWOrkoo7oJBQ/iyh7uJ0LO2aLEfrHwTWllSAxT0zRno";

TEST(PhcString, ParsesAndFormatsTheSameString) {
    const auto h = CPhcString::Parse(kExample, kLimits);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Parameters().type, CArgon2::Type::kId);
    EXPECT_EQ(h->Parameters().version, 0x13u);
    EXPECT_EQ(h->Parameters().memoryKiB, 65536u);
    EXPECT_EQ(h->Parameters().passes, 2u);
    EXPECT_EQ(h->Parameters().lanes, 1u);
    EXPECT_EQ(Hex(h->Salt().data(), h->Salt().size()), "819895fccd603dcdb6125007fc98751f");
    EXPECT_EQ(h->Tag().size(), 32u);
    EXPECT_EQ(CPhcString::Format(h->Parameters(), h->Salt().data(), h->Salt().size(), h->Tag().data(), h->Tag().size()),
              kExample);
}

TEST(PhcString, AcceptsEveryVariantVersionAndShortestFields) {
    const char* const good[] = {
        "$argon2i$v=19$m=8,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2d$v=16$m=4096,t=3,p=2$c29tZXNhbHQ$MTIzNA",
        "$argon2id$m=1048576,t=100,p=16$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=128,t=1,p=16$c29tZXNhbHQ$MTIzNDU",
        "$argon2id$v=19$m=64,t=1,p=1,data=YWQ$c29tZXNhbHQ$MTIzNA",
    };
    for (const char* s : good) EXPECT_TRUE(CPhcString::Parse(s, kLimits)) << s;
    EXPECT_EQ(CPhcString::Parse("$argon2id$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA", kLimits)->Parameters().version, 0x10u);
    EXPECT_EQ(CPhcString::Parse(good[4], kLimits)->AssociatedData(), (std::vector<unsigned char>{'a', 'd'}));
}

// Each differs from a good string in one way.
TEST(PhcString, RefusesMalformedStrings) {
    using namespace std::string_literals;
    const std::string bad[] = {
        "",
        "$",
        "argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$Argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id",
        "$argon2id$v=19",
        "$argon2id$v=19$m=64,t=1,p=1",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$",
        "$argon2id$v=19$m=64,t=1,p=1$$MTIzNA",
        "$argon2id$v=19$$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=18$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=019$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$t=1,m=64,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,p=1,t=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1,$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1,x=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1,keyid=YWQ$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1,data=$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1,data=" + std::string(44, 'A') + "$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=064,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=01,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=01$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=+64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=-64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m= 64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64 ,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=4294967296,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=99999999999999999999,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=1048577,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=101,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=256,t=1,p=17$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=0,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=0$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=7,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=15,t=1,p=2$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbA$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIz",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHR$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNB",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ=$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA==",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNAAAA",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNh-bHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIz_NA",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA$",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA ",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA\n",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA\0"s,
        "$argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA$extra",
        " $argon2id$v=19$m=64,t=1,p=1$c29tZXNhbHQ$MTIzNA",
        "$argon2id$v=19$m=64,t=1,p=1$c29tZX\0NhbHQ$MTIzNA"s,
        "$scrypt$ln=16,r=8,p=1$c29tZXNhbHQ$MTIzNA",
    };
    for (const auto& s : bad) EXPECT_FALSE(CPhcString::Parse(s, kLimits)) << s;
}

}  // namespace
}  // namespace mg::test
