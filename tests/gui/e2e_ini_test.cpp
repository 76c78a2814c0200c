// The whole wizard on INI files, through the real window: search, a row set
// to N, the list saved as RTF, the replacement, the log saved; then the
// files on disk and the log's lines are checked word for word.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

// Types a full file name into a save dialog and confirms it.
bool SaveThroughDialog(App& app, int button, const char* title, const std::string& path,
                       std::string* proposed = nullptr) {
    app.ClickAsync(button);
    HWND dialog = app.WaitWindow("#32770", title, 10000);
    if (!dialog) {
        ADD_FAILURE() << "no dialog " << title;
        return false;
    }
    HWND edit = nullptr;
    // The file name box: the edit inside the combo box cmb13, or edt1.
    guitest::WaitFor([&] {
        struct Search {
            HWND found;
        } search = {nullptr};
        EnumChildWindows(
            dialog,
            [](HWND child, LPARAM out) -> BOOL {
                char cls[16] = {};
                GetClassNameA(child, cls, sizeof cls);
                const int id = GetDlgCtrlID(child);
                if (lstrcmpiA(cls, "Edit") == 0 && (id == 0x47c || id == 0x480)) {
                    reinterpret_cast<Search*>(out)->found = child;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        edit = search.found;
        return edit != nullptr && IsWindowVisible(edit);
    });
    if (!edit) {
        std::string children;
        EnumChildWindows(
            dialog,
            [](HWND child, LPARAM out) -> BOOL {
                char cls[64] = {};
                GetClassNameA(child, cls, sizeof cls);
                *reinterpret_cast<std::string*>(out) += std::string(cls) + ":" +
                                                        std::to_string(GetDlgCtrlID(child)) + " ";
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&children));
        ADD_FAILURE() << "no file name box in the dialog: " << children;
        return false;
    }
    if (proposed)
        *proposed = guitest::WindowTextOf(edit);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    if (guitest::WindowTextOf(edit) != path) {
        ADD_FAILURE() << "file name box holds " << guitest::WindowTextOf(edit);
        return false;
    }
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return guitest::WaitFor([&] { return !IsWindow(dialog) && guitest::Exists(path); }, 10000);
}

const char kIni[] =
    "Before=C:\\MVXOLD_E2E\\FIRST.EXE\r\n"
    "; C:\\MVXOLD_E2E in a comment stays\r\n"
    "[Paths]\r\n"
    "  Home = c:\\mvxold_e2e  \r\n"
    "Other=C:\\ELSEWHERE\r\n"
    "[C:\\MVXOLD_E2E\\PLUG]\r\n"
    "Spell=C:\\MVXOLD_E2E\\PLUG\\SPELL.DLL;C:\\MVXOLD_E2E\\X\r\n"
    "\x1a"
    "Tail=C:\\MVXOLD_E2E\\AFTER_EOF\r\n";

}  // namespace

TEST(EndToEnd, IniFilesSearchedReviewedReplacedAndLogged) {
    const std::string ini = guitest::WindowsDir() + "\\MVXE2E.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXE2E.BAK";
    DeleteFileA(bak.c_str());
    guitest::WriteFile(ini, kIni);
    const std::string scratch = guitest::ScratchDir("e2e");
    struct Cleanup {
        std::string a, b;
        ~Cleanup() {
            DeleteFileA(a.c_str());
            DeleteFileA(b.c_str());
        }
    } cleanup{ini, bak};

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXOLD_E2E", "D:\\MVXNEW_E2E"));
    EXPECT_EQ(app.Text(IDC_lblFoundINI), "4 matches in INI files");
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 4);

    // The section header row goes to N through the list's menu command "No".
    int header = -1;
    for (int row = 0; row < 4; ++row) {
        if (app.ListViewText(IDC_lvFound, row, 4) == "[C:\\MVXOLD_E2E\\PLUG]")
            header = row;
    }
    ASSERT_GE(header, 0);
    app.ListViewSelect(IDC_lvFound, {header});
    SendMessageA(app.Main(), WM_COMMAND, IDM_No1, 0);
    app.Sync();
    ASSERT_EQ(app.ListViewImage(IDC_lvFound, header), 1);

    // The list saved as RTF holds the three Y rows.
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.SubPage(), 2);
    const std::string rtfPath = scratch + "\\FOUND.RTF";
    ASSERT_TRUE(SaveThroughDialog(app, IDC_BtnSaveList, "Save as Rich Text File", rtfPath));
    const std::string rtf = guitest::ReadAll(rtfPath);
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\widowctrl\\fs32\r\n", 0), 0u);
    EXPECT_NE(rtf.find("{\\info{\\title Items containing \"C:\\\\MVXOLD_E2E\"}"), std::string::npos);
    EXPECT_NE(rtf.find("MVXE2E.INI\\cell "), std::string::npos);
    EXPECT_EQ(rtf.find("[C:\\\\MVXOLD_E2E\\\\PLUG]\\cell \\row"), std::string::npos) << "the N row is not saved";
    size_t rowsWritten = 0;
    for (size_t at = rtf.find("\\cell \\row"); at != std::string::npos; at = rtf.find("\\cell \\row", at + 1))
        ++rowsWritten;
    EXPECT_EQ(rowsWritten, 3u);
    EXPECT_EQ(rtf.back(), '}');

    // Replacement.
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 8);
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 30000));

    // The file: Y lines rewritten, the N header and the comment unchanged,
    // every line ended as before, everything from the Ctrl-Z on kept as it is.
    EXPECT_EQ(guitest::ReadAll(ini),
              "Before=D:\\MVXNEW_E2E\\FIRST.EXE\r\n"
              "; C:\\MVXOLD_E2E in a comment stays\r\n"
              "[Paths]\r\n"
              "  Home = D:\\MVXNEW_E2E  \r\n"
              "Other=C:\\ELSEWHERE\r\n"
              "[C:\\MVXOLD_E2E\\PLUG]\r\n"
              "Spell=D:\\MVXNEW_E2E\\PLUG\\SPELL.DLL;D:\\MVXNEW_E2E\\X\r\n"
              "\x1a"
              "Tail=C:\\MVXOLD_E2E\\AFTER_EOF\r\n");
    EXPECT_EQ(guitest::ReadAll(bak), kIni) << "the previous file is kept as .BAK";

    // The log, line by line.
    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[0].rfind("Report generated by Movix 32 on ", 0), 0u);
    EXPECT_TRUE(log[0].size() > 3 && (log[0].substr(log[0].size() - 3) == " AM" ||
                                      log[0].substr(log[0].size() - 3) == " PM"))
        << log[0];
    EXPECT_EQ(log[1], "(Error lines begin with *****)");
    EXPECT_EQ(log[2], "Old address: C:\\MVXOLD_E2E");
    EXPECT_EQ(log[3], "New address: D:\\MVXNEW_E2E");
    // The head names the undo journal, made in the documents folder.
    ASSERT_EQ(log[4].rfind("Undo journal: ", 0), 0u) << log[4];
    EXPECT_NE(log[4].find("\\MOVIX32UNDO-"), std::string::npos) << log[4];
    EXPECT_TRUE(guitest::Exists(log[4].substr(14))) << log[4];
    const std::vector<std::string> expected = {
        "",
        "Processing INI file " + ini,
        "          INI key: Before=C:\\MVXOLD_E2E\\FIRST.EXE",
        "       changed to: Before=D:\\MVXNEW_E2E\\FIRST.EXE",
        "          INI key:   Home = c:\\mvxold_e2e  ",
        "       changed to:   Home = D:\\MVXNEW_E2E  ",
        "          INI key: Spell=C:\\MVXOLD_E2E\\PLUG\\SPELL.DLL;C:\\MVXOLD_E2E\\X",
        "       changed to: Spell=D:\\MVXNEW_E2E\\PLUG\\SPELL.DLL;D:\\MVXNEW_E2E\\X",
        "Successfully updated " + ini,
        "Backup stored as " + bak,
    };
    const std::vector<std::string> rest(log.begin() + 5, log.end());
    EXPECT_EQ(rest, expected);
    app.Screenshot("page10_FinalFinal_log");
    // The widest replacer line set the log's horizontal extent.
    EXPECT_GT(SendMessageA(app.Control(IDC_lbReport), LB_GETHORIZONTALEXTENT, 0, 0), 300);

    // The log saved as text: the proposed name, then exactly the lines.
    const std::string logPath = scratch + "\\LOG.TXT";
    std::string proposed;
    ASSERT_TRUE(SaveThroughDialog(app, IDC_btnSaveLog, "Save Log File", logPath, &proposed));
    EXPECT_NE(proposed.find("MOVIX32LOG.TXT"), std::string::npos) << proposed;
    std::string text;
    for (const std::string& line : log)
        text += line + "\r\n";
    EXPECT_EQ(guitest::ReadAll(logPath), text);
}

