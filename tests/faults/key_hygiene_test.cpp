// Keys do not outlive their use: a digest object that has finished, or is
// destroyed half-way, keeps nothing of the data in its memory. The objects are built in storage that the
// test can still read once they are gone; a plain memset in a destructor is
// exactly what an optimiser removes there, which is what these tests catch.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <utility>
#include <vector>

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
    T& Get() { return *std::launder(reinterpret_cast<T*>(m_acStorage)); }
    void Destroy() { Get().~T(); }

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
    alignas(T) unsigned char m_acStorage[sizeof(T)];
};

template <class Digest, class... A>
void ExpectDigestForgets(const char* name, A... args) {
    // 100 bytes: the last 36 (or 100 of a 128-byte block) wait in the
    // object's buffer until FinalDigest, like the tail of an HMAC key pad.
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
