#include "functions/seal_file.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "age/age_file.h"
#include "cpu/secure_wipe.h"
#include "functions/arguments.h"
#include "functions/host_text.h"
#include "host/handle_lock.h"
#include "host/host_ops.h"
#include "host/owned_handle.h"
#include "host/platform.h"

namespace mg::functions {
namespace {

enum Position { kInFile = 1, kOutFile = 2, kKey = 3, kRecipients = 4 };

void SecureRandom(unsigned char* out, std::size_t length) {
    if (!platform::SecureRandom(out, length)) throw std::runtime_error("SealFile ERROR: No random data available!");
}

// A text argument as bytes; a file name ends at its first zero byte, as the
// file functions have always read names.
std::string Text(const Arguments& args, int position) {
    host::HandleLock lock(args.Handle(position));
    const char* data = reinterpret_cast<const char*>(lock.data());
    const std::size_t length = static_cast<std::size_t>(args.Length(position) > 0 ? args.Length(position) : 0);
    return data == nullptr ? std::string() : std::string(data, length);
}

std::string Name(const Arguments& args, int position) {
    std::string name = Text(args, position);
    const std::size_t zero = name.find('\0');
    if (zero != std::string::npos) name.resize(zero);
    return name;
}

// A key text that is wiped when the call ends.
class SecretText {
public:
    explicit SecretText(std::string text) : m_sText(std::move(text)) {}
    ~SecretText() { SecureWipe(m_sText.data(), m_sText.size()); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    const std::string& Get() const { return m_sText; }

private:
    std::string m_sText;
};

// Memory for the scrypt table or a buffer that cannot be had is the host's
// "not enough memory", not a message.
template <class Work>
void WithHostMemoryErrors(Work work) {
    try {
        work();
    } catch (const std::bad_alloc&) {
        host::RaiseError(abi::kErrorCannotGrow);
    }
}

// The handle goes to the host as it is (type 'H'): no copy of an identity
// stays behind in memory the library frees.
void ReturnText(const std::string& text) {
    host::OwnedHandle result(host::AllocOrRaise(text.size() + 1));
    {
        host::HandleLock lock(result.get());
        std::memcpy(lock.data(), text.data(), text.size());
        lock.data()[text.size()] = 0;
    }
    host::ReturnValue(host::TextValue('H', result.get(), static_cast<std::int32_t>(text.size())));
    result.release();  // the host owns it now
}

}  // namespace

void MG_FASTCALL SEALFILE(abi::ParamBlock* params) {
    const Arguments args(params);
    const bool recipients = args.Logical(kRecipients);
    const std::string inName = Name(args, kInFile);
    const std::string outName = Name(args, kOutFile);
    const SecretText hostKey(Text(args, kKey));
    const SecretText key(recipients ? hostKey.Get() : PassphraseToUtf8(hostKey.Get()));
    WithHostMemoryErrors([&] { age::CAgeFile::Seal(inName, outName, key.Get(), recipients, SecureRandom); });
}

void MG_FASTCALL UNSEALFILE(abi::ParamBlock* params) {
    const Arguments args(params);
    const std::string inName = Name(args, kInFile);
    const std::string outName = Name(args, kOutFile);
    // Identities are plain ASCII, which the conversion leaves as it is.
    const SecretText hostKey(Text(args, kKey));
    const SecretText key(PassphraseToUtf8(hostKey.Get()));
    WithHostMemoryErrors([&] { age::CAgeFile::Open(inName, outName, key.Get()); });
}

void MG_FASTCALL GENERATEIDENTITY(abi::ParamBlock*) {
    const SecretText identity(age::CAgeRecipients::NewIdentity(SecureRandom));
    ReturnText(identity.Get());
}

void MG_FASTCALL RECIPIENT(abi::ParamBlock* params) {
    const Arguments args(params);
    const SecretText identity(Text(args, 1));
    ReturnText(age::CAgeRecipients::RecipientOf(identity.Get()));
}

}  // namespace mg::functions
