#include "host/host_ops.h"

#include <cstring>

#include "host/handle_table_ref.h"
#include "host/host_abort.h"
#include "host/owned_handle.h"
#include "host/thread_context.h"

namespace mg::host {
namespace {

ThreadContext& Context() {
    // Routines only run inside DispatchAPI, which has created the context.
    return *ContextRegistry::Current();
}

HandleTableRef Handles() { return HandleTableRef(Context().handles); }

abi::Word SendRequest(std::int32_t code, abi::Word argument0, abi::Word argument1) {
    ThreadContext& context = Context();
    abi::HostRequest request;
    std::memset(&request, 0, sizeof request);
    request.argument0 = argument0;
    request.argument1 = argument1;
    request.libraryCode = code;
    request.hostCode = 0;
    if (context.callback == nullptr) {
        // Without a registered callback nothing can reach the host; an error
        // still must not come back to its caller.
        if (code == abi::kRaiseError) throw HostAbort{};
        return 0;
    }
    context.callback(&request);
    if (request.libraryCode == abi::kRaiseError || request.libraryCode == abi::kAbort) throw HostAbort{};
    return request.argument0;
}

template <class T>
abi::Word AddressWord(T* p) {
    return reinterpret_cast<abi::Word>(p);
}

}  // namespace

abi::MemHandle AllocHandle(std::size_t size) { return Handles().Allocate(size, abi::kLibraryHandleTag); }
void FreeHandle(abi::MemHandle handle) { Handles().Free(handle); }
unsigned char* HandleToPointer(abi::MemHandle handle) { return Handles().Address(handle); }
void LockHandle(abi::MemHandle handle) { Handles().Lock(handle); }
void UnlockHandle(abi::MemHandle handle) { Handles().Unlock(handle); }
bool ResizeHandle(abi::MemHandle handle, std::size_t size) { return Handles().Resize(handle, size); }

void ReturnValue(const abi::HostValue& value) {
    abi::HostValue copy = value;
    SendRequest(abi::kReturnValue, AddressWord(&copy), 0);
}

void ReturnInteger(std::int32_t value, std::int16_t width) {
    abi::HostValue v{};
    v.type = 'I';
    v.width = width;
    v.integer = value;
    ReturnValue(v);
}

void ReturnNumber(std::int16_t width, std::int32_t decimals, double value) {
    abi::HostValue v{};
    v.type = 'N';
    v.width = width;
    v.length = decimals;
    v.real = value;
    ReturnValue(v);
}

void ReturnString(const char* text) {
    const std::size_t length = std::strlen(text);
    // Returning nothing would leave the host's default result standing in for
    // the text, a failure that looks like success.
    OwnedHandle handle(AllocOrRaise(length + 1));
    std::memcpy(HandleToPointer(handle.get()), text, length + 1);
    ReturnValue(TextValue('H', handle.get(), static_cast<std::int32_t>(length)));
    handle.release();  // the host owns it now
}

void RaiseError(std::int32_t error) {
    SendRequest(abi::kRaiseError, static_cast<abi::Word>(static_cast<std::uint32_t>(error)), 0);
    throw HostAbort{};  // a host that ignores the code still must not come back here
}

std::int32_t Evaluate(abi::HostValue& result, const char* expression) {
    abi::HostValue filled = result;
    const abi::Word status = SendRequest(abi::kEvaluate, AddressWord(&filled), AddressWord(expression));
    result = filled;
    return static_cast<std::int32_t>(status);
}

abi::MemHandle AllocOrRaise(std::size_t size) {
    const abi::MemHandle handle = AllocHandle(size);
    if (handle == 0) RaiseError(abi::kErrorCannotGrow);
    return handle;
}

abi::HostValue TextValue(char type, abi::MemHandle handle, std::int32_t length) {
    abi::HostValue v{};
    v.type = type;
    v.length = length;
    v.handle = handle;
    return v;
}

void ResizeOrRaise(abi::MemHandle handle, std::size_t size) {
    if (!ResizeHandle(handle, size)) RaiseError(abi::kErrorCannotGrow);
}

void TerminateOrRaise(abi::MemHandle handle, std::int32_t length) {
    const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
    ResizeOrRaise(handle, n + 1);
    HandleToPointer(handle)[n] = 0;
}

IThreadState& CurrentState() { return *Context().state; }

}  // namespace mg::host
