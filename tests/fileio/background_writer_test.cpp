// The writer behind the file loops: runs arrive whole and in order, and a
// failed write stops the next Submit and shows at Wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fileio/background_writer.h"

namespace mg {
namespace {

TEST(BackgroundWriter, RunsArriveWholeInOrderWhileTheCallerFillsTheOther) {
    std::string written;
    std::vector<unsigned char> runs[2] = {std::vector<unsigned char>(1000), std::vector<unsigned char>(1000)};
    std::string expected;
    {
        CBackgroundWriter writer([&written](const unsigned char* data, std::size_t length) {
            // Slow enough that the caller would overwrite a run still in use.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            written.append(reinterpret_cast<const char*>(data), length);
            return true;
        });
        for (int i = 0; i < 50; ++i) {
            std::vector<unsigned char>& run = runs[i % 2];
            const std::size_t length = 1 + static_cast<std::size_t>(i * 17) % run.size();
            for (std::size_t k = 0; k < length; ++k) run[k] = static_cast<unsigned char>(i + k);
            expected.append(reinterpret_cast<const char*>(run.data()), length);
            ASSERT_TRUE(writer.Submit(run.data(), length));
        }
        ASSERT_TRUE(writer.Wait());
        EXPECT_EQ(written, expected);
    }
}

TEST(BackgroundWriter, AFailureRefusesTheNextRunAndStaysReported) {
    std::atomic<int> calls{0};
    const unsigned char data[4] = {1, 2, 3, 4};
    CBackgroundWriter writer([&calls](const unsigned char*, std::size_t) { return ++calls != 2; });
    EXPECT_TRUE(writer.Submit(data, 4));
    EXPECT_TRUE(writer.Submit(data, 4));  // this one fails in the background
    EXPECT_FALSE(writer.Submit(data, 4));
    EXPECT_FALSE(writer.Wait());
    EXPECT_FALSE(writer.Wait());
    EXPECT_EQ(calls.load(), 2) << "nothing is written after a failure";
}

TEST(BackgroundWriter, LeavingWithAWriteInFlightWaitsForIt) {
    std::atomic<bool> done{false};
    const unsigned char data[1] = {7};
    {
        CBackgroundWriter writer([&done](const unsigned char*, std::size_t) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            done = true;
            return true;
        });
        writer.Submit(data, 1);
    }
    EXPECT_TRUE(done.load());
}

}  // namespace
}  // namespace mg
