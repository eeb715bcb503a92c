// The one way sealed and opened files reach their name: the library's
// replacing output (a temporary file beside the output, moved over its name
// only once complete, flushed and closed) behind the std::ostream the age
// writer and reader use, so that a failure (a forged chunk, a full disk, an
// abandoned call) never leaves a partial or unauthenticated file under it.
#ifndef MG_AGE_ATOMIC_OUTPUT_H
#define MG_AGE_ATOMIC_OUTPUT_H

#include <ostream>
#include <streambuf>
#include <string>

#include "fileio/replacing_output.h"

namespace mg::age {

class CAtomicOutput {
public:
    // Opens the temporary file (or, for a device or pipe, the output itself); check IsOpen.
    explicit CAtomicOutput(const std::string& name);
    // Removes the temporary file unless Commit succeeded.
    ~CAtomicOutput() = default;
    CAtomicOutput(const CAtomicOutput&) = delete;
    CAtomicOutput& operator=(const CAtomicOutput&) = delete;

    bool IsOpen() const { return m_bOpen; }
    std::ostream& Stream() { return m_oStream; }
    // Moves the file onto its name; false when anything written or the move
    // failed, and the temporary file is gone.
    bool Commit();

private:
    // Unbuffered: the replacing output buffers already.
    class Buffer : public std::streambuf {
    public:
        explicit Buffer(CReplacingOutput& out) : m_rOut(out) {}

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;

    private:
        CReplacingOutput& m_rOut;
    };

    CReplacingOutput m_oOut;
    bool m_bOpen;
    Buffer m_oBuffer{m_oOut};
    std::ostream m_oStream{&m_oBuffer};
};

}  // namespace mg::age

#endif
