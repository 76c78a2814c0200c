// Help requests from the real window reach our help viewer: F1 shows the
// page's topic, "?" and "What's This?" show a control's popup, Help buttons
// of boxes and dialogs show their topics, and closing quits the viewer.
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

std::string TopicCaption(unsigned long context) {
    const movix::HelpTopic* topic = Help().FindTopic(context);
    return topic ? "Movix 32 Help - " + topic->title : "<no topic " + std::to_string(context) + ">";
}

HWND HelpWindow() {
    return FindWindowA("MovixHelpWindow", nullptr);
}

// Waits until the help window shows the topic of the context.
bool ShowsTopic(unsigned long context) {
    const std::string expected = TopicCaption(context);
    return guitest::WaitFor([&] {
        HWND w = HelpWindow();
        return w && IsWindowVisible(w) && guitest::WindowTextOf(w) == expected;
    });
}

// Waits for a popup and returns its text; closes it.
std::string TakePopup() {
    HWND popup = nullptr;
    guitest::WaitFor([&] { return (popup = FindWindowA("MovixHelpPopup", nullptr)) && IsWindowVisible(popup); });
    if (!popup)
        return "<no popup>";
    const std::string text = guitest::WindowTextOf(popup);
    PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    guitest::WaitFor([&] { return !IsWindowVisible(popup); }, 2000);
    return text;
}

std::string PopupText(unsigned long context) {
    return movix::PopupTextFor(Help(), context, "\r\n");
}

// Clicks the title bar's "?" and then a point of a control.
void ContextHelpClick(App& app, HWND target, int x = 3, int y = 3) {
    PostMessageA(app.Main(), WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
    app.Sync();
    PostMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(target, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    app.Sync();
}

}  // namespace

TEST(HelpFlow, F1ShowsThePageTopicWhateverHasTheFocus) {
    App app;
    REQUIRE_APP(app);
    app.PressKey(app.Control(IDC_EditOldAddress), VK_F1);
    EXPECT_TRUE(ShowsTopic(2)) << guitest::WindowTextOf(HelpWindow());
    HWND first = HelpWindow();

    app.SetText(IDC_EditOldAddress, "C:\\OLDAPP");
    app.SetChecked(IDC_cbShowAll, true);
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 1);
    app.PressKey(app.Control(IDC_rgIniFiles + 1 + 2), VK_F1);
    EXPECT_TRUE(ShowsTopic(3));
    EXPECT_EQ(HelpWindow(), first) << "one help window, updated";

    // The Help button asks for the page's topic too.
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnHelp);
    EXPECT_TRUE(ShowsTopic(4));

    // Closing the program quits the viewer.
    app.Click(IDC_BtnCancel);
    EXPECT_TRUE(app.WaitExit());
    EXPECT_TRUE(guitest::WaitFor([] { return HelpWindow() == nullptr; }));
}

TEST(HelpFlow, QuestionMarkShowsControlPopupsAndPageTopics) {
    App app;
    REQUIRE_APP(app);
    ContextHelpClick(app, app.Control(IDC_EditOldAddress));
    EXPECT_EQ(TakePopup(), PopupText(23));
    ContextHelpClick(app, app.Control(IDC_BtnCancel));
    EXPECT_EQ(TakePopup(), PopupText(19));
    ContextHelpClick(app, app.Control(IDC_cbShowAll));
    EXPECT_EQ(TakePopup(), PopupText(22));
    // The controls and rows numbered after the first ones (the move's box
    // among them) have popups too, not topics.
    ContextHelpClick(app, app.Control(IDC_cbMoveFolder));
    EXPECT_EQ(TakePopup(), PopupText(58));
    // Escape sent to the window closes the popup.
    ContextHelpClick(app, app.Control(IDC_cbShowAll));
    HWND popup = nullptr;
    ASSERT_TRUE(guitest::WaitFor([&] { return (popup = FindWindowA("MovixHelpPopup", nullptr)) && IsWindowVisible(popup); }));
    app.PressKey(app.Control(IDC_cbShowAll), VK_ESCAPE);
    EXPECT_TRUE(guitest::WaitFor([&] { return !IsWindowVisible(popup); }, 3000)) << "Escape left the popup open";
    EXPECT_FALSE(app.WaitExit(500)) << "Escape closed the program";
    // A page's background carries the page's context: the full topic.
    ContextHelpClick(app, app.Control(IDC_PageBase + 0), 300, 145);
    EXPECT_TRUE(ShowsTopic(2));
}

TEST(HelpFlow, WhatsThisOnAControlShowsItsPopup) {
    App app;
    REQUIRE_APP(app);
    HWND box = app.Control(IDC_cbShowAll);
    RECT r;
    GetWindowRect(box, &r);
    PostMessageA(app.Main(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), MAKELPARAM(r.left + 2, r.top + 2));
    HWND menu = nullptr;
    ASSERT_TRUE(guitest::WaitFor([&] { return (menu = FindWindowA("#32768", nullptr)) && IsWindowVisible(menu); }));
    app.PressKey(menu, VK_DOWN);
    app.PressKey(menu, VK_RETURN);
    EXPECT_EQ(TakePopup(), PopupText(22));
}

TEST(HelpFlow, MessageBoxHelpShowsTopic20) {
    App app;
    REQUIRE_APP(app);
    app.ClickAsync(IDC_btnInputBad);
    HWND box = app.WaitWindow("#32770", "Warning");
    ASSERT_NE(box, nullptr);
    PostMessageA(box, WM_COMMAND, IDHELP, 0);
    EXPECT_TRUE(ShowsTopic(20));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST(HelpFlow, HelpFileHasEveryContextTheProgramAsksFor) {
    for (unsigned long context : {0ul, 1ul, 2ul, 3ul, 4ul, 5ul, 6ul, 7ul, 8ul, 9ul, 10ul, 11ul, 12ul, 13ul, 14ul,
                                  20ul, 21ul})
        EXPECT_NE(Help().FindTopic(context), nullptr) << "topic " << context;
    for (unsigned long context = 15; context <= 56; ++context)
        EXPECT_FALSE(PopupText(context).empty()) << "popup " << context;
    EXPECT_FALSE(PopupText(58).empty()) << "popup 58";
}
