// Arguments at the edges: integers at both ends of the 32-bit range, zero and
// negative counts, logicals whose truth value is not 0 or 1, character values
// of no bytes and of 64 MiB. Out-of-range numbers must act exactly as their
// documented replacements; nothing may crash, hang or leak.
#include <chrono>
#include <limits>

#include "fault_fixture.h"

namespace mg::testing {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

class ArgumentExtremes : public FaultTest {
protected:
    // The value a call gives, as bytes or as its number.
    std::string Result(const std::string& name, const std::vector<Value>& args) {
        const CallResult r = host().Call(name, args);
        EXPECT_TRUE(r.ok()) << name << ": " << r.message;
        switch (r.value.kind) {
            case Value::Kind::Bytes: return r.value.bytes;
            case Value::Kind::Integer: return "I" + std::to_string(r.value.integer);
            case Value::Kind::Number: return "N" + std::to_string(r.value.number);
            default: return "none";
        }
    }
};

TEST_F(ArgumentExtremes, OutOfRangeCipherNumbersActAsTheirDefaults) {
    const std::string data = "thirty-three bytes of plain text!";
    // Positions 3..7: type, mode, padding, key size, block size, and what an
    // out-of-range value there stands for.
    const std::int32_t replacement[] = {2, 0, 0, 32, 32};
    const std::vector<Value> base = {C(data), C("key"), I(2), I(1), I(2), I(24), I(16), C("iv")};
    for (std::size_t at = 2; at <= 6; ++at) {
        for (std::int32_t odd : {kMin, kMax, -1, 5, 1023, 1025}) {
            if (at == 2 && odd == 5) continue;  // type 5 is Rijndael by name already
            std::vector<Value> given = base, meant = base;
            given[at] = I(odd);
            meant[at] = I(replacement[at - 2]);
            // Type 3 and other unknown types take the key size from nKeySize, which is given.
            EXPECT_EQ(Result("ENCRYPT", given), Result("ENCRYPT", meant)) << "position " << at + 1 << " = " << odd;
            given[0] = meant[0] = C(std::string(96, 'c'));  // whole blocks of 16, 24 and 32
            EXPECT_EQ(Result("DECRYPT", given), Result("DECRYPT", meant)) << "position " << at + 1 << " = " << odd;
        }
    }
    // The same through the file functions, one position further on.
    const std::string a = dir.File("a"), b = dir.File("b");
    for (std::int32_t odd : {kMin, kMax}) {
        ASSERT_TRUE(host().Call("ENCRYPTFILE", {C(plain), C(a), C("key"), I(odd), I(odd), I(odd), I(odd), I(odd)}).ok());
        ASSERT_TRUE(host().Call("ENCRYPTFILE", {C(plain), C(b), C("key"), I(2), I(0), I(0), I(32), I(32)}).ok());
        EXPECT_EQ(ReadFile(a), ReadFile(b)) << odd;
    }
}

TEST_F(ArgumentExtremes, OutOfRangeDigestAndCrcTypes) {
    for (std::int32_t odd : {kMin, kMax, -1, 0, 8}) {
        EXPECT_EQ(Result("HASH", {C("abc"), I(odd)}), Result("HASH", {C("abc"), I(4)})) << odd;
        EXPECT_EQ(Result("HMAC", {C("abc"), C("k"), I(odd)}), Result("HMAC", {C("abc"), C("k"), I(4)})) << odd;
        EXPECT_EQ(Result("HASHFILE", {C(plain), I(odd)}), Result("HASHFILE", {C(plain), I(4)})) << odd;
        EXPECT_EQ(Result("HASHRECORD", {C("orders"), I(odd)}), Result("HASHRECORD", {C("orders"), I(4)})) << odd;
        EXPECT_EQ(Result("CRC", {C("abc"), I(odd)}), Result("CRC", {C("abc"), I(2)})) << odd;
        EXPECT_EQ(Result("CRCFILE", {C(plain), I(odd)}), Result("CRCFILE", {C(plain), I(2)})) << odd;
        EXPECT_EQ(Result("CRCRECORD", {C("orders"), I(odd)}), Result("CRCRECORD", {C("orders"), I(2)})) << odd;
    }
}

TEST_F(ArgumentExtremes, KeyLengthsAtTheEdges) {
    for (std::int32_t n : {kMin, -5, 0}) EXPECT_EQ(Result("GENERATEKEY", {I(n)}), "") << n;
    EXPECT_EQ(Result("GENERATEKEY", {I(100000), L(true)}).size(), 100000u);

    // Two thousand million characters cannot be handed to a host: the call
    // must say so, and at once, rather than spend the memory and time first.
    const auto start = std::chrono::steady_clock::now();
    const CallResult huge = host().Call("GENERATEKEY", {I(kMax), L(true), L(true), L(true)});
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ExpectCleanFailure(huge, "GENERATEKEY(2147483647)");
    EXPECT_EQ(huge.error, abi::kErrorCannotGrow);
    EXPECT_LT(seconds, 2.0);
    EXPECT_EQ(host().OccupiedHandles(), 0u);
    EXPECT_EQ(Result("GENERATEKEY", {I(8)}).size(), 8u) << "the next call works";
}

TEST_F(ArgumentExtremes, LogicalsAreReadByTheirLowByte) {
    // 256 has a low byte of 0: false; 2 is true for GENERATEKEY's switches,
    // but only exactly 1 asks the record functions for memo fields.
    for (int i = 0; i < 20; ++i) {
        for (char c : Result("GENERATEKEY", {I(40), Value::Truth(256), Value::Truth(0x100), Value::Truth(512)})) {
            EXPECT_TRUE(c >= 'a' && c <= 'z') << c;
        }
    }
    const std::string withMemo = Result("GETRECSTR", {C("orders"), L(true)});
    const std::string without = Result("GETRECSTR", {C("orders"), L(false)});
    EXPECT_NE(withMemo, without);
    EXPECT_EQ(Result("GETRECSTR", {C("orders"), Value::Truth(2)}), without);
    EXPECT_EQ(Result("GETRECSTR", {C("orders"), Value::Truth(257)}), without);
}

TEST_F(ArgumentExtremes, EmptyCharacterValues) {
    EXPECT_EQ(Message({"ENCRYPT", {C(""), C("key")}}), "Illegal Block Size!");
    EXPECT_EQ(Message({"ENCRYPT", {C("data"), C("")}}), "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(Message({"DECRYPT", {C(""), C("key"), I(4)}}), "Illegal Block Size!");
    EXPECT_EQ(Result("ENCRYPT", {C(""), C("key"), I(1024)}), "");
    {
        const CallResult r = host().Call("ENCRYPT", {C("data"), C(""), I(1024)});
        ExpectCleanFailure(r, "RC4 with an empty key");
    }
    // An empty IV is a given IV of zeros.
    EXPECT_EQ(Result("ENCRYPT", {C("data"), C("k"), I(2), I(1), I(0), I(32), I(32), C("")}),
              Result("ENCRYPT", {C("data"), C("k"), I(2), I(1)}));
    // Digests of the empty message; an empty key is B zero bytes.
    EXPECT_EQ(Result("HASH", {C(""), I(5)}), Unhex("d41d8cd98f00b204e9800998ecf8427e"));  // RFC 1321
    EXPECT_EQ(Result("HMAC", {C(""), C(""), I(1)}), Result("HMAC", {C(""), C(std::string(64, '\0')), I(1)}));
    EXPECT_EQ(Result("CRC", {C(""), I(1)}), "I0");
    EXPECT_EQ(Result("CRC", {C("")}), "N0.000000");
    // An empty file name names no file.
    EXPECT_EQ(Message({"HASHFILE", {C("")}}), "FileDigest ERROR: in IMessageDigest::DigestFile(): Cannot open File !");
    EXPECT_EQ(Result("CRCFILE", {C("")}), "N0.000000");
    EXPECT_EQ(Message({"ENCRYPTFILE", {C(""), C(dir.File("o")), C("k")}}), "FileCrypt ERROR: Cannot open File !");
    EXPECT_EQ(Message({"ENCRYPTFILE", {C(plain), C(""), C("k")}}), "FileCrypt ERROR: Cannot open File !");
    EXPECT_EQ(Message({"ENCRYPTFILE", {C(plain), C(dir.File("o")), C("")}}),
              "FileCrypt ERROR: Key Data Length should be > 0!");
    // An empty alias is the current work area.
    EXPECT_EQ(Result("GETRECSTR", {C("")}), Result("GETRECSTR", {C("orders")}));
    EXPECT_EQ(host().OccupiedHandles(), 0u);
}

class HugeValues : public ArgumentExtremes {
protected:
    static constexpr std::size_t kSize = 64u << 20;
    std::string Huge(char seed) {
        std::string s(kSize, '\0');
        for (std::size_t i = 0; i < kSize; ++i) s[i] = static_cast<char>(seed + i * 131 + (i >> 16));
        return s;
    }
};

TEST_F(HugeValues, SixtyFourMiBDataLong) {
    const std::string data = Huge('d');
    // A round trip through the block cipher, with a padding block's worth more.
    const std::string body = data + "odd";
    const std::string enc = Result("ENCRYPT", {C(body), C("key"), I(2), I(1), I(2)});
    ASSERT_EQ(enc.size(), body.size() + 29);
    EXPECT_EQ(Result("DECRYPT", {C(enc), C("key"), I(2), I(1), I(2)}).substr(0, body.size()), body);
    // Digests and checksums of the value equal those of the same bytes in a file.
    const std::string file = dir.File("huge");
    WriteFile(file, data);
    EXPECT_EQ(Result("HASH", {C(data), I(2)}), Result("HASHFILE", {C(file), I(2)}));
    EXPECT_EQ(Result("CRC", {C(data)}), Result("CRCFILE", {C(file)}));
    // RC4 in place returns as many bytes as it was given.
    EXPECT_EQ(Result("ENCRYPT", {C(data), C("key"), I(1024)}).size(), data.size());
    EXPECT_EQ(host().OccupiedHandles(), 0u);
}

TEST_F(HugeValues, SixtyFourMiBKeysIvsNamesAndAliasesLong) {
    const std::string key = Huge('k');
    // Keys: a block cipher uses its key size of them, RC4 its first 256, HMAC
    // hashes a key longer than its block.
    EXPECT_EQ(Result("ENCRYPT", {C("sixteen bytes!!!"), C(key), I(0), I(0), I(0), I(16), I(16)}),
              Result("ENCRYPT", {C("sixteen bytes!!!"), C(key.substr(0, 16)), I(0), I(0), I(0), I(16), I(16)}));
    EXPECT_EQ(Result("ENCRYPT", {C("data"), C(key), I(1024)}),
              Result("ENCRYPT", {C("data"), C(key.substr(0, 256)), I(1024)}));
    EXPECT_EQ(Result("HMAC", {C("data"), C(key), I(2)}),
              Result("HMAC", {C("data"), C(Result("HASH", {C(key), I(2)})), I(2)}));
    // IVs are cut to the block.
    EXPECT_EQ(Result("ENCRYPT", {C("data"), C("k"), I(2), I(1), I(0), I(32), I(32), C(key)}),
              Result("ENCRYPT", {C("data"), C("k"), I(2), I(1), I(0), I(32), I(32), C(key.substr(0, 32))}));
    // A name of 64 MiB names no file, and the message still names it.
    const std::string name = dir.File(std::string(kSize, 'n'));
    const std::string m = Message({"HASHFILE", {C(name)}});
    EXPECT_EQ(m.size(), name.size() + std::string("FileDigest ERROR: in IMessageDigest::DigestFile(): Cannot open File !").size());
    EXPECT_EQ(Result("CRCFILE", {C(name)}), "N0.000000");
    EXPECT_EQ(Message({"ENCRYPTFILE", {C(name), C(dir.File("o")), C("k")}}),
              "FileCrypt ERROR: Cannot open File " + name + "!");
    // An alias no table has: the empty record.
    EXPECT_EQ(Result("GETRECSTR", {C(key)}), "");
    EXPECT_EQ(Result("CRCRECORD", {C(key), I(2)}), "I0");
    EXPECT_EQ(host().OccupiedHandles(), 0u);
}

}  // namespace
}  // namespace mg::testing
