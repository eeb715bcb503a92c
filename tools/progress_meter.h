#ifndef MG_TOOLS_PROGRESS_METER_H
#define MG_TOOLS_PROGRESS_METER_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace mg::tool {

// A progress bar on standard error for a file function that runs inside the
// library, where no progress can be reported: it follows the output file's
// growth (its temporary file's, while the library writes that) against the
// input's size from a second thread. It shows only on a
// terminal and only once the work has lasted a moment, so short runs and
// redirected runs stay quiet.
class ProgressMeter {
public:
    ProgressMeter(const std::string& label, const std::string& inputPath, const std::string& outputPath,
                  bool enabled);
    ~ProgressMeter();  // stops and clears the bar
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    // The bar line for a fraction of the work, fitted to `columns`.
    static std::string Bar(const std::string& label, std::int64_t done, std::int64_t total, int columns);

private:
    void Watch();

    std::string m_sLabel;
    std::string m_sOutput;
    std::int64_t m_iTotal = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bStop = false;
    bool m_bShown = false;
    std::thread m_thread;
};

}  // namespace mg::tool

#endif
