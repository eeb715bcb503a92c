#include "kdf/phc_string.h"

#include "encoding/base64.h"

namespace mg {
namespace {

// Plain decimal: 1 to 10 digits, no leading zero, at most 2^32 - 1.
bool ParseDecimal(std::string_view s, std::uint32_t& value) {
    if (s.empty() || s.size() > 10 || (s.size() > 1 && s[0] == '0')) return false;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFu) return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

// Takes "$" and the text up to the next "$" (or the end) off the front.
bool NextField(std::string_view& rest, std::string_view& field) {
    if (rest.empty() || rest[0] != '$') return false;
    rest.remove_prefix(1);
    const std::size_t end = rest.find('$');
    field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    return true;
}

bool TakePrefix(std::string_view& s, std::string_view prefix) {
    if (s.substr(0, prefix.size()) != prefix) return false;
    s.remove_prefix(prefix.size());
    return true;
}

// Takes "name=<value>" and the comma after it, if any, off the front.
bool NextParameter(std::string_view& list, std::string_view name, std::string_view& value) {
    if (!TakePrefix(list, name) || !TakePrefix(list, "=")) return false;
    const std::size_t end = list.find(',');
    value = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
    // A comma must be followed by another parameter.
    return end == std::string_view::npos || !list.empty();
}

}  // namespace

std::optional<CPhcString> CPhcString::Parse(std::string_view text, const Limits& limits) {
    CPhcString r;
    CArgon2::Parameters& p = r.m_parameters;
    std::string_view rest = text;
    std::string_view field;

    if (!NextField(rest, field)) return std::nullopt;
    if (field == "argon2id") p.type = CArgon2::Type::kId;
    else if (field == "argon2i") p.type = CArgon2::Type::kI;
    else if (field == "argon2d") p.type = CArgon2::Type::kD;
    else return std::nullopt;

    if (!NextField(rest, field)) return std::nullopt;
    p.version = CArgon2::kVersion10;
    if (TakePrefix(field, "v=")) {
        if (!ParseDecimal(field, p.version)) return std::nullopt;
        if (p.version != CArgon2::kVersion10 && p.version != CArgon2::kVersion13) return std::nullopt;
        if (!NextField(rest, field)) return std::nullopt;
    }

    std::string_view value;
    if (!NextParameter(field, "m", value) || !ParseDecimal(value, p.memoryKiB)) return std::nullopt;
    if (!NextParameter(field, "t", value) || !ParseDecimal(value, p.passes)) return std::nullopt;
    if (!NextParameter(field, "p", value) || !ParseDecimal(value, p.lanes) || value.size() > 3) return std::nullopt;
    if (!field.empty()) {
        if (!NextParameter(field, "data", value) || value.empty() || !field.empty()) return std::nullopt;
        if (!Base64::DecodeRaw(value, r.m_data) || r.m_data.size() > kMaxData) return std::nullopt;
    }
    if (p.memoryKiB > limits.maxMemoryKiB || p.passes > limits.maxPasses || p.lanes > limits.maxLanes) return std::nullopt;
    if (p.passes < 1 || p.lanes < 1 || p.memoryKiB / 8 < p.lanes) return std::nullopt;

    if (!NextField(rest, field) || !Base64::DecodeRaw(field, r.m_salt) || r.m_salt.size() < kMinSalt) return std::nullopt;
    if (!NextField(rest, field) || !Base64::DecodeRaw(field, r.m_tag) || r.m_tag.size() < kMinTag) return std::nullopt;
    if (!rest.empty()) return std::nullopt;
    return r;
}

std::string CPhcString::Format(const CArgon2::Parameters& parameters, const unsigned char* salt, std::size_t saltLength,
                               const unsigned char* tag, std::size_t tagLength) {
    static const char* const kNames[] = {"argon2d", "argon2i", "argon2id"};
    std::string s = "$";
    s += kNames[static_cast<std::size_t>(parameters.type)];
    s += "$v=" + std::to_string(parameters.version);
    s += "$m=" + std::to_string(parameters.memoryKiB) + ",t=" + std::to_string(parameters.passes) +
         ",p=" + std::to_string(parameters.lanes);
    s += "$" + Base64::Encode(salt, saltLength, false);
    s += "$" + Base64::Encode(tag, tagLength, false);
    return s;
}

}  // namespace mg
