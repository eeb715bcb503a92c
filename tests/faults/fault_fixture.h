// Shared ground of the fault tests: the library loaded by the substitute host
// with a table open for the record functions, files to read, and one
// ordinary call of every exposed function to disturb in different ways.
#ifndef MG_TESTS_FAULTS_FAULT_FIXTURE_H
#define MG_TESTS_FAULTS_FAULT_FIXTURE_H

#include "hostsim/expression_evaluator.h"
#include "hostsim/field.h"
#include "hostsim/table.h"
#include "hostsim/work_areas.h"
#include "tests/functions/host_fixture.h"

namespace mg::testing {

struct Call {
    std::string name;
    std::vector<Value> args;
};

// A host with a table ORDERS open and selected, and a folder of files.
class FaultTest : public HostTest {
protected:
    FaultTest() {
        hostsim::Table orders({hostsim::Field("ID", 'I'), hostsim::Field("CUSTOMER", 'C', 6),
                               hostsim::Field("NOTES", 'M'), hostsim::Field("TOTAL", 'N', 8, 2)});
        orders.Append({hostsim::Cell::Integer(7), hostsim::Cell::Text("ACME"), hostsim::Cell::Text("call first"),
                       hostsim::Cell::Number(19.9)});
        areas.Open(std::move(orders), "orders");
        areas.Select("orders");
        evaluator.AttachTo(host);
        std::string text;
        for (int i = 0; i < 1000; ++i) text += static_cast<char>('A' + i % 26);
        WriteFile(plain, text);
    }

    // One ordinary call of each function, in table order.
    std::vector<Call> EveryFunction() {
        const std::string enc = dir.File("every.enc");
        const CallResult made = host.Call("ENCRYPTFILE", {C(plain), C(enc), C("key"), I(8), I(1), I(2)});
        EXPECT_TRUE(made.ok()) << made.message;
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
        };
    }

    // A failed call: an error, and no value that could pass for a result.
    static void ExpectCleanFailure(const CallResult& r, const std::string& label) {
        EXPECT_NE(r.error, 0) << label << " failed silently";
        EXPECT_EQ(r.value.kind, Value::Kind::None) << label << " failed and still returned a value";
    }

    TempDir dir;
    std::string plain = dir.File("plain.txt");
    hostsim::WorkAreas areas;
    hostsim::ExpressionEvaluator evaluator{areas};
};

}  // namespace mg::testing

#endif
