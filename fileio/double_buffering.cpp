#include "fileio/double_buffering.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace mg {

namespace {

// A stream over something other than a file (a string, a test source) counts
// as open; only a file stream can tell that it has nothing behind it.
bool HasOpenSource(const std::istream& stream) {
    std::streambuf* source = stream.rdbuf();
    if (source == nullptr) return false;
    if (auto* file = dynamic_cast<std::filebuf*>(source)) return file->is_open();
    return true;
}

}  // namespace

CDoubleBuffering::CDoubleBuffering(std::istream& stream, unsigned char* buffer,
                                   std::int32_t size, std::int32_t defaultLen)
    : m_bEnd(false),
      m_pStream(&stream),
      m_iSize(size),
      m_iHalf(size >> 1),
      m_iDefaultLen(defaultLen),
      m_iPos(0),
      m_iFilled(0),
      m_bSecondHalf(0),
      m_pBuffer(buffer),
      m_bReadFailed(false) {
    if (m_iSize % 2 != 0) throw std::runtime_error("CDoubleBuffering: m_iSize should be Even Number!");
    // An end-of-file or fail state alone is accepted: such a stream simply
    // yields no data.
    if (!HasOpenSource(stream) || stream.bad())
        throw std::runtime_error("CDoubleBuffering: Referenced File not Opened or in Bad State!");
    if (m_iDefaultLen < 1 || m_iDefaultLen > m_iHalf)
        throw std::runtime_error("CDoubleBuffering: Illegal Construction Data!");
    m_iFilled = Read(0);
}

std::int32_t CDoubleBuffering::Read(std::int32_t offset) {
    m_pStream->read(reinterpret_cast<char*>(m_pBuffer + offset), m_iHalf);
    if (m_pStream->bad()) m_bReadFailed = true;
    return static_cast<std::int32_t>(m_pStream->gcount());
}

std::int32_t CDoubleBuffering::Finish(unsigned char* dest) {
    m_bEnd = true;
    const std::int32_t count = m_iFilled - m_iPos;
    if (count > 0) std::memcpy(dest, m_pBuffer + m_iPos, static_cast<std::size_t>(count));
    m_iPos = m_iFilled;
    return count;
}

std::int32_t CDoubleBuffering::GetData(unsigned char* dest, std::int32_t iDataLen) {
    const std::int32_t n = iDataLen == -1 ? m_iDefaultLen : iDataLen;
    if (n < 1 || n > m_iHalf) throw std::runtime_error("CDoubleBuffering::GetData(): Illegal iDataLen!");
    if (m_bEnd) return 0;

    const std::int32_t end = m_iPos + n;
    if (end < m_iFilled) {
        std::memcpy(dest, m_pBuffer + m_iPos, static_cast<std::size_t>(n));
        m_iPos = end;
        return n;
    }
    // After a failed read the stream is treated as ended: a retry could only
    // deliver nothing, or bytes from a position no longer known.
    if (m_pStream->eof() || m_bReadFailed) return Finish(dest);

    if (m_bSecondHalf == 0) {
        m_iFilled += Read(m_iFilled);
        if (end > m_iFilled) return Finish(dest);
        std::memcpy(dest, m_pBuffer + m_iPos, static_cast<std::size_t>(n));
        m_iPos = end;
        m_bSecondHalf = 1;
        return n;
    }

    // The chunk wraps from the tail of the second half into the fresh first half.
    m_iFilled = Read(0);
    const std::int32_t e = end % m_iSize;
    const std::int32_t k = m_iSize - m_iPos;
    std::memcpy(dest, m_pBuffer + m_iPos, static_cast<std::size_t>(k));
    if (e > m_iFilled) {
        m_bEnd = true;
        if (m_iFilled > 0) std::memcpy(dest + k, m_pBuffer, static_cast<std::size_t>(m_iFilled));
        m_iPos = m_iFilled;
        return k + m_iFilled;
    }
    if (n > k) std::memcpy(dest + k, m_pBuffer, static_cast<std::size_t>(n - k));
    m_iPos = e;
    m_bSecondHalf = 0;
    return n;
}

}  // namespace mg
