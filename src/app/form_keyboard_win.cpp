// The main window is no dialog, yet the user expects a dialog's keyboard in
// it: IsDialogMessage does the key handling, and this file does what a
// dialog's own window procedure adds to it.
#include <windows.h>

#include <algorithm>

#include "app/found_list_win.h"
#include "app/help_win.h"
#include "app/main_window_win.h"
#include "resource.h"

namespace movix {

namespace {

bool IsPushButton(HWND w) {
    char cls[16] = {};
    if (!w || !GetClassNameA(w, cls, sizeof cls) || lstrcmpiA(cls, "BUTTON") != 0)
        return false;
    const LONG type = GetWindowLongA(w, GWL_STYLE) & 0x0F;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// A control the keyboard can work in: visible, enabled, a tab stop.
bool TakesKeyboard(HWND w) {
    return w && IsWindowVisible(w) && IsWindowEnabled(w) && (GetWindowLongA(w, GWL_STYLE) & WS_TABSTOP);
}

enum EditCommand { kEditUndo = 1, kEditCut, kEditCopy, kEditPaste, kEditDelete, kEditSelectAll, kEditWhatsThis };

}  // namespace

// WM_NEXTDLGCTL as a dialog answers it. IsDialogMessage sends it for a
// label's access key: first naming the label, then asking for the control
// after it. A label never takes the focus itself; it is only where the
// search for the next control starts.
void TForm1::NextDialogControl(WPARAM wParam, LPARAM lParam) {
    HWND target = nullptr;
    if (lParam) {
        target = reinterpret_cast<HWND>(wParam);
        char cls[16] = {};
        GetClassNameA(target, cls, sizeof cls);
        if (lstrcmpiA(cls, "STATIC") == 0) {
            labelAnchor_ = target;
            return;
        }
    } else {
        HWND from = labelAnchor_ ? labelAnchor_ : GetFocus();
        labelAnchor_ = nullptr;
        if (from && !IsChild(hwnd_, from))
            from = nullptr;
        target = GetNextDlgTabItem(hwnd_, from, wParam != 0);
    }
    labelAnchor_ = nullptr;
    if (!target || !IsChild(hwnd_, target))
        return;
    if (SendMessageA(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        SendMessageA(target, EM_SETSEL, 0, -1);
    SetFocus(target);
    FocusChanged(GetFocus());
}

// A focused push button is the one Enter presses, and looks it; elsewhere
// Next is the default button again.
void TForm1::FocusChanged(HWND focus) {
    if (!focus || !IsChild(hwnd_, focus))
        return;
    lastFocus_ = focus;
    HWND wanted = IsPushButton(focus) ? focus : Control(IDC_BtnNext);
    if (wanted == defaultLook_)
        return;
    for (int id :
         {IDC_BtnAbout, IDC_BtnHelp, IDC_BtnPrev, IDC_BtnNext, IDC_BtnCancel, IDC_BtnSaveList, IDC_btnSaveLog}) {
        HWND button = Control(id);
        if (button)
            SendMessageA(button, BM_SETSTYLE, button == wanted ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    }
    defaultLook_ = wanted;
}

// The control a page gives the focus to when it opens.
HWND TForm1::EntryFocus() const {
    HWND entry = nullptr;
    switch (page_) {
        case kPageFromAndTo:
            entry = Control(IDC_EditOldAddress);
            break;
        case kPageSearch:
            entry = Control(IDC_lvFound);
            break;
        case kPageFinalPage:
            entry = Control(IDC_EditNewAddressAgain);
            break;
        default:
            break;
    }
    if (TakesKeyboard(entry))
        return entry;
    HWND next = Control(IDC_BtnNext);
    if (TakesKeyboard(next))
        return next;
    // On the last page the way on is Close: the first button of the bar
    // (About) would have Enter open the about box.
    HWND close = Control(IDC_BtnCancel);
    if (page_ == kPageFinalFinal && TakesKeyboard(close))
        return close;
    return GetNextDlgTabItem(hwnd_, nullptr, FALSE);
}

// Activation gives the focus back to the control that had it, as a dialog
// does; left to the default handling it would go to the window itself,
// where every typed letter would act as some control's access key.
void TForm1::RestoreFocus() {
    HWND target = lastFocus_;
    if (!target || !IsChild(hwnd_, target) || !IsWindowVisible(target) || !IsWindowEnabled(target))
        target = EntryFocus();
    if (target) {
        SetFocus(target);
        FocusChanged(target);
    }
}

// After a page change the focus may have gone with the page just hidden,
// or rest on a disabled button; it goes where the keyboard can work.
void TForm1::KeepFocusOnPage() {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus) && IsWindowVisible(focus) && IsWindowEnabled(focus) &&
        (GetWindowLongA(focus, GWL_STYLE) & WS_TABSTOP))
        return;
    if (GetActiveWindow() != hwnd_ && focus && !IsChild(hwnd_, focus))
        return;  // another window (a box, the help) has the keyboard
    HWND target = EntryFocus();
    if (target) {
        SetFocus(target);
        FocusChanged(target);
    }
}

void TForm1::FocusNextAfterSave() {
    HWND next = Control(IDC_BtnNext);
    if (!TakesKeyboard(next) || GetActiveWindow() != hwnd_)
        return;
    SetFocus(next);
    FocusChanged(next);
}

// The list controls take Left and Right as Up and Down, or not at all; here
// they move the view sideways, so that every column can be read.
bool TForm1::ScrollSideways(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || (msg.wParam != VK_LEFT && msg.wParam != VK_RIGHT))
        return false;
    if (GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0)
        return false;
    const bool right = msg.wParam == VK_RIGHT;
    const bool byColumn = GetKeyState(VK_CONTROL) < 0;
    if (foundList_ && msg.hwnd == foundList_->Handle()) {
        foundList_->ScrollSideways(right, byColumn);
        return true;
    }
    if (msg.hwnd == Control(IDC_lbReport)) {
        // By four characters of the log's font, or by a page less that; the
        // list box's own line step is a single pixel under some systems.
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_POS | SIF_RANGE | SIF_PAGE;
        if (!GetScrollInfo(msg.hwnd, SB_HORZ, &info))
            return true;
        RECT client{};
        GetClientRect(msg.hwnd, &client);
        const int step = Px(scale_, 32);
        const int by = byColumn ? std::max(step, static_cast<int>(client.right) - step) : step;
        const int last = std::max(0, info.nMax - std::max(0, static_cast<int>(info.nPage) - 1));
        const int target = std::max(0, std::min(info.nPos + (right ? by : -by), last));
        if (target != info.nPos)
            SendMessageA(msg.hwnd, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, target), 0);
        return true;
    }
    return false;
}

// --- The edits' menu --------------------------------------------------------

void TForm1::SubclassEditMenus() {
    for (int id : {IDC_EditOldAddress, IDC_EditNewAddress, IDC_EditNewAddressAgain}) {
        HWND edit = Control(id);
        if (!edit)
            continue;
        WNDPROC old = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::EditMenuProc)));
        if (!editProc_)
            editProc_ = old;
    }
}

