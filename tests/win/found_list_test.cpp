// The found-items list in a real window: rows are added through the class,
// and everything is read back and driven through the list view's own
// messages, so the control's calls into the list (display texts, images,
// clicks) are what is tested.
#include "app/found_list_win.h"

#include <gtest/gtest.h>

#include <windowsx.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "resource.h"

namespace movix {
namespace {

const char* const HostClass = "MovixFoundListTestHost";

struct HostState {
    TFoundList* list = nullptr;
    std::vector<int> columnClicks;  // LVN_COLUMNCLICK as the parent saw it
};

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* state = reinterpret_cast<HostState*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (state && state->list) {
        if (msg == WM_NOTIFY) {
            auto* header = reinterpret_cast<NMHDR*>(lp);
            if (header->code == LVN_COLUMNCLICK)
                state->columnClicks.push_back(reinterpret_cast<NMLISTVIEW*>(lp)->iSubItem);
            LRESULT result = 0;
            if (state->list->HandleNotify(header, result))
                return result;
        } else if (msg == WM_COMMAND && state->list->HandleCommand(LOWORD(wp))) {
            return 0;
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class FoundListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = HostClass;
        RegisterClassA(&wc);  // fails harmlessly when already registered
        host_ = CreateWindowExA(0, HostClass, "lvFound test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 700, 500,
                                nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(host_, nullptr);
        SetWindowLongPtrA(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state_));
        state_.list = &list_;
        ASSERT_TRUE(list_.Create(host_, RECT{0, 0, 660, 440}));
        lv_ = list_.Handle();
        list_.SetCurrentCount(&count_);
        PumpMessages();
    }
    void TearDown() override {
        state_.list = nullptr;
        if (guard_)
            KillTimer(nullptr, guard_);
        if (host_)
            DestroyWindow(host_);
        PumpMessages();
    }

    int ItemCount() const { return static_cast<int>(SendMessageA(lv_, LVM_GETITEMCOUNT, 0, 0)); }

    std::string Text(int index, int column) const {
        char buffer[1024] = "?";
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = sizeof(buffer);
        SendMessageA(lv_, LVM_GETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    std::vector<std::string> Row(int index) const {
        std::vector<std::string> texts;
        for (int c = 0; c < 5; ++c)
            texts.push_back(Text(index, c));
        return texts;
    }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        for (int i = 0; i < ItemCount(); ++i)
            texts.push_back(Text(i, column));
        return texts;
    }
    int Image(int index) const {
        LVITEMA item{};
        item.mask = LVIF_IMAGE;
        item.iItem = index;
        item.iImage = -7;
        SendMessageA(lv_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }
    std::string Marks() const {  // "YNY..." as the control shows the images
        std::string marks;
        for (int i = 0; i < ItemCount(); ++i)
            marks += Image(i) == 0 ? 'Y' : (Image(i) == 1 ? 'N' : '?');
        return marks;
    }
    void Select(int index, bool on) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED;
        item.state = on ? LVIS_SELECTED : 0;
        SendMessageA(lv_, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
    bool IsSelected(int index) const {
        return SendMessageA(lv_, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_SELECTED) == LVIS_SELECTED;
    }
    RECT ItemRect(int index) const {
        RECT rc{};
        rc.left = LVIR_BOUNDS;
        SendMessageA(lv_, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
        return rc;
    }
    // A point on the row inside the "Context" column, far from x = 4.
    POINT PointOnRow(int index) const {
        const RECT rc = ItemRect(index);
        int x = 0;
        for (int c = 0; c < 4; ++c)
            x += list_.ColumnWidth(c);
        return POINT{x + 5, (rc.top + rc.bottom) / 2};
    }
    // A left click on the header as the mouse would make it.
    void ClickHeader(int column) {
        HWND header = reinterpret_cast<HWND>(SendMessageA(lv_, LVM_GETHEADER, 0, 0));
        RECT rc{};
        SendMessageA(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&rc));
        const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        SendMessageA(header, WM_MOUSEMOVE, 0, at);
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(header, WM_LBUTTONUP, 0, at);
        PumpMessages();
    }
    void DoubleClick(POINT pt) {
        const LPARAM at = MAKELPARAM(pt.x, pt.y);
        SendMessageA(lv_, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        SendMessageA(lv_, WM_LBUTTONUP, 0, at);
        PumpMessages();
    }
    // The next pop-up menu gets `downs` presses of the Down key and Enter
    // once its own loop runs (0: Escape), from a timer that loop dispatches.
    // A menu that ignored the keys is ended after a few seconds.
    void ChooseFromNextMenu(int downs) {
        static int pendingDowns;
        static HWND keysTo;
        pendingDowns = downs;
        keysTo = lv_;
        menusSeen_ = 0;
        static int* seen;
        seen = &menusSeen_;
        SetTimer(nullptr, 0, 150, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            GUITHREADINFO gui{};
            gui.cbSize = sizeof(gui);
            if (GetGUIThreadInfo(GetCurrentThreadId(), &gui) && (gui.flags & GUI_INMENUMODE))
                ++*seen;
            for (int i = 0; i < pendingDowns; ++i)
                PostMessageA(keysTo, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageA(keysTo, WM_KEYDOWN, pendingDowns > 0 ? VK_RETURN : VK_ESCAPE, 0);
        });
        guard_ = SetTimer(nullptr, 0, 5000, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            EndMenu();
        });
    }
    // A right click as the mouse makes it: the button-up is already queued
    // when the control starts tracking the button-down.
    void RightClick(POINT at) {
        PostMessageA(lv_, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        SendMessageA(lv_, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
        PumpMessages();
        KillTimer(nullptr, guard_);
    }
    void AddIni(const std::string& item, const std::string& path = "C:\\WINDOWS", int subType = 6) {
        list_.AddFoundItem(item, path, "x=C:\\OLD", KindIni, subType);
    }

    HostState state_;
    TFoundList list_;
    HWND host_ = nullptr;
    HWND lv_ = nullptr;
    int count_ = 0;
    int menusSeen_ = 0;
    UINT_PTR guard_ = 0;
};

TEST_F(FoundListTest, Create_ColumnsStyleHelpIdAndPlaceholder) {
    EXPECT_EQ(GetDlgCtrlID(lv_), IDC_lvFound);
    const LONG_PTR style = GetWindowLongPtrA(lv_, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_OWNERDATA);
    EXPECT_FALSE(style & LVS_SINGLESEL);
    EXPECT_FALSE(style & LVS_EDITLABELS);
    EXPECT_EQ(GetWindowContextHelpId(lv_), 32u);

    const char* captions[] = {"Item", "Path", "Type", "SubType", "Context"};
    for (int c = 0; c < 5; ++c) {
        char buffer[64] = "";
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT;
        col.pszText = buffer;
        col.cchTextMax = sizeof(buffer);
        ASSERT_TRUE(SendMessageA(lv_, LVM_GETCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col)));
        EXPECT_STREQ(buffer, captions[c]);
    }
    ASSERT_EQ(ItemCount(), 1);
    EXPECT_EQ(Row(0), (std::vector<std::string>(5, "<none>")));
    EXPECT_EQ(Marks(), "N");
    EXPECT_EQ(list_.Row(0).Kind, -1);
    EXPECT_EQ(list_.Row(0).SubType, 0);
    EXPECT_EQ(list_.SortColumn(), 0);
    EXPECT_FALSE(list_.SortDescending());
    EXPECT_EQ(list_.LastMouseUp().x, 0);
    EXPECT_EQ(list_.LastMouseUp().y, 0);
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageA(lv_, LVM_GETIMAGELIST, LVSIL_SMALL, 0)), list_.ImageList1());
}

TEST_F(FoundListTest, ImageList_GreenDiscForYHatchedRedDiscForN) {
    HIMAGELIST images = list_.ImageList1();
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images), 2);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(images, &cx, &cy);
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 16);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT all{0, 0, 32, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ImageList_Draw(images, 0, dc, 0, 0, ILD_NORMAL);
    ImageList_Draw(images, 1, dc, 16, 0, ILD_NORMAL);
    // Image 0: green inside, the corners transparent (black shows through).
    const COLORREF centre = GetPixel(dc, 8, 8);
    EXPECT_GT(GetGValue(centre), 128);
    EXPECT_LT(GetRValue(centre), 64);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
    // Image 1: red hatching on white inside the disc.
    int red = 0, white = 0;
    for (int y = 4; y < 12; ++y)
        for (int x = 20; x < 28; ++x) {
            const COLORREF p = GetPixel(dc, x, y);
            red += GetRValue(p) > 150 && GetGValue(p) < 80 && GetBValue(p) < 80;
            white += p == RGB(255, 255, 255);
        }
    EXPECT_GT(red, 4);
    EXPECT_GT(white, 4);
    EXPECT_EQ(GetPixel(dc, 16, 0), RGB(0, 0, 0));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(FoundListTest, PopupMenu_ItemsInOrderWithSeparator) {
    HMENU menu = list_.pmListView();
    ASSERT_NE(menu, nullptr);
    // The five items, then a separator and "Sort by" with the columns.
    ASSERT_EQ(GetMenuItemCount(menu), 7);
    HMENU sortBy = GetSubMenu(menu, 6);
    ASSERT_NE(sortBy, nullptr);
    ASSERT_EQ(GetMenuItemCount(sortBy), 5);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(GetMenuItemID(sortBy, c), static_cast<UINT>(IDM_SortByBase + c));
    const char* texts[] = {"Toggle", "Yes", "No", "", "What's This"};
    const UINT ids[] = {IDM_Toggle1, IDM_Yes1, IDM_No1, 0, IDM_WhatsThis2};
    for (int i = 0; i < 5; ++i) {
        char buffer[64] = "";
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = buffer;
        info.cch = sizeof(buffer);
        ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info));
        EXPECT_STREQ(buffer, texts[i]);
        if (i == 3)
            EXPECT_TRUE(info.fType & MFT_SEPARATOR);
        else
            EXPECT_EQ(info.wID, ids[i]);
    }
}

TEST_F(FoundListTest, AddFoundItem_FirstHitReplacesPlaceholderAndEveryHitCounts) {
    list_.AddFoundItem("WIN.INI", "C:\\WINDOWS", "[Old]", KindIni, 1);
    ASSERT_EQ(ItemCount(), 1);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"WIN.INI", "C:\\WINDOWS", "INI", "sec", "[Old]"}));
    EXPECT_EQ(Marks(), "Y");
    EXPECT_EQ(count_, 1);

    list_.AddFoundItem("Run", "HKCU\\Software\\X", "C:\\OLD\\A.EXE", KindReg, 8);
    list_.AddFoundItem("Main", "Main", "C:\\OLD\\B.EXE", KindGrp, 2);
    list_.AddFoundItem("App.lnk", "C:\\WINDOWS\\Desktop", "C:\\OLD", KindLnk, 4);
    ASSERT_EQ(ItemCount(), 4);
    EXPECT_EQ(Column(2), (std::vector<std::string>{"INI", "REG", "GRP", "LNK"}));
    EXPECT_EQ(Column(3), (std::vector<std::string>{"sec", "dat", "cmd", "dir"}));
    EXPECT_EQ(Marks(), "YYYY");
    EXPECT_EQ(count_, 4);
    EXPECT_EQ(list_.Row(1).Kind, KindReg);
    EXPECT_EQ(list_.Row(1).SubType, 8);
}