TEST(EndToEnd, EveryRowSetToNLeavesFilesAloneAndLogsTheHeaderOnly) {
    const std::string ini = guitest::WindowsDir() + "\\MVXALLN.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXALLN.BAK";
    DeleteFileA(bak.c_str());
    guitest::WriteFile(ini, kIni);
    struct Cleanup {
        std::string a;
        ~Cleanup() { DeleteFileA(a.c_str()); }
    } cleanup{ini};

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXOLD_E2E", "D:\\MVXNEW_E2E"));
    const int rows = app.ListViewCount(IDC_lvFound);
    ASSERT_GE(rows, 4);
    std::vector<int> all;
    for (int i = 0; i < rows; ++i)
        all.push_back(i);
    app.ListViewSelect(IDC_lvFound, all);
    SendMessageA(app.Main(), WM_COMMAND, IDM_No1, 0);
    app.Sync();
    for (int i = 0; i < rows; ++i)
        ASSERT_EQ(app.ListViewImage(IDC_lvFound, i), 1);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 30000));
    EXPECT_EQ(app.ListBoxItems(IDC_lbReport).size(), 5u);
    EXPECT_EQ(guitest::ReadAll(ini), kIni);
    EXPECT_FALSE(guitest::Exists(bak));
    EXPECT_EQ(app.ListViewCount(IDC_lvFound), 0) << "every N row was dropped";
}

TEST(EndToEnd, CancelDuringTheIniSearchEndsTheProgram) {
    App app;
    REQUIRE_APP(app);
    // Every fixed drive: a walk long enough to be stopped half way. An Old
    // address on the drive of the Unix root has Wine's whole file system
    // walked (otherwise left out).
    app.SearchWith(4, 0, "Z:\\MVX_CANCELLED_SEARCH", "", 0);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Text(IDC_lblSearchIn).rfind("In ", 0) == 0; }, 10000));
    EXPECT_EQ(app.SubPage(), 0) << "still searching";
    EXPECT_FALSE(app.Enabled(IDC_BtnNext));
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));
    EXPECT_TRUE(app.Enabled(IDC_BtnCancel));
    app.Screenshot("page07_Searching");
    app.Click(IDC_BtnCancel);
    EXPECT_TRUE(app.WaitExit(10000)) << "Cancel ends the program without waiting for the search";
}
