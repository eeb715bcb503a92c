#include "tools/progress_meter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "tools/files.h"
#include "tools/terminal.h"

namespace mg::tool {
namespace {

// Small files finish before a bar would be readable.
constexpr std::int64_t kSmallestWatched = 4 << 20;
constexpr auto kFirstShow = std::chrono::milliseconds(400);
constexpr auto kRefresh = std::chrono::milliseconds(100);

std::string MiB(std::int64_t bytes) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return buffer;
}

// The library writes into `.<name>.marrowgate-<pid>-<random>.tmp` beside the
// output and renames it at the end, so the growth to follow is that file's.
std::int64_t Written(const std::string& output) {
    namespace fs = std::filesystem;
    std::int64_t size = Files::Size(output);
    const fs::path path(output);
    const std::string prefix = "." + path.filename().string() + ".marrowgate-";
    std::error_code error;
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0) size = std::max(size, Files::Size(it->path().string()));
    }
    return size;
}

}  // namespace

std::string ProgressMeter::Bar(const std::string& label, std::int64_t done, std::int64_t total, int columns) {
    if (done > total) done = total;
    if (done < 0) done = 0;
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    const std::string tail = " " + std::to_string(percent) + "%  " + MiB(done) + "/" + MiB(total) + " MiB";
    std::string head = label;
    int room = columns - 1 - static_cast<int>(head.size() + tail.size()) - 3;
    if (room < 10) {
        head.clear();
        room = columns - 1 - static_cast<int>(tail.size()) - 2;
    }
    if (room < 4) return tail.substr(1);
    const int filled = total > 0 ? static_cast<int>(static_cast<double>(done) * room / static_cast<double>(total)) : room;
    std::string line = head.empty() ? "[" : head + " [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(room - filled), '.');
    return line + "]" + tail;
}

ProgressMeter::ProgressMeter(const std::string& label, const std::string& inputPath, const std::string& outputPath,
                             bool enabled)
    : m_sLabel(label), m_sOutput(outputPath), m_iTotal(Files::Size(inputPath)) {
    if (enabled && m_iTotal >= kSmallestWatched && Terminal::IsTerminal(stderr)) {
        m_thread = std::thread(&ProgressMeter::Watch, this);
    }
}

ProgressMeter::~ProgressMeter() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ProgressMeter::Watch() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_wake.wait_for(lock, kFirstShow, [this] { return m_bStop; })) return;
    const int columns = Terminal::Width();
    do {
        const std::string line = Bar(m_sLabel, Written(m_sOutput), m_iTotal, columns);
        std::fprintf(stderr, "\r%s", line.c_str());
        std::fflush(stderr);
        m_bShown = true;
    } while (!m_wake.wait_for(lock, kRefresh, [this] { return m_bStop; }));
    if (m_bShown) {
        std::fprintf(stderr, "\r%*s\r", columns - 1, "");
        std::fflush(stderr);
    }
}

}  // namespace mg::tool
