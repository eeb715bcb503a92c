// Whole-file encryption with the block ciphers: header, body, round trips where
// chunks and padding meet, and what every failure leaves behind.
#include <algorithm>

#include <gtest/gtest.h>

#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

// The plaintext as the format pads it, for the padding modes without random
// bytes: every non-empty text ends with a count n of 1..B bytes to drop.
Bytes FormatPadded(Bytes plain, std::int32_t block, std::int32_t padding) {
    if (plain.empty()) return plain;
    const std::size_t n = static_cast<std::size_t>(block) - plain.size() % static_cast<std::size_t>(block);
    const unsigned char filler = padding == 1 ? 0x20 : padding == 2 ? static_cast<unsigned char>(n) : 0x00;
    plain.insert(plain.end(), n - 1, filler);
    plain.push_back(static_cast<unsigned char>(n));
    return plain;
}

// The body by its definition: the padded plaintext in 384-byte pieces, one
// Encrypt call each, from the IV at the start.
Bytes ChunkedBody(IBlockCipher& cipher, const Bytes& padded) {
    cipher.ResetChain();
    Bytes body(padded.size());
    for (std::size_t at = 0; at < padded.size(); at += 384) {
        const auto n = static_cast<std::int32_t>(std::min<std::size_t>(384, padded.size() - at));
        cipher.Encrypt(padded.data() + at, body.data() + at, n);
    }
    return body;
}

// Header bytes: the signature digest, then twelve zeros.
Bytes Header(IBlockCipher& cipher) {
    Bytes h(33, 0);
    cipher.GetSignature(h.data());
    h.resize(32);
    return h;
}

// SHA-1 of each signature text, computed with Python's hashlib.sha1 over the
// text built by hand: tag, key repeated to the key store, decimal numbers.
const struct {
    Config config;
    const char* key;
    std::size_t keyLength;
    const char* text;
    const char* sha1;
} kSignatures[] = {
    {{Kind::kRijndael, 1, 2, 32, 32}, "K", 1, "RIJNDAEL K*32 323212", "53412fd2d25c2cdd0daa66a58682aafb14b513e0"},
    {{Kind::kRijndael, 3, 4, 16, 24}, "abc", 3, "RIJNDAEL (abc)*5 a 241634", "da01c7b633e15f6954341ba5e8aafe6befb31305"},
    {{Kind::kBlowfish, 2, 0}, "secret", 6, "BLOWFISH (secret)*9 se 20", "285a6b291080de4d6c17d28fddf658ece03ffed5"},
    {{Kind::kTea, 0, 1}, "0123456789", 10, "TEA 0123456789012345 01", "9a1d00749ebc0f50b482f9236191579e8089a890"},
    // The zero byte of the key store ends the text: "RIJNDAELab".
    {{Kind::kRijndael, 1, 2, 16, 16}, "ab\0cd", 5, "RIJNDAEL ab", "83e1fa7ced5ef7be2268c9437936f5cc7e96c895"},
};

TEST(FileSignature, HeaderIsTheSha1OfTheSignatureTextThenZeros) {
    TempDir dir;
    WriteFile(dir / "empty", {});
    Ciphers ciphers;
    for (const auto& s : kSignatures) {
        IBlockCipher& cipher = ciphers.Use(s.config, Bytes(s.key, s.key + s.keyLength));
        Bytes expected = Hex(s.sha1);
        expected.resize(32, 0);
        EXPECT_EQ(Header(cipher), expected) << s.text;
        // An empty file is the header alone, and decrypts to an empty file.
        cipher.EncryptFile((dir / "empty").c_str(), (dir / "enc").c_str());
        EXPECT_EQ(ReadFile(dir / "enc"), expected) << s.text;
        cipher.DecryptFile((dir / "enc").c_str(), (dir / "dec").c_str());
        EXPECT_TRUE(ReadFile(dir / "dec").empty()) << s.text;
    }
}

