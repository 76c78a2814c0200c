// The Registry accessor: one root and at most one open key, over the wide
// functions of advapi32 with names and text in UTF-8, with failures raised as ERegistryException.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles.h"
#include "platform/registry_key_path.h"

namespace movix {

// Every Registry failure that the accessor raises. The messages are
// "Failed to create key %s", "Failed to get data for '%s'", "Failed to set
// data for '%s'" and "Invalid data type for '%s'", with the key path or value
// name as given.
// Code() is the system's error code of the failure (ERROR_ACCESS_DENIED only
// when access was denied), 0 when the data was there but not of the type
// asked for.
class ERegistryException : public std::runtime_error {
  public:
    explicit ERegistryException(const std::string& message, LONG code = 0) : std::runtime_error(message), code_(code) {}
    LONG Code() const { return code_; }

  private:
    LONG code_;
};

// The value types the program tells apart; Unknown is any other type and a
// missing value.
enum class TRegDataType { Unknown, String, ExpandString, Integer, Binary };

// A value's type and data bytes exactly as stored.
struct TRegRawValue {
    DWORD Type = REG_NONE;
    std::string Bytes;
    bool operator==(const TRegRawValue& o) const { return Type == o.Type && Bytes == o.Bytes; }
};

// What a key holds and its longest names and data, from one call.
struct TRegKeyInfo {
    DWORD subkeys = 0;
    DWORD maxSubkeyLen = 0;  // characters
    DWORD values = 0;
    DWORD maxValueNameLen = 0;  // characters
    DWORD maxValueLen = 0;      // bytes
};

// A name as the Registry lists it, in UTF-8, and whether that UTF-8 names
// it again: a name with an unpaired surrogate, which UTF-8 cannot carry,
// reads with U+FFFD in its place and opens another key, or none.
struct TRegName {
    std::string Text;
    bool Exact = true;
};

// Path rules: a path that begins with a backslash counts from the root; any
// other, the empty one included, counts from the open key, or from the root
// when none is open. Value operations work on the open key, or on the root
// when none is open.
//
// Keys open with the accessor's access, full access (KEY_ALL_ACCESS) unless
// made with less: asking for more than a caller uses makes the open fail
// where the user may only read (HKLM for a standard user), so a reader asks
// for reading only and a writer for what it writes.
class TRegistry {
  public:
    TRegistry() = default;  // HKEY_CURRENT_USER, no key open, full access
    // `openOptions` REG_OPTION_OPEN_LINK opens a Registry link as the key it
    // is (a value "SymbolicLinkValue" and nothing below) instead of the key
    // it points to.
    explicit TRegistry(REGSAM access, DWORD openOptions = 0) : access_(access), openOptions_(openOptions) {}
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const { return root_; }
    // Closes the open key.
    void SetRootKey(HKEY root);
    // The open key, or null.
    HKEY CurrentKey() const { return current_.get(); }
    // The open key's path below the root, without a leading backslash; empty
    // for the root itself and when no key is open.
    const std::string& CurrentPath() const { return currentPath_; }

    // Opens `path`, creating it when `canCreate` is set and the path is not
    // empty. On failure the key open before stays open.
    bool OpenKey(const std::string& path, bool canCreate);
    void CloseKey();
    // Creates `path` (an existing key is success) and leaves the open key as
    // it is. Raises "Failed to create key %s".
    void CreateKey(const std::string& path);
    // The system's error code of the last open, create, delete or existence
    // check that failed (as the fault hook gave it, when one did); kept until
    // the next failure.
    LONG LastError() const { return lastError_; }
    REGSAM Access() const { return access_; }
    // Keys opened from now on open with `access`; the open key stays open
    // with what it was opened with.
    void SetAccess(REGSAM access) { access_ = access; }

    // True only when the key opens with the accessor's access.
    bool KeyExists(const std::string& path) const;
    // Deletes the key with everything below it, its subkeys depth first.
    // False when the key, or anything below it, could not be deleted (what
    // could be is gone).
    bool DeleteKey(const std::string& path);

    bool ValueExists(const std::string& name) const;
    TRegDataType GetDataType(const std::string& name) const;
    // The data's size in bytes, -1 when the value is missing.
    long GetDataSize(const std::string& name) const;

