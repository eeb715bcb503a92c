// The whole library as the host sees it: each input becomes a sequence of
// requests to DispatchAPI and calls of the exposed functions through the
// substitute host, as hostile as its contract permits: arbitrary values or
// errors for evaluations, re-entry from a callback, callbacks aborted with
// 83 or 84, a handle table that may be nearly full. Checked: no handle is left
// behind, a failed call returns no value, and the library still works at the end.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "fuzz/scratch_dir.h"
#include "hostsim/host.h"

namespace mg::fuzz {
namespace {

using hostsim::CallResult;
using hostsim::FunctionRow;
using hostsim::Host;
using hostsim::Value;

class Run {
public:
    explicit Run(FuzzInput& in) : m_in(in) {}

    void Execute() {
        // A roomy host or a cramped one; it registers again, as the library keeps tables per thread.
        static Host* roomy = new Host();
        static Host* cramped = new Host(hostsim::Module::DefaultPath(), 9);
        m_bCramped = m_in.Byte() >= 224;
        m_pHost = m_bCramped ? cramped : roomy;
        host().Register();
        PrepareFiles();
        host().SetEvaluator([this](const std::string& e, Value& v) { return Evaluate(e, v); });
        host().SetObserver([this](abi::HostRequest& request) {
            if (m_iCallbacks++ == m_iAbortAt) {
                request.libraryCode = m_iAbortCode;
                m_bInjected = true;
            }
        });
        for (int step = 0; step < 48 && !m_in.Empty(); ++step) {
            if (m_in.Byte() % 4 == 0) RawRequest();
            else CallFunction();
        }
        for (abi::MemHandle h : m_owned) host().Request(abi::kFree, h);
        m_owned.clear();
        CheckHandles("the end of the input");

        // SHA-1 of "abc" (FIPS 180-2, appendix A).
        static const unsigned char kAbc[] = {0xa9, 0x99, 0x3e, 0x36, 0x47, 0x06, 0x81, 0x6a, 0xba, 0x3e,
                                             0x25, 0x71, 0x78, 0x50, 0xc2, 0x6c, 0x9c, 0xd0, 0xd8, 0x9d};
        host().SetObserver(nullptr);
        host().SetEvaluator(nullptr);
        host().ClearExpressions();  // the substitute host keeps every expression it was sent
        const CallResult r = host().Call("HASH", {Value::Of("abc"), Value::Int(1)});
        if (!r.ok() || r.value.bytes != std::string(reinterpret_cast<const char*>(kAbc), sizeof kAbc)) {
            Fail("the library no longer works after this input");
        }
    }

private:
    Host& host() { return *m_pHost; }

    void PrepareFiles() {
        ClearScratch();
        static const std::size_t kSizes[] = {0, 1, 7, 8, 31, 32, 33, 383, 384, 385, 512, 768, 1536, 1920, 2048};
        std::string pattern(m_in.Pick(kSizes), '\0');
        for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>(i * 131 + 7);
        WriteScratch("a", pattern);
        WriteScratch("b", m_in.Bytes(3000));
        WriteScratch("empty", "");
        mkdir(ScratchFile("dir").c_str(), 0700);
        if (symlink(ScratchFile("a").c_str(), ScratchFile("link").c_str()) != 0) Fail("cannot make a link");
    }

    std::string FileName(bool output) {
        static const char* kNames[] = {"b",   "empty", "dir", "missing", "dir/out", "a " /* not trimmed */, "link",
                                       "./a", "out",   "out2", "", "", "", "", "nofolder/out", "a"};
        switch (const std::uint8_t pick = m_in.Byte() % 16) {
            case 10: return "/dev/null";
            case 11: return output ? "/dev/full" : "/dev/null";  // reads of /dev/full never end
            case 12: return ScratchFile(std::string(5000, 'n'));
            case 13: return ScratchFile("a") + std::string(1, '\0') + "x";
            default: return ScratchFile(kNames[pick]);
        }
    }

