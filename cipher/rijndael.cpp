#include "cipher/rijndael.h"

#include <cstring>
#include <stdexcept>

#include "cipher/byte_order.h"

namespace mg {

namespace {

// The tables are derived at compile time from the field arithmetic of
// GF(2^8) modulo 0x11B rather than typed in, so no digit can be mistyped.
struct RijndaelTables {
    std::uint8_t sbox[256];
    std::uint8_t invSbox[256];
    std::uint32_t te[4][256];   // SubBytes and MixColumns, one table per byte position
    std::uint32_t td[4][256];   // InvSubBytes and InvMixColumns
    std::uint32_t imc[4][256];  // InvMixColumns alone, for the decryption key schedule
    std::uint8_t rcon[30];
};

constexpr std::uint8_t XTime(std::uint8_t a)
{
    return static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0x00));
}

constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b)
{
    std::uint8_t r = 0;
    while (b != 0) {
        if (b & 1) r ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return r;
}

constexpr std::uint8_t Rotl8(std::uint8_t v, int n)
{
    return static_cast<std::uint8_t>((v << n) | (v >> (8 - n)));
}

constexpr std::uint32_t Rotr32(std::uint32_t v, int n)
{
    return n == 0 ? v : (v >> n) | (v << (32 - n));
}

constexpr std::uint32_t Column(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3)
{
    return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) | b3;
}

constexpr RijndaelTables MakeTables()
{
    RijndaelTables t{};
    // Logarithms to the generator 3 give the multiplicative inverses.
    std::uint8_t exp[256]{};
    std::uint8_t log[256]{};
    std::uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        exp[i] = x;
        log[x] = static_cast<std::uint8_t>(i);
        x = static_cast<std::uint8_t>(x ^ XTime(x));
    }
    for (int a = 0; a < 256; ++a) {
        const std::uint8_t inv = a == 0 ? 0 : exp[(255 - log[a]) % 255];
        const std::uint8_t s = static_cast<std::uint8_t>(inv ^ Rotl8(inv, 1) ^ Rotl8(inv, 2) ^ Rotl8(inv, 3) ^
                                                         Rotl8(inv, 4) ^ 0x63);
        t.sbox[a] = s;
        t.invSbox[s] = static_cast<std::uint8_t>(a);
    }
    for (int a = 0; a < 256; ++a) {
        const std::uint8_t s = t.sbox[a];
        const std::uint8_t si = t.invSbox[a];
        const std::uint8_t b = static_cast<std::uint8_t>(a);
        const std::uint32_t te0 = Column(GfMul(s, 2), s, s, GfMul(s, 3));
        const std::uint32_t td0 = Column(GfMul(si, 14), GfMul(si, 9), GfMul(si, 13), GfMul(si, 11));
        const std::uint32_t imc0 = Column(GfMul(b, 14), GfMul(b, 9), GfMul(b, 13), GfMul(b, 11));
        for (int k = 0; k < 4; ++k) {
            t.te[k][a] = Rotr32(te0, 8 * k);
            t.td[k][a] = Rotr32(td0, 8 * k);
            t.imc[k][a] = Rotr32(imc0, 8 * k);
        }
    }
    std::uint8_t rc = 1;
    for (int i = 0; i < 30; ++i) {
        t.rcon[i] = rc;
        rc = XTime(rc);
    }
    return t;
}

constexpr RijndaelTables kTables = MakeTables();

static_assert(kTables.sbox[0x00] == 0x63 && kTables.sbox[0x53] == 0xED && kTables.sbox[0xFF] == 0x16);
static_assert(kTables.invSbox[0x63] == 0x00 && kTables.rcon[9] == 0x36 && kTables.rcon[29] == 0x91);

constexpr const auto& Te0 = kTables.te[0];
constexpr const auto& Te1 = kTables.te[1];
constexpr const auto& Te2 = kTables.te[2];
constexpr const auto& Te3 = kTables.te[3];
constexpr const auto& Td0 = kTables.td[0];
constexpr const auto& Td1 = kTables.td[1];
constexpr const auto& Td2 = kTables.td[2];
constexpr const auto& Td3 = kTables.td[3];
constexpr const auto& Sbox = kTables.sbox;
constexpr const auto& InvSbox = kTables.invSbox;

inline std::uint32_t SubWord(std::uint32_t w)
{
    return Column(Sbox[w >> 24], Sbox[(w >> 16) & 0xFF], Sbox[(w >> 8) & 0xFF], Sbox[w & 0xFF]);
}

