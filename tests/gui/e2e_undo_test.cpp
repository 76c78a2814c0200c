// Undo through the real window: a replacement writes its journal before it
// changes anything, Restore on the last page puts an INI file and Registry
// keys back exactly (a second Restore changes nothing), and a journal that
// cannot be written stops the run before any change.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "../win/registry_test_support_win.h"
#include "../win/second_drive_win.h"
#include "gui_driver.h"
#include "waiter_process_win.h"
#include "resource.h"

using guitest::App;

namespace {

const char kIni[] =
    "[Paths]\r\n"
    "Home=C:\\MVXUNDO_OLD\\BIN\r\n"
    "; C:\\MVXUNDO_OLD stays\n"
    "Other=1\r\n"
    "\x1a"
    "after the end";

const char kKey[] = "Software\\MvxUndoE2E";

void Plant() {
    using namespace movix_test;
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    const std::string k = kKey;
    SetSz(HKEY_CURRENT_USER, k + "\\Tools_MVXUNDO_OLD", "Kept", "inside the moved key");
    SetRaw(HKEY_CURRENT_USER, k + "\\Tools_MVXUNDO_OLD", "odd", REG_BINARY, std::string("\x01\x02\x03", 3));
    SetRaw(HKEY_CURRENT_USER, k + "\\Tools_MVXUNDO_OLD\\Deeper", "empty", REG_SZ, "");
    SetDword(HKEY_CURRENT_USER, k, "Doc_MVXUNDO_OLD", 7);
    SetSz(HKEY_CURRENT_USER, k, "Path", "C:\\mvxundo_old\\BIN");
    SetSz(HKEY_CURRENT_USER, k, "", "C:\\MVXUNDO_OLD");
    SetSz(HKEY_CURRENT_USER, k, "Exp", "%SystemRoot%;C:\\MVXUNDO_OLD", REG_EXPAND_SZ);
}

std::vector<std::string> Export() {
    return movix_test::RegExportLines(std::string("HKEY_CURRENT_USER\\") + kKey);
}

bool Contains(const std::vector<std::string>& log, const std::string& part) {
    return std::any_of(log.begin(), log.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

bool HasErrorLine(const std::vector<std::string>& log) {
    return std::any_of(log.begin(), log.end(), [](const std::string& line) { return line.rfind("*****", 0) == 0; });
}

// The lines as a saved log holds them.
std::string Lines(const std::vector<std::string>& log) {
    std::string text;
    for (const std::string& line : log)
        text += line + "\r\n";
    return text;
}

std::string Joined(const std::vector<std::string>& log) {
    std::string all;
    for (const std::string& line : log)
        all += line + "\n";
    return all;
}

// The wizard set to search the INI files of the Windows folder alone and to
// move Old to New, run to the search's results; false when the move cannot
// be chosen or the results do not come.
bool SearchForAMove(App& app, const std::string& old, const std::string& moved) {
    for (int id : {IDC_cbSkipIniFiles, IDC_cbSkipGroups, IDC_cbSkipShortcuts, IDC_cbSkipRegistry, IDC_cbSkipConfigs,
                   IDC_cbSkipServicesTasks})
        app.SetChecked(id, true);
    app.Click(IDC_rgIniFiles + 1 + 2);
    app.Click(IDC_rgShortcuts + 1);
    app.Click(IDC_rgRegistry + 1);
    app.Click(IDC_rgConfigs + 1);
    app.Click(IDC_rgServices + 1);
    app.Click(IDC_rgTasks + 1);
    app.SetText(IDC_EditOldAddress, old);
    app.SetText(IDC_EditNewAddress, moved);
    app.Sync();
    if (!app.Enabled(IDC_cbMoveFolder))
        return false;
    app.SetChecked(IDC_cbMoveFolder, true);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    return guitest::WaitFor([&] { return app.SubPage() == 1; }, 120000);
}

}  // namespace

TEST(EndToEnd, RestorePutsTheRunBackAndASecondRestoreChangesNothing) {
    const std::string ini = guitest::WindowsDir() + "\\MVXUNDO.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXUNDO.BAK";
    DeleteFileA(bak.c_str());
    guitest::WriteFile(ini, std::string(kIni, sizeof kIni - 1));
    Plant();
    struct Cleanup {
        std::string a, b;
        ~Cleanup() {
            DeleteFileA(a.c_str());
            DeleteFileA(b.c_str());
            RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
        }
    } cleanup{ini, bak};
    const std::vector<std::string> exported = Export();
    ASSERT_FALSE(exported.empty());

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 1, "MVXUNDO_OLD", "MVXUNDO_NEW", 120000));
    app.Click(IDC_BtnNext);
    // Both save dialogs start in the user's documents, where the journal
    // goes too, not in the program's folder.
    const std::string documents = guitest::DocumentsDir();
    ASSERT_FALSE(documents.empty());
    const std::string listName = "MVXUNDOLIST" + std::to_string(GetCurrentProcessId()) + ".RTF";
    EXPECT_TRUE(guitest::SaveThroughDialog(app, IDC_BtnSaveList, "Save as Rich Text File", listName, nullptr,
                                           documents + "\\" + listName));
    DeleteFileA((documents + "\\" + listName).c_str());
    app.Click(IDC_BtnNext);
    EXPECT_FALSE(app.Visible(IDC_btnRestore));
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 60000));
    std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    const std::vector<std::string> updateLog = log;
    ASSERT_GE(log.size(), 5u);
    ASSERT_EQ(log[4].rfind("Undo journal: ", 0), 0u) << log[4];
    const std::string journal = log[4].substr(14);
    EXPECT_TRUE(guitest::Exists(journal));
    EXPECT_NE(guitest::ReadAll(ini), kIni);
    EXPECT_NE(Export(), exported);
    EXPECT_TRUE(app.Enabled(IDC_btnRestore));
    EXPECT_FALSE(app.Visible(IDC_btnShowLog));
    const std::string scratch = guitest::ScratchDir("undo_logs");
    // The log's proposed name, confirmed as it stands, is in the documents.
    std::string proposed;
    const std::string updateSaved = documents + "\\MOVIX32LOG.TXT";
    DeleteFileA(updateSaved.c_str());
    EXPECT_TRUE(guitest::SaveThroughDialog(app, IDC_btnSaveLog, "Save Log File", "MOVIX32LOG.TXT", &proposed,
                                           updateSaved));
    EXPECT_STRCASEEQ(proposed.c_str(), "MOVIX32LOG.TXT");
    EXPECT_EQ(guitest::ReadAll(updateSaved), Lines(updateLog));
    DeleteFileA(updateSaved.c_str());

    // Restore asks first, naming the journal and what it records; No (the
    // default, and the key N here) changes nothing.
    for (WORD key : {WORD('N'), WORD(VK_RETURN)}) {
        const std::string question = guitest::PressAndAnswer(app, IDC_btnRestore, key);
        EXPECT_NE(question.find("\nUndo journal:\n" + journal + "\n"), std::string::npos) << question;
        EXPECT_NE(question.find("    1 INI file\n"), std::string::npos) << question;
        EXPECT_NE(question.find(" Registry key"), std::string::npos) << question;
        EXPECT_NE(question.find(" Registry value"), std::string::npos) << question;
        EXPECT_EQ(question.find("restored already"), std::string::npos) << question;
        EXPECT_EQ(app.ListBoxItems(IDC_lbReport), updateLog);
        EXPECT_EQ(app.ListBoxItems(IDC_lbRestoreLog).size(), 0u);
        EXPECT_NE(guitest::ReadAll(ini), kIni);
        EXPECT_NE(Export(), exported);
        EXPECT_FALSE(guitest::Exists(journal.substr(0, journal.size() - 4) + "-RESTORE.TXT"));
    }

    // Yes: the restore's log shows in a list of its own under its own
    // heading; the update's log stays and is shown again on request.
    guitest::PressAndAnswer(app, IDC_btnRestore, 'Y');
    const bool restored = guitest::WaitFor(
        [&] {
            log = app.ListBoxItems(IDC_lbRestoreLog);
            return Contains(log, "Restore log stored as ");
        },
        90000);
    if (!restored)
        app.Screenshot("restore_not_done");
    ASSERT_TRUE(restored) << Joined(log);
    EXPECT_TRUE(app.Visible(IDC_lbRestoreLog));
    EXPECT_FALSE(app.Visible(IDC_lbReport));
    EXPECT_EQ(app.Text(IDC_HeadingBase + 10), "RESTORE LOG");
    EXPECT_EQ(app.ListBoxItems(IDC_lbReport), updateLog);
    ASSERT_TRUE(app.Visible(IDC_btnShowLog));
    app.Click(IDC_btnShowLog);
    EXPECT_TRUE(app.Visible(IDC_lbReport));
    EXPECT_FALSE(app.Visible(IDC_lbRestoreLog));
    EXPECT_EQ(app.Text(IDC_HeadingBase + 10), "DONE");
    app.Click(IDC_btnShowLog);
    EXPECT_TRUE(app.Visible(IDC_lbRestoreLog));
    // Save Log saves the log shown.
    EXPECT_TRUE(guitest::SaveThroughDialog(app, IDC_btnSaveLog, "Save Log File", scratch + "\\RESTORE.TXT", &proposed));
    EXPECT_STRCASEEQ(proposed.c_str(), "MOVIX32RESTORELOG.TXT");
    EXPECT_EQ(guitest::ReadAll(scratch + "\\RESTORE.TXT"), Lines(log));
    EXPECT_EQ(log[0].rfind("Restore by Movix 32 on ", 0), 0u) << log[0];
    EXPECT_TRUE(Contains(log, "Undo journal: " + journal)) << Joined(log);
    EXPECT_FALSE(HasErrorLine(log)) << Joined(log);
    EXPECT_EQ(guitest::ReadAll(ini), std::string(kIni, sizeof kIni - 1));
    EXPECT_EQ(Export(), exported);
    const std::string restoreLog = journal.substr(0, journal.size() - 4) + "-RESTORE.TXT";
    EXPECT_TRUE(guitest::Exists(restoreLog)) << restoreLog;
    app.Screenshot("page10_restored");

    // Pressed again: the question says the journal was restored already;
    // everything is as it was, nothing changes.
    const std::string again = guitest::PressAndAnswer(app, IDC_btnRestore, 'Y');
    EXPECT_NE(again.find("This undo journal was restored already (restore log: " + restoreLog + ")."),
              std::string::npos)
        << again;
    ASSERT_TRUE(guitest::WaitFor(
        [&] {
            log = app.ListBoxItems(IDC_lbRestoreLog);
            return Contains(log, "Restore log stored as ");
        },
        30000));
    EXPECT_TRUE(Contains(log, "0 restored, ")) << Joined(log);
    // Each Restore keeps a log of its own.
    EXPECT_EQ(log.back(), "Restore log stored as " + journal.substr(0, journal.size() - 4) + "-RESTORE-2.TXT");
    EXPECT_TRUE(guitest::Exists(restoreLog));
    EXPECT_FALSE(HasErrorLine(log)) << Joined(log);
    EXPECT_EQ(guitest::ReadAll(ini), std::string(kIni, sizeof kIni - 1));
    EXPECT_EQ(Export(), exported);
    EXPECT_EQ(app.ListBoxItems(IDC_lbReport), updateLog);
    guitest::RemoveTree(scratch);
}

