// Helpers shared by the cipher tests, and scratch files for the file operations.
#ifndef MG_TESTS_CIPHER_TEST_UTIL_H
#define MG_TESTS_CIPHER_TEST_UTIL_H

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cipher/blowfish.h"
#include "cipher/byte_order.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "tests/hostsim/temp_dir.h"

namespace mg::test {

using Bytes = std::vector<unsigned char>;

// Hex digits to bytes; blanks may group the digits for reading.
inline Bytes Hex(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    if (digits.size() % 2 != 0) throw std::invalid_argument("odd number of hex digits");
    Bytes out;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline Bytes RandomBytes(std::mt19937& rng, std::size_t n)
{
    Bytes b(n);
    for (auto& x : b) x = static_cast<unsigned char>(rng());
    return b;
}

// Reproducible bytes that look random.
inline Bytes Pattern(std::size_t n, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    return RandomBytes(rng, n);
}

inline Bytes Slice(const Bytes& b, std::size_t from, std::size_t n = std::string::npos)
{
    n = std::min(n, b.size() - from);
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

// The message of the std::runtime_error that f throws, or "<no exception>".
template <class F>
std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "<no exception>";
}

inline Bytes EncryptWith(IBlockCipher& c, const Bytes& in)
{
    Bytes out(in.size());
    c.Encrypt(in.data(), out.data(), static_cast<std::int32_t>(in.size()));
    return out;
}

inline Bytes DecryptWith(IBlockCipher& c, const Bytes& in)
{
    Bytes out(in.size());
    c.Decrypt(in.data(), out.data(), static_cast<std::int32_t>(in.size()));
    return out;
}

enum class Kind { kRijndael, kBlowfish, kTea };

// A cipher and its settings, as the library functions choose them.
struct Config {
    Kind kind;
    std::int32_t mode = 0;
    std::int32_t padding = 0;
    std::int32_t keySize = 32;    // Rijndael only
    std::int32_t blockSize = 32;  // Rijndael only

    std::int32_t Block() const { return kind == Kind::kRijndael ? blockSize : 8; }
    std::int32_t HighestMode() const { return kind == Kind::kRijndael ? CRijndael::kHighestMode : 3; }
};

inline std::string Describe(const Config& c)
{
    const char* names[] = {"Rijndael", "Blowfish", "TEA"};
    return std::string(names[static_cast<int>(c.kind)]) + " mode " + std::to_string(c.mode) + " padding " +
           std::to_string(c.padding) + " key " + std::to_string(c.keySize) + " block " + std::to_string(c.Block());
}

// Every cipher shape: Rijndael in each key and block size, Blowfish, TEA.
inline std::vector<Config> Shapes()
{
    std::vector<Config> shapes;
    for (std::int32_t keySize : {16, 24, 32})
        for (std::int32_t blockSize : {16, 24, 32}) shapes.push_back({Kind::kRijndael, 0, 0, keySize, blockSize});
    shapes.push_back({Kind::kBlowfish});
    shapes.push_back({Kind::kTea});
    return shapes;
}

// One object of each cipher. Use initialises the one that `c` names, the IV
// given as bytes (Blowfish takes two big-endian words), at most at tier `limit`.
struct Ciphers {
    CRijndael rijndael;
    CBlowfish blowfish;
    CTea tea;

    IBlockCipher& Of(Kind kind)
    {
        if (kind == Kind::kRijndael) return rijndael;
        if (kind == Kind::kBlowfish) return blowfish;
        return tea;
    }

    IBlockCipher& Use(const Config& c, const unsigned char* key, std::int32_t keyLength, const Bytes& iv = {},
                      std::int32_t limit = IBlockCipher::kAccelBest)
    {
        unsigned char v[32] = {};
        std::copy_n(iv.begin(), std::min<std::size_t>(iv.size(), sizeof v), v);
        switch (c.kind) {
        case Kind::kBlowfish: {
            const std::uint32_t words[2] = {LoadBe32(v), LoadBe32(v + 4)};
            blowfish.SetAccelLimit(limit);
            blowfish.Initialize(key, keyLength, words, c.mode, c.padding);
            return blowfish;
        }
        case Kind::kTea:
            tea.SetAccelLimit(limit);
            tea.Initialize(key, keyLength, v, c.mode, c.padding);
            return tea;
        default:
            rijndael.SetAccelLimit(limit);
            rijndael.Initialize(key, keyLength, v, c.keySize, c.blockSize, c.mode, c.padding);
            return rijndael;
        }
    }

    IBlockCipher& Use(const Config& c, const Bytes& key, const Bytes& iv = {},
                      std::int32_t limit = IBlockCipher::kAccelBest)
    {
        return Use(c, key.data(), static_cast<std::int32_t>(key.size()), iv, limit);
    }
};

// A scratch folder whose files are named as dir / "name".
struct TempDir : mg::testing::TempDir {
    std::string operator/(const std::string& name) const { return File(name); }
};

inline void WriteFile(const std::string& name, const Bytes& bytes) { mg::testing::Spill(name, bytes); }

inline Bytes ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) throw std::runtime_error("test setup: cannot read " + name);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& name) { return std::filesystem::exists(name); }

}  // namespace mg::test

#endif
