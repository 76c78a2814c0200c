// Help requests of the main window: the help hook, F1, the title bar's "?"
// button and the "What's This?" menus.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "app/help_win.h"
#include "app/layout_win.h"
#include "app/main_window_win.h"
#include "core/found_items.h"
#include "platform/context_help_mode_win.h"
#include "resource.h"

namespace movix {

unsigned long TForm1::ControlHelpContext(HWND control) const {
    // The first non-zero context going outward from the control.
    for (HWND w = control; w && IsChild(hwnd_, w); w = GetParent(w)) {
        const DWORD context = GetWindowContextHelpId(w);
        if (context != 0)
            return context;
    }
    return 0;
}

bool TForm1::HelpCommand(unsigned command, unsigned long context) {
    struct Depth {
        TForm1* form;
        ~Depth() {
            // The anchor served the request it was given for, and no other.
            if (--form->helpDepth_ == 0)
                form->popupAnchor_ = nullptr;
        }
    } depth{this};
    ++helpDepth_;
    bool callHelp = true;
    bool result = ApplicationHelp(command, context, callHelp);
    if (callHelp) {
        if (command == kHelpContextPopup)
            AnchorPopup();
        result = WinHelpRequestInBackground(hwnd_, helpFile_, command, context);
    }
    return result;
}

// A popup stands below what it explains: the control, or the list's row
// under the pointer or where the mouse was last released over it.
void TForm1::AnchorPopup() {
    HWND anchor = popupAnchor_;
    if (!anchor || !IsChild(hwnd_, anchor))
        return;
    if (anchor == Control(IDC_lvFound)) {
        POINT pt = listAnchorPoint_;
        if (pt.x < 0 || pt.y < 0) {
            GetCursorPos(&pt);
            ScreenToClient(anchor, &pt);
        }
        LVHITTESTINFO hit = {};
        hit.pt = POINT{4, pt.y};
        const int row = static_cast<int>(SendMessageA(anchor, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        RECT rc = {};
        rc.left = LVIR_BOUNDS;
        if (row >= 0 && SendMessageA(anchor, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc))) {
            RECT client;
            GetClientRect(anchor, &client);
            rc.left = std::max(rc.left, client.left);
            rc.right = std::min(rc.right, client.right);
            PopupBelow(anchor, &rc);
            return;
        }
    }
    PopupBelow(anchor);
}

namespace {

bool IsPageHelpContext(unsigned long context) {
    for (const PageSpec& page : kPages)
        if (static_cast<unsigned long>(page.helpContext) == context)
            return true;
    for (const PageSpec& page : kSubPages)
        if (static_cast<unsigned long>(page.helpContext) == context)
            return true;
    return context <= 14;
}

}  // namespace

bool TForm1::ApplicationHelp(unsigned command, unsigned long context, bool& callHelp) {
    if (command != kHelpContextPopup)
        return false;
    if (F1Pressed) {
        // F1 shows the full topic of the page, whatever has the focus.
        F1Pressed = false;
        callHelp = false;
        BtnHelpClick();
        return false;
    }
    // Every context but a page's (and the list's as a whole) belongs to a
    // control or a row of the list: its popup is shown as asked. Pages are
    // 0 to 14 and the later option pages (61, 80); the later controls and
    // rows (the move's box, row and bar among them) have numbers above 56.
    if ((context >= 15 && context <= 31) || (context >= 33 && context <= 56) ||
        (context > 56 && !IsPageHelpContext(context))) {
        callHelp = true;
        return false;
    }
    if (context == 32) {
        const int rowContext = FoundItemHelpContext(listAnchorPoint_);
        if (rowContext == 32) {
            callHelp = true;
        } else {
            callHelp = false;
            HelpCommand(kHelpContextPopup, rowContext);
        }
        return false;
    }
    // A page's context: the page's full topic instead of a popup.
    callHelp = false;
    return HelpCommand(kHelpContext, context);
}

void TForm1::BtnHelpClick() {
    const int context = page_ == kPageSearch ? kSubPages[subPage_].helpContext : kPages[page_].helpContext;
    HelpCommand(kHelpContext, context);
}

void TForm1::OnHelp(const HELPINFO* info) {
    if (!info)
        return;
    HWND item = static_cast<HWND>(info->hItemHandle);
    if (info->iContextType == HELPINFO_WINDOW && IsChild(hwnd_, item)) {
        popupAnchor_ = item;
        listAnchorPoint_ = POINT{-1, -1};
        const unsigned long context = ControlHelpContext(item);
        if (context != 0)
            HelpCommand(kHelpContextPopup, context);
        return;
    }
    // The Help button of a message box or dialog: the topic of its context.
    if (info->dwContextId != 0)
        HelpCommand(kHelpContext, static_cast<unsigned long>(info->dwContextId));
}

void TForm1::EnterContextHelpMode() {
    // The "?" button: the next click on a control asks for that control's
    // help.
    POINT clicked = {};
    HWND target = RunContextHelpMode(hwnd_, &clicked);
    if (target && target != hwnd_) {
        popupAnchor_ = target;
        // On the list, the row clicked is the one explained, wherever the
        // pointer has gone since.
        listAnchorPoint_ = POINT{-1, -1};
        if (target == Control(IDC_lvFound) && ScreenToClient(target, &clicked) && clicked.x >= 0 && clicked.y >= 0)
            listAnchorPoint_ = clicked;
        const unsigned long context = ControlHelpContext(target);
        if (context != 0)
            HelpCommand(kHelpContextPopup, context);
    }
}

void TForm1::OnContextMenu(HWND source, POINT screen) {
    if (source == Control(IDC_lvFound))
        return;  // the list has its own menu
    if (screen.x == -1 && screen.y == -1) {
        RECT r;
        GetWindowRect(source, &r);
        screen.x = r.left + 4;
        screen.y = r.top + 4;
    }
    popupComponent_ = source;
    TrackPopupMenu(pmWhatsThis_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, hwnd_, nullptr);
}

void TForm1::WhatsThis1Click() {
    HWND component = popupComponent_;
    if (component == Control(IDC_Image1) || component == Control(IDC_Panel1)) {
        HelpCommand(kHelpContext, 0);  // the logo: the contents
        return;
    }
    if (component && IsChild(hwnd_, component)) {
        popupAnchor_ = component;
        listAnchorPoint_ = POINT{-1, -1};
        const unsigned long context = ControlHelpContext(component);
        if (context != 0)
            HelpCommand(kHelpContextPopup, context);
    }
}

}  // namespace movix
