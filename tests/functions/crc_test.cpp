// CRC and CRCFILE as the host calls them.
#include "host_fixture.h"

namespace mg::testing {
namespace {

using Crc = HostTest;

TEST_F(Crc, CheckValuesAndTheirResultForms) {
    Value v = Returned("CRC", {C("abc")});
    EXPECT_EQ(v.kind, Value::Kind::Number);
    EXPECT_EQ(v.number, 3395655888.0) << "unsigned, so above 2^31 it stays positive";
    EXPECT_EQ(v.width, 10);
    EXPECT_EQ(v.decimals, 0);
    v = Returned("CRC", {C("abc"), I(1)});
    EXPECT_EQ(v.kind, Value::Kind::Integer);
    EXPECT_EQ(v.integer, 40406);
    EXPECT_EQ(v.width, 10);
    EXPECT_EQ(Returned("CRC", {C("123456789"), I(2)}).number, static_cast<double>(0x2DFD2D88u));
    EXPECT_EQ(Returned("CRC", {C("123456789"), I(1)}).integer, 0x31C3);
    EXPECT_EQ(Returned("CRC", {C(""), I(1)}).integer, 0);
    EXPECT_EQ(Returned("CRC", {C(""), I(2)}).number, 0.0);
}

TEST_F(Crc, Crc16OfAValueStopsAtNulButCrcFileDoesNot) {
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(Returned("CRC", {C(withNul), I(1)}).integer, Returned("CRC", {C("a"), I(1)}).integer);
    EXPECT_NE(Returned("CRC", {C(withNul), I(2)}).number, Returned("CRC", {C("a"), I(2)}).number);

    TempDir dir;
    const std::string path = dir.File("crc.bin");
    // Bytes a text-mode reader would change: CR LF, and 0x1A.
    const std::string contents = std::string("a\0b\r\nxyz\x1A", 9) + std::string(32001, 'q');
    WriteFile(path, contents);
    EXPECT_EQ(Returned("CRCFILE", {C(path), I(2)}).number, Returned("CRC", {C(contents), I(2)}).number);
    const Value file16 = Returned("CRCFILE", {C(path), I(1)});
    EXPECT_EQ(file16.kind, Value::Kind::Integer);
    EXPECT_NE(file16.integer, Returned("CRC", {C(contents), I(1)}).integer) << "the file's NUL counts";
}

TEST_F(Crc, MissingFilesGiveZero) {
    EXPECT_EQ(Returned("CRCFILE", {C("/no/such/file")}).number, 0.0);
    EXPECT_EQ(Returned("CRCFILE", {C("/no/such/file"), I(1)}).integer, 0);
    // A NUL inside a name must not open the file named by its first part.
    EXPECT_EQ(Returned("CRCFILE", {C(std::string("/etc/hostname\0x", 15))}).number, 0.0);
}

}  // namespace
}  // namespace mg::testing
