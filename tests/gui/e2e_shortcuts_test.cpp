// The whole wizard on shortcuts, through the real window: shortcuts planted
// on the Desktop and in the Start Menu of the prefix, the search of "Start
// Menu and Desktop only", one row set to N, the replacement; then the files
// (read back through the shell's link object) and the log, line by line.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../win/shortcut_files_win.h"
#include "gui_driver.h"
#include "resource.h"

using guitest::App;
using movix_test::Fields;
using movix_test::MakeShortcut;
using movix_test::ShellFields;
using movix_test::SpecialFolderPath;

TEST(EndToEnd, ShortcutsSearchedReviewedReplacedAndLogged) {
    if (!guitest::HaveDisplay())
        GTEST_SKIP() << "no display: the window cannot open";
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    struct Uninit {
        ~Uninit() { CoUninitialize(); }
    } uninit;
    const std::string desktop = SpecialFolderPath(CSIDL_DESKTOPDIRECTORY);
    const std::string programs = SpecialFolderPath(CSIDL_PROGRAMS) + "\\MvxLnk E2E";
    CreateDirectoryA(programs.c_str(), nullptr);
    const std::string onDesktop = desktop + "\\MvxLnk E2E.lnk";
    const std::string inMenu = programs + "\\MvxLnk E2E Help.lnk";
    struct Cleanup {
        std::string a, b, dir;
        ~Cleanup() {
            DeleteFileA(a.c_str());
            DeleteFileA(b.c_str());
            RemoveDirectoryA(dir.c_str());
        }
    } cleanup{onDesktop, inMenu, programs};
    const Fields desktopBefore = {"C:\\MVXLNK_E2E\\EDIT.EXE", "/new", "C:\\MvxLnk_E2E\\DOCS",
                                  "C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL", 12};
    const Fields menuBefore = {"C:\\WINDOWS\\NOTEPAD.EXE", "c:\\mvxlnk_e2e\\HELP.TXT", "C:\\MVXLNK_E2E", "", 0};
    MakeShortcut(onDesktop, desktopBefore);
    MakeShortcut(inMenu, menuBefore);
    ASSERT_FALSE(HasFatalFailure());

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(0, 0, "C:\\MVXLNK_E2E", "D:\\Apps\\MvxLnk", 60000, 1));
    EXPECT_EQ(app.Text(IDC_lblFoundShortcut), "4 matches in Shortcuts");
    // The run names the scope as the Confirm page did.
    EXPECT_EQ(app.Text(IDC_lblShortcut), "Shortcuts in Start Menu and Desktop only");
    EXPECT_EQ(app.Text(IDC_lblSearchType), "Searching Shortcuts in Start Menu and Desktop only");
    EXPECT_EQ(app.Text(IDC_lblFoundINI), "No INI files searched");
    EXPECT_TRUE(app.Enabled(IDC_BtnNext));
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 4);
    app.Screenshot("e2e_shortcuts_found");

    // The working directory of the Start Menu shortcut goes to N.
    int dirRow = -1;
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(app.ListViewText(IDC_lvFound, row, 2), "LNK");
        if (app.ListViewText(IDC_lvFound, row, 0) == "MvxLnk E2E Help.lnk" &&
            app.ListViewText(IDC_lvFound, row, 3) == "dir") {
            dirRow = row;
            EXPECT_EQ(app.ListViewText(IDC_lvFound, row, 1), programs);
            EXPECT_EQ(app.ListViewText(IDC_lvFound, row, 4), "C:\\MVXLNK_E2E");
        }
    }
    ASSERT_GE(dirRow, 0);
    app.ListViewSelect(IDC_lvFound, {dirRow});
    SendMessageA(app.Main(), WM_COMMAND, IDM_No1, 0);
    app.Sync();
    ASSERT_EQ(app.ListViewImage(IDC_lvFound, dirRow), 1);

    app.Click(IDC_BtnNext);  // the sub-page Searched
    app.Click(IDC_BtnNext);  // FinalPage
    ASSERT_EQ(app.Page(), 8);
    app.Click(IDC_BtnNext);  // the replacement
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 30000));

    EXPECT_EQ(ShellFields(onDesktop), (Fields{"D:\\Apps\\MvxLnk\\EDIT.EXE", "/new", "D:\\Apps\\MvxLnk\\DOCS",
                                              "C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL", 12}));
    EXPECT_EQ(ShellFields(inMenu),
              (Fields{"C:\\WINDOWS\\NOTEPAD.EXE", "D:\\Apps\\MvxLnk\\HELP.TXT", "C:\\MVXLNK_E2E", "", 0}))
        << "the working directory was set to N";

    const std::vector<std::string> desktopLines = {
        "",
        "Processing shortcut " + onDesktop,
        "     command line: C:\\MVXLNK_E2E\\EDIT.EXE",
        "       changed to: D:\\Apps\\MvxLnk\\EDIT.EXE",
        "      working dir: C:\\MvxLnk_E2E\\DOCS",
        "       changed to: D:\\Apps\\MvxLnk\\DOCS",
        "Successfully updated " + onDesktop,
    };
    const std::vector<std::string> menuLines = {
        "",
        "Processing shortcut " + inMenu,
        "        arguments: c:\\mvxlnk_e2e\\HELP.TXT",
        "       changed to: D:\\Apps\\MvxLnk\\HELP.TXT",
        "Successfully updated " + inMenu,
    };
    // The run sorts by Type, Path and Item: the folders' order decides.
    const bool desktopFirst =
        CompareStringA(LOCALE_USER_DEFAULT, 0, desktop.c_str(), -1, programs.c_str(), -1) == CSTR_LESS_THAN;
    std::vector<std::string> expected = desktopFirst ? desktopLines : menuLines;
    const std::vector<std::string>& second = desktopFirst ? menuLines : desktopLines;
    expected.insert(expected.end(), second.begin(), second.end());
    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[2], "Old address: C:\\MVXLNK_E2E");
    EXPECT_EQ(log[3], "New address: D:\\Apps\\MvxLnk");
    EXPECT_EQ(std::vector<std::string>(log.begin() + 5, log.end()), expected);
    app.Screenshot("e2e_shortcuts_log");
}
