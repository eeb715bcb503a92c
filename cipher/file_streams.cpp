#include "cipher/file_streams.h"

#include "cipher/double_buffering.h"

namespace mg {

namespace {
constexpr std::streamsize kStreamBuffer = CDoubleBuffering::kStreamBufferSize;
}

CFileStreams::CFileStreams() : m_pStorage(new char[2 * kStreamBuffer]) {}

// Some runtimes ignore a buffer given after the file was opened, so it is set
// on the closed stream.
bool CFileStreams::OpenInput(const char* name) {
    m_oInput.rdbuf()->pubsetbuf(m_pStorage.get(), kStreamBuffer);
    m_oInput.open(name != nullptr ? name : "", std::ios::in | std::ios::binary);
    return m_oInput.is_open() && !m_oInput.fail();
}

bool CFileStreams::OpenOutput(const char* name) {
    m_oOutput.rdbuf()->pubsetbuf(m_pStorage.get() + kStreamBuffer, kStreamBuffer);
    m_oOutput.open(name != nullptr ? name : "", std::ios::out | std::ios::binary | std::ios::trunc);
    return m_oOutput.is_open() && !m_oOutput.fail();
}

bool CFileStreams::Write(const unsigned char* data, std::int32_t length) {
    if (length > 0) m_oOutput.write(reinterpret_cast<const char*>(data), length);
    return !m_oOutput.fail();
}

bool CFileStreams::CloseOutput() {
    if (!m_oOutput.is_open()) return false;
    m_oOutput.close();
    return !m_oOutput.fail();
}

}  // namespace mg
