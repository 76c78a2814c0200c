#include "app/ui_text.h"

#include "core/kinds.h"

namespace movix {

std::string StripAmpersands(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c != '&')
            result += c;
    }
    return result;
}

std::string CountText(long long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string MatchCountText(int count, const char* counted) {
    const std::string text = counted;
    const std::string plural = " matches";
    if (count == 1 && text.compare(0, plural.size(), plural) == 0)
        return "1 match" + text.substr(plural.size());
    return std::to_string(count) + text;
}

std::string KindResultText(const TKindNames& names, int count, bool failed) {
    if (count < 0)
        return names.NoneSearched;
    if (failed && count == 0)
        return std::string(names.Short) + ": not searched";
    return MatchCountText(count, names.Counted) + (failed ? " (incomplete)" : "");
}

}  // namespace movix
