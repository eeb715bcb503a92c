// The library against OpenSSL's libcrypto wherever OpenSSL has the same
// algorithm: AES (Rijndael with a 16-byte block) in ECB, CBC, CFB-128 and OFB
// with 16/24/32-byte keys, Blowfish in the four modes, RC4, the digests MD5,
// SHA-1, SHA-256, SHA-384, SHA-512 and RIPEMD-160, and HMAC with each of
// them (through the HMAC function as the host calls it). Data is fed in calls
// split where the input says, since the chain (and the digest state) must
// carry across calls exactly as the library documents.
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cipher/blowfish.h"
#include "cipher/rc4.h"
#include "cipher/rijndael.h"
#include "digest/md5.h"
#include "digest/ripemd.h"
#include "digest/sha.h"
#include "fuzz/fuzz_input.h"
#include "hostsim/host.h"

namespace mg::fuzz {
namespace {

using Bytes = std::vector<unsigned char>;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "OpenSSL differential fuzzer: %s\n", what.c_str());
    std::abort();
}

struct Providers {
    // Blowfish, RC4 and (in some 3.0 releases) RIPEMD-160 live in the legacy provider.
    Providers() : legacy(OSSL_PROVIDER_load(nullptr, "legacy")), base(OSSL_PROVIDER_load(nullptr, "default")) {
        if (legacy == nullptr || base == nullptr) Fail("OpenSSL providers not available");
    }
    OSSL_PROVIDER* legacy;
    OSSL_PROVIDER* base;
};

Bytes Evp(const EVP_CIPHER* type, bool encrypt, const Bytes& key, const unsigned char* iv, const Bytes& in) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + 64);
    int n1 = 0, n2 = 0;
    const int enc = encrypt ? 1 : 0;
    const bool ok = EVP_CipherInit_ex(ctx, type, nullptr, nullptr, nullptr, enc) == 1 &&
                    EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) == 1 &&
                    EVP_CipherInit_ex(ctx, nullptr, nullptr, key.data(), iv, enc) == 1 &&
                    EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
                    EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
                    EVP_CipherFinal_ex(ctx, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) Fail("OpenSSL refused a cipher request");
    out.resize(static_cast<std::size_t>(n1 + n2));
    return out;
}

Bytes Data(FuzzInput& in, std::size_t unit, std::size_t limit) {
    const std::string s = in.Bytes(limit);
    Bytes b(s.begin(), s.end());
    b.resize(b.size() / unit * unit);
    return b;
}

// Call lengths, whole blocks each, that add up to `total`.
std::vector<std::size_t> Splits(FuzzInput& in, std::size_t total, std::size_t unit) {
    std::vector<std::size_t> parts;
    std::size_t left = total;
    while (left > 0) {
        std::size_t step = in.Empty() ? left : unit * (1 + in.Byte() % 8);
        if (step > left) step = left;
        parts.push_back(step);
        left -= step;
    }
    return parts;
}

void CheckAes(FuzzInput& in) {
    static const std::int32_t kKeySizes[] = {16, 24, 32};
    const std::int32_t keySize = in.Pick(kKeySizes);
    const std::int32_t mode = in.Byte() % 4;
    Bytes key(static_cast<std::size_t>(keySize));
    for (auto& b : key) b = in.Byte();
    unsigned char iv[16];
    for (auto& b : iv) b = in.Byte();
    const Bytes plain = Data(in, 16, 4096);
    if (plain.empty()) return;
    const EVP_CIPHER* types[3][4] = {
        {EVP_aes_128_ecb(), EVP_aes_128_cbc(), EVP_aes_128_cfb128(), EVP_aes_128_ofb()},
        {EVP_aes_192_ecb(), EVP_aes_192_cbc(), EVP_aes_192_cfb128(), EVP_aes_192_ofb()},
        {EVP_aes_256_ecb(), EVP_aes_256_cbc(), EVP_aes_256_cfb128(), EVP_aes_256_ofb()},
    };
    const EVP_CIPHER* type = types[(keySize - 16) / 8][mode];

    CRijndael c;
    c.Initialize(key.data(), keySize, iv, keySize, 16, mode, 0);
    // The chain runs on from call to call: any split gives one stream.
    Bytes out(plain.size());
    std::size_t at = 0;
    for (std::size_t step : Splits(in, plain.size(), 16)) {
        c.Encrypt(plain.data() + at, out.data() + at, static_cast<std::int32_t>(step));
        at += step;
    }
    if (out != Evp(type, true, key, iv, plain)) Fail("AES encryption differs, mode " + std::to_string(mode));

    c.ResetChain();
    Bytes back(plain.size());
    at = 0;
    for (std::size_t step : Splits(in, plain.size(), 16)) {
        c.Decrypt(out.data() + at, back.data() + at, static_cast<std::int32_t>(step));
        at += step;
    }
    if (back != plain) Fail("AES decryption does not restore the plaintext, mode " + std::to_string(mode));
    // In place, as ENCRYPT does not but callers may.
    c.ResetChain();
    Bytes inPlace = plain;
    c.Encrypt(inPlace.data(), inPlace.data(), static_cast<std::int32_t>(inPlace.size()));
    if (inPlace != out) Fail("AES in place differs");
}

