#include "targets/registry_replace_win.h"

#include <initializer_list>
#include <optional>
#include <utility>

#include "engine/strings.h"
#include "platform/handles.h"
#include "targets/registry_paths.h"
#include "targets/registry_win.h"

namespace movix {

namespace {

// ---- copying a key exactly --------------------------------------------------
// The copy works on the wide functions throughout, so that names and string
// data travel as the Registry holds them, without a round trip through the
// code page.

std::vector<std::wstring> WideNames(HKEY key, bool values) {
    std::vector<std::wstring> names;
    DWORD subkeys = 0, maxSubkey = 0, count = 0, maxValueName = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &count, &maxValueName,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    const DWORD n = values ? count : subkeys;
    std::wstring buffer((values ? maxValueName : maxSubkey) + 1, L'\0');
    for (DWORD i = 0; i < n; ++i) {
        LONG r = ERROR_MORE_DATA;
        DWORD len = 0;
        for (int attempt = 0; attempt < 2 && r == ERROR_MORE_DATA; ++attempt) {
            if (attempt > 0)
                buffer.assign(16384, L'\0');
            len = static_cast<DWORD>(buffer.size());
            r = values ? ::RegEnumValueW(key, i, &buffer[0], &len, nullptr, nullptr, nullptr, nullptr)
                       : ::RegEnumKeyExW(key, i, &buffer[0], &len, nullptr, nullptr, nullptr, nullptr);
        }
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r == ERROR_SUCCESS)
            names.emplace_back(buffer.data(), len);
    }
    return names;
}

void CopyValues(HKEY from, HKEY to) {
    for (const std::wstring& name : WideNames(from, true)) {
        const std::string shown = AnsiFromWide(name);
        if (RegistryFaultFor(RegOp::QueryValue, shown) != 0)
            throw ERegistryException("Failed to get data for '" + shown + "'");
        DWORD type = REG_NONE, size = 0;
        if (::RegQueryValueExW(from, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            throw ERegistryException("Failed to get data for '" + shown + "'");
        std::string bytes(size, '\0');
        LONG r = ERROR_MORE_DATA;
        for (int attempt = 0; attempt < 4 && r == ERROR_MORE_DATA; ++attempt) {
            if (attempt > 0)
                bytes.assign(size > bytes.size() ? size : bytes.size() * 2 + 16, '\0');
            size = static_cast<DWORD>(bytes.size());
            r = ::RegQueryValueExW(from, name.c_str(), nullptr, &type,
                                   bytes.empty() ? nullptr : reinterpret_cast<BYTE*>(&bytes[0]), &size);
        }
        if (r != ERROR_SUCCESS)
            throw ERegistryException("Failed to get data for '" + shown + "'");
        bytes.resize(size);
        r = RegistryFaultFor(RegOp::SetValue, shown);
        if (r == 0)
            r = ::RegSetValueExW(to, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()), size);
        if (r != ERROR_SUCCESS)
            throw ERegistryException("Failed to set data for '" + shown + "'");
    }
}

// Copies the values and subkeys of `from` into `to` (whose path, for
// messages, is `toPath`). False when a subkey did not open with full access
// and was left out.
bool CopyTree(HKEY from, HKEY to, const std::string& toPath) {
    CopyValues(from, to);
    bool complete = true;
    for (const std::wstring& name : WideNames(from, false)) {
        const std::string path = toPath + "\\" + AnsiFromWide(name);
        HKEY rawFrom = nullptr;
        if (::RegOpenKeyExW(from, name.c_str(), 0, KEY_ALL_ACCESS, &rawFrom) != ERROR_SUCCESS) {
            complete = false;
            continue;
        }
        RegKey sub(rawFrom);
        HKEY rawTo = nullptr;
        LONG r = RegistryFaultFor(RegOp::CreateKey, path);
        if (r == 0)
            r = ::RegCreateKeyExW(to, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  &rawTo, nullptr);
        if (r != ERROR_SUCCESS)
            throw ERegistryException("Failed to create key " + path);
        RegKey target(rawTo);
        complete = CopyTree(sub.get(), target.get(), path) && complete;
    }
    return complete;
}

// Whether a subkey of the name is there at all, whatever access it grants.
bool SubkeyPresent(HKEY parent, const std::wstring& name) {
    HKEY raw = nullptr;
    const LONG r = ::RegOpenKeyExW(parent, name.c_str(), 0, KEY_QUERY_VALUE, &raw);
    if (r == ERROR_SUCCESS)
        ::RegCloseKey(raw);
    return r != ERROR_FILE_NOT_FOUND;
}

HKEY OpenKeyOf(TRegistry& reg) {
    return reg.CurrentKey() != nullptr ? reg.CurrentKey() : reg.RootKey();
}

// ---- the replacement run ------------------------------------------------------

void ProcessPendingMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: the message loop must still see it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

class GroupReplacer {
  public:
    GroupReplacer(TRegistry& reg,
                  const std::string& oldAddr,
                  const std::string& newAddr,
                  bool caseOnly,
                  const TLogLine& log)
        : reg_(reg), old_(oldAddr), new_(newAddr), caseOnly_(caseOnly), log_(log) {}

    void Apply(const std::string& key, const TReplaceHit& hit) {
        key_ = &key;
        switch (hit.SubType) {
            case kSubTypeKey:
                Subkey(hit);
                break;
            case kSubTypeValueName:
                ValueName(hit);
                break;
            case kSubTypeData:
            case kSubTypeExpandData:
                ValueText(hit);
                break;
            default:
                break;
        }
    }

  private:
    std::string Replaced(std::string s) const {
        ReplaceAllText(s, old_, new_);
        return s;
    }

    void Lines(std::initializer_list<std::string> lines) {
        log_("KEY: " + *key_);
        for (const std::string& line : lines)
            log_(line);
    }

    void Subkey(const TReplaceHit& hit) {
        const std::string& oldName = hit.Text;
        const std::string newName = Replaced(oldName);
        const auto notChanged = [&](const char* problem) {
            Lines({"  old subkey: " + oldName, " NOT CHANGED: " + newName, problem});
        };
        const char* const exists =
            caseOnly_ ? " (key differs only in case - OK)" : "*****  PROBLEM - key already exists!";
        if (newName.find('\\') != std::string::npos) {
            notChanged("*****  PROBLEM - a key name cannot hold a backslash!");
            return;
        }
        if (SubkeyPresent(OpenKeyOf(reg_), WideFromAnsi(newName))) {
            notChanged(exists);
            return;
        }
        switch (MoveRegistryKey(reg_, oldName, newName)) {
            case TRenameOutcome::Done:
                Lines({"  old subkey: " + oldName, "  new subkey: " + newName});
                break;
            case TRenameOutcome::TargetExists:
                notChanged(exists);
                break;
            case TRenameOutcome::NotFound:
                notChanged("*****  PROBLEM - key not found or not accessible!");
                break;
            case TRenameOutcome::Incomplete:
                notChanged("*****  PROBLEM - a subkey below it is not accessible, key not moved!");
                break;
            case TRenameOutcome::InvalidName:
                notChanged("*****  PROBLEM - a key name cannot hold a backslash!");
                break;
            case TRenameOutcome::OldRemains:
                Lines({"  old subkey: " + oldName, "  new subkey: " + newName,
                       "*****  PROBLEM - old key could not be deleted!"});
                break;
        }
    }

    void ValueName(const TReplaceHit& hit) {
        const std::string oldName = hit.ValueName ? *hit.ValueName : hit.Text;
        const std::string newName = Replaced(oldName);
        const auto notChanged = [&](const char* problem) {
            Lines({"   old value: " + hit.Text, " NOT CHANGED: " + newName, problem});
        };
        const char* const exists =
            caseOnly_ ? " (value differs only in case - OK)" : "*****  PROBLEM - value already exists!";
        if (reg_.ValueExists(newName)) {
            notChanged(exists);
            return;
        }
        switch (RenameRegistryValue(reg_, oldName, newName)) {
            case TRenameOutcome::Done:
                Lines({"  old value: " + hit.Text, "  new value: " + newName});
                break;
            case TRenameOutcome::TargetExists:
                notChanged(exists);
                break;
            case TRenameOutcome::NotFound:
            case TRenameOutcome::Incomplete:
            case TRenameOutcome::InvalidName:
                notChanged("*****  PROBLEM - value not found!");
                break;
            case TRenameOutcome::OldRemains:
                Lines({"  old value: " + hit.Text, "  new value: " + newName,
                       "*****  PROBLEM - old value could not be deleted!"});
                break;
        }
    }

    void ValueText(const TReplaceHit& hit) {
        const std::optional<TValueTextHit> parts = SplitValueTextHit(hit.Text, hit.ValueName);
        if (!parts)
            return;
        const std::string newText = Replaced(parts->OldText);
        try {
            if (hit.SubType == kSubTypeData)
                reg_.WriteString(parts->ValueName, newText);
            else
                reg_.WriteExpandString(parts->ValueName, newText);
        } catch (const ERegistryException&) {
            // The text stays as it was; the hit is passed over without a
            // line and the next one follows.
            return;
        }
        Lines({"   old data: " + hit.Text, "   new data: " + newText});
    }

    TRegistry& reg_;
    const std::string& old_;
    const std::string& new_;
    const bool caseOnly_;
    const TLogLine& log_;
    const std::string* key_ = nullptr;
};

}  // namespace

TRenameOutcome MoveRegistryKey(TRegistry& reg, const std::string& oldName, const std::string& newName) {
    // A key's name cannot hold a backslash: the Registry would take it for a
    // path and make a chain of keys, perhaps inside the very key being moved.
    if (newName.empty() || newName.find('\\') != std::string::npos)
        return TRenameOutcome::InvalidName;
    HKEY parent = OpenKeyOf(reg);
    const std::wstring wold = WideFromAnsi(oldName);
    const std::wstring wnew = WideFromAnsi(newName);

    HKEY raw = nullptr;
    if (RegistryFaultFor(RegOp::OpenKey, oldName) != 0 ||
        ::RegOpenKeyExW(parent, wold.c_str(), 0, KEY_ALL_ACCESS, &raw) != ERROR_SUCCESS)
        return TRenameOutcome::NotFound;
    RegKey from(raw);
    if (SubkeyPresent(parent, wnew))
        return TRenameOutcome::TargetExists;

    raw = nullptr;
    DWORD disposition = 0;
    LONG r = RegistryFaultFor(RegOp::CreateKey, newName);
    if (r == 0)
        r = ::RegCreateKeyExW(parent, wnew.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &raw,
                              &disposition);
    if (r != ERROR_SUCCESS)
        throw ERegistryException("Failed to create key " + newName);
    RegKey to(raw);
    if (disposition == REG_OPENED_EXISTING_KEY)
        return TRenameOutcome::TargetExists;  // came meanwhile: not ours to fill

    bool complete = false;
    try {
        complete = CopyTree(from.get(), to.get(), newName);
    } catch (...) {
        to.reset();
        DeleteKeyTree(parent, wnew);
        throw;
    }
    from.reset();
    to.reset();
    if (!complete) {
        // What could not be copied would be lost with the old key: the old
        // key stays whole and the partial copy goes.
        DeleteKeyTree(parent, wnew);
        return TRenameOutcome::Incomplete;
    }
    return reg.DeleteKey(oldName) ? TRenameOutcome::Done : TRenameOutcome::OldRemains;
}

TRenameOutcome RenameRegistryValue(TRegistry& reg, const std::string& oldName, const std::string& newName) {
    if (!reg.ValueExists(oldName))
        return TRenameOutcome::NotFound;
    if (reg.ValueExists(newName))
        return TRenameOutcome::TargetExists;
    const TRegRawValue value = reg.ReadRaw(oldName);
    reg.WriteRaw(newName, value);
    return reg.DeleteValue(oldName) ? TRenameOutcome::Done : TRenameOutcome::OldRemains;
}

void ReplaceRegistry(std::vector<TReplaceGroup>& groups,
                     const std::string& oldAddr,
                     const std::string& newAddr,
                     HWND itemLabel,
                     const TLogLine& log) {
    if (groups.empty())
        return;
    log("");
    log("Updating Registry");
    const bool caseOnly =
        ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, oldAddr.c_str(), -1, newAddr.c_str(), -1) == CSTR_EQUAL;
    TRegistry reg;
    GroupReplacer replacer(reg, oldAddr, newAddr, caseOnly, log);
    // Last to first: descending key paths, so a key's own hits come before
    // the hit in its parent's group that moves it.
    for (auto group = groups.rbegin(); group != groups.rend(); ++group) {
        if (itemLabel != nullptr)
            ::SetWindowTextA(itemLabel, group->Key.c_str());
        ProcessPendingMessages();

        const std::optional<TRegRoot> root = RootByFourthCharacter(group->Key);
        bool opened = false;
        if (root) {
            reg.SetRootKey(RootKeyOf(*root));
            // A leading backslash counts from the root; the bare backslash is
            // the root itself, never the key left open by the group before.
            const std::string_view path = KeyPathWithinRoot(group->Key);
            opened =
                reg.OpenKey(path.empty() ? std::string("\\") : "\\" + std::string(path.substr(path[0] == '\\')), false);
        }
        if (!opened) {
            log("***** Could not open key " + group->Key);
            continue;
        }
        for (std::size_t i : RegistryHitOrder(group->Hits))
            replacer.Apply(group->Key, group->Hits[i]);
    }
}

}  // namespace movix
