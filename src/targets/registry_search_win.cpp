#include "targets/registry_search_win.h"

#include <utility>

#include "app/platform_code.h"
#include "engine/strings.h"
#include "targets/registry_win.h"

namespace movix {

namespace {

// Keys this deep or less show on the progress label; deeper ones would
// only flicker past.
constexpr int kProgressDepth = 3;

}  // namespace

TSearchRegThread::TSearchRegThread(int kind,
                                   const std::string& search,
                                   HWND progressLabel,
                                   TFoundEvent onFound,
                                   std::vector<std::string> ignoreKeys,
                                   int mode)
    : TMovixThread(kind, search, progressLabel, std::move(onFound)),
      Mode(mode),
      IgnoreKeys(std::move(ignoreKeys)),
      ignore_(IgnoreKeys) {}

void TSearchRegThread::Execute() {
    SearchRoot(HKEY_CLASSES_ROOT, "HKCR");
    if (Terminated)
        return;
    SearchRoot(HKEY_CURRENT_USER, "HKCU");
    if (Mode == 5)
        return;
    // Only the Windows 95 family keeps a configuration of its own there; on
    // Windows NT it is a branch of HKLM, which mode 7 walks anyway.
    if (PlatformCode == 0) {
        if (Terminated)
            return;
        SearchRoot(HKEY_CURRENT_CONFIG, "HKCC");
    }
    if (Mode == 6)
        return;
    if (Terminated)
        return;
    SearchRoot(HKEY_LOCAL_MACHINE, "HKLM");
    if (Terminated)
        return;
    SearchRoot(HKEY_USERS, "HKUS");
}

void TSearchRegThread::SearchRoot(HKEY root, const char* abbreviation) {
    TRegistry reg;
    reg.SetRootKey(root);
    abbreviation_ = abbreviation;
    Item.clear();
    SearchKey(reg, std::string(), 0);
}

// `keyPath` is empty for the root, else a backslash and the names down from
// it. The accessor holds one key at a time: this key is opened once, its
// values and subkey names are taken, and the subkeys then open in turn from
// the root.
void TSearchRegThread::SearchKey(TRegistry& reg, const std::string& keyPath, int depth) {
    if (!reg.OpenKey(keyPath, false)) {
        // Listed by its parent but not opened: taken as refused.
        NoteUnreadable(Unreadable::Key, abbreviation_ + keyPath, ERROR_ACCESS_DENIED);
        return;
    }
    Path = abbreviation_ + keyPath;
    if (ignore_.Contains(Path))
        return;
    if (depth <= kProgressDepth)
        QueueProgress();

    TRegKeyInfo info;
    if (!reg.GetKeyInfo(info))
        return;
    reg.ForEachValue(info, [this](std::string_view name, DWORD type, const char* data, std::size_t size) {
        if (Terminated)
            return false;
        if (Matches(name))
            Report(kSubTypeValueName, std::string(name), std::string(name));
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            const std::string_view text = TextUpToNul(data, size);
            if (Matches(text))
                Report(type == REG_SZ ? kSubTypeData : kSubTypeExpandData, ValueTextContext(name, text),
                       std::string(name));
        }
        return !Terminated;
    });

    const std::vector<std::string> subkeys = reg.GetKeyNames(info);
    for (const std::string& name : subkeys) {
        if (Terminated)
            return;
        Item = name;
        if (Matches(name)) {
            Path = abbreviation_ + keyPath;
            Report(kSubTypeKey, name, std::string());
        }
        SearchKey(reg, keyPath + "\\" + name, depth + 1);
    }
}

void TSearchRegThread::Report(int subType, const std::string& context, const std::string& valueName) {
    SubType = subType;
    Context = context;
    valueName_ = valueName;
    Synchronize([this] {
        if (OnFoundValue)
            OnFoundValue(Item, Path, Context, Kind, SubType, valueName_);
        else
            ReportHit();
    });
}

}  // namespace movix
