#include "fileio/background_task.h"

#include <system_error>
#include <utility>

namespace mg {

CBackgroundTask::CBackgroundTask() {
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread to be had (a process at its limit): the tasks run on the
        // caller's thread, slower but with the same result.
    }
}

CBackgroundTask::~CBackgroundTask() {
    if (!m_thread.joinable()) return;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_bPending; });
        m_bStop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool CBackgroundTask::Submit(Task task) {
    if (!m_thread.joinable()) {
        if (m_bFailed) return false;
        bool ok = false;
        try {
            ok = task();
        } catch (...) {
        }
        m_bFailed = !ok;
        return true;
    }
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_bPending; });
        if (m_bFailed) return false;
        m_task = std::move(task);
        m_bPending = true;
    }
    m_changed.notify_all();
    return true;
}

bool CBackgroundTask::Wait() {
    if (!m_thread.joinable()) return !m_bFailed;
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_bPending; });
    return !m_bFailed;
}

void CBackgroundTask::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_bPending || m_bStop; });
        if (!m_bPending) return;
        Task task = std::move(m_task);
        lock.unlock();
        bool ok = false;
        try {
            ok = task();
        } catch (...) {
            // A task that throws has failed; the exception cannot cross threads.
        }
        lock.lock();
        if (!ok) m_bFailed = true;
        m_bPending = false;
        m_changed.notify_all();
    }
}

}  // namespace mg
