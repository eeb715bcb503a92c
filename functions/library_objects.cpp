#include "functions/library_objects.h"

#include "host/host_ops.h"
#include "host/library_hooks.h"

namespace mg::functions {

LibraryObjects::LibraryObjects() = default;
LibraryObjects::~LibraryObjects() = default;

LibraryObjects& Objects() { return static_cast<LibraryObjects&>(host::CurrentState()); }

}  // namespace mg::functions

namespace mg::host {
std::unique_ptr<IThreadState> NewThreadState() { return std::make_unique<functions::LibraryObjects>(); }
}  // namespace mg::host
