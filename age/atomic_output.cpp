#include "age/atomic_output.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace mg::age {

namespace {
constexpr std::size_t kBufferSize = 1 << 18;

bool Replace(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}
}  // namespace

CAtomicOutput::CAtomicOutput(const std::string& name, const std::string& suffix)
    : m_pBuffer(new char[kBufferSize]), m_sName(name), m_sTemporary(name + ".tmp-" + suffix) {
    m_oStream.rdbuf()->pubsetbuf(m_pBuffer.get(), kBufferSize);
    m_oStream.open(m_sTemporary, std::ios::binary | std::ios::out | std::ios::trunc);
}

CAtomicOutput::~CAtomicOutput() {
    if (m_bCommitted) return;
    if (m_oStream.is_open()) m_oStream.close();
    std::remove(m_sTemporary.c_str());
}

bool CAtomicOutput::Commit() {
    m_oStream.flush();
    const bool written = static_cast<bool>(m_oStream);
    m_oStream.close();
    if (!written || m_oStream.fail() || !Replace(m_sTemporary, m_sName)) {
        std::remove(m_sTemporary.c_str());
        return false;
    }
    m_bCommitted = true;
    return true;
}

}  // namespace mg::age