TEST_F(FoundListTest, AddFoundItem_CountGoesToTheCounterSetLast) {
    int ini = 0, reg = 0;
    list_.SetCurrentCount(&ini);
    AddIni("A.INI");
    AddIni("B.INI");
    list_.SetCurrentCount(&reg);
    list_.AddFoundItem("K", "HKCR\\K", "v", KindReg, 6);
    list_.SetCurrentCount(nullptr);
    list_.AddFoundItem("L", "HKCR\\L", "v", KindReg, 6);
    EXPECT_EQ(ini, 2);
    EXPECT_EQ(reg, 1);
    EXPECT_EQ(ItemCount(), 4);
}

TEST_F(FoundListTest, AddFoundItem_NothingWhileShuttingDown) {
    bool closing = true;
    list_.SetShuttingDownCheck([&] { return closing; });
    AddIni("WIN.INI");
    EXPECT_EQ(ItemCount(), 1);
    EXPECT_EQ(Row(0)[0], "<none>");
    EXPECT_EQ(Marks(), "N");
    EXPECT_EQ(count_, 0);

    closing = false;
    AddIni("WIN.INI");
    closing = true;
    AddIni("SYSTEM.INI");
    EXPECT_EQ(Column(0), (std::vector<std::string>{"WIN.INI"}));
    EXPECT_EQ(count_, 1);
}

