// Every page of the wizard in turn: its heading, F1 showing its help topic,
// and a screenshot of it for the test artifacts.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/help_file.h"
#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

const char* const kHeadings[] = {"OLD AND NEW ADDRESS",   "INI FILE OPTIONS",       "PROGMAN GROUP OPTIONS",
                                 "SHORTCUT OPTIONS",      "REGISTRY OPTIONS",       "REGISTRY KEYS TO IGNORE",
                                 "SEARCH OPTIONS SUMMARY", "",                      "SEARCH COMPLETE",
                                 "REPLACING",             "DONE",                   "CONFIGURATION FILE OPTIONS",
                                 "SERVICE AND TASK OPTIONS"};
const char* const kNames[] = {"FromAndTo", "IniFiles", "Groups",    "Shortcuts", "RegistryKeys", "IgnoreKeys",
                              "Confirm",   "Search",   "FinalPage", "Replacing", "FinalFinal", "ConfigFiles",
                              "ServicesTasks"};
const int kContexts[] = {2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 61, 80};

std::string TopicCaption(unsigned long context) {
    static const movix::HelpFile file = [] {
        std::ifstream in(guitest::ExeDir() + "\\MOVIX32.HLP", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return movix::HelpFile::Parse(text.str());
    }();
    const movix::HelpTopic* topic = file.FindTopic(context);
    return topic ? "Movix 32 Help - " + topic->title : "<no topic>";
}

bool HelpShows(unsigned long context) {
    const std::string expected = TopicCaption(context);
    return guitest::WaitFor([&] {
        HWND w = FindWindowA("MovixHelpWindow", nullptr);
        return w && guitest::WindowTextOf(w) == expected;
    });
}

std::string Name(int page) {
    char buffer[64];
    wsprintfA(buffer, "page%02d_%s", page, kNames[page]);
    return buffer;
}

}  // namespace

TEST(AllPages, EachPageHasItsHeadingHelpTopicAndScreenshot) {
    App app;
    REQUIRE_APP(app);
    app.SetText(IDC_EditOldAddress, "C:\\MVX_ALLPAGES_NOWHERE");
    app.SetText(IDC_EditNewAddress, "D:\\NEW");
    app.SetChecked(IDC_cbShowAll, true);
    for (int group : {IDC_rgGroups, IDC_rgShortcuts, IDC_rgRegistry, IDC_rgConfigs, IDC_rgServices, IDC_rgTasks})
        app.Click(group + 1 + 0);
    app.Click(IDC_rgIniFiles + 1 + 1);
    // The configuration files' page comes after the Registry's, the
    // services' and tasks' after it.
    for (int page : {0, 1, 2, 3, 4, 5, 11, 12, 6}) {
        SCOPED_TRACE(kNames[page]);
        ASSERT_EQ(app.Page(), page);
        EXPECT_EQ(app.Text(IDC_HeadingBase + page), kHeadings[page]);
        // F1 on the focused control shows the page's full topic.
        app.PressKey(app.Control(IDC_BtnNext), VK_F1);
        EXPECT_TRUE(HelpShows(kContexts[page]));
        app.Screenshot(Name(page));
        app.Click(IDC_BtnNext);
    }
    ASSERT_EQ(app.Page(), 7);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.SubPage() == 1; }, 30000));
    EXPECT_EQ(app.Text(IDC_SubHeadingBase + 1), "SEARCH RESULTS");
    app.Click(IDC_BtnHelp);
    EXPECT_TRUE(HelpShows(10));
    app.Screenshot("page07_Search_results_none");
}
