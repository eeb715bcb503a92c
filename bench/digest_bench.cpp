// Rows of the digest side: the seven digests, HMAC of a short message and the
// two CRCs against the peers, at 64 KiB and 1 KiB. A digest row is a whole
// message: Reset, one AddData, FinalDigest for the library; the peers' reused
// contexts likewise. The "ref-portable" entries show the library's portable
// code on the same data, for reference only (no goal is measured on them).
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_registry.h"
#include "checksum/crc.h"
#include "checksum/crc_kernels.h"
#include "digest/digest_kernels.h"
#include "digest/md5.h"
#include "digest/message_digest.h"
#include "digest/ripemd.h"
#include "digest/sha.h"

#if MG_BENCH_OPENSSL
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>
#endif
#if MG_BENCH_CRYPTOPP
#include <cryptopp/ripemd.h>
#endif
#if MG_BENCH_BOTAN
#include <botan/hash.h>
#endif
#if MG_BENCH_ZLIB
#include <zlib.h>
#endif

namespace mg::bench {
namespace {

const unsigned char kHmacKey[16] = {0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b,
                                    0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b};
constexpr std::size_t kHmacMessage = 64;

struct DigestInfo {
    const char* row;       // row name stem
    int type;              // 1..7 as the host functions number them
    const char* openssl;   // EVP name, or nullptr
    double goal;           // library ÷ reference at 64 KiB
    const char* against;   // reference of the goal ("" = best peer)
};

const DigestInfo kDigests[] = {
    {"MD5", 5, "MD5", 0.9, "openssl"},
    {"SHA-1", 1, "SHA1", 0.95, "openssl"},
    {"SHA-256", 2, "SHA256", 0.95, "openssl"},
    {"SHA-384", 3, "SHA384", 0.9, "openssl"},
    {"SHA-512", 4, "SHA512", 0.9, "openssl"},
    {"RIPEMD-128", 6, nullptr, 1.0, "cryptopp"},
    {"RIPEMD-160", 7, "RIPEMD160", 1.0, ""},
};

// MG_BENCH_ACCEL=<tier> caps the SHA variants' tier, as the ciphers'.
std::shared_ptr<IMessageDigest> MakeSha(std::int32_t method) {
    auto sha = std::make_shared<CSHA>(method);
    if (const char* tier = std::getenv("MG_BENCH_ACCEL")) sha->SetAccelLimit(std::atoi(tier));
    return sha;
}

std::shared_ptr<IMessageDigest> MakeDigest(int type) {
    switch (type) {
        case 1: return MakeSha(0);
        case 2: return MakeSha(1);
        case 3: return MakeSha(2);
        case 4: return MakeSha(3);
        case 5: return std::make_shared<CMD5>();
        case 6: return std::make_shared<CRIPEMD>(0);
        default: return std::make_shared<CRIPEMD>(1);
    }
}

// The library's HMAC as the host function computes it: key prepared in a
// copy, inner and outer digest on the one long-lived object.
void LibraryHmac(IMessageDigest& d, const unsigned char* key, std::size_t keyLength, const unsigned char* data,
                 std::int32_t length, unsigned char* out) {
    const auto b = static_cast<std::size_t>(d.BlockLength());
    const auto n = static_cast<std::int32_t>(d.DigestLength());
    unsigned char k[128] = {};
    if (keyLength > b) {
        d.Reset();
        d.AddData(key, static_cast<std::int32_t>(keyLength));
        d.FinalDigest(k);
    } else {
        std::memcpy(k, key, keyLength);
    }
    unsigned char pad[128];
    unsigned char inner[64];
    for (std::size_t i = 0; i < b; ++i) pad[i] = static_cast<unsigned char>(k[i] ^ 0x36);
    d.Reset();
    d.AddData(pad, static_cast<std::int32_t>(b));
    d.AddData(data, length);
    d.FinalDigest(inner);
    for (std::size_t i = 0; i < b; ++i) pad[i] = static_cast<unsigned char>(k[i] ^ 0x5C);
    d.Reset();
    d.AddData(pad, static_cast<std::int32_t>(b));
    d.AddData(inner, n);
    d.FinalDigest(out);
}

#if MG_BENCH_OPENSSL
// RIPEMD-160 sits in the legacy provider on some OpenSSL 3 builds.
EVP_MD* FetchMd(const char* name) {
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    if (md == nullptr) {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        md = EVP_MD_fetch(nullptr, name, nullptr);
    }
    return md;
}
#endif

// The portable compression function alone over the whole blocks of the
// buffer: what the library does without its accelerated paths.
template <class Word, std::size_t kStateWords>
void AddPortable(const std::string& row, std::size_t n, std::size_t blockLength,
                 void (*compress)(Word*, const unsigned char*, std::size_t)) {
    AddBytes(row, "ref-portable", n, [compress, n, blockLength] {
        Word state[kStateWords] = {};
        compress(state, Input(), n / blockLength);
        benchmark::DoNotOptimize(state);
    });
}

void AddDigests() {
    for (const DigestInfo& info : kDigests) {
        for (const BufferSize& size : kBufferSizes) {
            const std::string row = std::string(info.row) + " " + size.suffix;
            const std::size_t n = size.bytes;
            auto d = MakeDigest(info.type);
            AddBytes(row, kLibrary, n, [d, n] {
                d->Reset();
                d->AddData(Input(), static_cast<std::int32_t>(n));
                d->FinalDigest(Output());
            });
#if MG_BENCH_OPENSSL
            if (info.openssl != nullptr) {
                if (EVP_MD* md = FetchMd(info.openssl)) {
                    std::shared_ptr<EVP_MD_CTX> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
                    AddBytes(row, "openssl", n, [ctx, md, n] {
                        unsigned int length = 0;
                        EVP_DigestInit_ex(ctx.get(), md, nullptr);
                        EVP_DigestUpdate(ctx.get(), Input(), n);
                        EVP_DigestFinal_ex(ctx.get(), Output(), &length);
                    });
                }
            }
#endif
#if MG_BENCH_CRYPTOPP
            if (info.type == 6) {
                auto h = std::make_shared<CryptoPP::RIPEMD128>();
                AddBytes(row, "cryptopp", n, [h, n] { h->CalculateDigest(Output(), Input(), n); });
            } else if (info.type == 7) {
                auto h = std::make_shared<CryptoPP::RIPEMD160>();
                AddBytes(row, "cryptopp", n, [h, n] { h->CalculateDigest(Output(), Input(), n); });
            }
#endif
#if MG_BENCH_BOTAN
            if (info.type == 7) {
                // Never deleted: Botan's pool of locked memory is torn down at
                // exit before the benchmark registry frees its benchmarks, and
                // a Botan object freed after that writes into released memory.
                Botan::HashFunction* h = Botan::HashFunction::create("RIPEMD-160").release();
                if (h)
                    AddBytes(row, "botan", n, [h, n] {
                        h->update(Input(), n);
                        h->final(Output());
                    });
            }
#endif
            if (size.bytes != kBufferSizes[0].bytes) continue;
            switch (info.type) {
                case 1: AddPortable<std::uint32_t, 5>(row, n, 64, Sha1CompressPortable); break;
                case 2: AddPortable<std::uint32_t, 8>(row, n, 64, Sha256CompressPortable); break;
                case 3:
                case 4: AddPortable<std::uint64_t, 8>(row, n, 128, Sha512CompressPortable); break;
                case 5: AddPortable<std::uint32_t, 4>(row, n, 64, Md5CompressPortable); break;
                case 6: AddPortable<std::uint32_t, 4>(row, n, 64, Ripemd128CompressPortable); break;
                default: AddPortable<std::uint32_t, 5>(row, n, 64, Ripemd160CompressPortable); break;
            }
            SetTarget(row, info.goal, info.against);
        }
    }
}

// HMAC of a 64-byte message with a 16-byte key, counted in calls. OpenSSL's
// one-shot HMAC() is the reference of the issue.
void AddHmac() {
    for (const DigestInfo& info : kDigests) {
        // SHA-384 does SHA-512's work; the RIPEMD rows have no OpenSSL peer.
        if (info.type == 3 || info.type == 6 || info.type == 7) continue;
        const std::string row = std::string("HMAC-") + info.row + " 64 B";
        auto d = MakeDigest(info.type);
        AddCalls(row, kLibrary, [d] {
            LibraryHmac(*d, kHmacKey, sizeof kHmacKey, Input(), static_cast<std::int32_t>(kHmacMessage), Output());
        });
#if MG_BENCH_OPENSSL
        const EVP_MD* md = EVP_get_digestbyname(info.openssl);
        if (md != nullptr) {
            AddCalls(row, "openssl", [md] {
                unsigned int length = 0;
                HMAC(md, kHmacKey, sizeof kHmacKey, Input(), kHmacMessage, Output(), &length);
            });
        }
#endif
        SetTarget(row, 1.0, "openssl");
    }
}

// The same bytes without NULs, so that the CRC-16 of a value covers all of them.
const unsigned char* NulFreeInput() {
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> b(Input(), Input() + kBufferSizes[0].bytes);
        for (unsigned char& c : b)
            if (c == 0) c = 0x5A;
        return b;
    }();
    return bytes.data();
}

void AddCrcs() {
    // MG_BENCH_ACCEL=<tier> runs the CRC variant of that tier (at most), as
    // the block ciphers do.
    const char* cap = std::getenv("MG_BENCH_ACCEL");
    const CrcKernels& capped = ChooseCrcKernels(Cpu(), cap != nullptr ? std::atoi(cap) : 3);
    for (const BufferSize& size : kBufferSizes) {
        const std::size_t n = size.bytes;
        const std::string row32 = std::string("CRC-32 ") + size.suffix;
        if (cap != nullptr)
            AddBytes(row32, kLibrary, n, [n, f = capped.crc32] { benchmark::DoNotOptimize(f(0, Input(), n)); });
        else
            AddBytes(row32, kLibrary, n, [n] {
                benchmark::DoNotOptimize(Crc32Buffer(Input(), static_cast<std::uint32_t>(n)));
            });
#if MG_BENCH_ZLIB
        AddBytes(row32, "zlib", n, [n] {
            benchmark::DoNotOptimize(crc32(0, Input(), static_cast<uInt>(n)));
        });
#endif
        const std::string row16 = std::string("CRC-16 ") + size.suffix;
        if (cap != nullptr)
            AddBytes(row16, kLibrary, n,
                     [n, f = capped.crc16UntilNul] { benchmark::DoNotOptimize(f(0, NulFreeInput(), n)); });
        else
            AddBytes(row16, kLibrary, n, [n] { benchmark::DoNotOptimize(Crc16String(NulFreeInput(), n)); });
        if (size.bytes != kBufferSizes[0].bytes) continue;
        const CrcKernels& portable = AllCrcKernels().back();
        AddBytes(row32, "ref-portable", n, [n, f = portable.crc32] { benchmark::DoNotOptimize(f(0, Input(), n)); });
        AddBytes(row16, "ref-portable", n,
                 [n, f = portable.crc16UntilNul] { benchmark::DoNotOptimize(f(0, NulFreeInput(), n)); });
        SetTarget(row32, 2.0, "zlib");
        SetTarget(row16, 0.5, "row:" + row32);
    }
}

const bool kRegistered = [] {
    AddDigests();
    AddHmac();
    AddCrcs();
    return true;
}();

}  // namespace
}  // namespace mg::bench
