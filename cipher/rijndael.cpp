#include "cipher/rijndael.h"

#include <cstring>
#include <stdexcept>

#include "cipher/byte_order.h"
#include "cpu/secure_wipe.h"

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
    : IBlockCipher(16, 16), m_acKeyStore{}, m_auEncKey{}, m_auDecKey{}, m_iRounds(10), m_accelKeys{}, m_pAccel(nullptr)
{
}

CRijndael::~CRijndael() { CRijndael::Clear(); }

void CRijndael::Clear()
{
    SecureWipeObject(m_acKeyStore);
    SecureWipeObject(m_auEncKey);
    SecureWipeObject(m_auDecKey);
    SecureWipeObject(m_accelKeys);
    IBlockCipher::Clear();
}

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
    m_pAccel = rijndael_accel::Select(AccelLimit(), m_iBlockSize, &m_iAccel);
    // The AES instructions derive the decryption keys themselves.
    ExpandSchedule(m_pAccel == nullptr);
    if (m_pAccel != nullptr) rijndael_accel::LayOut(m_auEncKey, m_iRounds, m_iBlockSize, m_accelKeys);
    m_bInitialized = true;
}

namespace {

// The published key expansion for a key of Nk words, Nk known at compile
// time so that the word loop unrolls into whole key lengths: every request
// sets a key up, and its serial chain of words is most of that cost.
template <int Nk>
void ExpandWords(const unsigned char* key, int total, std::uint32_t* w)
{
#pragma GCC unroll 8
    for (int i = 0; i < Nk; ++i) w[i] = LoadBe32(key + 4 * i);
    // w has room for whole key lengths past the end: the last pass may run over.
    int rcon = 0;
    for (int i = Nk; i < total; i += Nk) {
#pragma GCC unroll 8
        for (int position = 0; position < Nk; ++position) {
            std::uint32_t temp = w[i + position - 1];
            if (position == 0)
                temp = SubWord((temp << 8) | (temp >> 24)) ^ (std::uint32_t{kTables.rcon[rcon++]} << 24);
            else if (Nk == 8 && position == 4)
                temp = SubWord(temp);
            w[i + position] = w[i + position - Nk] ^ temp;
        }
    }
}

}  // namespace

void CRijndael::ExpandSchedule(bool inverse)
{
    const int nb = m_iBlockSize / 4;
    const int total = (m_iRounds + 1) * nb;
    std::uint32_t w[(kMaxRounds + 1) * kMaxColumns + 8];
    ScopedWipe wipeWords(w);  // the whole schedule, starting with the key

    // Rows 0..rounds (Nb words each) are all written below.
    switch (m_iKeySize) {
    case 24:
        ExpandWords<6>(m_acKeyStore, total, w);
        break;
    case 32:
        ExpandWords<8>(m_acKeyStore, total, w);
        break;
    default:
        ExpandWords<4>(m_acKeyStore, total, w);
        break;
    }
    const std::uint32_t* word = w;
    for (int r = 0; r <= m_iRounds; ++r) {
        for (int j = 0; j < nb; ++j, ++word) {
            m_auEncKey[r][j] = *word;
            m_auDecKey[m_iRounds - r][j] = *word;
        }
    }
    if (!inverse) return;
    // Equivalent inverse cipher: decryption then has the same round shape as
    // encryption, so it can use the combined tables too.
    for (int r = 1; r < m_iRounds; ++r)
        for (int j = 0; j < nb; ++j) m_auDecKey[r][j] = InvMixColumn(m_auDecKey[r][j]);
}

namespace {

// The portable block work: the state as big-endian column words, four table
// look-ups per column and round.
template <int Nb>
class PortableEngine {
public:
    struct Block {
        std::uint32_t w[Nb];
    };
    static constexpr bool kBatched = false;

    PortableEngine(const std::uint32_t (*enc)[8], const std::uint32_t (*dec)[8], int rounds)
        : m_enc(enc), m_dec(dec), m_rounds(rounds)
    {
    }

    std::size_t BlockBytes() const { return 4 * Nb; }
    Block Load(const unsigned char* p) const
    {
        Block b;
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j) b.w[j] = LoadBe32(p + 4 * j);
        return b;
    }
    void Store(unsigned char* p, const Block& b) const
    {
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j) StoreBe32(p + 4 * j, b.w[j]);
    }
    Block Xor(const Block& a, const Block& b) const
    {
        Block x;
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j) x.w[j] = a.w[j] ^ b.w[j];
        return x;
    }
    Block Encipher(const Block& in) const;
    Block Decipher(const Block& in) const;