inline std::uint32_t InvMixColumn(std::uint32_t w)
{
    return kTables.imc[0][w >> 24] ^ kTables.imc[1][(w >> 16) & 0xFF] ^ kTables.imc[2][(w >> 8) & 0xFF] ^
           kTables.imc[3][w & 0xFF];
}

// ShiftRows moves rows 1, 2 and 3 left by 1, 2, 3 columns when there are 4
// or 6 columns, and by 1, 3, 4 when there are 8.
template <int Nb>
struct WideShifts {
    static_assert(Nb == 6 || Nb == 8);
    static constexpr int c1 = 1;
    static constexpr int c2 = Nb == 8 ? 3 : 2;
    static constexpr int c3 = Nb == 8 ? 4 : 3;
};

}  // namespace

CRijndael::CRijndael()
    : IBlockCipher(16, 16), m_acKeyStore{}, m_auEncKey{}, m_auDecKey{}, m_iRounds(10)
{
}

CRijndael::~CRijndael() = default;

void CRijndael::Initialize(const unsigned char* key, std::int32_t keyLength, const unsigned char* iv,
                           std::int32_t keySize, std::int32_t blockSize, std::int32_t mode,
                           std::int32_t padding)
{
    CheckKey(key, keyLength);
    if (keySize != 16 && keySize != 24 && keySize != 32) throw std::runtime_error("Illegal Key Length!");
    if (blockSize != 16 && blockSize != 24 && blockSize != 32) throw std::runtime_error("Illegal Block Size!");
    CheckMode(mode, kHighestMode);
    CheckPadding(padding);

    m_iMode = mode;
    m_iPadding = padding;
    std::memset(m_acKeyStore, 0, sizeof m_acKeyStore);
    ExpandKey(key, keyLength, m_acKeyStore, keySize);
    m_iBlockSize = blockSize;
    SetIv(iv);
    m_iKeySize = keySize;
    // Rounds follow the larger of key and block: 10, 12 or 14.
    m_iRounds = (keySize > blockSize ? keySize : blockSize) / 4 + 6;
    ExpandSchedule();
    m_bInitialized = true;
}

void CRijndael::ExpandSchedule()
{
    const int nb = m_iBlockSize / 4;
    const int nk = m_iKeySize / 4;
    const int total = (m_iRounds + 1) * nb;
    std::uint32_t w[(kMaxRounds + 1) * kMaxColumns];

    std::memset(m_auEncKey, 0, sizeof m_auEncKey);
    std::memset(m_auDecKey, 0, sizeof m_auDecKey);
    for (int i = 0; i < nk; ++i) w[i] = LoadBe32(m_acKeyStore + 4 * i);
    for (int i = nk; i < total; ++i) {
        std::uint32_t temp = w[i - 1];
        if (i % nk == 0)
            temp = SubWord((temp << 8) | (temp >> 24)) ^ (std::uint32_t{kTables.rcon[i / nk - 1]} << 24);
        else if (nk == 8 && i % 8 == 4)
            temp = SubWord(temp);
        w[i] = w[i - nk] ^ temp;
    }
    for (int t = 0; t < total; ++t) {
        m_auEncKey[t / nb][t % nb] = w[t];
        m_auDecKey[m_iRounds - t / nb][t % nb] = w[t];
    }
    // Equivalent inverse cipher: decryption then has the same round shape as
    // encryption, so it can use the combined tables too.
    for (int r = 1; r < m_iRounds; ++r)
        for (int j = 0; j < nb; ++j) m_auDecKey[r][j] = InvMixColumn(m_auDecKey[r][j]);
}