    // The text of a REG_SZ or REG_EXPAND_SZ value up to its first NUL; empty
    // when the value is missing or has no data. Raises "Invalid data type for
    // '%s'" for another type and "Failed to get data for '%s'".
    std::string ReadString(const std::string& name) const;
    // Writes the text with its terminating NUL as REG_SZ / REG_EXPAND_SZ.
    // Raises "Failed to set data for '%s'".
    void WriteString(const std::string& name, const std::string& text);
    void WriteExpandString(const std::string& name, const std::string& text);

    // A value's type and bytes, unchanged. The ...A functions would pass
    // string data through the code page, which does not keep data that is
    // not well-formed text (odd lengths, stray halves of characters), so raw
    // data travels through the wide functions with the name converted.
    // Raises "Failed to get data for '%s'" (also for a missing value) and
    // "Failed to set data for '%s'".
    TRegRawValue ReadRaw(const std::string& name) const;
    void WriteRaw(const std::string& name, const TRegRawValue& value);

    bool DeleteValue(const std::string& name);

    // Names in the Registry's enumeration order; the default value, when it
    // is set, is listed under the empty name.
    std::vector<std::string> GetKeyNames() const;
    std::vector<std::string> GetValueNames() const;

    // The open key's counts and longest lengths (RegQueryInfoKey); a walk
    // asks once and hands the answer to the listings below.
    bool GetKeyInfo(TRegKeyInfo& info) const;
    std::vector<std::string> GetKeyNames(const TRegKeyInfo& info) const;
    // The same, each name told exact or not.
    std::vector<TRegName> ListKeyNames(const TRegKeyInfo& info) const;

    // Every value of the open key with its name, type and data, each read by
    // one call (a listing of names followed by a read of each would cost
    // twice the calls, each a round trip to the Registry's keeper). A value
    // that cannot be read is passed over. Buffers are sized once for the
    // key and grow only when a value grew meanwhile. Stops early when the
    // visitor returns false.
    using ValueVisitor = std::function<bool(std::string_view name, DWORD type, const char* data, std::size_t size)>;
    void ForEachValue(const ValueVisitor& visit) const;
    void ForEachValue(const TRegKeyInfo& info, const ValueVisitor& visit) const;

  private:
    HKEY BaseKey(bool relative) const;

    HKEY root_ = HKEY_CURRENT_USER;
    REGSAM access_ = KEY_ALL_ACCESS;
    DWORD openOptions_ = 0;
    RegKey current_;
    std::string currentPath_;
    mutable LONG lastError_ = ERROR_SUCCESS;
};

// Test seam for failures that a test cannot provoke through the Registry
// itself. When set, the hook is asked before each named operation and
// returns the Win32 error to fail with, or 0 to let it run. Never set by the
// program itself.
enum class RegOp { OpenKey, CreateKey, QueryValue, SetValue, DeleteValue, DeleteKey, SetSecurity };
using RegFaultHook = std::function<LONG(RegOp op, const std::string& name)>;
void SetRegistryFaultHookForTest(RegFaultHook hook);

// Test seam helper: the error the hook holds for `op` on `name`, 0 when none.
LONG RegistryFaultFor(RegOp op, const std::string& name);

// Deletes the subkey `sub` of `base` with everything below it, its subkeys
// depth first (names exactly as the Registry holds them). Goes on past a
// part that cannot be deleted, so that as much goes as can; false then.
// A Registry link is never followed: one met below `sub` stays, with what
// it points to, and makes the result false (`sub` itself then stays too).
bool DeleteKeyTree(HKEY base, const std::wstring& sub);

// The value names (`values`) or the subkey names of `key`, wide and exact,
// in enumeration order; none when the key cannot be asked.
std::vector<std::wstring> WideNames(HKEY key, bool values);

// Whether the subkey `sub` of `base` is a Registry link (a key made with
// REG_OPTION_CREATE_LINK, whose value "SymbolicLinkValue" of type REG_LINK
// names another key). A key that does not open to be asked counts as none.
bool IsRegistryLink(HKEY base, const std::wstring& sub);

}  // namespace movix
