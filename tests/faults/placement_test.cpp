// Every implementation tier with its objects and buffers wherever a host may
// put them. A 32-bit Windows heap hands out 8-byte aligned blocks and its
// callers a 4-byte aligned stack, so no accelerated path may count on more
// than the alignment of the types it is given. Objects go at every offset
// modulo 64 that their type allows, data at every byte offset, and each
// result must equal the portable one computed in ordinary storage.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "checksum/crc_kernels.h"
#include "cipher/aes_gcm.h"
#include "cipher/blowfish.h"
#include "cipher/byte_order.h"
#include "cipher/chacha20_kernels.h"
#include "cipher/chacha20_poly1305.h"
#include "cipher/poly1305.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "cpu/cpu_features.h"
#include "digest/digest_kernels.h"
#include "digest/md5.h"
#include "digest/ripemd.h"
#include "digest/sha.h"
#include "kdf/argon2_kernels.h"

namespace mg {
namespace {

using Bytes = std::vector<unsigned char>;
constexpr std::size_t kSpan = 64;

// A 64-byte aligned arena with room for `size` bytes at any offset below 64.
class Arena {
public:
    explicit Arena(std::size_t size) : m_oRaw(size + 2 * kSpan) {}
    unsigned char* At(std::size_t offset) {
        auto base = reinterpret_cast<std::uintptr_t>(m_oRaw.data());
        base = (base + kSpan - 1) & ~static_cast<std::uintptr_t>(kSpan - 1);
        return reinterpret_cast<unsigned char*>(base) + offset;
    }

private:
    std::vector<unsigned char> m_oRaw;
};

// An object built in an arena at a given offset and destroyed with it.
template <class T>
class Placed {
public:
    template <class... A>
    Placed(std::size_t offset, A&&... args) : m_oArena(sizeof(T)) {
        m_pObject = new (m_oArena.At(offset)) T(std::forward<A>(args)...);
    }
    ~Placed() { m_pObject->~T(); }
    Placed(const Placed&) = delete;
    Placed& operator=(const Placed&) = delete;
    T& operator*() { return *m_pObject; }
    T* operator->() { return m_pObject; }

private:
    Arena m_oArena;
    T* m_pObject;
};

// The offsets below 64 that an object of T may legally have.
template <class T>
std::vector<std::size_t> ObjectOffsets() {
    std::vector<std::size_t> offsets;
    for (std::size_t o = 0; o < kSpan; o += alignof(T)) offsets.push_back(o);
    return offsets;
}

Bytes Random(std::mt19937& rng, std::size_t n) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<unsigned char>(rng());
    return b;
}

// One cipher shape: which cipher, and for Rijndael its key and block size.
enum class Kind { kRijndael, kBlowfish, kTea };

struct Shape {
    Kind kind;
    std::int32_t keySize = 0;
    std::int32_t blockSize = 8;

    std::string Name() const {
        if (kind == Kind::kBlowfish) return "Blowfish";
        if (kind == Kind::kTea) return "TEA";
        return "Rijndael key " + std::to_string(keySize) + " block " + std::to_string(blockSize);
    }
    std::int32_t HighestMode() const { return kind == Kind::kRijndael ? CRijndael::kHighestMode : 3; }