TEST_F(FoundListTest, AddFoundItem_HitNamedNoneIsKeptWhenTheNextHitArrives) {
    list_.AddFoundItem("<none>", "HKCU\\Software", "<none>", KindReg, 7);
    list_.AddFoundItem("Other", "HKCU\\Software", "x", KindReg, 7);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"<none>", "Other"}));
    EXPECT_EQ(count_, 2);
}

TEST_F(FoundListTest, AddFoundItem_SelectionOnPlaceholderDoesNotPassToFirstHit) {
    Select(0, true);
    AddIni("WIN.INI");
    EXPECT_FALSE(IsSelected(0));
    list_.Toggle1Click(TagToggle);
    EXPECT_EQ(Marks(), "Y");
}

TEST_F(FoundListTest, AddFoundItem_UnknownCodesShowErr) {
    list_.AddFoundItem("a", "p", "c", 0, 0);
    list_.AddFoundItem("b", "p", "c", 99, 99);
    list_.AddFoundItem("c", "p", "c", KindReg, 9);
    EXPECT_EQ(Column(2), (std::vector<std::string>{"err", "err", "REG"}));
    EXPECT_EQ(Column(3), (std::vector<std::string>{"err", "err", "dat"}));
}

TEST_F(FoundListTest, AddFoundItem_LongTextsAreCutToTheCallersBuffer) {
    const std::string longPath(3000, 'p');
    list_.AddFoundItem("a", longPath, "c", KindIni, 1);
    char small[8] = "";
    LVITEMA item{};
    item.iSubItem = 1;
    item.pszText = small;
    item.cchTextMax = sizeof(small);
    SendMessageA(lv_, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(small, "ppppppp");
    EXPECT_EQ(list_.Row(0).Path, longPath);
}

TEST_F(FoundListTest, ColumnWidths_TextColumnsGrowToWidestTextTypeColumnsFitCaption) {
    const int typeWidth = list_.ColumnWidth(2);
    const int subTypeWidth = list_.ColumnWidth(3);
    auto captionWidth = [&](const char* text) {
        return static_cast<int>(SendMessageA(lv_, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
    };
    // Room for the caption and the header's margins of 6 pixels each side.
    EXPECT_GE(typeWidth, captionWidth("Type") + 12);
    EXPECT_LE(typeWidth, captionWidth("Type") + 30);
    EXPECT_GE(subTypeWidth, captionWidth("SubType") + 12);
    EXPECT_LE(subTypeWidth, captionWidth("SubType") + 30);

    AddIni("A.INI", "C:\\W", 6);
    const int narrowPath = list_.ColumnWidth(1);
    const int narrowContext = list_.ColumnWidth(4);
    AddIni("B.INI", "C:\\A much longer folder name than before\\and deeper still", 6);
    const int widePath = list_.ColumnWidth(1);
    EXPECT_GT(widePath, narrowPath + 100);
    const int textWidth = static_cast<int>(
        SendMessageA(lv_, LVM_GETSTRINGWIDTHA, 0,
                     reinterpret_cast<LPARAM>("C:\\A much longer folder name than before\\and deeper still")));
    EXPECT_GE(widePath, textWidth);
    EXPECT_LE(widePath, textWidth + 40);
    AddIni("C.INI", "C:\\X", 6);  // a narrower text leaves the width alone
    EXPECT_EQ(list_.ColumnWidth(1), widePath);
    EXPECT_EQ(list_.ColumnWidth(4), narrowContext);
    EXPECT_EQ(list_.ColumnWidth(2), typeWidth);
    EXPECT_EQ(list_.ColumnWidth(3), subTypeWidth);
}

TEST_F(FoundListTest, ColumnWidths_FollowAFontChange) {
    const std::string path = "C:\\Program Files\\A Vendor\\A Product";
    AddIni("A.INI", path, 6);
    HFONT big = CreateFontA(-22, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    ASSERT_NE(big, nullptr);
    SendMessageA(lv_, WM_SETFONT, reinterpret_cast<WPARAM>(big), TRUE);
    auto width = [&](const char* text) {
        return static_cast<int>(SendMessageA(lv_, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
    };
    EXPECT_GE(list_.ColumnWidth(1), width(path.c_str()));
    EXPECT_LE(list_.ColumnWidth(1), width(path.c_str()) + 40);
    EXPECT_GE(list_.ColumnWidth(2), width("Type") + 12);
    EXPECT_LE(list_.ColumnWidth(2), width("Type") + 30);
    EXPECT_GE(list_.ColumnWidth(3), width("SubType") + 12);
    EXPECT_LE(list_.ColumnWidth(3), width("SubType") + 30);
    SendMessageA(lv_, WM_SETFONT, 0, FALSE);
    DeleteObject(big);
}

TEST_F(FoundListTest, HeaderClick_FirstClickOnItemDescendingThenAscending) {
    for (const char* name : {"b.ini", "c.ini", "a.ini"})
        AddIni(name);
    ClickHeader(0);
    ASSERT_EQ(state_.columnClicks, (std::vector<int>{0}));  // the header's own notification path
    EXPECT_EQ(Column(0), (std::vector<std::string>{"c.ini", "b.ini", "a.ini"}));
    EXPECT_TRUE(list_.SortDescending());
    ClickHeader(0);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"a.ini", "b.ini", "c.ini"}));
    EXPECT_FALSE(list_.SortDescending());
}

TEST_F(FoundListTest, HeaderClick_PathAfterItemSortsAscendingByPath) {
    AddIni("a.ini", "C:\\Z");
    AddIni("b.ini", "C:\\X");
    AddIni("c.ini", "C:\\Y");
    ClickHeader(0);
    ClickHeader(1);
    EXPECT_EQ(list_.SortColumn(), 1);
    EXPECT_FALSE(list_.SortDescending());
    EXPECT_EQ(Column(1), (std::vector<std::string>{"C:\\X", "C:\\Y", "C:\\Z"}));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"b.ini", "c.ini", "a.ini"}));
    ClickHeader(4);  // a first click on another column is ascending too
    EXPECT_EQ(list_.SortColumn(), 4);
    EXPECT_FALSE(list_.SortDescending());
}

