#include "cipher/rc4.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace mg {

void Rc4Setup(const unsigned char* key, std::int32_t keyLength, Rc4State& s)
{
    // The schedule would divide by the key length (and read a null key).
    if (key == nullptr || keyLength < 1)
        throw std::runtime_error("FileCrypt ERROR: Key Data Length should be > 0!");
    for (int k = 0; k < 256; ++k) s.perm[k] = static_cast<unsigned char>(k);
    s.i = 0;
    s.j = 0;
    unsigned char x = 0;
    std::int32_t keyIndex = 0;
    for (int k = 0; k < 256; ++k) {
        const unsigned char t = s.perm[k];
        x = static_cast<unsigned char>(x + t + key[keyIndex]);
        s.perm[k] = s.perm[x];
        s.perm[x] = t;
        if (++keyIndex == keyLength) keyIndex = 0;
    }
}

namespace {

// One step of the keystream generator; `at` is perm + i, i already advanced.
inline unsigned NextKeyByte(unsigned char* perm, unsigned char* at, std::uintptr_t& j)
{
    const unsigned ti = *at;
    j = (j + ti) & 0xFF;
    const unsigned tj = perm[j];
    *at = static_cast<unsigned char>(tj);
    perm[j] = static_cast<unsigned char>(ti);
    return perm[(ti + tj) & 0xFF];
}

#if defined(__i386__) || defined(__x86_64__)
#define MG_RC4_PRELOAD 1
// The same step with S[i] already in ti; i is ip. S[i + 1] is read for the
// next step before this one's stores: read after them, its load would wait
// for the address of the store to S[j], which comes out of the chain itself
// (and a processor that has once seen the two meet makes it wait from then
// on), so that the chain j = j + S[i] would grow by a load. Only when j lands
// on i + 1 (one step in 256) is the value read early stale: it is then the
// S[i] just stored there, fixed by a branch that is almost never taken. A
// compiler turns that branch into a conditional move, which puts the compare
// on the chain; hence the assembly. Byte stores need registers with byte
// names ("q"), which 32-bit mode has four of. The step ends with tj = S[ti].
#define MG_RC4_STEP                         \
    "add %[ti], %[j]\n\t"                  \
    "and $0xff, %k[j]\n\t"                 \
    "movzbl (%[p],%[j]), %k[tj]\n\t"       \
    "movzbl 1(%[p],%[ip]), %k[next]\n\t"   \
    "movb %b[tj], (%[p],%[ip])\n\t"        \
    "movb %b[ti], (%[p],%[j])\n\t"         \
    "add $1, %[ip]\n\t"                    \
    "cmp %[j], %[ip]\n\t"                  \
    "jne 1f\n\t"                           \
    "mov %[ti], %[next]\n"                 \
    "1:\n\t"                               \
    "add %[tj], %[ti]\n\t"                 \
    "and $0xff, %k[ti]\n\t"                \
    "movzbl (%[p],%[ti]), %k[tj]"
#if defined(__x86_64__)
inline std::uintptr_t NextKeyBytePreloaded(unsigned char* perm, std::uintptr_t& ip, std::uintptr_t& j,
                                           std::uintptr_t& ti)
{
    std::uintptr_t tj, next;
    __asm__(MG_RC4_STEP
            : [ti] "+q"(ti), [tj] "=&q"(tj), [next] "=&r"(next), [j] "+r"(j), [ip] "+r"(ip)
            : [p] "r"(perm)
            : "memory", "cc");
    ti = next;
    return tj;
}
#endif
#endif

#if defined(__i386__)
// The 32-bit form: with seven general registers there is none left for
// gathering keystream, so each byte is XORed into the data where it lies,
// at out[ip] (out offset by the run's first i).
inline void CryptBytePreloaded(unsigned char* perm, unsigned char* out, std::uintptr_t& ip, std::uintptr_t& j,
                               std::uintptr_t& ti)
{
    std::uintptr_t tj, next;
    __asm__(MG_RC4_STEP "\n\t"
            "xorb %b[tj], -1(%[o],%[ip])"
            : [ti] "+q"(ti), [tj] "=&q"(tj), [next] "=&r"(next), [j] "+r"(j), [ip] "+r"(ip)
            : [p] "r"(perm), [o] "r"(out)
            : "memory", "cc");
    ti = next;
}
#endif

// The keystream bytes that meet the data in one load, XOR and store: the
// width of a general register, so that the 32-bit build does not build a
// 64-bit word out of register pairs.
using Word = std::size_t;

}  // namespace

