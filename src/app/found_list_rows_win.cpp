// The found-items list: what it tells the list view and the window, its
// marks, the row under the pointer, and the order and removal of its rows.
#include "app/found_list_win.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "app/found_sort_win.h"
#include "core/strings.h"
#include "platform/handles.h"
#include "platform/locale_text_win.h"
#include "platform/wide_text_win.h"
#include "resource.h"

namespace movix {

namespace {

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

// The same into a wide notification's buffer.
void CopyTextW(std::string_view text, wchar_t* buffer, int capacity) {
    if (!buffer || capacity <= 0)
        return;
    const std::wstring wide = Utf8ToWide(text);
    const std::size_t n = std::min(wide.size(), static_cast<std::size_t>(capacity - 1));
    if (n)
        std::memcpy(buffer, wide.data(), n * sizeof(wchar_t));
    buffer[n] = L'\0';
}

std::string NarrowText(const wchar_t* text) {
    return text ? WideToUtf8(text) : std::string();
}

}  // namespace

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
