// The one way sealed and opened files reach their name: written to a
// temporary file in the same folder and renamed over the name only when
// everything succeeded, so that a failure (a forged chunk, a full disk, an
// abandoned call) never leaves a partial or unauthenticated file under it.
#ifndef MG_AGE_ATOMIC_OUTPUT_H
#define MG_AGE_ATOMIC_OUTPUT_H

#include <fstream>
#include <memory>
#include <string>

namespace mg::age {

class CAtomicOutput {
public:
    // Creates "<name>.tmp-<suffix>"; check IsOpen.
    CAtomicOutput(const std::string& name, const std::string& suffix);
    // Removes the temporary file unless Commit succeeded.
    ~CAtomicOutput();
    CAtomicOutput(const CAtomicOutput&) = delete;
    CAtomicOutput& operator=(const CAtomicOutput&) = delete;

    bool IsOpen() const { return m_oStream.is_open(); }
    std::ostream& Stream() { return m_oStream; }
    // Flushes, closes and moves the file onto its name (replacing a file
    // there); false when any of that fails, and the temporary file is gone.
    bool Commit();

private:
    std::unique_ptr<char[]> m_pBuffer;  // declared first: outlives the stream
    std::ofstream m_oStream;
    std::string m_sName;
    std::string m_sTemporary;
    bool m_bCommitted = false;
};

}  // namespace mg::age

#endif
