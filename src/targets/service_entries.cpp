#include "targets/service_entries.h"

#include "core/strings.h"

namespace movix {

namespace {

bool IsControlSetName(std::string_view upper) {
    constexpr std::string_view kPrefix = "CONTROLSET";
    if (upper.size() <= kPrefix.size() || upper.substr(0, kPrefix.size()) != kPrefix)
        return false;
    for (char c : upper.substr(kPrefix.size()))
        if (c < '0' || c > '9')
            return false;
    return true;
}

}  // namespace

bool IsServiceManagerValue(std::string_view keyPath,
                           std::string_view valueName,
                           std::string_view text,
                           std::string_view controlSet) {
    const std::string value = UpperAscii(valueName);
    if (value != "IMAGEPATH" && (value != "DESCRIPTION" || (!text.empty() && text[0] == '@')))
        return false;
    const std::string upper = UpperAscii(keyPath);
    constexpr std::string_view kSystem = "HKLM\\SYSTEM\\";
    constexpr std::string_view kServices = "\\SERVICES\\";
    if (upper.compare(0, kSystem.size(), kSystem) != 0)
        return false;
    const std::size_t setEnd = upper.find('\\', kSystem.size());
    if (setEnd == std::string::npos)
        return false;
    const std::string_view set = std::string_view(upper).substr(kSystem.size(), setEnd - kSystem.size());
    if (set != "CURRENTCONTROLSET" && (controlSet.empty() ? !IsControlSetName(set) : set != UpperAscii(controlSet)))
        return false;
    if (upper.compare(setEnd, kServices.size(), kServices) != 0)
        return false;
    const std::string_view name = std::string_view(upper).substr(setEnd + kServices.size());
    return !name.empty() && name.find('\\') == std::string_view::npos;
}

std::string FieldState(const std::optional<std::string>& text) {
    return text ? "=" + *text : std::string("-");
}

std::string FieldsState(const std::vector<std::optional<std::string>>& texts) {
    std::string state;
    for (const std::optional<std::string>& text : texts) {
        const std::string one = FieldState(text);
        state += std::to_string(one.size()) + ":" + one;
    }
    return state;
}

std::optional<std::vector<std::optional<std::string>>> ParseFieldsState(std::string_view state) {
    std::vector<std::optional<std::string>> texts;
    while (!state.empty()) {
        const std::size_t colon = state.find(':');
        if (colon == 0 || colon == std::string_view::npos || colon > 9)
            return std::nullopt;
        std::size_t length = 0;
        for (char c : state.substr(0, colon)) {
            if (c < '0' || c > '9')
                return std::nullopt;
            length = length * 10 + static_cast<std::size_t>(c - '0');
        }
        state.remove_prefix(colon + 1);
        if (length == 0 || length > state.size())
            return std::nullopt;
        const std::string_view one = state.substr(0, length);
        if (one == "-")
            texts.push_back(std::nullopt);
        else if (one[0] == '=')
            texts.push_back(std::string(one.substr(1)));
        else
            return std::nullopt;
        state.remove_prefix(length);
    }
    return texts;
}

}  // namespace movix
