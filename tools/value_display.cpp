#include "tools/value_display.h"

#include <cstdio>

#include "tools/codec.h"
#include "tools/usage_error.h"

namespace mg::tool {

bool ValueDisplay::Printable(const std::string& bytes) {
    for (unsigned char c : bytes) {
        const bool text = (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n';
        if (!text) return false;
    }
    return true;
}

std::string ValueDisplay::Show(const hostsim::Value& value) {
    using Kind = hostsim::Value::Kind;
    switch (value.kind) {
        case Kind::Bytes: return Printable(value.bytes) ? value.bytes : "0h" + ToHex(value.bytes, true);
        case Kind::Integer: return std::to_string(value.integer);
        case Kind::Number: {
            const int decimals = value.decimals < 0 ? 0 : (value.decimals > 18 ? 18 : value.decimals);
            char buffer[400];
            std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value.number);
            return buffer;
        }
        case Kind::Logical: return value.logical ? ".T." : ".F.";
        case Kind::None: break;
    }
    return ".T.";
}

std::string ValueDisplay::Checksum(const hostsim::Value& value, const std::string& format) {
    if (format == "dec") return Show(value);
    if (format != "hex") throw UsageError("unknown format '" + format + "'; use dec or hex");
    char buffer[24];
    if (value.kind == hostsim::Value::Kind::Integer) {
        std::snprintf(buffer, sizeof buffer, "%04x", static_cast<unsigned>(value.integer) & 0xFFFFu);
    } else {
        std::snprintf(buffer, sizeof buffer, "%08lx", static_cast<unsigned long>(value.number));
    }
    return buffer;
}

}  // namespace mg::tool
