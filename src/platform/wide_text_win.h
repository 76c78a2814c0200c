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

// Whether UTF-16 text comes back unchanged from its UTF-8 form. An unpaired
// half of a surrogate pair has no UTF-8 form: WideToUtf8 gives U+FFFD in its
// place, so a name or text that holds one must be neither opened nor
// written back from its UTF-8 form.
inline bool ConvertsExactly(std::wstring_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c > 0xDBFF || i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
            return false;
        ++i;
    }
    return true;
}

// U+FFFD in UTF-8: what a conversion leaves where it could not convert.
// Text without it came through any conversion whole.
constexpr std::string_view kReplacementCharUtf8 = "\xEF\xBF\xBD";

// The legacy ANSI code page of the system: the process code page, unless
// that is UTF-8 (as this program asks for), then the system locale's own.
// Other programs' ANSI text (INI files, Program Manager's DDE text) is in it.
inline UINT LegacyAnsiCodePage() {
    const UINT acp = ::GetACP();
    if (acp != CP_UTF8)
        return acp;
    DWORD cp = 0;
    if (::GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                          reinterpret_cast<LPWSTR>(&cp), sizeof cp / sizeof(wchar_t)) == 0 ||
        cp == 0 || cp == CP_UTF8)
        return 1252;
    return cp;
}

// The legacy OEM code page of the system, the console's, in which cmd reads
// a batch file: as LegacyAnsiCodePage, from the system locale when the
// process runs with UTF-8.
inline UINT LegacyOemCodePage() {
    const UINT oemcp = ::GetOEMCP();
    if (oemcp != CP_UTF8)
        return oemcp;
    DWORD cp = 0;
    if (::GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT, LOCALE_IDEFAULTCODEPAGE | LOCALE_RETURN_NUMBER,
                          reinterpret_cast<LPWSTR>(&cp), sizeof cp / sizeof(wchar_t)) == 0 ||
        cp == 0 || cp == CP_UTF8)
        return 437;
    return cp;
}

// Text in a code page as UTF-8.
inline std::string CodePageToUtf8(UINT codePage, std::string_view text) {
    if (text.empty())
        return std::string();
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return WideToUtf8(wide);
}

// UTF-8 text in a code page; false (and `out` unusable) when a character has
// no place in it. No best fit: a letter the code page lacks must not turn
// into a look-alike or a '?' in a path.
inline bool Utf8ToCodePage(UINT codePage, std::string_view text, std::string& out) {
    out.clear();
    const std::wstring wide = Utf8ToWide(text);
    if (wide.empty())
        return true;
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    out.assign(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &out[0], n,
                          nullptr, &usedDefault);
    return !usedDefault;
}

// The wide name that opens a file or folder named in UTF-8. A name of
// MAX_PATH characters or more would be refused (or, by some services, cut)
// under its plain form, so a full name of a drive's or a share's file gets
// the long-name prefix (\\?\ or \\?\UNC\) that lifts the limit. The prefix turns
// off the system's clean-up of the name, so a name that needs it (forward
// slashes, "." or ".." parts) keeps its plain form and fails as too long.
inline std::wstring WideFileName(std::string_view name) {
    std::wstring wide = Utf8ToWide(name);
    // CreateDirectory's limit, 12 below MAX_PATH, is the lowest of them.
    if (wide.size() < MAX_PATH - 12)
        return wide;
    if (wide.find(L'/') != std::wstring::npos || wide.find(L"\\.\\") != std::wstring::npos ||
        wide.find(L"\\..\\") != std::wstring::npos)
        return wide;
    const bool drive = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\' &&
                       ((wide[0] >= L'A' && wide[0] <= L'Z') || (wide[0] >= L'a' && wide[0] <= L'z'));
    if (drive)
        return L"\\\\?\\" + wide;
    const bool share = wide.size() > 2 && wide[0] == L'\\' && wide[1] == L'\\' && wide[2] != L'?' && wide[2] != L'.';
    if (share)
        return L"\\\\?\\UNC\\" + wide.substr(2);
    return wide;
}

// A window's text in UTF-8, and the window's text set from UTF-8: through
// the wide functions, so that no code page stands between.
inline std::string WindowTextUtf8(HWND window) {
    const int n = ::GetWindowTextLengthW(window);
    if (n <= 0)
        return std::string();
    std::wstring wide(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(window, &wide[0], n + 1);
    wide.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return WideToUtf8(wide);
}

inline BOOL SetWindowTextUtf8(HWND window, std::string_view text) {
    return ::SetWindowTextW(window, Utf8ToWide(text).c_str());
}

}  // namespace movix
