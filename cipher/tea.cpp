#include "cipher/tea.h"

#include <cstring>

#include "cipher/byte_order.h"

namespace mg {

namespace {

constexpr std::uint32_t kDelta = 0x9E3779B9u;
constexpr int kCycles = 32;
constexpr std::uint32_t kDecipherSum = kDelta * kCycles;  // 0xC6EF3720 modulo 2^32

}  // namespace

CTea::CTea() : IBlockCipher(8, kKeyStoreSize), m_acKeyStore{}, m_auKey{} {}

CTea::~CTea() = default;

void CTea::Initialize(const unsigned char* key, std::int32_t keyLength, const unsigned char* iv,
                      std::int32_t mode, std::int32_t padding)
{
    CheckKey(key, keyLength);
    CheckMode(mode, kModeOfb);
    CheckPadding(padding);

    m_iPadding = padding;
    m_iMode = mode;
    unsigned char expanded[kKeyStoreSize];
    ExpandKey(key, keyLength, expanded, kKeyStoreSize);
    SetIv(iv);
    if (m_bInitialized && std::memcmp(expanded, m_acKeyStore, kKeyStoreSize) == 0) return;
    std::memcpy(m_acKeyStore, expanded, kKeyStoreSize);
    for (int i = 0; i < 4; ++i) m_auKey[i] = LoadBe32(m_acKeyStore + 4 * i);
    m_bInitialized = true;
}

void CTea::EncipherBlock(const unsigned char* in, unsigned char* out) const
{
    std::uint32_t l = LoadBe32(in);
    std::uint32_t r = LoadBe32(in + 4);
    std::uint32_t sum = 0;
    for (int i = 0; i < kCycles; ++i) {
        l += (((r << 4) ^ (r >> 5)) + r) ^ (sum + m_auKey[sum & 3]);
        sum += kDelta;
        r += (((l << 4) ^ (l >> 5)) + l) ^ (sum + m_auKey[(sum >> 11) & 3]);
    }
    StoreBe32(out, l);
    StoreBe32(out + 4, r);
}

void CTea::DecipherBlock(const unsigned char* in, unsigned char* out) const
{
    std::uint32_t l = LoadBe32(in);
    std::uint32_t r = LoadBe32(in + 4);
    std::uint32_t sum = kDecipherSum;
    for (int i = 0; i < kCycles; ++i) {
        r -= (((l << 4) ^ (l >> 5)) + l) ^ (sum + m_auKey[(sum >> 11) & 3]);
        sum -= kDelta;
        l -= (((r << 4) ^ (r >> 5)) + r) ^ (sum + m_auKey[sum & 3]);
    }
    StoreBe32(out, l);
    StoreBe32(out + 4, r);
}

void CTea::Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len)
{
    EncryptBlocks(in, out, len, ChainRule::kRunsOn,
                  [this](const unsigned char* s, unsigned char* d) { EncipherBlock(s, d); });
}

void CTea::Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len)
{
    DecryptBlocks(in, out, len, ChainRule::kRunsOn,
                  [this](const unsigned char* s, unsigned char* d) { EncipherBlock(s, d); },
                  [this](const unsigned char* s, unsigned char* d) { DecipherBlock(s, d); });
}

}  // namespace mg