private:
    const std::uint32_t (*m_enc)[8];
    const std::uint32_t (*m_dec)[8];
    int m_rounds;
};

// A 16-byte block takes a path of its own, without index arithmetic.
template <>
PortableEngine<4>::Block PortableEngine<4>::Encipher(const Block& in) const
{
    const std::uint32_t* rk = m_enc[0];
    std::uint32_t s0 = in.w[0] ^ rk[0];
    std::uint32_t s1 = in.w[1] ^ rk[1];
    std::uint32_t s2 = in.w[2] ^ rk[2];
    std::uint32_t s3 = in.w[3] ^ rk[3];
    for (int r = 1; r < m_rounds; ++r) {
        rk = m_enc[r];
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
    rk = m_enc[m_rounds];
    Block out;
    out.w[0] = Column(Sbox[s0 >> 24], Sbox[(s1 >> 16) & 0xFF], Sbox[(s2 >> 8) & 0xFF], Sbox[s3 & 0xFF]) ^ rk[0];
    out.w[1] = Column(Sbox[s1 >> 24], Sbox[(s2 >> 16) & 0xFF], Sbox[(s3 >> 8) & 0xFF], Sbox[s0 & 0xFF]) ^ rk[1];
    out.w[2] = Column(Sbox[s2 >> 24], Sbox[(s3 >> 16) & 0xFF], Sbox[(s0 >> 8) & 0xFF], Sbox[s1 & 0xFF]) ^ rk[2];
    out.w[3] = Column(Sbox[s3 >> 24], Sbox[(s0 >> 16) & 0xFF], Sbox[(s1 >> 8) & 0xFF], Sbox[s2 & 0xFF]) ^ rk[3];
    return out;
}

template <>
PortableEngine<4>::Block PortableEngine<4>::Decipher(const Block& in) const
{
    const std::uint32_t* rk = m_dec[0];
    std::uint32_t s0 = in.w[0] ^ rk[0];
    std::uint32_t s1 = in.w[1] ^ rk[1];
    std::uint32_t s2 = in.w[2] ^ rk[2];
    std::uint32_t s3 = in.w[3] ^ rk[3];
    for (int r = 1; r < m_rounds; ++r) {
        rk = m_dec[r];
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
    rk = m_dec[m_rounds];
    Block out;
    out.w[0] =
        Column(InvSbox[s0 >> 24], InvSbox[(s3 >> 16) & 0xFF], InvSbox[(s2 >> 8) & 0xFF], InvSbox[s1 & 0xFF]) ^ rk[0];
    out.w[1] =
        Column(InvSbox[s1 >> 24], InvSbox[(s0 >> 16) & 0xFF], InvSbox[(s3 >> 8) & 0xFF], InvSbox[s2 & 0xFF]) ^ rk[1];
    out.w[2] =
        Column(InvSbox[s2 >> 24], InvSbox[(s1 >> 16) & 0xFF], InvSbox[(s0 >> 8) & 0xFF], InvSbox[s3 & 0xFF]) ^ rk[2];
    out.w[3] =
        Column(InvSbox[s3 >> 24], InvSbox[(s2 >> 16) & 0xFF], InvSbox[(s1 >> 8) & 0xFF], InvSbox[s0 & 0xFF]) ^ rk[3];
    return out;
}

// 24- and 32-byte blocks: the column count is a template argument so that
// the compiler can unroll the column loops and resolve the shifted indices.
template <int Nb>
typename PortableEngine<Nb>::Block PortableEngine<Nb>::Encipher(const Block& in) const
{
    using S = WideShifts<Nb>;
    std::uint32_t a[Nb];
    std::uint32_t t[Nb];
#pragma GCC unroll 8
    for (int j = 0; j < Nb; ++j) a[j] = in.w[j] ^ m_enc[0][j];
    for (int r = 1; r < m_rounds; ++r) {
        const std::uint32_t* rk = m_enc[r];
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j)
            t[j] = Te0[a[j] >> 24] ^ Te1[(a[(j + S::c1) % Nb] >> 16) & 0xFF] ^
                   Te2[(a[(j + S::c2) % Nb] >> 8) & 0xFF] ^ Te3[a[(j + S::c3) % Nb] & 0xFF] ^ rk[j];
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j) a[j] = t[j];
    }
    const std::uint32_t* rk = m_enc[m_rounds];
    Block out;
#pragma GCC unroll 8
    for (int j = 0; j < Nb; ++j)
        out.w[j] = Column(Sbox[a[j] >> 24], Sbox[(a[(j + S::c1) % Nb] >> 16) & 0xFF],
                          Sbox[(a[(j + S::c2) % Nb] >> 8) & 0xFF], Sbox[a[(j + S::c3) % Nb] & 0xFF]) ^
                   rk[j];
    return out;
}

