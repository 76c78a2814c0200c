// The options and skip marks kept under the program's own key, the list of
// Registry keys to ignore, and the CleanRegistry start-up command.
#include "app/settings_win.h"

#include <windows.h>

#include <cstdlib>

#include "app/main_window_win.h"
#include "platform/platform_code.h"
#include "platform/wide_text_win.h"
#include "app/settings.h"
#include "core/strings.h"
#include "resource.h"
#include "platform/registry_win.h"

namespace movix {

int GetUserSidText(std::string& text) {
    // Wide: a user name with letters outside the process code page would
    // otherwise be looked up as question marks.
    wchar_t user[260];
    DWORD userSize = sizeof user / sizeof user[0];
    if (!GetUserNameW(user, &userSize))
        return 1;
    BYTE sid[1000];
    DWORD sidSize = sizeof sid;
    wchar_t domain[260];
    DWORD domainSize = sizeof domain / sizeof domain[0];
    SID_NAME_USE use;
    if (!LookupAccountNameW(nullptr, user, sid, &sidSize, domain, &domainSize, &use))
        return 2;
    SetLastError(0);
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    if (GetLastError() != 0 || !authority)
        return 3;
    const PUCHAR count = GetSidSubAuthorityCount(sid);
    if (GetLastError() != 0 || !count)
        return 4;
    unsigned long parts[SID_MAX_SUB_AUTHORITIES] = {};
    const int n = *count > SID_MAX_SUB_AUTHORITIES ? SID_MAX_SUB_AUTHORITIES : *count;
    for (int i = 0; i < n; ++i) {
        const PDWORD part = GetSidSubAuthority(sid, static_cast<DWORD>(i));
        if (GetLastError() != 0 || !part)
            return 5 + i;
        parts[i] = *part;
    }
    text = SidText(authority->Value, parts, n);
    return 0;
}

namespace {

// A number stored under the settings key; the default when the subkey or
// value is missing or the text is not a number. A value of another type than
// text raises the accessor's error.
int ReadInteger(const char* subkey, const char* name, int defaultValue) {
    TRegistry reg(KEY_READ);
    if (!reg.OpenKey(std::string("\\") + kSettingsKey + "\\" + subkey, false))
        return defaultValue;
    if (!reg.ValueExists(name))
        return defaultValue;
    return ParseStoredInteger(reg.ReadString(name), defaultValue);
}

void WriteInteger(const char* subkey, const char* name, int value) {
    TRegistry reg;
    if (reg.OpenKey(std::string("\\") + kSettingsKey + "\\" + subkey, true))
        reg.WriteString(name, std::to_string(value));
}

bool CommandLineAsksForClean() {
    return __argc >= 2 && __argv && __argv[1] && lstrcmpiA(__argv[1], "CleanRegistry") == 0;
}

}  // namespace

bool TForm1::CleanRegistryCommand() {
    if (!CommandLineAsksForClean())
        return false;
    {
        TRegistry reg;
        try {
            if (reg.OpenKey(std::string("\\") + kSettingsParentKey, false))
                reg.DeleteKey("1.0");
        } catch (const std::exception&) {
            // Whatever could not be deleted stays; the program ends all the same.
        }
    }
    CleanRegistryMode = true;
    PostQuitMessage(0);
    return true;
}

std::vector<std::string> SystemIgnoreKeys() {
    std::vector<std::string> keys = {"HKLM\\SOFTWARE\\CLASSES"};
    // Read only: a standard user may read these machine keys but not write them.
    TRegistry reg(KEY_READ);
    if (PlatformCode == 0) {
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        std::string user, config;
        // A key that does not open leaves the entry with nothing after
        // its last backslash.
        if (reg.OpenKey("\\System\\CurrentControlSet\\control", false)) {
            user = reg.ReadString("Current User");
            if (reg.OpenKey("IDConfigDB", false))
                config = reg.ReadString("CurrentConfig");
        }
        keys.push_back("HKUS\\" + UpperAscii(user));
        keys.push_back("HKLM\\CONFIG\\" + UpperAscii(config));
    } else {
        reg.SetRootKey(HKEY_USERS);
        reg.OpenKey("", false);
        std::string sid;
        if (GetUserSidText(sid) == 0 && reg.KeyExists("\\" + sid))
            keys.push_back("HKUS\\" + sid);
        keys.push_back("HKLM\\Hardware");
        keys.push_back("HKLM\\Security");
        keys.push_back("HKLM\\SAM");
    }
    return keys;
}

void TForm1::LoadSettings() {
    {
        // Opening the settings key creates it (and the ignore list's subkey)
        // on the first start.
        TRegistry reg;
        reg.OpenKey(std::string("\\") + kSettingsKey, true);
    }
    // The platform's rules are applied to the controls as well, below.
    const TOptionChoices choices = SavedOptionChoices(
        [](const char* name, int fallback) { return ReadInteger(kSettingsSubkey, name, fallback); }, PlatformCode);
    SetRadioIndex(IDC_rgIniFiles, choices.Item.at(KindIni));
    SetRadioIndex(IDC_rgGroups, choices.Item.at(KindGrp));
    SetRadioIndex(IDC_rgShortcuts, choices.Item.at(KindLnk));
    SetRadioIndex(IDC_rgRegistry, choices.Item.at(KindReg));
    SetRadioIndex(IDC_rgConfigs, choices.Item.at(KindCfg));
    SetRadioIndex(IDC_rgServices, choices.Item.at(KindSvc));
    SetRadioIndex(IDC_rgTasks, choices.Item.at(KindTsk));
    const struct {
        int id;
        const char* name;
    } skips[] = {{IDC_cbSkipIniFiles, "INI Files"},
                 {IDC_cbSkipGroups, "Groups"},
                 {IDC_cbSkipShortcuts, "Shortcuts"},
                 {IDC_cbSkipRegistry, "Registry"},
                 {IDC_cbSkipConfigs, "Configuration Files"},
                 {IDC_cbSkipServicesTasks, "Services and Tasks"}};
    for (const auto& skip : skips) {
        SendMessageA(Control(skip.id), BM_SETCHECK,
                     ReadInteger(kSkipPagesSubkey, skip.name, 0) == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    HWND list = Control(IDC_lbIgnoreKey);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    {
        TRegistry reg;
        if (reg.OpenKey(std::string("\\") + kSettingsKey + "\\" + kIgnoreKeysSubkey, true)) {
            for (const std::string& name : reg.GetValueNames())
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(name).c_str()));
        }
    }
    auto insertTop = [list](const std::string& entry) {
        SendMessageW(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(entry).c_str()));
    };
    for (const std::string& entry : SystemIgnoreKeys())
        insertTop(entry);
    ApplyPlatformRestrictions();
}

