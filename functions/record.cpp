#include "functions/record.h"

#include <cstring>
#include <string>

#include "functions/arguments.h"
#include "functions/crc.h"
#include "functions/hash.h"
#include "host/handle_lock.h"
#include "host/host_ops.h"
#include "host/owned_handle.h"

namespace mg::functions {
namespace {

// Evaluates `expression`; on success a character result's handle passes to
// `owned`, so that it is freed whatever the caller does with the value. A
// failed evaluation leaves the value as it was sent, holding no handle.
bool EvaluateOwned(const std::string& expression, abi::HostValue& value, host::OwnedHandle& owned) {
    value = abi::HostValue{};
    if (host::Evaluate(value, expression.c_str()) != 0) return false;
    if (value.type == 'C' && value.handle != 0) owned.reset(value.handle);
    return true;
}

// The text of a character result, up to its first NUL byte.
bool EvaluateText(const std::string& expression, std::string& text) {
    abi::HostValue value;
    host::OwnedHandle owned;
    if (!EvaluateOwned(expression, value, owned) || value.type != 'C' || !owned || value.length < 0) return false;
    host::TerminateOrRaise(owned.get(), value.length);
    const host::HandleLock lock(owned.get());
    text.assign(reinterpret_cast<const char*>(lock.data()));
    return true;
}

bool EvaluateCount(const std::string& expression, std::int32_t& count) {
    abi::HostValue value;
    host::OwnedHandle owned;
    if (!EvaluateOwned(expression, value, owned)) return false;
    if (value.type == 'I') {
        count = value.integer;
        return true;
    }
    // A host may hand a count back as a number; only a whole one is a count.
    if (value.type == 'N' && value.real >= 0 && value.real <= 0x7FFFFFFF &&
        value.real == static_cast<double>(static_cast<std::int32_t>(value.real))) {
        count = static_cast<std::int32_t>(value.real);
        return true;
    }
    return false;
}

bool EvaluateLogical(const std::string& expression, bool& truth) {
    abi::HostValue value;
    host::OwnedHandle owned;
    if (!EvaluateOwned(expression, value, owned) || value.type != 'L') return false;
    truth = value.length != 0;
    return true;
}

// The alias of the call, read as the host passed it: its bytes up to the
// first NUL. Empty when the host cannot resolve it.
std::string CallerAlias(const Arguments& args) {
    const abi::MemHandle handle = args.Handle(1);
    host::TerminateOrRaise(handle, args.Length(1));
    std::string text;
    {
        const host::HandleLock lock(handle);
        text.assign(reinterpret_cast<const char*>(lock.data()));
    }
    return ResolveAlias(text);
}

// A character value holding `bytes`, in a handle that `owned` frees; the byte
// behind them is NUL, so the value also reads as a terminated text.
abi::HostValue CharacterValue(const std::string& bytes, host::OwnedHandle& owned) {
    owned.reset(host::AllocOrRaise(bytes.size() + 1));
    std::memcpy(host::HandleToPointer(owned.get()), bytes.data(), bytes.size());
    return host::TextValue('C', owned.get(), static_cast<std::int32_t>(bytes.size()));
}

// Runs HASH or CRC on the call's own block with the record string as its
// first value. The caller's value goes back in afterwards, also when the
// routine is abandoned: the block is the host's, and a host that frees the
// handles it finds there must find its own.
void RunOnRecord(abi::ParamBlock* params, const std::string& record, abi::Routine routine) {
    host::OwnedHandle owned;
    abi::HostValue* first = abi::ParamAt(params, 0);
    abi::HostValue caller;
    std::memcpy(&caller, first, sizeof caller);
    const abi::HostValue value = CharacterValue(record, owned);
    std::memcpy(first, &value, sizeof value);
    try {
        routine(params);
    } catch (...) {
        std::memcpy(first, &caller, sizeof caller);
        throw;
    }
    std::memcpy(first, &caller, sizeof caller);
}

}  // namespace

std::string HostLiteral(const std::string& text) {
    // The host's string literals have no escapes, so a delimiter inside the
    // text would end the literal early and let the rest run as code.
    if (text.find('\'') == std::string::npos) return "'" + text + "'";
    if (text.find('"') == std::string::npos) return "\"" + text + "\"";
    if (text.find_first_of("[]") == std::string::npos) return "[" + text + "]";
    return "";
}

std::string ResolveAlias(const std::string& text) {
    std::string expression = "ALIAS()";
    if (!text.empty()) {
        const std::string literal = HostLiteral(text);
        if (literal.empty()) return "";
        expression = "ALIAS(" + literal + ")";
    }
    std::string alias;
    if (!EvaluateText(expression, alias)) return "";
    // Later expressions quote the host's alias too; one that cannot be quoted
    // names no table that can be read safely.
    return HostLiteral(alias).empty() ? "" : alias;
}

std::string BuildRecordString(bool memo, const std::string& alias) {
    const std::string table = HostLiteral(alias);
    const std::string prefix = HostLiteral(alias + ".");
    std::int32_t count = 0;
    std::string record;
    if (table.empty() || !EvaluateCount("FLDCOUNT(" + table + ")", count)) return record;
    for (std::int64_t i = 1; i <= count; ++i) {
        // The alias goes into FIELD() as well: without it the host would take
        // the field names of whatever table is selected.
        const std::string field = prefix + "+FIELD(" + std::to_string(i) + "," + table + ")";
        if (!memo) {
            bool isMemo = true;
            // A field whose type cannot be told is left out, like a memo.
            if (!EvaluateLogical("TYPE(" + field + ")='M'", isMemo) || isMemo) continue;
        }
        std::string text;
        if (EvaluateText("TRANSFORM(EVALUATE(" + field + "))", text)) record += text;
    }
    return record;
}

void MG_FASTCALL GETRECSTR(abi::ParamBlock* params) {
    const Arguments args(params);
    const std::string alias = CallerAlias(args);
    if (alias.empty()) {
        host::ReturnString("");
        return;
    }
    host::OwnedHandle owned;
    const abi::HostValue value = CharacterValue(BuildRecordString(args.LogicalIsOne(2), alias), owned);
    const host::HandleLock lock(owned.get());
    host::ReturnValue(value);
}

void MG_FASTCALL HASHRECORD(abi::ParamBlock* params) {
    const Arguments args(params);
    const std::string alias = CallerAlias(args);
    if (alias.empty()) {
        host::ReturnString("");
        return;
    }
    RunOnRecord(params, BuildRecordString(args.LogicalIsOne(3), alias), &HASH);
}

void MG_FASTCALL CRCRECORD(abi::ParamBlock* params) {
    const Arguments args(params);
    const std::string alias = CallerAlias(args);
    if (alias.empty()) {
        // Whatever the type asked for: the form callers have always received.
        host::ReturnInteger(0, 10);
        return;
    }
    RunOnRecord(params, BuildRecordString(args.LogicalIsOne(3), alias), &CRC);
}

}  // namespace mg::functions
