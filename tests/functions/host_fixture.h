// The library loaded by the substitute host, as the functions, faults and stress tests see it.
#ifndef MG_TESTS_FUNCTIONS_HOST_FIXTURE_H
#define MG_TESTS_FUNCTIONS_HOST_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostsim/expression_evaluator.h"
#include "hostsim/host.h"
#include "hostsim/table.h"
#include "hostsim/work_areas.h"
#include "marrowgate/host_abi.h"
#include "tests/hostsim/temp_dir.h"

namespace mg::testing {

using hostsim::CallResult;
using hostsim::Host;
using hostsim::Value;

inline std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += digits[c >> 4], out += digits[c & 15];
    return out;
}
inline std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// Bytes of every value in no order a cipher or digest treats specially.
inline std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 29 + i / 251 + 3);
    return s;
}

inline Value C(std::string s) { return Value::Of(std::move(s)); }
inline Value I(std::int32_t i) { return Value::Int(i); }
inline Value L(bool b) { return Value::Bool(b); }

inline std::string ReadFile(const std::string& path) {
    const std::vector<unsigned char> b = Slurp(path);
    return {b.begin(), b.end()};
}
inline void WriteFile(const std::string& path, const std::string& bytes) { Spill(path, std::string_view(bytes)); }

// ORDERS: ID I, CUSTOMER C(6), NOTES M, TOTAL N(8,2); one record.
inline hostsim::Table Orders(const std::string& customer = "ACME", const std::string& notes = "call first") {
    using hostsim::Cell;
    using hostsim::Field;
    hostsim::Table t({Field("ID", 'I'), Field("CUSTOMER", 'C', 6), Field("NOTES", 'M'), Field("TOTAL", 'N', 8, 2)});
    t.Append({Cell::Integer(7), Cell::Text(customer), Cell::Text(notes), Cell::Number(19.9)});
    return t;
}

// Every test also checks that the calls left no handle behind.
class HostTest : public ::testing::Test {
protected:
    Host host;
    std::size_t handlesAtStart = host.OccupiedHandles();

    void TearDown() override { EXPECT_EQ(host.OccupiedHandles(), handlesAtStart) << "handles leaked"; }

    // The library's error message of a call that must fail with error 1098.
    std::string Error(const std::string& name, const std::vector<Value>& args) {
        CallResult r = host.Call(name, args);
        EXPECT_EQ(r.error, abi::kErrorLibraryMessage) << name;
        EXPECT_EQ(r.value.kind, Value::Kind::None) << name << " returned a value despite the error";
        return r.message;
    }

    // The value a call returned; fails the test on an error.
    Value Returned(const std::string& name, const std::vector<Value>& args) {
        CallResult r = host.Call(name, args);
        EXPECT_TRUE(r.ok()) << name << ": error " << r.error << " " << r.message;
        return r.value;
    }
    std::string Bytes(const std::string& name, const std::vector<Value>& args) {
        const Value v = Returned(name, args);
        EXPECT_EQ(v.kind, Value::Kind::Bytes) << name;
        return v.bytes;
    }
};

// A host that answers expressions from the tables open in its work areas.
class TableHostTest : public HostTest {
protected:
    hostsim::WorkAreas areas;
    hostsim::ExpressionEvaluator evaluator{areas};

    TableHostTest() { evaluator.AttachTo(host); }
};

}  // namespace mg::testing

#endif
