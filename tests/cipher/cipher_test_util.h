// Small helpers shared by the cipher tests.
#ifndef MG_TESTS_CIPHER_TEST_UTIL_H
#define MG_TESTS_CIPHER_TEST_UTIL_H

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mg::test {

using Bytes = std::vector<unsigned char>;

inline Bytes Hex(const std::string& text)
{
    Bytes out;
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;  // blanks group the digits for reading
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<unsigned char>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("odd number of hex digits");
    return out;
}

inline Bytes RandomBytes(std::mt19937& rng, std::size_t n)
{
    Bytes b(n);
    for (auto& x : b) x = static_cast<unsigned char>(rng());
    return b;
}

// Runs f and returns the message of the std::runtime_error it throws, or
// "<no exception>".
template <class F>
std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "<no exception>";
}

}  // namespace mg::test

#endif
