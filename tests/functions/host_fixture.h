#ifndef MG_TESTS_FUNCTIONS_HOST_FIXTURE_H
#define MG_TESTS_FUNCTIONS_HOST_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "hostsim/host.h"

namespace mg::testing {

using hostsim::CallResult;
using hostsim::Value;

inline Value C(std::string s) { return Value::Of(std::move(s)); }
inline Value I(std::int32_t i) { return Value::Int(i); }
inline Value L(bool b) { return Value::Bool(b); }

// The library loaded by the substitute host, as a program of the host sees it.
// Every test also checks that the calls left no handle behind.
class HostTest : public ::testing::Test {
protected:
    hostsim::Host host;
    std::size_t handlesAtStart = host.OccupiedHandles();

    void TearDown() override { EXPECT_EQ(host.OccupiedHandles(), handlesAtStart) << "handles leaked"; }

    // The bytes a call returned; fails the test on an error.
    std::string Bytes(const std::string& name, const std::vector<Value>& args) {
        CallResult r = host.Call(name, args);
        EXPECT_TRUE(r.ok()) << name << ": error " << r.error << " " << r.message;
        EXPECT_EQ(r.value.kind, Value::Kind::Bytes) << name;
        return r.value.bytes;
    }
};

}  // namespace mg::testing

#endif
