// The wizard worked from the keyboard alone, with real key presses (through
// the system's input queue, as a keyboard delivers them): access keys of
// labels, the default button that follows the focus, letters typed while a
// button has the focus, and the found list's focus, Space and menu.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

bool LooksDefault(App& app, int id) {
    return (GetWindowLongA(app.Control(id), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
}

bool FocusIs(App& app, int id) {
    return guitest::WaitFor([&] { return app.Focus() == app.Control(id); }, 2000);
}

// Presses Tab until the control has the focus; false after a round without it.
bool TabTo(App& app, int id, bool backwards = false) {
    for (int i = 0; i < 25; ++i) {
        if (app.Focus() == app.Control(id))
            return true;
        HWND before = app.Focus();
        app.SendKeys({VK_TAB}, backwards ? std::vector<WORD>{VK_SHIFT} : std::vector<WORD>{});
        guitest::WaitFor([&] { return app.Focus() != before; }, 1000);
    }
    return app.Focus() == app.Control(id);
}

// An INI file in the Windows folder naming the Old address on three lines.
class PlantedIni {
  public:
    explicit PlantedIni(const std::string& name) : path_(guitest::WindowsDir() + "\\" + name) {
        guitest::WriteFile(path_,
                           "[Paths]\r\n"
                           "Home=C:\\MVXKEYS\\bin\r\n"
                           "Alpha=C:\\MVXKEYS\\alpha\r\n"
                           "Zulu=C:\\MVXKEYS\\zulu\r\n");
    }
    ~PlantedIni() { DeleteFileA(path_.c_str()); }

  private:
    std::string path_;
};

}  // namespace

TEST(Keyboard, TheFirstPageOpensInTheOldFieldAndLabelAccessKeysMoveTheFocus) {
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.Activate());
    EXPECT_TRUE(FocusIs(app, IDC_EditOldAddress));
    app.TypeText("cx");
    EXPECT_EQ(app.Text(IDC_EditOldAddress), "cx");

    // Alt+N and Alt+O: the labels "&New:" and "&Old:" hand the focus on.
    app.SendKeys({'N'}, {VK_MENU});
    EXPECT_TRUE(FocusIs(app, IDC_EditNewAddress));
    app.TypeText("dy");
    EXPECT_EQ(app.Text(IDC_EditNewAddress), "dy");
    app.SendKeys({'O'}, {VK_MENU});
    EXPECT_TRUE(FocusIs(app, IDC_EditOldAddress));
    EXPECT_EQ(app.Text(IDC_EditOldAddress), "cx");
    EXPECT_EQ(app.Page(), 0);
}

TEST(Keyboard, TheDefaultButtonFollowsTheFocusAndEnterPressesIt) {
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.Activate());
    EXPECT_TRUE(LooksDefault(app, IDC_BtnNext));
    ASSERT_TRUE(TabTo(app, IDC_BtnAbout));
    EXPECT_TRUE(LooksDefault(app, IDC_BtnAbout));
    EXPECT_FALSE(LooksDefault(app, IDC_BtnNext));

    // Enter on the focused About opens the about box, not the next page.
    app.SendKeys({VK_RETURN});
    HWND box = app.WaitWindow("#32770", "About Movix 32");
    ASSERT_NE(box, nullptr);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(guitest::WaitFor([&] { return !IsWindow(box); }));
    EXPECT_EQ(app.Page(), 0);

    // Back in the field, Next is the default button again.
    app.SendKeys({'O'}, {VK_MENU});
    EXPECT_TRUE(FocusIs(app, IDC_EditOldAddress));
    EXPECT_TRUE(LooksDefault(app, IDC_BtnNext));
    EXPECT_FALSE(LooksDefault(app, IDC_BtnAbout));
}

TEST(Keyboard, TheFocusComesBackAfterAnotherWindowHadTheActivation) {
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.Activate());
    ASSERT_TRUE(FocusIs(app, IDC_EditOldAddress));
    app.SendKeys({'N'}, {VK_MENU});
    ASSERT_TRUE(FocusIs(app, IDC_EditNewAddress));

    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE | WS_CAPTION, 600, 600, 200, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    guitest::WaitFor([&] { return GetForegroundWindow() == other; }, 2000);
    app.Sync();

    // Typing after the return goes into the field that had the focus; the
    // letters (an "a" among them) press no button such as "&About".
    app.TypeText("abc");
    DestroyWindow(other);
    EXPECT_EQ(app.Focus(), app.Control(IDC_EditNewAddress));
    EXPECT_EQ(app.Text(IDC_EditNewAddress), "abc");
    EXPECT_EQ(app.WaitWindow("#32770", "About Movix 32", 500), nullptr);
}

TEST(Keyboard, LettersOnAFocusedButtonActOnlyAsAccessKeys) {
    App app;
    REQUIRE_APP(app);
    app.SetText(IDC_EditOldAddress, "C:\\SOMEWHERE");
    ASSERT_TRUE(app.Activate());
    ASSERT_TRUE(TabTo(app, IDC_BtnCancel, true));
    // Letters that are no access key do nothing at all.
    app.TypeText("qxz");
    EXPECT_EQ(app.Page(), 0);
    EXPECT_EQ(GetDlgCtrlID(app.Focus()), IDC_BtnCancel);
    EXPECT_EQ(app.WaitWindow("#32770", "About Movix 32", 300), nullptr);
    // One that is, as in a dialog, goes where its label points.
    app.TypeText("n");
    EXPECT_TRUE(FocusIs(app, IDC_EditNewAddress));
    EXPECT_EQ(app.Text(IDC_EditNewAddress), "");
}

