// Shared by the Registry tests: uniquely named keys planted in the real
// Registry (removed at the end of each test), keys made inaccessible through
// their security, exact snapshots of a key tree, and Wine's own reg.exe
// export of a key.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace movix_test {

// A token found nowhere else in the Registry.
inline std::string UniqueToken(const std::string& tag) {
    static int counter = 0;
    return tag + std::to_string(::GetCurrentProcessId()) + "x" + std::to_string(::GetTickCount()) + "n" +
           std::to_string(++counter);
}

inline std::wstring Wide(const std::string& s) {
    if (s.empty())
        return std::wstring();
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

inline std::string Narrow(const std::wstring& w, UINT codePage = CP_UTF8) {
    if (w.empty())
        return std::string();
    const int n =
        ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

inline std::string Bytes(const void* data, std::size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

// A string's bytes as REG_SZ data through the wide functions: UTF-16 with
// its terminating NUL.
inline std::string Utf16Sz(const std::string& text) {
    const std::wstring w = Wide(text);
    return Bytes(w.c_str(), (w.size() + 1) * sizeof(wchar_t));
}

// Opens (creating) a key below a root for the test's own use.
inline HKEY CreateTestKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    const LONG r = ::RegCreateKeyExW(root, Wide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                     nullptr, &key, nullptr);
    EXPECT_EQ(r, ERROR_SUCCESS) << path;
    return key;
}

inline void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes) {
    HKEY key = CreateTestKey(root, path);
    ASSERT_NE(key, nullptr);
    const LONG r = ::RegSetValueExW(key, Wide(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                    static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
    ASSERT_EQ(r, ERROR_SUCCESS) << path << " " << name;
}

inline void SetSz(HKEY root,
                  const std::string& path,
                  const std::string& name,
                  const std::string& text,
                  DWORD type = REG_SZ) {
    SetRaw(root, path, name, type, Utf16Sz(text));
}

inline void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    SetRaw(root, path, name, REG_DWORD, Bytes(&value, sizeof value));
}

// The value's type and bytes through the wide functions, or type ~0 when it
// is missing.
inline std::pair<DWORD, std::string> GetRaw(HKEY root, const std::string& path, const std::string& name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {~0u, std::string()};
    DWORD type = 0, size = 0;
    LONG r = ::RegQueryValueExW(key, Wide(name).c_str(), nullptr, &type, nullptr, &size);
    std::string bytes(size, '\0');
    if (r == ERROR_SUCCESS && size > 0)
        r = ::RegQueryValueExW(key, Wide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size);
    ::RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return {~0u, std::string()};
    bytes.resize(size);
    return {type, bytes};
}

// The text of a string value (up to its first NUL), or "<missing>".
inline std::string GetSz(HKEY root, const std::string& path, const std::string& name) {
    const auto raw = GetRaw(root, path, name);
    if (raw.first == ~0u)
        return "<missing>";
    std::wstring w(reinterpret_cast<const wchar_t*>(raw.second.data()), raw.second.size() / sizeof(wchar_t));
    const std::size_t nul = w.find(L'\0');
    if (nul != std::wstring::npos)
        w.resize(nul);
    return Narrow(w);
}

inline bool KeyPresent(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    const LONG r = ::RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_QUERY_VALUE, &key);
    if (r == ERROR_SUCCESS)
        ::RegCloseKey(key);
    return r != ERROR_FILE_NOT_FOUND;
}

inline bool ValuePresent(HKEY root, const std::string& path, const std::string& name) {
    return GetRaw(root, path, name).first != ~0u;
}

// A name in UTF-8 that tells every name apart: an unpaired half of a
// surrogate pair, which UTF-8 cannot carry, is written <D800>.
inline std::string ExactName(const std::wstring& w) {
    std::string out;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const wchar_t c = w[i];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF;
        if (pair) {
            out += Narrow(w.substr(i, 2));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%04X>", static_cast<unsigned>(c));
            out += hex;
        } else {
            out += Narrow(std::wstring(1, c));
        }
    }
    return out;
}

// Everything below a key, exactly: relative key path -> value name ->
// (type, bytes). Names as the Registry holds them (UTF-8 here, by ExactName).
using TreeSnapshot = std::map<std::string, std::map<std::string, std::pair<DWORD, std::string>>>;