TEST_F(FoundListTest, Sort_CaseCountsSoDifferentCasesDoNotInterleave) {
    for (const char* name : {"WIN.INI", "win.ini", "WIN.INI", "win.ini"})
        AddIni(name);
    list_.lvFoundColumnClick(1);  // all paths equal: the order stays
    EXPECT_EQ(Column(0), (std::vector<std::string>{"WIN.INI", "win.ini", "WIN.INI", "win.ini"}));
    list_.lvFoundColumnClick(0);
    const std::vector<std::string> sorted = Column(0);
    EXPECT_EQ(sorted[0], sorted[1]);
    EXPECT_EQ(sorted[2], sorted[3]);
    EXPECT_NE(sorted[1], sorted[2]);
    EXPECT_NE(CompareTextLocale("win.ini", "WIN.INI"), 0);
    EXPECT_EQ(CompareTextLocale("WIN.INI", "WIN.INI"), 0);
    EXPECT_EQ(CompareTextLocale("a", "b"), -1);
    EXPECT_EQ(CompareTextLocale("b", "a"), 1);
}

TEST_F(FoundListTest, Sort_SelectionAndMarksStayWithTheirRows) {
    for (const char* name : {"d", "b", "c", "a"})
        AddIni(name);
    Select(0, true);  // "d"
    Select(2, true);  // "c"
    list_.Toggle1Click(TagNo);
    list_.lvFoundColumnClick(0);  // descending: d c b a
    list_.lvFoundColumnClick(0);  // ascending: a b c d
    ASSERT_EQ(Column(0), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(Marks(), "YYNN");
    EXPECT_FALSE(IsSelected(0));
    EXPECT_FALSE(IsSelected(1));
    EXPECT_TRUE(IsSelected(2));
    EXPECT_TRUE(IsSelected(3));
    EXPECT_EQ(SendMessageA(lv_, LVM_GETSELECTEDCOUNT, 0, 0), 2);
}

TEST_F(FoundListTest, Sort_HundredsOfSelectedRowsFollowThemAndTheViewStays) {
    for (int i = 0; i < 3000; ++i)
        AddIni("row" + std::to_string((i * 7919) % 3000));
    std::set<std::string> chosen;
    SendMessageA(lv_, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < 3000; i += 5) {
        Select(i, true);
        chosen.insert(Text(i, 0));
    }
    SendMessageA(lv_, WM_SETREDRAW, TRUE, 0);
    SendMessageA(lv_, LVM_ENSUREVISIBLE, 2000, FALSE);
    const LRESULT top = SendMessageA(lv_, LVM_GETTOPINDEX, 0, 0);
    ASSERT_GT(top, 1000);
    list_.lvFoundColumnClick(1);  // equal paths: the order stays
    list_.lvFoundColumnClick(0);  // descending by Item
    std::set<std::string> selectedNow;
    for (int i = 0; i < ItemCount(); ++i)
        if (IsSelected(i))
            selectedNow.insert(Text(i, 0));
    EXPECT_EQ(selectedNow, chosen);
    EXPECT_EQ(SendMessageA(lv_, LVM_GETSELECTEDCOUNT, 0, 0), 600);
    EXPECT_EQ(SendMessageA(lv_, LVM_GETTOPINDEX, 0, 0), top);
    list_.Toggle1Click(TagNo);
    int marked = 0;
    for (int i = 0; i < list_.RowCount(); ++i)
        marked += list_.Row(i).Mark == MarkN && chosen.count(list_.Row(i).Item);
    EXPECT_EQ(marked, 600);
}

TEST_F(FoundListTest, Sort_LargeScatteredSelectionIsKept) {
    // Every other row selected; after the sort they lie scattered, half of
    // them next to another. The selection follows its rows, in moments.
    const int rows = 40000;
    std::vector<int> names(rows);
    for (int i = 0; i < rows; ++i)
        names[static_cast<std::size_t>(i)] = i;
    std::shuffle(names.begin(), names.end(), std::mt19937(5));
    for (int name : names)
        AddIni("r" + std::to_string(100000 + name));
    SendMessageA(lv_, WM_SETREDRAW, FALSE, 0);
    std::set<std::string> chosen;
    for (int i = 0; i < rows; i += 2) {
        Select(i, true);
        chosen.insert(list_.Row(i).Item);
    }
    SendMessageA(lv_, WM_SETREDRAW, TRUE, 0);
    ASSERT_EQ(SendMessageA(lv_, LVM_GETSELECTEDCOUNT, 0, 0), rows / 2);
    const DWORD start = GetTickCount();
    list_.lvFoundColumnClick(0);
    EXPECT_LT(GetTickCount() - start, 10000u) << "ms to sort and select again";
    EXPECT_EQ(ItemCount(), rows);
    EXPECT_EQ(SendMessageA(lv_, LVM_GETSELECTEDCOUNT, 0, 0), rows / 2);
    list_.Toggle1Click(TagToggle);
    std::set<std::string> flipped;
    for (int i = 0; i < rows; ++i) {
        if (list_.Row(i).Mark == MarkN)
            flipped.insert(list_.Row(i).Item);
        EXPECT_EQ(IsSelected(i), chosen.count(list_.Row(i).Item) == 1) << i;
    }
    EXPECT_EQ(flipped, chosen);
}

TEST_F(FoundListTest, Sort_AllSelectedStaysAllSelected) {
    for (const char* name : {"c", "a", "b"})
        AddIni(name);
    Select(-1, true);
    list_.lvFoundColumnClick(0);
    list_.lvFoundColumnClick(0);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SendMessageA(lv_, LVM_GETSELECTEDCOUNT, 0, 0), 3);
    list_.Toggle1Click(TagNo);
    EXPECT_EQ(Marks(), "NNN");
}

