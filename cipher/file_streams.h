// The two files of one file operation. Each stream gets a large buffer of its
// own, so that the reader's 512-byte reads and the 384-byte chunk writes do
// not each become a system call; the buffers live as long as the streams.
#ifndef MG_CIPHER_FILE_STREAMS_H
#define MG_CIPHER_FILE_STREAMS_H

#include <cstdint>
#include <fstream>
#include <memory>

namespace mg {

class CFileStreams {
public:
    CFileStreams();
    CFileStreams(const CFileStreams&) = delete;
    CFileStreams& operator=(const CFileStreams&) = delete;

    // Binary mode; false when the file cannot be opened. The output is
    // created, or truncated when it exists.
    bool OpenInput(const char* name);
    bool OpenOutput(const char* name);

    std::ifstream& Input() { return m_oInput; }

    // False once anything written has failed to reach the file, so that a
    // full disk is noticed at the write that meets it.
    bool Write(const unsigned char* data, std::int32_t length);
    // Flushes and closes the output; false when that fails (the last
    // buffered bytes are only written here).
    bool CloseOutput();

private:
    // Declared first so that it outlives the streams that use it.
    std::unique_ptr<char[]> m_pStorage;
    std::ifstream m_oInput;
    std::ofstream m_oOutput;
};

}  // namespace mg

#endif
