// The move of a Registry key to a new name (MoveRegistryKey): the whole tree
// copied exactly, its security kept, and the old key deleted only then.
#include "targets/registry_replace_win.h"

#include <cstring>
#include <initializer_list>
#include <optional>
#include <map>
#include <set>
#include <utility>

#include "core/command_lines.h"
#include "core/strings.h"
#include "platform/wide_text_win.h"
#include "platform/handles.h"
#include "platform/locale_text_win.h"
#include "platform/message_pump_win.h"
#include "targets/registry_paths.h"
#include "targets/registry_search_win.h"
#include "targets/registry_spellings.h"
#include "platform/registry_win.h"

namespace movix {

namespace {

// ---- copying a key exactly --------------------------------------------------
// The copy works on the wide functions throughout, so that names and string
// data travel as the Registry holds them, without a round trip through the
// code page.

void CopyValues(HKEY from, HKEY to) {
    for (const std::wstring& name : WideNames(from, true)) {
        const std::string shown = WideToUtf8(name);
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

// A key of the moved tree opens for reading (its security included) and for
// being deleted once copied; a link opens as the link, never as the key it
// points to.
constexpr REGSAM kMoveSourceAccess = KEY_READ | DELETE;
// A key the move makes is filled, and given the original's access list last
// (the maker of a key may always change its access list; changing its owner
// is asked for only where the owner differs).
constexpr REGSAM kMoveTargetAccess = KEY_READ | KEY_WRITE | WRITE_DAC;
// What of a key's security moves with it. The audit list (SACL) would need
// a privilege the program does not take; it stays with the system's default.
constexpr SECURITY_INFORMATION kKeptSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

bool IsLinkKey(HKEY key) {
    DWORD type = REG_NONE;
    return ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

// The key's owner, group and access list in self-relative form; empty when
// they cannot be read.
std::string KeySecurity(HKEY key) {
    DWORD size = 0;
    if (::RegGetKeySecurity(key, kKeptSecurity, nullptr, &size) != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return std::string();
    std::string sd(size, '\0');
    if (::RegGetKeySecurity(key, kKeptSecurity, &sd[0], &size) != ERROR_SUCCESS)
        return std::string();
    sd.resize(size);
    return sd;
}

// Why a move stops before anything of the old key is deleted, and the key
// (path below the open key) that made it stop.
struct MoveRefused {
    TRenameOutcome outcome;
    std::string key;
};

// Opens the subkey `name` of a key of the moved tree; refuses a link and a
// key that does not open with what the move needs.
RegKey OpenMoveSource(HKEY parent, const std::wstring& name, const std::string& path) {
    HKEY raw = nullptr;
    if (RegistryFaultFor(RegOp::OpenKey, path) != 0 ||
        ::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, kMoveSourceAccess, &raw) != ERROR_SUCCESS)
        throw MoveRefused{TRenameOutcome::Incomplete, path};
    RegKey key(raw);
    if (IsLinkKey(key.get()))
        throw MoveRefused{TRenameOutcome::LinkInside, path};
    return key;
}

// Walks the tree below `from` (whose path is `path`) as the copy will, and
// refuses it before anything is made.
void CheckTree(HKEY from, const std::string& path) {
    for (const std::wstring& name : WideNames(from, false)) {
        const std::string sub = path + "\\" + WideToUtf8(name);
        RegKey key = OpenMoveSource(from, name, sub);
        CheckTree(key.get(), sub);
    }
}

// A key the move made, with the security it came with and the one it is to
// be given.
struct MadeKey {
    RegKey key;
    std::string path;
    std::string original;
    std::string made;
    SECURITY_INFORMATION parts = 0;  // what was set of `original`
    bool ownerWritable = false;      // `key` was opened to change the owner
};

RegKey CreateMoveTarget(HKEY parent, const std::wstring& name, const std::string& path) {
    HKEY raw = nullptr;
    LONG r = RegistryFaultFor(RegOp::CreateKey, path);
    if (r == 0)
        r = ::RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kMoveTargetAccess, nullptr,
                              &raw, nullptr);
    if (r != ERROR_SUCCESS)
        throw ERegistryException("Failed to create key " + path);
    return RegKey(raw);
}

// Copies the values and subkeys of `from` (path `fromPath`) into `to` (path
// `toPath`), noting every key made, children before parents, in `made`.
void CopyTree(HKEY from, HKEY to, const std::string& fromPath, const std::string& toPath, std::vector<MadeKey>& made) {
    CopyValues(from, to);
    for (const std::wstring& name : WideNames(from, false)) {
        const std::string shown = WideToUtf8(name);
        RegKey sub = OpenMoveSource(from, name, fromPath + "\\" + shown);
        RegKey target = CreateMoveTarget(to, name, toPath + "\\" + shown);
        CopyTree(sub.get(), target.get(), fromPath + "\\" + shown, toPath + "\\" + shown, made);
        made.push_back({std::move(target), fromPath + "\\" + shown, KeySecurity(sub.get()), std::string(), 0, false});
    }
}

// The owner and group bits for what of them differs between two
// security descriptors.
SECURITY_INFORMATION OwnerAndGroupDiffering(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
    auto* sdA = const_cast<char*>(a.data());
    auto* sdB = const_cast<char*>(b.data());
    SECURITY_INFORMATION parts = 0;
    PSID sidA = nullptr, sidB = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(sdA, &sidA, &defaulted) ||
        !::GetSecurityDescriptorOwner(sdB, &sidB, &defaulted) || sidA == nullptr || sidB == nullptr ||
        !::EqualSid(sidA, sidB))
        parts |= OWNER_SECURITY_INFORMATION;
    if (!::GetSecurityDescriptorGroup(sdA, &sidA, &defaulted) ||
        !::GetSecurityDescriptorGroup(sdB, &sidB, &defaulted) || sidA == nullptr || sidB == nullptr ||
        !::EqualSid(sidA, sidB))
        parts |= GROUP_SECURITY_INFORMATION;
    return parts;
}

// Sets `parts` of `security` on a key made by the move. Its owner and group
// are set only where they differ from the maker's: giving a key another
// owner takes a right (and perhaps a privilege) that its access list does
// not, so the key is opened again for that only when needed.
LONG SetMadeKeySecurity(MadeKey& m, SECURITY_INFORMATION parts, std::string& security) {
    if ((parts & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) != 0 && !m.ownerWritable) {
        HKEY raw = nullptr;
        const LONG r = ::RegOpenKeyExW(m.key.get(), L"", 0, READ_CONTROL | WRITE_DAC | WRITE_OWNER, &raw);
        if (r != ERROR_SUCCESS)
            return r;
        m.key.reset(raw);
        m.ownerWritable = true;
    }
    return ::RegSetKeySecurity(m.key.get(), parts, &security[0]);
}

// Gives every key made the security of its original. When one cannot take
// it, those already changed get back the security they were made with and
// the key is named in the refusal.
void KeepSecurity(std::vector<MadeKey>& made) {
    for (std::size_t i = 0; i < made.size(); ++i) {
        MadeKey& m = made[i];
        m.made = KeySecurity(m.key.get());
        LONG r = RegistryFaultFor(RegOp::SetSecurity, m.path);
        if (r == 0 && (m.original.empty() || m.made.empty()))
            r = ERROR_ACCESS_DENIED;
        if (r == 0) {
            m.parts = DACL_SECURITY_INFORMATION | OwnerAndGroupDiffering(m.original, m.made);
            r = SetMadeKeySecurity(m, m.parts, m.original);
        }
        if (r == 0) {
            // Wine gives a key that had no security of its own yet the
            // caller's owner and group along with a new access list.
            const SECURITY_INFORMATION more = OwnerAndGroupDiffering(m.original, KeySecurity(m.key.get()));
            if (more != 0) {
                m.parts |= more;
                r = SetMadeKeySecurity(m, m.parts, m.original);
            }
        }
        if (r != ERROR_SUCCESS) {
            for (std::size_t j = 0; j < i; ++j)
                SetMadeKeySecurity(made[j], made[j].parts, made[j].made);
            throw MoveRefused{TRenameOutcome::SecurityNotKept, m.path};
        }
    }
}

}  // namespace

TRenameOutcome MoveRegistryKey(TRegistry& reg,
                               const std::string& oldName,
                               const std::string& newName,
                               std::string* refusedKey) {
    // A key's name cannot hold a backslash: the Registry would take it for a
    // path and make a chain of keys, perhaps inside the very key being moved.
    if (newName.empty() || newName.find('\\') != std::string::npos)
        return TRenameOutcome::InvalidName;
    HKEY parent = OpenKeyOf(reg);
    const std::wstring wold = Utf8ToWide(oldName);
    const std::wstring wnew = Utf8ToWide(newName);

    std::vector<MadeKey> made;
    bool created = false;
    try {
        RegKey from;
        try {
            from = OpenMoveSource(parent, wold, oldName);
        } catch (const MoveRefused& refused) {
            if (refused.outcome == TRenameOutcome::Incomplete)
                return TRenameOutcome::NotFound;
            throw;
        }
        if (SubkeyPresent(parent, wnew))
            return TRenameOutcome::TargetExists;
        // Everything is looked at before anything is made: a link or a key
        // that cannot be moved stops the move with nothing changed.
        CheckTree(from.get(), oldName);

        HKEY raw = nullptr;
        DWORD disposition = 0;
        LONG r = RegistryFaultFor(RegOp::CreateKey, newName);
        if (r == 0)
            r = ::RegCreateKeyExW(parent, wnew.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kMoveTargetAccess, nullptr,
                                  &raw, &disposition);
        if (r != ERROR_SUCCESS)
            throw ERegistryException("Failed to create key " + newName);
        RegKey to(raw);
        if (disposition == REG_OPENED_EXISTING_KEY)
            return TRenameOutcome::TargetExists;  // came meanwhile: not ours to fill
        created = true;
        CopyTree(from.get(), to.get(), oldName, newName, made);
        made.push_back({std::move(to), oldName, KeySecurity(from.get()), std::string(), 0, false});
        KeepSecurity(made);
    } catch (const MoveRefused& refused) {
        // What could not be copied would be lost with the old key: the old
        // key stays whole and the partial copy goes.
        made.clear();
        if (created)
            DeleteKeyTree(parent, wnew);
        if (refusedKey != nullptr)
            *refusedKey = refused.key;
        return refused.outcome;
    } catch (...) {
        made.clear();
        if (created)
            DeleteKeyTree(parent, wnew);
        throw;
    }
    made.clear();
    return reg.DeleteKey(oldName) ? TRenameOutcome::Done : TRenameOutcome::OldRemains;
}

}  // namespace movix