    Value Argument(const FunctionRow& row, std::size_t position, char type) {
        switch (type) {
            case 'C':
                // Each ...FILE function takes its file names first.
                if (row.name.ends_with("FILE") && position <= 1 && m_in.Byte() < 240) {
                    return Value::Of(FileName(position == 1));
                }
                return Value::Of(m_in.Bytes(m_in.Byte() < 16 ? 20000 : 300));
            case 'I': {
                std::int32_t n = m_in.Integer();
                // A key of two thousand million characters is a memory test, not a fuzz case.
                if (row.name == "GENERATEKEY" && n > 70000) n %= 70000;
                return Value::Int(n);
            }
            case 'L': {
                const std::uint8_t kind = m_in.Byte();
                if (kind < 128) return Value::Truth(kind & 1);
                return Value::Truth(kind < 192 ? m_in.Byte() : static_cast<std::int32_t>(m_in.U32()));
            }
            default: return Value{};
        }
    }

    std::int32_t Evaluate(const std::string& expression, Value& result) {
        if (expression.rfind("FLDCOUNT(", 0) == 0) {
            // At most 255 fields: a host that claimed more would only keep the record functions busy.
            static const std::int32_t kCounts[] = {0, -1, std::numeric_limits<std::int32_t>::min(), 255};
            const std::uint8_t kind = m_in.Byte();
            if (kind < 200) result = Value::Int(static_cast<std::int32_t>(kind % 12));
            else if (kind < 240) result = Value::Int(m_in.Pick(kCounts));
            else return kind;  // the host cannot count them
            return 0;
        }
        switch (m_in.Byte() % 10) {
            case 0: return 1 + m_in.Byte();  // the host reports an error
            case 1: result = Value::Int(m_in.Integer()); return 0;
            case 2: result = Value::Truth(m_in.Bool() ? 1 : m_in.Byte()); return 0;
            case 3: {
                static const double kNumbers[] = {0.0, 3.0, -1.0, 2.5, 1e300, std::numeric_limits<double>::quiet_NaN(),
                                                  std::numeric_limits<double>::infinity(), 2147483648.0};
                result = Value::Num(m_in.Pick(kNumbers));
                return 0;
            }
            case 4: result = Value::Of(""); return 0;
            case 5:
                if (m_iDepth < 1) {
                    // The host runs a function of the library while the library waits for it.
                    ++m_iDepth;
                    static const char* kNested[] = {"HASH", "CRC", "ENCRYPT", "GENERATEKEY"};
                    const std::string name = m_in.Pick(kNested);
                    std::vector<Value> args = {Value::Of(m_in.Bytes(64))};
                    if (name == "ENCRYPT") args.push_back(Value::Of(m_in.Bytes(40)));
                    if (name == "GENERATEKEY") args = {Value::Int(m_in.Byte())};
                    result = host().Call(name, args).value;  // a None makes the host report its own error
                    --m_iDepth;
                }
                return 0;
            case 6: return 0;  // "success" without a value the host can send
            default: result = Value::Of(m_in.Bytes(m_in.Byte() < 8 ? 5000 : 200)); return 0;
        }
    }

    void CheckHandles(const std::string& after) {
        if (host().OccupiedHandles() != m_owned.size()) Fail("handles left behind after " + after);
    }

