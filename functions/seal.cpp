#include "functions/seal.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "cipher/aes_gcm.h"
#include "cpu/secure_wipe.h"
#include "functions/arguments.h"
#include "host/handle_lock.h"
#include "host/host_ops.h"
#include "host/owned_handle.h"
#include "host/platform.h"

namespace mg::functions {
namespace {

enum Position { kData = 1, kKey = 2, kContext = 3 };

constexpr std::size_t kOverhead = CAesGcm::kNonceSize + CAesGcm::kTagSize;

void Initialize(CAesGcm& gcm, const Arguments& args)
{
    const std::int32_t keyLength = args.Length(kKey);
    if (keyLength < 0 || !CAesGcm::IsKeySize(static_cast<std::size_t>(keyLength)))
        throw std::runtime_error("Seal ERROR: Key must be 16, 24 or 32 bytes!");
    host::HandleLock key(args.Handle(kKey));
    gcm.Initialize(key.data(), static_cast<std::size_t>(keyLength));
}

// The context's bytes, locked while the object lives; empty when not given.
class Context {
public:
    explicit Context(const Arguments& args)
    {
        if (!args.Given(kContext) || args.Length(kContext) <= 0) return;
        m_lock.emplace(args.Handle(kContext));
        m_iLength = static_cast<std::size_t>(args.Length(kContext));
    }
    const unsigned char* data() const { return m_lock ? m_lock->data() : nullptr; }
    std::size_t size() const { return m_iLength; }

private:
    std::optional<host::HandleLock> m_lock;
    std::size_t m_iLength = 0;
};

}  // namespace

void MG_FASTCALL SEAL(abi::ParamBlock* params)
{
    const Arguments args(params);
    CAesGcm gcm;  // its destructor wipes the key schedule and hash key
    Initialize(gcm, args);
    const std::int32_t length = args.Length(kData);
    // A value that long would not fit the result's length field.
    if (std::int64_t{length} + std::int64_t{kOverhead} > INT32_MAX) host::RaiseError(abi::kErrorCannotGrow);
    const std::int32_t total = length + static_cast<std::int32_t>(kOverhead);

    // A nonce must never repeat under one key: only the operating system's
    // secure generator is good enough for drawing it at random (through the
    // platform's pool, which never hands a byte out twice, forks included).
    unsigned char nonce[CAesGcm::kNonceSize];
    if (!platform::NonceRandom(nonce, sizeof nonce)) throw std::runtime_error("Seal ERROR: No random data available!");

    host::OwnedHandle result(host::AllocOrRaise(static_cast<std::size_t>(total)));
    {
        host::HandleLock out(result.get());
        host::HandleLock data(args.Handle(kData));
        const Context context(args);
        unsigned char* sealed = out.data();
        std::memcpy(sealed, nonce, sizeof nonce);
        gcm.Seal(nonce, context.data(), context.size(), data.data(), static_cast<std::size_t>(length),
                 sealed + sizeof nonce, sealed + sizeof nonce + length);
    }
    host::ReturnValue(host::TextValue('C', result.get(), total));
}

void MG_FASTCALL UNSEAL(abi::ParamBlock* params)
{
    const Arguments args(params);
    CAesGcm gcm;
    Initialize(gcm, args);
    const std::int32_t length = args.Length(kData);
    if (length < static_cast<std::int32_t>(kOverhead)) throw std::runtime_error("Seal ERROR: Sealed data is too short!");
    const std::int32_t plainLength = length - static_cast<std::int32_t>(kOverhead);

    host::OwnedHandle result(host::AllocOrRaise(static_cast<std::size_t>(plainLength)));
    bool authentic;
    {
        host::HandleLock out(result.get());
        host::HandleLock data(args.Handle(kData));
        const Context context(args);
        const unsigned char* sealed = data.data();
        // Open leaves zeros, not a plaintext, in `out` when the tag is wrong.
        authentic = gcm.Open(sealed, context.data(), context.size(), sealed + CAesGcm::kNonceSize,
                             static_cast<std::size_t>(plainLength), sealed + CAesGcm::kNonceSize + plainLength,
                             out.data());
    }
    if (!authentic) throw std::runtime_error("Seal ERROR: Sealed data is not authentic!");
    host::ReturnValue(host::TextValue('C', result.get(), plainLength));
    // The host has its copy; the library's is not left for the next owner of the memory.
    host::HandleLock out(result.get());
    SecureWipe(out.data(), static_cast<std::size_t>(plainLength));
}

}  // namespace mg::functions
