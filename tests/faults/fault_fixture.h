// Shared ground of the fault tests: the library loaded by the substitute host
// with a table open for the record functions, files to read, and one
// ordinary call of every exposed function to disturb in different ways.
#ifndef MG_TESTS_FAULTS_FAULT_FIXTURE_H
#define MG_TESTS_FAULTS_FAULT_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "hostsim/expression_evaluator.h"
#include "hostsim/field.h"
#include "hostsim/host.h"
#include "hostsim/table.h"
#include "hostsim/work_areas.h"
#include "marrowgate/host_abi.h"
#include "tests/hostsim/temp_dir.h"

namespace mg::testing {

using hostsim::CallResult;
using hostsim::Host;
using hostsim::Value;

inline Value C(std::string s) { return Value::Of(std::move(s)); }
inline Value I(std::int32_t i) { return Value::Int(i); }
inline Value L(bool b) { return Value::Bool(b); }

inline std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

inline std::string ReadFile(const std::string& path) {
    const std::vector<unsigned char> b = Slurp(path);
    return std::string(b.begin(), b.end());
}
inline void WriteFile(const std::string& path, const std::string& bytes) {
    Spill(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

// One call of an exposed function. `returns` is false for the functions that
// give the host no value when they succeed.
struct Call {
    std::string name;
    std::vector<Value> args;
    bool returns = true;
};

inline std::string Label(const Call& call) {
    std::string label = call.name + "(";
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        const Value& v = call.args[i];
        if (i > 0) label += ", ";
        if (v.kind == Value::Kind::Bytes) {
            label += v.bytes.size() <= 24 ? "'" + v.bytes + "'" : std::to_string(v.bytes.size()) + " bytes";
        } else if (v.kind == Value::Kind::Integer) {
            label += std::to_string(v.integer);
        } else {
            label += v.logical ? ".T." : ".F.";
        }
    }
    return label + ")";
}

// A host with a table ORDERS open and selected, and a folder of files.
class FaultTest : public ::testing::Test {
protected:
    explicit FaultTest(std::uint16_t handleCapacity = 1024)
        : m_pHost(std::make_unique<Host>(hostsim::Module::DefaultPath(), handleCapacity)) {
        hostsim::Table orders({hostsim::Field("ID", 'I'), hostsim::Field("CUSTOMER", 'C', 6),
                               hostsim::Field("NOTES", 'M'), hostsim::Field("TOTAL", 'N', 8, 2)});
        orders.Append({hostsim::Cell::Integer(7), hostsim::Cell::Text("ACME"), hostsim::Cell::Text("call first"),
                       hostsim::Cell::Number(19.9)});
        areas.Open(std::move(orders), "orders");
        areas.Select("orders");
        evaluator.AttachTo(*m_pHost);
        plain = dir.File("plain.txt");
        std::string text;
        for (int i = 0; i < 1000; ++i) text += static_cast<char>('A' + i % 26);
        WriteFile(plain, text);
    }

    Host& host() { return *m_pHost; }

    // One ordinary call of each function, in table order.
    std::vector<Call> EveryFunction() {
        const std::string enc = dir.File("every.enc");
        const CallResult made = host().Call("ENCRYPTFILE", {C(plain), C(enc), C("key"), I(8), I(1), I(2)});
        EXPECT_TRUE(made.ok()) << made.message;
        return {
            {"ENCRYPT", {C("attack at dawn"), C("key"), I(2), I(1), I(2)}},
            {"DECRYPT", {C(std::string(32, 'x')), C("key"), I(4), I(1)}},
            {"ENCRYPTFILE", {C(plain), C(dir.File("every2.enc")), C("key"), I(8), I(1), I(2)}, false},
            {"DECRYPTFILE", {C(enc), C(dir.File("every.dec")), C("key"), I(8), I(1), I(2)}, false},
            {"HMAC", {C("data"), C("key"), I(2)}},
            {"HASH", {C("abc"), I(1)}},
            {"HASHFILE", {C(plain), I(5)}},
            {"HASHRECORD", {C("orders"), I(2), L(true)}},
            {"CRC", {C("abc")}},
            {"CRCFILE", {C(plain), I(1)}},
            {"CRCRECORD", {C("orders"), I(2)}},
            {"GETRECSTR", {C("orders"), L(true)}},
            {"GENERATEKEY", {I(24), L(true), L(true), L(true)}},
            {"ONLOAD", {}, false},
        };
    }

    // The call on an undisturbed host, as the reference for the disturbed ones.
    CallResult Undisturbed(const Call& call) {
        CallResult r = host().Call(call.name, call.args);
        EXPECT_TRUE(r.ok()) << Label(call) << ": error " << r.error << " " << r.message;
        return r;
    }

    // A failed call: an error, and no value that could pass for a result.
    static void ExpectCleanFailure(const CallResult& r, const std::string& label) {
        EXPECT_NE(r.error, 0) << label << " failed silently";
        EXPECT_EQ(r.value.kind, Value::Kind::None) << label << " failed and still returned a value";
    }

    // The library's error text of a failed call (error 1098).
    std::string Message(const Call& call) {
        const CallResult r = host().Call(call.name, call.args);
        EXPECT_EQ(r.error, abi::kErrorLibraryMessage) << Label(call);
        EXPECT_EQ(r.value.kind, Value::Kind::None) << Label(call);
        return r.message;
    }

    TempDir dir;
    std::string plain;
    hostsim::WorkAreas areas;
    hostsim::ExpressionEvaluator evaluator{areas};

private:
    std::unique_ptr<Host> m_pHost;
};

}  // namespace mg::testing

#endif
