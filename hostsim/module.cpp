#include "hostsim/module.h"

#include <cstdlib>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace mg::hostsim {
namespace {

#if defined(_WIN32)
#if defined(_WIN64)
constexpr const char* kModuleName = "marrowgate64.fll";
constexpr const char* kExportName = "DispatchAPI";
#else
constexpr const char* kModuleName = "marrowgate.fll";
constexpr const char* kExportName = "@DispatchAPI@4";
#endif
#else
constexpr const char* kModuleName = "marrowgate.so";
constexpr const char* kExportName = "DispatchAPI";
#endif

std::string ExecutableDirectory() {
    std::string path;
#if defined(_WIN32)
    char buffer[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    path.assign(buffer, n);
    const auto slash = path.find_last_of("\\/");
#else
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) path.assign(buffer, static_cast<std::size_t>(n));
    const auto slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

std::string Module::DefaultPath() {
    if (const char* env = std::getenv("MG_MODULE"); env != nullptr && *env != 0) return env;
    const std::string beside = ExecutableDirectory() + "/" + kModuleName;
#if !defined(_WIN32)
    // Installed: the program in bin/, the module in lib/marrowgate/.
    if (access(beside.c_str(), F_OK) != 0) {
        const std::string installed = ExecutableDirectory() + "/../lib/marrowgate/" + kModuleName;
        if (access(installed.c_str(), F_OK) == 0) return installed;
    }
#endif
    return beside;
}

Module::Module(const std::string& path) : m_sPath(path) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) throw std::runtime_error("cannot load " + path);
    m_pHandle = module;
    m_pDispatch = reinterpret_cast<abi::DispatchFn>(reinterpret_cast<void*>(GetProcAddress(module, kExportName)));
#else
    m_pHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_pHandle == nullptr) throw std::runtime_error("cannot load " + path + ": " + dlerror());
    m_pDispatch = reinterpret_cast<abi::DispatchFn>(dlsym(m_pHandle, kExportName));
#endif
    if (m_pDispatch == nullptr) {
        this->~Module();
        throw std::runtime_error(std::string("no ") + kExportName + " in " + path);
    }
}

Module::~Module() {
    if (m_pHandle == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(m_pHandle));
#else
    dlclose(m_pHandle);
#endif
    m_pHandle = nullptr;
}

}  // namespace mg::hostsim
