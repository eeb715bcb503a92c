#pragma once

#include <cstdint>
#include <istream>

namespace mg {

// Cuts an input stream into fixed-length chunks for the file operations.
// The stream is read a half buffer at a time into a caller-owned ring of two
// halves; a chunk that straddles the seam is copied in two moves. Callers
// decide from m_bEnd, read after every GetData, whether the chunk they hold
// is the last one, so the moment it rises is part of the file formats.
//
// Neither the stream nor the buffer is owned; both must outlive the reader.
//
// The logical reads are always half a buffer (512 bytes for the usual 1024).
// To keep file work from becoming one system call per read, give a file
// stream a large buffer of its own before opening it:
//     std::ifstream in;
//     in.rdbuf()->pubsetbuf(storage, CDoubleBuffering::kStreamBufferSize);
//     in.open(name, std::ios::in | std::ios::binary);
// (some runtimes ignore pubsetbuf once the file is open, and the storage must
// outlive the stream).
class CDoubleBuffering {
public:
    static constexpr std::int32_t kStreamBufferSize = 64 * 1024;

    CDoubleBuffering(std::istream& stream, unsigned char* buffer, std::int32_t size,
                     std::int32_t defaultLen);

    // Copies the next chunk of iDataLen bytes (-1: the default length) to
    // dest and returns its length; fewer bytes for the last data, 0 once the
    // end has been handed out.
    std::int32_t GetData(unsigned char* dest, std::int32_t iDataLen);

    // True when a read left the stream in a bad state (an I/O error, or a
    // path that names a directory). The data then ends early, and callers
    // must not take what they got for the whole file.
    bool ReadFailed() const { return m_bReadFailed; }

    bool m_bEnd;

private:
    std::int32_t Read(std::int32_t offset);
    std::int32_t Finish(unsigned char* dest);

    std::istream* m_pStream;
    std::int32_t m_iSize;
    std::int32_t m_iHalf;
    std::int32_t m_iDefaultLen;
    std::int32_t m_iPos;
    std::int32_t m_iFilled;
    std::int32_t m_bSecondHalf;
    unsigned char* m_pBuffer;
    bool m_bReadFailed;
};

}  // namespace mg
