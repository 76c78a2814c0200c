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

// Copies a text into an ANSI notification's buffer, cut to fit (only a
// parent that is no Unicode window asks for these).
void CopyTextA(std::string_view text, char* buffer, int capacity) {
    if (!buffer || capacity <= 0)
        return;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
    if (n)
        std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

void CopyTextW(std::string_view text, wchar_t* buffer, int capacity) {
    if (!buffer || capacity <= 0)
        return;
    int n = 0;
    if (!text.empty()) {
        n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), buffer, capacity - 1);
        if (n == 0) {
            // Too long for the buffer: convert whole, then cut.
            const int need = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
            std::wstring wide(static_cast<std::size_t>(need), L'\0');
            MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], need);
            n = std::min(need, capacity - 1);
            std::memcpy(buffer, wide.data(), static_cast<std::size_t>(n) * sizeof(wchar_t));
        }
    }
    buffer[n] = L'\0';
}

std::string NarrowText(const wchar_t* text) {
    if (!text)
        return {};
    const int need = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (need <= 1)
        return {};
    std::string narrow(static_cast<std::size_t>(need), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], need, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(need - 1));
    return narrow;
}

// The list view class's own window procedure, the same for every list view:
// it serves the messages that arrive once the list object has let go.
WNDPROC g_listViewProc = nullptr;

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

// ---- notifications ------------------------------------------------------

bool TFoundList::HandleNotify(NMHDR* header, LRESULT& result) {
    if (!header || !hwnd_ || header->hwndFrom != hwnd_)
        return false;
    result = 0;
    switch (header->code) {
        case LVN_GETDISPINFOA:
        case LVN_GETDISPINFOW:
            OnGetDispInfo(header);
            return true;
        case LVN_ODFINDITEMA:
        case LVN_ODFINDITEMW:
            result = OnFindItem(header);
            return true;
        case LVN_ODCACHEHINT:
            return true;
        case LVN_DELETEALLITEMS:
            result = TRUE;  // the rows are ours: no notice per row
            return true;
        case NM_CUSTOMDRAW:
            result = OnCustomDraw(header);
            return true;
        case LVN_COLUMNCLICK:
            lvFoundColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
            return true;
        // The control keeps the button-up of a click to itself while it
        // tracks the mouse; the click notifications carry the point instead.
        case NM_CLICK:
            lvFoundMouseUp(reinterpret_cast<NMITEMACTIVATE*>(header)->ptAction);
            return true;
        case NM_DBLCLK:
            lvFoundMouseUp(reinterpret_cast<NMITEMACTIVATE*>(header)->ptAction);
            lvFoundDblClick();
            return true;
        case NM_RCLICK: {
            lvFoundMouseUp(reinterpret_cast<NMITEMACTIVATE*>(header)->ptAction);
            POINT screen{};
            GetCursorPos(&screen);
            ShowPopupMenu(screen);
            result = 1;  // handled: no WM_CONTEXTMENU follows
            return true;
        }
        default:
            return false;
    }
}

void TFoundList::OnGetDispInfo(NMHDR* header) {
    // LVITEMA and LVITEMW differ only in the type of pszText.
    auto* infoA = reinterpret_cast<NMLVDISPINFOA*>(header);
    LVITEMA& item = infoA->item;
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= rows_.size())
        return;
    const TFoundItem& row = rows_[static_cast<std::size_t>(item.iItem)];
    if (item.mask & LVIF_TEXT) {
        const std::string_view text = ColumnText(row, item.iSubItem);
        if (header->code == LVN_GETDISPINFOW)
            CopyTextW(text, reinterpret_cast<NMLVDISPINFOW*>(header)->item.pszText, item.cchTextMax);
        else
            CopyTextA(text, item.pszText, item.cchTextMax);
    }
    if (item.mask & LVIF_IMAGE)
        item.iImage = item.iSubItem == 0 ? static_cast<int>(row.Mark) : -1;
    if (item.mask & LVIF_INDENT)
        item.iIndent = 0;
}

