#include "targets/ini_encoding_win.h"

#include <climits>

#include "platform/wide_text_win.h"

namespace movix {

namespace {

// Bytes of a code page as UTF-8; false for a byte or sequence it does not
// know.
bool DecodeIn(UINT cp, std::string_view bytes, std::string& text) {
    text.clear();
    if (bytes.empty())
        return true;
    if (bytes.size() > INT_MAX / 2)
        return false;
    const int size = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (n <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), size, &wide[0], n) != n)
        return false;
    text = WideToUtf8(wide);
    return true;
}

bool DecodeAnsi(std::string_view bytes, std::string& text) {
    return DecodeIn(LegacyAnsiCodePage(), bytes, text);
}

bool EncodeAnsi(std::string_view text, std::string& bytes) {
    return Utf8ToCodePage(LegacyAnsiCodePage(), text, bytes);
}

}  // namespace

const IniCodePage& AnsiIniCodePage() {
    static const IniCodePage* codePage = new IniCodePage{DecodeAnsi, EncodeAnsi};
    return *codePage;
}

IniCodePage WindowsIniCodePage(unsigned codePage) {
    IniCodePage page;
    page.decode = [codePage](std::string_view bytes, std::string& text) { return DecodeIn(codePage, bytes, text); };
    page.encode = [codePage](std::string_view text, std::string& bytes) {
        return Utf8ToCodePage(codePage, text, bytes);
    };
    return page;
}

bool EncodeIniText(IniEncoding encoding, std::string_view text, std::string& out) {
    return EncodeIniText(encoding, text, AnsiIniCodePage(), out);
}

}  // namespace movix
