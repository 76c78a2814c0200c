#include <windows.h>
#include "app/main_window_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "app/address_check.h"
#include "app/layout_win.h"
#include "app/help_protocol.h"
#include "app/move_plan_win.h"
#include "platform/wide_text_win.h"
#include "platform/platform_code.h"
#include "app/found_list_win.h"
#include "engine/search_runner_win.h"
#include "targets/folder_move_cut_win.h"
#include "targets/undo_journal_win.h"
#include "targets/dde_conversation_win.h"
#include "platform/message_box_win.h"
#include "platform/message_pump_win.h"
#include "platform/ui_dispatch_win.h"
#include "platform/path_kind.h"
#include "app/ui_text_win.h"
#include "resource.h"
#include "platform/window_dc_win.h"

namespace movix {

namespace {

const char kFormClass[] = "TForm1";
const char kPanelClass[] = "MovixPanel";

// Design size of the window (outer size) and of the button bar.
const int kDesignWidth = 540;
const int kDesignHeight = 312;
const int kButtonBarHeight = 33;

// Containers (notebooks, pages, radio groups, panels) pass what their
// children report on to the window that handles it.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        return SendMessageA(GetParent(hwnd), msg, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// Posted by the system after a real F1 key press; DefWindowProc makes it WM_HELP.
const UINT kWmKeyF1 = 0x004D;

bool IsOwnWindow(HWND root, HWND hwnd) {
    return hwnd && (hwnd == root || IsChild(root, hwnd));
}

}  // namespace

int Px(double scale, int designPixels) {
    return static_cast<int>(std::lround(designPixels * scale));
}

void TForm1::UpdateMinSize(const RECT& onScreen) {
    RECT work = onScreen;
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(MonitorFromRect(&onScreen, MONITOR_DEFAULTTONEAREST), &info))
        work = info.rcWork;
    minSize_.cx = std::min(Px(scale_, kDesignWidth), static_cast<int>(work.right - work.left));
    minSize_.cy = std::min(Px(scale_, kDesignHeight) + labelGrowth_, static_cast<int>(work.bottom - work.top));
}

TForm1* TForm1::Create(HINSTANCE instance, int showCommand) {
    // Wide window classes: the form and its controls hold text in UTF-16,
    // whatever the process code page.
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PanelProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    const std::wstring panelClass = Utf8ToWide(kPanelClass), formClass = Utf8ToWide(kFormClass);
    wc.lpszClassName = panelClass.c_str();
    RegisterClassExW(&wc);

    wc.lpfnWndProc = &TForm1::WndProc;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MOVIX32));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_MOVIX32), IMAGE_ICON, 16, 16, 0));
    wc.lpszClassName = formClass.c_str();
    RegisterClassExW(&wc);

    TForm1* form = new TForm1();
    form->instance_ = instance;
    form->scale_ = GetDeviceCaps(WindowDC(nullptr).get(), LOGPIXELSY) / 96.0;

    // The design size at this DPI, but never more than the screen holds: a
    // large DPI on a small screen would otherwise put the window's buttons
    // beyond the screen's edge, where no one can reach them.
    RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    form->UpdateMinSize(work);
    // System menu and the context-help button, no minimize or maximize box.
    HWND hwnd = CreateWindowExW(WS_EX_CONTEXTHELP | WS_EX_CONTROLPARENT, formClass.c_str(), L"Movix 32",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN,
                                CW_USEDEFAULT, CW_USEDEFAULT, form->minSize_.cx, form->minSize_.cy, nullptr, nullptr,
                                instance, form);
    if (!hwnd) {
        delete form;
        return nullptr;
    }
    RECT placed;
    GetWindowRect(hwnd, &placed);
    const int left = std::max(static_cast<int>(work.left),
                              std::min(static_cast<int>(placed.left), static_cast<int>(work.right - form->minSize_.cx)));
    const int top = std::max(static_cast<int>(work.top),
                             std::min(static_cast<int>(placed.top), static_cast<int>(work.bottom - form->minSize_.cy)));
    if (left != placed.left || top != placed.top)
        SetWindowPos(hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!form->CleanRegistryMode) {
        ShowWindow(hwnd, showCommand);
        UpdateWindow(hwnd);
        SetFocus(form->Control(IDC_EditOldAddress));
    }
    return form;
}

