#pragma once

// Helpers shared by the digest tests: the seven digests by the hash-type
// numbers the library uses (1..7), hex output, test messages.

#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "digest/md5.h"
#include "digest/message_digest.h"
#include "digest/ripemd.h"
#include "digest/sha.h"

namespace mg::test {

enum HashType { kSha1 = 1, kSha256, kSha384, kSha512, kMd5, kRipemd128, kRipemd160 };

inline const char* HashName(int type) {
    static const char* const names[] = {"?",   "SHA-1",      "SHA-256",   "SHA-384",
                                        "SHA-512", "MD5", "RIPEMD-128", "RIPEMD-160"};
    return names[type];
}

inline std::unique_ptr<IMessageDigest> MakeDigest(int type) {
    switch (type) {
        case kSha1: return std::make_unique<CSHA>(0);
        case kSha256: return std::make_unique<CSHA>(1);
        case kSha384: return std::make_unique<CSHA>(2);
        case kSha512: return std::make_unique<CSHA>(3);
        case kMd5: return std::make_unique<CMD5>();
        case kRipemd128: return std::make_unique<CRIPEMD>(0);
        default: return std::make_unique<CRIPEMD>(1);
    }
}

inline const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

inline std::string ToHex(const unsigned char* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

inline std::string FinalHex(IMessageDigest& d) {
    unsigned char out[64];
    d.FinalDigest(out);
    return ToHex(out, static_cast<std::size_t>(d.DigestLength()));
}

// Digest of one message given in a single AddData call.
inline std::string DigestHex(IMessageDigest& d, const std::string& message) {
    d.Reset();
    d.AddData(U(message), static_cast<std::int32_t>(message.size()));
    return FinalHex(d);
}

inline std::string DigestHex(int type, const std::string& message) {
    auto d = MakeDigest(type);
    return DigestHex(*d, message);
}

inline std::string PseudoRandomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(random());
    return s;
}

}  // namespace mg::test
