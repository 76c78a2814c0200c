// The whole wizard on Program Manager groups under Windows NT 3.51 (Wine's
// per-program version "nt351"), through the real window, against the
// Program Manager substitute serving the demo's groups: the Groups page is
// shown by default, the search finds the moved program's items, the
// replacement rebuilds them, and the substitute's groups and the log are
// checked word for word.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_driver.h"
#include "resource.h"
#include "targets/progman_commands.h"

using guitest::App;

namespace {

// A folder of the source tree, as Wine reaches it through drive Z:.
std::string SourceFolder(const char* unixPath) {
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

HWND SubstituteWindow() {
    return FindWindowA("MxProgManWindow", "MxProgMan ProgMan ProgMan");
}

// The substitute serving "ProgMan" from `folder`, in place of Wine's own
// service (a conversation goes to the server that registered last).
class ProgManSubstitute {
  public:
    explicit ProgManSubstitute(const std::string& folder) {
        const std::string exe = guitest::ExeDir() + "\\mxprogman.exe";
        std::string line = "\"" + exe + "\" ProgMan /service:ProgMan \"/groups:" + folder + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        if (!CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
            return;
        guitest::WaitFor([] { return SubstituteWindow() != nullptr; }, 10000);
    }
    ~ProgManSubstitute() { End(); }
    bool Running() const { return pi_.hProcess && SubstituteWindow() != nullptr; }
    void End() {
        if (!pi_.hProcess)
            return;
        if (HWND w = SubstituteWindow())
            PostMessageA(w, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi_.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(pi_.hProcess, 1);
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
        pi_ = {};
    }

  private:
    PROCESS_INFORMATION pi_ = {};
};

}  // namespace

TEST(EndToEnd, ProgManGroupsUnderNT351_SearchedReplacedAndLogged) {
    // The demo's groups, which the substitute rewrites in this copy.
    const std::string groups = guitest::ScratchDir("e2e_groups");
    const std::string demo = SourceFolder(MOVIX_DEMO_GROUPS_DIR);
    for (const char* name : {"group0001.txt", "group0002.txt"})
        ASSERT_TRUE(CopyFileA((demo + "\\" + name).c_str(), (groups + "\\" + name).c_str(), FALSE)) << demo;
    const std::string accessoriesBefore = guitest::ReadAll(groups + "\\group0002.txt");
    const std::string quillpadBefore = guitest::ReadAll(groups + "\\group0001.txt");
    ASSERT_TRUE(guitest::WaitFor([] { return SubstituteWindow() == nullptr; }, 15000));
    ProgManSubstitute server(groups);
    ASSERT_TRUE(server.Running());

    guitest::WindowsVersion version("nt351");
    App app;
    REQUIRE_APP(app);
    app.SetText(IDC_EditOldAddress, "C:\\QUILL");
    app.SetText(IDC_EditNewAddress, "C:\\Apps\\Quillpad");
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 1);
    app.Click(IDC_rgIniFiles + 1 + 0);
    app.Click(IDC_BtnNext);
    // Windows NT 3.51 has Program Manager groups: their page shows, set to
    // search all groups.
    ASSERT_EQ(app.Page(), 2);
    EXPECT_FALSE(app.Checked(IDC_cbSkipGroups));
    EXPECT_TRUE(app.Checked(IDC_rgGroups + 1 + 1));
    app.Screenshot("e2e_groups_page02_Groups");
    app.Click(IDC_BtnNext);
    // Shortcuts are passed over on this version.
    ASSERT_EQ(app.Page(), 4);
    app.Click(IDC_rgRegistry + 1 + 0);
    for (int i = 0; i < 4 && app.Page() != 7; ++i)
        app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 7);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.SubPage() == 1; }, 60000));

    EXPECT_EQ(app.Text(IDC_lblFoundINI), "No INI files searched");
    EXPECT_EQ(app.Text(IDC_lblFoundGroup), "11 matches in Groups");
    EXPECT_EQ(app.Text(IDC_lblFoundShortcut), "No Shortcuts searched");
    EXPECT_EQ(app.Text(IDC_lblFoundReg), "No Registry entries searched");
    EXPECT_TRUE(app.Enabled(IDC_BtnNext));
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 11);
    // Rows in the order found: item, group, type, sub-type, the field.
    const std::vector<std::vector<std::string>> firstRows = {
        {"Quillpad", "Quillpad", "GRP", "cmd", "C:\\QUILL\\QUILL.EXE"},
        {"Quillpad", "Quillpad", "GRP", "dir", "C:\\QUILL\\DOCS"},
        {"Quillpad", "Quillpad", "GRP", "ico", "C:\\QUILL\\QUILL.EXE"},
    };
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 5; ++col)
            EXPECT_EQ(app.ListViewText(IDC_lvFound, row, col), firstRows[row][col]) << row << "," << col;
    app.Screenshot("e2e_groups_page07_SearchResults");

    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.SubPage(), 2);
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 8);
    EXPECT_EQ(app.Text(IDC_EditNewAddressAgain), "C:\\Apps\\Quillpad");
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 60000));

    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[2], "Old address: C:\\QUILL");
    EXPECT_EQ(log[3], "New address: C:\\Apps\\Quillpad");
    const std::vector<std::string> expected = {
        "",
        "Updating ProgMan Group Quillpad",
        "             item: \"Quillpad\",\"C:\\QUILL\\QUILL.EXE\",C:\\QUILL\\DOCS,C:\\QUILL\\QUILL.EXE,16,16,0,0,0,0",
        "       changed to: C:\\Apps\\Quillpad\\QUILL.EXE,Quillpad,C:\\Apps\\Quillpad\\QUILL.EXE,0,16,16,"
        "C:\\Apps\\Quillpad\\DOCS,0,0,0",
        "             item: \"Quillpad Templates\",\"C:\\QUILL\\QUILL.EXE /t C:\\QUILL\\TEMPLATES\",C:\\QUILL,"
        "C:\\QUILL\\QUILL.EXE,91,16,1,0,0,0",
        "       changed to: C:\\Apps\\Quillpad\\QUILL.EXE /t C:\\Apps\\Quillpad\\TEMPLATES,Quillpad Templates,"
        "C:\\Apps\\Quillpad\\QUILL.EXE,1,91,16,C:\\Apps\\Quillpad,0,0,0",
        "             item: \"Read Me\",\"C:\\WINDOWS\\NOTEPAD.EXE C:\\QUILL\\README.TXT\",C:\\QUILL,,166,16,0,0,0,0",
        "       changed to: C:\\WINDOWS\\NOTEPAD.EXE C:\\Apps\\Quillpad\\README.TXT,Read Me,,0,166,16,"
        "C:\\Apps\\Quillpad,0,0,0",
        "             item: \"Quillpad (Safe Mode)\",\"C:\\QUILL\\QUILL.EXE /safe\",C:\\QUILL,C:\\QUILL\\QUILL.EXE,"
        "241,16,0,1617,0,0",
        "       changed to: C:\\Apps\\Quillpad\\QUILL.EXE /safe,\"Quillpad (Safe Mode)\",C:\\Apps\\Quillpad\\QUILL.EXE,"
        "0,241,16,C:\\Apps\\Quillpad,1617,0,0",
        "Successfully updated Quillpad",
    };
    EXPECT_EQ(std::vector<std::string>(log.begin() + 5, log.end()), expected);
    app.Screenshot("e2e_groups_page10_FinalFinal_log");

    // The substitute saves after every execute: the group's file holds the
    // rebuilt items in their places with every other field kept, and the
    // other group is untouched.
    ASSERT_TRUE(guitest::WaitFor(
        [&] { return guitest::ReadAll(groups + "\\group0001.txt").find("C:\\QUILL") == std::string::npos; }, 10000))
        << guitest::ReadAll(groups + "\\group0001.txt");
    std::optional<movix::ProgManGroup> group = movix::ParseGroupFile(guitest::ReadAll(groups + "\\group0001.txt"));
    ASSERT_TRUE(group);
    std::vector<std::string> items;
    for (const movix::TGroupItemLine& item : group->Items)
        items.push_back(movix::FormatGroupItemLine(item));
    EXPECT_EQ(
        items,
        (std::vector<std::string>{
            "\"Quillpad\",\"C:\\Apps\\Quillpad\\QUILL.EXE\",C:\\Apps\\Quillpad\\DOCS,C:\\Apps\\Quillpad\\QUILL.EXE,"
            "16,16,0,0,0,0",
            "\"Quillpad Templates\",\"C:\\Apps\\Quillpad\\QUILL.EXE /t C:\\Apps\\Quillpad\\TEMPLATES\","
            "C:\\Apps\\Quillpad,C:\\Apps\\Quillpad\\QUILL.EXE,91,16,1,0,0,0",
            "\"Read Me\",\"C:\\WINDOWS\\NOTEPAD.EXE "
            "C:\\Apps\\Quillpad\\README.TXT\",C:\\Apps\\Quillpad,,166,16,0,0,0,0",
            "\"Quillpad (Safe Mode)\",\"C:\\Apps\\Quillpad\\QUILL.EXE /safe\",C:\\Apps\\Quillpad,"
            "C:\\Apps\\Quillpad\\QUILL.EXE,241,16,0,1617,0,0",
        }));
    EXPECT_EQ(guitest::ReadAll(groups + "\\group0002.txt"), accessoriesBefore);

    // Restore rebuilds each item from its line as received before the run:
    // the group's file is again the same byte for byte; pressed again,
    // nothing changes.
    for (const char* round : {"first", "second"}) {
        guitest::PressAndAnswer(app, IDC_btnRestore, 'Y');
        std::vector<std::string> restoreLog;
        ASSERT_TRUE(guitest::WaitFor(
            [&] {
                restoreLog = app.ListBoxItems(IDC_lbRestoreLog);
                return !restoreLog.empty() && restoreLog.back().rfind("Restore log stored as ", 0) == 0;
            },
            60000))
            << round;
        std::string all;
        for (const std::string& line : restoreLog)
            all += line + "\n";
        EXPECT_NE(all.find(std::string(round) == "first" ? "4 restored, 0 already" : "0 restored, 4 already"),
                  std::string::npos)
            << all;
        EXPECT_EQ(all.find("\n*****"), std::string::npos) << all;
        EXPECT_TRUE(
            guitest::WaitFor([&] { return guitest::ReadAll(groups + "\\group0001.txt") == quillpadBefore; }, 10000))
            << round << "\n"
            << guitest::ReadAll(groups + "\\group0001.txt");
        EXPECT_EQ(guitest::ReadAll(groups + "\\group0002.txt"), accessoriesBefore);
    }
    app.Click(IDC_BtnCancel);
    EXPECT_TRUE(app.WaitExit(10000));
    server.End();
    guitest::RemoveTree(groups);
}

