// Help as the user meets it with real key presses and the mouse elsewhere:
// one F1 gives one help, a popup stands below the control it explains, the
// edits' own menu offers "What's This?", and the help window opens beside
// the wizard, closes with Escape and comes back where the user left it.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/help_file.h"
#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

const movix::HelpFile& Help() {
    static const movix::HelpFile file = [] {
        std::ifstream in(guitest::ExeDir() + "\\MOVIX32.HLP", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return movix::HelpFile::Parse(text.str());
    }();
    return file;
}

HWND HelpWindow() {
    HWND w = FindWindowA("MovixHelpWindow", nullptr);
    return w && IsWindowVisible(w) ? w : nullptr;
}

HWND Popup(int milliseconds = 4000) {
    HWND popup = nullptr;
    guitest::WaitFor([&] { return (popup = FindWindowA("MovixHelpPopup", nullptr)) && IsWindowVisible(popup); },
                     milliseconds);
    return popup && IsWindowVisible(popup) ? popup : nullptr;
}

void ClosePopup(HWND popup) {
    PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    guitest::WaitFor([&] { return !IsWindow(popup) || !IsWindowVisible(popup); }, 2000);
}

// The help window of an earlier test may still be closing.
void NoHelpLeft() {
    if (HWND w = FindWindowA("MovixHelpWindow", nullptr))
        PostMessageA(w, WM_CLOSE, 0, 0);
    guitest::WaitFor([] { return FindWindowA("MovixHelpServer", nullptr) == nullptr; }, 5000);
}

bool Overlap(const RECT& a, const RECT& b) {
    RECT both;
    return IntersectRect(&both, &a, &b) != FALSE;
}

}  // namespace

TEST(HelpKeys, OneF1GivesTheTopicAndNoPopup) {
    NoHelpLeft();
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.Activate());
    app.SendKeys({VK_F1});
    ASSERT_TRUE(guitest::WaitFor([] { return HelpWindow() != nullptr; }));
    EXPECT_EQ(guitest::WindowTextOf(HelpWindow()), "Movix 32 Help - " + Help().FindTopic(2)->title);
    EXPECT_EQ(Popup(1500), nullptr) << "a popup came as well";
}

TEST(HelpKeys, APopupStandsBelowItsControlWhereverThePointerIs) {
    NoHelpLeft();
    App app;
    REQUIRE_APP(app);
    SetCursorPos(2, 2);
    HWND button = app.Control(IDC_btnBrowseFileTo);
    RECT control;
    GetWindowRect(button, &control);
    PostMessageA(app.Main(), WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
    app.Sync();
    PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    app.Sync();
    HWND popup = Popup();
    ASSERT_NE(popup, nullptr);
    RECT r;
    GetWindowRect(popup, &r);
    ClosePopup(popup);
    EXPECT_GE(r.top, control.bottom) << "not below the control";
    EXPECT_LT(r.top, control.bottom + 40) << "not next to the control";
    const int centre = (control.left + control.right) / 2;
    // Kept on screen: the button is near the window's right edge.
    EXPECT_GE(r.left, 0);
    EXPECT_LE(r.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_TRUE(r.left <= centre && centre <= r.right) << "not under the control";
}

TEST(HelpKeys, TheEditsMenuHasTheEditCommandsAndWhatsThis) {
    NoHelpLeft();
    App app;
    REQUIRE_APP(app);
    app.SetText(IDC_EditNewAddress, "D:\\NEW");
    ASSERT_TRUE(app.Activate());
    app.SendKeys({'N'}, {VK_MENU});
    app.SendKeys({VK_F10}, {VK_SHIFT});
    HWND menuWindow = nullptr;
    ASSERT_TRUE(
        guitest::WaitFor([&] { return (menuWindow = FindWindowA("#32768", nullptr)) && IsWindowVisible(menuWindow); }));
    // "Select All" by its access key: typing then replaces the whole text.
    app.SendKeys({'A'});
    EXPECT_TRUE(guitest::WaitFor([&] { return !IsWindowVisible(menuWindow); }, 2000));
    app.TypeText("x");
    EXPECT_EQ(app.Text(IDC_EditNewAddress), "x");
    // The last item, from the keyboard: the field's popup.
    app.SendKeys({VK_F10}, {VK_SHIFT});
    ASSERT_TRUE(
        guitest::WaitFor([&] { return (menuWindow = FindWindowA("#32768", nullptr)) && IsWindowVisible(menuWindow); }));
    app.SendKeys({VK_UP});
    app.SendKeys({VK_RETURN});
    HWND popup = Popup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(guitest::WindowTextOf(popup), movix::PopupTextFor(Help(), 24, "\r\n"));
    ClosePopup(popup);
}

TEST(HelpKeys, TheHelpWindowOpensBesideClosesWithEscapeAndKeepsItsPlace) {
    NoHelpLeft();
    App app;
    REQUIRE_APP(app);
    app.Click(IDC_BtnHelp);
    ASSERT_TRUE(guitest::WaitFor([] { return HelpWindow() != nullptr; }));
    HWND help = HelpWindow();
    RECT wizard, first;
    GetWindowRect(app.Main(), &wizard);
    GetWindowRect(help, &first);
    EXPECT_FALSE(Overlap(wizard, first)) << "the help window covers the wizard: " << first.left << "," << first.top
                                         << " " << first.right << "," << first.bottom << " wizard " << wizard.left
                                         << "," << wizard.top << " " << wizard.right << "," << wizard.bottom;

    // The user moves and sizes it, then closes it with Escape.
    SetWindowPos(help, nullptr, 40, 420, 500, 380, SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(help, &first);
    SetForegroundWindow(help);
    guitest::WaitFor([&] { return GetForegroundWindow() == help; }, 2000);
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
    EXPECT_TRUE(guitest::WaitFor([] { return FindWindowA("MovixHelpWindow", nullptr) == nullptr; }));

    // Asked for again, it comes back where the user left it.
    app.Click(IDC_BtnHelp);
    ASSERT_TRUE(guitest::WaitFor([] { return HelpWindow() != nullptr; }));
    RECT again;
    GetWindowRect(HelpWindow(), &again);
    EXPECT_EQ(again.left, first.left);
    EXPECT_EQ(again.top, first.top);
    EXPECT_EQ(again.right - again.left, first.right - first.left);
    EXPECT_EQ(again.bottom - again.top, first.bottom - first.top);
}
