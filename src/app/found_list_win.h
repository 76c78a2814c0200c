// lvFound, the found-items list on the Search page: a virtual report list view
// whose rows live in a vector here, its Y/N image list, its pop-up menu, the
// mark commands, sorting and the help context of a row. The main window owns
// one, forwards the list's WM_NOTIFY and the menu's commands to it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/found_items.h"
#include "app/found_sort_win.h"

namespace movix {

// The list view's GWLP_USERDATA belongs to this class (it finds itself there).
class TFoundList {
  public:
    TFoundList();
    ~TFoundList();
    TFoundList(const TFoundList&) = delete;
    TFoundList& operator=(const TFoundList&) = delete;

    // Creates the list view as child IDC_lvFound of parent at rc (parent client
    // coordinates), holding the "<none>" placeholder row. False on failure.
    bool Create(HWND parent, const RECT& rc);
    HWND Handle() const { return hwnd_; }
    void Resize(int width, int height);
    // The window moved to a screen of another DPI: the Y/N images are made
    // anew at their size there (the font, and with it the widths, follows).
    void SetDpi(int dpi);

    // Hooks supplied by the main window.
    void SetShuttingDownCheck(std::function<bool()> isShuttingDown) { isShuttingDown_ = std::move(isShuttingDown); }
    // The hit count of the search now running; nullptr counts nothing.
    void SetCurrentCount(int* currentCount) { currentCount_ = currentCount; }
    // The Old address of the search run, given once before its first hit:
    // rows whose Context has it followed by a blank and more of a name are
    // flagged as maybe naming a longer folder (TFoundItem::MaybeLonger).
    void SetOldAddress(const std::string& oldAddress);
    // The New address the rows are judged for (UnquotedBlank), as it
    // stands when the search starts.
    void SetNewAddress(const std::string& newAddress);
    // "What's This" of the pop-up menu: receives the help context of the row
    // at LastMouseUp, to be shown as a context popup through the help hook.
    std::function<void(int context)> onWhatsThis;

    // A hit reported by a search thread (on the main thread): appends a row
    // marked Y and counts it. Nothing happens once the program is closing.
    // A Registry value's hit also carries the value's own name.
    void AddFoundItem(const std::string& item,
                      const std::string& path,
                      const std::string& context,
                      int kind,
                      int subType,
                      const std::string& valueName = std::string());

    // The move of the folder, chosen on the first page: its row goes in
    // front of the list (in the placeholder's place) and is no hit; no sort
    // moves it. Given before the search's first hit.
    void SetMoveRow(const std::string& oldFolder, const std::string& newFolder);
    // The New address changed on the last page: the move's row says so.
    void SetMoveRowNew(const std::string& newFolder);
    // The move's row, or null when the list has none.
    const TFoundItem* MoveRow() const;

    // The parent's WM_NOTIFY: true when it was the list's; result is then what
    // the window procedure returns.
    bool HandleNotify(NMHDR* header, LRESULT& result);
    // Menu commands of pmListView: true when id was one of them.
    bool HandleCommand(int id);

    // The event handlers, callable directly.
    void lvFoundColumnClick(int column);
    void Toggle1Click(int tag);
    void lvFoundDblClick();
    void lvFoundKeyPress(char key);
    void lvFoundMouseUp(POINT clientPoint) { lastMouseUp_ = clientPoint; }
    void WhatsThis2Click();
    // Help context of the row under a point in list client coordinates; a
    // negative coordinate stands for the mouse cursor's current position.
    int FoundItemHelpContext(POINT pt) const;
    // Shows pmListView at a screen point and carries out the chosen command.
    void ShowPopupMenu(POINT screenPoint);

    // Left/Right from the keyboard: the view moves sideways by a few
    // characters, or with byColumn to the start of the next or previous
    // column.
    void ScrollSideways(bool right, bool byColumn);

    POINT LastMouseUp() const { return lastMouseUp_; }
    int SortColumn() const { return sortColumn_; }
    bool SortDescending() const { return sortDescending_; }

