// Hexadecimal digits, written the same way everywhere: a number in a given
// width or in the digits it needs, and bytes two digits each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace movix {

inline char HexDigit(unsigned value, bool upper) {
    return (upper ? "0123456789ABCDEF" : "0123456789abcdef")[value & 15];
}

// `value` in as many digits as it needs, and at least `width` (the number's
// lowest digits only, when it needs more than `width` and `exact` is set).
inline void AppendHex(std::string& out, std::uint64_t value, std::size_t width, bool upper, bool exact = false) {
    std::size_t digits = 1;
    while (digits < 16 && (value >> (4 * digits)) != 0)
        ++digits;
    if (digits < width || exact)
        digits = width;
    for (std::size_t i = digits; i-- > 0;)
        out += HexDigit(static_cast<unsigned>(i < 16 ? value >> (4 * i) : 0), upper);
}

// Every byte as two digits.
inline void AppendHexBytes(std::string& out, std::string_view bytes, bool upper) {
    out.reserve(out.size() + bytes.size() * 2);
    for (const char c : bytes) {
        const unsigned b = static_cast<unsigned char>(c);
        out += HexDigit(b >> 4, upper);
        out += HexDigit(b, upper);
    }
}

}  // namespace movix