TEST(Keyboard, TheFoundListIsFirstHasAFocusedRowAndSpaceTogglesAtOnce) {
    PlantedIni ini("MVXKEYS.INI");
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXKEYS", "D:\\MVXKEYS"));
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 3);
    ASSERT_TRUE(app.Activate());
    EXPECT_TRUE(FocusIs(app, IDC_lvFound));
    const int focused = app.ListViewFocused(IDC_lvFound);
    ASSERT_GE(focused, 0);

    // The first Space flips the focused row, the second flips it back.
    app.SendKeys({VK_SPACE});
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, focused), 1);
    app.SendKeys({VK_SPACE});
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, focused), 0);

    // Tab order: the list first, the button bar after it.
    app.SendKeys({VK_TAB}, {VK_SHIFT});
    EXPECT_TRUE(FocusIs(app, IDC_BtnCancel));
    app.SendKeys({VK_TAB});
    EXPECT_TRUE(FocusIs(app, IDC_lvFound));

    // The row menu from the keyboard: "Sort by", "Context"; descending the
    // second time, as a second click on the header.
    app.SendKeys({VK_F10}, {VK_SHIFT});
    app.SendKeys({'S'});
    app.SendKeys({'C'});
    EXPECT_TRUE(guitest::WaitFor([&] {
        return app.ListViewText(IDC_lvFound, 0, 4).find("alpha") != std::string::npos;
    })) << app.ListViewText(IDC_lvFound, 0, 4);
    app.SendKeys({VK_F10}, {VK_SHIFT});
    app.SendKeys({'S'});
    app.SendKeys({'C'});
    EXPECT_TRUE(guitest::WaitFor([&] { return app.ListViewText(IDC_lvFound, 0, 4).find("zulu") != std::string::npos; }))
        << app.ListViewText(IDC_lvFound, 0, 4);

    // "No" by its access key marks the selected row N.
    const int row = app.ListViewFocused(IDC_lvFound);
    ASSERT_GE(row, 0);
    app.SendKeys({VK_F10}, {VK_SHIFT});
    app.SendKeys({'N'});
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, row), 1);

    // On FinalPage the New field has the focus, and "&New:" brings it back.
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 8);
    EXPECT_TRUE(FocusIs(app, IDC_EditNewAddressAgain));
    ASSERT_TRUE(TabTo(app, IDC_BtnHelp));
    app.SendKeys({'N'}, {VK_MENU});
    EXPECT_TRUE(FocusIs(app, IDC_EditNewAddressAgain));
    EXPECT_EQ(app.Page(), 8);
}

TEST(Keyboard, TheMarkOfASelectedRowKeepsItsColours) {
    PlantedIni ini("MVXKEYS.INI");
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXKEYS", "D:\\MVXKEYS"));
    ASSERT_TRUE(app.Activate());
    ASSERT_TRUE(FocusIs(app, IDC_lvFound));
    HWND list = app.Control(IDC_lvFound);
    // Row 1 marked N through the menu command of the window.
    app.ListViewSelect(IDC_lvFound, {1});
    PostMessageA(app.Main(), WM_COMMAND, IDM_No1, 0);
    app.Sync();
    app.ListViewSelect(IDC_lvFound, {0, 1});
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    app.Sync();
    Sleep(200);
    app.Screenshot("keyboard_selected_rows");

    // Each disc carries its letter in white: the Y disc is no longer one
    // green blot, and a white stroke shows in it wherever the row is.
    HDC screen = GetDC(nullptr);
    auto colours = [&](int row, bool& white, bool& green, bool& red) {
        white = green = red = false;
        RECT icon = app.ListViewItemRect(IDC_lvFound, row, LVIR_ICON);
        const int top = icon.top + (icon.bottom - icon.top - 16) / 2;
        for (int y = 4; y < 12; ++y) {
            for (int x = 4; x < 12; ++x) {
                POINT p = {icon.left + x, top + y};
                ClientToScreen(list, &p);
                const COLORREF c = GetPixel(screen, p.x, p.y);
                white = white || (GetRValue(c) > 220 && GetGValue(c) > 220 && GetBValue(c) > 220);
                green = green || (GetGValue(c) > 140 && GetRValue(c) < 60 && GetBValue(c) < 60);
                red = red || (GetRValue(c) > 150 && GetGValue(c) < 60 && GetBValue(c) < 60);
            }
        }
    };
    bool white = false, green = false, red = false;
    colours(0, white, green, red);
    EXPECT_TRUE(white) << "no letter on the Y disc of a selected row";
    EXPECT_TRUE(green) << "the Y disc of a selected row lost its green";
    colours(1, white, green, red);
    EXPECT_TRUE(white) << "no letter on the N disc of a selected row";
    EXPECT_TRUE(red) << "the N disc of a selected row lost its red";
    ReleaseDC(nullptr, screen);
}
