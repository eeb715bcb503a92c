#include "fileio/background_writer.h"

#include <utility>

namespace mg {

CBackgroundWriter::CBackgroundWriter(WriteFn write) : m_write(std::move(write)), m_thread([this] { Run(); }) {}

CBackgroundWriter::~CBackgroundWriter() {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_bPending; });
        m_bStop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool CBackgroundWriter::Submit(const unsigned char* data, std::size_t length) {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_bPending; });
        if (m_bFailed) return false;
        m_pData = data;
        m_nLength = length;
        m_bPending = true;
    }
    m_changed.notify_all();
    return true;
}

bool CBackgroundWriter::Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_bPending; });
    return !m_bFailed;
}

void CBackgroundWriter::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_bPending || m_bStop; });
        if (!m_bPending) return;
        const unsigned char* data = m_pData;
        const std::size_t length = m_nLength;
        lock.unlock();
        const bool ok = m_write(data, length);
        lock.lock();
        if (!ok) m_bFailed = true;
        m_bPending = false;
        m_changed.notify_all();
    }
}

}  // namespace mg
