// AES-GCM: published known answers on every tier this CPU offers, refusal of
// any change to a sealed message, and the accelerated tiers against the
// portable code on random messages.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cipher/aes_gcm.h"
#include "cipher/byte_order.h"
#include "cipher/gcm_accel.h"
#include "cipher/ghash.h"
#include "cipher/rijndael.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using namespace test;

struct Vector {
    const char *key, *iv, *plain, *aad, *cipher, *tag;
};

// NIST CAVP, gcmEncryptExtIV128/192/256.rsp (the GCM test vectors of NIST
// SP 800-38D's validation system): Count = 0 of the sections with a 96-bit
// IV, a 128-bit tag and (PTlen, AADlen) of (0, 0), (0, 720), (128, 0),
// (104, 160), (256, 384), (408, 720) bits, for 128-, 192- and 256-bit keys.
const Vector kNist[] = {
    {"11754cd72aec309bf52f7687212e8957", "3c819d9a9bed087615030b65", "", "", "", "250327c674aaf477aef2675748cf6971"},
    {"20b5b6b854e187b058a84d57bc1538b6", "94c1935afc061cbf254b936f", "", "ca418e71dbf810038174eaa3719b3fcb80531c7110ad9192d105eeaafa15b819ac005668752b344ed1b22faf77048baf03dbddb3b47d6b00e95c4f005e0cc9b7627ccafd3f21b3312aa8d91d3fa0893fe5bff7d44ca46f23afe0", "", "b37286ebaf4a54e0ffc2a1deafc9f6db"},
    {"7fddb57453c241d03efbed3ac44e371c", "ee283a3fc75575e33efd4887", "d5de42b461646c255c87bd2962d3b9a2", "", "2ccda4a5415cb91e135c2a0f78c9b2fd", "b36d1df9b9d5e596f83e8b7f52971cb3"},
    {"fe0121f42e599f88ff02a985403e19bb", "3bb9eb7724cbe1943d43de21", "fd331ca8646091c29f21e5f0a1", "2662d895035b6519f3510eae0faa3900ad23cfdf", "59fe29b07b0de8d869efbbd9b4", "d24c3e9c1c73c0af1097e26061c857de"},
    {"48b7f337cdf9252687ecc760bd8ec184", "3e894ebb16ce82a53c3e05b2", "bb2bac67a4709430c39c2eb9acfabc0d456c80d30aa1734e57997d548a8f0603", "7d924cfd37b3d046a96eb5e132042405c8731e06509787bbeb41f258275746495e884d69871f77634c584bb007312234", "d263228b8ce051f67e9baf1ce7df97d10cd5f3bc972362055130c7d13c3ab2e7", "71446737ca1fa92e6d026d7d2ed1aa9c"},
    {"2c1f21cf0f6fb3661943155c3e3d8492", "23cb5ff362e22426984d1907", "42f758836986954db44bf37c6ef5e4ac0adaf38f27252a1b82d02ea949c8a1a2dbc0d68b5615ba7c1220ff6510e259f06655d8", "5d3624879d35e46849953e45a32a624d6a6c536ed9857c613b572b0333e701557a713e3f010ecdf9a6bd6c9e3e44b065208645aff4aabee611b391528514170084ccf587177f4488f33cfb5e979e42b6e1cfc0a60238982a7aec", "81824f0e0d523db30d3da369fdc0d60894c7a0a20646dd015073ad2732bd989b14a222b6ad57af43e1895df9dca2a5344a62cc", "57a3ee28136e94c74838997ae9823f3a"},
    {"aa740abfadcda779220d3b406c5d7ec09a77fe9d94104539", "ab2265b4c168955561f04315", "", "", "", "f149e2b5f0adaa9842ca5f45b768a8fc"},
    {"c25d347ffb5b7ba079be2279a0a7f220f19c74bb9c5a15b6", "b35f142182fea65c642368ed", "", "1967a0bd80cf2c9c58e441e12cba788f9c072177e1ce02f30d58ae981ab37eac452c0d9f1c5f3485d7b16ae09366821d23d44479d52ccc4acd8fa6f5b9013845c629f69c612c9cbbcdca3bdf43855fa7c71bff458a7d4c019ad9", "", "f5a0d64924aeab15a636c7ce4db52243"},
    {"fbc0b4c56a714c83217b2d1bcadd2ed2e9efb0dcac6cc19f", "5f4b43e811da9c470d6a9b01", "d2ae38c4375954835d75b8e4c2f9bbb4", "", "69482957e6be5c54882d00314e0259cf", "191e9f29bef63a26860c1e020a21137e"},
    {"4bea36ca9c7a5cf6df8f8bb5be1e97647d014bd181d50e28", "bff3d447b453eeb78f3a5650", "d4f1053348696176de90c538c6", "33b7e18c7d5fd133faadd0ab524b86526e398203", "0d9f7cde2614b71ed9c4b93503", "e88484488bd6470aa5e79b898c93dd28"},
    {"d1007bd17c6c3ec9efba9baa7584a9c12f61bc36fd8fe95f", "9513f4473b2bd9410d2e2f1f", "17f5ccf5dbe6e97b277824f717d02f8b5b199d014444f72d1a00fb831e1a9d6f", "ab9c76ff9b1de550cde5fd42c6aeae95cbc0395a6c39ac3edf9db75b76a6688461b8cf2fcaf2efcd8d8dd4265b30e291", "db6aee7f53b8627323e7e77e01553463302effc19884553fcdca6d7d0c0ddd33", "8c413e2f67a4124f1ef9d7ab6c238784"},
    {"50f5cc5e33774f383235c64e77c502ca6c5d06ab0af6be04", "9d4c766490224946d91a99a7", "35df59329eb5fc30c28791164bf9b374df228d2be467414727f457a9dd0f079f7342e23adb06929ce0ad607116ee11718ce320", "4feca4174889298e992b765dfa67d33219f9b23898f8e869b7f1fbf5d71d87b44edd963d1055618b9db7bffe96b7856f3197868d6ce5e755a6c751661773e1def403a4cf036151ecae67b35f2891285420956604ef31c9aab341", "77670f6520a34dfc05819a10f322b30e397473fe51f8274bfb105c2eec37e24951abaef11e73c3c425a8c4b2d8c3ffeb8ed924", "5349ef7a70499f2760123c0d5dcf5a6d"},
    {"b52c505a37d78eda5dd34f20c22540ea1b58963cf8e5bf8ffa85f9f2492505b4", "516c33929df5a3284ff463d7", "", "", "", "bdc1ac884d332457a1d2664f168c76f0"},
    {"03ccb7dbc7b8425465c2c3fc39ed0593929ffd02a45ff583bd89b79c6f646fe9", "fd119985533bd5520b301d12", "", "98e68c10bf4b5ae62d434928fc6405147c6301417303ef3a703dcfd2c0c339a4d0a89bd29fe61fecf1066ab06d7a5c31a48ffbfed22f749b17e9bd0dc1c6f8fbd6fd4587184db964d5456132106d782338c3f117ec05229b0899", "", "cf54e7141349b66f248154427810c87a"},
    {"31bdadd96698c204aa9ce1448ea94ae1fb4a9a0b3c9d773b51bb1822666b8f22", "0d18e06c7c725ac9e362e1ce", "2db5168e932556f8089a0622981d017d", "", "fa4362189661d163fcd6a56d8bf0405a", "d636ac1bbedd5cc3ee727dc2ab4a9489"},
    {"69b458f2644af9020463b40ee503cdf083d693815e2659051ae0d039e606a970", "8d1da8ab5f91ccd09205944b", "f3e0e09224256bf21a83a5de8d", "036ad5e5494ef817a8af2f5828784a4bfedd1653", "c0a62d77e6031bfdc6b13ae217", "a794a9aaee48cd92e47761bf1baff0af"},
    {"dc776f0156c15d032623854b625c61868e5db84b7b6f9fbd3672f12f0025e0f6", "67130951c4a57f6ae7f13241", "9378a727a5119595ad631b12a5a6bc8a91756ef09c8d6eaa2b718fe86876da20", "fd0920faeb7b212932280a009bac969145e5c316cf3922622c3705c3457c4e9f124b2076994323fbcfb523f8ed16d241", "6d958c20870d401a3c1f7a0ac092c97774d451c09f7aae992a8841ff0ab9d60d", "b876831b4ecd7242963b040aa45c4114"},
    {"148579a3cbca86d5520d66c0ec71ca5f7e41ba78e56dc6eebd566fed547fe691", "b08a5ea1927499c6ecbfd4e0", "9d0b15fdf1bd595f91f8b3abc0f7dec927dfd4799935a1795d9ce00c9b879434420fe42c275a7cd7b39d638fb81ca52b49dc41", "e4f963f015ffbb99ee3349bbaf7e8e8e6c2a71c230a48f9d59860a29091d2747e01a5ca572347e247d25f56ba7ae8e05cde2be3c97931292c02370208ecd097ef692687fecf2f419d3200162a6480a57dad408a0dfeb492e2c5d", "2097e372950a5e9383c675e89eea1c314f999159f5611344b298cda45e62843716f215f82ee663919c64002a5c198d7878fd3f", "adbecdb0d5c2224d804d2886ff9a5760"},
};