inline void SnapshotInto(HKEY key, const std::string& rel, TreeSnapshot& out) {
    auto& values = out[rel];
    wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = 16384, type = 0, size = 0;
        if (::RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::string bytes(size, '\0');
        nameLen = 16384;
        ::RegEnumValueW(key, i, name, &nameLen, nullptr, &type, size ? reinterpret_cast<BYTE*>(&bytes[0]) : nullptr,
                        &size);
        values[ExactName(std::wstring(name, nameLen))] = {type, bytes};
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = 16384;
        if (::RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::wstring sub(name, nameLen);
        HKEY child = nullptr;
        const std::string childRel = (rel.empty() ? "" : rel + "\\") + ExactName(sub);
        if (::RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) {
            out[childRel + " <no access>"];
            continue;
        }
        SnapshotInto(child, childRel, out);
        ::RegCloseKey(child);
    }
}

inline TreeSnapshot Snapshot(HKEY root, const std::string& path) {
    TreeSnapshot out;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    SnapshotInto(key, "", out);
    ::RegCloseKey(key);
    return out;
}

// A key (with a unique name) planted under a root for one test; removed with
// everything below it when the test ends, locked subkeys included.
class PlantedKey {
  public:
    PlantedKey(HKEY root, const std::string& parent, const std::string& tag)
        : root_(root), name_(UniqueToken(tag)), path_(parent.empty() ? name_ : parent + "\\" + name_) {
        HKEY key = CreateTestKey(root_, path_);
        if (key != nullptr)
            ::RegCloseKey(key);
    }
    ~PlantedKey() {
        for (HKEY locked : locked_) {
            PSECURITY_DESCRIPTOR sd = nullptr;
            if (::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KA;;;WD)", SDDL_REVISION_1, &sd,
                                                                       nullptr)) {
                ::RegSetKeySecurity(locked, DACL_SECURITY_INFORMATION, sd);
                ::LocalFree(sd);
            }
            ::RegCloseKey(locked);
        }
        ::RegDeleteTreeW(root_, Wide(path_).c_str());
        ::RegDeleteKeyW(root_, Wide(path_).c_str());
    }
    PlantedKey(const PlantedKey&) = delete;
    PlantedKey& operator=(const PlantedKey&) = delete;

    HKEY Root() const { return root_; }
    const std::string& Name() const { return name_; }
    // Path below the root, without a leading backslash.
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "\\" + rel; }

    // Creates the subkey `rel` and gives it the access list `dacl` (by
    // default: everyone may read it, nobody open it with full access), until
    // the test ends.
    void Lock(const std::string& rel, const char* dacl = "D:P(A;;KR;;;WD)") {
        HKEY key = CreateTestKey(root_, *this / rel);
        ASSERT_NE(key, nullptr);
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl, SDDL_REVISION_1, &sd, nullptr));
        const LONG r = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
        ::LocalFree(sd);
        ASSERT_EQ(r, ERROR_SUCCESS);
        locked_.push_back(key);  // keeps the right to give full access back
        HKEY probe = nullptr;
        ASSERT_NE(::RegOpenKeyExW(root_, Wide(*this / rel).c_str(), 0, KEY_ALL_ACCESS, &probe), ERROR_SUCCESS)
            << "the Registry does not honour the key's security";
    }

  private:
    HKEY root_;
    std::string name_;
    std::string path_;
    std::vector<HKEY> locked_;
};

// The name the Registry's keeper gives a key (\REGISTRY\Machine\Software\X),
// the form a Registry link names its target in; empty when it cannot be had.
inline std::wstring KernelName(HKEY root, const std::string& path) {
    using QueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryKeyFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryKey")));
    HKEY key = nullptr;
    if (query == nullptr || ::RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::wstring();
    ULONG buffer[4096] = {};
    ULONG got = 0;
    const LONG status = query(key, 3 /* KeyNameInformation */, buffer, sizeof buffer, &got);
    ::RegCloseKey(key);
    if (status != 0)
        return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer + 1), buffer[0] / sizeof(wchar_t));
}

