#include "app/found_list_win.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "app/found_sort_win.h"
#include "core/strings.h"
#include "platform/handles.h"
#include "platform/window_dc_win.h"
#include "platform/locale_text_win.h"
#include "platform/wide_text_win.h"
#include "resource.h"

namespace movix {

namespace {

// Room the list view leaves around a cell's text (as its own auto-size does):
// behind the label, and in the first column for the small image before it.
constexpr int TrailingLabelPadding = 12;
constexpr int FirstColumnImageRoom = 16 + 2 + 2;
// The header draws its caption 6 pixels in from either edge of the column.
constexpr int HeaderCaptionPadding = 16;
constexpr UINT_PTR SyncTimerId = 0x4D46;  // on the list view's own timer list
constexpr DWORD SyncIntervalMs = 100;

// The list view class's own window procedure, the same for every list view:
// it serves the messages that arrive once the list object has let go.
WNDPROC g_listViewProc = nullptr;

// The popup menu's access keys: the first letter of an item's text chooses
// it (the texts carry no ampersand; every first letter is different within
// its menu).
LRESULT MenuAccessKey(WPARAM wp, LPARAM lp) {
    HMENU menu = reinterpret_cast<HMENU>(lp);
    const int count = GetMenuItemCount(menu);
    const unsigned wanted = static_cast<unsigned>(static_cast<unsigned char>(LOWORD(wp)));
    // CharUpperA given a character (not a pointer) returns it upper-cased.
    const auto upper = [](unsigned ch) {
        return reinterpret_cast<ULONG_PTR>(CharUpperA(reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(ch))));
    };
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        if (GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION) <= 0)
            continue;
        const unsigned first = static_cast<unsigned char>(text[0]);
        if (first && upper(first) == upper(wanted))
            return MAKELRESULT(i, MNC_EXECUTE);
    }
    return MAKELRESULT(0, MNC_IGNORE);
}

}  // namespace

TFoundList::TFoundList() = default;

TFoundList::~TFoundList() {
    if (hwnd_) {
        HWND hwnd = hwnd_;
        hwnd_ = nullptr;  // the parent's notifications during destruction are no longer ours
        if (IsWindow(hwnd)) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);  // from now on the control alone
            DestroyWindow(hwnd);
        }
    }
    if (menu_)
        DestroyMenu(menu_);
    if (imageList_)
        ImageList_Destroy(imageList_);
    if (letters_)
        ImageList_Destroy(letters_);
}

bool TFoundList::Create(HWND parent, const RECT& rc) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);

    // Owner data: the rows live in rows_ and the control asks for what it
    // shows, so hundreds of thousands of hits cost one vector, not one
    // control item each. The image list is ours (shared) so it outlives the
    // control in any order of destruction.
    const DWORD style =
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS;
    hwnd_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", style, rc.left, rc.top, rc.right - rc.left,
                            rc.bottom - rc.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_lvFound)),
                            reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE)), nullptr);
    if (!hwnd_)
        return false;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    controlProc_ =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProc)));
    if (!g_listViewProc)
        g_listViewProc = controlProc_;
    SetWindowContextHelpId(hwnd_, LvFoundHelpContext);

    CreateImageList(ScreenDpi());
    SendMessageA(hwnd_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(imageList_));
    CreatePopupMenuItems();
    AddColumns();
    MeasureFont();
    FitCaptionColumns();

    rows_.assign(1, PlaceholderItem());
    RecomputeWidths();
    SyncNow();
    return true;
}

