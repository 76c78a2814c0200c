#include "app/ui_text.h"

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

}  // namespace movix
