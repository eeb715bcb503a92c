// Files sealed here open with the age tool (Debian package age) and files
// the age tool writes open here: X25519 recipients, several at once, the
// armored form, and passphrases (typed into the tool through a pseudo-terminal).
// Built where the tool runs natively.
#include <cstdlib>
#include <filesystem>

#include "host_fixture.h"

namespace mg::testing {
namespace {

#ifdef MG_AGE_PROGRAM

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class AgeInterop : public HostTest {
protected:
    TempDir dir;
    std::string Name(const std::string& file) const { return dir.File(file); }

    static int Shell(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

    void Call(const std::string& function, const std::vector<Value>& args) {
        const CallResult r = host.Call(function, args);
        ASSERT_TRUE(r.ok()) << function << ": " << r.message;
    }

    // An age-keygen identity file and its recipient.
    std::string KeygenIdentity(const std::string& file) {
        EXPECT_EQ(Shell(std::string(MG_AGE_KEYGEN_PROGRAM) + " -o " + Quote(Name(file))), 0);
        const std::string text = ReadFile(Name(file));
        const std::size_t at = text.find("# public key: ");
        return text.substr(at + 14, text.find('\n', at) - at - 14);
    }
};

const std::size_t kSizes[] = {0, 1, 65535, 65536, 65537, 1 << 20};

TEST_F(AgeInterop, X25519BothWaysWithManyRecipients) {
    const std::string toolRecipient = KeygenIdentity("tool.key");
    const std::string ourIdentity = Returned("GENERATEIDENTITY", {}).bytes;
    const std::string ourRecipient = Returned("RECIPIENT", {C(ourIdentity)}).bytes;
    WriteFile(Name("our.key"), ourIdentity + "\n");
    const std::string extra = Returned("RECIPIENT", {C(Returned("GENERATEIDENTITY", {}).bytes)}).bytes;
    const std::string age = MG_AGE_PROGRAM;
    for (std::size_t size : kSizes) {
        const std::string data = Pattern(size);
        WriteFile(Name("plain"), data);

        // Sealed here, opened by the tool with either identity file.
        Call("SEALFILE", {C(Name("plain")), C(Name("sealed")), C(extra + " " + toolRecipient + "," + ourRecipient), L(true)});
        for (const char* key : {"tool.key", "our.key"}) {
            std::filesystem::remove(Name("opened"));
            ASSERT_EQ(Shell(age + " -d -i " + Quote(Name(key)) + " -o " + Quote(Name("opened")) + " " + Quote(Name("sealed"))), 0)
                << size << " " << key;
            EXPECT_EQ(ReadFile(Name("opened")), data) << size;
        }

        // Sealed by the tool, binary and armored, opened here with the text of
        // an age-keygen file (comments included) or our own identity.
        for (const char* armor : {"", " -a"}) {
            ASSERT_EQ(Shell(age + armor + " -r " + toolRecipient + " -r " + ourRecipient + " -o " + Quote(Name("tool.age")) +
                            " " + Quote(Name("plain"))),
                      0);
            Call("UNSEALFILE", {C(Name("tool.age")), C(Name("opened")), C(ReadFile(Name("tool.key")))});
            EXPECT_EQ(ReadFile(Name("opened")), data) << size << armor;
            Call("UNSEALFILE", {C(Name("tool.age")), C(Name("opened2")), C(ourIdentity)});
            EXPECT_EQ(ReadFile(Name("opened2")), data) << size << armor;
        }
    }
}

TEST_F(AgeInterop, PassphrasesBothWays) {
    const std::string passphrase = "correct horse \xc3\xa4 battery";
    const std::string data = Pattern(65537);
    WriteFile(Name("plain"), data);
    const std::string pty = std::string(MG_PYTHON_PROGRAM) + " " + MG_AGE_PTY_SCRIPT + " " + Quote(passphrase) + " " + MG_AGE_PROGRAM;

    Call("SEALFILE", {C(Name("plain")), C(Name("sealed")), C(passphrase)});
    ASSERT_EQ(Shell(pty + " -d -o " + Quote(Name("opened")) + " " + Quote(Name("sealed"))), 0);
    EXPECT_EQ(ReadFile(Name("opened")), data);

    ASSERT_EQ(Shell(pty + " -p -o " + Quote(Name("tool.age")) + " " + Quote(Name("plain"))), 0);
    Call("UNSEALFILE", {C(Name("tool.age")), C(Name("opened2")), C(passphrase)});
    EXPECT_EQ(ReadFile(Name("opened2")), data);
    EXPECT_EQ(Error("UNSEALFILE", {C(Name("tool.age")), C(Name("opened3")), C("wrong")}),
              "SealFile ERROR: No key opens File " + Name("tool.age") + "!");
}

#endif

}  // namespace
}  // namespace mg::testing
