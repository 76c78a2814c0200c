// An INI search run through the real window: hits arrive in lvFound in the
// order found, the summary counts them, and the pages after the search flow
// as the wizard's rules say.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

enum { Search = 7, FinalPage = 8, FinalFinal = 10 };
enum { Searching = 0, SearchResults = 1, Searched = 2 };

// An INI file in the Windows folder that names the Old address three times,
// removed again when the test ends.
class PlantedIni {
public:
    explicit PlantedIni(const std::string& name) : path_(guitest::WindowsDir() + "\\" + name) {
        guitest::WriteFile(path_,
                           "; installed from C:\\MVXOLD_GUI\r\n"
                           "[Paths]\r\n"
                           "Home=C:\\MVXOLD_GUI\r\n"
                           "Other=C:\\ELSEWHERE\r\n"
                           "[c:\\mvxold_gui\\plugins]\r\n"
                           "  Spell = c:\\mvxold_gui\\plugins\\spell.dll  \r\n");
    }
    ~PlantedIni() {
        DeleteFileA(path_.c_str());
        DeleteFileA((path_.substr(0, path_.size() - 4) + ".BAK").c_str());
    }

private:
    std::string path_;
};

// Clicks a column's header, as the mouse would.
void ClickHeader(App& app, int column) {
    HWND list = app.Control(IDC_lvFound);
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    int x = 0;
    for (int c = 0; c < column; ++c)
        x += static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, c, 0));
    // The middle of the column, well away from the dividers.
    x += static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0)) / 2;
    PostMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5));
    PostMessageA(header, WM_LBUTTONUP, 0, MAKELPARAM(x, 5));
    app.Sync();
}

}  // namespace

