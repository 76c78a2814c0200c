#include "app/settings.h"

#include <cstdint>
#include <cstdio>

#include "core/kinds.h"
#include "core/strings.h"

namespace movix {

const char* const kSettingsKey = "Software\\Kestrelia\\MOVIX32\\1.0";
const char* const kSettingsParentKey = "Software\\Kestrelia\\MOVIX32";
const char* const kSettingsSubkey = "Settings";
const char* const kSkipPagesSubkey = "Skip Pages";
const char* const kIgnoreKeysSubkey = "Registry Keys To Ignore";

int ParseStoredInteger(const std::string& text, int defaultValue) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::uint64_t value = 0;
        for (size_t i = 2; i < text.size(); ++i) {
            const int d = HexDigitValue(text[i]);
            if (d < 0)
                return defaultValue;
            value = value * 16 + static_cast<unsigned>(d);
            if (value > 0xFFFFFFFFu)
                return defaultValue;
        }
        // Eight hex digits fill all 32 bits, the sign bit included.
        return static_cast<int>(static_cast<std::uint32_t>(value));
    }
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return defaultValue;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return defaultValue;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL)
            return defaultValue;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return defaultValue;
    return static_cast<int>(value);
}

TOptionChoices SavedOptionChoices(const std::function<int(const char* name, int fallback)>& saved, int platformCode) {
    TOptionChoices choices;
    for (const TKindInfo* kind : Kinds()) {
        const TKindNames& names = kind->Names();
        const int item = ClampItemIndex(saved(names.Setting, names.DefaultItem), names.Items);
        choices.Item[names.Code] = kind->ItemOnPlatform(item, platformCode);
    }
    return choices;
}

int ClampItemIndex(int index, int itemCount) {
    if (index < -1)
        return -1;
    if (index > itemCount - 1)
        return itemCount - 1;
    return index;
}

std::string SidText(const unsigned char authority[6], const unsigned long* subAuthorities, int count) {
    std::string text = "S-1-";
    if (authority[0] != 0 || authority[1] != 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%02X%02X%02X%02X%02X%02X", authority[0], authority[1], authority[2],
                      authority[3], authority[4], authority[5]);
        text += hex;
    } else {
        const std::uint32_t value = (static_cast<std::uint32_t>(authority[2]) << 24) |
                                    (static_cast<std::uint32_t>(authority[3]) << 16) |
                                    (static_cast<std::uint32_t>(authority[4]) << 8) | authority[5];
        text += std::to_string(value);
    }
    for (int i = 0; i < count; ++i)
        text += "-" + std::to_string(static_cast<std::uint32_t>(subAuthorities[i]));
    return text;
}

}  // namespace movix
