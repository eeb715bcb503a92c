// The loop of the file functions that transform a file: the input in runs of
// a fixed size, each transformed in place by the caller and written, with the
// next run read on one background thread and the last one written on
// another while the caller works on the current one. A call then costs about
// the slowest of reading, transforming and writing, not their sum; on a
// machine with one free core, still less than the sum.
//
// `holdBack` bytes at the end of every full run are not transformed with it:
// they start the next run (the file cipher keeps its last chunk back, which
// carries the padding). What is left when the input ends is handed back
// untransformed: fewer than `capacity` bytes, and at least `holdBack` once a
// full run was read (the caller's tail).
#ifndef MG_FILEIO_RUN_PIPELINE_H
#define MG_FILEIO_RUN_PIPELINE_H

#include <cstddef>
#include <cstring>
#include <memory>

#include "fileio/background_task.h"
#include "fileio/file_streams.h"

namespace mg {

enum class RunFailure { kNone, kRead, kWrite };

struct RunTail {
    RunFailure failure = RunFailure::kNone;
    unsigned char* data = nullptr;  // one of the buffers
    std::size_t length = 0;
};

// `buffers` are three of `capacity` bytes each; `transform(p, n)` works in
// place. The threads are started only for an input longer than one run and
// are done with every buffer when this returns or throws.
template <class Transform>
RunTail StreamRuns(CFileStreams& files, unsigned char* const (&buffers)[3], std::size_t capacity,
                   std::size_t holdBack, Transform transform) {
    std::istream& in = files.Input();
    const std::size_t body = capacity - holdBack;
    unsigned char* run = buffers[0];
    in.read(reinterpret_cast<char*>(run), static_cast<std::streamsize>(capacity));
    if (in.bad()) return {RunFailure::kRead, run, 0};
    std::size_t have = static_cast<std::size_t>(in.gcount());
    std::size_t got = 0;  // the reader's count, read after it has finished
    // After `got`, which the reader writes to; each waits for its task.
    std::unique_ptr<CBackgroundTask> reader, writer;
    for (std::size_t k = 0; have == capacity; ++k) {
        if (reader == nullptr) {
            reader = std::make_unique<CBackgroundTask>();
            writer = std::make_unique<CBackgroundTask>();
        }
        // The next buffer was last written two runs ago; the writer finished
        // that before it took the run after it.
        unsigned char* next = buffers[(k + 1) % 3];
        std::memcpy(next, run + body, holdBack);
        reader->Submit([&in, &got, to = next + holdBack, body] {
            in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(body));
            got = static_cast<std::size_t>(in.gcount());
            return !in.bad();
        });
        transform(run, body);
        if (!writer->Submit([&files, run, body] { return files.Write(run, static_cast<std::int32_t>(body)); }))
            return {RunFailure::kWrite, run, 0};
        if (!reader->Wait()) return {RunFailure::kRead, run, 0};
        have = holdBack + got;
        run = next;
    }
    if (writer != nullptr && !writer->Wait()) return {RunFailure::kWrite, run, 0};
    return {RunFailure::kNone, run, have};
}

}  // namespace mg

#endif