void CRijndael::EncipherBlock16(const unsigned char* in, unsigned char* out) const
{
    const std::uint32_t* rk = m_auEncKey[0];
    std::uint32_t s0 = LoadBe32(in) ^ rk[0];
    std::uint32_t s1 = LoadBe32(in + 4) ^ rk[1];
    std::uint32_t s2 = LoadBe32(in + 8) ^ rk[2];
    std::uint32_t s3 = LoadBe32(in + 12) ^ rk[3];
    for (int r = 1; r < m_iRounds; ++r) {
        rk = m_auEncKey[r];
        const std::uint32_t t0 =
            Te0[s0 >> 24] ^ Te1[(s1 >> 16) & 0xFF] ^ Te2[(s2 >> 8) & 0xFF] ^ Te3[s3 & 0xFF] ^ rk[0];
        const std::uint32_t t1 =
            Te0[s1 >> 24] ^ Te1[(s2 >> 16) & 0xFF] ^ Te2[(s3 >> 8) & 0xFF] ^ Te3[s0 & 0xFF] ^ rk[1];
        const std::uint32_t t2 =
            Te0[s2 >> 24] ^ Te1[(s3 >> 16) & 0xFF] ^ Te2[(s0 >> 8) & 0xFF] ^ Te3[s1 & 0xFF] ^ rk[2];
        const std::uint32_t t3 =
            Te0[s3 >> 24] ^ Te1[(s0 >> 16) & 0xFF] ^ Te2[(s1 >> 8) & 0xFF] ^ Te3[s2 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk = m_auEncKey[m_iRounds];
    StoreBe32(out, Column(Sbox[s0 >> 24], Sbox[(s1 >> 16) & 0xFF], Sbox[(s2 >> 8) & 0xFF], Sbox[s3 & 0xFF]) ^ rk[0]);
    StoreBe32(out + 4,
              Column(Sbox[s1 >> 24], Sbox[(s2 >> 16) & 0xFF], Sbox[(s3 >> 8) & 0xFF], Sbox[s0 & 0xFF]) ^ rk[1]);
    StoreBe32(out + 8,
              Column(Sbox[s2 >> 24], Sbox[(s3 >> 16) & 0xFF], Sbox[(s0 >> 8) & 0xFF], Sbox[s1 & 0xFF]) ^ rk[2]);
    StoreBe32(out + 12,
              Column(Sbox[s3 >> 24], Sbox[(s0 >> 16) & 0xFF], Sbox[(s1 >> 8) & 0xFF], Sbox[s2 & 0xFF]) ^ rk[3]);
}

void CRijndael::DecipherBlock16(const unsigned char* in, unsigned char* out) const
{
    const std::uint32_t* rk = m_auDecKey[0];
    std::uint32_t s0 = LoadBe32(in) ^ rk[0];
    std::uint32_t s1 = LoadBe32(in + 4) ^ rk[1];
    std::uint32_t s2 = LoadBe32(in + 8) ^ rk[2];
    std::uint32_t s3 = LoadBe32(in + 12) ^ rk[3];
    for (int r = 1; r < m_iRounds; ++r) {
        rk = m_auDecKey[r];
        const std::uint32_t t0 =
            Td0[s0 >> 24] ^ Td1[(s3 >> 16) & 0xFF] ^ Td2[(s2 >> 8) & 0xFF] ^ Td3[s1 & 0xFF] ^ rk[0];
        const std::uint32_t t1 =
            Td0[s1 >> 24] ^ Td1[(s0 >> 16) & 0xFF] ^ Td2[(s3 >> 8) & 0xFF] ^ Td3[s2 & 0xFF] ^ rk[1];
        const std::uint32_t t2 =
            Td0[s2 >> 24] ^ Td1[(s1 >> 16) & 0xFF] ^ Td2[(s0 >> 8) & 0xFF] ^ Td3[s3 & 0xFF] ^ rk[2];
        const std::uint32_t t3 =
            Td0[s3 >> 24] ^ Td1[(s2 >> 16) & 0xFF] ^ Td2[(s1 >> 8) & 0xFF] ^ Td3[s0 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk = m_auDecKey[m_iRounds];
    StoreBe32(out, Column(InvSbox[s0 >> 24], InvSbox[(s3 >> 16) & 0xFF], InvSbox[(s2 >> 8) & 0xFF],
                          InvSbox[s1 & 0xFF]) ^
                       rk[0]);
    StoreBe32(out + 4, Column(InvSbox[s1 >> 24], InvSbox[(s0 >> 16) & 0xFF], InvSbox[(s3 >> 8) & 0xFF],
                              InvSbox[s2 & 0xFF]) ^
                           rk[1]);
    StoreBe32(out + 8, Column(InvSbox[s2 >> 24], InvSbox[(s1 >> 16) & 0xFF], InvSbox[(s0 >> 8) & 0xFF],
                              InvSbox[s3 & 0xFF]) ^
                           rk[2]);
    StoreBe32(out + 12, Column(InvSbox[s3 >> 24], InvSbox[(s2 >> 16) & 0xFF], InvSbox[(s1 >> 8) & 0xFF],
                               InvSbox[s0 & 0xFF]) ^
                            rk[3]);
}

// The column count is a template argument so that the compiler can unroll
// the column loops and resolve the shifted indices at compile time.
template <int Nb>
void CRijndael::EncipherBlockWide(const unsigned char* in, unsigned char* out) const
{
    using S = WideShifts<Nb>;
    std::uint32_t a[Nb];
    std::uint32_t t[Nb];
#pragma GCC unroll 8
    for (int j = 0; j < Nb; ++j) a[j] = LoadBe32(in + 4 * j) ^ m_auEncKey[0][j];
    for (int r = 1; r < m_iRounds; ++r) {
        const std::uint32_t* rk = m_auEncKey[r];
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j)
            t[j] = Te0[a[j] >> 24] ^ Te1[(a[(j + S::c1) % Nb] >> 16) & 0xFF] ^
                   Te2[(a[(j + S::c2) % Nb] >> 8) & 0xFF] ^ Te3[a[(j + S::c3) % Nb] & 0xFF] ^ rk[j];
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j) a[j] = t[j];
    }
    const std::uint32_t* rk = m_auEncKey[m_iRounds];
#pragma GCC unroll 8
    for (int j = 0; j < Nb; ++j)
        StoreBe32(out + 4 * j, Column(Sbox[a[j] >> 24], Sbox[(a[(j + S::c1) % Nb] >> 16) & 0xFF],
                                      Sbox[(a[(j + S::c2) % Nb] >> 8) & 0xFF], Sbox[a[(j + S::c3) % Nb] & 0xFF]) ^
                                   rk[j]);
}

template <int Nb>
void CRijndael::DecipherBlockWide(const unsigned char* in, unsigned char* out) const
{
    using S = WideShifts<Nb>;
    std::uint32_t a[Nb];
    std::uint32_t t[Nb];
#pragma GCC unroll 8
    for (int j = 0; j < Nb; ++j) a[j] = LoadBe32(in + 4 * j) ^ m_auDecKey[0][j];
    for (int r = 1; r < m_iRounds; ++r) {
        const std::uint32_t* rk = m_auDecKey[r];
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j)
            t[j] = Td0[a[j] >> 24] ^ Td1[(a[(j + Nb - S::c1) % Nb] >> 16) & 0xFF] ^
                   Td2[(a[(j + Nb - S::c2) % Nb] >> 8) & 0xFF] ^ Td3[a[(j + Nb - S::c3) % Nb] & 0xFF] ^ rk[j];
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j) a[j] = t[j];
    }
    const std::uint32_t* rk = m_auDecKey[m_iRounds];
#pragma GCC unroll 8
    for (int j = 0; j < Nb; ++j)
        StoreBe32(out + 4 * j,
                  Column(InvSbox[a[j] >> 24], InvSbox[(a[(j + Nb - S::c1) % Nb] >> 16) & 0xFF],
                         InvSbox[(a[(j + Nb - S::c2) % Nb] >> 8) & 0xFF], InvSbox[a[(j + Nb - S::c3) % Nb] & 0xFF]) ^
                      rk[j]);
}

