#ifndef MG_HOST_THREAD_STATE_H
#define MG_HOST_THREAD_STATE_H

#include <memory>

namespace mg::host {

// What the library keeps for each host thread beside the bridge's own fields.
// The bridge only owns it; the functions layer supplies it (library_hooks.h),
// so that two host threads never share algorithm objects.
class IThreadState {
public:
    virtual ~IThreadState() = default;
};

}  // namespace mg::host

#endif
