#include "kdf/pbkdf2.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "cpu/secure_wipe.h"
#include "digest/hmac.h"

namespace mg {

void Pbkdf2(std::int32_t hashType, const unsigned char* password, std::size_t passwordLength,
            const unsigned char* salt, std::size_t saltLength, std::uint32_t iterations, unsigned char* out,
            std::size_t outLength) {
    if (iterations == 0) throw std::invalid_argument("PBKDF2 needs at least one iteration");
    CHmac hmac(hashType);
    const std::size_t n = hmac.Length();
    if (outLength / n >= 0xFFFFFFFFu) throw std::invalid_argument("PBKDF2 output too long");
    hmac.SetKey(password, passwordLength);

    unsigned char u[64];
    unsigned char t[64];
    ScopedWipe wipeU(u);
    ScopedWipe wipeT(t);
    for (std::uint32_t block = 1; outLength != 0; ++block) {
        const unsigned char counter[4] = {static_cast<unsigned char>(block >> 24), static_cast<unsigned char>(block >> 16),
                                          static_cast<unsigned char>(block >> 8), static_cast<unsigned char>(block)};
        hmac.Update(salt, saltLength);
        hmac.Update(counter, sizeof counter);
        hmac.Final(u);
        std::memcpy(t, u, n);
        for (std::uint32_t i = 1; i < iterations; ++i) {
            hmac.Update(u, n);
            hmac.Final(u);
            for (std::size_t k = 0; k < n; ++k) t[k] ^= u[k];
        }
        const std::size_t take = std::min(n, outLength);
        std::memcpy(out, t, take);
        out += take;
        outLength -= take;
    }
}

}  // namespace mg