TEST(SearchFlow, IniHitsArriveInOrderAndThePagesAfterTheSearchFlow) {
    PlantedIni ini("MVXGUI1.INI");
    App app;
    REQUIRE_APP(app);
    app.SearchWith(2, 0, "C:\\MVXOLD_GUI", "D:\\NEW_GUI");
    ASSERT_EQ(app.SubPage(), SearchResults);
    EXPECT_EQ(app.Text(IDC_lblFoundINI), "3 matches in INI files");
    EXPECT_EQ(app.Text(IDC_lblFoundGroup), "No Groups searched");
    EXPECT_EQ(app.Text(IDC_lblFoundShortcut), "No Shortcuts searched");
    EXPECT_EQ(app.Text(IDC_lblFoundReg), "No Registry entries searched");
    EXPECT_TRUE(app.Enabled(IDC_BtnNext));
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));

    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 3);
    const char* contexts[] = {"[Paths]Home=C:\\MVXOLD_GUI", "[c:\\mvxold_gui\\plugins]",
                              "[c:\\mvxold_gui\\plugins]Spell = c:\\mvxold_gui\\plugins\\spell.dll"};
    const char* subTypes[] = {"key", "sec", "key"};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(app.ListViewText(IDC_lvFound, row, 0), "MVXGUI1.INI");
        EXPECT_STRCASEEQ(app.ListViewText(IDC_lvFound, row, 1).c_str(), guitest::WindowsDir().c_str());
        EXPECT_EQ(app.ListViewText(IDC_lvFound, row, 2), "INI");
        EXPECT_EQ(app.ListViewText(IDC_lvFound, row, 3), subTypes[row]);
        EXPECT_EQ(app.ListViewText(IDC_lvFound, row, 4), contexts[row]);
        EXPECT_EQ(app.ListViewImage(IDC_lvFound, row), 0) << "new rows are marked Y";
    }
    app.Screenshot("page07_SearchResults");

    // A click on the "Context" header sorts ascending by the locale's
    // comparison; a second click, descending.
    auto contextColumn = [&] {
        std::vector<std::string> texts;
        for (int row = 0; row < app.ListViewCount(IDC_lvFound); ++row)
            texts.push_back(app.ListViewText(IDC_lvFound, row, 4));
        return texts;
    };
    auto sorted = [](std::vector<std::string> texts, bool descending) {
        std::stable_sort(texts.begin(), texts.end(), [&](const std::string& a, const std::string& b) {
            const int r = CompareStringA(LOCALE_USER_DEFAULT, 0, a.c_str(), -1, b.c_str(), -1) - 2;
            return descending ? r > 0 : r < 0;
        });
        return texts;
    };
    ClickHeader(app, 4);
    EXPECT_EQ(contextColumn(), sorted(contextColumn(), false));
    ClickHeader(app, 4);
    EXPECT_EQ(contextColumn(), sorted(contextColumn(), true));
    EXPECT_NE(sorted(contextColumn(), false), sorted(contextColumn(), true));

    // "?" on a row: the popup of an INI key row, 41.
    int keyRow = -1;
    for (int row = 0; row < 3; ++row) {
        if (app.ListViewText(IDC_lvFound, row, 3) == "key")
            keyRow = row;
    }
    ASSERT_GE(keyRow, 0);
    // The row clicked is explained, wherever the pointer is by then: here
    // it rests in the screen's corner, away from the list.
    HWND list = app.Control(IDC_lvFound);
    const RECT keyRect = app.ListViewItemRect(IDC_lvFound, keyRow, LVIR_BOUNDS);
    ASSERT_TRUE(app.PutPointer(2, 2));
    PostMessageA(app.Main(), WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
    app.Sync();
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, (keyRect.top + keyRect.bottom) / 2));
    app.Sync();
    HWND popup = nullptr;
    if (guitest::WaitFor([&] { return (popup = FindWindowA("MovixHelpPopup", nullptr)) && IsWindowVisible(popup); })) {
        const std::string text = guitest::WindowTextOf(popup);
        EXPECT_NE(text.find("INI"), std::string::npos) << text;
        PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
        ADD_FAILURE() << "no popup for the row";
    }

    // The space bar flips the marks of the selected rows.
    app.ListViewSelect(IDC_lvFound, {0, 2});
    PostMessageA(app.Control(IDC_lvFound), WM_CHAR, ' ', 0);
    app.Sync();
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, 0), 1);
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, 1), 0);
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, 2), 1);

    // SearchResults -> Searched: Back and Next enabled.
    app.Click(IDC_BtnNext);
    EXPECT_EQ(app.Page(), Search);
    EXPECT_EQ(app.SubPage(), Searched);
    EXPECT_TRUE(app.Enabled(IDC_BtnPrev));
    EXPECT_TRUE(app.Enabled(IDC_BtnNext));
    app.Screenshot("page07_Searched");
    // Back to SearchResults disables Back; never further back.
    app.Click(IDC_BtnPrev);
    EXPECT_EQ(app.SubPage(), SearchResults);
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));
    EXPECT_TRUE(app.Enabled(IDC_BtnNext));
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), FinalPage);
    EXPECT_EQ(app.Text(IDC_pnlShowFromString), "C:\\MVXOLD_GUI");
    EXPECT_EQ(app.Text(IDC_EditNewAddressAgain), "D:\\NEW_GUI");
    EXPECT_TRUE(app.Enabled(IDC_BtnNext));
    app.Screenshot("page08_FinalPage");

    // Erasing the New address disables Next; typing enables it again.
    app.SetText(IDC_EditNewAddressAgain, "");
    EXPECT_FALSE(app.Enabled(IDC_BtnNext));
    app.SetText(IDC_EditNewAddressAgain, "E:\\OTHER");
    EXPECT_TRUE(app.Enabled(IDC_BtnNext));

    // Back shows Searched with both buttons; the New address is not copied again.
    app.Click(IDC_BtnPrev);
    EXPECT_EQ(app.Page(), Search);
    EXPECT_EQ(app.SubPage(), Searched);
    EXPECT_TRUE(app.Enabled(IDC_BtnPrev));
    EXPECT_TRUE(app.Enabled(IDC_BtnNext));
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), FinalPage);
    EXPECT_EQ(app.Text(IDC_EditNewAddressAgain), "E:\\OTHER");

    // Next starts the replacement; it ends on the last page with Close.
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == FinalFinal; }, 30000));
    EXPECT_EQ(app.Text(IDC_BtnCancel), "Close");
    EXPECT_TRUE(app.Enabled(IDC_BtnCancel));
    EXPECT_FALSE(app.Enabled(IDC_BtnNext));
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));
    app.Screenshot("page10_FinalFinal");
    app.Click(IDC_BtnCancel);
    EXPECT_TRUE(app.WaitExit());
}

TEST(SearchFlow, SearchWithoutHitsKeepsThePlaceholderAndDisablesNext) {
    App app;
    REQUIRE_APP(app);
    app.SearchWith(2, 0, "C:\\MVX_NOTHING_NAMES_THIS_9281", "");
    ASSERT_EQ(app.SubPage(), SearchResults);
    EXPECT_EQ(app.Text(IDC_lblFoundINI), "0 matches in INI files");
    EXPECT_FALSE(app.Enabled(IDC_BtnNext));
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 1);
    for (int column = 0; column < 5; ++column)
        EXPECT_EQ(app.ListViewText(IDC_lvFound, 0, column), "<none>");
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, 0), 1);
}