void CRijndael::Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len)
{
    switch (m_iBlockSize) {
    case 24:
        EncryptBlocks(in, out, len, ChainRule::kRunsOn,
                      [this](const unsigned char* s, unsigned char* d) { EncipherBlockWide<6>(s, d); });
        break;
    case 32:
        EncryptBlocks(in, out, len, ChainRule::kRunsOn,
                      [this](const unsigned char* s, unsigned char* d) { EncipherBlockWide<8>(s, d); });
        break;
    default:
        EncryptBlocks(in, out, len, ChainRule::kRunsOn,
                      [this](const unsigned char* s, unsigned char* d) { EncipherBlock16(s, d); });
        break;
    }
}

void CRijndael::Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len)
{
    switch (m_iBlockSize) {
    case 24:
        DecryptBlocks(in, out, len, ChainRule::kRunsOn,
                      [this](const unsigned char* s, unsigned char* d) { EncipherBlockWide<6>(s, d); },
                      [this](const unsigned char* s, unsigned char* d) { DecipherBlockWide<6>(s, d); });
        break;
    case 32:
        DecryptBlocks(in, out, len, ChainRule::kRunsOn,
                      [this](const unsigned char* s, unsigned char* d) { EncipherBlockWide<8>(s, d); },
                      [this](const unsigned char* s, unsigned char* d) { DecipherBlockWide<8>(s, d); });
        break;
    default:
        DecryptBlocks(in, out, len, ChainRule::kRunsOn,
                      [this](const unsigned char* s, unsigned char* d) { EncipherBlock16(s, d); },
                      [this](const unsigned char* s, unsigned char* d) { DecipherBlock16(s, d); });
        break;
    }
}

}  // namespace mg
