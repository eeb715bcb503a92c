// The bridge driven request by request, with stand-in routines that use the
// host operations the way the library's functions do.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/dispatcher.h"
#include "host/handle_lock.h"
#include "host/handle_table_ref.h"
#include "host/host_ops.h"
#include "host/library_hooks.h"
#include "host/owned_handle.h"
#include "host/thread_context.h"

namespace mg::host {
namespace {

int g_liveStates = 0;
struct CountingState : IThreadState {
    CountingState() { ++g_liveStates; }
    ~CountingState() override { --g_liveStates; }
};

// What the stand-in host saw.
struct Seen {
    std::vector<std::int32_t> errors;
    std::vector<std::string> messages;
    std::vector<abi::HostValue> returned;
    std::function<void(abi::HostRequest&)> onRequest;
};
thread_local Seen* t_seen = nullptr;

void MG_FASTCALL Callback(abi::HostRequest* request) {
    Seen& seen = *t_seen;
    if (seen.onRequest) seen.onRequest(*request);
    if (request->libraryCode == abi::kReturnValue) {
        abi::HostValue v;
        std::memcpy(&v, reinterpret_cast<void*>(request->argument0), sizeof v);
        seen.returned.push_back(v);
    } else if (request->libraryCode == abi::kRaiseError) {
        seen.errors.push_back(static_cast<std::int32_t>(request->argument0));
        seen.messages.push_back(request->argument1 ? reinterpret_cast<const char*>(request->argument1) : "");
    }
}

// Stand-in routines.
void MG_FASTCALL ReturnsFortyTwo(abi::ParamBlock*) { ReturnInteger(42, 10); }
void MG_FASTCALL HoldsThenThrows(abi::ParamBlock*) {
    OwnedHandle h(AllocHandle(100));
    HandleLock lock(h.get());
    throw std::runtime_error("FileCrypt ERROR: Key Data Length should be > 0!");
}
void MG_FASTCALL HoldsThenRaises(abi::ParamBlock*) {
    OwnedHandle h(AllocHandle(100));
    HandleLock lock(h.get());
    RaiseError(182);
}
void MG_FASTCALL HoldsThenReturns(abi::ParamBlock*) {
    OwnedHandle h(AllocHandle(100));
    HandleLock lock(h.get());
    ReturnString("kept only if the host takes it");
    ReturnInteger(7, 10);  // not reached when the host aborts
}
void MG_FASTCALL EvaluatesThenReturns(abi::ParamBlock*) {
    abi::HostValue result{};
    const std::int32_t status = Evaluate(result, "1+1");
    ReturnInteger(status == 0 ? result.integer : -status, 10);
}

const abi::FunctionInfo kRows[] = {
    {reinterpret_cast<abi::Word>("FORTYTWO"), reinterpret_cast<abi::Word>(&ReturnsFortyTwo), 0,
     reinterpret_cast<abi::Word>("")},
};

}  // namespace

std::unique_ptr<IThreadState> NewThreadState() { return std::make_unique<CountingState>(); }
const abi::FunctionTable* LibraryFunctionTable() {
    static const abi::FunctionTable table = {0, 1, reinterpret_cast<abi::Word>(kRows)};
    return &table;
}

namespace {

struct Bridge : ::testing::Test {
    std::vector<unsigned char> handleStorage = std::vector<unsigned char>(abi::HandleTableSize(64));
    std::vector<unsigned char> slotStorage = std::vector<unsigned char>(abi::SlotTableSize(8));
    Seen seen;

    abi::HandleTable* Handles() { return reinterpret_cast<abi::HandleTable*>(handleStorage.data()); }
    std::size_t Occupied() { return HandleTableRef(Handles()).Occupied(); }

