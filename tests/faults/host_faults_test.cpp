// The host failing the library: a full handle table from any callback on, and
// error 83 or abort 84 inside any callback, also in a call nested in an
// evaluation. The call ends cleanly, leaks no handle, and works again after.
#include <functional>

#include "fault_fixture.h"

namespace mg::testing {
namespace {

class HostFaults : public FaultTest {
protected:
    // Calls whose result is drawn afresh each time.
    static bool Random(const Call& call) {
        return call.name == "GENERATEKEY" || call.name == "SEAL" || call.name == "HASHPASSWORD";
    }

    ~HostFaults() override { Release(); }

    // Allocates one-byte handles until the table is full, then gives back `room` of them.
    void Fill(std::size_t room) {
        for (abi::MemHandle h; (h = static_cast<abi::MemHandle>(host.Request(abi::kAllocate, 1, 1).argument0)) != 0;) {
            m_fillers.push_back(h);
        }
        for (std::size_t i = 0; i < room && !m_fillers.empty(); ++i) {
            host.Request(abi::kFree, m_fillers.back());
            m_fillers.pop_back();
        }
    }
    void Release() {
        for (abi::MemHandle h : m_fillers) host.Request(abi::kFree, h);
        m_fillers.clear();
    }

    // The call with `disturb` seeing its n-th callback (from 0) first.
    CallResult Disturbed(const Call& call, const std::function<void(int, abi::HostRequest&)>& disturb) {
        int n = 0;
        host.SetObserver([&](abi::HostRequest& request) { disturb(n++, request); });
        const CallResult r = host.Call(call.name, call.args);
        host.SetObserver(nullptr);
        Release();
        return r;
    }
    int Callbacks(const Call& call) {
        int count = 0;
        Disturbed(call, [&](int, abi::HostRequest&) { ++count; });
        return count;
    }

    // The right value, or a clean failure with error 182.
    void ExpectRightOrRefused(const Call& call, const CallResult& expected, const CallResult& got,
                              const std::string& where) {
        const std::string label = call.name + " " + where;
        if (!got.ok()) {
            EXPECT_EQ(got.error, abi::kErrorCannotGrow) << label << ": " << got.message;
            EXPECT_EQ(got.value.kind, Value::Kind::None) << label;
        } else if (call.name == "GETRECSTR" || call.name == "HASHRECORD" || call.name == "CRCRECORD") {
            // The host could not answer its evaluations either: any record will do.
            EXPECT_NE(got.value.kind, Value::Kind::None) << label << " succeeded without a result";
        } else {
            ASSERT_EQ(got.value.kind, expected.value.kind) << label << " succeeded without its result";
            EXPECT_EQ(got.value.bytes.size(), expected.value.bytes.size()) << label;
            if (!Random(call)) {
                EXPECT_EQ(got.value.bytes, expected.value.bytes) << label;
            }
            EXPECT_EQ(got.value.integer, expected.value.integer) << label;
            EXPECT_EQ(got.value.number, expected.value.number) << label;
        }
    }

    void ExpectWorksAgain(const Call& call, const CallResult& expected) {
        const CallResult again = host.Call(call.name, call.args);
        ASSERT_TRUE(again.ok()) << call.name << " fails after the fault: " << again.message;
        if (!Random(call)) {
            EXPECT_EQ(again.value.bytes, expected.value.bytes) << call.name;
            EXPECT_EQ(again.value.number, expected.value.number) << call.name;
        }
        EXPECT_EQ(host.OccupiedHandles(), 0u) << call.name << " left handles behind";
    }

private:
    std::vector<abi::MemHandle> m_fillers;
};

TEST_F(HostFaults, FullHandleTableFromAnyCallback) {
    for (const Call& call : EveryFunction()) {
        const CallResult expected = host.Call(call.name, call.args);
        ASSERT_TRUE(expected.ok()) << call.name << ": " << expected.message;
        const int callbacks = Callbacks(call);
        std::size_t strings = 0;
        for (const Value& v : call.args) strings += v.kind == Value::Kind::Bytes;
        for (std::size_t room = 0; room <= 2; ++room) {
            // From the start of the routine: room for the host's argument handles only.
            Fill(room + strings);
            ExpectRightOrRefused(call, expected, Disturbed(call, [](int, abi::HostRequest&) {}),
                                 "with " + std::to_string(room) + " free handles");
            // Full from inside the k-th callback on.
            for (int k = 0; k < callbacks; ++k) {
                const CallResult got = Disturbed(call, [&](int n, abi::HostRequest&) {
                    if (n == k) Fill(room);
                });
                ExpectRightOrRefused(call, expected, got,
                                     "full from callback " + std::to_string(k) + ", " + std::to_string(room) + " free");
                EXPECT_EQ(host.OccupiedHandles(), 0u) << call.name;
            }
            ExpectWorksAgain(call, expected);
        }
    }
}

TEST_F(HostFaults, HostErrorOrAbortInEveryCallback) {
    for (const Call& call : EveryFunction()) {
        const CallResult expected = host.Call(call.name, call.args);
        const int callbacks = Callbacks(call);
        for (const std::int32_t code : {abi::kRaiseError, abi::kAbort}) {
            for (int k = 0; k < callbacks; ++k) {
                std::int32_t kind = 0;
                const CallResult got = Disturbed(call, [&](int n, abi::HostRequest& request) {
                    if (n == k) {
                        kind = request.libraryCode;
                        request.libraryCode = code;
                    }
                });
                const std::string label = call.name + ": code " + std::to_string(code) + " in callback " +
                                          std::to_string(k) + " (a request " + std::to_string(kind) + ")";
                EXPECT_EQ(got.value.kind, Value::Kind::None) << label;
                EXPECT_EQ(host.OccupiedHandles(), 0u) << label << " left handles behind";
            }
        }
        ExpectWorksAgain(call, expected);
    }
}

TEST_F(HostFaults, AbortInANestedCallEndsOnlyThatCall) {
    // While GETRECSTR waits for an evaluation, the host runs HASH and aborts its return.
    const std::string record = Bytes("GETRECSTR", {C("orders")});
    bool nestedDone = false;
    host.SetEvaluator([&](const std::string& expression, Value& result) {
        if (!nestedDone && expression.rfind("TRANSFORM(", 0) == 0) {
            nestedDone = true;
            host.SetObserver([](abi::HostRequest& r) {
                if (r.libraryCode == abi::kReturnValue) r.libraryCode = abi::kAbort;
            });
            const CallResult inner = host.Call("HASH", {C("inner")});
            host.SetObserver(nullptr);
            EXPECT_EQ(inner.value.kind, Value::Kind::None);
        }
        return evaluator.Evaluate(expression, result);
    });
    EXPECT_EQ(Bytes("GETRECSTR", {C("orders")}), record);
    EXPECT_TRUE(nestedDone);
}

}  // namespace
}  // namespace mg::testing
