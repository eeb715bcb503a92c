// What the host-level tests (functions, faults, stress) share: the library
// loaded by the substitute host, as a program of the host sees it.
#ifndef MG_TESTS_FUNCTIONS_HOST_FIXTURE_H
#define MG_TESTS_FUNCTIONS_HOST_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostsim/host.h"
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

inline Value C(std::string s) { return Value::Of(std::move(s)); }
inline Value I(std::int32_t i) { return Value::Int(i); }
inline Value L(bool b) { return Value::Bool(b); }

inline std::string ReadFile(const std::string& path) {
    const std::vector<unsigned char> b = Slurp(path);
    return std::string(b.begin(), b.end());
}
inline void WriteFile(const std::string& path, const std::string& bytes) {
    Spill(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
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

}  // namespace mg::testing

#endif
