#include "digest/md5.h"

#include <stdexcept>
#include <utility>

#include "cpu/secure_wipe.h"
#include "digest/digest_kernels.h"
#include "digest/digest_util.h"

namespace mg {

namespace {

// RFC 1321, section 3.4: additive constants, rotations and message-word order
// of the 64 steps.
constexpr std::uint32_t kT[64] = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391,
};
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr int WordIndex(int step) {
    const int i = step % 16;
    switch (step / 16) {
        case 0: return i;
        case 1: return (1 + 5 * i) % 16;
        case 2: return (5 + 3 * i) % 16;
        default: return (7 * i) % 16;
    }
}

// One step; the roles of the four words rotate from step to step, so the
// word that plays "a" is found from the step number at compile time.
//
// Only b is fresh from the step before; a, c and d are older. The sums are
// ordered so that everything not depending on b is added first and the
// chain from one step to the next is just the auxiliary function's last
// operation, one addition, the rotation and the addition of b. In round 2
// G = (b & d) | (c & ~d) has disjoint halves, so it may be added in two parts,
// the one without b early.
template <int Step>
inline __attribute__((always_inline)) void Md5Step(std::uint32_t (&v)[4], const unsigned char* block) {
    constexpr int a = (4 - Step % 4) % 4, b = (a + 1) % 4, c = (a + 2) % 4, d = (a + 3) % 4;
    constexpr int round = Step / 16;
    std::uint32_t t = v[a] + LoadLe32(block + 4 * WordIndex(Step)) + kT[Step];
    if constexpr (round == 0) t += v[d] ^ (v[b] & (v[c] ^ v[d]));
    else if constexpr (round == 1) t = (t + (v[c] & ~v[d])) + (v[b] & v[d]);
    else if constexpr (round == 2) t += v[b] ^ (v[c] ^ v[d]);
    else t += v[c] ^ (v[b] | ~v[d]);
    v[a] = v[b] + Rotl32(t, kShift[round][Step % 4]);
}

template <std::size_t... Steps>
inline __attribute__((always_inline)) void Md5Steps(std::uint32_t (&v)[4], const unsigned char* block,
                                                    std::index_sequence<Steps...>) {
    (Md5Step<static_cast<int>(Steps)>(v, block), ...);
}

}  // namespace

void Md5CompressPortable(std::uint32_t* state, const unsigned char* data, std::size_t blocks) {
    std::uint32_t v[4] = {state[0], state[1], state[2], state[3]};
    for (; blocks != 0; --blocks, data += 64) {
        const std::uint32_t saved[4] = {v[0], v[1], v[2], v[3]};
        Md5Steps(v, data, std::make_index_sequence<64>());
        for (int i = 0; i < 4; ++i) v[i] += saved[i];
    }
    for (int i = 0; i < 4; ++i) state[i] = v[i];
}

CMD5::CMD5() : m_pCompress(ChooseKernel(Md5Kernels(), Cpu())) { Reset(); }

// A digest abandoned half-way still holds data (an HMAC key pad, say).
CMD5::~CMD5() {
    SecureWipeObject(m_aBuffer);
    SecureWipeObject(m_aState);
}

void CMD5::Reset() {
    m_aState[0] = 0x67452301;
    m_aState[1] = 0xEFCDAB89;
    m_aState[2] = 0x98BADCFE;
    m_aState[3] = 0x10325476;
    m_uBitCount = 0;
    m_bDataAdded = false;
}

void CMD5::Transform() { m_pCompress(m_aState, m_aBuffer, 1); }

void CMD5::AddData(const unsigned char* data, std::int32_t length) {
    if (length < 0) throw std::runtime_error("FileDigest ERROR: in CMD5::AddData(), Data Length should be >= 0!");
    m_bDataAdded = true;
    if (length == 0) return;
    AddLittleEndianMessage(m_aBuffer, m_uBitCount, data, static_cast<std::size_t>(length),
                           [this](const unsigned char* blocks, std::size_t count) { m_pCompress(m_aState, blocks, count); });
}

void CMD5::FinalDigest(unsigned char* out) {
    if (!m_bDataAdded) throw std::runtime_error("FileDigest ERROR: in CMD5::FinalDigest(), No data Added before call!");
    FinishLittleEndianMessage(m_aBuffer, m_uBitCount,
                              [this](const unsigned char* blocks, std::size_t count) { m_pCompress(m_aState, blocks, count); });
    for (int i = 0; i < 4; ++i) StoreLe32(out + 4 * i, m_aState[i]);
    // The last block of the message stays behind in the buffer otherwise.
    SecureWipeObject(m_aBuffer);
    Reset();
}

}  // namespace mg