LRESULT CALLBACK TForm1::EditMenuProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND top = GetAncestor(hwnd, GA_ROOT);
    TForm1* self = reinterpret_cast<TForm1*>(GetWindowLongPtrA(top, GWLP_USERDATA));
    if (!self || !self->editProc_)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_CONTEXTMENU) {
        POINT screen = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (lParam == -1) {
            RECT r;
            GetWindowRect(hwnd, &r);
            screen = POINT{r.left + 4, r.bottom};
        }
        try {
            self->ShowEditMenu(hwnd, screen);
        } catch (...) {
        }
        return 0;
    }
    return CallWindowProcW(self->editProc_, hwnd, msg, wParam, lParam);
}

// The edit commands the control's own menu offers, and "What's This?" as
// on every other control.
void TForm1::ShowEditMenu(HWND edit, POINT screen) {
    if (GetFocus() != edit)
        SetFocus(edit);
    DWORD start = 0, end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const bool selection = end > start;
    const bool readOnly = (GetWindowLongA(edit, GWL_STYLE) & ES_READONLY) != 0;
    const bool text = GetWindowTextLengthA(edit) > 0;
    const bool clip = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
    auto flag = [](bool on) { return MF_STRING | (on ? MF_ENABLED : MF_GRAYED); };

    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuA(menu, flag(SendMessageA(edit, EM_CANUNDO, 0, 0) != 0 && !readOnly), kEditUndo, "&Undo");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, flag(selection && !readOnly), kEditCut, "Cu&t");
    AppendMenuA(menu, flag(selection), kEditCopy, "&Copy");
    AppendMenuA(menu, flag(clip && !readOnly), kEditPaste, "&Paste");
    AppendMenuA(menu, flag(selection && !readOnly), kEditDelete, "&Delete");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, flag(text), kEditSelectAll, "Select &All");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kEditWhatsThis, "What's This?");
    const int command = static_cast<int>(TrackPopupMenu(
        menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, screen.x, screen.y, 0, hwnd_, nullptr));
    DestroyMenu(menu);
    switch (command) {
        case kEditUndo:
            SendMessageA(edit, EM_UNDO, 0, 0);
            break;
        case kEditCut:
            SendMessageA(edit, WM_CUT, 0, 0);
            break;
        case kEditCopy:
            SendMessageA(edit, WM_COPY, 0, 0);
            break;
        case kEditPaste:
            SendMessageA(edit, WM_PASTE, 0, 0);
            break;
        case kEditDelete:
            SendMessageA(edit, WM_CLEAR, 0, 0);
            break;
        case kEditSelectAll:
            SendMessageA(edit, EM_SETSEL, 0, -1);
            break;
        case kEditWhatsThis:
            popupComponent_ = edit;
            WhatsThis1Click();
            break;
        default:
            break;
    }
}

// --- Where popups go -----------------------------------------------------------

void TForm1::PopupBelow(HWND control, const RECT* partInControl) {
    if (!control)
        return;
    RECT r;
    if (partInControl) {
        r = *partInControl;
        MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&r), 2);
    } else {
        GetWindowRect(control, &r);
    }
    SetHelpPopupPosition(POINT{(r.left + r.right) / 2, r.bottom});
}

}  // namespace movix
