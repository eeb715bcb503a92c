#include "cipher/tea.h"

#include <cstring>

#include "cipher/byte_order.h"
#include "cipher/word_pair_block.h"
#include "cpu/secure_wipe.h"

namespace mg {

namespace {

constexpr std::uint32_t kDelta = 0x9E3779B9u;
constexpr int kCycles = 32;
constexpr std::uint32_t kDecipherSum = kDelta * kCycles;  // 0xC6EF3720 modulo 2^32

// The portable block work: the reference XTEA loop on big-endian words.
class TeaEngine : public WordPairBlocks {
public:
    explicit TeaEngine(const std::uint32_t* key) : m_key(key) {}


    Block Encipher(Block b) const
    {
        std::uint32_t sum = 0;
        for (int i = 0; i < kCycles; ++i) {
            b.l += (((b.r << 4) ^ (b.r >> 5)) + b.r) ^ (sum + m_key[sum & 3]);
            sum += kDelta;
            b.r += (((b.l << 4) ^ (b.l >> 5)) + b.l) ^ (sum + m_key[(sum >> 11) & 3]);
        }
        return b;
    }

    Block Decipher(Block b) const
    {
        std::uint32_t sum = kDecipherSum;
        for (int i = 0; i < kCycles; ++i) {
            b.r -= (((b.l << 4) ^ (b.l >> 5)) + b.l) ^ (sum + m_key[(sum >> 11) & 3]);
            sum -= kDelta;
            b.l -= (((b.r << 4) ^ (b.r >> 5)) + b.r) ^ (sum + m_key[sum & 3]);
        }
        return b;
    }

private:
    const std::uint32_t* m_key;
};

}  // namespace

CTea::CTea() : IBlockCipher(8, kKeyStoreSize), m_acKeyStore{}, m_auKey{}, m_accelSchedule{}, m_pAccel(nullptr) {}

CTea::~CTea() { CTea::Clear(); }

void CTea::Clear()
{
    SecureWipeObject(m_acKeyStore);
    SecureWipeObject(m_auKey);
    SecureWipeObject(m_accelSchedule);
    IBlockCipher::Clear();
}

void CTea::Initialize(const unsigned char* key, std::int32_t keyLength, const unsigned char* iv,
                      std::int32_t mode, std::int32_t padding)
{
    CheckKey(key, keyLength);
    CheckMode(mode, kModeOfb);
    CheckPadding(padding);

    m_iPadding = padding;
    m_iMode = mode;
    unsigned char expanded[kKeyStoreSize];
    ScopedWipe wipeExpanded(expanded);
    ExpandKey(key, keyLength, expanded, kKeyStoreSize);
    SetIv(iv);
    m_pAccel = tea_accel::Select(AccelLimit(), &m_iAccel);
    if (m_bInitialized && std::memcmp(expanded, m_acKeyStore, kKeyStoreSize) == 0) return;
    std::memcpy(m_acKeyStore, expanded, kKeyStoreSize);
    for (int i = 0; i < 4; ++i) m_auKey[i] = LoadBe32(m_acKeyStore + 4 * i);
    tea_accel::MakeSchedule(m_auKey, m_accelSchedule);
    m_bInitialized = true;
}

void CTea::Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len)
{
    CheckInitialized();
    CheckLength(len);
    const std::size_t count = static_cast<std::size_t>(len / 8);
    if (m_pAccel != nullptr)
        m_pAccel->encrypt(m_accelSchedule, m_iMode, m_acChain, in, out, count);
    else
        modes::Encrypt(TeaEngine(m_auKey), m_iMode, m_acChain, in, out, count);
}

void CTea::Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len)
{
    CheckInitialized();
    CheckLength(len);
    const std::size_t count = static_cast<std::size_t>(len / 8);
    if (m_pAccel != nullptr)
        m_pAccel->decrypt(m_accelSchedule, m_iMode, m_acChain, in, out, count);
    else
        modes::Decrypt(TeaEngine(m_auKey), m_iMode, m_acChain, in, out, count);
}

}  // namespace mg
