#ifndef MG_HOST_HOST_ABORT_H
#define MG_HOST_HOST_ABORT_H

namespace mg::host {

// Thrown when the host answers a callback with code 83 or 84: the running
// routine is abandoned and the innermost DispatchAPI of the thread catches it.
// It deliberately derives from nothing, so that no handler for library errors
// can swallow it on the way.
struct HostAbort {};

}  // namespace mg::host

#endif