    // Readers for the replacement run and the reports, by index 0..count-1.
    int RowCount() const { return static_cast<int>(rows_.size()); }
    const TFoundItem& Row(int index) const { return rows_[static_cast<std::size_t>(index)]; }
    // Deletes every row marked N (the placeholder included).
    void DeleteRowsMarkedN();
    // Sorts by Type, Path and Item ascending (SortColumn -1).
    void SortFixedOrder();

    HIMAGELIST ImageList1() const { return imageList_; }
    HMENU pmListView() const { return menu_; }
    int ColumnWidth(int column) const;

  private:
    // The list view's window procedure in front of the control's own. Plain
    // window subclassing: the comctl32 subclass chain keeps its data in a
    // window property, which under Wine costs a server round trip on every
    // message, and the control gets hundreds of thousands of messages.
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnListMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    static int ScreenDpi();
    void CreateImageList(int dpi);
    void CreatePopupMenuItems();
    void AddColumns();
    void FitCaptionColumns();
    void OnGetDispInfo(NMHDR* header);
    // Draws the badge of a flagged row over its Y/N disc.
    LRESULT OnCustomDraw(NMHDR* header);
    LRESULT OnFindItem(NMHDR* header) const;
    int RowAtY(int y) const;
    int FocusedRow() const;
    // The row menu opened from the keyboard speaks of the focused row: it
    // is scrolled into view and stands where the menu's "What's This" looks.
    void AnchorAtFocusedRow();
    // A tip beside the focused row with all of the row's text, shown while
    // the keyboard moves through the list; columns off to the right and a
    // long Context are read there without the mouse.
    void ShowRowTip();
    void HideRowTip();
    bool RowSelected(int index) const;
    void EnsureFocusedRow();
    void SetMark(int index, TMark mark);
    // Sorts rows_ by the current SortColumn/SortDescending, keeping the
    // selection and focus on the same rows.
    void SortRows();
    // Replaces rows_ by the rows at keep (old indices, in their new order),
    // carrying selection and focus over.
    void Reorder(const std::vector<std::size_t>& keep);
    // The selected rows in index order, at most limit of them.
    std::vector<int> SelectedIndices(int limit) const;

    // The control learns of new rows (item count, column widths) at most
    // every SyncIntervalMs while hits stream in: under Wine each count change
    // redraws the scroll bar and costs milliseconds. A timer brings the tail;
    // any list view message sent to the control brings it up to date first.
    void RequestSync();
    void SyncNow();

    // Column widths: the widest text of "Item", "Path" and "Context" is kept
    // per column; the column is widened at the next sync. Text widths come
    // from a table of character advances of the list's font.
    void MeasureFont();
    int TextWidth(std::string_view text) const;
    void WidenFor(const TFoundItem& row);
    void RecomputeWidths();
    void ApplyWidths();

    HWND hwnd_ = nullptr;
    WNDPROC controlProc_ = nullptr;
    HIMAGELIST imageList_ = nullptr;
    HIMAGELIST letters_ = nullptr;  // the Y and N letters drawn over the discs
    int imageSize_ = 16;  // the Y/N images' side at the screen's DPI
    HMENU menu_ = nullptr;
    std::vector<TFoundItem> rows_;
    int sortColumn_ = 0;
    bool sortDescending_ = false;
    POINT lastMouseUp_{0, 0};
    HWND rowTip_ = nullptr;
    std::function<bool()> isShuttingDown_;
    int* currentCount_ = nullptr;
    std::string oldUpper_;  // the run's Old address, upper-cased once
    std::string new_;       // the run's New address

    int charWidth_[256] = {};
    bool multiByteCodePage_ = false;
    int widest_[FoundColumnCount] = {};
    int applied_[FoundColumnCount] = {};

    std::size_t controlCount_ = 0;  // the item count the control was last given
    bool syncPending_ = false;
    DWORD lastSync_ = 0;
};

}  // namespace movix
