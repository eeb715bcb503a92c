// Records exchanged between the library and its host, byte for byte.
//
// Every record is packed and little-endian. On 32-bit x86 the address-sized
// fields are 4 bytes and every entry point and callback is fastcall; on 64-bit
// platforms the same fields in the same order widen to 8 bytes and the calling
// convention is the platform's C convention. Both layouts are described by one
// template over the word type, so a host built for either can include this
// header and rely on the static_asserts at its end.
#ifndef MARROWGATE_HOST_ABI_H
#define MARROWGATE_HOST_ABI_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__i386__) || defined(_M_IX86)
#if defined(_MSC_VER)
#define MG_FASTCALL __fastcall
#else
#define MG_FASTCALL __attribute__((fastcall))
#endif
#else
#define MG_FASTCALL
#endif

namespace mg::abi {

// A handle is an index into the host's HandleTable; 0 stands for no handle.
using MemHandle = std::uint32_t;

// Interface version answered by requests 0 and 14.
inline constexpr std::int32_t kInterfaceVersion = 5000;

// Host-to-library request codes (HostRequest::hostCode).
enum HostCode : std::int32_t {
    kRegister = 0,
    kRunRoutine = 1,
    kAllocate = 2,
    kFree = 4,
    kAddress = 6,
    kCallRoutine2 = 10,
    kCallRoutineBlock = 11,
    kQuery = 14,
    kSlotRegister = 16,
    kSlotRelease = 17,
    kSlotLookup = 18,
};

// Library-to-host request codes (HostRequest::libraryCode).
enum LibraryCode : std::int32_t {
    kReturnValue = 11,
    kEvaluate = 55,
    kRaiseError = 83,
    kAbort = 84,  // never sent by the library; the host may answer with it
};

// Host error numbers the library reports.
inline constexpr std::int32_t kErrorCannotGrow = 182;
inline constexpr std::int32_t kErrorLibraryMessage = 1098;

// Tag written in front of the data of every handle the library allocates.
inline constexpr std::uint16_t kLibraryHandleTag = 16;

#pragma pack(push, 1)

// One typed value: 36 bytes on every platform.
struct HostValue {
    char type;             // 'C', 'I', 'N', 'L', 'H'
    std::uint8_t unused1;
    std::int16_t width;    // display width of integers and numbers
    std::int32_t length;   // byte count; truth value of 'L'; decimals of 'N'
    std::int32_t integer;
    double real;
    std::uint8_t unused20[8];
    MemHandle handle;      // bytes of a character value
    std::uint8_t unused32[4];
};

struct ParamBlock {
    std::int16_t count;
    HostValue values[1];  // `count` values follow one another directly
};

template <class Word>
struct BasicFunctionInfo {
    Word name;        // zero-terminated upper-case name
    Word routine;     // void(ParamBlock*)
    std::int16_t parameterCount;
    Word typeString;  // zero-terminated, e.g. "C,.I"
};

template <class Word>
struct BasicFunctionTable {
    Word next;  // always 0
    std::int16_t rowCount;
    Word firstRow;
};

template <class Word>
struct BasicHostRequest {
    Word argument0;             // also where results come back
    Word argument1;
    std::uint8_t unused[8];
    std::int32_t libraryCode;   // code of a library-to-host request
    std::int32_t hostCode;      // code of a host-to-library request
    Word routine;
    std::uint8_t unused2[8];
    std::uint8_t inlineBlock[1];  // requests 1 and 11: data passed to the routine
};

template <class Word>
struct BasicHandleTable {
    std::uint16_t hint;      // no free entry lies below this index
    std::uint16_t capacity;
    Word entries[1];         // platform block of each handle, 0 when free
};

template <class Word>
struct BasicSlotTable {
    std::uint16_t hint;  // no free slot lies below this index
    std::uint16_t used;
    std::uint16_t capacity;
    Word slots[1];  // stored value, 0 when free
};

#pragma pack(pop)

using Word = std::uintptr_t;
using FunctionInfo = BasicFunctionInfo<Word>;
using FunctionTable = BasicFunctionTable<Word>;
using HostRequest = BasicHostRequest<Word>;
using HandleTable = BasicHandleTable<Word>;
using SlotTable = BasicSlotTable<Word>;

// Bytes of a HostRequest that a library-to-host request uses.
inline constexpr std::size_t kLibraryRequestSize = offsetof(HostRequest, unused2);
// Byte offset of the n-th (0-based) value of a ParamBlock.
inline constexpr std::size_t ParamOffset(std::size_t n) { return 2 + 36 * n; }
// Bytes needed for a HandleTable or SlotTable of `capacity` entries.
inline constexpr std::size_t HandleTableSize(std::size_t capacity) {
    return offsetof(HandleTable, entries) + sizeof(Word) * capacity;
}
inline constexpr std::size_t SlotTableSize(std::size_t capacity) {
    return offsetof(SlotTable, slots) + sizeof(Word) * capacity;
}

// Table entries and block values may sit at any byte offset, so they are read
// and written byte-wise rather than through word pointers.
inline Word LoadWord(const void* p) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
}
inline void StoreWord(void* p, Word w) { std::memcpy(p, &w, sizeof w); }

