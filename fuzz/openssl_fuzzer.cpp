// The library against OpenSSL's libcrypto wherever both have the algorithm:
// AES in the four modes, Blowfish, RC4, the digests, and HMAC through the HMAC
// function as the host calls it; data fed in calls split where the input says.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cipher/blowfish.h"
#include "cipher/byte_order.h"
#include "cipher/rc4.h"
#include "cipher/rijndael.h"
#include "digest/md5.h"
#include "digest/ripemd.h"
#include "digest/sha.h"
#include "fuzz/fuzz_input.h"
#include "hostsim/host.h"

namespace mg::fuzz {
namespace {

ByteVector Evp(const EVP_CIPHER* type, const ByteVector& key, const unsigned char* iv, const ByteVector& in) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ByteVector out(in.size() + 64);
    int n1 = 0, n2 = 0;
    const bool ok = EVP_EncryptInit_ex(ctx, type, nullptr, nullptr, nullptr) == 1 &&
                    EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) == 1 &&
                    EVP_EncryptInit_ex(ctx, nullptr, nullptr, key.data(), iv) == 1 &&
                    EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
                    EVP_EncryptUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
                    EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) Fail("OpenSSL refused a cipher request");
    out.resize(static_cast<std::size_t>(n1 + n2));
    return out;
}

// Up to `limit` bytes, cut to whole units.
ByteVector Data(FuzzInput& in, std::size_t unit, std::size_t limit) {
    const std::string s = in.Bytes(limit);
    return ByteVector(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(s.size() / unit * unit));
}

void CheckAes(FuzzInput& in) {
    static const std::int32_t kKeySizes[] = {16, 24, 32};
    const std::int32_t keySize = in.Pick(kKeySizes);
    const std::int32_t mode = in.Byte() % 4;
    const ByteVector key = in.Fixed(static_cast<std::size_t>(keySize));
    const ByteVector iv = in.Fixed(16);
    const ByteVector plain = Data(in, 16, 4096);
    if (plain.empty()) return;
    const EVP_CIPHER* types[3][4] = {
        {EVP_aes_128_ecb(), EVP_aes_128_cbc(), EVP_aes_128_cfb128(), EVP_aes_128_ofb()},
        {EVP_aes_192_ecb(), EVP_aes_192_cbc(), EVP_aes_192_cfb128(), EVP_aes_192_ofb()},
        {EVP_aes_256_ecb(), EVP_aes_256_cbc(), EVP_aes_256_cfb128(), EVP_aes_256_ofb()},
    };

    CRijndael c;
    c.Initialize(key.data(), keySize, iv.data(), keySize, 16, mode, 0);
    // The chain runs on from call to call: any split gives one stream.
    ByteVector out(plain.size());
    std::size_t at = 0;
    for (std::size_t step : in.Splits(plain.size(), 16, 8)) {
        c.Encrypt(plain.data() + at, out.data() + at, static_cast<std::int32_t>(step));
        at += step;
    }
    if (out != Evp(types[(keySize - 16) / 8][mode], key, iv.data(), plain)) Fail("AES encryption differs");

    c.ResetChain();
    ByteVector back(plain.size());
    at = 0;
    for (std::size_t step : in.Splits(plain.size(), 16, 8)) {
        c.Decrypt(out.data() + at, back.data() + at, static_cast<std::int32_t>(step));
        at += step;
    }
    if (back != plain) Fail("AES decryption does not restore the plaintext");
    c.ResetChain();  // in place, as callers may
    ByteVector inPlace = plain;
    c.Encrypt(inPlace.data(), inPlace.data(), static_cast<std::int32_t>(inPlace.size()));
    if (inPlace != out) Fail("AES in place differs");
}

void CheckBlowfish(FuzzInput& in) {
    const EVP_CIPHER* types[4] = {EVP_bf_ecb(), EVP_bf_cbc(), EVP_bf_cfb64(), EVP_bf_ofb()};
    const std::int32_t mode = in.Byte() % 4;
    // OpenSSL takes up to 72 key bytes; the library's key ends at 56.
    const ByteVector key = in.Fixed(1 + in.Byte() % 56);
    const ByteVector iv = in.Fixed(8);
    const ByteVector plain = Data(in, 8, 4096);
    const std::uint32_t words[2] = {LoadBe32(iv.data()), LoadBe32(iv.data() + 4)};
    CBlowfish c;
    c.Initialize(key.data(), static_cast<std::int32_t>(key.size()), words, mode, 0);
    // Every call starts from the IV again, so each part is a stream of its own.
    std::size_t at = 0;
    for (std::size_t step : in.Splits(plain.size(), 8, 8)) {
        const ByteVector part(plain.begin() + static_cast<std::ptrdiff_t>(at),
                              plain.begin() + static_cast<std::ptrdiff_t>(at + step));
        ByteVector out(step), back(step);
        c.Encrypt(part.data(), out.data(), static_cast<std::int32_t>(step));
        if (out != Evp(types[mode], key, iv.data(), part)) Fail("Blowfish encryption differs");
        c.Decrypt(out.data(), back.data(), static_cast<std::int32_t>(step));
        if (back != part) Fail("Blowfish decryption does not restore the plaintext");
        at += step;
    }
}

