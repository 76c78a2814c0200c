#include "targets/registry_search_win.h"

#include <cwchar>
#include <optional>
#include <utility>

#include "platform/handles.h"
#include "platform/wide_text_win.h"
#include "platform/platform_code.h"
#include "core/found_items.h"
#include "core/strings.h"
#include "platform/registry_win.h"

namespace movix {

namespace {

// Keys this deep or less show on the progress label; deeper ones would
// only flicker past.
constexpr int kProgressDepth = 3;

// The search asks for nothing but reading, and opens a link as the key it
// is rather than the key it points to.
constexpr REGSAM kSearchAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

// The name the Registry's keeper gives an open key
// (\REGISTRY\USER\S-1-5-21-...\Software), through ntdll's NtQueryKey, which
// the Windows 95 family lacks; empty when it cannot be had.
std::wstring KernelName(HKEY key) {
    using QueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const QueryKeyFn query = [] {
        const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr
                   ? reinterpret_cast<QueryKeyFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryKey")))
                   : nullptr;
    }();
    if (query == nullptr)
        return std::wstring();
    constexpr int kKeyNameInformation = 3;
    std::vector<ULONG> buffer(8192);
    ULONG got = 0;
    if (query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG)), &got) != 0)
        return std::wstring();
    const ULONG bytes = buffer[0];
    if (bytes > (buffer.size() - 1) * sizeof(ULONG))
        return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + 1), bytes / sizeof(wchar_t));
}