    void CallFunction() {
        const std::vector<FunctionRow>& rows = host().Rows();
        const FunctionRow& row = rows[m_in.Below(static_cast<std::uint32_t>(rows.size()))];
        std::vector<char> types;
        std::size_t required = 0;
        for (std::size_t i = 0; i < row.typeString.size(); ++i) {
            const char c = row.typeString[i];
            if (c == 'C' || c == 'I' || c == 'L') {
                types.push_back(c);
                required += i == 0 || row.typeString[i - 1] != '.';
            }
        }
        const std::size_t count = required + m_in.Below(static_cast<std::uint32_t>(types.size() - required + 1));
        std::vector<Value> args;
        for (std::size_t i = 0; i < count; ++i) args.push_back(Argument(row, i, types[i]));

        // Abort one of the next callbacks, or none.
        m_iCallbacks = 0;
        m_iAbortAt = m_in.Byte() < 64 ? m_in.Byte() % 6 : -1;
        m_iAbortCode = m_in.Bool() ? abi::kAbort : abi::kRaiseError;
        m_bInjected = false;

        const CallResult result = host().Call(row.name, args);
        // The host itself refuses a call when its table has no room for the arguments.
        const bool roomy = !m_bCramped && m_owned.size() < 500;
        if (roomy && (result.error == Host::kErrorArguments || result.error == Host::kErrorNoFunction)) {
            Fail("the host refused a call it should accept: " + row.name);
        }
        if (!m_bInjected && !result.ok() && result.value.kind != Value::Kind::None) {
            Fail(row.name + " reported error " + std::to_string(result.error) + " and still returned a value");
        }
        if (result.error == abi::kErrorLibraryMessage && result.message.empty()) Fail(row.name + ": no error text");
        CheckHandles(row.name);
    }

    void RawRequest() {
        const std::uint32_t capacity = host().Handles()->capacity;
        switch (m_in.Byte() % 9) {
            case 0: {
                const abi::Word size = m_in.Byte() < 16 ? m_in.Below(70000) : m_in.Byte();
                const abi::Word handle = host().Request(abi::kAllocate, size, m_in.U16()).argument0;
                if (handle != 0) m_owned.push_back(static_cast<abi::MemHandle>(handle));
                break;
            }
            case 1:
                if (!m_owned.empty()) {
                    const std::size_t i = m_in.Below(static_cast<std::uint32_t>(m_owned.size()));
                    host().Request(abi::kFree, m_owned[i]);
                    m_owned.erase(m_owned.begin() + static_cast<std::ptrdiff_t>(i));
                }
                break;
            case 2: {
                // Freeing or reading what is no handle changes nothing.
                static const std::uint32_t kInvalid[] = {0, 0xFFFFFFFFu, 0x10000u};
                const std::uint32_t index = m_in.Bool() ? m_in.Pick(kInvalid) : capacity + m_in.Byte() % 3;
                host().Request(abi::kFree, index);
                if (host().Request(abi::kAddress, index).argument0 != 0) Fail("an invalid handle has an address");
                break;
            }
            case 3:
                if (!m_owned.empty()) {
                    const abi::MemHandle h = m_owned[m_in.Below(static_cast<std::uint32_t>(m_owned.size()))];
                    if (host().Request(abi::kAddress, h).argument0 == 0) Fail("a live handle has no address");
                }
                break;
            case 4: host().Request(abi::kQuery); break;
            case 5: host().Request(abi::kSlotRegister, m_in.U32()); break;
            case 6: host().Request(abi::kSlotRelease, m_in.Byte() < 200 ? m_in.Byte() % 70 : m_in.U32()); break;
            case 7: {
                const abi::Word index = m_in.Byte() < 200 ? m_in.Byte() % 70 : m_in.U32();
                const abi::Word value = host().Request(abi::kSlotLookup, index).argument0;
                if (index == 0 && value != 0) Fail("slot 0 holds a value");
                break;
            }
            default: {
                // Codes without a meaning, and the routine-calling codes without a routine.
                static const std::int32_t kCodes[] = {1, 3, 5, 7, 8, 9, 10, 11, 12, 13, 15, 19, 20, -1, 1000};
                host().Request(m_in.Pick(kCodes), m_in.U32(), m_in.U32(), 0);
                break;
            }
        }
        CheckHandles("a raw request");
    }

    FuzzInput& m_in;
    Host* m_pHost = nullptr;
    bool m_bCramped = false;
    std::vector<abi::MemHandle> m_owned;  // handles this run allocated itself
    int m_iCallbacks = 0;
    int m_iAbortAt = -1;
    std::int32_t m_iAbortCode = abi::kAbort;
    bool m_bInjected = false;
    int m_iDepth = 0;
};

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mg::fuzz::FuzzInput in(data, size);
    mg::fuzz::Run(in).Execute();
    return 0;
}
