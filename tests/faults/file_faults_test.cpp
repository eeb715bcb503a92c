// Files that misbehave: a full device, a folder, names too long, files that
// change while read. Each ends in an error the host can show or a result right
// for what was read; never a crash, a hang or a silent half result.
#include <filesystem>
#include <fstream>

#include "fileio/double_buffering.h"
#include "fault_fixture.h"

namespace mg::testing {
namespace {

namespace fs = std::filesystem;

using FileFaults = FaultTest;

const std::int32_t kEveryCipher[] = {2, 4, 8, 1024};

TEST_F(FileFaults, OutputToTheAlwaysFullDeviceIsAWriteError) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    // The large one cannot hide in a stream buffer until close.
    const std::string big = dir.File("big");
    WriteFile(big, std::string(300000, 'q'));
    const std::string enc = dir.File("good.enc");
    for (const std::string& in : {plain, big}) {
        for (std::int32_t type : kEveryCipher) {
            const std::string m = type == 1024 ? "Unable to write output file /dev/full!"
                                                : "FileCrypt ERROR: Cannot write File /dev/full!";
            EXPECT_EQ(Error("ENCRYPTFILE", {C(in), C("/dev/full"), C("key"), I(type)}), m) << "type " << type;
            ASSERT_TRUE(host.Call("ENCRYPTFILE", {C(in), C(enc), C("key"), I(type)}).ok());
            EXPECT_EQ(Error("DECRYPTFILE", {C(enc), C("/dev/full"), C("key"), I(type)}), m) << "type " << type;
        }
    }
}

TEST_F(FileFaults, AFolderWhereAFileIsExpected) {
    const std::string folder = dir.File("folder");
    fs::create_directories(folder);
    // An error naming the folder, never the digest of nothing or an empty file.
    auto expectRefused = [&](const std::string& name, std::vector<Value> args) {
        const CallResult r = host.Call(name, args);
        EXPECT_NE(r.error, 0) << name << " failed silently";
        EXPECT_EQ(r.value.kind, Value::Kind::None) << name << " failed and still returned a value";
        EXPECT_NE(r.message.find(folder), std::string::npos) << r.message;
    };
    expectRefused("HASHFILE", {C(folder)});  // CRCFILE's 0 for a folder is in tests/checksum
    for (std::int32_t type : kEveryCipher) {
        expectRefused("ENCRYPTFILE", {C(folder), C(dir.File("out")), C("key"), I(type)});
        expectRefused("DECRYPTFILE", {C(folder), C(dir.File("out")), C("key"), I(type)});
        expectRefused("ENCRYPTFILE", {C(plain), C(folder), C("key"), I(type)});
        EXPECT_TRUE(fs::is_directory(folder));
    }
}

TEST_F(FileFaults, NamesLongerThanAnyFileSystemTakes) {
    for (std::size_t length : {300u, 5000u, 70000u}) {
        const std::string name = dir.File(std::string(length, 'n'));
        const std::string cannotOpen = "FileCrypt ERROR: Cannot open File " + name + "!";
        EXPECT_EQ(Error("ENCRYPTFILE", {C(name), C(dir.File("o")), C("k")}), cannotOpen);
        EXPECT_EQ(Error("ENCRYPTFILE", {C(plain), C(name), C("k")}), cannotOpen);
        EXPECT_EQ(Error("DECRYPTFILE", {C(name), C(dir.File("o")), C("k")}), cannotOpen);
        EXPECT_EQ(Error("DECRYPTFILE", {C(name), C(dir.File("o")), C("k"), I(1024)}),
                  "Unable to open input file " + name + "!");
    }
#if !defined(_WIN32)
    // A long path that does exist: folders nested past 300 characters.
    fs::path deep = dir.File("");
    for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
    fs::create_directories(deep);
    WriteFile((deep / "file").string(), "abc");
    EXPECT_EQ(Bytes("HASHFILE", {C((deep / "file").string()), I(1)}), Bytes("HASH", {C("abc"), I(1)}));
#endif
}

// The reader on a real file that changes between its reads, unbuffered.
std::string ReadWhileChanging(const std::string& path, std::size_t changeAfter,
                              const std::function<void()>& change) {
    std::ifstream in;
    in.rdbuf()->pubsetbuf(nullptr, 0);
    in.open(path, std::ios::binary);
    unsigned char buffer[1024];
    unsigned char chunk[384];
    CDoubleBuffering reader(in, buffer, sizeof buffer, sizeof chunk);
    std::string joined;
    bool changed = false;
    for (int calls = 0; calls < 100000; ++calls) {
        if (!changed && joined.size() >= changeAfter) {
            change();
            changed = true;
        }
        const std::int32_t n = reader.GetData(chunk, -1);
        if (n <= 0) break;
        joined.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(n));
    }
    EXPECT_TRUE(reader.m_bEnd) << "the data never ended";
    return joined;
}

TEST_F(FileFaults, ReaderOnAFileCutShortOrGrownWhileRead) {
    const std::string path = dir.File("changing");
    const std::string original = Pattern(20000);
    for (std::size_t cutTo : {0u, 1u, 700u, 5000u, 15000u}) {
        WriteFile(path, original);
        const std::string got = ReadWhileChanging(path, 3000, [&] { fs::resize_file(path, cutTo); });
        // What was read is the file as it was, up to where the data ran out.
        EXPECT_EQ(got, original.substr(0, got.size())) << "cut to " << cutTo;
        EXPECT_GE(got.size(), std::min<std::size_t>(cutTo, 3000)) << "cut to " << cutTo;
        EXPECT_LE(got.size(), std::max<std::size_t>(cutTo, 3000 + 384 + 1024)) << "cut to " << cutTo;
    }
    WriteFile(path, original);
    const std::string tail = Pattern(7777).substr(100);
    const std::string got = ReadWhileChanging(path, 3000, [&] {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
    });
    EXPECT_EQ(got, original + tail) << "bytes added before the end was seen are read";
}

}  // namespace
}  // namespace mg::testing