TEST_F(FoundListTest, ManyHits_ControlCountFollowsByTimerAndAtOnceWhenAsked) {
    for (int i = 0; i < 500; ++i)
        AddIni("f" + std::to_string(i));
    EXPECT_EQ(list_.RowCount(), 500);
    EXPECT_EQ(count_, 500);
    // Nobody asked the control yet: its scroll range still lags behind. A
    // timer brings it up to date within a tenth of a second or so.
    const DWORD start = GetTickCount();
    SCROLLINFO info{sizeof(info), SIF_RANGE | SIF_PAGE};
    for (;;) {
        PumpMessages();
        info.nMax = 0;
        GetScrollInfo(lv_, SB_VERT, &info);
        if (info.nMax >= 499 || GetTickCount() - start > 2000)
            break;
        Sleep(10);
    }
    EXPECT_EQ(info.nMax, 499);
    for (int i = 0; i < 50; ++i)
        AddIni("g" + std::to_string(i));
    EXPECT_EQ(ItemCount(), 550);  // a question to the control brings the rows first
    EXPECT_EQ(Text(549, 0), "g49");
}

// A host window of the wide character set gets the wide notifications.
TEST(FoundListWide, TextsReachAUnicodeParentConverted) {
    static TFoundList* list;
    WNDCLASSW wc{};
    wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        LRESULT result = 0;
        if (msg == WM_NOTIFY && list && list->HandleNotify(reinterpret_cast<NMHDR*>(lp), result))
            return result;
        return DefWindowProcW(hwnd, msg, wp, lp);
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MovixFoundListWideHost";
    RegisterClassW(&wc);
    HWND host = CreateWindowExW(0, wc.lpszClassName, L"wide", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 300, nullptr,
                                nullptr, wc.hInstance, nullptr);
    ASSERT_NE(host, nullptr);
    TFoundList wide;
    list = &wide;
    ASSERT_TRUE(wide.Create(host, RECT{0, 0, 480, 260}));
    const std::string item = "Caf\xC3\xA9 \xC3\x89t\xC3\xA9 \xE6\x97\xA5.ini";  // UTF-8, as every text of the list
    wide.AddFoundItem(item, "C:\\Programme", "x", KindIni, 1);
    wchar_t buffer[64] = L"?";
    LVITEMW get{};
    get.pszText = buffer;
    get.cchTextMax = 64;
    SendMessageW(wide.Handle(), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&get));
    wchar_t expected[64] = L"";
    MultiByteToWideChar(CP_UTF8, 0, item.c_str(), -1, expected, 64);
    EXPECT_STREQ(buffer, expected);
    get.iSubItem = 2;
    SendMessageW(wide.Handle(), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&get));
    EXPECT_STREQ(buffer, L"INI");
    wchar_t small[4] = L"";
    get.iSubItem = 0;
    get.pszText = small;
    get.cchTextMax = 4;
    SendMessageW(wide.Handle(), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&get));
    EXPECT_EQ(std::wstring(small), std::wstring(expected).substr(0, 3));
    list = nullptr;
    DestroyWindow(host);
}

