// Texts compared as the user's locale sees them (CompareStringEx under the
// user's default locale, over UTF-16): the one place the program asks for
// that order.
#pragma once

#include <windows.h>

#include <climits>
#include <string>
#include <string_view>

#include "platform/wide_text_win.h"

namespace movix {

// CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN for wide texts; 0 when
// the service refuses, as it does for a text longer than an int can count.
inline int CompareLocaleWide(std::wstring_view a, std::wstring_view b, bool ignoreCase) {
    if (a.size() > INT_MAX || b.size() > INT_MAX)
        return 0;
    return ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, a.data() ? a.data() : L"",
                             static_cast<int>(a.size()), b.data() ? b.data() : L"", static_cast<int>(b.size()), nullptr,
                             nullptr, 0);
}

// The same for the program's UTF-8 texts.
inline int CompareLocale(std::string_view a, std::string_view b, bool ignoreCase) {
    if (a.size() > INT_MAX || b.size() > INT_MAX)
        return 0;
    return CompareLocaleWide(Utf8ToWide(a), Utf8ToWide(b), ignoreCase);
}

// Equal without regard to letter case as the user's locale sees case (so
// also for accented letters and every other script). Equal bytes need no
// locale.
inline bool LocaleEqualIgnoringCase(std::string_view a, std::string_view b) {
    return a == b || CompareLocale(a, b, true) == CSTR_EQUAL;
}

}  // namespace movix
