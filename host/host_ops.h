#ifndef MG_HOST_HOST_OPS_H
#define MG_HOST_HOST_OPS_H

#include <cstdint>

#include "host/thread_state.h"
#include "marrowgate/host_abi.h"

// The host operations the exposed functions build on. They act on the calling
// thread's context; handle operations are served here, the others are sent to
// the host through its callback. A callback that the host answers with code 83
// or 84 does not come back: the routine is abandoned (see HostAbort).
namespace mg::host {

abi::MemHandle AllocHandle(std::size_t size);  // tag 16, zero-filled; 0 on failure
void FreeHandle(abi::MemHandle handle);
unsigned char* HandleToPointer(abi::MemHandle handle);  // nullptr for an invalid handle
void LockHandle(abi::MemHandle handle);
void UnlockHandle(abi::MemHandle handle);
bool ResizeHandle(abi::MemHandle handle, std::size_t size);

void ReturnValue(const abi::HostValue& value);
void ReturnInteger(std::int32_t value, std::int16_t width);
void ReturnNumber(std::int16_t width, std::int32_t decimals, double value);
void ReturnString(const char* text);
[[noreturn]] void RaiseError(std::int32_t error);
// 0 and the filled result, or the host's error number.
std::int32_t Evaluate(abi::HostValue& result, const char* expression);

// AllocHandle that raises host error 182 when no handle can be had.
abi::MemHandle AllocOrRaise(std::size_t size);
// A value of type `type` ('C', or 'H' as ReturnString gives) holding the
// first `length` bytes of `handle`.
abi::HostValue TextValue(char type, abi::MemHandle handle, std::int32_t length);
// Raises host error 182 unless the handle can be made `size` bytes long.
void ResizeOrRaise(abi::MemHandle handle, std::size_t size);
// Grows the handle by one byte and stores a zero behind its `length` bytes,
// for routines that need a zero-terminated text; the value keeps its length.
// Raises host error 182 when the handle cannot grow.
void TerminateOrRaise(abi::MemHandle handle, std::int32_t length);

// The calling thread's own state (algorithm objects and settings).
IThreadState& CurrentState();

}  // namespace mg::host

#endif
