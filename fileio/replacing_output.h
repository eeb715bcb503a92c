// The output file of a file function, written so that its name never holds a
// half-written file. The data goes into a new temporary file in the output's
// folder, and only Commit, once everything is written, flushed to the disk
// and closed, moves it over the output's name in one step (rename; on Windows
// MoveFileEx replacing the existing file). Until then an earlier file under
// that name stays as it was; if the call fails or throws, the destructor
// removes the temporary file.
//
//     CReplacingOutput out;
//     if (!out.Open(name)) -> cannot open
//     if (!out.Write(data, n)) -> cannot write    (as often as needed)
//     if (!out.Commit()) -> cannot write          (nothing replaced)
//
// The temporary file is named `.<output name>.marrowgate-<pid>-<random>.tmp`
// and created exclusively, so two calls writing the same output never share
// one; a process killed in the middle leaves it behind under that name. An
// existing output passes its permission bits (and, where allowed, its owner)
// on to the new file; a link is followed and its target replaced. An existing
// output that is not a regular file (a device, a pipe, a folder), and a link
// that leads to no file, are opened and written directly, as before.
#ifndef MG_CIPHER_REPLACING_OUTPUT_H
#define MG_CIPHER_REPLACING_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mg {

class CReplacingOutput {
public:
    CReplacingOutput();
    ~CReplacingOutput();  // Abort, unless committed
    CReplacingOutput(const CReplacingOutput&) = delete;
    CReplacingOutput& operator=(const CReplacingOutput&) = delete;

    // Host bytes, as the other file functions take them (the ANSI code page on
    // Windows). False when the temporary file (or the output itself, when it is
    // written directly) cannot be created, or an existing output is read-only.
    bool Open(const char* name);
    // Buffered; false once anything written has failed to reach the file.
    bool Write(const unsigned char* data, std::size_t length);
    // Writes what is buffered, flushes it to the disk, closes the file and
    // moves it over the output's name. False, with the temporary file removed
    // and the output untouched, when any of that fails.
    bool Commit();
    // Closes and removes the temporary file; the output stays as it was.
    void Abort();

    // The temporary file while one is open (empty otherwise); for tests.
    const std::string& TemporaryName() const { return m_sTemporary; }

    // Tests only: from now on every output may take this many more bytes in
    // all, and a write beyond them fails as on a full disk; -1 (the default)
    // lifts the limit. Lets every build, Windows included, meet a write error
    // part way.
    static void LimitWritesForTesting(std::int64_t bytes);

private:
    bool Flush();
    bool WriteRaw(const unsigned char* data, std::size_t length);
    void CloseFile();

    std::unique_ptr<unsigned char[]> m_pBuffer;
    std::size_t m_nBuffered = 0;
    bool m_bFailed = false;
    // The file while open: a descriptor (POSIX) or a HANDLE (Windows).
    std::intptr_t m_hFile = -1;
    std::string m_sTarget;     // the name the data ends up under
    std::string m_sTemporary;  // empty when the output is written directly
};

}  // namespace mg

#endif
