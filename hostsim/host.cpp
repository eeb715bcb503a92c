#include "hostsim/host.h"

#include <cstring>
#include <stdexcept>

namespace mg::hostsim {
namespace {

// The host whose call is running on this thread; the callback serves it.
thread_local Host* t_current = nullptr;

class CurrentHost {
public:
    explicit CurrentHost(Host* host) : m_pSaved(t_current) { t_current = host; }
    ~CurrentHost() { t_current = m_pSaved; }
    CurrentHost(const CurrentHost&) = delete;
    CurrentHost& operator=(const CurrentHost&) = delete;

private:
    Host* m_pSaved;
};

template <class T>
abi::Word AsWord(T* p) {
    return reinterpret_cast<abi::Word>(p);
}

std::vector<std::string> SplitTypes(const std::string& types) {
    std::vector<std::string> items;
    if (types.empty()) return items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = types.find(',', start);
        items.push_back(types.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return items;
}

bool Matches(char type, const Value& v) {
    switch (type) {
        case 'C': return v.kind == Value::Kind::Bytes;
        case 'I': return v.kind == Value::Kind::Integer;
        case 'L': return v.kind == Value::Kind::Logical;
        default: return false;
    }
}

CallResult ArgumentError() {
    CallResult r;
    r.error = Host::kErrorArguments;
    r.message = "Function argument value, type, or count is invalid";
    return r;
}

}  // namespace

Host::Host(const std::string& modulePath, std::uint16_t handleCapacity, std::uint16_t slotCapacity)
    : m_module(std::make_unique<Module>(modulePath)),
      m_handleStorage(abi::HandleTableSize(handleCapacity)),
      m_slotStorage(abi::SlotTableSize(slotCapacity)) {
    // Entry 0 and slot 0 stay out of use: the hints start at 1.
    Handles()->hint = 1;
    Handles()->capacity = handleCapacity;
    Slots()->hint = 1;
    Slots()->used = 0;
    Slots()->capacity = slotCapacity;
    Register();
    for (const FunctionRow& row : m_rows) {
        if (row.parameterCount == -2) CallRoutine(row.routine, {});
    }
}

Host::~Host() = default;

void Host::Register() {
    const abi::HostRequest answer =
        Request(abi::kRegister, AsWord(Handles()), AsWord(Slots()), reinterpret_cast<abi::Word>(&Host::Callback));
    if (answer.argument1 != static_cast<abi::Word>(abi::kInterfaceVersion)) {
        throw std::runtime_error("unexpected interface version");
    }
    ReadTable(reinterpret_cast<const abi::FunctionTable*>(answer.argument0));
}

void Host::ReadTable(const abi::FunctionTable* table) {
    m_rows.clear();
    const auto* row = reinterpret_cast<const abi::FunctionInfo*>(table->firstRow);
    for (int i = 0; i < table->rowCount; ++i, ++row) {
        FunctionRow r;
        r.name = reinterpret_cast<const char*>(row->name);
        r.parameterCount = row->parameterCount;
        r.typeString = reinterpret_cast<const char*>(row->typeString);
        r.routine = row->routine;
        m_rows.push_back(std::move(r));
    }
}

const FunctionRow* Host::Find(const std::string& name) const {
    for (const FunctionRow& row : m_rows) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

abi::HostRequest Host::Request(std::int32_t code, abi::Word argument0, abi::Word argument1, abi::Word routine) {
    abi::HostRequest request{};
    request.argument0 = argument0;
    request.argument1 = argument1;
    request.hostCode = code;
    request.routine = routine;
    CurrentHost current(this);
    m_module->Dispatch()(&request);
    return request;
}

abi::MemHandle Host::NewHandle(const std::string& bytes, std::uint16_t tag) {
    const auto handle = static_cast<abi::MemHandle>(Request(abi::kAllocate, bytes.size(), tag).argument0);
    if (handle != 0 && !bytes.empty()) {
        auto* data = reinterpret_cast<unsigned char*>(Request(abi::kAddress, handle).argument0);
        std::memcpy(data, bytes.data(), bytes.size());
    }
    return handle;
}

std::string Host::ReadHandle(abi::MemHandle handle, std::size_t length) {
    const auto* data = reinterpret_cast<const char*>(Request(abi::kAddress, handle).argument0);
    return data == nullptr ? std::string() : std::string(data, length);
}

void Host::FreeHandle(abi::MemHandle handle) { Request(abi::kFree, handle); }

std::size_t Host::OccupiedHandles() const {
    const auto* table = reinterpret_cast<const unsigned char*>(m_handleStorage.data());
    const std::size_t capacity = reinterpret_cast<const abi::HandleTable*>(table)->capacity;
    std::size_t n = 0;
    for (std::size_t i = 1; i < capacity; ++i) {
        n += abi::LoadWord(table + offsetof(abi::HandleTable, entries) + sizeof(abi::Word) * i) != 0;
    }
    return n;
}

CallResult Host::Call(const std::string& name, const std::vector<Value>& args) {
    const FunctionRow* row = Find(name);
    if (row == nullptr) return CallResult{{}, kErrorNoFunction, "Function " + name + " not found"};
    const std::vector<std::string> types = SplitTypes(row->typeString);
    std::size_t required = 0;
    for (const std::string& t : types) required += !t.empty() && t[0] != '.';
    if (args.size() < required || args.size() > types.size()) return ArgumentError();

    std::vector<abi::HostValue> values;
    std::vector<abi::MemHandle> owned;
    bool valid = true;
    for (std::size_t i = 0; i < args.size() && valid; ++i) {
        const std::string& t = types[i];
        valid = Matches(t.empty() ? '?' : t.back(), args[i]);
        abi::HostValue v{};
        valid = valid && ToHostValue(args[i], v);
        if (v.type == 'C') owned.push_back(v.handle);
        values.push_back(v);
    }
    CallResult result = valid ? CallRoutine(row->routine, values) : ArgumentError();
    for (abi::MemHandle h : owned) FreeHandle(h);
    return result;
}

CallResult Host::CallRoutine(abi::Word routine, const std::vector<abi::HostValue>& values) {
    const std::size_t blockSize = abi::ParamOffset(values.size());
    std::vector<unsigned char> buffer(offsetof(abi::HostRequest, inlineBlock) + blockSize + sizeof(abi::HostValue));
    auto* request = reinterpret_cast<abi::HostRequest*>(buffer.data());
    request->hostCode = abi::kRunRoutine;
    request->routine = routine;
    auto* block = reinterpret_cast<abi::ParamBlock*>(buffer.data() + offsetof(abi::HostRequest, inlineBlock));
    block->count = static_cast<std::int16_t>(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) std::memcpy(abi::ParamAt(block, i), &values[i], sizeof(abi::HostValue));

    const CallResult saved = std::move(m_pending);
    m_pending = CallResult{};
    {
        CurrentHost current(this);
        m_module->Dispatch()(request);
    }
    CallResult result = std::move(m_pending);
    m_pending = saved;
    return result;
}

bool Host::ToHostValue(const Value& value, abi::HostValue& out) {
    out = abi::HostValue{};
    switch (value.kind) {
        case Value::Kind::Bytes:
            out.type = 'C';
            out.length = static_cast<std::int32_t>(value.bytes.size());
            out.handle = NewHandle(value.bytes);
            return out.handle != 0;
        case Value::Kind::Integer:
            out.type = 'I';
            out.width = static_cast<std::int16_t>(value.width);
            out.integer = value.integer;
            return true;
        case Value::Kind::Number:
            out.type = 'N';
            out.width = static_cast<std::int16_t>(value.width);
            out.length = value.decimals;
            out.real = value.number;
            return true;
        case Value::Kind::Logical:
            out.type = 'L';
            out.length = value.truth;
            return true;
        case Value::Kind::None:
            break;
    }
    return false;
}

Value Host::FromHostValue(const abi::HostValue& value) {
    Value v;
    switch (value.type) {
        case 'C':
        case 'H': {
            v.kind = Value::Kind::Bytes;
            v.bytes = ReadHandle(value.handle, static_cast<std::size_t>(value.length));
            // A returned string's handle passes to the host, which frees it once read.
            if (value.type == 'H') FreeHandle(value.handle);
            break;
        }
        case 'I':
            v.kind = Value::Kind::Integer;
            v.integer = value.integer;
            v.width = value.width;
            break;
        case 'N':
            v.kind = Value::Kind::Number;
            v.number = value.real;
            v.width = value.width;
            v.decimals = value.length;
            break;
        case 'L':
            v.kind = Value::Kind::Logical;
            v.truth = value.length;
            v.logical = (value.length & 0xFF) != 0;
            break;
        default:
            break;
    }
    return v;
}

void MG_FASTCALL Host::Callback(abi::HostRequest* request) {
    if (t_current != nullptr) t_current->Serve(*request);
}

void Host::Serve(abi::HostRequest& request) {
    if (m_observer) {
        m_observer(request);
        if (request.libraryCode == abi::kAbort) return;
    }
    switch (request.libraryCode) {
        case abi::kReturnValue: {
            abi::HostValue value;
            std::memcpy(&value, reinterpret_cast<const void*>(request.argument0), sizeof value);
            m_pending.value = FromHostValue(value);
            break;
        }
        case abi::kEvaluate: {
            const std::string expression = reinterpret_cast<const char*>(request.argument1);
            m_expressions.push_back(expression);
            std::int32_t status = kErrorNoEvaluator;
            Value result;
            if (m_evaluator) status = m_evaluator(expression, result);
            if (status == 0) {
                abi::HostValue out{};
                if (ToHostValue(result, out)) {
                    std::memcpy(reinterpret_cast<void*>(request.argument0), &out, sizeof out);
                } else {
                    status = kErrorNoEvaluator;
                }
            }
            request.argument0 = static_cast<abi::Word>(static_cast<std::uint32_t>(status));
            break;
        }
        case abi::kRaiseError:
            m_pending.error = static_cast<std::int32_t>(request.argument0);
            m_pending.message.clear();
            if (m_pending.error == abi::kErrorLibraryMessage && request.argument1 != 0) {
                m_pending.message = reinterpret_cast<const char*>(request.argument1);
            }
            break;
        default:
            break;
    }
}

}  // namespace mg::hostsim
