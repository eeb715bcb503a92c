// The file loop's three buffers: while one run is transformed, the next is
// read into another and the last written from the third. Every byte must be
// transformed once, in order, with the held-back bytes carried into the next
// run and the tail handed back untouched, whatever the file's length.
#include <gtest/gtest.h>

#include <vector>

#include "fileio/file_streams.h"
#include "fileio/run_pipeline.h"
#include "tests/hostsim/temp_dir.h"

namespace mg {
namespace {

using testing::Slurp;
using testing::Spill;
using testing::TempDir;

std::vector<unsigned char> Pattern(std::size_t n) {
    std::vector<unsigned char> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(i * 7 + i / 251);
    return v;
}

TEST(RunPipeline, EveryByteOnceInOrderAtEveryRunEdge) {
    constexpr std::size_t kCapacity = 1000;
    TempDir dir;
    for (std::size_t holdBack : {std::size_t{0}, std::size_t{48}}) {
        const std::size_t body = kCapacity - holdBack;
        for (std::size_t n : {std::size_t{0}, std::size_t{1}, kCapacity - 1, kCapacity, kCapacity + 1, body * 2,
                              body * 2 + holdBack, body * 5 + holdBack + 3, body * 9 + 17}) {
            const std::vector<unsigned char> plain = Pattern(n);
            Spill(dir.File("in"), plain);
            CFileStreams files;
            ASSERT_TRUE(files.OpenInput(dir.File("in").c_str()));
            ASSERT_TRUE(files.OpenOutput(dir.File("out").c_str()));
            std::vector<unsigned char> storage(3 * kCapacity);
            unsigned char* const buffers[3] = {storage.data(), storage.data() + kCapacity,
                                               storage.data() + 2 * kCapacity};
            // Each byte gets its position in the file added: a byte seen twice,
            // skipped or out of place shows.
            std::size_t position = 0;
            const RunTail tail = StreamRuns(files, buffers, kCapacity, holdBack, [&](unsigned char* p, std::size_t len) {
                for (std::size_t i = 0; i < len; ++i) p[i] = static_cast<unsigned char>(p[i] + position++);
            });
            ASSERT_EQ(tail.failure, RunFailure::kNone);
            ASSERT_EQ(position + tail.length, n) << n << " " << holdBack;
            if (n >= kCapacity) {
                EXPECT_GE(tail.length, holdBack);
            }
            EXPECT_LT(tail.length, kCapacity);
            ASSERT_TRUE(files.Write(tail.data, static_cast<std::int32_t>(tail.length)));
            ASSERT_TRUE(files.CloseOutput());

            std::vector<unsigned char> expected = plain;
            for (std::size_t i = 0; i < position; ++i) expected[i] = static_cast<unsigned char>(expected[i] + i);
            EXPECT_EQ(Slurp(dir.File("out")), expected) << n << " " << holdBack;
        }
    }
}

}  // namespace
}  // namespace mg
