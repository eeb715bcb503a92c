// The host's handle and slot tables as the library manages them in place.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/handle_table_ref.h"
#include "host/slot_table_ref.h"

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

}  // namespace
}  // namespace mg::host