void Rc4Crypt(unsigned char* buf, std::int32_t length, Rc4State& s)
{
    // Byte-serial by nature: the speed is the instruction count per byte and
    // the chain j = j + S[i]. What can go is the traffic around the state:
    // within a run of i that does not wrap around, S[i] is addressed from one
    // base with constant offsets (no increment and mask of i per byte), and
    // the keystream bytes are gathered by shift and OR in a register (no
    // byte stores that a wider load would have to wait for, no writes to
    // parts of a register) to meet the data a word at a time.
    unsigned i = s.i;
    std::uintptr_t j = s.j;
    unsigned char* const perm = s.perm;
    std::size_t n = 0;
    const std::size_t total = length > 0 ? static_cast<std::size_t>(length) : 0;
    while (n < total) {
#if MG_RC4_PRELOAD
        if (i < 0xFE) {
            // Steps i + 1 .. i + run, and the read ahead of the last, stay
            // below 256.
            const std::size_t run = std::min<std::size_t>(total - n, 0xFE - i);
            unsigned char* out = buf + n;
            std::uintptr_t ip = i + 1;
            std::uintptr_t ti = perm[ip];
#if defined(__i386__)
            unsigned char* const at = out - ip;
            const std::uintptr_t end = ip + run;
            for (; ip + 4 <= end;) {
                CryptBytePreloaded(perm, at, ip, j, ti);
                CryptBytePreloaded(perm, at, ip, j, ti);
                CryptBytePreloaded(perm, at, ip, j, ti);
                CryptBytePreloaded(perm, at, ip, j, ti);
            }
            while (ip != end) CryptBytePreloaded(perm, at, ip, j, ti);
#else
            std::size_t k = 0;
            for (; k + sizeof(Word) <= run; k += sizeof(Word)) {
                Word stream = 0;
#pragma GCC unroll 8
                for (unsigned b = 0; b < sizeof(Word); ++b)
                    stream |= static_cast<Word>(NextKeyBytePreloaded(perm, ip, j, ti)) << (8 * b);
                Word data;
                std::memcpy(&data, out + k, sizeof data);
                data ^= stream;
                std::memcpy(out + k, &data, sizeof data);
            }
            for (; k < run; ++k) out[k] ^= static_cast<unsigned char>(NextKeyBytePreloaded(perm, ip, j, ti));
#endif
            i += static_cast<unsigned>(run);
            n += run;
            continue;
        }
        i = (i + 1) & 0xFF;
        buf[n++] ^= static_cast<unsigned char>(NextKeyByte(perm, perm + i, j));
#else
        if (i == 0xFF) {
            i = 0;
            buf[n++] ^= static_cast<unsigned char>(NextKeyByte(perm, perm, j));
            continue;
        }
        // Steps i + 1 .. i + run stay below 256.
        const std::size_t run = std::min<std::size_t>(total - n, 0xFF - i);
        unsigned char* at = perm + i;
        unsigned char* out = buf + n;
        std::size_t k = 0;
        for (; k + sizeof(Word) <= run; k += sizeof(Word)) {
            Word stream = 0;
#pragma GCC unroll 8
            for (unsigned b = 0; b < sizeof(Word); ++b) {
                const Word key = NextKeyByte(perm, at + k + b + 1, j);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
                stream |= key << (8 * (sizeof(Word) - 1 - b));
#else
                stream |= key << (8 * b);
#endif
            }
            Word data;
            std::memcpy(&data, out + k, sizeof data);
            data ^= stream;
            std::memcpy(out + k, &data, sizeof data);
        }
        for (; k < run; ++k) out[k] ^= static_cast<unsigned char>(NextKeyByte(perm, at + k + 1, j));
        i += static_cast<unsigned>(run);
        n += run;
#endif
    }
    s.i = static_cast<unsigned char>(i);
    s.j = static_cast<unsigned char>(j);
}

}  // namespace mg