void TFoundList::Resize(int width, int height) {
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFoundList::SetDpi(int dpi) {
    if (!hwnd_)
        return;
    HIMAGELIST old = imageList_;
    imageList_ = nullptr;
    CreateImageList(dpi);
    SendMessageA(hwnd_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(imageList_));
    if (old)
        ImageList_Destroy(old);
    // The widths follow with the font the window sends next.
    InvalidateRect(hwnd_, nullptr, TRUE);
}

int TFoundList::ScreenDpi() {
    const WindowDC probe(nullptr);
    return probe ? GetDeviceCaps(probe.get(), LOGPIXELSY) : 96;
}

void TFoundList::CreateImageList(int dpi) {
    // 16 by 16 at 96 DPI, and as much larger as the DPI asks.
    const int n = std::max(16, MulDiv(16, dpi, 96));
    imageSize_ = n;
    auto k = [n](int designPixels) { return MulDiv(designPixels, n, 16); };
    imageList_ = ImageList_Create(n, n, ILC_COLOR24 | ILC_MASK, 2, 0);
    if (!imageList_)
        return;
    // Both discs are drawn side by side on a key colour that becomes the mask.
    const COLORREF key = RGB(255, 0, 255);
    HDC dc = nullptr;
    GdiObject bitmap;
    {
        const WindowDC screen(nullptr);
        dc = CreateCompatibleDC(screen.get());
        bitmap.reset(CreateCompatibleBitmap(screen.get(), 2 * n, n));
    }
    if (!dc || !bitmap) {
        if (dc)
            DeleteDC(dc);
        return;
    }
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap.get());
    {
        GdiObject keyBrush(CreateSolidBrush(key));
        const RECT all{0, 0, 2 * n, n};
        FillRect(dc, &all, static_cast<HBRUSH>(keyBrush.get()));

        // Image 0, Y: a green disc.
        GdiObject greenBrush(CreateSolidBrush(RGB(0, 176, 0)));
        GdiObject greenPen(CreatePen(PS_SOLID, std::max(1, k(1)), RGB(0, 96, 0)));
        HGDIOBJ oldBrush = SelectObject(dc, greenBrush.get());
        HGDIOBJ oldPen = SelectObject(dc, greenPen.get());
        Ellipse(dc, k(1), k(1), k(15), k(15));

        // Image 1, N: a red disc hatched on white.
        GdiObject redBrush(CreateHatchBrush(HS_DIAGCROSS, RGB(208, 0, 0)));
        GdiObject redPen(CreatePen(PS_SOLID, std::max(1, k(1)), RGB(160, 0, 0)));
        SelectObject(dc, redBrush.get());
        SelectObject(dc, redPen.get());
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, RGB(255, 255, 255));
        Ellipse(dc, n + k(1), k(1), n + k(15), k(15));

        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
    }
    SelectObject(dc, oldBitmap);
    ImageList_AddMasked(imageList_, static_cast<HBITMAP>(bitmap.get()), key);

    // The letter of each mark, drawn over the disc on screen (the discs
    // themselves stay plain): the mark reads the same on a highlighted row
    // and to a user who does not tell red from green.
    letters_ = ImageList_Create(n, n, ILC_COLOR24 | ILC_MASK, 2, 0);
    HDC ldc = nullptr;
    GdiObject letterBits;
    {
        const WindowDC screen(nullptr);
        ldc = CreateCompatibleDC(screen.get());
        letterBits.reset(CreateCompatibleBitmap(screen.get(), 2 * n, n));
    }
    DeleteDC(dc);
    if (!letters_ || !ldc || !letterBits) {
        if (ldc)
            DeleteDC(ldc);
        return;
    }
    HGDIOBJ oldLetterBitmap = SelectObject(ldc, letterBits.get());
    {
        GdiObject keyBrush(CreateSolidBrush(key));
        const RECT all{0, 0, 2 * n, n};
        FillRect(ldc, &all, static_cast<HBRUSH>(keyBrush.get()));
        GdiObject letterFont(CreateFontA(-k(11), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                         DEFAULT_PITCH | FF_SWISS, "Arial"));
        HGDIOBJ oldFont = SelectObject(ldc, letterFont.get());
        SetBkMode(ldc, TRANSPARENT);
        struct Letter {
            const char* text;
            int left;
            COLORREF outline;
        };
        for (const Letter& letter : {Letter{"Y", 0, RGB(0, 96, 0)}, Letter{"N", n, RGB(120, 0, 0)}}) {
            RECT cell{letter.left, 0, letter.left + n, n};
            // A dark outline around a white letter keeps it clear of the hatch.
            SetTextColor(ldc, letter.outline);
            for (const POINT d : {POINT{-1, 0}, POINT{1, 0}, POINT{0, -1}, POINT{0, 1}}) {
                RECT shifted = cell;
                OffsetRect(&shifted, d.x, d.y);
                DrawTextA(ldc, letter.text, 1, &shifted, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            }
            SetTextColor(ldc, RGB(255, 255, 255));
            DrawTextA(ldc, letter.text, 1, &cell, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
        SelectObject(ldc, oldFont);
    }
    SelectObject(ldc, oldLetterBitmap);
    DeleteDC(ldc);
    ImageList_AddMasked(letters_, static_cast<HBITMAP>(letterBits.get()), key);
}

void TFoundList::CreatePopupMenuItems() {
    menu_ = CreatePopupMenu();
    if (!menu_)
        return;
    // Access keys, so that the menu opened from the keyboard (Shift+F10,
    // the menu key) is also worked from it.
    // (Each item's first letter, see WM_MENUCHAR in OnListMessage.)
    AppendMenuA(menu_, MF_STRING, IDM_Toggle1, "Toggle");
    AppendMenuA(menu_, MF_STRING, IDM_Yes1, "Yes");
    AppendMenuA(menu_, MF_STRING, IDM_No1, "No");
    AppendMenuA(menu_, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu_, MF_STRING, IDM_WhatsThis2, "What's This");
    // Sorting without the mouse: the same as a click on the column's header.
    HMENU sortBy = CreatePopupMenu();
    if (!sortBy)
        return;
    for (int c = 0; c < FoundColumnCount; ++c)
        AppendMenuA(sortBy, MF_STRING, static_cast<UINT_PTR>(IDM_SortByBase + c), FoundColumnCaptions[c]);
    AppendMenuA(menu_, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(sortBy), "Sort by");
}

void TFoundList::AddColumns() {
    for (int c = 0; c < FoundColumnCount; ++c) {
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
        col.fmt = LVCFMT_LEFT;
        col.cx = 60;
        col.pszText = const_cast<char*>(FoundColumnCaptions[c]);
        col.iSubItem = c;
        SendMessageA(hwnd_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
    }
}

// "Type" and "SubType" fit their captions: their texts are shorter.
void TFoundList::FitCaptionColumns() {
    for (int c : {static_cast<int>(ColType), static_cast<int>(ColSubType)})
        CallWindowProcW(controlProc_, hwnd_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c),
                        MAKELPARAM(TextWidth(FoundColumnCaptions[c]) + HeaderCaptionPadding, 0));
}

int TFoundList::ColumnWidth(int column) const {
    return hwnd_ ? static_cast<int>(SendMessageA(hwnd_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0)) : 0;
}

// ---- adding rows --------------------------------------------------------

void TFoundList::AddFoundItem(const std::string& item,
                              const std::string& path,
                              const std::string& context,
                              int kind,
                              int subType,
                              const std::string& valueName) {
    if (isShuttingDown_ && isShuttingDown_())
        return;
    bool replacedPlaceholder = false;
    if (rows_.size() == 1 && IsPlaceholder(rows_[0])) {
        // The first hit takes the placeholder's place; a selection or focus
        // on the placeholder must not pass to it.
        if (hwnd_) {
            LVITEMA state{};
            state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageA(hwnd_, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
        }
        rows_.clear();
        std::fill(std::begin(widest_), std::end(widest_), 0);
        replacedPlaceholder = true;
    }
    TFoundItem row = MakeFoundItem(item, path, context, kind, subType, valueName, oldUpper_, new_);
    rows_.push_back(std::move(row));

    if (replacedPlaceholder) {
        RecomputeWidths();
        if (hwnd_)
            InvalidateRect(hwnd_, nullptr, TRUE);
        if (hwnd_ && GetFocus() == hwnd_) {
            // The list has the keyboard already: its first real row takes
            // the focus, so that Space acts on it at once.
            SyncNow();
            EnsureFocusedRow();
        }
    } else {
        WidenFor(rows_.back());
    }
    RequestSync();
    if (currentCount_)
        ++*currentCount_;
}

void TFoundList::SetMoveRow(const std::string& oldFolder, const std::string& newFolder) {
    if (rows_.size() == 1 && IsPlaceholder(rows_[0]))
        rows_.clear();
    if (!rows_.empty() && IsMoveRow(rows_[0]))
        rows_[0] = MoveRowItem(oldFolder, newFolder);
    else
        rows_.insert(rows_.begin(), MoveRowItem(oldFolder, newFolder));
    RecomputeWidths();
    SyncNow();
    if (hwnd_)
        InvalidateRect(hwnd_, nullptr, TRUE);
}

void TFoundList::SetMoveRowNew(const std::string& newFolder) {
    if (rows_.empty() || !IsMoveRow(rows_[0]))
        return;
    rows_[0].Context = rows_[0].Path + " -> " + newFolder;
    WidenFor(rows_[0]);
    RequestSync();
    if (hwnd_)
        SendMessageA(hwnd_, LVM_REDRAWITEMS, 0, 0);
}

const TFoundItem* TFoundList::MoveRow() const {
    return !rows_.empty() && IsMoveRow(rows_[0]) ? &rows_[0] : nullptr;
}

void TFoundList::SetOldAddress(const std::string& oldAddress) {
    oldUpper_ = UpperText(oldAddress);
}

void TFoundList::SetNewAddress(const std::string& newAddress) {
    new_ = newAddress;
}

void TFoundList::RequestSync() {
    if (!hwnd_)
        return;
    const DWORD now = GetTickCount();
    if (now - lastSync_ >= SyncIntervalMs) {
        // Also while a steady stream of hits keeps the timer from firing.
        SyncNow();
        return;
    }
    if (!syncPending_) {
        syncPending_ = true;
        SetTimer(hwnd_, SyncTimerId, SyncIntervalMs, nullptr);
    }
}

void TFoundList::SyncNow() {
    if (!hwnd_)
        return;
    if (syncPending_) {
        syncPending_ = false;
        KillTimer(hwnd_, SyncTimerId);
    }
    lastSync_ = GetTickCount();
    if (controlCount_ != rows_.size()) {
        controlCount_ = rows_.size();
        SendMessageA(hwnd_, LVM_SETITEMCOUNT, controlCount_, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    ApplyWidths();
}

// ---- column widths ------------------------------------------------------

void TFoundList::MeasureFont() {
    if (!hwnd_)
        return;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd_, WM_GETFONT, 0, 0));
    if (!font)
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const WindowDC windowDC(hwnd_);
    HDC dc = windowDC.get();
    if (!dc)
        return;
    HGDIOBJ old = SelectObject(dc, font);
    if (!GetCharWidth32A(dc, 0, 255, charWidth_)) {
        SIZE size{};
        GetTextExtentPoint32A(dc, "x", 1, &size);
        std::fill(std::begin(charWidth_), std::end(charWidth_), static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    // The texts are UTF-8: a byte above 127 is part of a character whose
    // advance only the font knows.
    multiByteCodePage_ = true;
}

int TFoundList::TextWidth(std::string_view text) const {
    if (multiByteCodePage_) {
        // Double-byte characters have no per-byte advance: ask the font.
        bool plain = true;
        for (char ch : text)
            plain = plain && static_cast<unsigned char>(ch) < 0x80;
        if (!plain && hwnd_) {
            const WindowDC windowDC(hwnd_);
            HDC dc = windowDC.get();
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(hwnd_, WM_GETFONT, 0, 0)));
            SIZE size{};
            const std::wstring wide = Utf8ToWide(text);
            GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
            SelectObject(dc, old);
            return static_cast<int>(size.cx);
        }
    }
    int width = 0;
    for (char ch : text)
        width += charWidth_[static_cast<unsigned char>(ch)];
    return width;
}

void TFoundList::WidenFor(const TFoundItem& row) {
    for (int c : {static_cast<int>(ColItem), static_cast<int>(ColPath), static_cast<int>(ColContext)})
        widest_[c] = std::max(widest_[c], TextWidth(ColumnText(row, c)));
}

void TFoundList::RecomputeWidths() {
    for (int c : {static_cast<int>(ColItem), static_cast<int>(ColPath), static_cast<int>(ColContext)}) {
        int widest = 0;
        for (const TFoundItem& row : rows_)
            widest = std::max(widest, TextWidth(ColumnText(row, c)));
        widest_[c] = widest;
    }
}

void TFoundList::ApplyWidths() {
    if (!hwnd_)
        return;
    for (int c : {static_cast<int>(ColItem), static_cast<int>(ColPath), static_cast<int>(ColContext)}) {
        int width = widest_[c] + TrailingLabelPadding;
        if (c == ColItem)
            width += FirstColumnImageRoom + imageSize_ - 16;  // the images grow with the DPI
        // Never narrower than the caption, which would be cut short.
        width = std::max(width, TextWidth(FoundColumnCaptions[c]) + HeaderCaptionPadding);
        if (width == applied_[c])
            continue;
        applied_[c] = width;
        SendMessageA(hwnd_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), MAKELPARAM(width, 0));
    }
}

// ---- subclass -----------------------------------------------------------

LRESULT CALLBACK TFoundList::ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TFoundList*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return CallWindowProcW(g_listViewProc, hwnd, msg, wp, lp);
    try {
        return self->OnListMessage(hwnd, msg, wp, lp);
    } catch (...) {
        // Nothing may unwind through the window procedure; the message is
        // left to the control.
        return CallWindowProcW(self->controlProc_, hwnd, msg, wp, lp);
    }
}

LRESULT TFoundList::OnListMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    // Whoever asks the control about its rows, and every key, click or
    // scroll of the user, meets the rows added so far.
    if (syncPending_ && ((msg >= LVM_FIRST && msg < LVM_FIRST + 0x100) || (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) ||
                         (msg > WM_MOUSEMOVE && msg <= WM_MOUSELAST) || msg == WM_VSCROLL || msg == WM_HSCROLL ||
                         msg == WM_CONTEXTMENU))
        SyncNow();
    switch (msg) {
        case WM_TIMER:
            if (wp == SyncTimerId) {
                SyncNow();
                return 0;
            }
            break;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
            lvFoundMouseUp(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
            break;
        case WM_MENUCHAR:
            return MenuAccessKey(wp, lp);
        case WM_SETFOCUS: {
            const LRESULT r = CallWindowProcW(controlProc_, hwnd, msg, wp, lp);
            EnsureFocusedRow();
            return r;
        }
        case WM_KEYDOWN: {
            // Space is the mark's key (its character toggles below); the
            // control would first change the selection with it, and the
            // toggle would then miss the row the user sees focused.
            if (wp == VK_SPACE && GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_SHIFT) >= 0)
                return 0;
            const LRESULT r = CallWindowProcW(controlProc_, hwnd, msg, wp, lp);
            switch (wp) {
                case VK_UP:
                case VK_DOWN:
                case VK_PRIOR:
                case VK_NEXT:
                case VK_HOME:
                case VK_END:
                    ShowRowTip();
                    break;
                case VK_ESCAPE:
                    HideRowTip();
                    break;
                default:
                    break;
            }
            return r;
        }
        case WM_KILLFOCUS:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MOUSEWHEEL:
        case WM_VSCROLL:
            HideRowTip();
            break;
        case WM_CHAR:
            if (wp == ' ') {
                // Taken here: passed on, the space would start the control's
                // type-ahead search and move the selection.
                lvFoundKeyPress(' ');
                return 0;
            }
            break;
        case WM_CONTEXTMENU: {
            // Shift+F10 or the menu key (the mouse is served by NM_RCLICK):
            // open the menu at the focused row, or at the list's corner.
            POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            if (lp == -1) {
                HideRowTip();
                AnchorAtFocusedRow();
                RECT rc{};
                const int focused = FocusedRow();
                rc.left = LVIR_LABEL;
                if (focused < 0 ||
                    !SendMessageA(hwnd, LVM_GETITEMRECT, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&rc)))
                    SetRect(&rc, 0, 0, 0, 0);
                pt = POINT{rc.left, rc.bottom};
                ClientToScreen(hwnd, &pt);
            }
            ShowPopupMenu(pt);
            return 0;
        }
        case WM_SETFONT: {
            const LRESULT r = CallWindowProcW(controlProc_, hwnd, msg, wp, lp);
            MeasureFont();
            FitCaptionColumns();
            RecomputeWidths();
            ApplyWidths();
            return r;
        }
        case WM_NCDESTROY:
            if (rowTip_)
                DestroyWindow(rowTip_);
            rowTip_ = nullptr;
            KillTimer(hwnd, SyncTimerId);
            syncPending_ = false;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            return CallWindowProcW(controlProc_, hwnd, msg, wp, lp);
        default:
            break;
    }
    return CallWindowProcW(controlProc_, hwnd, msg, wp, lp);
}

}  // namespace movix