// Rijndael and TEA let the chain run on over the chunks, Blowfish starts each
// from the IV (803 bytes: chunks of 384, 384 and 35 padded to 40; 768 bytes:
// the count block is a chunk of its own). The files are read 682 chunks
// (261,888 bytes) at a time with one more read ahead: the lengths around those
// edges end a run with the last chunk, after it, or one chunk later.
TEST(FileBody, IsThePaddedPlaintextEncryptedChunkByChunk) {
    TempDir dir;
    Ciphers ciphers;
    const Bytes key = {'f', 'i', 'l', 'e', 'k', 'e', 'y'};
    const Bytes iv = Pattern(32, 7);
    const Config configs[] = {
        {Kind::kTea, 1, 2},
        {Kind::kTea, 3, 3},
        {Kind::kRijndael, 1, 0, 32, 32},
        {Kind::kRijndael, 2, 1, 24, 16},
        {Kind::kBlowfish, 1, 2},
        {Kind::kBlowfish, 2, 0},
        {Kind::kBlowfish, 0, 2},
        {Kind::kRijndael, 0, 3, 16, 16},
    };
    for (const Config& c : configs) {
        // 384 - B bytes: the count block still fits the one chunk.
        for (std::size_t length : {100u, 384u - c.Block(), 803u, 768u, 1920u, 2000u, 261888u, 261889u, 262272u,
                                   262273u, 262272u + 261888u, 524000u}) {
            const Bytes plain = Pattern(length, static_cast<unsigned>(length));
            WriteFile(dir / "plain", plain);
            IBlockCipher& cipher = ciphers.Use(c, key, iv);
            cipher.EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
            const Bytes file = ReadFile(dir / "enc");

            const Bytes padded = FormatPadded(plain, c.Block(), c.padding);
            ASSERT_EQ(file.size(), 32 + padded.size()) << Describe(c) << " length " << length;
            EXPECT_EQ(Slice(file, 0, 32), Header(cipher));
            EXPECT_EQ(Slice(file, 32), ChunkedBody(cipher, padded)) << Describe(c) << " length " << length;
            // The decryption reads in the same runs; the bodies above hold
            // the last chunk at every position within one.
            cipher.DecryptFile((dir / "enc").c_str(), (dir / "dec").c_str());
            ASSERT_TRUE(ReadFile(dir / "dec") == plain) << Describe(c) << " length " << length;
        }
    }
}

TEST(FileRoundTrip, EveryCipherModePaddingAndLength) {
    TempDir dir;
    Ciphers ciphers;
    const Bytes key = {'r', 'o', 'u', 'n', 'd', 0, 't', 'r', 'i', 'p'};
    const Bytes iv = Pattern(32, 11);
    const Bytes source = Pattern(2048, 5);
    // Each combination takes three of the lengths in turn (the whole product is
    // too slow where file calls are emulated).
    std::size_t turn = 0;
    for (Config c : Shapes()) {
        const std::size_t b = static_cast<std::size_t>(c.Block());
        const std::size_t lengths[] = {0, 1, b - 1, b, b + 1, 383, 384, 385, 768, 1535, 1536, 1920, 2048};
        for (c.mode = 0; c.mode < 4; ++c.mode) {
            for (c.padding = 0; c.padding < 5; ++c.padding) {
                for (int i = 0; i < 3; ++i) {
                    const Bytes plain = Slice(source, 0, lengths[turn++ % std::size(lengths)]);
                    WriteFile(dir / "plain", plain);
                    IBlockCipher& cipher = ciphers.Use(c, key, iv);
                    cipher.EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
                    cipher.DecryptFile((dir / "enc").c_str(), (dir / "dec").c_str());
                    ASSERT_TRUE(ReadFile(dir / "dec") == plain) << Describe(c) << " length " << plain.size();
#ifndef _WIN32
                    // Fresh files: truncating a written file makes some Linux file systems flush
                    // it at close (under Wine removing costs more).
                    for (const char* name : {"plain", "enc", "dec"}) std::filesystem::remove(dir / name);
#endif
                }
            }
        }
    }
}

// Peak resident memory in KiB where the system reports it (Linux), else -1.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A mebibyte at a time, so that only the file operations could make memory grow.
void WriteStream(const std::string& name, std::uint64_t size) {
    std::ofstream out(name, std::ios::binary);
    const Bytes piece = Pattern(1 << 20, 3);
    for (std::uint64_t done = 0; done < size; done += piece.size()) {
        out.write(reinterpret_cast<const char*>(piece.data()),
                  static_cast<std::streamsize>(std::min<std::uint64_t>(piece.size(), size - done)));
    }
    ASSERT_TRUE(out.good());
}

