// Writes one run of output on a thread of its own while the caller reads and
// enciphers the next: a file function is then as fast as the slower of its
// cipher and the copy through the kernel, not as slow as both added up.
//
// One write is in flight at a time. The caller hands a run to Submit and must
// leave those bytes alone until the next Submit or Wait has returned; every
// other write to the same output must come after Wait.
#ifndef MG_FILEIO_BACKGROUND_WRITER_H
#define MG_FILEIO_BACKGROUND_WRITER_H

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

namespace mg {

class CBackgroundWriter {
public:
    // write: puts bytes into the output, false when that failed.
    using WriteFn = std::function<bool(const unsigned char* data, std::size_t length)>;

    explicit CBackgroundWriter(WriteFn write);
    // Waits for the write in flight; a failure it meets is lost, as the
    // caller is leaving anyway (by an exception).
    ~CBackgroundWriter();
    CBackgroundWriter(const CBackgroundWriter&) = delete;
    CBackgroundWriter& operator=(const CBackgroundWriter&) = delete;

    // Waits for the previous write, then starts writing data[0..length).
    // False when any earlier write failed; nothing is started then.
    bool Submit(const unsigned char* data, std::size_t length);
    // Waits for the write in flight; false when any write failed.
    bool Wait();

private:
    void Run();

    WriteFn m_write;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const unsigned char* m_pData = nullptr;
    std::size_t m_nLength = 0;
    bool m_bPending = false;
    bool m_bFailed = false;
    bool m_bStop = false;
    // Last, so that everything it uses exists before it starts.
    std::thread m_thread;
};

}  // namespace mg

#endif
