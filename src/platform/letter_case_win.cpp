#include "platform/letter_case_win.h"

#include <windows.h>

#include <vector>

namespace movix {

namespace {

// Upper-cases `n` UTF-16 units in place; false when the system refuses.
bool UpperInPlace(wchar_t* text, int n) {
    std::vector<wchar_t> out(static_cast<std::size_t>(n));
    const int got =
        ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text, n, out.data(), n, nullptr, nullptr, 0);
    if (got != n)
        return false;
    for (int i = 0; i < n; ++i)
        text[i] = out[static_cast<std::size_t>(i)];
    return true;
}

// The capitals of the whole Basic Multilingual Plane, asked of the system
// once (two calls) rather than once a character: a search upper-cases every
// character it reads. The surrogate range is left out; those units are no
// characters of their own.
struct BmpTable {
    std::vector<wchar_t> upper;
    BmpTable() : upper(0x10000) {
        for (std::size_t c = 0; c < upper.size(); ++c)
            upper[c] = static_cast<wchar_t>(c);
        UpperInPlace(&upper[1], 0xD800 - 1);  // U+0000 would end the text for some
        UpperInPlace(&upper[0xE000], 0x10000 - 0xE000);
    }
};

}  // namespace

char32_t SystemUpperCase(char32_t code) {
    static const BmpTable table;  // made once, on first use, by whichever thread comes first
    if (code < 0x10000)
        return (code >= 0xD800 && code <= 0xDFFF) ? code : static_cast<char32_t>(table.upper[code]);
    if (code > 0x10FFFF)
        return code;
    // Outside the BMP (Deseret, Osage, Adlam ... have capitals): rare enough
    // to ask the system each time, as a surrogate pair.
    const char32_t v = code - 0x10000;
    wchar_t pair[2] = {static_cast<wchar_t>(0xD800 + (v >> 10)), static_cast<wchar_t>(0xDC00 + (v & 0x3FF))};
    if (!UpperInPlace(pair, 2) || pair[0] < 0xD800 || pair[0] > 0xDBFF || pair[1] < 0xDC00 || pair[1] > 0xDFFF)
        return code;
    return 0x10000 + ((static_cast<char32_t>(pair[0]) - 0xD800) << 10) + (static_cast<char32_t>(pair[1]) - 0xDC00);
}

}  // namespace movix