TEST(EndToEnd, AJournalThatCannotBeWrittenStopsTheRunBeforeAnyChange) {
    const std::string ini = guitest::WindowsDir() + "\\MVXUNDOF.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXUNDOF.BAK";
    DeleteFileA(bak.c_str());
    guitest::WriteFile(ini, std::string(kIni, sizeof kIni - 1));
    // The documents folder named by the shell is a file: nothing can be made in it.
    const std::string scratch = guitest::ScratchDir("undo_fail");
    const std::string notAFolder = scratch + "\\DOCUMENTS";
    guitest::WriteFile(notAFolder, "a file, not a folder");
    const char* shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    std::string saved;
    DWORD savedType = 0;
    {
        char buffer[1024] = {};
        DWORD size = sizeof buffer;
        if (RegGetValueA(HKEY_CURRENT_USER, shellFolders, "Personal", RRF_RT_ANY | RRF_NOEXPAND, &savedType, buffer,
                         &size) == ERROR_SUCCESS)
            saved = buffer;
    }
    movix_test::SetSz(HKEY_CURRENT_USER, shellFolders, "Personal", notAFolder, REG_EXPAND_SZ);
    struct Cleanup {
        std::string a, b, saved;
        DWORD type;
        const char* key;
        ~Cleanup() {
            DeleteFileA(a.c_str());
            DeleteFileA(b.c_str());
            if (saved.empty())
                RegDeleteKeyValueA(HKEY_CURRENT_USER, key, "Personal");
            else
                movix_test::SetSz(HKEY_CURRENT_USER, key, "Personal", saved, type);
        }
    } cleanup{ini, bak, saved, savedType ? savedType : REG_EXPAND_SZ, shellFolders};

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXUNDO_OLD", "D:\\MVXUNDO_NEW"));
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.ClickAsync(IDC_BtnNext);
    HWND box = app.WaitWindow("#32770", "Movix 32", 30000);
    ASSERT_NE(box, nullptr) << "no message box";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(box) && app.Page() == 10; }, 10000));
    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    EXPECT_TRUE(Contains(log, "***** The undo journal could not be created in " + notAFolder)) << Joined(log);
    EXPECT_TRUE(Contains(log, "***** The replacement did not start: nothing was changed.")) << Joined(log);
    EXPECT_FALSE(Contains(log, "Processing INI file")) << Joined(log);
    EXPECT_EQ(guitest::ReadAll(ini), std::string(kIni, sizeof kIni - 1));
    EXPECT_FALSE(guitest::Exists(bak));
    EXPECT_FALSE(app.Enabled(IDC_btnRestore));
    EXPECT_TRUE(app.Enabled(IDC_BtnCancel));
}

