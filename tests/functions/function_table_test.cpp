// The function table as the host reads it at load time.
#include "host_fixture.h"

namespace mg::testing {
namespace {

using FunctionTable = HostTest;

// Name, parameter count and type string of every row, in the host's order.
struct Row {
    const char* name;
    int count;
    const char* types;
};
const Row kRows[] = {
    {"ENCRYPT", 8, "C,C,.I,.I,.I,.I,.I,.C"},
    {"DECRYPT", 8, "C,C,.I,.I,.I,.I,.I,.C"},
    {"ENCRYPTFILE", 9, "C,C,C,.I,.I,.I,.I,.I,.C"},
    {"DECRYPTFILE", 9, "C,C,C,.I,.I,.I,.I,.I,.C"},
    {"HMAC", 3, "C,C,.I"},
    {"HASH", 2, "C,.I"},
    {"HASHFILE", 2, "C,.I"},
    {"HASHRECORD", 3, "C,.I,.L"},
    {"CRC", 2, "C,.I"},
    {"CRCFILE", 2, "C,.I"},
    {"CRCRECORD", 3, "C,.I,.L"},
    {"GETRECSTR", 2, "C,.L"},
    {"GENERATEKEY", 4, "I,.L,.L,.L"},
    {"ONLOAD", -2, ""},
};

TEST_F(FunctionTable, RowsAreThoseTheHostExpects) {
    const auto& rows = host.Rows();
    ASSERT_EQ(rows.size(), std::size(kRows));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].name, kRows[i].name);
        EXPECT_EQ(rows[i].parameterCount, kRows[i].count) << kRows[i].name;
        EXPECT_EQ(rows[i].typeString, kRows[i].types) << kRows[i].name;
    }
}

}  // namespace
}  // namespace mg::testing
