// The stored options' text rules, apart from the Registry.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "core/kinds.h"

namespace movix {

// The settings key under HKEY_CURRENT_USER and its subkeys.
extern const char* const kSettingsKey;        // Software\Kestrelia\MOVIX32\1.0
extern const char* const kSettingsParentKey;  // Software\Kestrelia\MOVIX32
extern const char* const kSettingsSubkey;     // Settings
extern const char* const kSkipPagesSubkey;    // Skip Pages
extern const char* const kIgnoreKeysSubkey;   // Registry Keys To Ignore

// A stored number: text longer than two characters that begins with "0x"
// or "0X" is hexadecimal, anything else decimal; text that is not a whole
// number (or does not fit in 32 bits) gives the default.
int ParseStoredInteger(const std::string& text, int defaultValue);

// An item index as the radio group takes it: below -1 becomes -1 (nothing
// selected), beyond the last item the last item.
int ClampItemIndex(int index, int itemCount);

// The item each option page starts with, by kind code (index 0 unused):
// the saved item where there is one, else the page's default, kept within
// the page's items; then the platform's rules (`platformCode` as
// PlatformCode): on Windows NT no HKCC (item 2 becomes 1); on NT 3.51 no
// shortcuts; elsewhere no Program Manager groups. `saved` gives the number
// stored under a name, or `fallback` when none is.
struct TOptionChoices {
    std::map<int, int> Item;
};
TOptionChoices SavedOptionChoices(const std::function<int(const char* name, int fallback)>& saved, int platformCode);

// The text form of a security identifier: "S-1-", the authority (six
// bytes; in decimal from bytes 2 to 5 when bytes 0 and 1 are zero, else "0x"
// and all six bytes in upper-case hex), then "-" and each sub-authority as
// an unsigned decimal number.
std::string SidText(const unsigned char authority[6], const unsigned long* subAuthorities, int count);

}  // namespace movix
