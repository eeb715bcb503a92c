// Files that misbehave: output to a device that is always full, a folder
// where a file is expected, files cut short or grown while they are read,
// and names far longer than any file system takes. Every case ends with an
// error the host can show or a result that is right for what was read; none
// with a crash, a hang, or a silent half result.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cipher/double_buffering.h"
#include "fault_fixture.h"

namespace mg::testing {
namespace {

namespace fs = std::filesystem;

using FileFaults = FaultTest;

const std::int32_t kEveryCipher[] = {2, 4, 8, 1024};

TEST_F(FileFaults, OutputToTheAlwaysFullDeviceIsAWriteError) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    // Large enough that the data cannot hide in a stream buffer until close.
    std::string big(300000, 'q');
    const std::string input = dir.File("big");
    WriteFile(input, big);
    for (const std::string& in : {plain, input}) {
        for (std::int32_t type : kEveryCipher) {
            const std::string m = Message({"ENCRYPTFILE", {C(in), C("/dev/full"), C("key"), I(type)}});
            if (type == 1024) {
                EXPECT_EQ(m, "Unable to write output file /dev/full!");
            } else {
                EXPECT_EQ(m, "FileCrypt ERROR: Cannot write File /dev/full!") << "type " << type;
            }
            // Decrypting a good file onto the device fails the same way.
            const std::string enc = dir.File("good.enc");
            ASSERT_TRUE(host().Call("ENCRYPTFILE", {C(in), C(enc), C("key"), I(type)}).ok());
            const std::string d = Message({"DECRYPTFILE", {C(enc), C("/dev/full"), C("key"), I(type)}});
            EXPECT_EQ(d, m) << "type " << type;
        }
    }
    EXPECT_EQ(host().OccupiedHandles(), 0u);
}

TEST_F(FileFaults, AFolderWhereAFileIsExpected) {
    const std::string folder = dir.File("folder");
    fs::create_directories(folder);
    const std::string out = dir.File("out");

    // Reading a folder: an error naming it, never the digest of nothing.
    const CallResult h = host().Call("HASHFILE", {C(folder)});
    ExpectCleanFailure(h, "HASHFILE of a folder");
    EXPECT_NE(h.message.find(folder), std::string::npos) << h.message;
    for (std::int32_t type : {1, 2}) {
        const CallResult c = host().Call("CRCFILE", {C(folder), I(type)});
        ASSERT_TRUE(c.ok());
        EXPECT_EQ(type == 1 ? c.value.integer : c.value.number, 0) << "a folder has no bytes to check";
    }
    for (std::int32_t type : kEveryCipher) {
        for (const char* name : {"ENCRYPTFILE", "DECRYPTFILE"}) {
            const CallResult r = host().Call(name, {C(folder), C(out), C("key"), I(type)});
            ExpectCleanFailure(r, std::string(name) + " from a folder, type " + std::to_string(type));
            EXPECT_NE(r.message.find(folder), std::string::npos) << r.message;
        }
        // Writing onto a folder.
        const CallResult w = host().Call("ENCRYPTFILE", {C(plain), C(folder), C("key"), I(type)});
        ExpectCleanFailure(w, "ENCRYPTFILE onto a folder");
        EXPECT_NE(w.message.find(folder), std::string::npos) << w.message;
        EXPECT_TRUE(fs::is_directory(folder));
    }
}

TEST_F(FileFaults, NamesLongerThanAnyFileSystemTakes) {
    for (std::size_t length : {300u, 5000u, 70000u}) {
        const std::string name = dir.File(std::string(length, 'n'));
        const std::string m = Message({"HASHFILE", {C(name)}});
        EXPECT_EQ(m, "FileDigest ERROR: in IMessageDigest::DigestFile(): Cannot open File " + name + "!");
        EXPECT_EQ(host().Call("CRCFILE", {C(name)}).value.number, 0);
        EXPECT_EQ(Message({"ENCRYPTFILE", {C(name), C(dir.File("o")), C("k")}}),
                  "FileCrypt ERROR: Cannot open File " + name + "!");
        EXPECT_EQ(Message({"ENCRYPTFILE", {C(plain), C(name), C("k")}}),
                  "FileCrypt ERROR: Cannot open File " + name + "!");
        EXPECT_EQ(Message({"DECRYPTFILE", {C(name), C(dir.File("o")), C("k"), I(1024)}}),
                  "Unable to open input file " + name + "!");
    }
#if !defined(_WIN32)
    // A long path that does exist: folders nested past 300 characters.
    fs::path deep = dir.File("");
    for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
    fs::create_directories(deep);
    const std::string inside = (deep / "file").string();
    WriteFile(inside, "abc");
    const CallResult r = host().Call("HASHFILE", {C(inside), I(1)});
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.value.bytes, host().Call("HASH", {C("abc"), I(1)}).value.bytes);
#endif
}

// The reader on a real file that changes between its reads: unbuffered, so
// that every read goes to the file as it is at that moment.
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

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
    return s;
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

TEST_F(FileFaults, FunctionsOnAFileThatKeepsChanging) {
    // A second thread cuts the file short and writes it back, over and over,
    // while the functions read it. The bytes present at any offset are always
    // the original ones, so whatever is read is a prefix of the original.
    const std::string path = dir.File("churn");
    const std::string original = Pattern(600000);
    WriteFile(path, original);
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        for (std::size_t round = 1; !stop.load(); ++round) {
            const std::size_t cut = (round * 104729) % original.size();
            std::error_code ignored;
            fs::resize_file(path, cut, ignored);
            std::ofstream out(path, std::ios::binary | std::ios::app);
            out.write(original.data() + cut, static_cast<std::streamsize>(original.size() - cut));
        }
    });
    const std::string enc = dir.File("churn.enc"), dec = dir.File("churn.dec");
    for (int round = 0; round < 6; ++round) {
        const CallResult h = host().Call("HASHFILE", {C(path), I(2)});
        if (h.ok()) {
            EXPECT_EQ(h.value.bytes.size(), 32u);
        } else {
            ExpectCleanFailure(h, "HASHFILE");
        }
        const CallResult c = host().Call("CRCFILE", {C(path)});
        EXPECT_TRUE(c.ok());
        for (std::int32_t type : kEveryCipher) {
            const CallResult e = host().Call("ENCRYPTFILE", {C(path), C(enc), C("key"), I(type), I(1), I(2)});
            if (!e.ok()) {
                ExpectCleanFailure(e, "ENCRYPTFILE");
                continue;
            }
            const CallResult d = host().Call("DECRYPTFILE", {C(enc), C(dec), C("key"), I(type), I(1), I(2)});
            ASSERT_TRUE(d.ok()) << "type " << type << ": " << d.message;
            const std::string back = ReadFile(dec);
            std::size_t same = 0;
            while (same < back.size() && same < original.size() && back[same] == original[same]) ++same;
            EXPECT_EQ(same, back.size()) << "type " << type << " wrote what it never read: the " << back.size()
                                         << " bytes read back differ from the file from byte " << same << " on";
        }
    }
    stop = true;
    churn.join();
    EXPECT_EQ(host().OccupiedHandles(), 0u);
}

}  // namespace
}  // namespace mg::testing