// The distinct tiers that a limit of 0 to 3 reaches here, portable first.
std::vector<std::int32_t> Tiers()
{
    std::vector<std::int32_t> tiers;
    const Bytes key(16, 7);
    for (std::int32_t limit = 0; limit <= IBlockCipher::kAccelBest; ++limit) {
        CAesGcm gcm;
        gcm.SetAccelLimit(limit);
        gcm.Initialize(key.data(), key.size());
        if (std::find(tiers.begin(), tiers.end(), gcm.Accel()) == tiers.end()) tiers.push_back(gcm.Accel());
    }
    return tiers;
}

struct Sealed {
    Bytes cipher, tag;
};

Sealed SealWith(CAesGcm& gcm, const Bytes& nonce, const Bytes& aad, const Bytes& plain)
{
    Sealed s{Bytes(plain.size()), Bytes(16)};
    gcm.Seal(nonce.data(), aad.data(), aad.size(), plain.data(), plain.size(), s.cipher.data(), s.tag.data());
    return s;
}

TEST(AesGcm, NistVectorsOnEveryTier)
{
    for (std::int32_t tier : Tiers()) {
        for (const Vector& v : kNist) {
            const Bytes key = Hex(v.key), iv = Hex(v.iv), plain = Hex(v.plain), aad = Hex(v.aad);
            CAesGcm gcm;
            gcm.SetAccelLimit(tier);
            gcm.Initialize(key.data(), key.size());
            ASSERT_EQ(gcm.Accel(), tier);
            const std::string what = "tier " + std::to_string(tier) + ", key " + v.key;
            const Sealed s = SealWith(gcm, iv, aad, plain);
            EXPECT_EQ(s.cipher, Hex(v.cipher)) << what;
            EXPECT_EQ(s.tag, Hex(v.tag)) << what;
            // In place, both ways.
            Bytes buffer = plain;
            Bytes tag(16);
            gcm.Seal(iv.data(), aad.data(), aad.size(), buffer.data(), buffer.size(), buffer.data(), tag.data());
            EXPECT_EQ(buffer, s.cipher) << what;
            ASSERT_TRUE(gcm.Open(iv.data(), aad.data(), aad.size(), buffer.data(), buffer.size(), tag.data(),
                                 buffer.data()))
                << what;
            EXPECT_EQ(buffer, plain) << what;
        }
    }
}

