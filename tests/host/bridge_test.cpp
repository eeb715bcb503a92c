// The handle and slot tables the library manages in place, and the bridge driven
// request by request with a stand-in routine; host faults are in tests/faults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/dispatcher.h"
#include "host/handle_table_ref.h"
#include "host/host_ops.h"
#include "host/library_hooks.h"
#include "host/slot_table_ref.h"
#include "host/thread_context.h"

namespace mg::host {
namespace {

struct HandleTableFixture : ::testing::Test {
    std::vector<unsigned char> storage = std::vector<unsigned char>(abi::HandleTableSize(8));
    abi::HandleTable* table = reinterpret_cast<abi::HandleTable*>(storage.data());
    HandleTableRef handles{table};
    void SetUp() override {
        table->hint = 1;
        table->capacity = 8;
    }
    void TearDown() override {
        for (abi::MemHandle h = 1; h < 8; ++h) handles.Free(h);
    }
};

TEST_F(HandleTableFixture, HintFollowsFreesBelowItAndFullTableFails) {
    std::vector<abi::MemHandle> got;
    for (int i = 0; i < 7; ++i) got.push_back(handles.Allocate(1, 1));
    EXPECT_EQ(got, (std::vector<abi::MemHandle>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(handles.Allocate(1, 1), 0u) << "capacity 8 leaves entries 1..7";
    EXPECT_EQ(table->hint, 8);
    handles.Free(5);
    EXPECT_EQ(table->hint, 5);
    handles.Free(3);
    EXPECT_EQ(table->hint, 3);
    handles.Free(6);
    EXPECT_EQ(table->hint, 3) << "freeing above the hint leaves it";
    EXPECT_EQ(handles.Allocate(1, 1), 3u) << "the lowest free entry is reused";
    EXPECT_EQ(handles.Allocate(1, 1), 5u);
    EXPECT_EQ(handles.Occupied(), 6u);
}

TEST_F(HandleTableFixture, InvalidHandlesAreNoOps) {
    const abi::MemHandle h = handles.Allocate(4, 1);
    for (abi::MemHandle bad : {0u, 8u, 9u, 65535u, 2u /* free entry */}) {
        EXPECT_EQ(handles.Address(bad), nullptr) << bad;
        EXPECT_FALSE(handles.Resize(bad, 10)) << bad;
        handles.Free(bad);
        handles.Lock(bad);
        handles.Unlock(bad);
    }
    EXPECT_NE(handles.Address(h), nullptr);
    EXPECT_EQ(handles.Occupied(), 1u);
}

TEST_F(HandleTableFixture, ResizeKeepsContentsAndZeroFillsGrowth) {
    const abi::MemHandle h = handles.Allocate(3, 16);
    std::memcpy(handles.Address(h), "abc", 3);
    ASSERT_TRUE(handles.Resize(h, 4096));
    unsigned char* data = handles.Address(h);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 3), "abc");
    EXPECT_EQ(data[-2], 16) << "the tag survives a move";
    for (int i = 3; i < 4096; ++i) ASSERT_EQ(data[i], 0) << i;
    ASSERT_TRUE(handles.Resize(h, 1));
    EXPECT_EQ(handles.Address(h)[0], 'a');
}

TEST(SlotTable, RegisterReleaseLookupFollowTheHintRule) {
    std::vector<unsigned char> storage(abi::SlotTableSize(4));
    auto* table = reinterpret_cast<abi::SlotTable*>(storage.data());
    table->hint = 1;
    table->capacity = 4;
    SlotTableRef slots(table);
    EXPECT_EQ(slots.Register(111), 1u);
    EXPECT_EQ(slots.Register(222), 2u);
    EXPECT_EQ(slots.Register(333), 3u);
    EXPECT_EQ(slots.Register(444), 0u) << "full";
    EXPECT_EQ(table->used, 3);
    EXPECT_EQ(slots.Lookup(2), 222u);
    EXPECT_EQ(slots.Lookup(0), 0u);
    EXPECT_EQ(slots.Lookup(4), 0u) << "index equal to the capacity";
    slots.Release(2);
    slots.Release(2);  // already free: nothing changes
    slots.Release(0);
    slots.Release(4);
    EXPECT_EQ(table->used, 2);
    EXPECT_EQ(table->hint, 2);
    EXPECT_EQ(slots.Lookup(2), 0u);
    EXPECT_EQ(slots.Register(555), 2u);
}

int g_liveStates = 0;
struct CountingState : IThreadState {
    CountingState() { ++g_liveStates; }
    ~CountingState() override { --g_liveStates; }
};

// The values the stand-in host was given on this thread.
thread_local std::vector<abi::HostValue>* t_returned = nullptr;

void MG_FASTCALL Callback(abi::HostRequest* request) {
    if (request->libraryCode == abi::kReturnValue) {
        abi::HostValue v;
        std::memcpy(&v, reinterpret_cast<void*>(request->argument0), sizeof v);
        t_returned->push_back(v);
    }
}

void MG_FASTCALL ReturnsFortyTwo(abi::ParamBlock*) { ReturnInteger(42, 10); }
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
    std::vector<abi::HostValue> returned;

    abi::HandleTable* Handles() { return reinterpret_cast<abi::HandleTable*>(handleStorage.data()); }

    void SetUp() override {
        Handles()->hint = 1;
        Handles()->capacity = 64;
        auto* slots = reinterpret_cast<abi::SlotTable*>(slotStorage.data());
        slots->hint = 1;
        slots->capacity = 8;
        t_returned = &returned;
        ASSERT_TRUE(ContextRegistry::Load());
        ASSERT_EQ(g_liveStates, 1) << "the loading thread gets its context and state";
    }
    void TearDown() override {
        ContextRegistry::Unload();
        EXPECT_EQ(g_liveStates, 0);
        t_returned = nullptr;
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
    EXPECT_TRUE(returned.empty()) << "no callback was registered by request 14";

    Register();  // its answer, table and version, is checked by every substitute-host test
    Run(&ReturnsFortyTwo);
    ASSERT_EQ(returned.size(), 1u);
    EXPECT_EQ(returned[0].integer, 42);
}

TEST_F(Bridge, HandleAndSlotRequestsAndUnknownCodes) {
    Register();
    const abi::Word h = Send(abi::kAllocate, 10, 0x12345).argument0;
    auto* data = reinterpret_cast<unsigned char*>(Send(abi::kAddress, h).argument0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[-2], 0x45) << "tag = low 16 bits of argument 1";
    EXPECT_EQ(data[-1], 0x23);
    Send(abi::kFree, h);
    EXPECT_EQ(Send(abi::kAddress, h).argument0, 0u) << "freed";

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

TEST_F(Bridge, EachThreadGetsItsOwnContextAndState) {
    Register();
    std::thread other([&] {
        std::vector<abi::HostValue> otherReturned;
        t_returned = &otherReturned;
        Run(&ReturnsFortyTwo);  // unregistered here: nothing can be returned
        EXPECT_TRUE(otherReturned.empty());
    });
    other.join();
    EXPECT_EQ(g_liveStates, 2);
    Run(&ReturnsFortyTwo);
    EXPECT_EQ(returned.size(), 1u) << "this thread's registration is its own";
}

}  // namespace
}  // namespace mg::host
