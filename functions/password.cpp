#include "functions/password.h"

#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "cpu/secure_wipe.h"
#include "functions/arguments.h"
#include "host/handle_lock.h"
#include "host/host_ops.h"
#include "host/owned_handle.h"
#include "host/platform.h"
#include "kdf/argon2.h"
#include "kdf/pbkdf2.h"
#include "kdf/phc_string.h"

namespace mg::functions {
namespace {

// OWASP's first recommended Argon2id setting.
constexpr std::int32_t kDefaultMemoryKiB = 19456;
constexpr std::int32_t kDefaultPasses = 2;
// A host may not grant more than 1 GiB; the lanes of a stored hash are
// computed one after the other, so their number bounds the time, not memory.
constexpr std::uint32_t kMaxMemoryKiB = 1048576;
constexpr std::uint32_t kMinMemoryKiB = 8;
constexpr std::uint32_t kMaxPasses = 100;
constexpr std::uint32_t kMaxLanes = 16;
constexpr std::size_t kSaltLength = 16;
constexpr std::size_t kTagLength = 32;
constexpr std::int32_t kMaxKeyLength = 1024;

// A character value of `length` bytes that the host takes over; fill writes
// the bytes straight into it, so no copy stays behind in the library.
template <class Fill>
void ReturnCharacter(std::size_t length, Fill fill) {
    host::OwnedHandle result(host::AllocOrRaise(length + 1));
    {
        host::HandleLock lock(result.get());
        fill(lock.data());
        lock.data()[length] = 0;
    }
    host::ReturnValue(host::TextValue('H', result.get(), static_cast<std::int32_t>(length)));
    result.release();  // the host owns it now
}

std::span<const unsigned char> Bytes(const host::HandleLock& lock, std::int32_t length) {
    return {lock.data(), length > 0 ? static_cast<std::size_t>(length) : 0};
}

// Runs work(), turning a failed allocation into the host's "not enough
// memory" (182) instead of a library message.
template <class Work>
auto OrRaise182(Work work) -> decltype(work()) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
    }
    host::RaiseError(abi::kErrorCannotGrow);
}

bool ConstantTimeEqual(const unsigned char* a, const unsigned char* b, std::size_t n) {
    volatile unsigned char diff = 0;
    for (std::size_t i = 0; i < n; ++i) diff = static_cast<unsigned char>(diff | (a[i] ^ b[i]));
    return diff == 0;
}

}  // namespace

void MG_FASTCALL HASHPASSWORD(abi::ParamBlock* params) {
    const Arguments args(params);
    const std::int32_t memory = args.IntegerOr(2, kDefaultMemoryKiB);
    const std::int32_t passes = args.IntegerOr(3, kDefaultPasses);
    if (memory < static_cast<std::int32_t>(kMinMemoryKiB) || memory > static_cast<std::int32_t>(kMaxMemoryKiB) ||
        passes < 1 || passes > static_cast<std::int32_t>(kMaxPasses))
        throw std::runtime_error("Password ERROR: Argon2 parameters out of range!");

    CArgon2::Parameters p;
    p.memoryKiB = static_cast<std::uint32_t>(memory);
    p.passes = static_cast<std::uint32_t>(passes);
    unsigned char salt[kSaltLength];
    if (!platform::SecureRandom(salt, sizeof salt)) throw std::runtime_error("Password ERROR: No random data available!");
    unsigned char tag[kTagLength];
    ScopedWipe wipeTag(tag);
    {
        host::HandleLock password(args.Handle(1));
        OrRaise182([&] { CArgon2(p).Hash({Bytes(password, args.Length(1)), salt, {}, {}}, tag, sizeof tag); });
    }
    const std::string phc = CPhcString::Format(p, salt, sizeof salt, tag, sizeof tag);
    ReturnCharacter(phc.size(), [&](unsigned char* out) { std::memcpy(out, phc.data(), phc.size()); });
}

void MG_FASTCALL VERIFYPASSWORD(abi::ParamBlock* params) {
    const Arguments args(params);
    std::optional<CPhcString> stored;
    {
        host::HandleLock text(args.Handle(2));
        const std::span<const unsigned char> bytes = Bytes(text, args.Length(2));
        stored = OrRaise182([&] {
            return CPhcString::Parse({reinterpret_cast<const char*>(bytes.data()), bytes.size()},
                                     {kMaxMemoryKiB, kMaxPasses, kMaxLanes});
        });
    }
    if (!stored) throw std::runtime_error("Password ERROR: Not a valid password hash!");

    const std::vector<unsigned char>& expected = stored->Tag();
    std::vector<unsigned char> tag = OrRaise182([&] { return std::vector<unsigned char>(expected.size()); });
    ScopedWipe wipeTag(tag.data(), tag.size());
    {
        host::HandleLock password(args.Handle(1));
        OrRaise182([&] {
            CArgon2(stored->Parameters())
                .Hash({Bytes(password, args.Length(1)), stored->Salt(), {}, stored->AssociatedData()}, tag.data(),
                      tag.size());
        });
    }
    abi::HostValue result{};
    result.type = 'L';
    result.length = ConstantTimeEqual(tag.data(), expected.data(), tag.size()) ? 1 : 0;
    host::ReturnValue(result);
}

void MG_FASTCALL DERIVEKEY(abi::ParamBlock* params) {
    const Arguments args(params);
    const std::int32_t iterations = args.Integer(3);
    const std::int32_t length = args.IntegerOr(4, 32);
    if (iterations < 1) throw std::runtime_error("Password ERROR: Iterations must be at least 1!");
    if (length < 1 || length > kMaxKeyLength) throw std::runtime_error("Password ERROR: Key length must be 1 to 1024!");
    const std::int32_t hashType = args.IntegerOr(5, 4);

    host::HandleLock password(args.Handle(1));
    host::HandleLock salt(args.Handle(2));
    const std::span<const unsigned char> p = Bytes(password, args.Length(1));
    const std::span<const unsigned char> s = Bytes(salt, args.Length(2));
    // CHmac's states are the only allocation, made before any key byte is written.
    ReturnCharacter(static_cast<std::size_t>(length), [&](unsigned char* out) {
        OrRaise182([&] {
            Pbkdf2(hashType, p.data(), p.size(), s.data(), s.size(), static_cast<std::uint32_t>(iterations), out,
                   static_cast<std::size_t>(length));
        });
    });
}

}  // namespace mg::functions