// The first page's box moves the program's folder (here to another drive)
// before the references are rewritten, as the first group of the log;
// Restore puts the references back, then the folder. The list shows the
// move as its first row, which no sort moves, and a bar follows the copy.
TEST(EndToEnd, TheWizardMovesTheFolderFirstAndRestoreMovesItBack) {
    const std::string old = "C:\\MVXWIZMOVE_OLD";
    const std::string ini = guitest::WindowsDir() + "\\MVXWIZMOVE.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXWIZMOVE.BAK";
    movix_test::SecondDrive drive(guitest::ScratchDir("wizard_move_drive"));
    ASSERT_NE(0, drive.Letter());
    const std::string moved = drive.Root() + "MVXWIZMOVE_NEW";
    guitest::RemoveTree(old);
    CreateDirectoryA(old.c_str(), nullptr);
    guitest::WriteFile(old + "\\QUILL.EXE", std::string(300000, 'q'));
    CreateDirectoryA((old + "\\DATA").c_str(), nullptr);
    // Enough files for the bar to be seen on its way: many small ones cost
    // the copy more time than a few large ones.
    for (int i = 0; i < 4; ++i)
        guitest::WriteFile(old + "\\DATA\\PART" + std::to_string(i) + ".DAT", std::string(8 << 20, 'a' + i));
    for (int i = 0; i < 1500; ++i)
        guitest::WriteFile(old + "\\DATA\\S" + std::to_string(i) + ".DAT", std::string(16384, 'a' + i % 26));
    const std::string iniText = "[Quill]\r\nHome=C:\\MVXWIZMOVE_OLD\\QUILL.EXE\r\n";
    guitest::WriteFile(ini, iniText);
    struct Cleanup {
        std::vector<std::string> files, trees;
        ~Cleanup() {
            for (const std::string& f : files)
                DeleteFileA(f.c_str());
            for (const std::string& t : trees)
                guitest::RemoveTree(t);
        }
    } cleanup{{ini, bak}, {old, moved}};

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(SearchForAMove(app, old, moved));
    EXPECT_TRUE(guitest::Exists(old + "\\QUILL.EXE")) << "nothing moves before the replacement";
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 2);
    for (int column = -1; column < 5; ++column) {
        // Each column twice: ascending, then descending.
        for (int twice = 0; column >= 0 && twice < 2; ++twice)
            SendMessageA(app.Main(), WM_COMMAND, IDM_SortByBase + column, 0);
        const std::vector<std::string> first = {
            app.ListViewText(IDC_lvFound, 0, 0), app.ListViewText(IDC_lvFound, 0, 1),
            app.ListViewText(IDC_lvFound, 0, 2), app.ListViewText(IDC_lvFound, 0, 3),
            app.ListViewText(IDC_lvFound, 0, 4)};
        EXPECT_EQ(first, (std::vector<std::string>{"MVXWIZMOVE_OLD", old, "MOV", "dir", old + " -> " + moved}))
            << "sorted by column " << column;
        EXPECT_EQ(app.ListViewText(IDC_lvFound, 1, 2), "INI");
    }
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    EXPECT_TRUE(app.Enabled(IDC_cbLeaveJunction)) << "a moved folder may leave a junction";
    EXPECT_FALSE(app.Checked(IDC_cbLeaveJunction)) << "but leaves none unless asked";
    EXPECT_FALSE(app.Visible(IDC_pbMove));
    app.ClickAsync(IDC_BtnNext);
    // The bar shows while the folder is copied and is seen part of the way.
    bool partWay = false;
    for (const DWORD end = GetTickCount() + 120000; app.Page() != 10 && GetTickCount() < end; Sleep(1)) {
        DWORD_PTR position = 0;
        if (app.Visible(IDC_pbMove) &&
            SendMessageTimeoutA(app.Control(IDC_pbMove), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position))
            partWay = partWay || (position > 0 && position < 1000);
    }
    ASSERT_EQ(app.Page(), 10);
    EXPECT_TRUE(partWay);
    EXPECT_FALSE(app.Visible(IDC_pbMove));
    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    EXPECT_FALSE(HasErrorLine(log)) << Joined(log);
    ASSERT_GE(log.size(), 7u) << Joined(log);
    EXPECT_EQ(log[5], "") << Joined(log);
    EXPECT_EQ(log[6].rfind("Copied 1505 files", 0), 0u) << Joined(log);
    EXPECT_FALSE(guitest::Exists(old));
    EXPECT_EQ(guitest::ReadAll(moved + "\\QUILL.EXE"), std::string(300000, 'q'));
    EXPECT_EQ(guitest::ReadAll(ini), "[Quill]\r\nHome=" + moved + "\\QUILL.EXE\r\n");

    const std::string question = guitest::PressAndAnswer(app, IDC_btnRestore, 'Y');
    EXPECT_NE(question.find("    1 moved folder (moved back first)\n"), std::string::npos) << question;
    std::vector<std::string> restoreLog;
    ASSERT_TRUE(guitest::WaitFor(
        [&] {
            restoreLog = app.ListBoxItems(IDC_lbRestoreLog);
            return Contains(restoreLog, "Restore log stored as ");
        },
        30000));
    EXPECT_FALSE(HasErrorLine(restoreLog)) << Joined(restoreLog);
    EXPECT_EQ(guitest::ReadAll(ini), iniText);
    EXPECT_EQ(guitest::ReadAll(old + "\\QUILL.EXE"), std::string(300000, 'q'));
    EXPECT_FALSE(guitest::Exists(moved));
}