void CheckRc4(FuzzInput& in) {
    const std::string k = in.Bytes(300);
    if (k.empty()) return;
    // OpenSSL's RC4 takes at most 256 key bytes, as many as the schedule can use.
    const ByteVector key(k.begin(), k.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(k.size(), 256)));
    const ByteVector plain = Data(in, 1, 5000);
    Rc4State s;
    Rc4Setup(reinterpret_cast<const unsigned char*>(k.data()), static_cast<std::int32_t>(k.size()), s);
    ByteVector buf = plain;
    std::size_t at = 0;
    for (std::size_t step : in.Splits(plain.size(), 1, 8)) {
        Rc4Crypt(buf.data() + at, static_cast<std::int32_t>(step), s);
        at += step;
    }
    if (!plain.empty() && buf != Evp(EVP_rc4(), key, nullptr, plain)) Fail("RC4 differs");
}

struct Digest {  // the library's class, its number for HMAC, its OpenSSL name
    IMessageDigest& ours;
    std::int32_t number;
    const char* openssl;
};

const Digest& PickDigest(FuzzInput& in) {
    static CSHA sha1(0), sha256(1), sha384(2), sha512(3);
    static CMD5 md5;
    static CRIPEMD ripemd160(1);
    static const Digest kDigests[] = {{sha1, 1, "SHA1"},     {sha256, 2, "SHA256"}, {sha384, 3, "SHA384"},
                                      {sha512, 4, "SHA512"}, {md5, 5, "MD5"},       {ripemd160, 7, "RIPEMD160"}};
    return in.Pick(kDigests);
}

void CheckDigest(FuzzInput& in) {
    const Digest& digest = PickDigest(in);
    const ByteVector data = Data(in, 1, 20000);
    IMessageDigest& d = digest.ours;
    d.Reset();
    std::size_t at = 0;
    for (std::size_t step : in.Splits(data.size(), 1 + in.Byte() % 130, 8)) {
        d.AddData(data.data() + at, static_cast<std::int32_t>(step));
        at += step;
    }
    if (data.empty()) d.AddData(data.data(), 0);
    unsigned char ours[64];
    d.FinalDigest(ours);

    unsigned char theirs[EVP_MAX_MD_SIZE];
    std::size_t n = 0;
    if (EVP_Q_digest(nullptr, digest.openssl, nullptr, data.data(), data.size(), theirs, &n) != 1) {
        Fail(std::string("OpenSSL has no ") + digest.openssl);
    }
    if (static_cast<std::int32_t>(n) != d.DigestLength() || std::memcmp(ours, theirs, n) != 0) {
        Fail(std::string(digest.openssl) + " differs for " + std::to_string(data.size()) + " bytes");
    }
}

void CheckHmac(FuzzInput& in) {
    static hostsim::Host* host = new hostsim::Host();
    const Digest& digest = PickDigest(in);
    const std::string key = in.Bytes(in.Byte() < 32 ? 300 : 140);
    const std::string data = in.Bytes(5000);
    const hostsim::CallResult r =
        host->Call("HMAC", {hostsim::Value::Of(data), hostsim::Value::Of(key), hostsim::Value::Int(digest.number)});
    if (!r.ok()) Fail("HMAC failed: " + r.message);

    unsigned char theirs[EVP_MAX_MD_SIZE];
    std::size_t n = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    if (EVP_Q_mac(nullptr, "HMAC", nullptr, digest.openssl, nullptr, key.data(), key.size(), bytes, data.size(), theirs,
                  sizeof theirs, &n) == nullptr) {
        Fail(std::string("OpenSSL has no HMAC with ") + digest.openssl);
    }
    if (r.value.bytes != std::string(reinterpret_cast<const char*>(theirs), n)) {
        Fail(std::string("HMAC-") + digest.openssl + " differs for a key of " + std::to_string(key.size()) + " bytes");
    }
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Blowfish, RC4 and (in some 3.0 releases) RIPEMD-160 live in the legacy provider.
    static OSSL_PROVIDER* const legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* const base = OSSL_PROVIDER_load(nullptr, "default");
    if (legacy == nullptr || base == nullptr) mg::fuzz::Fail("OpenSSL providers not available");
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
