// The chunked reader: chunk contents, the call on which the end flag rises
// (the encrypted file format depends on it), and its errors.
#include <gtest/gtest.h>

#include <sstream>

#include "fileio/double_buffering.h"
#include "tests/cipher/cipher_test_util.h"

namespace mg {
namespace {

using test::ErrorOf;
using Call = std::pair<std::int32_t, bool>;  // (returned count, m_bEnd after the call)

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

struct ReaderRun {
    std::vector<Call> calls;
    std::string data;
    std::int32_t afterEnd = -1;
    bool readFailed = false;
};

// Reads the stream as the file operations do, up to the call that raises the end flag.
ReaderRun ReadAll(std::istream& in, std::int32_t size, std::int32_t chunk) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    std::vector<unsigned char> dest(static_cast<std::size_t>(chunk));
    CDoubleBuffering reader(in, buffer.data(), size, chunk);
    ReaderRun run;
    for (;;) {
        const std::int32_t got = reader.GetData(dest.data(), -1);
        run.calls.emplace_back(got, reader.m_bEnd);
        if (got > 0) run.data.append(reinterpret_cast<const char*>(dest.data()), static_cast<std::size_t>(got));
        if (reader.m_bEnd) {
            // Once raised, the flag stays and no more data comes.
            run.afterEnd = reader.GetData(dest.data(), -1);
            break;
        }
        if (got <= 0 || run.calls.size() > 100000) break;
    }
    run.readFailed = reader.ReadFailed();
    return run;
}

ReaderRun ReadAll(const std::string& contents, std::int32_t size, std::int32_t chunk) {
    std::istringstream in(contents);
    return ReadAll(in, size, chunk);
}

// The reader without its ring: a half buffer is read whenever the next chunk
// would reach the end of what has been read; a short read marks the end.
std::vector<Call> Model(std::int64_t length, std::int32_t size, std::int32_t chunk) {
    const std::int64_t half = size / 2;
    std::int64_t available = std::min(half, length);
    bool eofSeen = length < half;
    std::int64_t pos = 0;
    std::vector<Call> calls;
    for (;;) {
        const std::int64_t end = pos + chunk;
        if (end >= available && !eofSeen) {
            const std::int64_t got = std::min(half, length - available);
            available += got;
            eofSeen = got < half;
        } else if (end >= available) {
            calls.emplace_back(static_cast<std::int32_t>(available - pos), true);
            return calls;
        }
        if (end > available) {
            calls.emplace_back(static_cast<std::int32_t>(available - pos), true);
            return calls;
        }
        calls.emplace_back(chunk, false);
        pos = end;
    }
}

TEST(DoubleBuffering, EndFlagTableForTheLibrarysSizes) {
    const std::vector<std::pair<std::size_t, std::vector<Call>>> table = {
        {0, {{0, true}}},
        {1, {{1, true}}},
        {384, {{384, true}}},
        {385, {{384, false}, {1, true}}},
        {512, {{384, false}, {128, true}}},
        {768, {{384, false}, {384, false}, {0, true}}},
        {1152, {{384, false}, {384, false}, {384, false}, {0, true}}},
        {1920, {{384, false}, {384, false}, {384, false}, {384, false}, {384, true}}},
        {2048, {{384, false}, {384, false}, {384, false}, {384, false}, {384, false}, {128, true}}},
    };
    for (const auto& [length, expected] : table) {
        const std::string contents = Pattern(length);
        const ReaderRun run = ReadAll(contents, 1024, 384);
        EXPECT_EQ(run.calls, expected) << length << " bytes";
        EXPECT_EQ(run.data, contents) << length << " bytes";
        EXPECT_EQ(run.afterEnd, 0) << length << " bytes";
        EXPECT_FALSE(run.readFailed) << length << " bytes";
    }
}

// Every length up to a few buffers, for the library's sizes and odd ones.
TEST(DoubleBuffering, AgreesWithLinearModel) {
    const std::pair<std::int32_t, std::int32_t> shapes[] = {{1024, 384}, {1024, 512}, {1024, 1},
                                                            {16, 3},     {16, 8},     {10, 5},
                                                            {2, 1},      {1024, 500}};
    for (const auto& [size, chunk] : shapes) {
        const std::size_t limit = chunk == 1 ? 2100 : 5000;
        for (std::size_t length = 0; length <= limit; ++length) {
            const std::string contents = Pattern(length);
            const ReaderRun run = ReadAll(contents, size, chunk);
            ASSERT_EQ(run.calls, Model(static_cast<std::int64_t>(length), size, chunk))
                << "size " << size << ", chunk " << chunk << ", " << length << " bytes";
            ASSERT_EQ(run.data, contents) << "size " << size << ", chunk " << chunk << ", " << length << " bytes";
        }
    }
}

TEST(DoubleBuffering, ConstructionErrorsInOrder) {
    unsigned char buffer[1024];
    std::istringstream good("some data");
    std::ifstream missing((std::filesystem::temp_directory_path() / "mg_missing_reader_input.bin").string(),
                          std::ios::binary);
    const std::string even = "CDoubleBuffering: m_iSize should be Even Number!";
    const std::string notOpen = "CDoubleBuffering: Referenced File not Opened or in Bad State!";
    const std::string badData = "CDoubleBuffering: Illegal Construction Data!";

    // The size is checked first, then the stream, then the chunk length.
    EXPECT_EQ(ErrorOf([&] { CDoubleBuffering r(missing, buffer, 1023, 384); }), even);
    EXPECT_EQ(ErrorOf([&] { CDoubleBuffering r(good, buffer, -3, 384); }), even);
    EXPECT_EQ(ErrorOf([&] { CDoubleBuffering r(missing, buffer, 1024, 0); }), notOpen);
    EXPECT_EQ(ErrorOf([&] { CDoubleBuffering r(good, buffer, 1024, 513); }), badData);
    EXPECT_EQ(ErrorOf([&] { CDoubleBuffering r(good, buffer, 1024, 0); }), badData);
    EXPECT_EQ(ErrorOf([&] { CDoubleBuffering r(good, buffer, 0, 1); }), badData);
    EXPECT_EQ(ErrorOf([&] { CDoubleBuffering r(good, buffer, -4, 1); }), badData);
    // Nothing was read by the failed constructions.
    EXPECT_EQ(good.tellg(), 0);

    std::istringstream bad("data");
    bad.setstate(std::ios::badbit);
    EXPECT_EQ(ErrorOf([&] { CDoubleBuffering r(bad, buffer, 1024, 384); }), notOpen);
}

TEST(DoubleBuffering, StreamAtEndOrFailedIsAcceptedAndEmpty) {
    std::istringstream atEnd("");
    char c;
    atEnd.get(c);  // sets eof and fail
    EXPECT_EQ(ReadAll(atEnd, 1024, 384).calls, (std::vector<Call>{{0, true}}));
}

TEST(DoubleBuffering, GetDataLengthChecks) {
    unsigned char buffer[1024];
    unsigned char dest[600];
    std::istringstream in(Pattern(100));
    CDoubleBuffering reader(in, buffer, 1024, 384);
    const std::string text = "CDoubleBuffering::GetData(): Illegal iDataLen!";
    EXPECT_EQ(ErrorOf([&] { reader.GetData(dest, 0); }), text);
    EXPECT_EQ(ErrorOf([&] { reader.GetData(dest, 513); }), text);
    EXPECT_EQ(ErrorOf([&] { reader.GetData(dest, -2); }), text);
    EXPECT_EQ(reader.GetData(dest, 512), 100);
    EXPECT_TRUE(reader.m_bEnd);
    EXPECT_EQ(reader.GetData(dest, -1), 0);
    // The length is checked even after the end.
    EXPECT_EQ(ErrorOf([&] { reader.GetData(dest, 0); }), text);
    EXPECT_FALSE(reader.ReadFailed());
}

// A source that fails after a number of bytes, as a disk error would; the data
// handed out may be a shorter prefix, but the failure must be reported.
class FailingBuffer : public std::streambuf {
public:
    FailingBuffer(std::string data, std::size_t failAt) : m_data(std::move(data)), m_failAt(failAt) {}

protected:
    int_type underflow() override {
        if (m_pos >= m_failAt) throw std::runtime_error("device error");
        if (m_pos >= m_data.size()) return traits_type::eof();
        m_one = m_data[m_pos];
        setg(&m_one, &m_one, &m_one + 1);
        ++m_pos;
        return traits_type::to_int_type(m_one);
    }

private:
    std::string m_data;
    std::size_t m_failAt;
    std::size_t m_pos = 0;
    char m_one = 0;
};

TEST(DoubleBuffering, ReadErrorEndsTheDataAndIsReported) {
    for (std::size_t failAt : {0u, 100u, 512u, 700u, 1024u, 1500u}) {
        FailingBuffer source(Pattern(4000), failAt);
        std::istream in(&source);
        const ReaderRun run = ReadAll(in, 1024, 384);
        EXPECT_LE(run.data.size(), failAt) << failAt;
        EXPECT_EQ(run.data, Pattern(run.data.size())) << failAt;
        EXPECT_TRUE(run.calls.back().second) << failAt;
        EXPECT_TRUE(run.readFailed) << failAt;
    }
}

}  // namespace
}  // namespace mg