// The full key path under HKLM or HKUS of `sub` below `base` (empty: of the
// root `base` itself, told by one of its subkeys, since a root's handle is
// no key of the keeper's); empty when it cannot be told.
std::string PhysicalPath(HKEY base, const wchar_t* sub) {
    std::wstring kernel;
    if (sub != nullptr) {
        HKEY raw = nullptr;
        if (::RegOpenKeyExW(base, sub, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
            return std::string();
        kernel = KernelName(RegKey(raw).get());
    } else {
        wchar_t name[256];
        for (DWORD i = 0; i < 16 && kernel.empty(); ++i) {
            DWORD len = 256;
            const LONG r = ::RegEnumKeyExW(base, i, name, &len, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_NO_MORE_ITEMS)
                break;
            HKEY raw = nullptr;
            if (r != ERROR_SUCCESS ||
                ::RegOpenKeyExW(base, name, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
                continue;
            kernel = KernelName(RegKey(raw).get());
            const std::size_t slash = kernel.rfind(L'\\');
            kernel = slash == std::wstring::npos ? std::wstring() : kernel.substr(0, slash);
        }
    }
    const std::optional<std::string> path = FullPathOfKernelName(WideToUtf8(kernel));
    return path ? *path : std::string();
}

// A row that names Old through variables is judged, for the list's flags,
// by its text as the search expanded it.
std::string ExpandAsSearched(std::string_view keyPath, std::string_view text) {
    const TEnvironment env = ProcessEnvironment();
    return ExpandText(text, ReadWithMachineVariables(keyPath) ? MachineEnvironment(env) : env);
}
const bool g_expandedRowsJudged = (SetTextExpansion(&ExpandAsSearched), true);
// The values the replacer quotes as command lines need no flag for it.
const bool g_commandLinesKnown = (SetCommandLineValues(&IsCommandLineValue), true);

}  // namespace

TEnvironment ProcessEnvironment() {
    TEnvironment env;
    wchar_t* block = ::GetEnvironmentStringsW();
    if (block == nullptr)
        return env;
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        // Entries that begin with "=" (=C:=C:\Work, the current folder of a
        // drive) are the system's own bookkeeping, not variables.
        const std::wstring_view text(entry);
        const std::size_t equals = text.find(L'=', 1);
        if (text[0] == L'=' || equals == std::wstring_view::npos)
            continue;
        env.Set(WideToUtf8(text.substr(0, equals)), WideToUtf8(text.substr(equals + 1)));
    }
    ::FreeEnvironmentStringsW(block);
    return env;
}

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

std::vector<std::string> TSearchRegThread::KeysWalkedUnderEarlierRoots(bool currentConfigWalked) {
    // HKCR's machine half is this key on every system that has HKCR.
    std::vector<std::string> keys = {"HKLM\\SOFTWARE\\Classes"};
    const auto add = [&keys](const std::string& path) {
        if (!path.empty())
            keys.push_back(path);
    };
    add(PhysicalPath(HKEY_CURRENT_USER, nullptr));
    // Where it is a link (to HKUS\<SID>_Classes), the user's classes are
    // shown by HKCR; where it is a plain key, by HKCU.
    add(PhysicalPath(HKEY_CURRENT_USER, L"Software\\Classes"));
    if (currentConfigWalked)
        add(PhysicalPath(HKEY_CURRENT_CONFIG, nullptr));
    return keys;
}

void TSearchRegThread::Execute() {
    userEnvironment_ = ProcessEnvironment();
    machineEnvironment_ = MachineEnvironment(userEnvironment_);
    if (Mode == 7) {
        std::vector<std::string> skipped = IgnoreKeys;
        for (std::string& key : KeysWalkedUnderEarlierRoots(PlatformCode == 0))
            skipped.push_back(std::move(key));
        ignore_ = TIgnoreList(skipped);
    }
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
    abbreviation_ = abbreviation;
    environment_ = ReadWithMachineVariables(abbreviation_) ? &machineEnvironment_ : &userEnvironment_;
    Item.clear();
    SearchKey(root, std::string(), std::string(), 0);
}

// `keyPath` is empty for the root, else a backslash and the names down from
// it; `keyName` is the key's own name below `parent` (empty: the root itself).
// The key opens once, by its name below its parent's open handle, and stays
// open while its subkeys open below it in turn.
void TSearchRegThread::SearchKey(HKEY parent, const std::string& keyName, const std::string& keyPath, int depth) {
    TRegistry reg(kSearchAccess, REG_OPTION_OPEN_LINK);
    reg.SetRootKey(parent);
    if (!reg.OpenKey(keyName, false)) {
        // Listed by its parent but not opened: refused, or gone meanwhile
        // (which NoteUnreadable passes over), as the system tells.
        NoteUnreadable(Unreadable::Key, abbreviation_ + keyPath, static_cast<DWORD>(reg.LastError()));
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
            // Only a text with a reference in it can name Old through one.
            if (type == REG_EXPAND_SZ && text.find('%') != std::string_view::npos && !Terminated)
                SearchThroughVariables(name, text);
        } else if (type == REG_MULTI_SZ && Matches(std::string_view(data, size)) && !Terminated) {
            // The whole list at once first: a string holds Old only where the
            // list does, and most lists hold nothing of it.
            SearchMultiString(name, std::string_view(data, size));
        }
        return !Terminated;
    });

    const std::vector<TRegName> subkeys = reg.ListKeyNames(info);
    for (const TRegName& sub : subkeys) {
        if (Terminated)
            return;
        Item = sub.Text;
        if (Matches(sub.Text)) {
            Path = abbreviation_ + keyPath;
            Report(kSubTypeKey, sub.Text, std::string());
        }
        // A name that its UTF-8 form does not name again would open another
        // key, or none: what is below it cannot be read here.
        if (sub.Exact)
            SearchKey(reg.CurrentKey(), sub.Text, keyPath + "\\" + sub.Text, depth + 1);
        else
            NoteUnreadable(Unreadable::Key, abbreviation_ + keyPath + "\\" + sub.Text, ERROR_NO_UNICODE_TRANSLATION);
    }
}

// `text` is the list in UTF-8 as the accessor hands it over, its strings
// parted by NULs; in UTF-16 again it has the strings at the places the
// Registry has them.
void TSearchRegThread::SearchMultiString(std::string_view name, std::string_view text) {
    const std::wstring wide = Utf8ToWide(text);
    const std::string_view units(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    for (const TMultiStringHit& hit : FindInMultiString(units, SearchUpper)) {
        if (Terminated)
            return;
        Report(kSubTypeMultiString, ValueTextContext(name, hit.Text), std::string(name));
    }
}

void TSearchRegThread::SearchThroughVariables(std::string_view name, std::string_view text) {
    // Most references name nothing of Old: the expansion tells before the
    // closer look.
    if (!Matches(ExpandText(text, *environment_)))
        return;
    for (const TExpandHit& hit : FindInExpandText(text, SearchUpper, *environment_)) {
        if (hit.Spelling == TExpandSpelling::Variable) {
            // One row for the text: its rewrite takes every such hit in it.
            Report(kSubTypeEnvData, ValueTextContext(name, text), std::string(name));
            return;
        }
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
