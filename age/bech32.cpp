#include "age/bech32.h"

#include <cstdint>

namespace mg::age {

namespace {

constexpr char kCharset[] = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";

std::uint32_t PolyMod(const std::vector<unsigned char>& values) {
    static const std::uint32_t kGen[5] = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd, 0x2a1462b3};
    std::uint32_t chk = 1;
    for (unsigned char v : values) {
        const std::uint32_t top = chk >> 25;
        chk = ((chk & 0x1ffffff) << 5) ^ v;
        for (int i = 0; i < 5; ++i)
            if ((top >> i) & 1) chk ^= kGen[i];
    }
    return chk;
}

std::vector<unsigned char> ExpandHrp(const std::string& hrp) {
    std::vector<unsigned char> out;
    for (char c : hrp) out.push_back(static_cast<unsigned char>(static_cast<unsigned char>(c) >> 5));
    out.push_back(0);
    for (char c : hrp) out.push_back(static_cast<unsigned char>(c & 31));
    return out;
}

int CharValue(char c) {
    for (int i = 0; i < 32; ++i)
        if (kCharset[i] == c) return i;
    return -1;
}

}  // namespace

std::string Bech32::Encode(const std::string& hrp, const std::vector<unsigned char>& data) {
    std::vector<unsigned char> groups;
    std::uint32_t acc = 0;
    int bits = 0;
    for (unsigned char b : data) {
        acc = (acc << 8) | b;
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            groups.push_back(static_cast<unsigned char>((acc >> bits) & 31));
        }
    }
    if (bits > 0) groups.push_back(static_cast<unsigned char>((acc << (5 - bits)) & 31));

    std::vector<unsigned char> values = ExpandHrp(hrp);
    values.insert(values.end(), groups.begin(), groups.end());
    values.insert(values.end(), 6, 0);
    const std::uint32_t checksum = PolyMod(values) ^ 1;
    std::string out = hrp + "1";
    for (unsigned char g : groups) out += kCharset[g];
    for (int i = 0; i < 6; ++i) out += kCharset[(checksum >> (5 * (5 - i))) & 31];
    return out;
}

bool Bech32::Decode(const std::string& text, std::string& hrp, std::vector<unsigned char>& data) {
    bool lower = false, upper = false;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 33 || u > 126) return false;
        if (c >= 'a' && c <= 'z') lower = true;
        if (c >= 'A' && c <= 'Z') upper = true;
    }
    if (lower && upper) return false;
    std::string folded = text;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');

    const std::size_t separator = folded.rfind('1');
    if (separator == std::string::npos || separator == 0 || separator + 7 > folded.size()) return false;
    hrp = folded.substr(0, separator);
    std::vector<unsigned char> values = ExpandHrp(hrp);
    std::vector<unsigned char> groups;
    for (std::size_t i = separator + 1; i < folded.size(); ++i) {
        const int v = CharValue(folded[i]);
        if (v < 0) return false;
        values.push_back(static_cast<unsigned char>(v));
        groups.push_back(static_cast<unsigned char>(v));
    }
    if (PolyMod(values) != 1) return false;
    groups.resize(groups.size() - 6);

    data.clear();
    std::uint32_t acc = 0;
    int bits = 0;
    for (unsigned char g : groups) {
        acc = ((acc << 5) | g) & 0xfff;
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            data.push_back(static_cast<unsigned char>((acc >> bits) & 0xff));
        }
    }
    // What is left over is padding: fewer than five bits, all zero.
    return bits < 5 && ((acc << (8 - bits)) & 0xff) == 0;
}

}  // namespace mg::age
