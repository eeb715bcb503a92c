// The chunked reader over any stream, buffer size and chunk lengths. Checked:
// the chunks joined are the stream; only an illegal length is refused, changing
// nothing; a chunk falls short only with the end flag, which then stays and
// lets no more data through.
#include <cstdint>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fileio/double_buffering.h"
#include "fuzz/fuzz_input.h"

namespace mg::fuzz {
namespace {

void RunOne(FuzzInput& in) {
    // The library's shape (1024, 384), small ones with many seams, illegal ones.
    std::int32_t size = 1024;
    std::int32_t defaultLen = 384;
    switch (in.Byte() % 4) {
        case 0: break;
        case 1: size = 2 * (1 + in.Byte() % 40); defaultLen = 1 + in.Byte() % (size / 2); break;
        case 2: size = static_cast<std::int32_t>(in.U16() % 5000) - 8; defaultLen = in.Integer() % 3000; break;
        default: size = 2 * (1 + in.Byte() % 40); defaultLen = in.Integer(); break;
    }
    std::vector<std::int32_t> lengths;
    for (int i = in.Byte() % 16; i > 0; --i) lengths.push_back(in.Bool() ? -1 : in.Integer() % 600);
    const std::string stream = in.Rest();

    std::istringstream source(stream);
    std::vector<unsigned char> buffer(size > 0 ? static_cast<std::size_t>(size) : 1, 0xEE);
    std::string message;
    std::optional<CDoubleBuffering> reader;
    try {
        reader.emplace(source, buffer.data(), size, defaultLen);
    } catch (const std::runtime_error& e) {
        message = e.what();
    }
    const char* expected = size % 2 != 0                        ? "CDoubleBuffering: m_iSize should be Even Number!"
                           : defaultLen < 1 || defaultLen > (size >> 1) ? "CDoubleBuffering: Illegal Construction Data!"
                                                                        : "";
    if (message != expected) Fail("construction gave \"" + message + "\", expected \"" + expected + "\"");
    if (!reader) return;

    std::string joined;
    bool ended = false;
    std::vector<unsigned char> chunk(static_cast<std::size_t>(size / 2 + 1));
    for (std::size_t call = 0; call < 100000; ++call) {
        // The given lengths first, then the default until the data is out.
        const std::int32_t requested = call < lengths.size() ? lengths[call] : -1;
        const std::int32_t n = requested == -1 ? defaultLen : requested;
        std::int32_t got = -1;
        try {
            got = reader->GetData(chunk.data(), requested);
        } catch (const std::runtime_error& e) {
            if (std::string(e.what()) != "CDoubleBuffering::GetData(): Illegal iDataLen!") Fail(e.what());
        }
        const bool end = reader->m_bEnd;
        const bool sound = n >= 1 && n <= (size >> 1)
                               ? got >= 0 && got <= n && (got == n || end) && (!ended || (got == 0 && end))
                               : got == -1 && end == ended;
        if (!sound) {
            Fail("call " + std::to_string(call) + " (length " + std::to_string(requested) + ") returned " +
                 std::to_string(got) + " with end flag " + std::to_string(end));
        }
        ended = end;
        if (got > 0) joined.append(reinterpret_cast<const char*>(chunk.data()), static_cast<std::size_t>(got));
        if (got == 0 || (reader->m_bEnd && call >= lengths.size())) break;
    }
    if (reader->ReadFailed()) Fail("a string stream reported a read failure");
    if (!reader->m_bEnd) Fail("the data never ended");
    if (joined != stream) Fail("the chunks joined are not the stream");
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mg::fuzz::FuzzInput in(data, size);
    mg::fuzz::RunOne(in);
    return 0;
}
