#include "app/ui_text_win.h"

#include <vector>

#include "platform/wide_text_win.h"

namespace movix {

std::string WindowText(HWND hwnd) {
    if (!hwnd)
        return std::string();
    return WindowTextUtf8(hwnd);
}

std::string ModuleFileName() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::string();
        if (n < buffer.size())
            return WideToUtf8(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

std::string ProgramFolder() {
    const std::string exe = ModuleFileName();
    const std::string::size_type slash = exe.find_last_of('\\');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::vector<std::string> ListBoxStrings(HWND listBox) {
    std::vector<std::string> strings;
    const LRESULT count = SendMessageA(listBox, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(listBox, LB_GETTEXTLEN, i, 0);
        std::vector<wchar_t> text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        strings.push_back(WideToUtf8(text.data()));
    }
    return strings;
}

std::string LoadResourceString(HINSTANCE instance, unsigned id) {
    char buffer[1024];
    const int n = LoadStringA(instance, id, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

void ShowErrorBox(HWND owner, const std::string& message) {
    MessageBoxW(owner, Utf8ToWide(message).c_str(), L"Movix 32", MB_OK | MB_ICONERROR);
}

}  // namespace movix