// A Registry link `path` (below `root`) to the key `target`, made for one
// test (volatile) and removed as the link it is, never through it.
class RegistryLink {
  public:
    RegistryLink(HKEY root, const std::string& path, HKEY targetRoot, const std::string& target)
        : root_(root), path_(path) {
        const std::wstring to = KernelName(targetRoot, target);
        EXPECT_FALSE(to.empty()) << target;
        HKEY key = nullptr;
        LONG r = ::RegCreateKeyExW(root, Wide(path).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                                   KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr);
        EXPECT_EQ(r, ERROR_SUCCESS) << "no link made at " << path;
        if (r != ERROR_SUCCESS)
            return;
        r = ::RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(to.data()),
                             static_cast<DWORD>(to.size() * sizeof(wchar_t)));
        ::RegCloseKey(key);
        EXPECT_EQ(r, ERROR_SUCCESS);
    }
    ~RegistryLink() {
        using DeleteKeyFn = LONG(WINAPI*)(HANDLE);
        const auto del = reinterpret_cast<DeleteKeyFn>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
        HKEY key = nullptr;
        if (del != nullptr &&
            ::RegOpenKeyExW(root_, Wide(path_).c_str(), REG_OPTION_OPEN_LINK, DELETE, &key) == ERROR_SUCCESS) {
            del(key);
            ::RegCloseKey(key);
        }
    }
    RegistryLink(const RegistryLink&) = delete;
    RegistryLink& operator=(const RegistryLink&) = delete;

    // Whether the link is still there as a link.
    bool Intact() const {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(root_, Wide(path_).c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return false;
        DWORD type = 0;
        const LONG r = ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
        ::RegCloseKey(key);
        return r == ERROR_SUCCESS && type == REG_LINK;
    }

  private:
    HKEY root_;
    std::string path_;
};

// A key's owner, group and access list as text, or "<none>".
inline std::string SecurityText(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, Wide(path).c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return "<none>";
    const SECURITY_INFORMATION what =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    ::RegGetKeySecurity(key, what, nullptr, &size);
    std::string sd(size, '\0');
    const LONG r = size ? ::RegGetKeySecurity(key, what, &sd[0], &size) : ERROR_INVALID_DATA;
    ::RegCloseKey(key);
    char* text = nullptr;
    if (r != ERROR_SUCCESS ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorA(&sd[0], SDDL_REVISION_1, what, &text, nullptr))
        return "<none>";
    std::string result = text;
    ::LocalFree(text);
    return result;
}

inline void SetSecurityText(HKEY root, const std::string& path, const char* sddl) {
    HKEY key = CreateTestKey(root, path);
    ASSERT_NE(key, nullptr);
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr));
    const LONG r = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    ::LocalFree(sd);
    ::RegCloseKey(key);
    ASSERT_EQ(r, ERROR_SUCCESS) << path;
}

// Runs a program and waits for it; its exit code, or -1 when it did not start.
inline int RunProgram(const std::string& commandLine, DWORD timeoutMs = 120000) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;
    if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return -1;
    ::WaitForSingleObject(pi.hProcess, timeoutMs);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// The lines of reg.exe's export of a key (full name such as
// HKEY_CURRENT_USER\Software\X), as UTF-8, without line ends; empty when the
// export failed.
inline std::vector<std::string> RegExportLines(const std::string& fullKeyName) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + UniqueToken("movix_export_") + ".reg";
    const int code = RunProgram("reg.exe export \"" + fullKeyName + "\" \"" + file + "\" /y");
    std::vector<std::string> lines;
    HANDLE h = ::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (code != 0 || h == INVALID_HANDLE_VALUE) {
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
        ::DeleteFileA(file.c_str());
        return lines;
    }
    std::string raw;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        raw.append(buffer, got);
    ::CloseHandle(h);
    ::DeleteFileA(file.c_str());
    std::wstring text(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
    if (!text.empty() && text[0] == 0xFEFF)
        text.erase(0, 1);
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find(L'\n', from);
        if (to == std::wstring::npos)
            to = text.size();
        std::wstring line = text.substr(from, to - from);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(Narrow(line, CP_UTF8));
        from = to + 1;
    }
    return lines;
}

}  // namespace movix_test