    void SetUp() override {
        Handles()->hint = 1;
        Handles()->capacity = 64;
        auto* slots = reinterpret_cast<abi::SlotTable*>(slotStorage.data());
        slots->hint = 1;
        slots->capacity = 8;
        t_seen = &seen;
        ASSERT_TRUE(ContextRegistry::Load());
        ASSERT_EQ(g_liveStates, 1) << "the loading thread gets its context and state";
    }
    void TearDown() override {
        ContextRegistry::Unload();
        EXPECT_EQ(g_liveStates, 0);
        t_seen = nullptr;
    }

    abi::HostRequest Send(std::int32_t code, abi::Word a0 = 0, abi::Word a1 = 0, abi::Word routine = 0) {
        abi::HostRequest r{};
        r.argument0 = a0;
        r.argument1 = a1;
        r.hostCode = code;
        r.routine = routine;
        EXPECT_EQ(Dispatch(&r), 0);
        return r;
    }
    void Register() {
        Send(abi::kRegister, reinterpret_cast<abi::Word>(handleStorage.data()),
             reinterpret_cast<abi::Word>(slotStorage.data()), reinterpret_cast<abi::Word>(&Callback));
    }
    void Run(abi::Routine routine) {
        std::vector<unsigned char> buffer(offsetof(abi::HostRequest, inlineBlock) + 2 + 36);
        auto* r = reinterpret_cast<abi::HostRequest*>(buffer.data());
        r->hostCode = abi::kRunRoutine;
        r->routine = reinterpret_cast<abi::Word>(routine);
        EXPECT_EQ(Dispatch(r), 0);
    }
};

TEST_F(Bridge, QueryAnswersTheTableWhileRegisterAlsoRecords) {
    abi::HostRequest q = Send(abi::kQuery);
    EXPECT_EQ(q.argument1, 5000u);
    EXPECT_EQ(q.argument0, reinterpret_cast<abi::Word>(LibraryFunctionTable()));
    Run(&ReturnsFortyTwo);
    EXPECT_TRUE(seen.returned.empty()) << "no callback was registered by request 14";

    abi::HostRequest r = Send(abi::kRegister, reinterpret_cast<abi::Word>(handleStorage.data()),
                              reinterpret_cast<abi::Word>(slotStorage.data()), reinterpret_cast<abi::Word>(&Callback));
    EXPECT_EQ(r.argument1, 5000u);
    EXPECT_EQ(r.argument0, q.argument0);
    Run(&ReturnsFortyTwo);
    ASSERT_EQ(seen.returned.size(), 1u);
    EXPECT_EQ(seen.returned[0].type, 'I');
    EXPECT_EQ(seen.returned[0].integer, 42);
    EXPECT_EQ(seen.returned[0].width, 10);
}

TEST_F(Bridge, HandleAndSlotRequestsAndUnknownCodes) {
    Register();
    const abi::Word h = Send(abi::kAllocate, 10, 0x12345).argument0;
    ASSERT_EQ(h, 1u);
    auto* data = reinterpret_cast<unsigned char*>(Send(abi::kAddress, h).argument0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[-2], 0x45) << "tag = low 16 bits of argument 1";
    EXPECT_EQ(data[-1], 0x23);
    EXPECT_EQ(Send(abi::kAddress, 0).argument0, 0u);
    Send(abi::kFree, 0);
    Send(abi::kFree, h);
    EXPECT_EQ(Send(abi::kAddress, h).argument0, 0u);

    EXPECT_EQ(Send(abi::kSlotRegister, 77).argument0, 1u);
    EXPECT_EQ(Send(abi::kSlotLookup, 1).argument0, 77u);
    Send(abi::kSlotRelease, 1);
    EXPECT_EQ(Send(abi::kSlotLookup, 1).argument0, 0u);

    const std::vector<unsigned char> before = handleStorage;
    for (std::int32_t code : {3, 5, 7, 12, 15, 19, 83, -1, 100000}) {
        abi::HostRequest r = Send(code, 5, 6);
        EXPECT_EQ(r.argument0, 5u);
        EXPECT_EQ(r.argument1, 6u);
    }
    EXPECT_EQ(handleStorage, before);
}

abi::Word g_got0 = 0, g_got1 = 0;
void MG_FASTCALL TakesTwo(abi::Word a, abi::Word b) { g_got0 = a, g_got1 = b; }
std::int32_t MG_FASTCALL Doubles(abi::Word a, void*) { return static_cast<std::int32_t>(a) * 2; }

TEST_F(Bridge, RoutineRequestsTenAndElevenPassArguments) {
    Register();
    Send(abi::kCallRoutine2, 3, 4, reinterpret_cast<abi::Word>(&TakesTwo));
    EXPECT_EQ(g_got0, 3u);
    EXPECT_EQ(g_got1, 4u);
    EXPECT_EQ(Send(abi::kCallRoutineBlock, 9, 0, reinterpret_cast<abi::Word>(&Doubles)).argument0, 18u);
}

TEST_F(Bridge, LibraryErrorsReachTheHostAs1098AndReleaseWhatTheRoutineHeld) {
    Register();
    const std::size_t before = Occupied();
    Run(&HoldsThenThrows);
    ASSERT_EQ(seen.errors, std::vector<std::int32_t>{1098});
    EXPECT_EQ(seen.messages[0], "FileCrypt ERROR: Key Data Length should be > 0!");
    EXPECT_EQ(Occupied(), before);

    Run(&HoldsThenRaises);
    ASSERT_EQ(seen.errors.size(), 2u);
    EXPECT_EQ(seen.errors[1], 182);
    EXPECT_EQ(seen.messages[1], "") << "error 182 carries no text";
    EXPECT_EQ(Occupied(), before);

    Run(&ReturnsFortyTwo);
    EXPECT_EQ(seen.returned.size(), 1u) << "the bridge stays usable";
}

TEST_F(Bridge, HostAbortOnAReturnAbandonsTheRoutineWithoutLeaks) {
    Register();
    const std::size_t before = Occupied();
    seen.onRequest = [](abi::HostRequest& r) {
        if (r.libraryCode == abi::kReturnValue) r.libraryCode = abi::kAbort;
    };
    Run(&HoldsThenReturns);
    EXPECT_EQ(seen.returned.size(), 0u);
    EXPECT_EQ(Occupied(), before) << "the string handle the host never took is freed too";
}

TEST_F(Bridge, HostErrorInANestedRequestEndsOnlyTheInnerCall) {
    Register();
    const std::size_t before = Occupied();
    seen.onRequest = [this](abi::HostRequest& r) {
        if (r.libraryCode != abi::kEvaluate) return;
        Run(&HoldsThenRaises);  // the host re-enters the library while evaluating
        reinterpret_cast<abi::HostValue*>(r.argument0)->type = 'I';
        reinterpret_cast<abi::HostValue*>(r.argument0)->integer = 2;
        r.argument0 = 0;
    };
    Run(&EvaluatesThenReturns);
    EXPECT_EQ(seen.errors, std::vector<std::int32_t>{182});
    ASSERT_EQ(seen.returned.size(), 1u) << "the outer routine went on";
    EXPECT_EQ(seen.returned[0].integer, 2);
    EXPECT_EQ(Occupied(), before);
}

TEST_F(Bridge, EachThreadGetsItsOwnContextAndState) {
    Register();
    std::thread other([&] {
        Seen otherSeen;
        t_seen = &otherSeen;
        Run(&ReturnsFortyTwo);  // unregistered here: nothing can be returned
        EXPECT_TRUE(otherSeen.returned.empty());
    });
    other.join();
    EXPECT_EQ(g_liveStates, 2);
    Run(&ReturnsFortyTwo);
    EXPECT_EQ(seen.returned.size(), 1u) << "this thread's registration is its own";
}

}  // namespace
}  // namespace mg::host
