#include "fileio/file_streams.h"

#include "fileio/double_buffering.h"

namespace mg {

namespace {
constexpr std::streamsize kStreamBuffer = CDoubleBuffering::kStreamBufferSize;
}

CFileStreams::CFileStreams() : m_pStorage(new char[kStreamBuffer]) {}

// Some runtimes ignore a buffer given after the file was opened, so it is set
// on the closed stream.
bool CFileStreams::OpenInput(const char* name) {
    m_oInput.rdbuf()->pubsetbuf(m_pStorage.get(), kStreamBuffer);
    m_oInput.open(name != nullptr ? name : "", std::ios::in | std::ios::binary);
    return m_oInput.is_open() && !m_oInput.fail();
}

bool CFileStreams::OpenOutput(const char* name) { return m_oOutput.Open(name); }

bool CFileStreams::Write(const unsigned char* data, std::int32_t length) {
    return m_oOutput.Write(data, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool CFileStreams::CloseOutput() { return m_oOutput.Commit(); }

}  // namespace mg
