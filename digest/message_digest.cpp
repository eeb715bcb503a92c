#include "digest/message_digest.h"

#include <cstddef>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "fileio/background_task.h"


namespace mg {

IMessageDigest::~IMessageDigest() = default;

namespace {

[[noreturn]] void ThrowFileError(const char* what, const std::string& name) {
    std::ostringstream message;
    message << "FileDigest ERROR: in IMessageDigest::DigestFile(): " << what << name << "!";
    throw std::runtime_error(message.str());
}

}  // namespace

void IMessageDigest::DigestFile(const std::string& name, unsigned char* out) {
    // Large reads straight into two buffers, which the digest takes as they
    // are: while it digests one, the next part of the file is read into the
    // other on a thread of its own. The stream needs no buffer of its own
    // (set before the file is opened; some runtimes ignore it afterwards).
    constexpr std::size_t kRead = 256 * 1024;
    std::unique_ptr<unsigned char[]> buffers(new unsigned char[2 * kRead]);
    std::ifstream in;
    in.rdbuf()->pubsetbuf(nullptr, 0);
    in.open(name, std::ios::in | std::ios::binary);
    if (!in) ThrowFileError("Cannot open File ", name);
    auto readInto = [&in](unsigned char* to, std::size_t& got) {
        in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(kRead));
        got = static_cast<std::size_t>(in.gcount());
        return !in.bad();
    };

    Reset();
    unsigned char* current = buffers.get();
    unsigned char* next = current + kRead;
    std::size_t got = 0;
    if (!readInto(current, got)) ThrowFileError("Cannot read File ", name);
    // The reader's count; declared before the reader, which writes it.
    std::size_t gotNext = 0;
    // Started for a file longer than one read; joined before the buffers go.
    std::unique_ptr<CBackgroundTask> reader;
    while (got == kRead) {
        if (reader == nullptr) reader = std::make_unique<CBackgroundTask>();
        reader->Submit([&readInto, next, &gotNext] { return readInto(next, gotNext); });
        AddData(current, static_cast<std::int32_t>(got));
        if (!reader->Wait()) ThrowFileError("Cannot read File ", name);
        std::swap(current, next);
        got = gotNext;
    }
    if (got > 0) AddData(current, static_cast<std::int32_t>(got));
    reader.reset();
    in.close();

    // An empty file is the empty message, not a lack of data.
    if (!m_bDataAdded) AddData(current, 0);
    FinalDigest(out);
}

}  // namespace mg