// The move's row and the junction box decide what the move does: the row
// marked N leaves the folder where it is (the references marked Y are
// rewritten, as without the move), and the box leaves a junction at Old
// that leads to New (or, where the file system makes none, says so).
TEST(EndToEnd, TheMoveRowAndTheJunctionBoxDecideTheMove) {
    const std::string old = "C:\\MVXWIZJCT_OLD", moved = "C:\\MVXWIZJCT_NEW";
    const std::string ini = guitest::WindowsDir() + "\\MVXWIZJCT.INI";
    const struct {
        const char* what;
        bool rowY, junction;
    } cases[] = {{"the row marked N", false, false}, {"a junction asked for", true, true}};
    for (const auto& c : cases) {
        guitest::RemoveTree(old);
        guitest::RemoveTree(moved);
        CreateDirectoryA(old.c_str(), nullptr);
        guitest::WriteFile(old + "\\QUILL.EXE", "MZ quill");
        guitest::WriteFile(ini, "[Quill]\r\nHome=C:\\MVXWIZJCT_OLD\\QUILL.EXE\r\n");
        struct Cleanup {
            std::string ini, old, moved;
            ~Cleanup() {
                DeleteFileA(ini.c_str());
                DeleteFileA((ini.substr(0, ini.size() - 3) + "BAK").c_str());
                RemoveDirectoryA(old.c_str());  // a junction, if one was left
                guitest::RemoveTree(old);
                guitest::RemoveTree(moved);
            }
        } cleanup{ini, old, moved};

        App app;
        REQUIRE_APP(app);
        ASSERT_TRUE(SearchForAMove(app, old, moved)) << c.what;
        ASSERT_EQ(app.ListViewText(IDC_lvFound, 0, 2), "MOV") << c.what;
        if (!c.rowY) {
            app.ListViewSelect(IDC_lvFound, {0});
            SendMessageA(app.Main(), WM_COMMAND, IDM_No1, 0);
            EXPECT_EQ(app.ListViewImage(IDC_lvFound, 0), 1) << "marked N";
        }
        app.Click(IDC_BtnNext);
        app.Click(IDC_BtnNext);
        EXPECT_EQ(app.Enabled(IDC_cbLeaveJunction), c.rowY) << c.what;
        if (c.junction)
            app.SetChecked(IDC_cbLeaveJunction, true);
        app.Click(IDC_BtnNext);
        ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 60000)) << c.what;
        const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
        EXPECT_EQ(guitest::ReadAll(ini), "[Quill]\r\nHome=C:\\MVXWIZJCT_NEW\\QUILL.EXE\r\n") << c.what;
        const DWORD atOld = GetFileAttributesA(old.c_str());
        if (!c.rowY) {
            EXPECT_TRUE(Contains(log, "The folder " + old + " was not moved: its row in the list is marked N."))
                << Joined(log);
            EXPECT_EQ(guitest::ReadAll(old + "\\QUILL.EXE"), "MZ quill");
            EXPECT_FALSE(guitest::Exists(moved));
            continue;
        }
        EXPECT_EQ(guitest::ReadAll(moved + "\\QUILL.EXE"), "MZ quill") << Joined(log);
        if (Contains(log, "***** No junction was left at " + old)) {
            EXPECT_EQ(atOld, INVALID_FILE_ATTRIBUTES) << "a file system without junctions: the move stands";
        } else {
            EXPECT_TRUE(Contains(log, "Left a junction at " + old + " that leads to " + moved + ".")) << Joined(log);
            ASSERT_NE(atOld, INVALID_FILE_ATTRIBUTES);
            EXPECT_TRUE(atOld & FILE_ATTRIBUTE_REPARSE_POINT);
            EXPECT_EQ(guitest::ReadAll(old + "\\QUILL.EXE"), "MZ quill") << "Old leads to New";
        }
    }
}