TEST_F(FoundListTest, Marks_ToggleOverMixedSelectionFlipsEachRow) {
    for (const char* name : {"a", "b", "c", "d"})
        AddIni(name);
    Select(1, true);
    list_.HandleCommand(IDM_No1);
    EXPECT_EQ(Marks(), "YNYY");
    Select(0, true);
    Select(2, true);  // selection: a (Y), b (N), c (Y)
    EXPECT_TRUE(list_.HandleCommand(IDM_Toggle1));
    EXPECT_EQ(Marks(), "NYNY");
    list_.HandleCommand(IDM_Yes1);
    EXPECT_EQ(Marks(), "YYYY");
    list_.HandleCommand(IDM_Yes1);  // Yes on rows already Y
    EXPECT_EQ(Marks(), "YYYY");
    list_.HandleCommand(IDM_No1);
    EXPECT_EQ(Marks(), "NNNY");
    EXPECT_EQ(list_.Row(3).Mark, MarkY);
    EXPECT_FALSE(list_.HandleCommand(IDM_WhatsThis1));  // not this menu's
}

TEST_F(FoundListTest, Marks_NothingSelectedChangesNothing) {
    for (const char* name : {"a", "b", "c"})
        AddIni(name);
    list_.HandleCommand(IDM_Toggle1);
    list_.HandleCommand(IDM_No1);
    SendMessageA(lv_, WM_CHAR, ' ', 0);
    EXPECT_EQ(Marks(), "YYY");
    Select(1, true);
    list_.Toggle1Click(4);  // an unknown tag
    list_.Toggle1Click(0);
    EXPECT_EQ(Marks(), "YYY");
}

TEST_F(FoundListTest, Marks_SpaceBarTogglesTheSelectedRows) {
    for (const char* name : {"a", "b", "c"})
        AddIni(name);
    Select(0, true);
    Select(2, true);
    SetFocus(lv_);
    SendMessageA(lv_, WM_CHAR, ' ', 0);
    EXPECT_EQ(Marks(), "NYN");
    SendMessageA(lv_, WM_CHAR, ' ', 0);
    EXPECT_EQ(Marks(), "YYY");
    // The space did not move the selection (no type-ahead jump).
    EXPECT_TRUE(IsSelected(0));
    EXPECT_FALSE(IsSelected(1));
    EXPECT_TRUE(IsSelected(2));
}

TEST_F(FoundListTest, TypeAhead_LetterMovesToTheFirstMatchingItem) {
    for (const char* name : {"apple.ini", "Banana.ini", "cherry.ini", "Citrus.ini"})
        AddIni(name);
    SetFocus(lv_);
    SendMessageA(lv_, WM_CHAR, 'b', 1);
    EXPECT_TRUE(IsSelected(1));
    Sleep(600);  // a pause ends the typed word
    SendMessageA(lv_, WM_CHAR, 'C', 1);
    EXPECT_TRUE(IsSelected(2));
    EXPECT_EQ(Marks(), "YYYY");  // selecting marks nothing
}

TEST_F(FoundListTest, DoubleClick_AnywhereAlongARowFlipsItOnly) {
    for (const char* name : {"a", "b", "c"})
        AddIni(name);
    DoubleClick(PointOnRow(1));
    EXPECT_EQ(Marks(), "YNY");
    EXPECT_EQ(list_.LastMouseUp().y, PointOnRow(1).y);
    DoubleClick(PointOnRow(1));
    EXPECT_EQ(Marks(), "YYY");
    DoubleClick(POINT{4, PointOnRow(2).y});
    EXPECT_EQ(Marks(), "YYN");
}

