// The host failing the library: a handle table with no room left (from the
// start of a call, or from any of its callbacks on), and a host that raises
// an error (83) or aborts (84) from inside any callback, returns and
// evaluations alike, also inside a call nested in an evaluation. Whatever
// happens, the call ends cleanly, leaves no handle behind, and the same call
// works again right after.
#include <functional>
#include <memory>

#include "fault_fixture.h"

namespace mg::testing {
namespace {

// Runs calls on values laid out by hand, so that the table can be filled
// after the host has made the arguments and before the library runs.
class Disturbance {
public:
    explicit Disturbance(Host& host) : m_host(host) {}
    ~Disturbance() {
        Release();
        m_host.SetObserver(nullptr);
    }

    // Allocates one-byte handles until the table is full, then gives back
    // `room` of them.
    void Fill(std::size_t room) {
        while (true) {
            const auto h = static_cast<abi::MemHandle>(m_host.Request(abi::kAllocate, 1, 1).argument0);
            if (h == 0) break;
            m_fillers.push_back(h);
        }
        for (std::size_t i = 0; i < room && !m_fillers.empty(); ++i) {
            m_host.Request(abi::kFree, m_fillers.back());
            m_fillers.pop_back();
        }
    }
    void Release() {
        for (abi::MemHandle h : m_fillers) m_host.Request(abi::kFree, h);
        m_fillers.clear();
    }

    // The call with its argument values made by the host; `before` runs just
    // before the routine, `onCallback` sees the n-th callback (from 0).
    CallResult Run(const Call& call, const std::function<void()>& before,
                   const std::function<void(int, abi::HostRequest&)>& onCallback) {
        std::vector<abi::HostValue> values;
        std::vector<abi::MemHandle> owned;
        for (const Value& v : call.args) {
            abi::HostValue hv{};
            switch (v.kind) {
                case Value::Kind::Bytes:
                    hv.type = 'C';
                    hv.length = static_cast<std::int32_t>(v.bytes.size());
                    hv.handle = m_host.NewHandle(v.bytes);
                    owned.push_back(hv.handle);
                    break;
                case Value::Kind::Integer:
                    hv.type = 'I';
                    hv.integer = v.integer;
                    hv.width = 11;
                    break;
                default:
                    hv.type = 'L';
                    hv.length = v.truth;
                    break;
            }
            values.push_back(hv);
        }
        int n = 0;
        m_host.SetObserver([&](abi::HostRequest& request) { onCallback(n++, request); });
        before();
        const CallResult r = m_host.CallRoutine(m_host.Find(call.name)->routine, values);
        m_host.SetObserver(nullptr);
        Release();
        for (abi::MemHandle h : owned) m_host.FreeHandle(h);
        return r;
    }

    // How many callbacks the call makes when nothing disturbs it.
    int Callbacks(const Call& call) {
        int count = 0;
        Run(call, [] {}, [&](int, abi::HostRequest&) { ++count; });
        return count;
    }

private:
    Host& m_host;
    std::vector<abi::MemHandle> m_fillers;
};

bool IsRecordFunction(const std::string& name) {
    return name == "GETRECSTR" || name == "HASHRECORD" || name == "CRCRECORD";
}

class HostFaults : public FaultTest {
protected:
    // The outcome of a call that ran out of handles: the right value, or a
    // clean failure with the one host error the library raises.
    void ExpectRightOrRefused(const Call& call, const CallResult& expected, const CallResult& got,
                              const std::string& where) {
        const std::string label = Label(call) + " " + where;
        if (!got.ok()) {
            EXPECT_EQ(got.error, abi::kErrorCannotGrow) << label << ": " << got.message;
            EXPECT_EQ(got.value.kind, Value::Kind::None) << label;
            return;
        }
        if (IsRecordFunction(call.name)) {
            // A record function whose evaluations the host itself could not
            // answer (it needs handles for them too) reads the record as the
            // host described it: no table, or fields left out.
            EXPECT_NE(got.value.kind, Value::Kind::None) << label << " succeeded without a result";
            return;
        }
        ASSERT_EQ(got.value.kind, expected.value.kind) << label << " succeeded without its result";
        if (call.name == "GENERATEKEY") {
            EXPECT_EQ(got.value.bytes.size(), expected.value.bytes.size()) << label;
        } else {
            EXPECT_EQ(got.value.bytes, expected.value.bytes) << label;
            EXPECT_EQ(got.value.integer, expected.value.integer) << label;
            EXPECT_EQ(got.value.number, expected.value.number) << label;
        }
    }