// A flagged row keeps its Y/N disc and gets a small yellow warning triangle
// over the disc's lower right, drawn after the control has drawn the row. Only
// rows on screen are drawn, so the cost does not grow with the list.
LRESULT TFoundList::OnCustomDraw(NMHDR* header) {
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            const std::size_t index = static_cast<std::size_t>(draw->nmcd.dwItemSpec);
            if (index >= rows_.size())
                return CDRF_DODEFAULT;
            // Every row's mark gets its letter after the control has drawn
            // the disc (a selected row's disc is drawn again first: the
            // control blends it into the highlight).
            return CDRF_NOTIFYPOSTPAINT;
        }
        case CDDS_ITEMPOSTPAINT: {
            const std::size_t index = static_cast<std::size_t>(draw->nmcd.dwItemSpec);
            RECT icon{};
            icon.left = LVIR_ICON;
            if (index >= rows_.size() ||
                !CallWindowProcW(controlProc_, hwnd_, LVM_GETITEMRECT, static_cast<WPARAM>(draw->nmcd.dwItemSpec),
                                 reinterpret_cast<LPARAM>(&icon)))
                return CDRF_DODEFAULT;
            HDC dc = draw->nmcd.hdc;
            const int x = icon.left, y = icon.top + (icon.bottom - icon.top - imageSize_) / 2;
            if (RowSelected(static_cast<int>(index)) && imageList_)
                ImageList_Draw(imageList_, static_cast<int>(rows_[index].Mark), dc, x, y, ILD_NORMAL);
            if (letters_)
                ImageList_Draw(letters_, static_cast<int>(rows_[index].Mark), dc, x, y, ILD_TRANSPARENT);
            if (!IsFlagged(rows_[index]))
                return CDRF_DODEFAULT;
            const POINT triangle[] = {{x + 11, y + 5}, {x + 16, y + 15}, {x + 6, y + 15}};
            GdiObject fill(CreateSolidBrush(RGB(255, 204, 0)));
            GdiObject edge(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
            HGDIOBJ oldBrush = SelectObject(dc, fill.get());
            HGDIOBJ oldPen = SelectObject(dc, edge.get());
            Polygon(dc, triangle, 3);
            // The exclamation mark: a stroke and a dot.
            MoveToEx(dc, x + 11, y + 8, nullptr);
            LineTo(dc, x + 11, y + 12);
            SetPixel(dc, x + 11, y + 13, RGB(0, 0, 0));
            SelectObject(dc, oldBrush);
            SelectObject(dc, oldPen);
            return CDRF_DODEFAULT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

// Type-ahead in the list: the first row from iStart whose Item begins with
// the typed text, ignoring case as the control's own search does.
LRESULT TFoundList::OnFindItem(NMHDR* header) const {
    std::string wanted;
    int start = 0;
    UINT flags = 0;
    if (header->code == LVN_ODFINDITEMW) {
        auto* find = reinterpret_cast<NMLVFINDITEMW*>(header);
        if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)))
            return -1;
        wanted = NarrowText(find->lvfi.psz);
        start = find->iStart;
        flags = find->lvfi.flags;
    } else {
        auto* find = reinterpret_cast<NMLVFINDITEMA*>(header);
        if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find->lvfi.psz)
            return -1;
        wanted = find->lvfi.psz;
        start = find->iStart;
        flags = find->lvfi.flags;
    }
    const int count = RowCount();
    if (count == 0 || wanted.empty())
        return -1;
    if (start < 0 || start >= count)
        start = 0;
    const bool partial = (flags & LVFI_PARTIAL) != 0;
    const int span = (flags & LVFI_WRAP) ? count : count - start;
    for (int k = 0; k < span; ++k) {
        const int i = (start + k) % count;
        const std::string& text = rows_[static_cast<std::size_t>(i)].Item;
        if (partial && text.size() < wanted.size())
            continue;
        const int len = partial ? static_cast<int>(wanted.size()) : static_cast<int>(text.size());
        if (CompareLocale(std::string_view(text.data(), static_cast<std::size_t>(len)), wanted, true) == CSTR_EQUAL)
            return i;
    }
    return -1;
}

bool TFoundList::HandleCommand(int id) {
    switch (id) {
        case IDM_Toggle1:
            Toggle1Click(TagToggle);
            return true;
        case IDM_Yes1:
            Toggle1Click(TagYes);
            return true;
        case IDM_No1:
            Toggle1Click(TagNo);
            return true;
        case IDM_WhatsThis2:
            WhatsThis2Click();
            return true;
        default:
            if (id >= IDM_SortByBase && id < IDM_SortByBase + FoundColumnCount) {
                lvFoundColumnClick(id - IDM_SortByBase);
                return true;
            }
            return false;
    }
}

