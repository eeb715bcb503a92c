// Shared ground of the fault tests: ORDERS open and selected, a file to read,
// and one ordinary call of every function to disturb.
#ifndef MG_TESTS_FAULTS_FAULT_FIXTURE_H
#define MG_TESTS_FAULTS_FAULT_FIXTURE_H

#include "tests/functions/host_fixture.h"

namespace mg::testing {

struct Call {
    std::string name;
    std::vector<Value> args;
};

class FaultTest : public TableHostTest {
protected:
    FaultTest() {
        areas.Open(Orders(), "orders");
        std::string text;
        for (int i = 0; i < 1000; ++i) text += static_cast<char>('A' + i % 26);
        WriteFile(plain, text);
    }

    // One ordinary call of each function, in table order.
    std::vector<Call> EveryFunction() {
        const std::string enc = dir.File("every.enc");
        const CallResult made = host.Call("ENCRYPTFILE", {C(plain), C(enc), C("key"), I(8), I(1), I(2)});
        EXPECT_TRUE(made.ok()) << made.message;
        const std::string sealKey(32, 'k');
        const CallResult sealed = host.Call("SEAL", {C("attack at dawn"), C(sealKey), C("ctx")});
        EXPECT_TRUE(sealed.ok()) << sealed.message;
        return {
            {"ENCRYPT", {C("attack at dawn"), C("key"), I(2), I(1), I(2)}},
            {"DECRYPT", {C(std::string(32, 'x')), C("key"), I(4), I(1)}},
            {"ENCRYPTFILE", {C(plain), C(dir.File("every2.enc")), C("key"), I(8), I(1), I(2)}},
            {"DECRYPTFILE", {C(enc), C(dir.File("every.dec")), C("key"), I(8), I(1), I(2)}},
            {"HMAC", {C("data"), C("key"), I(2)}},
            {"HASH", {C("abc"), I(1)}},
            {"HASHFILE", {C(plain), I(5)}},
            {"HASHRECORD", {C("orders"), I(2), L(true)}},
            {"CRC", {C("abc")}},
            {"CRCFILE", {C(plain), I(1)}},
            {"CRCRECORD", {C("orders"), I(2)}},
            {"GETRECSTR", {C("orders"), L(true)}},
            {"GETRECSTR", {C("nosuch")}},  // the empty string, made by the library
            {"GENERATEKEY", {I(24), L(true), L(true), L(true)}},
            {"ONLOAD", {}},
            {"SEAL", {C("attack at dawn"), C(sealKey), C("ctx")}},
            {"UNSEAL", {sealed.value, C(sealKey), C("ctx")}},
            {"HASHPASSWORD", {C("pw"), I(64), I(1)}},
            {"VERIFYPASSWORD",
             {C("password"), C("$argon2id$v=19$m=64,t=2,p=1$c29tZXNhbHQ$FqGkmHNGCd0BRW2kBt6fPZ2pPmyGwwChL8FGUhTOSSI")}},
            {"DERIVEKEY", {C("pw"), C("salt"), I(10), I(40), I(2)}},
        };
    }

    TempDir dir;
    std::string plain = dir.File("plain.txt");
};

}  // namespace mg::testing

#endif