void CheckBlowfish(FuzzInput& in) {
    const EVP_CIPHER* types[4] = {EVP_bf_ecb(), EVP_bf_cbc(), EVP_bf_cfb64(), EVP_bf_ofb()};
    const std::int32_t mode = in.Byte() % 4;
    // OpenSSL takes up to 72 key bytes; the library's key ends at 56.
    Bytes key(1 + in.Byte() % 56);
    for (auto& b : key) b = in.Byte();
    unsigned char iv[8];
    for (auto& b : iv) b = in.Byte();
    const Bytes plain = Data(in, 8, 4096);
    if (plain.empty()) return;
    const std::uint32_t words[2] = {
        std::uint32_t(iv[0]) << 24 | std::uint32_t(iv[1]) << 16 | std::uint32_t(iv[2]) << 8 | iv[3],
        std::uint32_t(iv[4]) << 24 | std::uint32_t(iv[5]) << 16 | std::uint32_t(iv[6]) << 8 | iv[7]};
    CBlowfish c;
    c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), words, mode, 0);
    // Every call starts from the IV again, so each part is a stream of its own.
    std::size_t at = 0;
    for (std::size_t step : Splits(in, plain.size(), 8)) {
        const Bytes part(plain.begin() + static_cast<std::ptrdiff_t>(at),
                         plain.begin() + static_cast<std::ptrdiff_t>(at + step));
        Bytes out(step), back(step);
        c.Encrypt(part.data(), out.data(), static_cast<std::int32_t>(step));
        if (out != Evp(types[mode], true, key, iv, part)) Fail("Blowfish encryption differs, mode " + std::to_string(mode));
        c.Decrypt(out.data(), back.data(), static_cast<std::int32_t>(step));
        if (back != part) Fail("Blowfish decryption does not restore the plaintext");
        at += step;
    }
}

void CheckRc4(FuzzInput& in) {
    const std::string k = in.Bytes(300);
    if (k.empty()) return;
    // OpenSSL's RC4 takes at most 256 key bytes, as many as the schedule can use.
    const Bytes key(k.begin(), k.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(k.size(), 256)));
    const Bytes plain = Data(in, 1, 5000);
    Rc4State s;
    Rc4Setup(reinterpret_cast<const unsigned char*>(k.data()), static_cast<std::int32_t>(k.size()), s);
    Bytes buf = plain;
    std::size_t at = 0;
    for (std::size_t step : Splits(in, plain.size(), 1)) {
        Rc4Crypt(buf.data() + at, static_cast<std::int32_t>(step), s);
        at += step;
    }
    if (plain.empty()) return;
    if (buf != Evp(EVP_rc4(), true, key, nullptr, plain)) Fail("RC4 differs");
}

void CheckDigest(FuzzInput& in) {
    struct Pair {
        IMessageDigest* ours;
        const char* openssl;
    };
    static CSHA sha1(0), sha256(1), sha384(2), sha512(3);
    static CMD5 md5;
    static CRIPEMD ripemd160(1);
    static const Pair kPairs[] = {{&sha1, "SHA1"},     {&sha256, "SHA256"}, {&sha384, "SHA384"},
                                  {&sha512, "SHA512"}, {&md5, "MD5"},       {&ripemd160, "RIPEMD160"}};
    const Pair& pair = in.Pick(kPairs);
    const Bytes data = Data(in, 1, 20000);
    IMessageDigest& d = *pair.ours;
    d.Reset();
    std::size_t at = 0;
    for (std::size_t step : Splits(in, data.size(), 1 + in.Byte() % 130)) {
        d.AddData(data.data() + at, static_cast<std::int32_t>(step));
        at += step;
    }
    if (data.empty()) d.AddData(data.data(), 0);
    unsigned char ours[64];
    d.FinalDigest(ours);

    unsigned char theirs[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_MD* md = EVP_MD_fetch(nullptr, pair.openssl, nullptr);
    if (md == nullptr || EVP_Digest(data.data(), data.size(), theirs, &n, md, nullptr) != 1) {
        Fail(std::string("OpenSSL has no ") + pair.openssl);
    }
    EVP_MD_free(md);
    if (static_cast<std::int32_t>(n) != d.DigestLength() || std::memcmp(ours, theirs, n) != 0) {
        Fail(std::string(pair.openssl) + " differs for " + std::to_string(data.size()) + " bytes");
    }
}

void CheckHmac(FuzzInput& in) {
    struct Type {
        std::int32_t number;
        const char* openssl;
    };
    static const Type kTypes[] = {{1, "SHA1"}, {2, "SHA256"}, {3, "SHA384"}, {4, "SHA512"}, {5, "MD5"}, {7, "RIPEMD160"}};
    static hostsim::Host* host = new hostsim::Host();
    const Type& type = in.Pick(kTypes);
    const std::string key = in.Bytes(in.Byte() < 32 ? 300 : 140);
    const std::string data = in.Bytes(5000);
    const hostsim::CallResult r =
        host->Call("HMAC", {hostsim::Value::Of(data), hostsim::Value::Of(key), hostsim::Value::Int(type.number)});
    if (!r.ok()) Fail("HMAC failed: " + r.message);

    unsigned char theirs[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_MD* md = EVP_MD_fetch(nullptr, type.openssl, nullptr);
    const bool ok = md != nullptr && HMAC(md, key.data(), static_cast<int>(key.size()),
                                          reinterpret_cast<const unsigned char*>(data.data()), data.size(), theirs, &n) != nullptr;
    EVP_MD_free(md);
    if (!ok) Fail(std::string("OpenSSL has no HMAC with ") + type.openssl);
    if (r.value.bytes != std::string(reinterpret_cast<const char*>(theirs), n)) {
        Fail(std::string("HMAC-") + type.openssl + " differs for a key of " + std::to_string(key.size()) + " bytes");
    }
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static mg::fuzz::Providers providers;
    mg::fuzz::FuzzInput in(data, size);
    switch (in.Byte() % 5) {
        case 0: mg::fuzz::CheckAes(in); break;
        case 1: mg::fuzz::CheckBlowfish(in); break;
        case 2: mg::fuzz::CheckRc4(in); break;
        case 3: mg::fuzz::CheckHmac(in); break;
        default: mg::fuzz::CheckDigest(in); break;
    }
    return 0;
}
