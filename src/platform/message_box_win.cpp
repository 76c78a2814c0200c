#include "platform/message_box_win.h"

#include <algorithm>
#include <vector>

#include "platform/wide_text_win.h"

namespace movix {

namespace {

struct BoxState {
    const std::string* text;
    const std::string* caption;
    BoxIcon icon;
    const std::function<void()>* onHelp;
    HFONT font;
};

const int kTextId = 0xFFFF;
const int kIconId = 0x0014;

HWND AddChild(HWND dialog, const char* cls, const char* text, DWORD style, int id, HFONT font) {
    HWND c = CreateWindowExW(0, Utf8ToWide(cls).c_str(), Utf8ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                             0, 0, 0, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return c;
}

void Layout(HWND dialog, BoxState* state) {
    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, state->font);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    const int unit = tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : 6;
    RECT text = {0, 0, unit * 50, 0};
    const std::wstring wide = Utf8ToWide(*state->text);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &text, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);

    const int margin = 12, iconSize = GetSystemMetrics(SM_CXICON), gap = 12;
    const int buttonW = std::max(75, unit * 12), buttonH = tm.tmHeight + 10;
    const int textH = std::max<int>(text.bottom, iconSize);
    const int textW = std::max<int>(text.right, 2 * buttonW + 8 - iconSize - gap);
    const int clientW = margin + iconSize + gap + textW + margin;
    const int clientH = margin + textH + margin + buttonH + margin;

    SetWindowPos(GetDlgItem(dialog, kIconId), nullptr, margin, margin, iconSize, iconSize, SWP_NOZORDER);
    SetWindowPos(GetDlgItem(dialog, kTextId), nullptr, margin + iconSize + gap, margin + (textH - text.bottom) / 2,
                 textW, text.bottom, SWP_NOZORDER);
    const int buttonsLeft = (clientW - (2 * buttonW + 8)) / 2;
    const int buttonsTop = margin + textH + margin;
    SetWindowPos(GetDlgItem(dialog, IDOK), nullptr, buttonsLeft, buttonsTop, buttonW, buttonH, SWP_NOZORDER);
    SetWindowPos(GetDlgItem(dialog, IDHELP), nullptr, buttonsLeft + buttonW + 8, buttonsTop, buttonW, buttonH,
                 SWP_NOZORDER);

    RECT frame = {0, 0, clientW, clientH};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    // Centred over the owner, or the screen.
    RECT area;
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner || !GetWindowRect(owner, &area))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    SetWindowPos(dialog, nullptr, area.left + ((area.right - area.left) - w) / 2,
                 area.top + ((area.bottom - area.top) - h) / 2, w, h, SWP_NOZORDER);
}

INT_PTR CALLBACK BoxProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    BoxState* state = reinterpret_cast<BoxState*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<BoxState*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        SetWindowTextUtf8(dialog, *state->caption);
        state->font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
        if (!state->font)
            state->font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        HWND icon = AddChild(dialog, "STATIC", "", SS_ICON, kIconId, state->font);
        LPCSTR iconId = state->icon == BoxIcon::Warning ? IDI_WARNING
                        : state->icon == BoxIcon::Error ? IDI_ERROR
                                                        : IDI_INFORMATION;
        SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, iconId)), 0);
        AddChild(dialog, "STATIC", state->text->c_str(), SS_LEFT | SS_NOPREFIX, kTextId, state->font);
        HWND ok = AddChild(dialog, "BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON | WS_GROUP, IDOK, state->font);
        AddChild(dialog, "BUTTON", "&Help", WS_TABSTOP | BS_PUSHBUTTON, IDHELP, state->font);
        Layout(dialog, state);
        MessageBeep(state->icon == BoxIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION);
        SetFocus(ok);
        return FALSE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        case IDHELP:
            if (state && *state->onHelp)
                (*state->onHelp)();
            return TRUE;
        }
        break;
    case WM_HELP:  // F1 inside the box
        if (state && *state->onHelp)
            (*state->onHelp)();
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int HelpMessageBox(HWND owner, const std::string& text, const std::string& caption, BoxIcon icon,
                   const std::function<void()>& onHelp) {
    // An empty dialog template; the controls are made when it opens.
    std::vector<WORD> tmpl(64, 0);
    DLGTEMPLATE* dlg = reinterpret_cast<DLGTEMPLATE*>(tmpl.data());
    dlg->style = DS_MODALFRAME | DS_SETFONT | DS_3DLOOK | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dlg->cdit = 0;
    WORD* p = reinterpret_cast<WORD*>(dlg + 1);
    *p++ = 0;  // no menu
    *p++ = 0;  // standard dialog class
    *p++ = 0;  // no title (set later)
    *p++ = 8;  // font size
    const wchar_t face[] = L"MS Shell Dlg";
    for (wchar_t c : face)
        *p++ = static_cast<WORD>(c);
    BoxState state = {&text, &caption, icon, &onHelp, nullptr};
    return static_cast<int>(DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dlg, owner, BoxProc,
                                                    reinterpret_cast<LPARAM>(&state)));
}

}  // namespace movix
