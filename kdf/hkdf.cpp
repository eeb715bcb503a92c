#include "kdf/hkdf.h"

#include <cstring>
#include <stdexcept>

#include "cpu/secure_wipe.h"
#include "digest/hmac.h"

namespace mg {

namespace {
constexpr std::int32_t kSha256 = 2;
constexpr std::size_t kHashLength = 32;
}  // namespace

void HkdfSha256(const unsigned char* ikm, std::size_t ikmLength, const unsigned char* salt, std::size_t saltLength,
                const unsigned char* info, std::size_t infoLength, unsigned char* out, std::size_t outLength) {
    if (outLength > 255 * kHashLength) throw std::invalid_argument("HKDF output too long");
    unsigned char prk[kHashLength];
    unsigned char t[kHashLength];
    ScopedWipe wipePrk(prk);
    ScopedWipe wipeT(t);
    CHmac mac(kSha256);
    // An empty salt is HashLen zero bytes, which HMAC pads to the same key.
    mac.SetKey(salt, saltLength);
    mac.Update(ikm, ikmLength);
    mac.Final(prk);

    mac.SetKey(prk, sizeof prk);
    std::size_t done = 0;
    for (unsigned char counter = 1; done < outLength; ++counter) {
        if (counter > 1) mac.Update(t, sizeof t);
        mac.Update(info, infoLength);
        mac.Update(&counter, 1);
        mac.Final(t);
        const std::size_t take = outLength - done < kHashLength ? outLength - done : kHashLength;
        std::memcpy(out + done, t, take);
        done += take;
    }
}

}  // namespace mg
