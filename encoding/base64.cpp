#include "encoding/base64.h"

#include <cstdint>

namespace mg {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

bool Base64::IsAlphabet(char c) { return Value(c) >= 0; }

std::string Base64::Encode(const unsigned char* data, std::size_t length, bool pad) {
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const std::uint32_t v = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(v >> s) & 63];
    }
    const std::size_t rest = length - i;
    if (rest > 0) {
        std::uint32_t v = std::uint32_t{data[i]} << 16;
        if (rest == 2) v |= std::uint32_t{data[i + 1]} << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        if (rest == 2) out += kAlphabet[(v >> 6) & 63];
        if (pad) out.append(rest == 1 ? 2 : 1, '=');
    }
    return out;
}

bool Base64::DecodeRaw(std::string_view text, std::vector<unsigned char>& out) {
    out.clear();
    if (text.size() % 4 == 1) return false;
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        const int v = Value(c);
        if (v < 0) return false;
        acc = ((acc << 6) | static_cast<std::uint32_t>(v)) & 0xffffff;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<unsigned char>(acc >> bits));
        }
    }
    // The bits left over must be zero, or a second text gives the same bytes.
    return (acc & ((1u << bits) - 1)) == 0;
}

bool Base64::DecodePadded(std::string_view text, std::vector<unsigned char>& out) {
    if (text.size() % 4 != 0) return false;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    const std::string_view body = text.substr(0, text.size() - padding);
    // One '=' after three characters, two after two; none other.
    if (padding > 0 && body.size() % 4 != 4 - padding) return false;
    return DecodeRaw(body, out);
}

}  // namespace mg
