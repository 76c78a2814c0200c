#include "app/ui_text_win.h"

#include <vector>

namespace movix {

std::string WindowText(HWND hwnd) {
    if (!hwnd)
        return std::string();
    const int length = GetWindowTextLengthA(hwnd);
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const int copied = GetWindowTextA(hwnd, buffer.data(), length + 1);
    return std::string(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

std::string ModuleFileName() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::string();
        if (n < buffer.size())
            return std::string(buffer.data(), n);
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
        const LRESULT length = SendMessageA(listBox, LB_GETTEXTLEN, i, 0);
        std::vector<char> text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
        SendMessageA(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        strings.emplace_back(text.data());
    }
    return strings;
}

std::string LoadResourceString(HINSTANCE instance, unsigned id) {
    char buffer[1024];
    const int n = LoadStringA(instance, id, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

void ShowErrorBox(HWND owner, const std::string& message) {
    MessageBoxA(owner, message.c_str(), "Movix 32", MB_OK | MB_ICONERROR);
}

}  // namespace movix
