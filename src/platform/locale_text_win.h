// Texts compared as the user's locale sees them (CompareStringA under the
// user's default locale): the one place the program asks for that order.
#pragma once

#include <windows.h>

#include <climits>
#include <string_view>

namespace movix {

// CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN; 0 when the service
// refuses, as it does for a text longer than an int can count.
inline int CompareLocale(std::string_view a, std::string_view b, bool ignoreCase) {
    if (a.size() > INT_MAX || b.size() > INT_MAX)
        return 0;
    return ::CompareStringA(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, a.data() ? a.data() : "",
                            static_cast<int>(a.size()), b.data() ? b.data() : "", static_cast<int>(b.size()));
}

// Equal without regard to letter case as the user's locale sees case (so
// also for accented letters). Equal bytes need no locale.
inline bool LocaleEqualIgnoringCase(std::string_view a, std::string_view b) {
    return a == b || CompareLocale(a, b, true) == CSTR_EQUAL;
}

}  // namespace movix
