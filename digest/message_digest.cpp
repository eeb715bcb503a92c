#include "digest/message_digest.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "fileio/double_buffering.h"

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
    // Declared before the stream so that it outlives it.
    std::unique_ptr<char[]> streamStorage(new char[CDoubleBuffering::kStreamBufferSize]);
    std::ifstream in;
    in.rdbuf()->pubsetbuf(streamStorage.get(), CDoubleBuffering::kStreamBufferSize);
    in.open(name, std::ios::in | std::ios::binary);
    if (!in) ThrowFileError("Cannot open File ", name);

    Reset();
    unsigned char buffer[1024];
    unsigned char chunk[384];
    CDoubleBuffering reader(in, buffer, sizeof buffer, sizeof chunk);
    std::int32_t count;
    while ((count = reader.GetData(chunk, -1)) > 0) AddData(chunk, count);
    if (reader.ReadFailed()) ThrowFileError("Cannot read File ", name);
    in.close();

    // An empty file is the empty message, not a lack of data.
    if (!m_bDataAdded) AddData(chunk, 0);
    FinalDigest(out);
}

}  // namespace mg
