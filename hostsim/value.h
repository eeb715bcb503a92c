#ifndef MG_HOSTSIM_VALUE_H
#define MG_HOSTSIM_VALUE_H

#include <cstdint>
#include <string>

namespace mg::hostsim {

// A typed value as the host's programs see it.
struct Value {
    enum class Kind { None, Bytes, Integer, Number, Logical };

    Kind kind = Kind::None;
    std::string bytes;        // Bytes: binary-safe
    std::int32_t integer = 0; // Integer
    double number = 0;        // Number
    bool logical = false;     // Logical
    std::int32_t truth = 0;   // Logical: the raw truth value sent to the library
    int width = 0;            // Integer, Number: display width
    int decimals = 0;         // Number

    static Value Of(std::string b) {
        Value v;
        v.kind = Kind::Bytes;
        v.bytes = std::move(b);
        return v;
    }
    static Value Int(std::int32_t i) {
        Value v;
        v.kind = Kind::Integer;
        v.integer = i;
        v.width = 11;
        return v;
    }
    static Value Num(double n, int width = 10, int decimals = 0) {
        Value v;
        v.kind = Kind::Number;
        v.number = n;
        v.width = width;
        v.decimals = decimals;
        return v;
    }
    static Value Bool(bool b) { return Truth(b ? 1 : 0); }
    // A logical with an arbitrary raw truth value (the library reads its low byte).
    static Value Truth(std::int32_t t) {
        Value v;
        v.kind = Kind::Logical;
        v.logical = t != 0;
        v.truth = t;
        return v;
    }
};

}  // namespace mg::hostsim

#endif
