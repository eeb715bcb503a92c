#ifndef MG_HOSTSIM_MODULE_H
#define MG_HOSTSIM_MODULE_H

#include <string>

#include "marrowgate/host_abi.h"

namespace mg::hostsim {

// The library loaded from a file, as the host loads it.
class Module {
public:
    explicit Module(const std::string& path);  // throws std::runtime_error
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    abi::DispatchFn Dispatch() const { return m_pDispatch; }
    const std::string& Path() const { return m_sPath; }

    // $MG_MODULE when set, else the module next to the running program, else
    // (installed on Linux) the one in ../lib/marrowgate/.
    static std::string DefaultPath();

private:
    void* m_pHandle = nullptr;
    abi::DispatchFn m_pDispatch = nullptr;
    std::string m_sPath;
};

}  // namespace mg::hostsim

#endif
