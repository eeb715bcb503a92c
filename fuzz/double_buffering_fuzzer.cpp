// The chunked reader over streams of any length, with any buffer size and any
// sequence of chunk lengths. Two things are checked: the chunks joined are the
// stream exactly, and every call (count, end flag, or the error it throws)
// matches a plain model of the reader that works on the whole stream held in
// memory and knows only where the stream's end-of-file would be seen.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/double_buffering.h"
#include "fuzz/fuzz_input.h"

namespace mg::fuzz {
namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "double buffering fuzzer: %s\n", what.c_str());
    std::abort();
}

// The reader's observable behaviour, stated over the whole stream: a buffer
// of `size` bytes filled half by half, and an end-of-file that a read sees
// only once it delivers fewer bytes than asked for.
class ReaderModel {
public:
    ReaderModel(const std::string& stream, std::int32_t size, std::int32_t defaultLen)
        : m_sStream(stream), m_iHalf(size >> 1), m_iSize(size), m_iDefaultLen(defaultLen) {
        m_iFilled = Read();
    }

    // Returns the count, or -1 for "Illegal iDataLen"; `out` receives the bytes.
    std::int32_t Get(std::int32_t requested, std::string& out) {
        const std::int32_t n = requested == -1 ? m_iDefaultLen : requested;
        if (n < 1 || n > m_iHalf) return -1;
        out.clear();
        if (m_bEnd) return 0;
        const std::int32_t end = m_iPos + n;
        if (end < m_iFilled) return Take(n, out);
        if (m_bEof) return Finish(out);
        if (!m_bSecondHalf) {
            m_iFilled += Read();
            if (end > m_iFilled) return Finish(out);
            m_bSecondHalf = true;
            return Take(n, out);
        }
        // The position is in the second half: the first half is refilled and
        // the chunk runs on into it.
        const std::int32_t left = m_iSize - m_iPos;
        const std::int32_t fresh = Read();
        const std::int32_t e = end % m_iSize;
        if (e > fresh) {
            m_bEnd = true;
            out = m_sStream.substr(m_iConsumed, static_cast<std::size_t>(left + fresh));
            m_iConsumed += static_cast<std::size_t>(left + fresh);
            return left + fresh;
        }
        m_iFilled = fresh;
        m_iPos = e;
        m_bSecondHalf = false;
        out = m_sStream.substr(m_iConsumed, static_cast<std::size_t>(n));
        m_iConsumed += static_cast<std::size_t>(n);
        return n;
    }

    bool End() const { return m_bEnd; }

private:
    std::int32_t Read() {
        const std::size_t available = m_sStream.size() - m_iRead;
        const std::size_t got = available < static_cast<std::size_t>(m_iHalf) ? available : m_iHalf;
        m_iRead += got;
        if (got < static_cast<std::size_t>(m_iHalf)) m_bEof = true;
        return static_cast<std::int32_t>(got);
    }
    std::int32_t Take(std::int32_t n, std::string& out) {
        out = m_sStream.substr(m_iConsumed, static_cast<std::size_t>(n));
        m_iConsumed += static_cast<std::size_t>(n);
        m_iPos += n;
        return n;
    }
    std::int32_t Finish(std::string& out) {
        m_bEnd = true;
        const std::int32_t count = m_iFilled - m_iPos;
        out = m_sStream.substr(m_iConsumed, static_cast<std::size_t>(count));
        m_iConsumed += static_cast<std::size_t>(count);
        m_iPos = m_iFilled;
        return count;
    }

    const std::string& m_sStream;
    std::int32_t m_iHalf;
    std::int32_t m_iSize;
    std::int32_t m_iDefaultLen;
    std::size_t m_iRead = 0;      // stream bytes read into the buffer so far
    std::size_t m_iConsumed = 0;  // stream bytes handed out so far
    std::int32_t m_iPos = 0;
    std::int32_t m_iFilled = 0;
    bool m_bSecondHalf = false;
    bool m_bEof = false;
    bool m_bEnd = false;
};

void RunOne(FuzzInput& in) {
    // Mostly the library's own shape (1024, 384), often small shapes that make
    // many seams out of a short input, sometimes illegal ones.
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
                                                                        : nullptr;
    if (expected != nullptr) {
        if (message != expected) Fail("construction (" + std::to_string(size) + ", " + std::to_string(defaultLen) +
                                      ") gave \"" + message + "\", expected \"" + expected + "\"");
        return;
    }
    if (!reader) Fail("construction failed: " + message);

    ReaderModel model(stream, size, defaultLen);
    std::string joined;
    std::vector<unsigned char> chunk(static_cast<std::size_t>(size / 2 + 1));
    for (std::size_t call = 0; call < 100000; ++call) {
        // The given lengths first, then the default until the data is out.
        const std::int32_t requested = call < lengths.size() ? lengths[call] : -1;
        std::string want;
        const std::int32_t wantCount = model.Get(requested, want);
        std::int32_t got = -1;
        try {
            got = reader->GetData(chunk.data(), requested);
        } catch (const std::runtime_error& e) {
            if (std::string(e.what()) != "CDoubleBuffering::GetData(): Illegal iDataLen!") Fail(e.what());
        }
        if (got != wantCount) {
            Fail("call " + std::to_string(call) + " (length " + std::to_string(requested) + ") returned " +
                 std::to_string(got) + ", expected " + std::to_string(wantCount) + "; stream " +
                 std::to_string(stream.size()) + ", buffer " + std::to_string(size) + ", chunk " +
                 std::to_string(defaultLen));
        }
        if (reader->m_bEnd != model.End()) Fail("end flag differs after call " + std::to_string(call));
        if (got > 0) {
            if (std::memcmp(chunk.data(), want.data(), static_cast<std::size_t>(got)) != 0) {
                Fail("chunk " + std::to_string(call) + " holds other bytes");
            }
            joined.append(reinterpret_cast<const char*>(chunk.data()), static_cast<std::size_t>(got));
        }
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
