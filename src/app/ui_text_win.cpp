#include "app/ui_text_win.h"

#include <vector>

#include "engine/replacement_plan.h"
#include "platform/wide_text_win.h"
#include "targets/undo_journal_win.h"

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

std::string DocumentsFolder() {
    const std::string documents = DefaultUndoFolder();
    return documents.empty() ? ProgramFolder() : documents;
}

std::string LogDateText(const SYSTEMTIME& now, const wchar_t* locale) {
    wchar_t day[80] = {}, month[80] = {};
    GetDateFormatEx(locale, 0, &now, L"dddd", day, 80, nullptr);
    GetDateFormatEx(locale, 0, &now, L"MMMM", month, 80, nullptr);
    return FormatReportDate(WideToUtf8(day), WideToUtf8(month), now.wDay, now.wYear, now.wHour, now.wMinute);
}

}  // namespace movix