// A close while Restore puts group items back (Program Manager's answers are
// awaited with the window's messages let through) waits for the restore:
// every item is put back, its log is stored, and then the program ends.
TEST(EndToEnd, CloseDuringARestoreWaitsForItAndThenEnds) {
    const std::string groups = guitest::ScratchDir("e2e_groups_close");
    const std::string demo = SourceFolder(MOVIX_DEMO_GROUPS_DIR);
    for (const char* name : {"group0001.txt", "group0002.txt"})
        ASSERT_TRUE(CopyFileA((demo + "\\" + name).c_str(), (groups + "\\" + name).c_str(), FALSE)) << demo;
    const std::string quillpadBefore = guitest::ReadAll(groups + "\\group0001.txt");
    ASSERT_TRUE(guitest::WaitFor([] { return SubstituteWindow() == nullptr; }, 15000));
    ProgManSubstitute server(groups);
    ASSERT_TRUE(server.Running());

    guitest::WindowsVersion version("nt351");
    App app;
    REQUIRE_APP(app);
    app.SetText(IDC_EditOldAddress, "C:\\QUILL");
    app.SetText(IDC_EditNewAddress, "C:\\Apps\\Quillpad");
    app.Click(IDC_BtnNext);
    app.Click(IDC_rgIniFiles + 1 + 0);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.Click(IDC_rgRegistry + 1 + 0);
    for (int i = 0; i < 4 && app.Page() != 7; ++i)
        app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 7);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.SubPage() == 1; }, 60000));
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 11);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 60000));
    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    ASSERT_GE(log.size(), 5u);
    ASSERT_EQ(log[4].rfind("Undo journal: ", 0), 0u) << log[4];
    const std::string journal = log[4].substr(14);
    ASSERT_TRUE(guitest::WaitFor(
        [&] { return guitest::ReadAll(groups + "\\group0001.txt").find("C:\\QUILL") == std::string::npos; }, 10000));

    // Yes, and at once the window is asked to close.
    guitest::PressAndAnswer(app, IDC_btnRestore, 'Y');
    PostMessageA(app.Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.WaitExit(60000)) << "the program did not end";
    EXPECT_EQ(guitest::ReadAll(groups + "\\group0001.txt"), quillpadBefore);
    const std::string restoreLog = guitest::ReadAll(journal.substr(0, journal.size() - 4) + "-RESTORE.TXT");
    EXPECT_NE(restoreLog.find("4 restored, 0 already as before the run, 0 not restored."), std::string::npos)
        << restoreLog;
    server.End();
    guitest::RemoveTree(groups);
}
