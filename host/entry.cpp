// The library's only export and its load/unload sequence.
#include "host/dispatcher.h"
#include "host/thread_context.h"
#include "marrowgate/host_abi.h"

#if defined(_WIN32)
#define MG_EXPORT __declspec(dllexport)
#else
#define MG_EXPORT __attribute__((visibility("default")))
#endif

namespace {
bool g_loaded = false;
}

extern "C" MG_EXPORT std::int32_t MG_FASTCALL DispatchAPI(mg::abi::HostRequest* request) {
    if (!g_loaded) return 0;
    return mg::host::Dispatch(request);
}

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(instance);
            g_loaded = mg::host::ContextRegistry::Load();
            return g_loaded ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            if (g_loaded) mg::host::ContextRegistry::Unload();
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
