// The two files of one file operation. The input gets a large buffer, so that
// the reader's 512-byte reads do not each become a system call; the output is
// a CReplacingOutput, buffered as well, which leaves the output's name alone
// until CloseOutput has everything on the disk.
#ifndef MG_CIPHER_FILE_STREAMS_H
#define MG_CIPHER_FILE_STREAMS_H

#include <cstdint>
#include <fstream>
#include <memory>

#include "fileio/replacing_output.h"

namespace mg {

class CFileStreams {
public:
    CFileStreams();
    CFileStreams(const CFileStreams&) = delete;
    CFileStreams& operator=(const CFileStreams&) = delete;

    // Binary mode; false when the file cannot be opened. The output is a
    // new temporary file until CloseOutput (see fileio/replacing_output.h); an
    // existing output stays as it was if the operation fails or throws.
    bool OpenInput(const char* name);
    bool OpenOutput(const char* name);

    std::ifstream& Input() { return m_oInput; }

    // False once anything written has failed to reach the file, so that a
    // full disk is noticed at the write that meets it.
    bool Write(const unsigned char* data, std::int32_t length);
    // Writes the rest, closes the output and puts it in place under its name;
    // false when any of that fails, and the earlier output then stays.
    bool CloseOutput();

private:
    // Declared first so that it outlives the streams that use it.
    std::unique_ptr<char[]> m_pStorage;
    std::ifstream m_oInput;
    CReplacingOutput m_oOutput;
};

}  // namespace mg

#endif
