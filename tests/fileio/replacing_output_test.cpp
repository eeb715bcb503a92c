// The file functions' output: an earlier file under the output's name stays
// whole until the new one is complete, whether the call fails, throws or its
// process is killed; only recognisable temporary files may be left, and only
// by a killed process.
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "cipher/rc4_file.h"
#include "fileio/replacing_output.h"
#include "tests/cipher/cipher_test_util.h"

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#endif

namespace mg {
namespace {

using namespace test;
namespace fs = std::filesystem;

// Names in the folder other than those given.
std::vector<std::string> Others(const TempDir& dir, std::initializer_list<std::string> known) {
    std::vector<std::string> others;
    for (const auto& entry : fs::directory_iterator(fs::path(dir / "")))
        if (std::find(known.begin(), known.end(), entry.path().filename().string()) == known.end())
            others.push_back(entry.path().filename().string());
    return others;
}

bool IsTemporaryOf(const std::string& name, const std::string& output) {
    const std::string prefix = "." + output + ".marrowgate-";
    return name.rfind(prefix, 0) == 0 && name.size() > prefix.size() + 4 && name.substr(name.size() - 4) == ".tmp";
}

// Lifts the write limit however the test ends.
struct WriteLimit {
    explicit WriteLimit(std::int64_t bytes) { CReplacingOutput::LimitWritesForTesting(bytes); }
    ~WriteLimit() { CReplacingOutput::LimitWritesForTesting(-1); }
};

// One file call of each kind: the block ciphers (all three share the code,
// the modes differ in nothing here) and RC4, which has its own loop.
struct FileCall {
    const char* name;
    std::function<void(const std::string&, const std::string&)> run;
    const char* writeError;
};

std::vector<FileCall> FileCalls(Ciphers& ciphers) {
    const Bytes key = {'k', 'e', 'y'};
    auto block = [&ciphers, key](Config c, bool encrypt) {
        return [&ciphers, key, c, encrypt](const std::string& in, const std::string& out) {
            IBlockCipher& cipher = ciphers.Use(c, key);
            if (encrypt) cipher.EncryptFile(in.c_str(), out.c_str());
            else cipher.DecryptFile(in.c_str(), out.c_str());
        };
    };
    const char* blockError = "FileCrypt ERROR: Cannot write File ";
    return {
        {"Rijndael encrypt", block({Kind::kRijndael, 1, 2, 16, 16}, true), blockError},
        {"Blowfish encrypt", block({Kind::kBlowfish, 2, 4}, true), blockError},
        {"TEA encrypt", block({Kind::kTea, 3, 0}, true), blockError},
        {"RC4", [](const std::string& in, const std::string& out) { Rc4EncryptFile(in.c_str(), out.c_str(), "key"); },
         "Unable to write output file "},
    };
}

TEST(ReplacingOutput, AWriteFailurePartWayLeavesTheEarlierOutputAndNoTemporaryFile) {
    TempDir dir;
    Ciphers ciphers;
    // Three runs of the file loops: the later ones are written in the background.
    const Bytes plain = Pattern(800000, 3);
    const Bytes earlier = Pattern(5000, 4);
    WriteFile(dir / "plain", plain);
    for (const FileCall& call : FileCalls(ciphers)) {
        // Before the header, inside it, at the first and in a later buffer,
        // in the second run and in the third.
        for (std::int64_t limit : {0, 10, 65535, 65536, 200001, 300000, 600000}) {
            WriteFile(dir / "out", earlier);
            {
                WriteLimit cap(limit);
                EXPECT_EQ(ErrorOf([&] { call.run(dir / "plain", dir / "out"); }),
                          call.writeError + (dir / "out") + "!")
                    << call.name << " limit " << limit;
            }
            EXPECT_TRUE(ReadFile(dir / "out") == earlier) << call.name << " limit " << limit;
            EXPECT_EQ(Others(dir, {"plain", "out"}), std::vector<std::string>{}) << call.name;
            // Nothing was there: nothing is left.
            fs::remove(dir / "out");
            {
                WriteLimit cap(limit);
                EXPECT_NE(ErrorOf([&] { call.run(dir / "plain", dir / "out"); }), "<no exception>");
            }
            EXPECT_EQ(Others(dir, {"plain"}), std::vector<std::string>{}) << call.name;
        }
    }
    // Decryption that fails part way, through the block file's own loop.
    IBlockCipher& cipher = ciphers.Use({Kind::kRijndael, 1, 2, 16, 16}, Bytes{'k'});
    cipher.EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
    for (std::int64_t limit : {100000, 400000, 700000}) {
        WriteFile(dir / "out", earlier);
        {
            WriteLimit cap(limit);
            EXPECT_EQ(ErrorOf([&] { cipher.DecryptFile((dir / "enc").c_str(), (dir / "out").c_str()); }),
                      "FileCrypt ERROR: Cannot write File " + (dir / "out") + "!")
                << limit;
        }
        EXPECT_TRUE(ReadFile(dir / "out") == earlier) << limit;
    }
    EXPECT_EQ(Others(dir, {"plain", "enc", "out"}), std::vector<std::string>{});
}

TEST(ReplacingOutput, TheNewFileAppearsOnlyAtCommitAndAnAbortLeavesNothing) {
    TempDir dir;
    const Bytes earlier = {'o', 'l', 'd'};
    WriteFile(dir / "out", earlier);
    const Bytes data = Pattern(200000, 9);
    {
        CReplacingOutput first;
        CReplacingOutput second;
        ASSERT_TRUE(first.Open((dir / "out").c_str()));
        ASSERT_TRUE(second.Open((dir / "out").c_str()));
        // Two calls on one output at once never share a temporary file.
        EXPECT_NE(first.TemporaryName(), second.TemporaryName());
        for (const CReplacingOutput* o : {&first, &second}) {
            EXPECT_EQ(fs::path(o->TemporaryName()).parent_path(), fs::path(dir / "out").parent_path());
            EXPECT_TRUE(IsTemporaryOf(fs::path(o->TemporaryName()).filename().string(), "out"))
                << o->TemporaryName();
        }
        ASSERT_TRUE(first.Write(data.data(), data.size()));
        EXPECT_TRUE(ReadFile(dir / "out") == earlier);
        ASSERT_TRUE(first.Commit());
        EXPECT_TRUE(ReadFile(dir / "out") == data);
        EXPECT_EQ(Others(dir, {"out"}).size(), 1u);  // the second's, until it is destroyed
    }
    EXPECT_EQ(Others(dir, {"out"}), std::vector<std::string>{});
    {
        CReplacingOutput output;
        ASSERT_TRUE(output.Open((dir / "out").c_str()));
        output.Write(earlier.data(), earlier.size());
        output.Abort();
        EXPECT_FALSE(output.Commit());
    }
    EXPECT_TRUE(ReadFile(dir / "out") == data);
    EXPECT_EQ(Others(dir, {"out"}), std::vector<std::string>{});

    // A name too long to carry into the temporary name still gets one.
    const std::string longName(200, 'L');
    CReplacingOutput output;
    ASSERT_TRUE(output.Open((dir / longName).c_str()));
    EXPECT_EQ(fs::path(output.TemporaryName()).filename().string().rfind(".marrowgate-", 0), 0u)
        << output.TemporaryName();
    ASSERT_TRUE(output.Commit());
    EXPECT_TRUE(Exists(dir / longName));
}

TEST(ReplacingOutput, ANameThatCannotBeWrittenIsAnOpenErrorAndTouchesNothing) {
    TempDir dir;
    const Bytes earlier = {'o', 'l', 'd'};
    WriteFile(dir / "plain", Pattern(1000));
    CRijndael cipher;
    const unsigned char key[] = {'k'};
    cipher.Initialize(key, 1, nullptr, 16, 16, 1, 2);
    // A folder that is not there, and a folder in the output's place.
    fs::create_directory(dir / "folder");
    for (const std::string& out : {dir / "none" + "/out", dir / "folder"}) {
        EXPECT_EQ(ErrorOf([&] { cipher.EncryptFile((dir / "plain").c_str(), out.c_str()); }),
                  "FileCrypt ERROR: Cannot open File " + out + "!");
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    // A read-only output is refused, as writing into it was (root may write anything).
#ifndef _WIN32
    if (geteuid() == 0) return;
#endif
    WriteFile(dir / "ro", earlier);
    fs::permissions(dir / "ro", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(ErrorOf([&] { cipher.EncryptFile((dir / "plain").c_str(), (dir / "ro").c_str()); }),
              "FileCrypt ERROR: Cannot open File " + (dir / "ro") + "!");
    EXPECT_TRUE(ReadFile(dir / "ro") == earlier);
    fs::permissions(dir / "ro", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(Others(dir, {"plain", "folder", "ro"}), std::vector<std::string>{});
}

#ifdef _WIN32

TEST(ReplacingOutput, TheNullDeviceIsWrittenDirectly) {
    TempDir dir;
    WriteFile(dir / "plain", Pattern(100000));
    EXPECT_NO_THROW(Rc4EncryptFile((dir / "plain").c_str(), "NUL", "key"));
    EXPECT_EQ(Others(dir, {"plain"}), std::vector<std::string>{});
}

#else

TEST(ReplacingOutput, PermissionBitsCarryOverAndLinksStayLinks) {
    TempDir dir;
    WriteFile(dir / "plain", Pattern(1000));
    for (mode_t mode : {0600, 0640, 0755, 0444}) {
        WriteFile(dir / "out", {'x'});
        ASSERT_EQ(chmod((dir / "out").c_str(), mode), 0);
        if (mode == 0444 && geteuid() != 0) break;  // refused, tested above
        Rc4EncryptFile((dir / "plain").c_str(), (dir / "out").c_str(), "key");
        struct stat st;
        ASSERT_EQ(stat((dir / "out").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(ReadFile(dir / "out").size(), 1000u);
    }
    // A new output is made as any new file: the process's umask decides.
    const mode_t mask = umask(022);
    Rc4EncryptFile((dir / "plain").c_str(), (dir / "new").c_str(), "key");
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat((dir / "new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    // Through a link the file it leads to is replaced; the link stays.
    ASSERT_EQ(symlink("out", (dir / "link").c_str()), 0);
    Rc4EncryptFile((dir / "plain").c_str(), (dir / "link").c_str(), "other");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_TRUE(ReadFile(dir / "out") == ReadFile(dir / "link"));
    // A link that leads nowhere yet is written through and makes its target.
    ASSERT_EQ(symlink("target", (dir / "dangling").c_str()), 0);
    Rc4EncryptFile((dir / "plain").c_str(), (dir / "dangling").c_str(), "other");
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_TRUE(ReadFile(dir / "target") == ReadFile(dir / "out"));
    EXPECT_EQ(Others(dir, {"plain", "out", "new", "link", "dangling", "target"}), std::vector<std::string>{});
}

TEST(ReplacingOutput, DevicesAndPipesAreWrittenDirectly) {
    TempDir dir;
    const Bytes plain = Pattern(200000, 5);
    WriteFile(dir / "plain", plain);
    Rc4EncryptFile((dir / "plain").c_str(), "/dev/null", "key");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    Rc4EncryptFile((dir / "plain").c_str(), (dir / "file").c_str(), "key");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    Bytes received;
    std::thread reader([&] {
        std::ifstream in(dir / "fifo", std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    });
    Rc4EncryptFile((dir / "plain").c_str(), (dir / "fifo").c_str(), "key");
    reader.join();
    EXPECT_TRUE(received == ReadFile(dir / "file"));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_EQ(Others(dir, {"plain", "file", "fifo"}), std::vector<std::string>{});
}

// A real write failure, not an injected one: the file size limit makes the
// kernel refuse writes past it (EFBIG), in a child so the limit stays there.
TEST(ReplacingOutput, AFileSizeLimitReachedPartWayLeavesTheEarlierOutput) {
    TempDir dir;
    Ciphers ciphers;
    WriteFile(dir / "plain", Pattern(300000, 8));
    const Bytes earlier = Pattern(1000, 9);
    for (const FileCall& call : FileCalls(ciphers)) {
        WriteFile(dir / "out", earlier);
        const pid_t pid = fork();
        if (pid == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const struct rlimit limit = {150000, 150000};
            setrlimit(RLIMIT_FSIZE, &limit);
            const std::string error = ErrorOf([&] { call.run(dir / "plain", dir / "out"); });
            _exit(error == call.writeError + (dir / "out") + "!" ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << call.name << ": not the write error";
        EXPECT_TRUE(ReadFile(dir / "out") == earlier) << call.name;
        EXPECT_EQ(Others(dir, {"plain", "out"}), std::vector<std::string>{}) << call.name;
    }
}

// A child process runs the call and is killed after a delay; the delays spread
// over the time a whole call takes, so the kill lands while the temporary file
// is written, around the flush and the rename, and after.
TEST(ReplacingOutput, LongAKilledCallLeavesTheEarlierOrTheCompleteNewOutput) {
    TempDir dir;
    Ciphers ciphers;
    const Bytes key = {'k', 'i', 'l', 'l'};
    const Config config = {Kind::kRijndael, 1, 2, 32, 16};
    const Bytes plain = Pattern(8 << 20, 21);
    WriteFile(dir / "plain", plain);
    ciphers.Use(config, key).EncryptFile((dir / "plain").c_str(), (dir / "expected.enc").c_str());
    const Bytes encrypted = ReadFile(dir / "expected.enc");
    const Bytes earlier = Pattern(4096, 22);

    struct Case {
        const char* name;
        std::string in;
        const Bytes* complete;
        bool encrypt;
    } cases[] = {{"ENCRYPTFILE", dir / "plain", &encrypted, true}, {"DECRYPTFILE", dir / "expected.enc", &plain, false}};
    for (const Case& c : cases) {
        auto start = [&] {
            const pid_t pid = fork();
            if (pid == 0) {
                try {
                    IBlockCipher& cipher = ciphers.Use(config, key);
                    if (c.encrypt) cipher.EncryptFile(c.in.c_str(), (dir / "out").c_str());
                    else cipher.DecryptFile(c.in.c_str(), (dir / "out").c_str());
                } catch (...) {
                    _exit(2);
                }
                _exit(0);
            }
            return pid;
        };
        // How long a whole call takes here.
        WriteFile(dir / "out", earlier);
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t timed = start();
        int status = 0;
        ASSERT_EQ(waitpid(timed, &status, 0), timed);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name;
        const auto whole = std::chrono::steady_clock::now() - t0;
        ASSERT_TRUE(ReadFile(dir / "out") == *c.complete) << c.name;

        int kept = 0;
        int replaced = 0;
        constexpr int kKills = 40;
        for (int i = 0; i < kKills; ++i) {
            WriteFile(dir / "out", earlier);
            const pid_t pid = start();
            ASSERT_GT(pid, 0);
            // From at once to twice a whole call, so that a loaded machine,
            // where a call may run long, still sees both outcomes.
            std::this_thread::sleep_for(whole * i * 2 / kKills);
            kill(pid, SIGKILL);
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            const Bytes now = ReadFile(dir / "out");
            if (now == earlier) {
                ++kept;
            } else {
                ASSERT_TRUE(now == *c.complete) << c.name << ": " << now.size() << " bytes after a kill at step " << i;
                ++replaced;
            }
            for (const std::string& other : Others(dir, {"plain", "expected.enc", "out"})) {
                EXPECT_TRUE(IsTemporaryOf(other, "out")) << other;
                EXPECT_NE(other.find("-" + std::to_string(pid) + "-"), std::string::npos) << other;
                fs::remove(dir / other);
            }
        }
        std::printf("%s: %d kills kept the earlier file, %d found the new one complete (a whole call: %lld ms)\n",
                    c.name, kept, replaced,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(whole).count()));
        EXPECT_GT(kept, 0) << c.name;
        EXPECT_GT(replaced, 0) << c.name;
    }
}

#endif

}  // namespace
}  // namespace mg