void TForm1::SaveSettings() {
    WriteInteger(kSettingsSubkey, "INI Files", RadioIndex(IDC_rgIniFiles));
    WriteInteger(kSettingsSubkey, "Groups", RadioIndex(IDC_rgGroups));
    WriteInteger(kSettingsSubkey, "Shortcuts", RadioIndex(IDC_rgShortcuts));
    WriteInteger(kSettingsSubkey, "Registry", RadioIndex(IDC_rgRegistry));
    WriteInteger(kSkipPagesSubkey, "INI Files", Checked(IDC_cbSkipIniFiles) ? 1 : 0);
    WriteInteger(kSkipPagesSubkey, "Groups", Checked(IDC_cbSkipGroups) ? 1 : 0);
    WriteInteger(kSkipPagesSubkey, "Shortcuts", Checked(IDC_cbSkipShortcuts) ? 1 : 0);
    WriteInteger(kSkipPagesSubkey, "Registry", Checked(IDC_cbSkipRegistry) ? 1 : 0);
    WriteInteger(kSettingsSubkey, "Configuration Files", RadioIndex(IDC_rgConfigs));
    WriteInteger(kSkipPagesSubkey, "Configuration Files", Checked(IDC_cbSkipConfigs) ? 1 : 0);
    WriteInteger(kSettingsSubkey, "Services", RadioIndex(IDC_rgServices));
    WriteInteger(kSettingsSubkey, "Scheduled Tasks", RadioIndex(IDC_rgTasks));
    WriteInteger(kSkipPagesSubkey, "Services and Tasks", Checked(IDC_cbSkipServicesTasks) ? 1 : 0);
}

}  // namespace movix

namespace movix {

std::string SavedConfigTypes() {
    TRegistry reg(KEY_READ);
    if (!reg.OpenKey(std::string("\\") + kSettingsKey + "\\" + kSettingsSubkey, false) ||
        !reg.ValueExists("Configuration Types"))
        return std::string();
    return reg.ReadString("Configuration Types");
}

}  // namespace movix
