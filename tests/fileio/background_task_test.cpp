// The thread behind the file loops: tasks run one at a time and in order,
// each finished before the next Submit returns, and a failure (or a throw)
// stops the next Submit and shows at Wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fileio/background_task.h"

namespace mg {
namespace {

TEST(BackgroundTask, RunsArriveWholeInOrderWhileTheCallerFillsTheOther) {
    std::string written;
    std::vector<unsigned char> runs[2] = {std::vector<unsigned char>(1000), std::vector<unsigned char>(1000)};
    std::string expected;
    CBackgroundTask writer;
    for (int i = 0; i < 50; ++i) {
        std::vector<unsigned char>& run = runs[i % 2];
        const std::size_t length = 1 + static_cast<std::size_t>(i * 17) % run.size();
        for (std::size_t k = 0; k < length; ++k) run[k] = static_cast<unsigned char>(i + k);
        expected.append(reinterpret_cast<const char*>(run.data()), length);
        const unsigned char* data = run.data();
        ASSERT_TRUE(writer.Submit([&written, data, length] {
            // Slow enough that a caller let go too early would overwrite the run in use.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            written.append(reinterpret_cast<const char*>(data), length);
            return true;
        }));
    }
    ASSERT_TRUE(writer.Wait());
    EXPECT_EQ(written, expected);
}

TEST(BackgroundTask, AFailureOrAThrowRefusesTheNextTaskAndStaysReported) {
    for (bool throws : {false, true}) {
        std::atomic<int> calls{0};
        CBackgroundTask task;
        auto work = [&calls, throws] {
            if (++calls != 2) return true;
            if (throws) throw std::runtime_error("cannot write");
            return false;
        };
        EXPECT_TRUE(task.Submit(work));
        EXPECT_TRUE(task.Submit(work));  // this one fails in the background
        EXPECT_FALSE(task.Submit(work));
        EXPECT_FALSE(task.Wait());
        EXPECT_FALSE(task.Wait());
        EXPECT_EQ(calls.load(), 2) << "nothing runs after a failure";
    }
}

TEST(BackgroundTask, LeavingWithATaskInFlightWaitsForIt) {
    std::atomic<bool> done{false};
    {
        CBackgroundTask task;
        task.Submit([&done] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            done = true;
            return true;
        });
    }
    EXPECT_TRUE(done.load());
}

}  // namespace
}  // namespace mg
