#include "core/kinds.h"

namespace movix {

namespace {

const char* const kIniScopes[] = {"", "WIN.INI and SYSTEM.INI", "the Windows folder", "the Windows folder and below",
                                  "all fixed drives"};
const char* const kGroupScopes[] = {"", "all groups"};
const char* const kShortcutScopes[] = {"", "Start Menu and Desktop", "the Windows folder and below",
                                       "all fixed drives"};
const char* const kRegistryScopes[] = {"", "HKCR and HKCU", "HKCR, HKCU and HKCC", "all of the Registry"};
const char* const kConfigScopes[] = {"", "the New folder", "the New folder and the data folders",
                                     "the New folder and every user's data folders", "all fixed drives"};
const char* const kServiceScopes[] = {"", "all services and drivers"};
const char* const kTaskScopes[] = {"", "all scheduled tasks"};

}  // namespace

const TKindNames kKindNames[] = {
    {KindIni, "INI", "INI files", "INI files", "INI file", " matches in INI files", "No INI files searched", "ini", 5,
     kIniScopes, "INI Files", 2},
    {KindGrp, "GRP", "Groups", "Groups", "Group", " matches in Groups", "No Groups searched", "groups", 2,
     kGroupScopes, "Groups", 1},
    {KindLnk, "LNK", "Shortcuts", "Shortcuts", "Shortcut", " matches in Shortcuts", "No Shortcuts searched",
     "shortcuts", 4, kShortcutScopes, "Shortcuts", 1},
    {KindReg, "REG", "the Registry", "Registry", "Registry key", " matches in the Registry",
     "No Registry entries searched", "registry", 4, kRegistryScopes, "Registry", 2},
    {KindCfg, "CFG", "configuration files", "Configuration files", "Configuration file",
     " matches in configuration files", "No configuration files searched", "configs", 5, kConfigScopes,
     "Configuration Files", 2},
    {KindSvc, "SVC", "services", "Services", "Service", " matches in services", "No services searched", "services", 2,
     kServiceScopes, "Services", 1},
    {KindTsk, "TSK", "scheduled tasks", "Scheduled tasks", "Scheduled task", " matches in scheduled tasks",
     "No scheduled tasks searched", "tasks", 2, kTaskScopes, "Scheduled Tasks", 1},
};
const int kKindCount = static_cast<int>(sizeof kKindNames / sizeof kKindNames[0]);

const TKindNames* KindNamesOf(int code) {
    for (int i = 0; i < kKindCount; ++i)
        if (kKindNames[i].Code == code)
            return &kKindNames[i];
    return nullptr;
}

}  // namespace movix
