// The library's only export and its load/unload sequence.
#include <atomic>

#include "host/dispatcher.h"
#include "host/thread_context.h"
#include "marrowgate/host_abi.h"
#include "marrowgate/version.h"

#if defined(_WIN32)
#define MG_EXPORT __declspec(dllexport)
#else
#define MG_EXPORT __attribute__((visibility("default")))
#endif

namespace {
#if !defined(_WIN32)
// `marrowgate --version` reads this from the file, without loading the module;
// Windows modules carry a version resource instead.
[[gnu::used, gnu::section(".marrowgate_version")]] const char kVersionMarker[] = MG_VERSION_MARKER MG_VERSION_STRING;
#endif

// Read by every call on any thread, written by load and unload.
std::atomic<bool> g_loaded{false};
}

extern "C" MG_EXPORT std::int32_t MG_FASTCALL DispatchAPI(mg::abi::HostRequest* request) {
    if (!g_loaded) return 0;
    return mg::host::Dispatch(request);
}

#if defined(_WIN32)
#include <windows.h>

// The C runtime has constructed the algorithm objects before it calls this and
// destroys them only after the detach below has returned, which gives the
// load and unload order the host expects.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // Contexts are made lazily on a thread's first request, so per-thread
            // notifications would only cost the host's threads a loader-lock trip.
            DisableThreadLibraryCalls(instance);
            g_loaded = mg::host::ContextRegistry::Load();
            // The detach call that follows a refused load finds g_loaded false,
            // so a partial load gives back its lock and slot here.
            if (!g_loaded) mg::host::ContextRegistry::Unload();
            return g_loaded ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            // At process exit (reserved != nullptr) the other threads are already
            // gone, perhaps while holding the global lock; taking it then could
            // hang the exit, and the system reclaims the memory anyway.
            if (g_loaded && reserved == nullptr) mg::host::ContextRegistry::Unload();
            g_loaded = false;
            return TRUE;
        default:
            return TRUE;
    }
}
#else
__attribute__((constructor)) static void LoadLibraryState() { g_loaded = mg::host::ContextRegistry::Load(); }

__attribute__((destructor)) static void UnloadLibraryState() {
    if (g_loaded) mg::host::ContextRegistry::Unload();
    g_loaded = false;
}
#endif
