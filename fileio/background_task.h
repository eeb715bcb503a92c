// Runs one piece of file work at a time on a thread of its own while the
// caller does the next: the output of one run is written (or the input of
// the next read) while the caller enciphers or digests, so that a file
// function is as fast as the slower of its core and the copy through the
// kernel, not as slow as both added up.
//
// The caller must leave whatever a task uses alone until the next Submit or
// Wait has returned; work on the same file outside the tasks must come after
// Wait.
#ifndef MG_FILEIO_BACKGROUND_TASK_H
#define MG_FILEIO_BACKGROUND_TASK_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace mg {

class CBackgroundTask {
public:
    // A task says whether it succeeded.
    using Task = std::function<bool()>;

    CBackgroundTask();
    // Waits for the task in flight; a failure it meets is lost, as the
    // caller is leaving anyway (by an exception).
    ~CBackgroundTask();
    CBackgroundTask(const CBackgroundTask&) = delete;
    CBackgroundTask& operator=(const CBackgroundTask&) = delete;

    // Waits for the previous task, then starts this one. False when any
    // earlier task failed; nothing is started then.
    bool Submit(Task task);
    // Waits for the task in flight; false when any task failed.
    bool Wait();

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    Task m_task;
    bool m_bPending = false;
    bool m_bFailed = false;
    bool m_bStop = false;
    // Last, so that everything it uses exists before it starts.
    std::thread m_thread;
};

}  // namespace mg

#endif
