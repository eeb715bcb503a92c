// CRC and CRCFILE as the host calls them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host_fixture.h"

namespace mg::testing {
namespace {

using Crc = HostTest;

Value CrcOf(hostsim::Host& host, const std::vector<Value>& args, const char* name = "CRC") {
    const CallResult r = host.Call(name, args);
    EXPECT_TRUE(r.ok()) << r.message;
    return r.value;
}

TEST_F(Crc, TypesAndTheirResultForms) {
    Value v = CrcOf(host, {C("abc")});
    EXPECT_EQ(v.kind, Value::Kind::Number);
    EXPECT_EQ(v.number, 3395655888.0) << "unsigned, so above 2^31 it stays positive";
    EXPECT_EQ(v.width, 10);
    EXPECT_EQ(v.decimals, 0);
    v = CrcOf(host, {C("abc"), I(1)});
    EXPECT_EQ(v.kind, Value::Kind::Integer);
    EXPECT_EQ(v.integer, 40406);
    EXPECT_EQ(v.width, 10);
    for (int type : {0, 3, -1}) EXPECT_EQ(CrcOf(host, {C("abc"), I(type)}).number, 3395655888.0) << type;
    EXPECT_EQ(CrcOf(host, {C("123456789"), I(2)}).number, static_cast<double>(0x2DFD2D88u));
    EXPECT_EQ(CrcOf(host, {C("123456789"), I(1)}).integer, 0x31C3);
    EXPECT_EQ(CrcOf(host, {C(""), I(1)}).integer, 0);
    EXPECT_EQ(CrcOf(host, {C(""), I(2)}).number, 0.0);
}

TEST_F(Crc, Crc16OfAValueStopsAtNulButCrcFileDoesNot) {
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(CrcOf(host, {C(withNul), I(1)}).integer, CrcOf(host, {C("a"), I(1)}).integer);
    EXPECT_NE(CrcOf(host, {C(withNul), I(2)}).number, CrcOf(host, {C("a"), I(2)}).number);

    const auto path = std::filesystem::temp_directory_path() / "mg_crcfile_test.bin";
    // Bytes a text-mode reader would change: CR LF, and 0x1A.
    const std::string contents = std::string("a\0b\r\nxyz\x1A", 9) + std::string(32001, 'q');
    std::ofstream(path, std::ios::binary).write(contents.data(), static_cast<std::streamsize>(contents.size()));
    EXPECT_EQ(CrcOf(host, {C(path.string()), I(2)}, "CRCFILE").number, CrcOf(host, {C(contents), I(2)}).number);
    const Value file16 = CrcOf(host, {C(path.string()), I(1)}, "CRCFILE");
    EXPECT_EQ(file16.kind, Value::Kind::Integer);
    EXPECT_NE(file16.integer, CrcOf(host, {C(contents), I(1)}).integer) << "the file's NUL counts";
    std::filesystem::remove(path);
}

TEST_F(Crc, MissingFilesGiveZero) {
    EXPECT_EQ(CrcOf(host, {C("/no/such/file")}, "CRCFILE").number, 0.0);
    EXPECT_EQ(CrcOf(host, {C("/no/such/file"), I(1)}, "CRCFILE").integer, 0);
    // A NUL inside a name must not open the file named by its first part.
    EXPECT_EQ(CrcOf(host, {C(std::string("/etc/hostname\0x", 15))}, "CRCFILE").number, 0.0);
}

}  // namespace
}  // namespace mg::testing
