// Differential tests of the TEA cipher (XTEA block function, big-endian
// words) against Crypto++'s XTEA.
#include <crypto++/modes.h>
#include <crypto++/tea.h>

#include <random>

#include <gtest/gtest.h>

#include "cipher/tea.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;

template <class Mode>
Bytes RunMode(const Bytes& key, const Bytes& iv, const Bytes& in)
{
    Mode m;
    m.SetKeyWithIV(key.data(), key.size(), iv.data(), iv.size());
    Bytes out(in.size());
    m.ProcessData(out.data(), in.data(), in.size());
    return out;
}

TEST(CryptoppOracle, XteaEveryMode)
{
    std::mt19937 rng(32);
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        for (int round = 0; round < 50; ++round) {
            const Bytes key = test::RandomBytes(rng, 16);
            const Bytes iv = test::RandomBytes(rng, 8);
            const Bytes plain = test::RandomBytes(rng, 8 * (1 + rng() % 40));
            Bytes expected;
            switch (mode) {
            case 0: {
                // ECB takes no IV at all.
                CryptoPP::ECB_Mode<CryptoPP::XTEA>::Encryption e(key.data(), key.size());
                expected.resize(plain.size());
                e.ProcessData(expected.data(), plain.data(), plain.size());
                break;
            }
            case 1: expected = RunMode<CryptoPP::CBC_Mode<CryptoPP::XTEA>::Encryption>(key, iv, plain); break;
            case 2: expected = RunMode<CryptoPP::CFB_Mode<CryptoPP::XTEA>::Encryption>(key, iv, plain); break;
            default: expected = RunMode<CryptoPP::OFB_Mode<CryptoPP::XTEA>::Encryption>(key, iv, plain); break;
            }
            CTea c;
            c.Initialize(key.data(), 16, iv.data(), mode, 0);
            ASSERT_EQ(test::EncryptWith(c, plain), expected) << "mode " << mode;
            c.ResetChain();
            ASSERT_EQ(test::DecryptWith(c, expected), plain) << "mode " << mode;
        }
    }
}

}  // namespace
}  // namespace mg