void TFoundList::ShowPopupMenu(POINT screenPoint) {
    if (!menu_ || !hwnd_)
        return;
    const int command = static_cast<int>(TrackPopupMenu(menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                        screenPoint.x, screenPoint.y, 0, hwnd_, nullptr));
    if (command)
        HandleCommand(command);
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
        case WM_MENUCHAR: {
            // The menu's access keys: the first letter of an item's text
            // chooses it (the texts carry no ampersand; every first letter
            // is different within its menu).
            HMENU menu = reinterpret_cast<HMENU>(lp);
            const int count = GetMenuItemCount(menu);
            const unsigned wanted = static_cast<unsigned>(static_cast<unsigned char>(LOWORD(wp)));
            for (int i = 0; i < count; ++i) {
                char text[64] = {};
                if (GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION) <= 0)
                    continue;
                const unsigned first = static_cast<unsigned char>(text[0]);
                // CharUpperA given a character (not a pointer) returns it upper-cased.
                auto upper = [](unsigned ch) {
                    return reinterpret_cast<ULONG_PTR>(CharUpperA(reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(ch))));
                };
                if (first && upper(first) == upper(wanted))
                    return MAKELRESULT(i, MNC_EXECUTE);
            }
            return MAKELRESULT(0, MNC_IGNORE);
        }
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

// ---- marks --------------------------------------------------------------

std::vector<int> TFoundList::SelectedIndices(int limit) const {
    std::vector<int> selected;
    if (!hwnd_ || limit <= 0)
        return selected;
    selected.reserve(static_cast<std::size_t>(limit));
    const int count = RowCount();
    for (int i = -1; static_cast<int>(selected.size()) < limit;) {
        i = static_cast<int>(SendMessageA(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED));
        if (i < 0 || i >= count)
            break;
        selected.push_back(i);
    }
    return selected;
}

void TFoundList::Toggle1Click(int tag) {
    if (!hwnd_ || tag < TagToggle || tag > TagNo)
        return;
    const int selected = static_cast<int>(SendMessageA(hwnd_, LVM_GETSELECTEDCOUNT, 0, 0));
    const int count = RowCount();
    int acted = 0;
    if (selected == count) {
        // Every row: no need to ask the control row by row.
        for (TFoundItem& row : rows_)
            row.Mark = MarkAfterCommand(row.Mark, tag);
        acted = count;
    }
    for (int i = -1; acted < selected;) {
        i = static_cast<int>(SendMessageA(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED));
        if (i < 0 || i >= count)
            break;
        TFoundItem& row = rows_[static_cast<std::size_t>(i)];
        row.Mark = MarkAfterCommand(row.Mark, tag);
        ++acted;
    }
    if (acted)
        InvalidateRect(hwnd_, nullptr, FALSE);
}

bool TFoundList::RowSelected(int index) const {
    return (CallWindowProcW(controlProc_, hwnd_, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_SELECTED) &
            LVIS_SELECTED) != 0;
}