TEST_F(FoundListTest, DoubleClick_FindsTheRowWhenScrolledSideways) {
    AddIni("a", std::string(300, 'p'));
    AddIni("b", std::string(300, 'q'));
    SendMessageA(lv_, LVM_SCROLL, 400, 0);
    RECT first{};
    first.left = LVIR_BOUNDS;
    SendMessageA(lv_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    ASSERT_LT(first.left, -100);  // column 0 is out of sight
    DoubleClick(POINT{200, PointOnRow(1).y});
    EXPECT_EQ(Marks(), "YN");
    EXPECT_EQ(list_.FoundItemHelpContext(POINT{300, PointOnRow(0).y}), 41);
}

TEST_F(FoundListTest, DoubleClick_BelowTheLastRowChangesNothing) {
    for (const char* name : {"a", "b"})
        AddIni(name);
    const RECT last = ItemRect(1);
    DoubleClick(POINT{30, last.bottom + 40});
    EXPECT_EQ(Marks(), "YY");
    EXPECT_EQ(list_.LastMouseUp().y, last.bottom + 40);
}

TEST_F(FoundListTest, MouseUp_RecordsWhereAButtonWasReleased) {
    SendMessageA(lv_, WM_LBUTTONUP, 0, MAKELPARAM(33, 44));
    EXPECT_EQ(list_.LastMouseUp().x, 33);
    EXPECT_EQ(list_.LastMouseUp().y, 44);
    ChooseFromNextMenu(0);  // the button-up opens the menu: close it
    SendMessageA(lv_, WM_RBUTTONUP, 0, MAKELPARAM(55, 66));
    EXPECT_EQ(list_.LastMouseUp().x, 55);
    EXPECT_EQ(list_.LastMouseUp().y, 66);
}

// Row help contexts for every entry of the table, found at the row's place.
TEST_F(FoundListTest, HelpContext_OfEachKindOfRowAndOfEmptySpace) {
    EXPECT_EQ(list_.FoundItemHelpContext(PointOnRow(0)), 32);  // the placeholder
    struct Case {
        int kind, subType, context;
    } cases[] = {{1, 1, 40}, {1, 6, 41}, {2, 2, 42}, {2, 3, 43}, {2, 4, 44}, {3, 2, 45}, {3, 3, 46}, {3, 4, 47},
                 {3, 5, 48}, {4, 6, 49}, {4, 7, 50}, {4, 8, 51}, {4, 9, 51}, {1, 2, 32}, {4, 1, 32}, {0, 6, 32}};
    for (const Case& c : cases)
        list_.AddFoundItem("item", "path", "context", c.kind, c.subType);
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        EXPECT_EQ(list_.FoundItemHelpContext(PointOnRow(i)), cases[i].context) << i;
        EXPECT_EQ(list_.FoundItemHelpContext(POINT{4, PointOnRow(i).y}), cases[i].context) << i;
    }
    const RECT last = ItemRect(static_cast<int>(std::size(cases)) - 1);
    EXPECT_EQ(list_.FoundItemHelpContext(POINT{10, last.bottom + 5}), 32);
}

TEST_F(FoundListTest, HelpContext_NegativePointMeansTheMouseCursor) {
    list_.AddFoundItem("Run", "HKCU\\X", "c", KindReg, 7);
    list_.AddFoundItem("A.LNK", "C:\\D", "c", KindLnk, 5);
    // The context at the cursor placed over a client point. Wine's cursor
    // warps can be undone by late pointer events, so the cursor is checked
    // before and after, and the whole is tried again a few times.
    auto atCursor = [&](POINT client, POINT given, int& context) {
        POINT screen = client;
        ClientToScreen(lv_, &screen);
        for (int attempt = 0; attempt < 5; ++attempt) {
            POINT now{};
            SetCursorPos(screen.x, screen.y);
            for (int wait = 0; wait < 20 && GetCursorPos(&now) && (now.x != screen.x || now.y != screen.y); ++wait) {
                PumpMessages();
                Sleep(10);
            }
            if (now.x != screen.x || now.y != screen.y)
                continue;
            context = list_.FoundItemHelpContext(given);
            if (GetCursorPos(&now) && now.x == screen.x && now.y == screen.y)
                return true;
        }
        return false;
    };
    struct Case {
        POINT client, given;
        int context;
    } cases[] = {{PointOnRow(1), {-1, -1}, 48},
                 {PointOnRow(1), {20, -1}, 48},
                 {PointOnRow(0), {-5, 3}, 50},
                 {{20, ItemRect(1).bottom + 30}, {-1, -1}, 32}};
    for (const Case& c : cases) {
        int context = 0;
        if (!atCursor(c.client, c.given, context))
            GTEST_SKIP() << "the cursor cannot be placed reliably on this display";
        EXPECT_EQ(context, c.context) << c.client.x << "," << c.client.y;
    }
}

