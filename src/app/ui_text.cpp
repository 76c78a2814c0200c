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

std::string ChangeExtension(const std::string& fileName, const std::string& extension) {
    const std::string::size_type pos = fileName.find_last_of(".\\/:");
    if (pos != std::string::npos && fileName[pos] == '.')
        return fileName.substr(0, pos) + extension;
    return fileName + extension;
}

}  // namespace movix
