// Cleared or destroyed ciphers and finished or abandoned digests keep nothing
// of the key or data. The objects live in storage the test reads after they
// are gone, where an optimiser removes a plain memset in a destructor.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "cipher/aes_gcm.h"
#include "cipher/blowfish.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "digest/md5.h"
#include "digest/ripemd.h"
#include "digest/sha.h"

namespace mg {
namespace {

// A key no table or constant of the library contains.
std::vector<unsigned char> Secret(std::size_t n) {
    std::vector<unsigned char> s(n);
    std::uint32_t x = 0x9E3779B9u;
    for (auto& b : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<unsigned char>(x | 1);
    }
    return s;
}

template <class T>
class InPlace {
public:
    template <class... A>
    T& Make(A&&... args) {
        return *new (m_acStorage) T(std::forward<A>(args)...);
    }
    void Destroy() { std::launder(reinterpret_cast<T*>(m_acStorage))->~T(); }

    std::size_t NonZero() const {
        std::size_t n = 0;
        for (unsigned char c : m_acStorage) n += c != 0;
        return n;
    }
    // Whether any `window` consecutive bytes of `secret` stand in the storage.
    bool Holds(const std::vector<unsigned char>& secret, std::size_t window = 4) const {
        for (std::size_t i = 0; i + window <= secret.size(); ++i) {
            for (std::size_t j = 0; j + window <= sizeof m_acStorage; ++j) {
                if (std::memcmp(m_acStorage + j, secret.data() + i, window) == 0) return true;
            }
        }
        return false;
    }

private:
    // Zeros to start with: an object need not write every byte it has
    // (AES-GCM fills rows of its hash key only as messages need them).
    alignas(T) unsigned char m_acStorage[sizeof(T)] = {};
};

// What may stay non-zero in a wiped cipher: pointers, sizes, mode and tier.
constexpr std::size_t kBookkeeping = 96;

template <class Cipher, class Init>
void ExpectWiped(Init initialize, const char* name) {
    const std::vector<unsigned char> key = Secret(56), iv = Secret(32 + 56);
    const std::vector<unsigned char> ivPart(iv.begin() + 56, iv.end());
    for (bool destroy : {false, true}) {
        InPlace<Cipher> place;
        Cipher& c = place.Make();
        initialize(c, key.data(), ivPart.data());
        unsigned char data[96] = {1, 2, 3};  // whole blocks of 8, 16, 24 and 32
        c.Encrypt(data, data, 96);
        ASSERT_TRUE(place.Holds(key)) << name << ": the test cannot see the key store";
        const std::size_t loaded = place.NonZero();
        if (destroy) {
            place.Destroy();
        } else {
            c.Clear();
            EXPECT_FALSE(c.IsInitialized()) << name;
            unsigned char more[8] = {};
            EXPECT_THROW(c.Encrypt(more, more, 8), std::runtime_error) << name << " still encrypts after Clear";
        }
        const std::string what = std::string(name) + (destroy ? " destroyed" : " cleared");
        EXPECT_FALSE(place.Holds(key)) << what << " still holds key bytes";
        EXPECT_FALSE(place.Holds(ivPart, 8)) << what << " still holds its IV";
        EXPECT_LE(place.NonZero(), kBookkeeping) << what << ": " << place.NonZero() << " of " << loaded
                                                 << " non-zero bytes left, a schedule or chain register survived";
        if (!destroy) place.Destroy();
    }
}

TEST(KeyHygiene, CiphersClearedOrDestroyedHoldNoKey) {
    ExpectWiped<CRijndael>([](CRijndael& c, const unsigned char* k, const unsigned char* iv) {
        c.Initialize(k, 32, iv, 32, 32, 1, 0);
    }, "Rijndael 32/32");
    ExpectWiped<CRijndael>([](CRijndael& c, const unsigned char* k, const unsigned char* iv) {
        c.SetAccelLimit(IBlockCipher::kAccelPortable);
        c.Initialize(k, 24, iv, 24, 24, 1, 0);
    }, "Rijndael 24/24 portable");
    ExpectWiped<CBlowfish>([](CBlowfish& c, const unsigned char* k, const unsigned char* iv) {
        const std::uint32_t words[2] = {std::uint32_t(iv[0]) << 24 | iv[1], std::uint32_t(iv[2]) << 8 | iv[3]};
        c.Initialize(k, 56, words, 1, 0);
    }, "Blowfish");
    ExpectWiped<CTea>([](CTea& c, const unsigned char* k, const unsigned char* iv) { c.Initialize(k, 16, iv, 1, 0); },
                      "TEA");
}

TEST(KeyHygiene, AesGcmClearedOrDestroyedHoldsNoKeyNorHashKey) {
    const std::vector<unsigned char> key = Secret(32);
    for (std::int32_t tier : {IBlockCipher::kAccelPortable, IBlockCipher::kAccelBest}) {
        for (bool destroy : {false, true}) {
            InPlace<CAesGcm> place;
            CAesGcm& gcm = place.Make();
            gcm.SetAccelLimit(tier);
            gcm.Initialize(key.data(), key.size());
            unsigned char nonce[12] = {}, data[40] = {}, tag[16];
            gcm.Seal(nonce, nullptr, 0, data, sizeof data, data, tag);
            ASSERT_TRUE(place.Holds(key)) << "the test cannot see the key";
            if (destroy) {
                place.Destroy();
            } else {
                gcm.Clear();
                EXPECT_THROW(gcm.Seal(nonce, nullptr, 0, data, sizeof data, data, tag), std::logic_error);
            }
            EXPECT_FALSE(place.Holds(key)) << "tier " << tier;
            EXPECT_LE(place.NonZero(), kBookkeeping) << "tier " << tier << ": a schedule or hash key survived";
            if (!destroy) place.Destroy();
        }
    }
}

TEST(KeyHygiene, ClearedBlowfishBuildsItsScheduleAgain) {
    // A cleared object must not take its wiped schedule for the same key's.
    const std::vector<unsigned char> key = Secret(20);
    const std::uint32_t iv[2] = {1, 2};
    unsigned char x[16] = "sixteen bytes..", y[16] = "sixteen bytes..";
    CBlowfish again, fresh;
    again.Initialize(key.data(), 20, iv, 1, 0);
    again.Clear();
    again.Initialize(key.data(), 20, iv, 1, 0);
    again.Encrypt(x, x, 16);
    fresh.Initialize(key.data(), 20, iv, 1, 0);
    fresh.Encrypt(y, y, 16);
    EXPECT_EQ(std::memcmp(x, y, 16), 0);
}

template <class Digest, class... A>
void ExpectDigestForgets(const char* name, A... args) {
    // The last 36 bytes (all 100 with a 128-byte block) wait in the buffer until FinalDigest.
    const std::vector<unsigned char> secret = Secret(100);
    for (bool destroy : {false, true}) {
        InPlace<Digest> place;
        Digest& d = place.Make(args...);
        d.Reset();
        d.AddData(secret.data(), 100);
        ASSERT_TRUE(place.Holds(secret, 8)) << name << ": the test cannot see the buffer";
        if (destroy) {
            place.Destroy();  // abandoned half-way, as by an error
        } else {
            unsigned char out[64];
            d.FinalDigest(out);
        }
        EXPECT_FALSE(place.Holds(secret, 8)) << name << (destroy ? " destroyed" : " finished") << " still holds data";
        if (!destroy) place.Destroy();
    }
}

TEST(KeyHygiene, FinishedOrDestroyedDigestsHoldNoData) {
    ExpectDigestForgets<CMD5>("MD5");
    ExpectDigestForgets<CSHA>("SHA-1", 0);
    ExpectDigestForgets<CSHA>("SHA-256", 1);
    ExpectDigestForgets<CSHA>("SHA-512", 3);
    ExpectDigestForgets<CRIPEMD>("RIPEMD-160", 1);
}

}  // namespace
}  // namespace mg