TEST_F(FoundListTest, WhatsThis_AsksForTheContextOfTheRowAtLastMouseUp) {
    list_.AddFoundItem("WIN.INI", "C:\\WINDOWS", "[x]", KindIni, 1);
    list_.AddFoundItem("K", "HKLM\\K", "v", KindReg, 8);
    std::vector<int> asked;
    list_.onWhatsThis = [&](int context) { asked.push_back(context); };
    // Through the menu: right button released over row 1, "What's This".
    ChooseFromNextMenu(4);
    RightClick(POINT{25, PointOnRow(1).y});
    ASSERT_EQ(menusSeen_, 1);
    // Directly: the last release was below the rows.
    SendMessageA(lv_, WM_LBUTTONUP, 0, MAKELPARAM(30, ItemRect(1).bottom + 50));
    EXPECT_TRUE(list_.HandleCommand(IDM_WhatsThis2));
    list_.lvFoundMouseUp(PointOnRow(0));
    list_.WhatsThis2Click();
    EXPECT_EQ(asked, (std::vector<int>{51, 32, 40}));
}

// The pop-up menu opened by a real right-click on a row's caption, an item
// chosen with the keys.
TEST_F(FoundListTest, RightClick_MenuNoMarksTheSelectedRows) {
    for (const char* name : {"a", "b", "c"})
        AddIni(name);
    Select(1, true);
    const POINT at{25, PointOnRow(1).y};
    ChooseFromNextMenu(3);  // Toggle, Yes, No
    RightClick(at);
    EXPECT_EQ(menusSeen_, 1);
    EXPECT_EQ(Marks(), "YNY");
    EXPECT_EQ(list_.LastMouseUp().y, at.y);
}

TEST_F(FoundListTest, RightClick_OnAnUnselectedRowActsOnThatRow) {
    for (const char* name : {"a", "b", "c"})
        AddIni(name);
    Select(0, true);
    ChooseFromNextMenu(1);  // Toggle
    RightClick(POINT{25, PointOnRow(2).y});
    EXPECT_EQ(menusSeen_, 1);
    EXPECT_EQ(Marks(), "YYN");
}

TEST_F(FoundListTest, ContextMenuKey_OpensTheSameMenu) {
    AddIni("a");
    Select(0, true);
    ChooseFromNextMenu(2);  // Yes
    list_.HandleCommand(IDM_No1);
    ASSERT_EQ(Marks(), "N");
    SendMessageA(lv_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(lv_), -1);  // Shift+F10
    PumpMessages();
    EXPECT_EQ(menusSeen_, 1);
    EXPECT_EQ(Marks(), "Y");
}

TEST_F(FoundListTest, DeleteRowsMarkedN_KeepsYRowsInOrder) {
    for (const char* name : {"a", "b", "c", "d", "e"})
        AddIni(name);
    Select(1, true);
    Select(3, true);
    list_.Toggle1Click(TagNo);
    Select(4, true);
    list_.DeleteRowsMarkedN();
    EXPECT_EQ(list_.RowCount(), 3);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"a", "c", "e"}));
    EXPECT_EQ(Marks(), "YYY");
    EXPECT_FALSE(IsSelected(0));
    EXPECT_FALSE(IsSelected(1));
    EXPECT_TRUE(IsSelected(2));  // "e" stays selected at its new place
}

TEST_F(FoundListTest, DeleteRowsMarkedN_RemovesThePlaceholderAndAllNRows) {
    list_.DeleteRowsMarkedN();
    EXPECT_EQ(list_.RowCount(), 0);
    EXPECT_EQ(ItemCount(), 0);
}

TEST_F(FoundListTest, SortFixedOrder_TypeThenPathThenItemAscending) {
    list_.AddFoundItem("Key", "HKCU\\A", "c", KindReg, 6);
    list_.AddFoundItem("z.lnk", "C:\\Desk", "c", KindLnk, 2);
    list_.AddFoundItem("WIN.INI", "C:\\WIN", "c", KindIni, 1);
    list_.AddFoundItem("A.INI", "C:\\WIN", "c", KindIni, 6);
    list_.AddFoundItem("Prog", "Main", "c", KindGrp, 2);
    list_.AddFoundItem("B.INI", "C:\\APP", "c", KindIni, 1);
    list_.lvFoundColumnClick(2);
    list_.lvFoundColumnClick(2);  // descending by Type first
    ASSERT_TRUE(list_.SortDescending());
    list_.SortFixedOrder();
    EXPECT_EQ(list_.SortColumn(), -1);
    EXPECT_FALSE(list_.SortDescending());
    EXPECT_EQ(Column(0), (std::vector<std::string>{"Prog", "B.INI", "A.INI", "WIN.INI", "z.lnk", "Key"}));
    for (int i = 0; i < list_.RowCount(); ++i)  // the readers' view agrees with the control's
        EXPECT_EQ(list_.Row(i).Item, Text(i, 0));
}

TEST_F(FoundListTest, Destroy_ParentFirstThenListObjectIsSafe) {
    AddIni("a");
    DestroyWindow(host_);
    host_ = nullptr;
    EXPECT_EQ(list_.Handle(), nullptr);
    AddIni("b");  // rows still kept; no window to update
    EXPECT_EQ(list_.RowCount(), 2);
    LRESULT result = 0;
    NMHDR stray{};
    EXPECT_FALSE(list_.HandleNotify(&stray, result));
}

}  // namespace
}  // namespace movix
