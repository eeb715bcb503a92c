#ifndef MG_HOST_DISPATCHER_H
#define MG_HOST_DISPATCHER_H

#include "marrowgate/host_abi.h"

namespace mg::host {

// Serves one host-to-library request on the calling thread. Nothing leaves it
// as an exception: a routine abandoned by the host ends here, and a library
// error that leaves a routine is reported to the host as error 1098 first.
std::int32_t Dispatch(abi::HostRequest* request);

}  // namespace mg::host

#endif
