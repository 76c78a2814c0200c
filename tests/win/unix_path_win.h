// The Unix name behind a Windows one, under Wine (its own function).
#pragma once

#include <windows.h>

#include <string>

namespace movix_test {

// The Unix name of a file or folder under Wine, empty elsewhere.
inline std::string UnixPath(const std::string& windowsPath) {
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr)
        return std::string();
    std::wstring wide(static_cast<size_t>(
                          ::MultiByteToWideChar(CP_UTF8, 0, windowsPath.c_str(), -1, nullptr, 0)),
                      L'\0');
    if (wide.empty() ||
        ::MultiByteToWideChar(CP_UTF8, 0, windowsPath.c_str(), -1, &wide[0], static_cast<int>(wide.size())) == 0)
        return std::string();
    char* name = unixName(wide.c_str());
    if (name == nullptr)
        return std::string();
    std::string path = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return path;
}

}  // namespace movix_test