bool SameContents(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> pa(1 << 20), pb(1 << 20);
    for (;;) {
        fa.read(pa.data(), static_cast<std::streamsize>(pa.size()));
        fb.read(pb.data(), static_cast<std::streamsize>(pb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (!std::equal(pa.begin(), pa.begin() + fa.gcount(), pb.begin())) return false;
        if (fa.gcount() == 0) return true;
    }
}

TEST(FileRoundTripLong, QuarterGibibyteInConstantMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "time and memory mean nothing under the sanitizer; 1536 KiB covers the format";
#endif
    TempDir dir;
    Ciphers ciphers;
    const std::uint64_t size = std::uint64_t{256} << 20;
    WriteStream(dir / "plain", size - 5);
    IBlockCipher& cipher = ciphers.Use({Kind::kRijndael, 1, 2, 16, 16}, {'b', 'i', 'g'}, Pattern(16));
    const long before = PeakResidentKiB();
    cipher.EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
    cipher.DecryptFile((dir / "enc").c_str(), (dir / "dec").c_str());
    const long after = PeakResidentKiB();
    EXPECT_EQ(std::filesystem::file_size(dir / "enc"), 32 + size);
    EXPECT_TRUE(SameContents(dir / "plain", dir / "dec"));
    if (before >= 0) {
        EXPECT_LT(after - before, 4096) << "peak memory grew with the file";
    }
}

TEST(FileDecrypt, LastByteIsDroppedAsACountOnlyWhenItCanBeOne) {
    TempDir dir;
    Ciphers ciphers;
    IBlockCipher& cipher = ciphers.Use({Kind::kTea, 1, 2}, {'c'});
    // (body length, last plaintext byte, bytes dropped); 768 bytes end in a full
    // chunk that comes without the end flag.
    const struct {
        std::size_t length;
        unsigned char last;
        std::size_t dropped;
    } cases[] = {
        {16, 0, 0}, {16, 9, 0}, {16, 255, 0}, {16, 8, 8}, {16, 1, 1}, {8, 8, 8}, {768, 5, 5}, {768, 0, 0}, {1544, 3, 3},
    };
    for (const auto& k : cases) {
        Bytes plain = Pattern(k.length);
        plain.back() = k.last;
        // A file made by hand: header, then the whole blocks in one Encrypt.
        Bytes file = Header(cipher);
        cipher.ResetChain();
        const Bytes body = EncryptWith(cipher, plain);
        file.insert(file.end(), body.begin(), body.end());
        WriteFile(dir / "raw", file);
        cipher.DecryptFile((dir / "raw").c_str(), (dir / "dec").c_str());
        EXPECT_EQ(ReadFile(dir / "dec"), Slice(plain, 0, k.length - k.dropped))
            << k.length << " bytes ending in " << int(k.last);
    }
}

TEST(FileDecrypt, CutBodiesFailInsideABlockAndShortenAtItsEdges) {
    TempDir dir;
    Ciphers ciphers;
    const Config c{Kind::kRijndael, 1, 3, 16, 16};
    IBlockCipher& cipher = ciphers.Use(c, {'d'});
    WriteFile(dir / "plain", Pattern(1000));
    cipher.EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
    const Bytes file = ReadFile(dir / "enc");

    // Cut inside a block: the chunk is no whole number of blocks.
    for (std::size_t cut : {1u, 15u, 17u, 500u}) {
        WriteFile(dir / "cut", Slice(file, 0, file.size() - cut));
        EXPECT_EQ(ErrorOf([&] { cipher.DecryptFile((dir / "cut").c_str(), (dir / "dec").c_str()); }),
                  "Illegal Block Size!")
            << cut;
    }
    // Cut at block boundaries, or the header alone: fewer bytes, no error.
    for (std::size_t keep : {32u, 48u, 32u + 384u, 32u + 400u}) {
        WriteFile(dir / "cut", Slice(file, 0, keep));
        cipher.DecryptFile((dir / "cut").c_str(), (dir / "dec").c_str());
        EXPECT_LE(ReadFile(dir / "dec").size(), keep - 32);
    }
}

TEST(FileDecrypt, HeaderMismatchLeavesAnyOutputAsItWas) {
    TempDir dir;
    Ciphers ciphers;
    const Bytes key = {'r', 'i', 'g', 'h', 't'};
    const Config made{Kind::kRijndael, 1, 2, 32, 32};
    WriteFile(dir / "plain", Pattern(500));
    ciphers.Use(made, key).EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
    ciphers.Use({Kind::kBlowfish, 1, 2}, key).EncryptFile((dir / "plain").c_str(), (dir / "bf").c_str());
    const Bytes precious = {'k', 'e', 'e', 'p'};
    WriteFile(dir / "existing", precious);

    const struct {
        Config config;
        Bytes key;
        const char* file;
    } wrong[] = {
        {made, {'w', 'r', 'o', 'n', 'g'}, "enc"},
        {{Kind::kRijndael, 1, 3, 32, 32}, key, "enc"},
        {{Kind::kRijndael, 1, 2, 32, 16}, key, "enc"},
        {{Kind::kTea, 1, 2}, key, "bf"},
    };
    for (const auto& w : wrong) {
        IBlockCipher& cipher = ciphers.Use(w.config, w.key);
        const std::string in = dir / w.file;
        const std::string expected = "FileCrypt ERROR: File " + in + " cannot be Correctly Decrypted!";
        EXPECT_EQ(ErrorOf([&] { cipher.DecryptFile(in.c_str(), (dir / "existing").c_str()); }), expected)
            << Describe(w.config);
        EXPECT_EQ(ReadFile(dir / "existing"), precious) << Describe(w.config);
        EXPECT_EQ(ErrorOf([&] { cipher.DecryptFile(in.c_str(), (dir / "absent").c_str()); }), expected);
        EXPECT_FALSE(Exists(dir / "absent")) << Describe(w.config);
    }
    // A file shorter than the header is compared with zeros in its place: the
    // digest alone passes (and holds nothing), less of it does not.
    IBlockCipher& cipher = ciphers.Use(made, key);
    WriteFile(dir / "short", Slice(ReadFile(dir / "enc"), 0, 20));
    cipher.DecryptFile((dir / "short").c_str(), (dir / "out").c_str());
    EXPECT_TRUE(ReadFile(dir / "out").empty());
    WriteFile(dir / "short", Slice(ReadFile(dir / "enc"), 0, 19));
    EXPECT_EQ(ErrorOf([&] { cipher.DecryptFile((dir / "short").c_str(), (dir / "out2").c_str()); }),
              "FileCrypt ERROR: File " + (dir / "short") + " cannot be Correctly Decrypted!");
}

std::string FileError(IBlockCipher& cipher, bool encrypt, const std::string& in, const std::string& out) {
    return ErrorOf([&] {
        if (encrypt) {
            cipher.EncryptFile(in.c_str(), out.c_str());
        } else {
            cipher.DecryptFile(in.c_str(), out.c_str());
        }
    });
}

TEST(FileNames, OneFileUnderTwoNamesIsRefusedBeforeAnythingIsOpened) {
    TempDir dir;
    Ciphers ciphers;
    IBlockCipher& cipher = ciphers.Use({Kind::kTea, 1, 2}, {'s'});
    const std::string name = dir / "data";
    WriteFile(dir / "plain", Pattern(700));
    cipher.EncryptFile((dir / "plain").c_str(), name.c_str());
    const Bytes original = ReadFile(name);

    std::vector<std::string> spellings = {name, dir / "./data", dir / "sub/../data"};
    std::filesystem::create_directory(dir / "sub");
    std::error_code ec;
    std::filesystem::create_hard_link(name, dir / "hard", ec);
    if (!ec) spellings.push_back(dir / "hard");
    std::filesystem::create_symlink(name, dir / "soft", ec);
    if (!ec) spellings.push_back(dir / "soft");
    for (const std::string& other : spellings) {
        for (bool encrypt : {true, false}) {
            EXPECT_EQ(FileError(cipher, encrypt, name, other),
                      "FileCrypt ERROR: The same File for Input and Output " + name + "!")
                << other;
            EXPECT_EQ(ReadFile(name), original) << other;
        }
    }
    // A missing output is never the input.
    cipher.DecryptFile(name.c_str(), (dir / "new").c_str());
    EXPECT_EQ(ReadFile(dir / "new"), ReadFile(dir / "plain"));
}

TEST(FileNames, OpenFailuresNameTheFileAndComeInOrder) {
    TempDir dir;
    Ciphers ciphers;
    CTea fresh;
    EXPECT_EQ(ErrorOf([&] { fresh.EncryptFile("same", "same"); }),
              "FileCrypt ERROR: Encryption/Decryption Object not Initialized!");
    EXPECT_EQ(ErrorOf([&] { fresh.DecryptFile("same", "same"); }),
              "FileCrypt ERROR: Encryption/Decryption Object not Initialized!");

    IBlockCipher& cipher = ciphers.Use({Kind::kRijndael, 1, 2, 16, 16}, {'o'});
    const std::string missing = dir / "missing ";
    const std::string noFolder = dir / "no folder/out";
    WriteFile(dir / "plain", Pattern(40));
    cipher.EncryptFile((dir / "plain").c_str(), (dir / "enc").c_str());
    for (bool encrypt : {true, false}) {
        EXPECT_EQ(FileError(cipher, encrypt, missing, dir / "out"), "FileCrypt ERROR: Cannot open File " + missing + "!");
        EXPECT_FALSE(Exists(dir / "out")) << "the output is opened after the input";
        EXPECT_EQ(FileError(cipher, encrypt, encrypt ? dir / "plain" : dir / "enc", noFolder),
                  "FileCrypt ERROR: Cannot open File " + noFolder + "!");
    }
}

#ifndef _WIN32
// A folder opens here and fails at the first read; it must not pass for an empty file.
TEST(FileNames, AFolderIsAReadError) {
    Ciphers ciphers;
    TempDir dir;
    IBlockCipher& cipher = ciphers.Use({Kind::kBlowfish, 3, 4}, {'w'});
    const std::string folder = dir / "folder";
    std::filesystem::create_directory(folder);
    for (bool encrypt : {true, false})
        EXPECT_EQ(FileError(cipher, encrypt, folder, dir / "out"), "FileCrypt ERROR: Cannot read File " + folder + "!");
}
#endif

}  // namespace
}  // namespace mg
