#ifndef MG_FUNCTIONS_LIBRARY_OBJECTS_H
#define MG_FUNCTIONS_LIBRARY_OBJECTS_H

#include "host/thread_state.h"

namespace mg::functions {

// The long-lived algorithm objects of one host thread, in their load order;
// destroyed in reverse order with the thread's context at unload.
class LibraryObjects : public host::IThreadState {
public:
    LibraryObjects();
    ~LibraryObjects() override;
};

// The calling thread's objects; valid inside a routine.
LibraryObjects& Objects();

}  // namespace mg::functions

#endif