template <int Nb>
typename PortableEngine<Nb>::Block PortableEngine<Nb>::Decipher(const Block& in) const
{
    using S = WideShifts<Nb>;
    std::uint32_t a[Nb];
    std::uint32_t t[Nb];
#pragma GCC unroll 8
    for (int j = 0; j < Nb; ++j) a[j] = in.w[j] ^ m_dec[0][j];
    for (int r = 1; r < m_rounds; ++r) {
        const std::uint32_t* rk = m_dec[r];
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j)
            t[j] = Td0[a[j] >> 24] ^ Td1[(a[(j + Nb - S::c1) % Nb] >> 16) & 0xFF] ^
                   Td2[(a[(j + Nb - S::c2) % Nb] >> 8) & 0xFF] ^ Td3[a[(j + Nb - S::c3) % Nb] & 0xFF] ^ rk[j];
#pragma GCC unroll 8
        for (int j = 0; j < Nb; ++j) a[j] = t[j];
    }
    const std::uint32_t* rk = m_dec[m_rounds];
    Block out;
#pragma GCC unroll 8
    for (int j = 0; j < Nb; ++j)
        out.w[j] = Column(InvSbox[a[j] >> 24], InvSbox[(a[(j + Nb - S::c1) % Nb] >> 16) & 0xFF],
                          InvSbox[(a[(j + Nb - S::c2) % Nb] >> 8) & 0xFF], InvSbox[a[(j + Nb - S::c3) % Nb] & 0xFF]) ^
                   rk[j];
    return out;
}

}  // namespace

void CRijndael::Encrypt(const unsigned char* in, unsigned char* out, std::int32_t len)
{
    CheckInitialized();
    CheckLength(len);
    const std::size_t count = static_cast<std::size_t>(len / m_iBlockSize);
    if (m_pAccel != nullptr) {
        m_pAccel->encrypt(m_accelKeys, m_iRounds, m_iMode, m_acChain, in, out, count);
        return;
    }
    switch (m_iBlockSize) {
    case 24:
        modes::Encrypt(PortableEngine<6>(m_auEncKey, m_auDecKey, m_iRounds), m_iMode, m_acChain, in, out, count);
        break;
    case 32:
        modes::Encrypt(PortableEngine<8>(m_auEncKey, m_auDecKey, m_iRounds), m_iMode, m_acChain, in, out, count);
        break;
    default:
        modes::Encrypt(PortableEngine<4>(m_auEncKey, m_auDecKey, m_iRounds), m_iMode, m_acChain, in, out, count);
        break;
    }
}

void CRijndael::Decrypt(const unsigned char* in, unsigned char* out, std::int32_t len)
{
    CheckInitialized();
    CheckLength(len);
    const std::size_t count = static_cast<std::size_t>(len / m_iBlockSize);
    if (m_pAccel != nullptr) {
        m_pAccel->decrypt(m_accelKeys, m_iRounds, m_iMode, m_acChain, in, out, count);
        return;
    }
    switch (m_iBlockSize) {
    case 24:
        modes::Decrypt(PortableEngine<6>(m_auEncKey, m_auDecKey, m_iRounds), m_iMode, m_acChain, in, out, count);
        break;
    case 32:
        modes::Decrypt(PortableEngine<8>(m_auEncKey, m_auDecKey, m_iRounds), m_iMode, m_acChain, in, out, count);
        break;
    default:
        modes::Decrypt(PortableEngine<4>(m_auEncKey, m_auDecKey, m_iRounds), m_iMode, m_acChain, in, out, count);
        break;
    }
}

}  // namespace mg
