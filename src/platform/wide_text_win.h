// UTF-8 <-> UTF-16 at the boundary to the wide Win32 interfaces. The program
// keeps its text in UTF-8; only calls into the system see UTF-16, so nothing
// depends on the process code page.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace movix {

// Invalid UTF-8 becomes U+FFFD, as MultiByteToWideChar does.
inline std::wstring Utf8ToWide(std::string_view text) {
    if (text.empty())
        return std::wstring();
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

inline std::string WideToUtf8(std::wstring_view text) {
    if (text.empty())
        return std::string();
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

}  // namespace movix
