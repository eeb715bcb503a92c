#include "functions/generate_key.h"

#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "cpu/secure_wipe.h"
#include "functions/arguments.h"
#include "host/handle_lock.h"
#include "host/owned_handle.h"
#include "host/host_ops.h"
#include "host/platform.h"

namespace mg::functions {
namespace {

constexpr char kLower[] = "abcdefghijklmnopqrstuvwxyz";
constexpr char kUpper[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr char kDigits[] = "0123456789";
constexpr char kSymbols[] = "{}|\\]?[\":;'><,./~!@#$%^&*()_+`-=";
static_assert(sizeof(kSymbols) - 1 == 32);

}  // namespace

std::string KeyPool(bool digits, bool upper, bool symbols) {
    std::string pool = kLower;
    if (upper) pool += kUpper;
    if (digits) pool += kDigits;
    // The upper-case letters go in twice: stored keys were drawn that way.
    if (upper) pool += kUpper;
    if (symbols) pool += kSymbols;
    return pool;
}

std::size_t PoolIndex(std::uint32_t r, std::size_t poolSize) { return (r * poolSize) / 32768u; }

std::uint32_t OnloadSeed(std::uint32_t t) {
    const std::uint32_t b0 = t & 0xFF, b1 = (t >> 8) & 0xFF, b2 = (t >> 16) & 0xFF, b3 = t >> 24;
    return ((b0 * 257u + b1) * 257u + b2) * 257u + b3;
}

void MG_FASTCALL GENERATEKEY(abi::ParamBlock* params) {
    const Arguments args(params);
    const std::int32_t length = args.Integer(1);
    const std::string pool = KeyPool(args.Logical(2), args.Logical(3), args.Logical(4));
    const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;

    // The key is drawn straight into the handle the host receives: no copy of
    // it stays behind in the library's memory, and a length the host cannot
    // take fails at once instead of after drawing it.
    host::OwnedHandle result(host::AllocOrRaise(n + 1));
    {
        host::HandleLock lock(result.get());
        unsigned char* key = lock.data();
        // 15-bit values from the operating system's secure generator: a key
        // drawn from a time-seeded generator could be guessed.
        std::uint16_t batch[4096];
        ScopedWipe wipeBatch(batch);
        for (std::size_t done = 0; done < n;) {
            const std::size_t count = n - done < 4096 ? n - done : 4096;
            if (!platform::SecureRandom(batch, count * sizeof(std::uint16_t))) {
                throw std::runtime_error("GENERATEKEY ERROR: No random data available!");
            }
            for (std::size_t i = 0; i < count; ++i) {
                key[done + i] = static_cast<unsigned char>(pool[PoolIndex(batch[i] & 0x7FFFu, pool.size())]);
            }
            done += count;
        }
        key[n] = 0;
    }
    host::ReturnValue(host::TextValue('H', result.get(), static_cast<std::int32_t>(n)));
    result.release();  // the host owns it now
}

void MG_FASTCALL ONLOAD(abi::ParamBlock*) {
    std::srand(OnloadSeed(static_cast<std::uint32_t>(std::time(nullptr))));
}

}  // namespace mg::functions
