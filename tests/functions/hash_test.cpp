// HASH, HMAC, HASHFILE, CRC and CRCFILE as the host calls them.
#include "host_fixture.h"

namespace mg::testing {
namespace {

using Hash = HostTest;

// Digests of "abc" (FIPS 180-2, RFC 1321, the RIPEMD authors' published set), by hash type.
const char* const kAbc[] = {
    nullptr,
    "a9993e364706816aba3e25717850c26c9cd0d89d",
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
    "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7",
    "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
    "454d4423643ce80e2a9ac94fa54ca49f",
    "900150983cd24fb0d6963f7d28e17f72",
    "c14a12199c66e4ba84636b0f69144c77",
    "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc",
};

TEST_F(Hash, EveryTypeGivesItsPublishedDigest) {
    for (int type = 1; type <= 7; ++type) EXPECT_EQ(Hex(Bytes("HASH", {C("abc"), I(type)})), kAbc[type]) << type;
    EXPECT_EQ(Hex(Bytes("HASH", {C("abc")})), kAbc[4]);
    EXPECT_NE(Bytes("HASH", {C(std::string("a\0b", 3)), I(1)}), Bytes("HASH", {C("a"), I(1)}));
}

// RFC 2202 test case 2 (MD5, SHA-1), RFC 4231 test case 2 (SHA-256/384/512) and
// RFC 2286 test case 2 (RIPEMD-160): key "Jefe", "what do ya want for nothing?".
const std::pair<int, const char*> kJefe[] = {
    {5, "750c783e6ab0b503eaa86e310a5db738"},
    {1, "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
    {2, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
    {3, "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649"},
    {7, "dda6c0213a485a9e24f4742064a7f033b43c4069"},
};

TEST_F(Hash, HmacMatchesThePublishedCases) {
    for (const auto& [type, mac] : kJefe) {
        EXPECT_EQ(Hex(Bytes("HMAC", {C("what do ya want for nothing?"), C("Jefe"), I(type)})), mac) << type;
    }
    // RFC 4231 test case 6: a 131-byte key, longer than the 128-byte block.
    EXPECT_EQ(Hex(Bytes("HMAC", {C("Test Using Larger Than Block-Size Key - Hash Key First"), C(std::string(131, '\xaa')),
                                I(4)})),
              "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e52"
              "95e64f73f63f0aec8b915a985d786598");
}

TEST_F(Hash, HmacReplacesOnlyKeysLongerThanTheBlockByTheirDigest) {
    for (std::size_t length : {64u, 65u}) {
        const std::string m = "message", key(length, 'q');
        EXPECT_EQ(Bytes("HMAC", {C(m), C(key), I(2)}) == Bytes("HMAC", {C(m), C(Bytes("HASH", {C(key), I(2)})), I(2)}),
                  length == 65) << length;
    }
}

TEST_F(Hash, HmacLeavesTheCallersKeyAlone) {
    const std::string key(100, 'K');
    const abi::MemHandle data = host.NewHandle("m"), k = host.NewHandle(key);
    std::vector<abi::HostValue> values(3);
    values[0].type = 'C', values[0].length = 1, values[0].handle = data;
    values[1].type = 'C', values[1].length = 100, values[1].handle = k;
    values[2].type = 'I', values[2].integer = 2;
    const CallResult r = host.CallRoutine(host.Find("HMAC")->routine, values);
    EXPECT_EQ(r.value.bytes.size(), 32u);
    EXPECT_EQ(host.ReadHandle(k, 100), key);
    host.FreeHandle(data);
    host.FreeHandle(k);
}

TEST_F(Hash, HashFileEqualsHashOfTheContents) {
    TempDir dir;
    const std::string file = dir.File("hashfile");
    // The file is read 256 KiB at a time: lengths around that edge too.
    for (std::size_t length : {0u, 1025u, 262143u, 262144u, 262145u, 524288u + 129u}) {
        WriteFile(file, Pattern(length));
        for (int type = 1; type <= 7; ++type) {
            EXPECT_EQ(Bytes("HASHFILE", {C(file), I(type)}), Bytes("HASH", {C(Pattern(length)), I(type)}))
                << type << " length " << length;
        }
    }
}

TEST_F(Hash, CrcTypesAndTheirResultForms) {
    Value v = Returned("CRC", {C("abc")});
    EXPECT_EQ(v.kind, Value::Kind::Number);
    EXPECT_EQ(v.number, 3395655888.0) << "unsigned, so above 2^31 it stays positive";
    EXPECT_EQ(v.width, 10);
    EXPECT_EQ(v.decimals, 0);
    v = Returned("CRC", {C("abc"), I(1)});
    EXPECT_EQ(v.kind, Value::Kind::Integer);
    EXPECT_EQ(v.integer, 40406);
    EXPECT_EQ(v.width, 10);
    EXPECT_NE(Returned("CRC", {C(std::string("a\0b", 3))}).number, Returned("CRC", {C("a")}).number)
        << "the whole value counts, not the text up to its NUL";
}

TEST_F(Hash, CrcFileCountsEveryByteOfTheFile) {
    TempDir dir;
    const std::string path = dir.File("crc.bin");
    // Bytes a text-mode reader would change (CR LF, 0x1A), and a NUL, where a value's CRC-16 stops.
    const std::string contents = std::string("a\0b\r\nxyz\x1A", 9) + std::string(32001, 'q');
    WriteFile(path, contents);
    EXPECT_EQ(Returned("CRCFILE", {C(path), I(2)}).number, Returned("CRC", {C(contents), I(2)}).number);
    const Value file16 = Returned("CRCFILE", {C(path), I(1)});
    EXPECT_EQ(file16.kind, Value::Kind::Integer);
    EXPECT_NE(file16.integer, Returned("CRC", {C(contents), I(1)}).integer) << "the file's NUL counts";
    EXPECT_EQ(Returned("CRCFILE", {C(path + std::string("\0x", 2))}).number, 0.0) << "a NUL in a name names no file";
}

}  // namespace
}  // namespace mg::testing
