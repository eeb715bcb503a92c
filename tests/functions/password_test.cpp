// HASHPASSWORD, VERIFYPASSWORD and DERIVEKEY as the host calls them.
#include <fstream>
#include <regex>

#if defined(__linux__) && defined(__x86_64__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "host_fixture.h"

namespace mg::testing {
namespace {

using namespace std::string_literals;

class Password : public HostTest {
protected:
    bool Verify(const std::string& password, const std::string& stored) {
        const CallResult r = host.Call("VERIFYPASSWORD", {C(password), C(stored)});
        EXPECT_TRUE(r.ok()) << r.error << " " << r.message << " " << stored;
        EXPECT_EQ(r.value.kind, Value::Kind::Logical);
        return r.value.logical;
    }
};

TEST_F(Password, HashWithTheDefaultsVerifiesAndIsSaltedAnew) {
    const std::string a = Bytes("HASHPASSWORD", {C("correct horse")});
    const std::string b = Bytes("HASHPASSWORD", {C("correct horse")});
    const std::regex form(R"(\$argon2id\$v=19\$m=19456,t=2,p=1\$[A-Za-z0-9+/]{22}\$[A-Za-z0-9+/]{43})");
    EXPECT_TRUE(std::regex_match(a, form)) << a;
    EXPECT_NE(a, b) << "the salt is drawn for every hash";
    EXPECT_TRUE(Verify("correct horse", a));
    EXPECT_FALSE(Verify("correct horsE", a));
    EXPECT_FALSE(Verify("", a));
}

TEST_F(Password, GivenCostsAndBinaryPasswords) {
    const std::string h = Bytes("HASHPASSWORD", {C("a\0b"s), I(64), I(3)});
    EXPECT_EQ(h.substr(0, 28), "$argon2id$v=19$m=64,t=3,p=1$");
    EXPECT_TRUE(Verify("a\0b"s, h));
    EXPECT_FALSE(Verify("a\0c"s, h)) << "bytes after a NUL count";
    EXPECT_FALSE(Verify("a", h));
    const std::string empty = Bytes("HASHPASSWORD", {C(""), I(8), I(1)});
    EXPECT_TRUE(Verify("", empty));
    EXPECT_FALSE(Verify("\0"s, empty));
    EXPECT_EQ(Bytes("HASHPASSWORD", {C("x"), I(8), I(100)}).substr(0, 29), "$argon2id$v=19$m=8,t=100,p=1$");
}

TEST_F(Password, CostsOutsideTheirRangesAreRefused) {
    const std::string message = "Password ERROR: Argon2 parameters out of range!";
    for (auto [m, t] : {std::pair{7, 2}, {1048577, 2}, {-1, 2}, {64, 0}, {64, 101}, {64, -5}})
        EXPECT_EQ(Error("HASHPASSWORD", {C("pw"), I(m), I(t)}), message) << m << " " << t;
    EXPECT_EQ(Error("HASHPASSWORD", {C("pw"), I(0)}), message);
}

// Written by libargon2 20171227 (argon2_hash), password "password" unless
// noted, salt "somesalt".
TEST_F(Password, VerifiesHashesOfOtherSystems) {
    struct Case {
        std::string password, stored;
    } cases[] = {
        {"password", "$argon2id$v=19$m=64,t=2,p=1$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI"},
        {"pass\0word"s, "$argon2i$v=19$m=32,t=3,p=4$c29tZXNhbHQ$oMfrdgrCetJbRLi/49rS3LX5USPdbW9k6mvIQiL2UZI"},
        {"", "$argon2d$v=16$m=64,t=1,p=2$c29tZXNhbHQ$ryGM3tzLI003UNj7ZJ4ztUk+ZQrDri8yTRH/EFZDpS0"},
        // Version 16 written without "v=", as the oldest writers do.
        {"x", "$argon2id$m=16,t=1,p=1$c29tZXNhbHQ$Jzcuq4nrvcj/fUPOmhTSTMbTyc2bP9PRUQ33Y8PRyfI"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(Verify(c.password, c.stored)) << c.stored;
        EXPECT_FALSE(Verify(c.password + "!", c.stored)) << c.stored;
    }
}

TEST_F(Password, StoredStringsThatAreNoHashAreRefused) {
    const std::string message = "Password ERROR: Not a valid password hash!";
    const std::string bad[] = {
        "",
        "password",
        "$argon2id$v=19$m=64,t=2,p=1$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI\0"s,
        "$argon2id$v=19$m=1048577,t=2,p=1$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI",
        "$argon2id$v=19$m=4294967295,t=4294967295,p=255$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI",
        "$argon2id$v=19$m=64,t=101,p=1$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI",
        "$argon2id$v=19$m=1024,t=1,p=17$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI",
        "$argon2id$v=19$m=64,t=2,p=1$c29tZXNhbA$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI",
        "$argon2id$v=19$m=64,t=2,p=1$c29tZXNhbHQ$FqGk",
        "$pbkdf2-sha256$i=1000$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI",
    };
    for (const auto& s : bad) EXPECT_EQ(Error("VERIFYPASSWORD", {C("password"), C(s)}), message) << s;
}

TEST_F(Password, DeriveKeyFollowsPbkdf2) {
    // RFC 6070 #6 and the defaults: a 32-byte key with SHA-512 (values from
    // Python's hashlib.pbkdf2_hmac).
    EXPECT_EQ(Hex(Bytes("DERIVEKEY", {C("pass\0word"s), C("sa\0lt"s), I(4096), I(16), I(1)})),
              "56fa6aa75548099dcc37d7f03425e0c3");
    EXPECT_EQ(Hex(Bytes("DERIVEKEY", {C("password"), C("salt"), I(1000)})),
              "afe6c5530785b6cc6b1c6453384731bd5ee432ee549fd42fb6695779ad8a1c5b");
    EXPECT_EQ(Bytes("DERIVEKEY", {C("password"), C("salt"), I(1000), I(32), I(99)}),
              Bytes("DERIVEKEY", {C("password"), C("salt"), I(1000), I(32), I(4)}))
        << "other types are SHA-512, as in HASH";
    EXPECT_EQ(Hex(Bytes("DERIVEKEY", {C("pw"), C(""), I(1), I(20), I(2)})), "6a65192736d636be9f08743ea5a9e37cf93c2701")
        << "an empty salt is allowed";
    EXPECT_EQ(Bytes("DERIVEKEY", {C("pw"), C("s"), I(1), I(1024), I(7)}).size(), 1024u);
}

TEST_F(Password, DeriveKeyRefusesLengthsAndIterationsOutOfRange) {
    for (int n : {0, -1, -2147483647 - 1})
        EXPECT_EQ(Error("DERIVEKEY", {C("pw"), C("salt"), I(n)}), "Password ERROR: Iterations must be at least 1!") << n;
    for (int n : {0, -1, 1025, 2147483647})
        EXPECT_EQ(Error("DERIVEKEY", {C("pw"), C("salt"), I(1), I(n)}), "Password ERROR: Key length must be 1 to 1024!")
            << n;
}

#if defined(__linux__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// A child process whose address space cannot take another gigabyte: the
// hash that needs one fails with 182, not a crash or another error, and
// leaves no handle behind.
TEST_F(Password, MemoryThatCannotBeHadIsError182) {
    const std::string stored =
        "$argon2id$v=19$m=1048576,t=1,p=1$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{256} << 20);
        const rlimit r{limit, limit};
        if (setrlimit(RLIMIT_AS, &r) != 0) _exit(3);
        const CallResult hashed = host.Call("HASHPASSWORD", {C("pw"), I(1048576), I(1)});
        const CallResult verified = host.Call("VERIFYPASSWORD", {C("pw"), C(stored)});
        const bool ok = hashed.error == abi::kErrorCannotGrow && verified.error == abi::kErrorCannotGrow &&
                        host.OccupiedHandles() == handlesAtStart;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
#endif

}  // namespace
}  // namespace mg::testing
