#include "platform/registry_win.h"

#include <utility>

#include "platform/wide_text_win.h"

namespace movix {

namespace {

RegFaultHook& FaultHook() {
    static RegFaultHook* hook = new RegFaultHook;
    return *hook;
}

// A path's text without the backslash that makes it count from the root.
struct SplitPath {
    bool relative;
    std::string rest;
};

SplitPath Split(const std::string& path) {
    if (!path.empty() && path[0] == '\\')
        return {false, path.substr(1)};
    return {true, path};
}

[[noreturn]] void RaiseGetFailed(const std::string& name, LONG code) {
    throw ERegistryException("Failed to get data for '" + name + "'", code);
}

[[noreturn]] void RaiseSetFailed(const std::string& name, LONG code) {
    throw ERegistryException("Failed to set data for '" + name + "'", code);
}

TRegDataType DataTypeOf(DWORD type) {
    switch (type) {
        case REG_SZ:
            return TRegDataType::String;
        case REG_EXPAND_SZ:
            return TRegDataType::ExpandString;
        case REG_DWORD:
            return TRegDataType::Integer;
        case REG_BINARY:
            return TRegDataType::Binary;
        default:
            return TRegDataType::Unknown;
    }
}

// Room for a name of `chars` UTF-16 units and its terminator.
DWORD NameRoom(DWORD chars) {
    return chars + 1;
}

// Names are at most 16,383 characters; a buffer past that helps nothing.
constexpr DWORD kMaxNameRoom = 16384 + 1;

// The text of string data as the wide functions hand it over (UTF-16 bytes),
// in the program's UTF-8; an odd last byte cannot be a character and is
// dropped.
std::string TextOfWideData(const char* data, std::size_t size) {
    return WideToUtf8(std::wstring_view(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t)));
}

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

LONG SetText(HKEY key, const std::string& name, DWORD type, const std::string& text) {
    const std::wstring wide = Utf8ToWide(text);
    return ::RegSetValueExW(key, Utf8ToWide(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(wide.c_str()),
                            static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

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

bool IsRegistryLink(HKEY base, const std::wstring& sub) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(base, sub.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return false;
    const RegKey key(raw);
    DWORD type = REG_NONE;
    const LONG r = ::RegQueryValueExW(key.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
    return r == ERROR_SUCCESS && type == REG_LINK;
}

bool DeleteKeyTree(HKEY base, const std::wstring& sub) {
    // Deleting through a link would delete (or empty) the key it points to,
    // which lies elsewhere and is not the caller's to delete.
    if (IsRegistryLink(base, sub))
        return false;
    bool ok = true;
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(base, sub.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &raw) ==
        ERROR_SUCCESS) {
        RegKey key(raw);
        for (const std::wstring& name : WideNames(key.get(), false))
            ok = DeleteKeyTree(key.get(), name) && ok;
    }
    return ok && ::RegDeleteKeyW(base, sub.c_str()) == ERROR_SUCCESS;
}

void SetRegistryFaultHookForTest(RegFaultHook hook) {
    FaultHook() = std::move(hook);
}

LONG RegistryFaultFor(RegOp op, const std::string& name) {
    const RegFaultHook& hook = FaultHook();
    return hook ? hook(op, name) : 0;
}

HKEY TRegistry::BaseKey(bool relative) const {
    return (relative && current_) ? current_.get() : root_;
}

void TRegistry::SetRootKey(HKEY root) {
    CloseKey();
    root_ = root;
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    const SplitPath p = Split(path);
    if ((lastError_ = RegistryFaultFor(RegOp::OpenKey, path)) != 0)
        return false;
    HKEY base = BaseKey(p.relative);
    HKEY raw = nullptr;
    LONG r;
    if (canCreate && !p.rest.empty())
        r = ::RegCreateKeyExW(base, Utf8ToWide(p.rest).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_, nullptr,
                              &raw, nullptr);
    else
        r = ::RegOpenKeyExW(base, Utf8ToWide(p.rest).c_str(), openOptions_, access_, &raw);
    if (r != ERROR_SUCCESS) {
        lastError_ = r;
        return false;
    }
    currentPath_ = ResolveKeyPath(current_ ? currentPath_ : std::string(), path);
    current_.reset(raw);
    return true;
}

void TRegistry::CloseKey() {
    current_.reset();
    currentPath_.clear();
}

void TRegistry::CreateKey(const std::string& path) {
    const SplitPath p = Split(path);
    HKEY raw = nullptr;
    LONG r = RegistryFaultFor(RegOp::CreateKey, path);
    if (r == 0)
        r = ::RegCreateKeyExW(BaseKey(p.relative), Utf8ToWide(p.rest).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              access_, nullptr, &raw, nullptr);
    if (r != ERROR_SUCCESS) {
        lastError_ = r;
        throw ERegistryException("Failed to create key " + path, r);
    }
    RegKey made(raw);
}

bool TRegistry::KeyExists(const std::string& path) const {
    const SplitPath p = Split(path);
    if ((lastError_ = RegistryFaultFor(RegOp::OpenKey, path)) != 0)
        return false;
    HKEY raw = nullptr;
    const LONG r = ::RegOpenKeyExW(BaseKey(p.relative), Utf8ToWide(p.rest).c_str(), openOptions_, access_, &raw);
    if (r != ERROR_SUCCESS) {
        lastError_ = r;
        return false;
    }
    RegKey key(raw);
    return true;
}

bool TRegistry::DeleteKey(const std::string& path) {
    const SplitPath p = Split(path);
    if ((lastError_ = RegistryFaultFor(RegOp::DeleteKey, path)) != 0)
        return false;
    return DeleteKeyTree(BaseKey(p.relative), Utf8ToWide(p.rest));
}

bool TRegistry::ValueExists(const std::string& name) const {
    return GetDataSize(name) >= 0;
}

TRegDataType TRegistry::GetDataType(const std::string& name) const {
    DWORD type = REG_NONE;
    if (::RegQueryValueExW(BaseKey(true), Utf8ToWide(name).c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
        return TRegDataType::Unknown;
    return DataTypeOf(type);
}

long TRegistry::GetDataSize(const std::string& name) const {
    DWORD size = 0;
    if (::RegQueryValueExW(BaseKey(true), Utf8ToWide(name).c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return -1;
    return static_cast<long>(size);
}

std::string TRegistry::ReadString(const std::string& name) const {
    if (const LONG fault = RegistryFaultFor(RegOp::QueryValue, name))
        RaiseGetFailed(name, fault);
    HKEY key = BaseKey(true);
    const std::wstring wname = Utf8ToWide(name);
    DWORD type = REG_NONE, size = 0;
    LONG r = ::RegQueryValueExW(key, wname.c_str(), nullptr, &type, nullptr, &size);
    if (r == ERROR_FILE_NOT_FOUND)
        return std::string();
    if (r != ERROR_SUCCESS)
        RaiseGetFailed(name, r);
    if (size == 0)
        return std::string();
    // The value may have grown since its size was asked.
    std::string data(size + 2, '\0');
    for (int attempt = 0;; ++attempt) {
        DWORD got = static_cast<DWORD>(data.size());
        r = ::RegQueryValueExW(key, wname.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &got);
        if (r == ERROR_SUCCESS) {
            data.resize(got);
            break;
        }
        if (r != ERROR_MORE_DATA || attempt == 4)
            RaiseGetFailed(name, r);
        data.assign(got > data.size() ? got + 2 : data.size() * 2, '\0');
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException("Invalid data type for '" + name + "'");
    const std::string text = TextOfWideData(data.data(), data.size());
    return std::string(TextUpToNul(text.data(), text.size()));
}

void TRegistry::WriteString(const std::string& name, const std::string& text) {
    LONG r = RegistryFaultFor(RegOp::SetValue, name);
    if (r == 0)
        r = SetText(BaseKey(true), name, REG_SZ, text);
    if (r != ERROR_SUCCESS)
        RaiseSetFailed(name, r);
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& text) {
    LONG r = RegistryFaultFor(RegOp::SetValue, name);
    if (r == 0)
        r = SetText(BaseKey(true), name, REG_EXPAND_SZ, text);
    if (r != ERROR_SUCCESS)
        RaiseSetFailed(name, r);
}

TRegRawValue TRegistry::ReadRaw(const std::string& name) const {
    if (const LONG fault = RegistryFaultFor(RegOp::QueryValue, name))
        RaiseGetFailed(name, fault);
    HKEY key = BaseKey(true);
    const std::wstring wname = Utf8ToWide(name);
    TRegRawValue value;
    DWORD size = 0;
    if (const LONG r = ::RegQueryValueExW(key, wname.c_str(), nullptr, &value.Type, nullptr, &size))
        RaiseGetFailed(name, r);
    value.Bytes.assign(size, '\0');
    for (int attempt = 0;; ++attempt) {
        DWORD got = static_cast<DWORD>(value.Bytes.size());
        BYTE* at = value.Bytes.empty() ? nullptr : reinterpret_cast<BYTE*>(&value.Bytes[0]);
        const LONG r = ::RegQueryValueExW(key, wname.c_str(), nullptr, &value.Type, at, &got);
        if (r == ERROR_SUCCESS) {
            value.Bytes.resize(got);
            return value;
        }
        if (r != ERROR_MORE_DATA || attempt == 4)
            RaiseGetFailed(name, r);
        value.Bytes.assign(got > value.Bytes.size() ? got : value.Bytes.size() * 2 + 16, '\0');
    }
}

void TRegistry::WriteRaw(const std::string& name, const TRegRawValue& value) {
    LONG r = RegistryFaultFor(RegOp::SetValue, name);
    if (r == 0) {
        const std::wstring wname = Utf8ToWide(name);
        r = ::RegSetValueExW(BaseKey(true), wname.c_str(), 0, value.Type,
                             reinterpret_cast<const BYTE*>(value.Bytes.data()), static_cast<DWORD>(value.Bytes.size()));
    }
    if (r != ERROR_SUCCESS)
        RaiseSetFailed(name, r);
}

bool TRegistry::DeleteValue(const std::string& name) {
    if ((lastError_ = RegistryFaultFor(RegOp::DeleteValue, name)) != 0)
        return false;
    const LONG r = ::RegDeleteValueW(BaseKey(true), Utf8ToWide(name).c_str());
    if (r != ERROR_SUCCESS)
        lastError_ = r;
    return r == ERROR_SUCCESS;
}

bool TRegistry::GetKeyInfo(TRegKeyInfo& info) const {
    info = TRegKeyInfo();
    return ::RegQueryInfoKeyW(BaseKey(true), nullptr, nullptr, nullptr, &info.subkeys, &info.maxSubkeyLen, nullptr,
                              &info.values, &info.maxValueNameLen, &info.maxValueLen, nullptr,
                              nullptr) == ERROR_SUCCESS;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    TRegKeyInfo info;
    return GetKeyInfo(info) ? GetKeyNames(info) : std::vector<std::string>();
}

std::vector<std::string> TRegistry::GetKeyNames(const TRegKeyInfo& info) const {
    std::vector<std::string> names;
    for (TRegName& name : ListKeyNames(info))
        names.push_back(std::move(name.Text));
    return names;
}

std::vector<TRegName> TRegistry::ListKeyNames(const TRegKeyInfo& info) const {
    std::vector<TRegName> names;
    HKEY key = BaseKey(true);
    names.reserve(info.subkeys);
    std::wstring buffer(NameRoom(info.maxSubkeyLen), L'\0');
    for (DWORD i = 0; i < info.subkeys; ++i) {
        DWORD len = static_cast<DWORD>(buffer.size());
        LONG r = ::RegEnumKeyExW(key, i, &buffer[0], &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA) {
            buffer.assign(kMaxNameRoom, L'\0');
            len = static_cast<DWORD>(buffer.size());
            r = ::RegEnumKeyExW(key, i, &buffer[0], &len, nullptr, nullptr, nullptr, nullptr);
        }
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r == ERROR_SUCCESS) {
            const std::wstring_view name(buffer.data(), len);
            names.push_back({WideToUtf8(name), ConvertsExactly(name)});
        }
    }
    return names;
}

std::vector<std::string> TRegistry::GetValueNames() const {
    std::vector<std::string> names;
    HKEY key = BaseKey(true);
    TRegKeyInfo info;
    if (!GetKeyInfo(info))
        return names;
    names.reserve(info.values);
    std::wstring buffer(NameRoom(info.maxValueNameLen), L'\0');
    for (DWORD i = 0; i < info.values; ++i) {
        DWORD len = static_cast<DWORD>(buffer.size());
        LONG r = ::RegEnumValueW(key, i, &buffer[0], &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA) {
            buffer.assign(kMaxNameRoom, L'\0');
            len = static_cast<DWORD>(buffer.size());
            r = ::RegEnumValueW(key, i, &buffer[0], &len, nullptr, nullptr, nullptr, nullptr);
        }
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r == ERROR_SUCCESS)
            names.push_back(WideToUtf8(std::wstring_view(buffer.data(), len)));
    }
    return names;
}

void TRegistry::ForEachValue(const ValueVisitor& visit) const {
    TRegKeyInfo info;
    if (GetKeyInfo(info))
        ForEachValue(info, visit);
}

void TRegistry::ForEachValue(const TRegKeyInfo& info, const ValueVisitor& visit) const {
    if (info.values == 0)
        return;
    HKEY key = BaseKey(true);
    const RegFaultHook& hook = FaultHook();
    std::wstring name(NameRoom(info.maxValueNameLen), L'\0');
    std::string data(info.maxValueLen + 4, '\0');
    std::string valueName, text;
    for (DWORD i = 0; i < info.values; ++i) {
        DWORD type = REG_NONE;
        DWORD nameLen = 0, dataLen = 0;
        LONG r = ERROR_MORE_DATA;
        for (int attempt = 0; attempt < 4 && r == ERROR_MORE_DATA; ++attempt) {
            if (attempt > 0) {
                // The value grew since the key was sized: make room and read
                // it again.
                if (name.size() < kMaxNameRoom)
                    name.assign(kMaxNameRoom, L'\0');
                data.assign(dataLen > data.size() ? dataLen + 4 : data.size() * 2, '\0');
            }
            nameLen = static_cast<DWORD>(name.size());
            dataLen = static_cast<DWORD>(data.size());
            r = ::RegEnumValueW(key, i, &name[0], &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                                &dataLen);
        }
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r == ERROR_SUCCESS) {
            valueName = WideToUtf8(std::wstring_view(name.data(), nameLen));
            if (hook && hook(RegOp::QueryValue, valueName) != 0)
                continue;
            // Text reaches the visitor in UTF-8, as every other text of the
            // program; other data as stored.
            bool more;
            if (IsTextType(type)) {
                text = TextOfWideData(data.data(), dataLen);
                more = visit(valueName, type, text.data(), text.size());
            } else {
                more = visit(valueName, type, data.data(), dataLen);
            }
            if (!more)
                return;
        }
        // Any other failure: the value vanished or cannot be read now; it is
        // passed over and the others are still visited.
    }
}

}  // namespace movix
