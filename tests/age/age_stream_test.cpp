// The payload stream across its batches: data that spans several batches is
// sealed and opened while earlier batches are still being written, so every
// batch edge, a write that fails late and a chunk forged late are checked.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <streambuf>
#include <string>

#include "age/age_error.h"
#include "age/age_stream.h"

namespace mg::age {
namespace {

constexpr std::size_t kChunk = CAgeStream::kChunk;
constexpr std::size_t kBatch = 4 * kChunk;  // chunks per read and per write
const unsigned char kFileKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    std::uint32_t x = 0x9e3779b9u;
    for (auto& c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

void FixedNonce(unsigned char* out, std::size_t n) { std::memset(out, 0x5a, n); }

std::string Seal(const std::string& plain) {
    std::istringstream in(plain);
    std::ostringstream out;
    CAgeStream::Seal(in, out, kFileKey, FixedNonce);
    return out.str();
}

std::string Open(const std::string& sealed) {
    std::istringstream in(sealed);
    std::ostringstream out;
    CAgeStream::Open(in, out, kFileKey);
    return out.str();
}

AgeFailure FailureOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const CAgeError& e) {
        return e.Failure();
    }
    ADD_FAILURE() << "no CAgeError";
    return AgeFailure::kOpen;
}

// Accepts `room` bytes, then fails every write.
class CFullDisk : public std::streambuf {
public:
    explicit CFullDisk(std::size_t room) : m_iRoom(room) {}

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        if (static_cast<std::size_t>(n) > m_iRoom) return 0;
        m_iRoom -= static_cast<std::size_t>(n);
        return n;
    }
    int_type overflow(int_type c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }

private:
    std::size_t m_iRoom;
};

TEST(AgeStream, RoundTripsAtEveryBatchEdge) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, kChunk, kBatch - 1, kBatch, kBatch + 1, 2 * kBatch,
                          3 * kBatch + kChunk + 7}) {
        const std::string plain = Pattern(n);
        const std::string sealed = Seal(plain);
        const std::size_t chunks = n == 0 ? 1 : (n + kChunk - 1) / kChunk;
        ASSERT_EQ(sealed.size(), CAgeStream::kNonceLength + n + 16 * chunks) << n;
        EXPECT_EQ(Open(sealed), plain) << n;
    }
}

TEST(AgeStream, WriteFailingInALaterBatchIsReported) {
    const std::string plain = Pattern(3 * kBatch + 5);
    for (std::size_t room : {std::size_t{0}, std::size_t{100}, kBatch + 100, 2 * kBatch + 100}) {
        CFullDisk disk(room);
        std::ostream out(&disk);
        std::istringstream in(plain);
        EXPECT_EQ(FailureOf([&] { CAgeStream::Seal(in, out, kFileKey, FixedNonce); }), AgeFailure::kWrite) << room;
    }
    const std::string sealed = Seal(plain);
    CFullDisk disk(2 * kBatch + 100);
    std::ostream out(&disk);
    std::istringstream in(sealed);
    EXPECT_EQ(FailureOf([&] { CAgeStream::Open(in, out, kFileKey); }), AgeFailure::kWrite);
}

TEST(AgeStream, ChunkForgedInALaterBatchIsRefused) {
    const std::string plain = Pattern(3 * kBatch + 5);
    const std::string sealed = Seal(plain);
    for (std::size_t chunk : {std::size_t{5}, std::size_t{9}, std::size_t{12}}) {
        std::string forged = sealed;
        forged[CAgeStream::kNonceLength + chunk * (kChunk + 16) + 3] ^= 1;
        EXPECT_EQ(FailureOf([&] { Open(forged); }), AgeFailure::kDamaged) << chunk;
    }
    // Cut after a whole batch: the last chunk read is not marked last.
    EXPECT_EQ(FailureOf([&] { Open(sealed.substr(0, CAgeStream::kNonceLength + 8 * (kChunk + 16))); }),
              AgeFailure::kDamaged);
}

}  // namespace
}  // namespace mg::age
