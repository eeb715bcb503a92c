#include "fileio/background_task.h"

#include <utility>

namespace mg {

CBackgroundTask::CBackgroundTask() : m_thread([this] { Run(); }) {}

CBackgroundTask::~CBackgroundTask() {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_bPending; });
        m_bStop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool CBackgroundTask::Submit(Task task) {
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