// A list with the keyboard shows where it is: without a focused row the
// first selected one, else the top row on screen, becomes focused (and, when
// nothing is selected, selected, so that Space toggles it). The placeholder
// row is no hit and is left alone.
void TFoundList::EnsureFocusedRow() {
    if (!hwnd_ || rows_.empty() || (rows_.size() == 1 && IsPlaceholder(rows_[0])))
        return;
    if (controlCount_ != rows_.size())
        SyncNow();
    if (SendMessageA(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED) >= 0)
        return;
    int row = static_cast<int>(SendMessageA(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    LVITEMA state{};
    if (row < 0) {
        row = static_cast<int>(SendMessageA(hwnd_, LVM_GETTOPINDEX, 0, 0));
        if (row < 0 || row >= RowCount())
            row = 0;
        state.state = state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(hwnd_, LVM_SETSELECTIONMARK, 0, row);
    } else {
        state.state = state.stateMask = LVIS_FOCUSED;
    }
    SendMessageA(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

void TFoundList::lvFoundKeyPress(char key) {
    if (key == ' ')
        Toggle1Click(TagToggle);
}

int TFoundList::RowAtY(int y) const {
    if (!hwnd_)
        return -1;
    // x = 4 finds the row wherever along it the point lies; the sub-item hit
    // test still finds it when the list is scrolled sideways.
    LVHITTESTINFO hit{};
    hit.pt = POINT{4, y};
    const int index = static_cast<int>(SendMessageA(hwnd_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (index < 0 || index >= RowCount() || hit.iItem != index)
        return -1;
    return index;
}

void TFoundList::SetMark(int index, TMark mark) {
    rows_[static_cast<std::size_t>(index)].Mark = mark;
    SendMessageA(hwnd_, LVM_REDRAWITEMS, static_cast<WPARAM>(index), index);
}

void TFoundList::lvFoundDblClick() {
    const int index = RowAtY(lastMouseUp_.y);
    if (index >= 0)
        SetMark(index, FlippedMark(Row(index).Mark));
}

int TFoundList::FocusedRow() const {
    if (!hwnd_)
        return -1;
    const int row = static_cast<int>(SendMessageA(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    return row >= 0 && row < RowCount() ? row : -1;
}

void TFoundList::AnchorAtFocusedRow() {
    const int row = FocusedRow();
    if (row < 0)
        return;
    SendMessageA(hwnd_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    RECT rc{};
    rc.left = LVIR_BOUNDS;
    if (!SendMessageA(hwnd_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc)))
        return;
    lastMouseUp_ = POINT{std::max(0L, rc.left) + 4, (rc.top + rc.bottom) / 2};
}

void TFoundList::ScrollSideways(bool right, bool byColumn) {
    if (!hwnd_)
        return;
    HideRowTip();
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS | SIF_RANGE | SIF_PAGE;
    if (!GetScrollInfo(hwnd_, SB_HORZ, &info))
        info = SCROLLINFO{};
    const int position = info.nPos;
    int target = position;
    if (byColumn) {
        // The column edges, in view coordinates: the next one to the right of
        // the view's left edge, or the last one before it.
        int left = 0;
        target = right ? position : 0;
        for (int c = 0; c < FoundColumnCount; ++c) {
            if (right && left > position) {
                target = left;
                break;
            }
            if (!right && left < position)
                target = left;
            left += ColumnWidth(c);
        }
    } else {
        const int step = std::max(16, 6 * std::max(1, charWidth_[static_cast<unsigned char>('n')]));
        target = right ? position + step : position - step;
    }
    const int last = std::max(0, info.nMax - std::max(0, static_cast<int>(info.nPage) - 1));
    target = std::max(0, std::min(target, last));
    if (target != position)
        SendMessageA(hwnd_, LVM_SCROLL, static_cast<WPARAM>(target - position), 0);
}

void TFoundList::ShowRowTip() {
    const int row = FocusedRow();
    if (!hwnd_ || row < 0 || GetFocus() != hwnd_ || IsPlaceholder(Row(row))) {
        HideRowTip();
        return;
    }
    if (!rowTip_) {
        rowTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                  reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd_, GWLP_HINSTANCE)), nullptr);
        if (!rowTip_)
            return;
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
        tool.hwnd = hwnd_;
        tool.uId = 1;
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(rowTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(rowTip_, TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN));
    }
    const TFoundItem& item = Row(row);
    std::string text;
    for (int c = 0; c < FoundColumnCount; ++c) {
        if (c)
            text += "\r\n";
        text += FoundColumnCaptions[c];
        text += ": ";
        text += ColumnText(item, c);
    }
    const std::wstring wide = Utf8ToWide(text);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = 1;
    tool.lpszText = const_cast<wchar_t*>(wide.c_str());
    SendMessageW(rowTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    // Below the row, from the list's left edge.
    RECT rc{};
    rc.left = LVIR_BOUNDS;
    SendMessageA(hwnd_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc));
    RECT client{};
    GetClientRect(hwnd_, &client);
    POINT at{client.left + 4, std::min(std::max(rc.bottom, client.top), client.bottom) + 2};
    ClientToScreen(hwnd_, &at);
    SendMessageW(rowTip_, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y));
    SendMessageW(rowTip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void TFoundList::HideRowTip() {
    if (!rowTip_)
        return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = 1;
    SendMessageW(rowTip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

int TFoundList::FoundItemHelpContext(POINT pt) const {
    if (!hwnd_)
        return LvFoundHelpContext;
    if (pt.x < 0 || pt.y < 0) {
        GetCursorPos(&pt);
        ScreenToClient(hwnd_, &pt);
    }
    const int index = RowAtY(pt.y);
    if (index < 0)
        return LvFoundHelpContext;
    return HelpContextOfRow(Row(index));
}

void TFoundList::WhatsThis2Click() {
    const int context = FoundItemHelpContext(lastMouseUp_);
    if (onWhatsThis)
        onWhatsThis(context);
}

// ---- sorting and deleting -----------------------------------------------

void TFoundList::lvFoundColumnClick(int column) {
    if (column < 0 || column >= FoundColumnCount)
        return;
    sortDescending_ = column == sortColumn_ ? !sortDescending_ : false;
    sortColumn_ = column;
    SortRows();
}

void TFoundList::SortFixedOrder() {
    sortColumn_ = -1;
    sortDescending_ = false;
    SortRows();
}

void TFoundList::SortRows() {
    if (sortColumn_ < 0)
        sortDescending_ = false;
    Reorder(SortedOrderLocale(rows_, sortColumn_, sortDescending_));
}

void TFoundList::DeleteRowsMarkedN() {
    std::vector<std::size_t> keep;
    keep.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Mark == MarkY)
            keep.push_back(i);
    if (keep.size() == rows_.size())
        return;
    Reorder(keep);
    RecomputeWidths();
    SyncNow();
}

void TFoundList::Reorder(const std::vector<std::size_t>& keep) {
    // The control keeps selection and focus by position; they follow their
    // rows to the new positions so the mark commands still act on the rows
    // the user selected. Redrawing is off meanwhile: under Wine every state
    // change of a visible row repaints it.
    const int oldCount = RowCount();
    int selectedCount = 0, focused = -1, mark = -1, top = 0;
    std::vector<int> selected;
    if (hwnd_) {
        SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
        selectedCount = static_cast<int>(SendMessageA(hwnd_, LVM_GETSELECTEDCOUNT, 0, 0));
        if (selectedCount > 0 && selectedCount < oldCount)
            selected = SelectedIndices(selectedCount);
        focused = static_cast<int>(SendMessageA(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
        mark = static_cast<int>(SendMessageA(hwnd_, LVM_GETSELECTIONMARK, 0, 0));
        top = static_cast<int>(SendMessageA(hwnd_, LVM_GETTOPINDEX, 0, 0));
    }

    std::vector<int> newIndex(rows_.size(), -1);
    std::vector<TFoundItem> reordered;
    reordered.reserve(keep.size());
    for (std::size_t k = 0; k < keep.size(); ++k) {
        newIndex[keep[k]] = static_cast<int>(k);
        reordered.push_back(std::move(rows_[keep[k]]));
    }
    rows_ = std::move(reordered);
    if (!hwnd_)
        return;
    auto mapped = [&](int old) { return old >= 0 && old < oldCount ? newIndex[static_cast<std::size_t>(old)] : -1; };

    // The new places of the selected rows, ascending: the control keeps the
    // selection as a sorted list of ranges, cheapest to extend at its end.
    std::vector<int> now;
    now.reserve(selected.size());
    for (int old : selected)
        if (mapped(old) >= 0)
            now.push_back(mapped(old));
    std::sort(now.begin(), now.end());

    LVITEMA state{};
    bool emptied = false;
    if (selected.size() <= 256) {
        state.stateMask = LVIS_SELECTED;
        for (int old : selected)
            SendMessageA(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(old), reinterpret_cast<LPARAM>(&state));
    } else {
        // Deselecting row by row is as slow; emptying the list clears the
        // selection at once (the rows are set back right after).
        SendMessageA(hwnd_, LVM_DELETEALLITEMS, 0, 0);
        controlCount_ = 0;
        emptied = true;
    }
    if (!emptied && focused >= 0 && mapped(focused) != focused && focused < static_cast<int>(rows_.size())) {
        state.stateMask = LVIS_FOCUSED;
        state.state = 0;
        SendMessageA(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&state));
    }
    if (syncPending_ || controlCount_ != rows_.size())
        SyncNow();
    // In an order that keeps the control's cost low (SelectRows).
    SelectRows(hwnd_, now, static_cast<int>(rows_.size()));
    if (mapped(focused) >= 0) {
        state.stateMask = LVIS_FOCUSED;
        state.state = LVIS_FOCUSED;
        SendMessageA(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(mapped(focused)), reinterpret_cast<LPARAM>(&state));
    }
    SendMessageA(hwnd_, LVM_SETSELECTIONMARK, 0, mapped(mark));
    // Emptying may have scrolled the list (it does on Windows): back to
    // where it was.
    const int topNow = static_cast<int>(SendMessageA(hwnd_, LVM_GETTOPINDEX, 0, 0));
    if (emptied && topNow != top && !rows_.empty()) {
        RECT rc{};
        rc.left = LVIR_BOUNDS;
        if (SendMessageA(hwnd_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rc)) && rc.bottom > rc.top)
            SendMessageA(hwnd_, LVM_SCROLL, 0, static_cast<LPARAM>(top - topNow) * (rc.bottom - rc.top));
    }
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

}  // namespace movix
