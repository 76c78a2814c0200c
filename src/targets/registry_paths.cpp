#include "targets/registry_paths.h"

#include <cstring>
#include <initializer_list>

#include "core/replace_groups.h"
#include "core/strings.h"

namespace movix {

namespace {

constexpr char kDefaultName[] = "(default)";

bool IsValueTextHit(int subType) {
    return subType == kSubTypeData || subType == kSubTypeExpandData || subType == kSubTypeMultiString ||
           subType == kSubTypeEnvData;
}

}  // namespace

const char* RootAbbreviation(TRegRoot root) {
    switch (root) {
        case TRegRoot::ClassesRoot:
            return "HKCR";
        case TRegRoot::CurrentUser:
            return "HKCU";
        case TRegRoot::LocalMachine:
            return "HKLM";
        case TRegRoot::Users:
            return "HKUS";
        case TRegRoot::CurrentConfig:
            return "HKCC";
    }
    return "";
}

std::optional<TRegRoot> RootByFourthCharacter(std::string_view fullPath) {
    if (fullPath.size() < 4)
        return std::nullopt;
    switch (fullPath[3]) {
        case 'R':
            return TRegRoot::ClassesRoot;
        case 'U':
            return TRegRoot::CurrentUser;
        case 'C':
            return TRegRoot::CurrentConfig;
        case 'M':
            return TRegRoot::LocalMachine;
        case 'S':
            return TRegRoot::Users;
        default:
            return std::nullopt;
    }
}

std::string_view KeyPathWithinRoot(std::string_view fullPath) {
    return fullPath.size() <= 4 ? std::string_view() : fullPath.substr(4);
}

std::optional<std::string> FullPathOfKernelName(std::string_view kernelName) {
    static const struct {
        const char* prefix;
        const char* abbreviation;
    } kHives[] = {{"\\REGISTRY\\MACHINE", "HKLM"}, {"\\REGISTRY\\USER", "HKUS"}};
    for (const auto& hive : kHives) {
        const std::size_t n = std::strlen(hive.prefix);
        if (kernelName.size() <= n + 1 || kernelName[n] != '\\' || UpperAscii(kernelName.substr(0, n)) != hive.prefix)
            continue;
        return hive.abbreviation + std::string(kernelName.substr(n));
    }
    return std::nullopt;
}

TIgnoreList::TIgnoreList(const std::vector<std::string>& entries) {
    for (const std::string& e : entries)
        upper_.insert(UpperAscii(e));
}

bool TIgnoreList::Contains(std::string_view fullPath) const {
    return !upper_.empty() && upper_.count(UpperAscii(fullPath)) != 0;
}

bool IsCommandLineValue(std::string_view fullPath, std::string_view valueName) {
    std::vector<std::string> names;  // the path's names, upper-cased
    for (std::size_t at = 0;;) {
        const std::size_t slash = fullPath.find('\\', at);
        names.push_back(UpperAscii(fullPath.substr(at, slash - at)));
        if (slash == std::string_view::npos)
            break;
        at = slash + 1;
    }
    const std::size_t n = names.size();
    const auto endsWith = [&](std::initializer_list<const char*> tail) {
        if (tail.size() > n)
            return false;
        std::size_t k = n - tail.size();
        for (const char* name : tail)
            if (names[k++] != name)
                return false;
        return true;
    };
    const std::string value = UpperAscii(valueName);
    if (endsWith({"MICROSOFT", "WINDOWS", "CURRENTVERSION", "RUN"}) ||
        endsWith({"MICROSOFT", "WINDOWS", "CURRENTVERSION", "RUNONCE"}) ||
        endsWith({"CURRENTVERSION", "POLICIES", "EXPLORER", "RUN"}))
        return true;
    if (n >= 3 && names[n - 2] == "UNINSTALL" && names[n - 3] == "CURRENTVERSION")
        return value == "UNINSTALLSTRING" || value == "QUIETUNINSTALLSTRING";
    if (n >= 4 && names[n - 1] == "COMMAND" && names[n - 3] == "SHELL")
        return valueName.empty();
    const bool controlSet = n == 5 && (names[2] == "CURRENTCONTROLSET" || names[2].rfind("CONTROLSET", 0) == 0);
    return controlSet && names[0] == "HKLM" && names[1] == "SYSTEM" && names[3] == "SERVICES" && value == "IMAGEPATH";
}

bool ReadWithMachineVariables(std::string_view fullPath) {
    const std::optional<TRegRoot> root = RootByFourthCharacter(fullPath);
    return root == TRegRoot::LocalMachine || root == TRegRoot::Users;
}

std::string ValueDisplayName(std::string_view valueName) {
    return valueName.empty() ? std::string(kDefaultName) : std::string(valueName);
}

std::string ValueTextContext(std::string_view valueName, std::string_view text) {
    std::string context = ValueDisplayName(valueName);
    context += '=';
    context += text;
    return context;
}

std::optional<TValueTextHit> SplitValueTextHit(const std::string& text, const std::optional<std::string>& valueName) {
    if (valueName) {
        const std::string shown = ValueDisplayName(*valueName) + "=";
        if (text.compare(0, shown.size(), shown) != 0)
            return std::nullopt;
        return TValueTextHit{*valueName, text.substr(shown.size())};
    }
    std::string t = text;
    if (t.compare(0, std::strlen(kDefaultName) + 1, std::string(kDefaultName) + "=") == 0)
        t.erase(0, std::strlen(kDefaultName));
    const std::string::size_type eq = t.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return TValueTextHit{t.substr(0, eq), t.substr(eq + 1)};
}

std::vector<std::size_t> RegistryHitOrder(const std::vector<TReplaceHit>& hits) {
    std::vector<std::size_t> order;
    order.reserve(hits.size());
    for (std::size_t i = 0; i < hits.size(); ++i)
        if (IsValueTextHit(hits[i].SubType))
            order.push_back(i);
    for (std::size_t i = 0; i < hits.size(); ++i)
        if (!IsValueTextHit(hits[i].SubType))
            order.push_back(i);
    return order;
}

}  // namespace movix
