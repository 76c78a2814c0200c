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

}  // namespace movix
