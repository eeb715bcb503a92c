// Constant time, checked by Valgrind's memcheck: keys, round keys, chain
// values and data are marked undefined ("secret") before each path runs, and
// its outputs defined again only afterwards. Memcheck then reports every
// branch and every memory address that depends on a secret, which is what a
// cache or branch timing attack reads. Run it as
//     valgrind --tool=memcheck --error-exitcode=1 ct_memcheck
// (scripts/constant-time.sh). `ct_memcheck --leaky` runs instead the paths
// known to leak: the portable Rijndael rounds, whose table look-ups must be
// reported (a check that the checker sees what it should), and the CRCs.
//
// Only the tiers this CPU offers under Valgrind run (Valgrind shows the
// program a CPU without AVX-512, VAES, VPCLMULQDQ or SHA extensions); the
// program says which it ran and which it left to tests/ct/ct_timing.cpp.
#include <valgrind/memcheck.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "checksum/crc_kernels.h"
#include "cipher/rijndael.h"
#include "cipher/rijndael_accel.h"
#include "cipher/tea.h"
#include "cipher/tea_accel.h"
#include "cpu/cpu_features.h"
#include "digest/digest_kernels.h"
#include "digest/md5.h"
#include "digest/ripemd.h"
#include "digest/sha.h"

namespace mg {
namespace {

template <class T>
void Secret(T* p, std::size_t n = sizeof(T)) {
    VALGRIND_MAKE_MEM_UNDEFINED(p, n);
}

template <class T>
void Public(T* p, std::size_t n = sizeof(T)) {
    VALGRIND_MAKE_MEM_DEFINED(p, n);
}

// Every output ends here once it is public again, so that no computation is
// dropped as unused and the run prints one number to compare.
std::uint64_t g_sink = 0;  // one test program, one thread
void Sink(const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) g_sink = g_sink * 131 + p[i];
}

std::mt19937 g_random(2024);
void Fill(void* p, std::size_t n) {
    auto* b = static_cast<unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(g_random());
}

std::vector<std::string> g_ran;
std::vector<std::string> g_skipped;
std::vector<std::string> g_undecodable;

// Blocks per call: more than the widest batch (16), and not a multiple of
// it, so batched groups and the single-block tail both run.
constexpr std::size_t kBlocks = 19;

void RijndaelKernels() {
    for (std::int32_t tier : {1, 3}) {
        for (std::int32_t blockSize : {16, 24, 32}) {
            const std::string name = "Rijndael tier " + std::to_string(tier) + " block " + std::to_string(blockSize);
            std::int32_t level = 0;
            const rijndael_accel::Kernels* kernels = rijndael_accel::Select(tier, blockSize, &level);
            if (kernels == nullptr || level != tier) {
                g_skipped.push_back(name);
                continue;
            }
            for (std::int32_t rounds : {10, 12, 14}) {
                for (std::int32_t mode = 0; mode <= 3; ++mode) {
                    for (bool encrypt : {true, false}) {
                        rijndael_accel::Keys keys;  // any bytes will do for timing
                        unsigned char chain[32];
                        std::vector<unsigned char> in(kBlocks * blockSize);
                        std::vector<unsigned char> out(in.size());
                        Fill(&keys, sizeof keys);
                        Fill(chain, sizeof chain);
                        Fill(in.data(), in.size());
                        Secret(&keys);
                        Secret(chain, sizeof chain);
                        Secret(in.data(), in.size());
                        (encrypt ? kernels->encrypt : kernels->decrypt)(keys, rounds, mode, chain, in.data(),
                                                                        out.data(), kBlocks);
                        Public(out.data(), out.size());
                        Public(chain, sizeof chain);
                        Sink(out.data(), out.size());
                        Sink(chain, sizeof chain);
                    }
                }
            }
            g_ran.push_back(name + " (ECB, CBC, CFB, OFB both ways, 10/12/14 rounds)");
        }
    }
}

void TeaKernels() {
    for (std::int32_t tier : {1, 2, 3}) {
        const std::string name = "TEA tier " + std::to_string(tier);
        std::int32_t level = 0;
        const tea_accel::Kernels* kernels = tea_accel::Select(tier, &level);
        if (kernels == nullptr || level != tier) {
            g_skipped.push_back(name);
            continue;
        }
        for (std::int32_t mode = 0; mode <= 3; ++mode) {
            for (bool encrypt : {true, false}) {
                std::uint32_t key[4];
                tea_accel::Schedule schedule;
                unsigned char chain[8];
                unsigned char in[kBlocks * 8 * 3];
                unsigned char out[sizeof in];
                Fill(key, sizeof key);
                Fill(chain, sizeof chain);
                Fill(in, sizeof in);
                Secret(key, sizeof key);
                Secret(chain, sizeof chain);
                Secret(in, sizeof in);
                tea_accel::MakeSchedule(key, schedule);
                (encrypt ? kernels->encrypt : kernels->decrypt)(schedule, mode, chain, in, out, sizeof in / 8);
                Public(out, sizeof out);
                Public(chain, sizeof chain);
                Sink(out, sizeof out);
                Sink(chain, sizeof chain);
            }
        }
        g_ran.push_back(name + " (key schedule; ECB, CBC, CFB, OFB both ways)");
    }
}

// The whole object on the portable tier: key set-up from a secret key, the
// mode loop, and padding of secret data.
void TeaObject() {
    for (std::int32_t mode = 0; mode <= 3; ++mode) {
        for (std::int32_t padding = 0; padding <= 4; ++padding) {
            CTea tea;  // fresh: Initialize compares a new key with the one it holds
            tea.SetAccelLimit(IBlockCipher::kAccelPortable);
            unsigned char key[16];
            unsigned char iv[8];
            unsigned char data[64 + 8];
            unsigned char out[sizeof data];
            Fill(key, sizeof key);
            Fill(iv, sizeof iv);
            Fill(data, sizeof data);
            Secret(key, sizeof key);
            Secret(iv, sizeof iv);
            Secret(data, sizeof data);
            tea.Initialize(key, sizeof key, iv, mode, padding);
            const std::int32_t length = tea.Pad(data, 61);
            tea.Encrypt(data, out, length);
            tea.Decrypt(out, data, length);
            Public(out, sizeof out);
            Public(data, sizeof data);
            Sink(out, sizeof out);
            Sink(data, sizeof data);
        }
    }
    g_ran.push_back("TEA portable object (key set-up, every mode and padding)");
}

// Kernels that use an instruction Valgrind 3.19 does not decode although the
// CPU it reports has the extension: the register-to-register form of VEX
// vmovq. They are left to the timing test.
bool ValgrindCannotDecode(const std::string& name) { return name == "SHA-512 xmm-avx"; }

template <class Fn, class Word>
void DigestKernels(const char* algorithm, std::span<const DigestKernel<Fn>> kernels, std::size_t blockBytes) {
    for (const auto& kernel : kernels) {
        const std::string name = std::string(algorithm) + " " + kernel.name;
        if (!kernel.usable(Cpu())) {
            g_skipped.push_back(name);
            continue;
        }
        if (RUNNING_ON_VALGRIND && ValgrindCannotDecode(name)) {
            g_undecodable.push_back(name);
            continue;
        }
        Word state[8];
        unsigned char data[3 * 128];
        Fill(state, sizeof state);
        Fill(data, sizeof data);
        Secret(state, sizeof state);  // keyed: HMAC's inner and outer states
        Secret(data, sizeof data);
        kernel.compress(state, data, sizeof data / blockBytes);
        Public(state, sizeof state);
        Sink(reinterpret_cast<const unsigned char*>(state), sizeof state);
        g_ran.push_back(name);
    }
}

// The digest objects as HMAC uses them: a key longer than the block is hashed
// first, then both pads are the key XOR a constant.
void Hmac(IMessageDigest& digest, const char* name) {
    const std::size_t b = static_cast<std::size_t>(digest.BlockLength());
    const std::size_t n = static_cast<std::size_t>(digest.DigestLength());
    for (std::size_t keyLength : {b / 2, b + 7}) {
        unsigned char key[300];
        unsigned char data[1000];
        Fill(key, sizeof key);
        Fill(data, sizeof data);
        Secret(key, sizeof key);
        Secret(data, sizeof data);
        unsigned char block[128] = {};
        if (keyLength > b) {
            digest.Reset();
            digest.AddData(key, static_cast<std::int32_t>(keyLength));
            digest.FinalDigest(block);
        } else {
            std::memcpy(block, key, keyLength);
        }
        unsigned char pad[128];
        unsigned char inner[64];
        unsigned char out[64];
        for (std::size_t i = 0; i < b; ++i) pad[i] = static_cast<unsigned char>(block[i] ^ 0x36);
        digest.Reset();
        digest.AddData(pad, static_cast<std::int32_t>(b));
        digest.AddData(data, 777);
        digest.FinalDigest(inner);
        for (std::size_t i = 0; i < b; ++i) pad[i] = static_cast<unsigned char>(block[i] ^ 0x5C);
        digest.Reset();
        digest.AddData(pad, static_cast<std::int32_t>(b));
        digest.AddData(inner, static_cast<std::int32_t>(n));
        digest.FinalDigest(out);
        Public(out, n);
        Sink(out, n);
    }
    g_ran.push_back(std::string("HMAC-") + name + " (digest object, key hashed and not)");
}

void Digests() {
    DigestKernels<Compress32Fn, std::uint32_t>("MD5", Md5Kernels(), 64);
    DigestKernels<Compress32Fn, std::uint32_t>("SHA-1", Sha1Kernels(), 64);
    DigestKernels<Compress32Fn, std::uint32_t>("SHA-256", Sha256Kernels(), 64);
    DigestKernels<Compress64Fn, std::uint64_t>("SHA-512", Sha512Kernels(), 128);
    DigestKernels<Compress32Fn, std::uint32_t>("RIPEMD-128", Ripemd128Kernels(), 64);
    DigestKernels<Compress32Fn, std::uint32_t>("RIPEMD-160", Ripemd160Kernels(), 64);
    CMD5 md5;
    Hmac(md5, "MD5");
    const char* sha[] = {"SHA-1", "SHA-256", "SHA-384", "SHA-512"};
    for (std::int32_t method = 0; method < 4; ++method) {
        CSHA digest(method);
        Hmac(digest, sha[method]);
    }
    for (std::int32_t method = 0; method < 2; ++method) {
        CRIPEMD digest(method);
        Hmac(digest, method == 0 ? "RIPEMD-128" : "RIPEMD-160");
    }
}

// CRC-32 and CRC-16 by carry-less multiplication. Not constant-time, and
// reported: inputs under 64 bytes, the folded remainder and the tail go
// through the slicing tables. Run with the controls.
void Crcs() {
    for (const CrcKernels& kernels : AllCrcKernels()) {
        const std::string name = std::string("CRC ") + kernels.name;
        if (std::string(kernels.name) == "portable") continue;
        if (!kernels.usable(Cpu())) {
            g_skipped.push_back(name);
            continue;
        }
        for (std::size_t length : {0u, 15u, 16u, 100u, 1000u}) {
            unsigned char data[1000];
            Fill(data, sizeof data);
            Secret(data, sizeof data);
            std::uint32_t crc32 = kernels.crc32(0, data, length);
            std::uint16_t crc16 = kernels.crc16(0, data, length);
            Public(&crc32);
            Public(&crc16);
            Sink(reinterpret_cast<const unsigned char*>(&crc32), sizeof crc32);
            Sink(reinterpret_cast<const unsigned char*>(&crc16), sizeof crc16);
        }
        g_ran.push_back(name + " (CRC-32, CRC-16: known to be reported)");
    }
}

// The control: portable Rijndael rounds on secret data, table look-ups
// indexed by state bytes. Memcheck must report them.
void LeakyControl() {
    CRijndael rijndael;
    rijndael.SetAccelLimit(IBlockCipher::kAccelPortable);
    unsigned char key[16] = {1, 2, 3};
    rijndael.Initialize(key, sizeof key, nullptr, 16, 16, 0, 0);
    unsigned char data[16];
    unsigned char out[16];
    Fill(data, sizeof data);
    Secret(data, sizeof data);
    rijndael.Encrypt(data, out, sizeof data);
    Public(out, sizeof out);
    Sink(out, sizeof out);
    g_ran.push_back("Rijndael portable (control: must be reported)");
}

}  // namespace
}  // namespace mg

int main(int argc, char** argv) {
    using namespace mg;
    if (!RUNNING_ON_VALGRIND) std::printf("not under Valgrind: the paths run, nothing is checked\n");
    if (argc > 1 && std::strcmp(argv[1], "--leaky") == 0) {
        LeakyControl();
        Crcs();
    } else {
        RijndaelKernels();
        TeaKernels();
        TeaObject();
        Digests();
    }
    for (const std::string& name : g_ran) std::printf("ran:     %s\n", name.c_str());
    for (const std::string& name : g_skipped) std::printf("not run: %s (this CPU, as the program sees it, lacks it)\n", name.c_str());
    for (const std::string& name : g_undecodable) std::printf("not run: %s (Valgrind cannot decode it)\n", name.c_str());
    std::printf("sink %016llx\n", static_cast<unsigned long long>(g_sink));
    return 0;
}