TEST(AesGcm, AnyChangeIsRefusedAndNothingLeaks)
{
    std::mt19937 rng(16);
    for (std::int32_t tier : Tiers()) {
        const Bytes key = RandomBytes(rng, 32), nonce = RandomBytes(rng, 12), aad = RandomBytes(rng, 9);
        const Bytes plain = RandomBytes(rng, 21);
        CAesGcm gcm;
        gcm.SetAccelLimit(tier);
        gcm.Initialize(key.data(), key.size());
        const Sealed s = SealWith(gcm, nonce, aad, plain);
        auto opens = [&](const Bytes& n, const Bytes& a, const Bytes& c, const Bytes& t) {
            Bytes out(c.size(), 0xEE);
            const bool ok = gcm.Open(n.data(), a.data(), a.size(), c.data(), c.size(), t.data(), out.data());
            if (!ok) {
                EXPECT_EQ(out, Bytes(c.size(), 0)) << "a refused message left output behind";
            }
            return ok;
        };
        ASSERT_TRUE(opens(nonce, aad, s.cipher, s.tag));
        // Nonce, data, ciphertext and tag: flip every bit of each.
        const Bytes whole[4] = {nonce, aad, s.cipher, s.tag};
        for (int part = 0; part < 4; ++part) {
            for (std::size_t bit = 0; bit < 8 * whole[part].size(); ++bit) {
                Bytes p[4] = {whole[0], whole[1], whole[2], whole[3]};
                p[part][bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
                EXPECT_FALSE(opens(p[0], p[1], p[2], p[3])) << "tier " << tier << ", part " << part << ", bit " << bit;
            }
        }
        EXPECT_FALSE(opens(nonce, Slice(aad, 0, aad.size() - 1), s.cipher, s.tag));
        Bytes longer = s.cipher;
        longer.push_back(0);
        EXPECT_FALSE(opens(nonce, aad, longer, s.tag));
        EXPECT_FALSE(opens(nonce, aad, Slice(s.cipher, 0, s.cipher.size() - 1), s.tag));
        CAesGcm other;
        Bytes otherKey = key;
        otherKey[31] ^= 1;
        other.Initialize(otherKey.data(), otherKey.size());
        Bytes out(plain.size());
        EXPECT_FALSE(other.Open(nonce.data(), aad.data(), aad.size(), s.cipher.data(), s.cipher.size(),
                                s.tag.data(), out.data()));
    }
}

TEST(AesGcm, KeyLengthsOtherThanAesAreRefused)
{
    CAesGcm gcm;
    const Bytes key(33, 1);
    for (std::size_t n : {0, 1, 15, 17, 20, 23, 25, 31, 33})
        EXPECT_THROW(gcm.Initialize(key.data(), n), std::invalid_argument) << n;
    Bytes tag(16);
    EXPECT_THROW(gcm.Seal(key.data(), nullptr, 0, nullptr, 0, nullptr, tag.data()), std::logic_error);
}

// Lengths around every group size and remainder of both accelerated tiers
// (4, 8 and 32 blocks per step; 8 on VAES in the 32-bit build), and past
// several steps of the widest.
const std::size_t kLengths[] = {0,   1,   15,  16,  17,  31,  32,  48,   63,   64,   65,   112,  127,   128,
                                129, 200, 255, 256, 257, 300, 383, 384,  511,  512,  513,  700,  1023,  1024,
                                1025, 2047, 2048, 2049, 3000, 4096, 4111, 8192, 8199, 65536, 65551};

TEST(AesGcm, AcceleratedTiersMatchPortable)
{
    std::mt19937 rng(1616);
    for (std::int32_t tier : Tiers()) {
        if (tier == 0) continue;
        for (std::size_t keyLength : {16, 24, 32}) {
            // One object per key: the powers of the hash key grow with the messages.
            const Bytes key = RandomBytes(rng, keyLength);
            CAesGcm reference, candidate;
            reference.SetAccelLimit(0);
            candidate.SetAccelLimit(tier);
            reference.Initialize(key.data(), key.size());
            candidate.Initialize(key.data(), key.size());
            for (std::size_t len : kLengths) {
                const Bytes nonce = RandomBytes(rng, 12);
                const Bytes aad = RandomBytes(rng, rng() % 4 == 0 ? 0 : rng() % 700);
                const Bytes plain = RandomBytes(rng, len);
                const std::string what = "tier " + std::to_string(tier) + ", " + std::to_string(len) +
                                         " bytes, aad " + std::to_string(aad.size()) + ", key " +
                                         std::to_string(keyLength);
                const Sealed expected = SealWith(reference, nonce, aad, plain);
                const Sealed actual = SealWith(candidate, nonce, aad, plain);
                ASSERT_EQ(actual.cipher, expected.cipher) << what;
                ASSERT_EQ(actual.tag, expected.tag) << what;
                // Each opens what the other sealed; in place for the accelerated one.
                Bytes out(len);
                ASSERT_TRUE(reference.Open(nonce.data(), aad.data(), aad.size(), actual.cipher.data(), len,
                                           actual.tag.data(), out.data()));
                ASSERT_EQ(out, plain) << what;
                out = expected.cipher;
                ASSERT_TRUE(candidate.Open(nonce.data(), aad.data(), aad.size(), out.data(), len,
                                           expected.tag.data(), out.data()))
                    << what;
                ASSERT_EQ(out, plain) << what;
            }
        }
    }
}

// Every length up to a little past two of the widest groups, with and
// without associated data: each tier's path from whole groups through
// single blocks to the partial block, and its start-up blocks before the
// first group.
TEST(AesGcm, EveryShortLengthMatchesPortable)
{
    std::mt19937 rng(600);
    for (std::int32_t tier : Tiers()) {
        if (tier == 0) continue;
        for (std::size_t keyLength : {16, 24, 32}) {
            const Bytes key = RandomBytes(rng, keyLength);
            CAesGcm reference, candidate;
            reference.SetAccelLimit(0);
            candidate.SetAccelLimit(tier);
            reference.Initialize(key.data(), key.size());
            candidate.Initialize(key.data(), key.size());
            for (std::size_t len = 0; len <= 1100; len += len < 600 ? 1 : 37) {
                const Bytes nonce = RandomBytes(rng, 12);
                const Bytes aad = RandomBytes(rng, len % 3 == 0 ? 0 : rng() % 1100);
                const Bytes plain = RandomBytes(rng, len);
                const Sealed expected = SealWith(reference, nonce, aad, plain);
                const Sealed actual = SealWith(candidate, nonce, aad, plain);
                const std::string what = "tier " + std::to_string(tier) + ", key " + std::to_string(keyLength) +
                                         ", " + std::to_string(len) + " bytes, aad " + std::to_string(aad.size());
                ASSERT_EQ(actual.cipher, expected.cipher) << what;
                ASSERT_EQ(actual.tag, expected.tag) << what;
                Bytes out(len);
                ASSERT_TRUE(candidate.Open(nonce.data(), aad.data(), aad.size(), expected.cipher.data(), len,
                                           expected.tag.data(), out.data()))
                    << what;
                ASSERT_EQ(out, plain) << what;
            }
        }
    }
}

// The kernels take the pre-counter block as given, so one whose 32-bit
// counter is a few blocks short of 2^32 shows the counter wrapping to zero
// inside its own 32 bits (the nonce untouched), against counter mode and
// GHASH built here from the portable cipher and hash.
TEST(AesGcm, KernelCounterWrapsInThirtyTwoBits)
{
    std::mt19937 rng(0xffffffffu);
    bool ran = false;
    for (std::int32_t limit = 1; limit <= IBlockCipher::kAccelBest; ++limit) {
        std::int32_t level = 0;
        const gcm_accel::Kernels* kernels = gcm_accel::Select(limit, &level);
        if (kernels == nullptr || level != limit) continue;
        for (std::size_t keyLength : {16, 32}) {
            const Bytes key = RandomBytes(rng, keyLength);
            CRijndael portable;
            portable.SetAccelLimit(0);
            portable.Initialize(key.data(), static_cast<std::int32_t>(keyLength), nullptr,
                                static_cast<std::int32_t>(keyLength), 16, IBlockCipher::kModeEcb,
                                IBlockCipher::kPadZeros);
            gcm_accel::KeySchedule keys;
            kernels->expand(key.data(), keyLength, keys);
            const std::int32_t rounds = static_cast<std::int32_t>(keyLength / 4 + 6);
            gcm_accel::HashKey hashKey{};
            kernels->prepare(keys, rounds, hashKey, 0, gcm_accel::kPowers);
            unsigned char h[16] = {};
            portable.Encrypt(h, h, 16);
            for (std::uint32_t start : {0xffffffffu, 0xfffffff0u, 0xffffffe1u, 0xffffff80u}) {
                const std::size_t len = 16 * 150 + 9;
                const Bytes aad = RandomBytes(rng, 40), plain = RandomBytes(rng, len);
                Bytes j0 = RandomBytes(rng, 16);
                StoreBe32(j0.data() + 12, start);
                Bytes out(len), tag(16);
                kernels->crypt(keys, rounds, hashKey, j0.data(), aad.data(), aad.size(), plain.data(),
                               out.data(), len, false, tag.data());

                Bytes expected(len);
                unsigned char block[16];
                for (std::size_t i = 0; i < len; i += 16) {
                    std::memcpy(block, j0.data(), 12);
                    StoreBe32(block + 12, static_cast<std::uint32_t>(start + 1 + i / 16));
                    portable.Encrypt(block, block, 16);
                    for (std::size_t b = 0; b < 16 && i + b < len; ++b)
                        expected[i + b] = static_cast<unsigned char>(plain[i + b] ^ block[b]);
                }
                CGhash ghash;
                ghash.SetKey(h);
                ghash.Update(aad.data(), aad.size());
                ghash.Update(expected.data(), len);
                ghash.AddLengths(aad.size(), len);
                Bytes expectedTag(16);
                ghash.Digest(expectedTag.data());
                std::memcpy(block, j0.data(), 16);
                portable.Encrypt(block, block, 16);
                for (std::size_t b = 0; b < 16; ++b) expectedTag[b] ^= block[b];

                const std::string what = "tier " + std::to_string(level) + ", key " + std::to_string(keyLength) +
                                         ", counter " + std::to_string(start);
                ASSERT_EQ(out, expected) << what;
                ASSERT_EQ(tag, expectedTag) << what;
                // Opening runs the same counters with the hash over the input.
                Bytes back(len), backTag(16);
                kernels->crypt(keys, rounds, hashKey, j0.data(), aad.data(), aad.size(), out.data(),
                               back.data(), len, true, backTag.data());
                ASSERT_EQ(back, plain) << what;
                ASSERT_EQ(backTag, expectedTag) << what;
                ran = true;
            }
        }
    }
    if (!ran) GTEST_SKIP() << "no accelerated AES-GCM on this CPU";
}

}  // namespace
}  // namespace mg