    void Initialize(IBlockCipher& c, const Bytes& key, const Bytes& iv, std::int32_t mode) const {
        const auto keyLength = static_cast<std::int32_t>(key.size());
        switch (kind) {
        case Kind::kBlowfish: {
            const std::uint32_t words[2] = {LoadBe32(iv.data()), LoadBe32(iv.data() + 4)};
            static_cast<CBlowfish&>(c).Initialize(key.data(), keyLength, words, mode, 0);
            break;
        }
        case Kind::kTea:
            static_cast<CTea&>(c).Initialize(key.data(), keyLength, iv.data(), mode, 0);
            break;
        default:
            static_cast<CRijndael&>(c).Initialize(key.data(), keyLength, iv.data(), keySize, blockSize, mode, 0);
        }
    }
};

std::vector<Shape> Shapes() {
    std::vector<Shape> shapes;
    for (std::int32_t key : {16, 24, 32})
        for (std::int32_t block : {16, 24, 32}) shapes.push_back({Kind::kRijndael, key, block});
    shapes.push_back({Kind::kBlowfish});
    shapes.push_back({Kind::kTea});
    return shapes;
}

// Runs one placed cipher over data at `inAt` into `outAt` and returns the output.
template <class T>
Bytes RunPlaced(const Shape& shape, std::size_t objectAt, std::int32_t tier, std::int32_t mode, bool decrypt,
                const Bytes& key, const Bytes& iv, const Bytes& data, std::size_t inAt, std::size_t outAt,
                std::int32_t* used) {
    Placed<T> cipher(objectAt);
    cipher->SetAccelLimit(tier);
    shape.Initialize(*cipher, key, iv, mode);
    *used = cipher->Accel();
    Arena in(data.size()), out(data.size());
    std::memcpy(in.At(inAt), data.data(), data.size());
    const auto length = static_cast<std::int32_t>(data.size());
    if (decrypt)
        cipher->Decrypt(in.At(inAt), out.At(outAt), length);
    else
        cipher->Encrypt(in.At(inAt), out.At(outAt), length);
    return Bytes(out.At(outAt), out.At(outAt) + data.size());
}

template <class T>
void CheckCipher(const Shape& shape, std::mt19937& rng, bool& anyAccelerated) {
    // Enough blocks for the widest group of every tier, plus a remainder.
    const std::size_t blocks = 37;
    const std::vector<std::size_t> objectOffsets = ObjectOffsets<T>();
    for (std::int32_t mode = 0; mode <= shape.HighestMode(); ++mode) {
        for (bool decrypt : {false, true}) {
            const Bytes key = Random(rng, 32), iv = Random(rng, 32);
            const Bytes data = Random(rng, blocks * static_cast<std::size_t>(shape.blockSize));
            std::int32_t used = 0;
            const Bytes expected = RunPlaced<T>(shape, 0, IBlockCipher::kAccelPortable, mode, decrypt, key, iv,
                                                data, 0, 0, &used);
            std::int32_t lastTier = 0;
            for (std::int32_t limit = 1; limit <= IBlockCipher::kAccelBest; ++limit) {
                for (std::size_t at = 0; at < kSpan; ++at) {
                    const std::size_t objectAt = objectOffsets[at % objectOffsets.size()];
                    const std::size_t outAt = (at * 37 + 5) % kSpan;
                    const Bytes actual =
                        RunPlaced<T>(shape, objectAt, limit, mode, decrypt, key, iv, data, at, outAt, &used);
                    if (used == lastTier) break;  // this limit reaches no new tier
                    ASSERT_EQ(actual, expected) << shape.Name() << ", tier " << used << ", mode " << mode
                                                << (decrypt ? " decrypt" : " encrypt") << ", object at +"
                                                << objectAt << ", input at +" << at << ", output at +" << outAt;
                }
                if (used != lastTier) anyAccelerated = anyAccelerated || used > 0;
                lastTier = used;
            }
        }
    }
}

TEST(Placement, CipherTiersAtEveryOffset) {
    std::mt19937 rng(64);
    bool anyAccelerated = false;
    for (const Shape& shape : Shapes()) {
        if (shape.kind == Kind::kBlowfish)
            CheckCipher<CBlowfish>(shape, rng, anyAccelerated);
        else if (shape.kind == Kind::kTea)
            CheckCipher<CTea>(shape, rng, anyAccelerated);
        else
            CheckCipher<CRijndael>(shape, rng, anyAccelerated);
    }
    if (!anyAccelerated) GTEST_SKIP() << "only the portable ciphers run here";
}

// Each compression function this CPU runs, its chaining words and its data
// at every offset, against the portable one.
template <class Word, class Fn>
int CheckKernels(std::span<const DigestKernel<Fn>> kernels, std::size_t blockLength, std::mt19937& rng) {
    const CpuFeatures cpu = DetectCpu();
    const Fn portable = kernels.back().compress;
    const std::size_t blocks = 5;
    int compared = 0;
    for (const auto& kernel : kernels.first(kernels.size() - 1)) {
        if (!kernel.usable(cpu)) continue;
        ++compared;
        for (std::size_t at = 0; at < kSpan; ++at) {
            const Bytes data = Random(rng, blocks * blockLength);
            Word expected[8];
            for (auto& w : expected) w = static_cast<Word>(rng());
            Arena words(sizeof expected), bytes(data.size());
            const std::size_t wordsAt = (at * sizeof(Word)) % kSpan;
            auto* state = reinterpret_cast<Word*>(words.At(wordsAt));
            std::memcpy(state, expected, sizeof expected);
            std::memcpy(bytes.At(at), data.data(), data.size());
            portable(expected, data.data(), blocks);
            kernel.compress(state, bytes.At(at), blocks);
            if (std::memcmp(state, expected, sizeof expected) != 0) {
                ADD_FAILURE() << kernel.name << ": words at +" << wordsAt << ", data at +" << at;
                return compared;
            }
        }
    }
    return compared;
}

TEST(Placement, DigestKernelsAtEveryOffset) {
    std::mt19937 rng(65);
    const int compared = CheckKernels<std::uint32_t>(Sha1Kernels(), 64, rng) +
                         CheckKernels<std::uint32_t>(Sha256Kernels(), 64, rng) +
                         CheckKernels<std::uint64_t>(Sha512Kernels(), 128, rng);
    if (compared == 0) GTEST_SKIP() << "only the portable compression functions run here";
}

// The digest objects themselves, on the tier this process chose, at every
// offset their type allows, fed from every byte offset.
template <class T, class... A>
void CheckDigestObject(const char* name, std::mt19937& rng, A... args) {
    const Bytes data = Random(rng, 1000);
    T reference(args...);
    unsigned char expected[64], actual[64];
    reference.AddData(data.data(), static_cast<std::int32_t>(data.size()));
    reference.FinalDigest(expected);
    const auto length = static_cast<std::size_t>(reference.DigestLength());
    const std::vector<std::size_t> objectOffsets = ObjectOffsets<T>();
    for (std::size_t at = 0; at < kSpan; ++at) {
        Placed<T> digest(objectOffsets[at % objectOffsets.size()], args...);
        Arena bytes(data.size());
        std::memcpy(bytes.At(at), data.data(), data.size());
        // In two pieces, so that the object's own block buffer is used too.
        digest->AddData(bytes.At(at), 333);
        digest->AddData(bytes.At(at) + 333, static_cast<std::int32_t>(data.size() - 333));
        digest->FinalDigest(actual);
        ASSERT_EQ(0, std::memcmp(actual, expected, length)) << name << ", data at +" << at;
    }
}

TEST(Placement, DigestObjectsAtEveryOffset) {
    std::mt19937 rng(66);
    for (std::int32_t method = 0; method < 4; ++method) CheckDigestObject<CSHA>("SHA", rng, method);
    CheckDigestObject<CMD5>("MD5", rng);
    for (std::int32_t method = 0; method < 2; ++method) CheckDigestObject<CRIPEMD>("RIPEMD", rng, method);
}

TEST(Placement, CrcKernelsAtEveryOffset) {
    std::mt19937 rng(67);
    const CpuFeatures cpu = DetectCpu();
    const CrcKernels& portable = AllCrcKernels().back();
    // Long enough for the widest fold loop and its tail; no NUL, so the
    // stop-at-NUL variant runs to the end as well.
    Bytes data = Random(rng, 1500);
    for (auto& b : data) b = static_cast<unsigned char>(b | 1);
    int compared = 0;
    for (const auto& kernels : AllCrcKernels().first(AllCrcKernels().size() - 1)) {
        if (!kernels.usable(cpu)) continue;
        ++compared;
        for (std::size_t at = 0; at < kSpan; ++at) {
            Arena bytes(data.size());
            unsigned char* p = bytes.At(at);
            std::memcpy(p, data.data(), data.size());
            const std::size_t n = data.size() - at;
            EXPECT_EQ(kernels.crc32(0x12345678u, p, n), portable.crc32(0x12345678u, data.data(), n))
                << kernels.name << " CRC-32, data at +" << at;
            EXPECT_EQ(kernels.crc16(0x1234, p, n), portable.crc16(0x1234, data.data(), n))
                << kernels.name << " CRC-16, data at +" << at;
            EXPECT_EQ(kernels.crc16UntilNul(0x1234, p, n), portable.crc16UntilNul(0x1234, data.data(), n))
                << kernels.name << " CRC-16 to NUL, data at +" << at;
        }
    }
    if (compared == 0) GTEST_SKIP() << "only the portable CRC runs here";
}

// AES-GCM on each tier, the object and every buffer (nonce, context, data,
// tag) displaced together, against the portable result.
TEST(Placement, GcmTiersAtEveryOffset) {
    std::mt19937 rng(68);
    const std::vector<std::size_t> objectOffsets = ObjectOffsets<CAesGcm>();
    bool anyAccelerated = false;
    for (std::size_t keyLength : {16u, 24u, 32u}) {
        // Associated data past the widest group; data past the blocks that
        // bring the counter to a multiple of the widest group (31 at most)
        // and then two such groups, with a partial block at the end.
        const Bytes key = Random(rng, keyLength), nonce = Random(rng, 12), aad = Random(rng, 16 * 33 + 3);
        const Bytes data = Random(rng, 16 * 97 + 5);
        Bytes expected(data.size()), expectedTag(16);
        CAesGcm reference;
        reference.SetAccelLimit(0);
        reference.Initialize(key.data(), key.size());
        reference.Seal(nonce.data(), aad.data(), aad.size(), data.data(), data.size(), expected.data(),
                       expectedTag.data());
        std::int32_t lastTier = 0;
        for (std::int32_t limit = 1; limit <= IBlockCipher::kAccelBest; ++limit) {
            for (std::size_t at = 0; at < kSpan; ++at) {
                Placed<CAesGcm> gcm(objectOffsets[at % objectOffsets.size()]);
                gcm->SetAccelLimit(limit);
                gcm->Initialize(key.data(), key.size());
                if (gcm->Accel() == lastTier) break;  // this limit reaches no new tier
                Arena n(12), a(aad.size()), in(data.size()), out(data.size()), tag(16);
                std::memcpy(n.At(at), nonce.data(), 12);
                std::memcpy(a.At(at), aad.data(), aad.size());
                std::memcpy(in.At(at), data.data(), data.size());
                const std::size_t outAt = (at * 37 + 5) % kSpan;
                gcm->Seal(n.At(at), a.At(at), aad.size(), in.At(at), data.size(), out.At(outAt), tag.At(at));
                ASSERT_EQ(Bytes(out.At(outAt), out.At(outAt) + data.size()), expected)
                    << "key " << keyLength << ", tier " << gcm->Accel() << ", data at +" << at;
                ASSERT_EQ(Bytes(tag.At(at), tag.At(at) + 16), expectedTag) << "tag, tier " << gcm->Accel();
                ASSERT_TRUE(gcm->Open(n.At(at), a.At(at), aad.size(), out.At(outAt), data.size(), tag.At(at),
                                      in.At(at)));
                ASSERT_EQ(Bytes(in.At(at), in.At(at) + data.size()), data) << "opened, tier " << gcm->Accel();
            }
            CAesGcm probe;
            probe.SetAccelLimit(limit);
            probe.Initialize(key.data(), key.size());
            anyAccelerated = anyAccelerated || probe.Accel() > 0;
            lastTier = probe.Accel();
        }
    }
    if (!anyAccelerated) GTEST_SKIP() << "only the portable AES-GCM runs here";
}

// Argon2's compression function: its three blocks wherever the memory pieces
// put them (8-byte aligned at least, as the words are).
TEST(Placement, Argon2KernelsAtEveryOffset) {
    std::mt19937 rng(69);
    const CpuFeatures cpu = DetectCpu();
    const Argon2FillFn portable = Argon2Kernels().back().fill;
    int compared = 0;
    for (const auto& kernel : Argon2Kernels().first(Argon2Kernels().size() - 1)) {
        if (!kernel.usable(cpu)) continue;
        ++compared;
        for (std::size_t at = 0; at < kSpan; at += alignof(Argon2Block)) {
            for (bool withXor : {false, true}) {
                Argon2Block prev, ref, expected;
                for (auto* b : {&prev, &ref, &expected})
                    for (auto& w : b->v) w = (static_cast<std::uint64_t>(rng()) << 32) | rng();
                Placed<Argon2Block> p(at, prev), r((at + 24) % kSpan, ref), next((at + 40) % kSpan, expected);
                portable(prev, ref, expected, withXor);
                kernel.fill(*p, *r, *next, withXor);
                ASSERT_EQ(0, std::memcmp(next->v, expected.v, sizeof expected.v))
                    << kernel.name << ", blocks at +" << at << (withXor ? ", xor" : "");
            }
        }
    }
    if (compared == 0) GTEST_SKIP() << "only the portable Argon2 compression runs here";
}

// The ChaCha20 block functions of every tier, state and data at every offset,
// Poly1305 (on IFMA or AVX2 where present) with its object and data
// displaced, and the AEAD sealing across its slices from and to any offset.
TEST(Placement, ChaCha20AndPoly1305AtEveryOffset) {
    std::mt19937 rng(70);
    const std::size_t blocks = 37;  // past the widest tier's sixteen, with a remainder
    const Bytes data = Random(rng, 64 * blocks);
    std::uint32_t state[16];
    for (auto& w : state) w = static_cast<std::uint32_t>(rng());
    Bytes expected(data.size());
    ChaCha20XorLimited(state, data.data(), expected.data(), blocks, ChaCha20Tier::kPortable);
    for (int tier = 1; tier <= static_cast<int>(ChaCha20Tier::kBest); ++tier) {
        for (std::size_t at = 0; at < kSpan; ++at) {
            Arena words(sizeof state), in(data.size()), out(data.size());
            auto* placedState = reinterpret_cast<std::uint32_t*>(words.At(at / 4 * 4));
            std::memcpy(placedState, state, sizeof state);
            std::memcpy(in.At(at), data.data(), data.size());
            const std::size_t outAt = (at * 37 + 5) % kSpan;
            ChaCha20XorLimited(placedState, in.At(at), out.At(outAt), blocks, static_cast<ChaCha20Tier>(tier));
            ASSERT_EQ(Bytes(out.At(outAt), out.At(outAt) + data.size()), expected)
                << "ChaCha20 up to tier " << tier << ", data at +" << at;
        }
    }

    const Bytes key = Random(rng, CPoly1305::kKeyLength);
    unsigned char tag[CPoly1305::kTagLength], placedTag[CPoly1305::kTagLength];
    CPoly1305 reference(key.data());
    reference.Update(data.data(), data.size());
    reference.Final(tag);
    const std::vector<std::size_t> objectOffsets = ObjectOffsets<CPoly1305>();
    for (std::size_t at = 0; at < kSpan; ++at) {
        Arena bytes(data.size());
        std::memcpy(bytes.At(at), data.data(), data.size());
        Placed<CPoly1305> mac(objectOffsets[at % objectOffsets.size()], key.data());
        mac->Update(bytes.At(at), 100);  // a partial block first, so the object's buffer is used
        mac->Update(bytes.At(at) + 100, data.size() - 100);
        mac->Final(placedTag);
        ASSERT_EQ(0, std::memcmp(tag, placedTag, sizeof tag)) << "Poly1305, data at +" << at;
    }

    const std::size_t sealLength = 16384 + 1000;  // past one slice, not whole blocks
    const Bytes plain = Random(rng, sealLength), nonce = Random(rng, CChaCha20Poly1305::kNonceLength);
    Bytes sealed(sealLength + CChaCha20Poly1305::kTagLength);
    CChaCha20Poly1305(key.data()).Seal(nonce.data(), nullptr, 0, plain.data(), sealLength, sealed.data());
    const std::vector<std::size_t> aeadOffsets = ObjectOffsets<CChaCha20Poly1305>();
    for (std::size_t at = 0; at < kSpan; ++at) {
        Arena in(sealLength), out(sealed.size());
        std::memcpy(in.At(at), plain.data(), sealLength);
        const std::size_t outAt = (at * 37 + 5) % kSpan;
        Placed<CChaCha20Poly1305> aead(aeadOffsets[at % aeadOffsets.size()], key.data());
        aead->Seal(nonce.data(), nullptr, 0, in.At(at), sealLength, out.At(outAt));
        ASSERT_EQ(Bytes(out.At(outAt), out.At(outAt) + sealed.size()), sealed) << "ChaCha20-Poly1305, data at +" << at;
    }
}

}  // namespace
}  // namespace mg
