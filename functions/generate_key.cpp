#include "functions/generate_key.h"

#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <vector>

#include "functions/arguments.h"
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

    std::string key;
    if (length > 0) {
        key.reserve(static_cast<std::size_t>(length));
        // 15-bit values from the operating system's secure generator: a key
        // drawn from a time-seeded generator could be guessed.
        std::vector<std::uint16_t> batch(4096);
        std::size_t remaining = static_cast<std::size_t>(length);
        while (remaining > 0) {
            const std::size_t n = remaining < batch.size() ? remaining : batch.size();
            if (!platform::SecureRandom(batch.data(), n * sizeof(std::uint16_t))) {
                throw std::runtime_error("GENERATEKEY ERROR: No random data available!");
            }
            for (std::size_t i = 0; i < n; ++i) key += pool[PoolIndex(batch[i] & 0x7FFFu, pool.size())];
            remaining -= n;
        }
    }
    host::ReturnString(key.c_str());
}

void MG_FASTCALL ONLOAD(abi::ParamBlock*) {
    std::srand(OnloadSeed(static_cast<std::uint32_t>(std::time(nullptr))));
}

}  // namespace mg::functions
