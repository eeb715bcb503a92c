#include "digest/message_digest.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>


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
    // Large reads straight into one buffer, which the digest takes as it is:
    // the stream needs no buffer of its own (set before the file is opened;
    // some runtimes ignore it afterwards).
    constexpr std::size_t kRead = 256 * 1024;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kRead]);
    std::ifstream in;
    in.rdbuf()->pubsetbuf(nullptr, 0);
    in.open(name, std::ios::in | std::ios::binary);
    if (!in) ThrowFileError("Cannot open File ", name);

    Reset();
    for (;;) {
        in.read(reinterpret_cast<char*>(buffer.get()), static_cast<std::streamsize>(kRead));
        if (in.bad()) ThrowFileError("Cannot read File ", name);
        const auto got = static_cast<std::int32_t>(in.gcount());
        if (got > 0) AddData(buffer.get(), got);
        if (!in) break;
    }
    in.close();

    // An empty file is the empty message, not a lack of data.
    if (!m_bDataAdded) AddData(buffer.get(), 0);
    FinalDigest(out);
}

}  // namespace mg
