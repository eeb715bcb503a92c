// Differential tests of Rijndael against libmcrypt, the one widely available
// implementation of the 192- and 256-bit blocks.
#include <mcrypt.h>

#include <random>

#include <gtest/gtest.h>

#include "cipher/rijndael.h"
#include "cipher_test_util.h"

namespace mg {
namespace {

using test::Bytes;

Bytes Mcrypt(std::int32_t blockSize, const char* mode, bool encrypt, Bytes key, Bytes iv, Bytes data)
{
    const char* algorithm = blockSize == 16 ? "rijndael-128" : blockSize == 24 ? "rijndael-192" : "rijndael-256";
    MCRYPT m = mcrypt_module_open(const_cast<char*>(algorithm), nullptr, const_cast<char*>(mode), nullptr);
    if (m == MCRYPT_FAILED) throw std::runtime_error("mcrypt module unavailable");
    // mcrypt takes exactly key-size bytes here; shorter keys it would pad itself.
    const int rc = mcrypt_generic_init(m, key.data(), static_cast<int>(key.size()), iv.data());
    if (rc < 0) {
        mcrypt_module_close(m);
        throw std::runtime_error("mcrypt_generic_init failed");
    }
    if (encrypt)
        mcrypt_generic(m, data.data(), static_cast<int>(data.size()));
    else
        mdecrypt_generic(m, data.data(), static_cast<int>(data.size()));
    mcrypt_generic_deinit(m);
    mcrypt_module_close(m);
    return data;
}

TEST(McryptOracle, RijndaelAllBlockAndKeySizesInEveryMode)
{
    // mcrypt's "ncfb" and "nofb" feed back whole blocks, like ours.
    const char* const modes[4] = {"ecb", "cbc", "ncfb", "nofb"};
    std::mt19937 rng(256);
    for (std::int32_t bs : {16, 24, 32}) {
        for (std::int32_t ks : {16, 24, 32}) {
            for (std::int32_t mode = 0; mode < 4; ++mode) {
                for (int round = 0; round < 10; ++round) {
                    const Bytes key = test::RandomBytes(rng, static_cast<std::size_t>(ks));
                    const Bytes iv = test::RandomBytes(rng, static_cast<std::size_t>(bs));
                    const Bytes plain = test::RandomBytes(rng, static_cast<std::size_t>(bs) * (1 + rng() % 12));
                    const Bytes expected = Mcrypt(bs, modes[mode], true, key, iv, plain);
                    CRijndael c;
                    c.Initialize(key.data(), ks, iv.data(), ks, bs, mode, 0);
                    ASSERT_EQ(test::EncryptWith(c, plain), expected) << bs << "/" << ks << "/" << modes[mode];
                    c.ResetChain();
                    ASSERT_EQ(test::DecryptWith(c, expected), plain);
                    ASSERT_EQ(Mcrypt(bs, modes[mode], false, key, iv, expected), plain);
                }
            }
        }
    }
}

}  // namespace
}  // namespace mg
