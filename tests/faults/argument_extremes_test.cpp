// Integers at both ends of the 32-bit range, zero and negative counts, values
// of no bytes and of 64 MiB: out-of-range numbers act as their documented
// replacements, and nothing crashes, hangs or leaks.
#include <chrono>
#include <limits>

#include "fault_fixture.h"

namespace mg::testing {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

class ArgumentExtremes : public FaultTest {
protected:
    std::string Result(const std::string& name, const std::vector<Value>& args) {
        const Value v = Returned(name, args);
        switch (v.kind) {
            case Value::Kind::Bytes: return v.bytes;
            case Value::Kind::Integer: return "I" + std::to_string(v.integer);
            case Value::Kind::Number: return "N" + std::to_string(v.number);
            default: return "none";
        }
    }
};

TEST_F(ArgumentExtremes, OutOfRangeCipherNumbersActAsTheirReplacements) {
    // Positions 3..7 (DECRYPT reads them as ENCRYPT does), their odd values and what
    // those stand for. Type 3 and unknown types are Rijndael with the key size
    // given; a key or block size of 0 means 32.
    struct Position {
        std::size_t at;
        std::vector<std::int32_t> odd;
        std::int32_t meant;
    };
    const Position positions[] = {
        {2, {kMin, kMax, -1, 3, 1023, 1025}, 2},
        {3, {kMin, kMax, -1, 4, 5}, 0},
        {4, {kMin, kMax, -1, 5}, 0},
        {5, {kMin, kMax, -1, 0, 20}, 32},
        {6, {kMin, kMax, -1, 0, 20}, 32},
    };
    const std::vector<Value> base = {C("thirty-three bytes of plain text!"), C("key"), I(2), I(1), I(2),
                                     I(24), I(16), C("iv")};
    for (const Position& p : positions) {
        for (std::int32_t odd : p.odd) {
            std::vector<Value> given = base, meant = base;
            given[p.at] = I(odd);
            meant[p.at] = I(p.meant);
            EXPECT_EQ(Result("ENCRYPT", given), Result("ENCRYPT", meant)) << "position " << p.at + 1 << " = " << odd;
        }
    }
}

// HASHFILE reads its type as HASH does, CRCFILE as CRC; the record functions run HASH and CRC.
TEST_F(ArgumentExtremes, OutOfRangeDigestAndCrcTypes) {
    for (std::int32_t odd : {kMin, kMax, -1, 0, 8}) {
        EXPECT_EQ(Result("HASH", {C("abc"), I(odd)}), Result("HASH", {C("abc"), I(4)})) << odd;
        EXPECT_EQ(Result("HMAC", {C("abc"), C("k"), I(odd)}), Result("HMAC", {C("abc"), C("k"), I(4)})) << odd;
        EXPECT_EQ(Result("CRC", {C("abc"), I(odd)}), Result("CRC", {C("abc"), I(2)})) << odd;
    }
}

TEST_F(ArgumentExtremes, KeyLengthsAtTheEdges) {
    for (std::int32_t n : {kMin, -5, 0}) EXPECT_EQ(Result("GENERATEKEY", {I(n), L(true)}), "") << n;
    EXPECT_EQ(Result("GENERATEKEY", {I(100000), L(true)}).size(), 100000u);

    // Two thousand million characters cannot reach a host: say so at once.
    const auto start = std::chrono::steady_clock::now();
    const CallResult huge = host.Call("GENERATEKEY", {I(kMax), L(true), L(true), L(true)});
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(huge.error, abi::kErrorCannotGrow);
    EXPECT_EQ(huge.value.kind, Value::Kind::None);
    EXPECT_LT(seconds, 2.0);
    EXPECT_EQ(Result("GENERATEKEY", {I(8)}).size(), 8u) << "the next call works";
}

TEST_F(ArgumentExtremes, EmptyFileNamesNameNoFile) {
    EXPECT_EQ(Error("HASHFILE", {C("")}), "FileDigest ERROR: in IMessageDigest::DigestFile(): Cannot open File !");
    EXPECT_EQ(Result("CRCFILE", {C("")}), "N0.000000");
    EXPECT_EQ(Error("ENCRYPTFILE", {C(""), C(dir.File("o")), C("k")}), "FileCrypt ERROR: Cannot open File !");
    EXPECT_EQ(Error("ENCRYPTFILE", {C(plain), C(""), C("k")}), "FileCrypt ERROR: Cannot open File !");
}

TEST_F(ArgumentExtremes, SixtyFourMiBArgumentsLong) {
    std::string huge(64u << 20, '\0');
    for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<char>('k' + i * 131 + (i >> 16));
    // As data, as a key, as an IV, as a file name and as an alias.
    const std::string body = huge + "odd";
    const std::string enc = Result("ENCRYPT", {C(body), C("key"), I(2), I(1), I(2)});
    ASSERT_EQ(enc.size(), body.size() + 29);
    EXPECT_EQ(Result("DECRYPT", {C(enc), C("key"), I(2), I(1), I(2)}).substr(0, body.size()), body);
    EXPECT_EQ(Result("ENCRYPT", {C(huge), C("key"), I(1024)}).size(), huge.size());
    const std::string file = dir.File("huge");
    WriteFile(file, huge);
    EXPECT_EQ(Result("HASH", {C(huge), I(2)}), Result("HASHFILE", {C(file), I(2)}));
    EXPECT_EQ(Result("CRC", {C(huge)}), Result("CRCFILE", {C(file)}));
    EXPECT_EQ(Result("ENCRYPT", {C("sixteen bytes!!!"), C(huge), I(0), I(0), I(0), I(16), I(16)}),
              Result("ENCRYPT", {C("sixteen bytes!!!"), C(huge.substr(0, 16)), I(0), I(0), I(0), I(16), I(16)}));
    EXPECT_EQ(Result("ENCRYPT", {C("data"), C(huge), I(1024)}),
              Result("ENCRYPT", {C("data"), C(huge.substr(0, 256)), I(1024)}));
    EXPECT_EQ(Result("HMAC", {C("data"), C(huge), I(2)}),
              Result("HMAC", {C("data"), C(Result("HASH", {C(huge), I(2)})), I(2)}));
    EXPECT_EQ(Result("ENCRYPT", {C("data"), C("k"), I(2), I(1), I(0), I(32), I(32), C(huge)}),
              Result("ENCRYPT", {C("data"), C("k"), I(2), I(1), I(0), I(32), I(32), C(huge.substr(0, 32))}));
    const std::string name = dir.File(std::string(huge.size(), 'n'));
    EXPECT_EQ(Error("HASHFILE", {C(name)}),
              "FileDigest ERROR: in IMessageDigest::DigestFile(): Cannot open File " + name + "!");
    EXPECT_EQ(Result("GETRECSTR", {C(huge)}), "");
    EXPECT_EQ(Result("CRCRECORD", {C(huge), I(2)}), "I0");
}

}  // namespace
}  // namespace mg::testing