// A program running from Old holds the move up: the box names it, Retry
// looks again (and asks again while it still runs), and once it has ended
// the folder is moved and the reference follows.
TEST(EndToEnd, TheWizardAsksWhileAProgramRunsFromTheFolder) {
    const std::string old = "C:\\MVXWIZRUN_OLD", moved = "C:\\MVXWIZRUN_NEW";
    const std::string ini = guitest::WindowsDir() + "\\MVXWIZRUN.INI";
    guitest::RemoveTree(old);
    guitest::RemoveTree(moved);
    CreateDirectoryA(old.c_str(), nullptr);
    guitest::WriteFile(old + "\\QUILL.EXE", "MZ quill");
    guitest::WriteFile(ini, "[Quill]\r\nHome=C:\\MVXWIZRUN_OLD\\QUILL.EXE\r\n");
    struct Cleanup {
        std::string ini, old, moved;
        ~Cleanup() {
            DeleteFileA(ini.c_str());
            DeleteFileA((ini.substr(0, ini.size() - 3) + "BAK").c_str());
            guitest::RemoveTree(old);
            guitest::RemoveTree(moved);
        }
    } cleanup{ini, old, moved};
    guitest::Waiter waiter(old);
    ASSERT_TRUE(waiter.Running());

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(SearchForAMove(app, old, moved));
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.ClickAsync(IDC_BtnNext);
    const std::string named = "    WAITER.EXE (process id " + std::to_string(waiter.ProcessId()) + ")";
    for (int round = 0; round < 2; ++round) {
        HWND box = app.WaitWindow("#32770", "Move the folder", 20000);
        ASSERT_NE(box, nullptr) << "round " << round;
        const std::string text = guitest::WindowTextOf(GetDlgItem(box, 0xFFFF));
        EXPECT_NE(text.find(named), std::string::npos) << text;
        EXPECT_TRUE(guitest::Exists(old + "\\QUILL.EXE"));
        EXPECT_EQ(guitest::ReadAll(ini), "[Quill]\r\nHome=C:\\MVXWIZRUN_OLD\\QUILL.EXE\r\n");
        if (round == 1)
            waiter.End();
        PostMessageA(box, WM_COMMAND, IDRETRY, 0);
        ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(box); }, 10000));
    }
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 60000));
    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    EXPECT_FALSE(HasErrorLine(log)) << Joined(log);
    EXPECT_EQ(guitest::ReadAll(moved + "\\QUILL.EXE"), "MZ quill");
    EXPECT_FALSE(guitest::Exists(old));
    EXPECT_EQ(guitest::ReadAll(ini), "[Quill]\r\nHome=C:\\MVXWIZRUN_NEW\\QUILL.EXE\r\n");
}