TForm1::~TForm1() {
    if (pmWhatsThis_)
        DestroyMenu(pmWhatsThis_);
    if (icon_)
        DestroyIcon(icon_);
}

LRESULT CALLBACK TForm1::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TForm1* self = reinterpret_cast<TForm1*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self || !self->hwnd_)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    // Nothing may unwind through the window procedure: an error that no
    // handler caught is shown in the standard error box and ends the event,
    // not the program.
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        ShowErrorBox(hwnd, e.what());
    } catch (...) {
        ShowErrorBox(hwnd, "Unknown error");
    }
    return 0;
}

LRESULT TForm1::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        FormCreate();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_DRAWITEM:
        DrawOwnerButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case DM_GETDEFID:
        return MAKELRESULT(IDC_BtnNext, DC_HASDEFID);
    case WM_SIZE:
        FormResize();
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_GETMINMAXINFO: {
        MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = minSize_.cx;
        info->ptMinTrackSize.y = minSize_.cy;
        return 0;
    }
    case WM_SETCURSOR:
        // The hourglass over every window of ours while a run is busy.
        if (busy_) {
            SetCursor(LoadCursor(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_WINDOWPOSCHANGING: {
        // Programmatic sizing obeys the minimum too, not only dragging.
        WINDOWPOS* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (!(pos->flags & SWP_NOSIZE)) {
            pos->cx = std::max(pos->cx, static_cast<int>(minSize_.cx));
            pos->cy = std::max(pos->cy, static_cast<int>(minSize_.cy));
        }
        break;
    }
    case WM_NEXTDLGCTL:
        NextDialogControl(wParam, lParam);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus))
                lastFocus_ = focus;
        } else if (!HIWORD(wParam)) {
            RestoreFocus();
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case WM_HELP:
        OnHelp(reinterpret_cast<const HELPINFO*>(lParam));
        return TRUE;
    case WM_CONTEXTMENU:
        OnContextMenu(reinterpret_cast<HWND>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CONTEXTHELP) {
            EnterContextHelpMode();
            return 0;
        }
        break;
    case WM_CLOSE:
        // During the replacement the window stays until the group in hand
        // is written: the run stops there and shows its log.
        if (replacing_) {
            stopRequested_ = true;
            moveCancelled_ = true;
            return 0;
        }
        // A Restore (or its question) in hand ends first; then the window
        // closes.
        if (restoring_) {
            closeAfterRestore_ = true;
            return 0;
        }
        FormClose();
        DestroyWindow(hwnd_);
        return 0;
    case WM_QUERYENDSESSION:
        // Windows is shutting down or the user logs off: not while files and
        // keys are being written. The run stops at its next group.
        if (replacing_) {
            stopRequested_ = true;
            return FALSE;
        }
        if (restoring_)
            return FALSE;
        break;
    case WM_ENDSESSION:
        if (wParam && replacing_)
            stopRequested_ = true;
        return 0;
    case kMsgFlushLog:
        FlushLog();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        hwnd_ = nullptr;
        break;
    default:
        if (helpMessage_ && msg == helpMessage_) {
            // The Help button of the file dialog open now.
            HelpCommand(kHelpContext, dialogHelpContext_);
            return 0;
        }
        break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

HWND TForm1::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

std::string TForm1::Text(int id) const {
    return WindowText(Control(id));
}

void TForm1::SetText(int id, const std::string& text) {
    SetWindowTextUtf8(Control(id), text);
}

bool TForm1::Checked(int id) const {
    return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TForm1::Enable(int id, bool enabled) {
    HWND control = Control(id);
    const bool hadFocus = !enabled && control && GetFocus() == control;
    EnableWindow(control, enabled ? TRUE : FALSE);
    // A disabled control takes no keys: the focus must not stay on it.
    if (hadFocus)
        KeepFocusOnPage();
}

int TForm1::RadioIndex(int groupId) const {
    for (int i = 0; i < 5; ++i) {
        HWND item = Control(groupId + 1 + i);
        if (item && SendMessageA(item, BM_GETCHECK, 0, 0) == BST_CHECKED)
            return i;
    }
    return -1;
}

void TForm1::SetRadioIndex(int groupId, int index) {
    for (int i = 0; i < 5; ++i) {
        HWND item = Control(groupId + 1 + i);
        if (item)
            SendMessageA(item, BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

std::string TForm1::RadioCaption(int groupId) const {
    const int index = RadioIndex(groupId);
    return index < 0 ? std::string() : Text(groupId + 1 + index);
}

void TForm1::ShowPage(int index) {
    // A change to a page outside the notebook, or to the page shown, is ignored.
    if (index < 0 || index >= kPageCount || index == page_)
        return;
    HWND next = Control(IDC_PageBase + index);
    ShowWindow(next, SW_SHOW);
    if (page_ >= 0)
        ShowWindow(Control(IDC_PageBase + page_), SW_HIDE);
    page_ = index;
    NotebookMainPageChanged();
    KeepFocusOnPage();
}

void TForm1::ShowSubPage(int index) {
    if (index < 0 || index >= kSubPageCount || index == subPage_)
        return;
    ShowWindow(Control(IDC_SubPageBase + index), SW_SHOW);
    if (subPage_ >= 0)
        ShowWindow(Control(IDC_SubPageBase + subPage_), SW_HIDE);
    subPage_ = index;
    NotebookSubPageChanged();
    if (page_ == kPageSearch)
        KeepFocusOnPage();
}

// --- Creation ---------------------------------------------------------------

void TForm1::FormCreate() {
    // Search threads reach the window through this thread's dispatcher.
    UiDispatcher::Init();
    DdeClientConv1 = std::make_unique<TDdeClientConv>();
    CreateControls();
    CreateRestoreControls();
    SubclassEditMenus();
    // The opening state stands from here on, whatever a later step does:
    // the red light with result 7, Next and Back disabled.
    CheckResult = 7;
    ShowIndicator(CheckResult);
    Enable(IDC_BtnNext, false);
    Enable(IDC_BtnPrev, false);

    if (CleanRegistryCommand())
        return;

    // The help file is the program's own file name with the extension .HLP.
    helpFile_ = ChangeExtension(ModuleFileName(), ".HLP");
    helpMessage_ = RegisterWindowMessageA(HELPMSGSTRINGA);

    ShowPage(kPageFromAndTo);
    ShowSubPage(kSubSearching);

    SkipBoxes[kPageIniFiles] = Control(IDC_cbSkipIniFiles);
    SkipBoxes[kPageGroups] = Control(IDC_cbSkipGroups);
    SkipBoxes[kPageShortcuts] = Control(IDC_cbSkipShortcuts);
    SkipBoxes[kPageRegistryKeys] = Control(IDC_cbSkipRegistry);
    SkipBoxes[kPageIgnoreKeys] = Control(IDC_cbSkipIgnoreKeys);
    SkipBoxes[kPageConfigFiles] = Control(IDC_cbSkipConfigs);
    SkipBoxes[kPageServicesTasks] = Control(IDC_cbSkipServicesTasks);

    try {
        LoadSettings();
    } catch (const std::exception& e) {
        // A stored option of the wrong type: the error is shown, the rest of
        // the creation is left out, and the window opens all the same.
        ShowErrorBox(hwnd_, e.what());
        return;
    }
    // The RTF report's dialog starts in the user's documents, as the undo
    // journal goes there: the program's folder is seldom writable.
    rtfStartFolder_ = DocumentsFolder();
}

void TForm1::ApplyPlatformRestrictions() {
    if (PlatformCode != 0) {
        Enable(IDC_rgRegistry + 1 + 2, false);
        if (RadioIndex(IDC_rgRegistry) == 2)
            SetRadioIndex(IDC_rgRegistry, 1);
    }
    if (PlatformCode == 1) {
        SendMessageA(Control(IDC_cbSkipShortcuts), BM_SETCHECK, BST_CHECKED, 0);
        SetRadioIndex(IDC_rgShortcuts, 0);
        for (int i = 1; i <= 3; ++i)
            Enable(IDC_rgShortcuts + 1 + i, false);
    } else {
        SendMessageA(Control(IDC_cbSkipGroups), BM_SETCHECK, BST_CHECKED, 0);
        SetRadioIndex(IDC_rgGroups, 0);
        Enable(IDC_rgGroups + 1 + 1, false);
    }
}

// --- Next and Back ------------------------------------------------------------

const int kPageOrder[kPageCount] = {kPageFromAndTo,    kPageIniFiles,      kPageGroups,      kPageShortcuts,
                                    kPageRegistryKeys, kPageIgnoreKeys,    kPageConfigFiles, kPageServicesTasks,
                                    kPageConfirm,      kPageSearch,        kPageFinalPage,   kPageReplacing,
                                    kPageFinalFinal};

namespace {

// Where a page stands in the order Next shows the pages.
int PagePosition(int page) {
    for (int at = 0; at < kPageCount; ++at)
        if (kPageOrder[at] == page)
            return at;
    return 0;
}

}  // namespace

void TForm1::BtnNextClick() {
    Enable(IDC_BtnPrev, true);
    if (page_ == kPageSearch && subPage_ != kSubSearched) {
        ShowSubPage(subPage_ + 1);
        return;
    }
    int at = PagePosition(page_) + 1;
    while (!Checked(IDC_cbShowAll) && SkipBoxes[kPageOrder[at]] &&
           SendMessageA(SkipBoxes[kPageOrder[at]], BM_GETCHECK, 0, 0) == BST_CHECKED)
        ++at;
    ShowPage(kPageOrder[at]);

    switch (page_) {
    case kPageSearch:
        Enable(IDC_BtnPrev, false);
        Enable(IDC_BtnNext, false);
        SetText(IDC_pnlShowFromString, Text(IDC_EditOldAddress));
        SetText(IDC_EditNewAddressAgain, Text(IDC_EditNewAddress));
        // Only after the copy: the copy itself is not the user's change.
        newAgainAttached_ = true;
        foundList_->SetOldAddress(Text(IDC_EditOldAddress));
        foundList_->SetNewAddress(Text(IDC_EditNewAddress));
        if (Checked(IDC_cbMoveFolder))
            foundList_->SetMoveRow(Text(IDC_EditOldAddress), Text(IDC_EditNewAddress));
        StartIniSearch();
        break;
    case kPageFinalPage: {
        Enable(IDC_BtnNext, !Text(IDC_EditNewAddressAgain).empty());
        // A junction is left only by a move; the box keeps its mark.
        const TFoundItem* moveRow = foundList_->MoveRow();
        Enable(IDC_cbLeaveJunction, Checked(IDC_cbMoveFolder) && moveRow != nullptr && moveRow->Mark == MarkY);
        ShowMoveNotice(*this);
        break;
    }
    case kPageReplacing: {
        Enable(IDC_BtnNext, false);
        Enable(IDC_BtnPrev, false);
        Enable(IDC_BtnCancel, false);
        SetText(IDC_BtnCancel, "Close");
        // One round of pending messages so that the page is painted.
        ProcessPendingMessages();
        RunReplacement();
        break;
    }
    default:
        break;
    }
}

void TForm1::BtnPrevClick() {
    Enable(IDC_BtnNext, true);
    if (page_ == kPageSearch && subPage_ != kSubSearching) {
        ShowSubPage(subPage_ - 1);
        Enable(IDC_BtnPrev, false);
        return;
    }
    int at = PagePosition(page_) - 1;
    while (!Checked(IDC_cbShowAll) && at >= 0 && SkipBoxes[kPageOrder[at]] &&
           SendMessageA(SkipBoxes[kPageOrder[at]], BM_GETCHECK, 0, 0) == BST_CHECKED)
        --at;
    ShowPage(at >= 0 ? kPageOrder[at] : kPageFromAndTo);
    if (page_ == kPageFromAndTo)
        Enable(IDC_BtnPrev, false);
}

void TForm1::BtnCancelClick() {
    RequestStop();
    SendMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void TForm1::FormClose() {
    // From here on the search run starts no further step and the found list
    // takes no more rows.
    shuttingDown_ = true;
    // However the window closes, a running search is asked to stop; the
    // object stays valid here, as its end can only run on this thread.
    RequestStop();
    OnShutdown();
    if (!CleanRegistryMode) {
        try {
            SaveSettings();
        } catch (const std::exception& e) {
            ShowErrorBox(hwnd_, e.what());
        }
    }
    HelpCommand(kHelpQuit, 0);
}

// --- Pages entered -------------------------------------------------------------

void TForm1::NotebookMainPageChanged() {
    switch (page_) {
    case kPageFromAndTo:
        SetFocus(Control(IDC_EditOldAddress));
        break;
    case kPageIniFiles:
        FocusRadioGroup(IDC_rgIniFiles);
        break;
    case kPageGroups:
        FocusRadioGroup(IDC_rgGroups);
        break;
    case kPageShortcuts:
        FocusRadioGroup(IDC_rgShortcuts);
        break;
    case kPageRegistryKeys:
        FocusRadioGroup(IDC_rgRegistry);
        break;
    case kPageConfigFiles:
        FocusRadioGroup(IDC_rgConfigs);
        break;
    case kPageServicesTasks:
        FocusRadioGroup(IDC_rgServices);
        break;
    case kPageConfirm: {
        SetText(IDC_lblFrom, Text(IDC_EditOldAddress));
        const std::string newAddress = Text(IDC_EditNewAddress);
        SetText(IDC_lblTo, newAddress);
        ShowWindow(Control(IDC_lblReplace), newAddress.empty() ? SW_HIDE : SW_SHOW);
        SetText(IDC_lblIni, StripAmpersands(RadioCaption(IDC_rgIniFiles)));
        SetText(IDC_lblGroup, StripAmpersands(RadioCaption(IDC_rgGroups)));
        SetText(IDC_lblShortcut, StripAmpersands(RadioCaption(IDC_rgShortcuts)));
        SetText(IDC_lblRegistry, StripAmpersands(RadioCaption(IDC_rgRegistry)));
        SetText(IDC_lblConfigs, StripAmpersands(RadioCaption(IDC_rgConfigs)));
        SetText(IDC_lblServices, StripAmpersands(RadioCaption(IDC_rgServices)));
        SetText(IDC_lblTasks, StripAmpersands(RadioCaption(IDC_rgTasks)));
        ShowMoveSummary(*this);
        break;
    }
    case kPageSearch:
        SetFocus(Control(IDC_lvFound));
        break;
    case kPageFinalPage:
        SetFocus(Control(IDC_EditNewAddressAgain));
        break;
    case kPageFinalFinal:
        // The run is over: Enter closes, as the enabled Close expects.
        if (IsWindowEnabled(Control(IDC_BtnCancel))) {
            SetFocus(Control(IDC_BtnCancel));
            FocusChanged(Control(IDC_BtnCancel));
        }
        break;
    default:
        break;
    }
    SetWindowContextHelpId(Control(IDC_NotebookMain), kPages[page_].helpContext);
}

void TForm1::NotebookSubPageChanged() {
    const int context = kSubPages[subPage_].helpContext;
    SetWindowContextHelpId(Control(IDC_NotebookSub), context);
    SetWindowContextHelpId(Control(IDC_NotebookMain), context);
    // The Search page's background answers for the sub-page shown.
    SetWindowContextHelpId(Control(IDC_PageBase + kPageSearch), context);
}

void TForm1::FocusRadioGroup(int groupId) {
    int index = RadioIndex(groupId);
    HWND item = Control(groupId + 1 + (index < 0 ? 0 : index));
    if (item && !IsWindowEnabled(item))
        item = Control(groupId);
    SetFocus(item);
}

void TForm1::EditToStringAgainChange() {
    if (newAgainAttached_ && page_ == kPageFinalPage) {
        Enable(IDC_BtnNext, !Text(IDC_EditNewAddressAgain).empty());
        foundList_->SetMoveRowNew(Text(IDC_EditNewAddressAgain));
        ShowMoveNotice(*this);
    }
}

void TForm1::cbSkipIgnoreKeysClick() {
    SendMessageA(Control(IDC_cbSkipIgnoreKeys), BM_SETCHECK, BST_CHECKED, 0);
}

// --- Commands --------------------------------------------------------------------

void TForm1::OnCommand(int id, int code, HWND control) {
    if (OnFoundListCommand(id))
        return;
    switch (id) {
    case IDC_BtnNext:
        if (code == BN_CLICKED && IsWindowEnabled(Control(IDC_BtnNext)))
            BtnNextClick();
        break;
    case IDC_BtnPrev:
        if (code == BN_CLICKED && IsWindowEnabled(Control(IDC_BtnPrev)))
            BtnPrevClick();
        break;
    case IDC_BtnCancel:
        if (IsWindowEnabled(Control(IDC_BtnCancel)))
            BtnCancelClick();
        break;
    case IDC_BtnHelp:
        BtnHelpClick();
        break;
    case IDC_BtnAbout:
        BtnAboutClick();
        break;
    case IDC_EditOldAddress:
    case IDC_EditNewAddress:
        if (code == EN_CHANGE)
            EditOldAddressChange();
        break;
    case IDC_EditNewAddressAgain:
        if (code == EN_CHANGE)
            EditToStringAgainChange();
        break;
    case IDC_cbSkipIgnoreKeys:
        if (code == BN_CLICKED)
            cbSkipIgnoreKeysClick();
        break;
    case IDC_cbMoveFolder:
        if (code == BN_CLICKED)
            EditOldAddressChange();
        break;
    case IDC_btnInputOk:
    case IDC_btnInputHmm:
    case IDC_btnInputBad:
        if (code == BN_CLICKED)
            btnInputBadClick(control);
        break;
    case IDC_btnBrowseDirFrom:
        btnBrowseDirFromClick();
        break;
    case IDC_btnBrowseDirTo:
        btnBrowseDirToClick();
        break;
    case IDC_btnBrowseFileFrom:
        btnBrowseFileFromClick();
        break;
    case IDC_btnBrowseFileTo:
        btnBrowseFileToClick();
        break;
    case IDC_BtnSaveList:
        BtnSaveListClick();
        break;
    case IDC_btnSaveLog:
        btnSaveLogClick();
        break;
    case IDC_btnRestore:
        btnRestoreClick();
        break;
    case IDC_btnShowLog:
        btnShowLogClick();
        break;
    case IDM_WhatsThis1:
        WhatsThis1Click();
        break;
    default:
        break;
    }
}

// --- Key preview ----------------------------------------------------------------------

bool TForm1::PreTranslateMessage(MSG& msg) {
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && IsOwnWindow(hwnd_, msg.hwnd)) {
        const bool shiftStateEmpty = GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0 &&
                                     GetKeyState(VK_MENU) >= 0 && GetKeyState(VK_LBUTTON) >= 0 &&
                                     GetKeyState(VK_RBUTTON) >= 0 && GetKeyState(VK_MBUTTON) >= 0;
        FormKeyDown(msg.wParam, shiftStateEmpty);
        if (msg.wParam == VK_ESCAPE && msg.message == WM_KEYDOWN) {
            // A help popup opened by What's This shows without the keyboard:
            // Escape here closes it (and does nothing else).
            HWND popup = FindWindowA(kHelpPopupClass, nullptr);
            if (popup && IsWindowVisible(popup)) {
                PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
                return true;
            }
        }
        if (msg.wParam == VK_F1) {
            // F1 asks for the help of the focused control, going outward; the
            // help hook turns it into the page's topic.
            const unsigned long context = ControlHelpContext(GetFocus());
            if (context != 0)
                HelpCommand(kHelpContextPopup, context);
            return true;
        }
    }
    // The system follows an F1 key press with a help message of its own
    // (WM_KEYF1, turned into WM_HELP): the key press above has already
    // answered it, and one F1 gives one help.
    if (msg.message == kWmKeyF1 && IsOwnWindow(hwnd_, msg.hwnd))
        return true;
    if (ScrollSideways(msg))
        return true;
    const bool consumed = IsDialogMessageW(hwnd_, &msg) != FALSE;
    HWND focus = GetFocus();
    if (focus != lastFocus_ && IsOwnWindow(hwnd_, focus) && focus != hwnd_)
        FocusChanged(focus);
    return consumed;
}

void TForm1::ProcessPendingMessages() {
    ProcessPendingWindowMessages();
}

void TForm1::FormKeyDown(WPARAM key, bool shiftStateEmpty) {
    F1Pressed = key == VK_F1 && shiftStateEmpty;
}

// --- Size ----------------------------------------------------------------------------------

void TForm1::FormResize() {
    if (controls_.empty())
        return;
    RECT outer;
    GetWindowRect(hwnd_, &outer);
    RECT client;
    GetClientRect(hwnd_, &client);
    const double s = scale_;
    const int W = outer.right - outer.left;
    const int H = outer.bottom - outer.top;
    const int barTop = client.bottom - Px(s, kButtonBarHeight);

    auto place = [&](int id, int x, int y, int w, int h) {
        SetWindowPos(Control(id), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    auto moveX = [&](int id, int left) {
        RECT r;
        HWND c = Control(id);
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(c, nullptr, left, r.top, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
    };
    auto moveY = [&](int id, int top) {
        RECT r;
        HWND c = Control(id);
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(c, nullptr, r.left, top, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
    };
    auto resize = [&](int id, int w, int h) {
        HWND c = Control(id);
        if (h < 0) {
            RECT r;
            GetWindowRect(c, &r);
            h = r.bottom - r.top;
        }
        SetWindowPos(c, nullptr, 0, 0, w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    };

    // The notebook fills the client area above the button bar.
    place(IDC_NotebookMain, 0, 0, client.right, barTop);
    for (int p = 0; p < kPageCount; ++p)
        place(IDC_PageBase + p, 0, 0, client.right, barTop);
    place(IDC_Panel2, 0, barTop, client.right, client.bottom - barTop);
    place(IDC_Bevel1, 0, 0, client.right, 2);

    moveX(IDC_BtnPrev, W - Px(s, 254));
    moveX(IDC_BtnNext, W - Px(s, 181));
    moveX(IDC_BtnCancel, W - Px(s, 84));
    resize(IDC_EditOldAddress, W - Px(s, 154), -1);
    resize(IDC_EditNewAddress, W - Px(s, 154), -1);
    moveX(IDC_btnBrowseDirFrom, W - Px(s, 64));
    moveX(IDC_btnBrowseDirTo, W - Px(s, 64));
    moveX(IDC_btnBrowseFileFrom, W - Px(s, 39));
    moveX(IDC_btnBrowseFileTo, W - Px(s, 39));
    moveY(IDC_cbShowAll, H - Px(s, 88));
    moveY(IDC_cbMoveFolder, H - Px(s, 88));
    for (int p = 1; p < kPageCount; ++p)
        if (SkipBoxes[p])
            SetWindowPos(SkipBoxes[p], nullptr, Px(s, 88), H - Px(s, 88), 0, 0,
                         SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
    resize(IDC_lbIgnoreKey, W - Px(s, 104), -1);
    const int subWidth = W - Px(s, 100);
    resize(IDC_NotebookSub, subWidth, -1);
    for (int p = 0; p < kSubPageCount; ++p)
        resize(IDC_SubPageBase + p, subWidth, -1);
    moveX(IDC_BtnSaveList, subWidth - Px(s, 104));
    resize(IDC_lvFound, W - Px(s, 12), H - Px(s, 166));
    resize(IDC_pnlShowFromString, W - Px(s, 123), -1);
    resize(IDC_EditNewAddressAgain, W - Px(s, 123), -1);
    resize(IDC_pbMove, W - Px(s, 108), -1);
    moveX(IDC_btnSaveLog, W - Px(s, 113));
    moveX(IDC_btnRestore, W - Px(s, 193));
    moveX(IDC_btnShowLog, W - Px(s, 273));
    resize(IDC_lbReport, W - Px(s, 103), H - Px(s, 152));
    resize(IDC_lbRestoreLog, W - Px(s, 103), H - Px(s, 152));
    FitLabels(W);
    PushBelowLabels(H);
}

// --- Address entry ----------------------------------------------------------------------------

void TForm1::ShowIndicator(int result) {
    int front = IDC_btnInputBad;
    switch (IndicatorForResult(result)) {
    case Indicator::Green:
        front = IDC_btnInputOk;
        break;
    case Indicator::Yellow:
        front = IDC_btnInputHmm;
        break;
    case Indicator::Red:
        front = IDC_btnInputBad;
        break;
    }
    // The three lights lie on top of one another; only the one in front is
    // seen and can be clicked.
    for (int id : {IDC_btnInputOk, IDC_btnInputHmm, IDC_btnInputBad}) {
        if (id != front)
            ShowWindow(Control(id), SW_HIDE);
    }
    SetWindowPos(Control(front), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

namespace {

// Whether an existing folder holds nothing at all.
bool IsEmptyFolder(const std::string& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(WideFileName(folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool empty = true;
    do
        empty = wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0;
    while (empty && FindNextFileW(find, &found));
    FindClose(find);
    return empty;
}

}  // namespace

void TForm1::EditOldAddressChange() {
    const std::string oldAddress = Text(IDC_EditOldAddress);
    const std::string newAddress = Text(IDC_EditNewAddress);
    Enable(IDC_BtnNext, !oldAddress.empty());
    // The folder can be moved from an existing folder to a place that holds
    // nothing yet; a box already checked stays free to be unchecked, and
    // the check says what stands in the way.
    // (or holds only what a move cut short left there, which the move offers to undo).
    const bool movable =
        ProbePathKind(oldAddress) == PathKind::Folder &&
        (ProbePathKind(newAddress) == PathKind::Nothing ||
         (ProbePathKind(newAddress) == PathKind::Folder &&
          (IsEmptyFolder(newAddress) || !JournalOfCutMoveTo(newAddress, {undoFolder_, DefaultUndoFolder()}).empty())));
    Enable(IDC_cbMoveFolder, movable || Checked(IDC_cbMoveFolder));
    CheckResult = Checked(IDC_cbMoveFolder)
                      ? CheckAddressesForMove(oldAddress, newAddress, ProbePathKind, IsEmptyFolder)
                      : CheckAddresses(oldAddress, newAddress, ProbePathKind);
    ShowIndicator(CheckResult);
}

void TForm1::btnInputBadClick(HWND button) {
    const bool warning = GetWindowLongPtrA(button, GWLP_USERDATA) == 0;  // the tag
    const std::string text = LoadResourceString(instance_, IDS_CHECK_BASE + CheckResult);
    HelpMessageBox(hwnd_, text, warning ? "Warning" : "Information", warning ? BoxIcon::Warning : BoxIcon::Information,
                   [this] { HelpCommand(kHelpContext, 20); });
}

}  // namespace movix
