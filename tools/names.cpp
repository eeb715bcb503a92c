#include "tools/names.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "tools/usage_error.h"

namespace mg::tool {

std::string Fold(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '-' || c == '_') continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::int32_t ParseInt32(const std::string& text, const std::string& what) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    const bool digitFirst = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) ||
                                              ((text[0] == '-' || text[0] == '+') && text.size() > 1 &&
                                               std::isdigit(static_cast<unsigned char>(text[1]))));
    if (!digitFirst || *end != 0 || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) {
        throw UsageError("invalid " + what + " '" + text + "' (a signed 32-bit number)");
    }
    return static_cast<std::int32_t>(v);
}

NameTable::NameTable(const char* what, std::vector<NamedNumber> entries)
    : m_szWhat(what), m_entries(std::move(entries)) {}

std::int32_t NameTable::Parse(const std::string& text) const {
    const std::string folded = Fold(text);
    for (const NamedNumber& e : m_entries) {
        if (folded == Fold(e.name)) return e.number;
    }
    const bool numeric = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-' ||
                                           text[0] == '+');
    if (numeric) return ParseInt32(text, m_szWhat);
    throw UsageError(std::string("unknown ") + m_szWhat + " '" + text + "'; use a number or one of: " + List());
}

std::string NameTable::NameOf(std::int32_t number) const {
    for (const NamedNumber& e : m_entries) {
        if (e.number == number) return e.name;
    }
    return std::to_string(number);
}

std::string NameTable::List() const {
    std::string out;
    for (const NamedNumber& e : m_entries) {
        if (!out.empty()) out += ", ";
        out += e.name;
        out += " (" + std::to_string(e.number) + ")";
    }
    return out;
}

const NameTable& NameTable::HashTypes() {
    static const NameTable table("hash type", {{"sha1", 1},
                                               {"sha256", 2},
                                               {"sha384", 3},
                                               {"sha512", 4},
                                               {"md5", 5},
                                               {"ripemd128", 6},
                                               {"ripemd160", 7}});
    return table;
}

const NameTable& NameTable::CrcTypes() {
    static const NameTable table("CRC type", {{"crc16", 1}, {"crc32", 2}});
    return table;
}

const NameTable& NameTable::Modes() {
    static const NameTable table("mode", {{"ecb", 0}, {"cbc", 1}, {"cfb", 2}, {"ofb", 3}});
    return table;
}

const NameTable& NameTable::Paddings() {
    // The second names are the usual ones for the same byte patterns.
    static const NameTable table("padding", {{"zeros", 0},
                                             {"spaces", 1},
                                             {"count", 2},
                                             {"zeros-count", 3},
                                             {"random-count", 4},
                                             {"pkcs7", 2},
                                             {"x923", 3},
                                             {"iso10126", 4}});
    return table;
}

}  // namespace mg::tool
