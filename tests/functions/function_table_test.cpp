// The function table as the host reads it at load time.
#include "host_fixture.h"

namespace mg::testing {
namespace {

using FunctionTable = HostTest;

TEST_F(FunctionTable, RowsAreThoseTheHostExpects) {
    std::string rows;
    for (const auto& r : host.Rows()) rows += r.name + " " + std::to_string(r.parameterCount) + " " + r.typeString + "\n";
    EXPECT_EQ(rows,
              "ENCRYPT 8 C,C,.I,.I,.I,.I,.I,.C\n"
              "DECRYPT 8 C,C,.I,.I,.I,.I,.I,.C\n"
              "ENCRYPTFILE 9 C,C,C,.I,.I,.I,.I,.I,.C\n"
              "DECRYPTFILE 9 C,C,C,.I,.I,.I,.I,.I,.C\n"
              "HMAC 3 C,C,.I\n"
              "HASH 2 C,.I\n"
              "HASHFILE 2 C,.I\n"
              "HASHRECORD 3 C,.I,.L\n"
              "CRC 2 C,.I\n"
              "CRCFILE 2 C,.I\n"
              "CRCRECORD 3 C,.I,.L\n"
              "GETRECSTR 2 C,.L\n"
              "GENERATEKEY 4 I,.L,.L,.L\n"
              "ONLOAD -2 \n"
              "SEAL 3 C,C,.C\n"
              "UNSEAL 3 C,C,.C\n"
              "HASHPASSWORD 3 C,.I,.I\n"
              "VERIFYPASSWORD 2 C,C\n"
              "DERIVEKEY 5 C,C,I,.I,.I\n"
              "SEALFILE 4 C,C,C,.L\n"
              "UNSEALFILE 3 C,C,C\n"
              "GENERATEIDENTITY 0 \n"
              "RECIPIENT 1 C\n");
}

}  // namespace
}  // namespace mg::testing