inline HostValue* ParamAt(ParamBlock* block, std::size_t n) {
    return reinterpret_cast<HostValue*>(reinterpret_cast<unsigned char*>(block) + ParamOffset(n));
}
inline unsigned char* HandleEntryAt(HandleTable* table, std::size_t index) {
    return reinterpret_cast<unsigned char*>(table) + offsetof(HandleTable, entries) + sizeof(Word) * index;
}
inline unsigned char* SlotAt(SlotTable* table, std::size_t index) {
    return reinterpret_cast<unsigned char*>(table) + offsetof(SlotTable, slots) + sizeof(Word) * index;
}

extern "C" {
using Routine = void(MG_FASTCALL*)(ParamBlock*);
using HostCallback = void(MG_FASTCALL*)(HostRequest*);
using Routine2 = void(MG_FASTCALL*)(Word, Word);                 // request 10
using RoutineBlock = std::int32_t(MG_FASTCALL*)(Word, void*);    // request 11
using DispatchFn = std::int32_t(MG_FASTCALL*)(HostRequest*);
}

// --- layout checks, both word sizes -------------------------------------

static_assert(sizeof(HostValue) == 36);
static_assert(offsetof(HostValue, type) == 0);
static_assert(offsetof(HostValue, width) == 2);
static_assert(offsetof(HostValue, length) == 4);
static_assert(offsetof(HostValue, integer) == 8);
static_assert(offsetof(HostValue, real) == 12);
static_assert(offsetof(HostValue, handle) == 28);
static_assert(offsetof(ParamBlock, values) == 2);

#define MG_CHECK_LAYOUT(W, fiName, fiRoutine, fiCount, fiTypes, fiSize, ftCount, ftFirst, ftSize, \
                        rqArg1, rqLib, rqHost, rqRoutine, rqInline, htEntries, stCap, stSlots)   \
    static_assert(offsetof(BasicFunctionInfo<W>, name) == (fiName));                            \
    static_assert(offsetof(BasicFunctionInfo<W>, routine) == (fiRoutine));                      \
    static_assert(offsetof(BasicFunctionInfo<W>, parameterCount) == (fiCount));                 \
    static_assert(offsetof(BasicFunctionInfo<W>, typeString) == (fiTypes));                     \
    static_assert(sizeof(BasicFunctionInfo<W>) == (fiSize));                                    \
    static_assert(offsetof(BasicFunctionTable<W>, next) == 0);                                  \
    static_assert(offsetof(BasicFunctionTable<W>, rowCount) == (ftCount));                      \
    static_assert(offsetof(BasicFunctionTable<W>, firstRow) == (ftFirst));                      \
    static_assert(sizeof(BasicFunctionTable<W>) == (ftSize));                                   \
    static_assert(offsetof(BasicHostRequest<W>, argument0) == 0);                               \
    static_assert(offsetof(BasicHostRequest<W>, argument1) == (rqArg1));                        \
    static_assert(offsetof(BasicHostRequest<W>, libraryCode) == (rqLib));                       \
    static_assert(offsetof(BasicHostRequest<W>, hostCode) == (rqHost));                         \
    static_assert(offsetof(BasicHostRequest<W>, routine) == (rqRoutine));                       \
    static_assert(offsetof(BasicHostRequest<W>, inlineBlock) == (rqInline));                    \
    static_assert(offsetof(BasicHandleTable<W>, hint) == 0);                                    \
    static_assert(offsetof(BasicHandleTable<W>, capacity) == 2);                                \
    static_assert(offsetof(BasicHandleTable<W>, entries) == (htEntries));                       \
    static_assert(sizeof(BasicHandleTable<W>::entries[0]) == sizeof(W));                        \
    static_assert(offsetof(BasicSlotTable<W>, used) == 2);                                      \
    static_assert(offsetof(BasicSlotTable<W>, capacity) == (stCap));                            \
    static_assert(offsetof(BasicSlotTable<W>, slots) == (stSlots))

// 32-bit host layout.
MG_CHECK_LAYOUT(std::uint32_t, 0, 4, 8, 10, 14, 4, 6, 10, 4, 16, 20, 24, 36, 4, 4, 6);
// 64-bit layout.
MG_CHECK_LAYOUT(std::uint64_t, 0, 8, 16, 18, 26, 8, 10, 18, 8, 24, 28, 32, 48, 4, 4, 6);

#undef MG_CHECK_LAYOUT

static_assert(kLibraryRequestSize == (sizeof(Word) == 8 ? 40 : 28));

}  // namespace mg::abi

#endif  // MARROWGATE_HOST_ABI_H
