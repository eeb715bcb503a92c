#include "age/armor.h"

#include <cstring>
#include <string_view>

#include "age/age_error.h"
#include "encoding/base64.h"

namespace mg::age {

namespace {

constexpr std::size_t kColumns = 64;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

[[noreturn]] void Broken() { throw CAgeError(AgeFailure::kNotAge); }

}  // namespace

bool Armor::LooksArmored(const std::string& start) {
    for (char c : start) {
        if (!IsSpace(c)) return c == '-';
    }
    return false;
}

std::vector<unsigned char> Armor::Decode(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && IsSpace(text[at])) ++at;
    std::size_t end = text.size();
    while (end > at && IsSpace(text[end - 1])) --end;
    // Lines between the trimmed ends; the last one has no line end of its own.
    std::vector<std::string_view> lines;
    const std::string_view block(text.data() + at, end - at);
    for (std::size_t from = 0; from <= block.size();) {
        std::size_t lf = block.find('\n', from);
        if (lf == std::string_view::npos) lf = block.size();
        std::string_view line = block.substr(from, lf - from);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        from = lf + 1;
    }
    if (lines.size() < 2 || lines.front() != kBegin || lines.back() != kEnd) Broken();

    std::string body;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const bool last = i + 2 == lines.size();
        if (line.size() > kColumns || line.empty()) Broken();
        if (line.size() < kColumns && !last) Broken();
        for (char c : line)
            if (!Base64::IsAlphabet(c) && c != '=') Broken();
        body += line;
    }
    std::vector<unsigned char> out;
    if (!Base64::DecodePadded(body, out)) Broken();
    return out;
}

std::string Armor::Encode(const unsigned char* data, std::size_t length) {
    const std::string body = Base64::Encode(data, length, true);
    std::string out = std::string(kBegin) + "\n";
    for (std::size_t at = 0; at < body.size(); at += kColumns) out += body.substr(at, kColumns) + "\n";
    out += std::string(kEnd) + "\n";
    return out;
}

}  // namespace mg::age