    void ExpectWorksAgain(const Call& call, const CallResult& expected) {
        const CallResult again = host().Call(call.name, call.args);
        ASSERT_TRUE(again.ok()) << Label(call) << " fails after the fault: " << again.message;
        if (call.name != "GENERATEKEY") {
            EXPECT_EQ(again.value.bytes, expected.value.bytes) << Label(call);
            EXPECT_EQ(again.value.number, expected.value.number) << Label(call);
        }
        EXPECT_EQ(host().OccupiedHandles(), 0u) << Label(call) << " left handles behind";
    }
};

TEST_F(HostFaults, FullHandleTableFromTheStartOrAnyCallback) {
    for (const Call& call : EveryFunction()) {
        const CallResult expected = Undisturbed(call);
        Disturbance d(host());
        const int callbacks = d.Callbacks(call);
        for (std::size_t room = 0; room <= 2; ++room) {
            // From the start of the routine.
            CallResult got = d.Run(call, [&] { d.Fill(room); }, [](int, abi::HostRequest&) {});
            ExpectRightOrRefused(call, expected, got, "with " + std::to_string(room) + " free handles");
            EXPECT_EQ(host().OccupiedHandles(), 0u) << Label(call);
            // From inside the k-th callback on: the host fills its table while
            // the library waits for it.
            for (int k = 0; k < callbacks; ++k) {
                got = d.Run(call, [] {}, [&](int n, abi::HostRequest&) {
                    if (n == k) d.Fill(room);
                });
                ExpectRightOrRefused(call, expected, got,
                                     "full from callback " + std::to_string(k) + ", " + std::to_string(room) + " free");
                EXPECT_EQ(host().OccupiedHandles(), 0u) << Label(call);
            }
            ExpectWorksAgain(call, expected);
        }
    }
}

TEST_F(HostFaults, TableOfFewHandlesRefusesCleanly) {
    // A host whose whole table has a handful of entries: the argument handles
    // take most of them.
    const std::vector<Call> calls = EveryFunction();
    for (std::uint16_t capacity = 2; capacity <= 8; ++capacity) {
        // Registers its own tables for this thread while it lives.
        Host small(hostsim::Module::DefaultPath(), capacity);
        evaluator.AttachTo(small);
        for (const Call& call : calls) {
            const CallResult r = small.Call(call.name, call.args);
            if (r.error == Host::kErrorArguments) continue;  // no room even for the arguments
            if (!r.ok()) {
                ExpectCleanFailure(r, Label(call));
            } else if (call.returns) {
                EXPECT_NE(r.value.kind, Value::Kind::None) << Label(call) << " at capacity " << capacity;
            }
            EXPECT_EQ(small.OccupiedHandles(), 0u) << Label(call) << " at capacity " << capacity;
        }
    }
    host().Register();  // this thread's tables are the fixture host's again
}

TEST_F(HostFaults, HostErrorOrAbortInEveryCallback) {
    for (const Call& call : EveryFunction()) {
        const CallResult expected = Undisturbed(call);
        Disturbance d(host());
        const int callbacks = d.Callbacks(call);
        for (const std::int32_t code : {abi::kRaiseError, abi::kAbort}) {
            for (int k = 0; k < callbacks; ++k) {
                std::int32_t kind = 0;
                const CallResult got = d.Run(call, [] {}, [&](int n, abi::HostRequest& request) {
                    if (n == k) {
                        kind = request.libraryCode;
                        request.libraryCode = code;
                    }
                });
                const std::string label =
                    Label(call) + ": code " + std::to_string(code) + " in callback " + std::to_string(k) +
                    " (a request " + std::to_string(kind) + ")";
                // The host took nothing, so the routine must not go on as if it had.
                EXPECT_EQ(got.value.kind, Value::Kind::None) << label;
                EXPECT_EQ(host().OccupiedHandles(), 0u) << label << " left handles behind";
            }
        }
        ExpectWorksAgain(call, expected);
    }
}

TEST_F(HostFaults, AbortInANestedCallEndsOnlyThatCall) {
    // While GETRECSTR waits for an evaluation, the host runs HASH in the
    // library and aborts that inner call's return; GETRECSTR goes on.
    const std::string record = host().Call("GETRECSTR", {C("orders")}).value.bytes;
    bool nestedDone = false;
    host().SetEvaluator([&](const std::string& expression, Value& result) {
        if (!nestedDone && expression.rfind("TRANSFORM(", 0) == 0) {
            nestedDone = true;
            host().SetObserver([](abi::HostRequest& r) {
                if (r.libraryCode == abi::kReturnValue) r.libraryCode = abi::kAbort;
            });
            const CallResult inner = host().Call("HASH", {C("inner")});
            host().SetObserver(nullptr);
            EXPECT_EQ(inner.value.kind, Value::Kind::None);
        }
        return evaluator.Evaluate(expression, result);
    });
    const CallResult outer = host().Call("GETRECSTR", {C("orders")});
    EXPECT_TRUE(nestedDone);
    ASSERT_TRUE(outer.ok());
    EXPECT_EQ(outer.value.bytes, record);
    EXPECT_EQ(host().OccupiedHandles(), 0u);
}

TEST_F(HostFaults, EvaluationsThatFailOrAnswerOddlyNeverLeak) {
    // Every evaluation answered by an error, by "success" with no usable
    // value, or by a value of another type than asked for.
    const std::vector<std::function<std::int32_t(Value&)>> answers = {
        [](Value&) { return 12; },
        [](Value&) { return 0; },
        [](Value& v) { v = Value::Int(3); return 0; },
        [](Value& v) { v = Value::Bool(true); return 0; },
        [](Value& v) { v = Value::Num(2.5); return 0; },
        [](Value& v) { v = Value::Of(std::string("x\0y'\"]", 6)); return 0; },
    };
    for (const auto& answer : answers) {
        host().SetEvaluator([&](const std::string&, Value& v) { return answer(v); });
        for (const Call& call : {Call{"GETRECSTR", {C("orders"), L(true)}}, Call{"HASHRECORD", {C("orders"), I(2), L(true)}},
                                 Call{"CRCRECORD", {C(""), I(2), L(true)}}}) {
            const std::string& name = call.name;
            const CallResult r = host().Call(name, call.args);
            EXPECT_TRUE(r.ok()) << name << ": " << r.message;
            EXPECT_NE(r.value.kind, Value::Kind::None) << name;
            EXPECT_EQ(host().OccupiedHandles(), 0u) << name;
        }
    }
}

}  // namespace
}  // namespace mg::testing
