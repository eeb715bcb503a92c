#ifndef MG_HOST_LIBRARY_HOOKS_H
#define MG_HOST_LIBRARY_HOOKS_H

#include <memory>

#include "host/thread_state.h"
#include "marrowgate/host_abi.h"

// What the bridge needs from the library it serves. The functions layer
// defines these; the bridge itself knows nothing of what the functions do.
namespace mg::host {

// A fresh set of per-thread objects, built when a thread's context is created.
std::unique_ptr<IThreadState> NewThreadState();

// The function table answered by requests 0 and 14.
const abi::FunctionTable* LibraryFunctionTable();

}  // namespace mg::host

#endif
