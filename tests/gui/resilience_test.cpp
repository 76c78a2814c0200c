// The run survives the user and the faults, through the real window: a
// close during the replacement waits for the file in hand and leaves the log,
// an error of one Registry group does not end the run, what the search could
// not read is counted and logged, and the window answers while help starts
// and while a thousand files are rewritten.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int CountStarting(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

double NowMs() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// The slowest of the window's answers to an empty message while `until`
// does not hold (at most `limitMs` in all).
double SlowestAnswer(HWND window, const std::function<bool()>& until, int limitMs) {
    double slowest = 0;
    const double end = NowMs() + limitMs;
    while (NowMs() < end && !until()) {
        const double start = NowMs();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result))
            return 1e9;
        slowest = std::max(slowest, NowMs() - start);
        Sleep(5);
    }
    return slowest;
}

// A thousand INI files below the Windows folder, one hit each.
struct ManyIniFiles {
    std::string folder;
    static constexpr int kCount = 1000;
    explicit ManyIniFiles(const std::string& tag) {
        folder = guitest::WindowsDir() + "\\mvxmany_" + tag + "_" + std::to_string(GetCurrentProcessId());
        guitest::RemoveTree(folder);
        CreateDirectoryA(folder.c_str(), nullptr);
        for (int i = 0; i < kCount; ++i)
            guitest::WriteFile(Name(i, ".INI"), Content());
    }
    ~ManyIniFiles() { guitest::RemoveTree(folder); }
    std::string Name(int i, const char* extension) const {
        char name[32];
        std::snprintf(name, sizeof name, "\\F%04d", i);
        return folder + name + extension;
    }
    static std::string Content() { return "[Run]\r\nPath=C:\\MVXOLD_MANY\\APP.EXE\r\n"; }
};

// Runs a search and the replacement; returns once the replacement started.
void StartReplacement(App& app,
                      const std::string& oldAddress,
                      const std::string& newAddress,
                      int iniItem,
                      int registryItem) {
    ASSERT_TRUE(app.SearchWith(iniItem, registryItem, oldAddress, newAddress, 180000));
    app.Click(IDC_BtnNext);  // Searched
    app.Click(IDC_BtnNext);  // FinalPage
    ASSERT_EQ(app.Page(), 8);
    app.ClickAsync(IDC_BtnNext);  // the replacement
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() >= 9; }, 10000));
}

}  // namespace

// A close from the title bar, Alt+F4, the system menu or another program
// (WM_CLOSE), or Windows ending the session (WM_QUERYENDSESSION), while a
// thousand files are rewritten: the window stays, the file in hand is
// finished, the rest is left as it was and named in the log, the last page
// shows the log with Close enabled. The window answers throughout.
TEST(Resilience, CloseDuringTheReplacementStopsAtAGroupAndKeepsTheLog) {
    struct Case {
        const char* tag;
        UINT message;
        WPARAM wParam;
    };
    for (const Case& c : {Case{"close", WM_CLOSE, 0}, Case{"sysclose", WM_SYSCOMMAND, SC_CLOSE},
                          Case{"session", WM_QUERYENDSESSION, 0}}) {
        SCOPED_TRACE(c.tag);
        ManyIniFiles files(c.tag);
        App app;
        REQUIRE_APP(app);
        StartReplacement(app, "C:\\MVXOLD_MANY", "D:\\MVXNEW_MANY", 3, 0);
        // The window answers while files are rewritten; then, once some are
        // done, it is asked to close.
        const double slowest = SlowestAnswer(
            app.Main(), [&] { return guitest::Exists(files.Name(20, ".BAK")); }, 60000);
        EXPECT_LT(slowest, 100.0) << "ms for a message round trip during the replacement";
        if (c.message == WM_QUERYENDSESSION) {
            DWORD_PTR answer = 1;
            ASSERT_TRUE(SendMessageTimeoutA(app.Main(), c.message, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &answer));
            EXPECT_EQ(answer, 0u) << "the session may not end while files are written";
        } else {
            PostMessageA(app.Main(), c.message, c.wParam, 0);
        }
        ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(app.Main()) || app.Page() == 10; }, 120000));
        ASSERT_TRUE(IsWindow(app.Main())) << "the window went away during the replacement";
        EXPECT_TRUE(app.Enabled(IDC_BtnCancel));
        EXPECT_EQ(app.Text(IDC_BtnCancel), "Close");
        EXPECT_TRUE(app.Enabled(IDC_btnSaveLog));

        // Each file is either rewritten whole with its backup, or untouched.
        int done = 0;
        for (int i = 0; i < ManyIniFiles::kCount; ++i) {
            const std::string text = guitest::ReadAll(files.Name(i, ".INI"));
            if (guitest::Exists(files.Name(i, ".BAK"))) {
                ++done;
                EXPECT_EQ(text, "[Run]\r\nPath=D:\\MVXNEW_MANY\\APP.EXE\r\n") << i;
                EXPECT_EQ(guitest::ReadAll(files.Name(i, ".BAK")), ManyIniFiles::Content()) << i;
            } else {
                EXPECT_EQ(text, ManyIniFiles::Content()) << i;
            }
        }
        EXPECT_GT(done, 20);
        EXPECT_LT(done, ManyIniFiles::kCount);

        const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
        EXPECT_EQ(CountStarting(log, "Successfully updated "), done);
        EXPECT_TRUE(Contains(log, "***** The run was stopped because the window was asked to close."));
        EXPECT_TRUE(Contains(log, "***** Not done (" + std::to_string(ManyIniFiles::kCount - done) + "):"));
        EXPECT_EQ(CountStarting(log, "*****   INI file " + files.folder + "\\F"), ManyIniFiles::kCount - done);
        EXPECT_TRUE(Contains(log, "*****   INI file " + files.Name(ManyIniFiles::kCount - 1, ".INI")));

        // Close now ends the program.
        app.ClickAsync(IDC_BtnCancel);
        EXPECT_TRUE(app.WaitExit(20000));
    }
}

// A Registry key that cannot be moved (its parent is volatile, and the new
// key would not be) raises an error in the middle of the Registry pass: it is
// logged, the groups after it are still done, and the run ends on the last
// page with Close and Save Log.
TEST(Resilience, AnErrorInOneRegistryGroupIsLoggedAndTheRunGoesOn) {
    const std::string tag = std::to_string(GetCurrentProcessId());
    const std::string oldAddress = "MVXOLDKEY" + tag;
    const std::string newAddress = "MVXNEWKEY" + tag;
    struct Cleanup {
        ~Cleanup() {
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MvxFaultA");
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MvxFaultB");
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MvxFaultC");
        }
    } cleanup;
    // Groups are rewritten from the last to the first: C, then B (fails),
    // then A.
    HKEY key = nullptr;
    const std::string data = "x " + oldAddress + " y";
    for (const char* path : {"Software\\MvxFaultA", "Software\\MvxFaultC"}) {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Where", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
        RegCloseKey(key);
    }
    const std::string sub = "Software\\MvxFaultB\\" + oldAddress;
    for (const std::string& path : {std::string("Software\\MvxFaultB"), sub}) {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    App app;
    REQUIRE_APP(app);
    StartReplacement(app, oldAddress, newAddress, 0, 1);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 60000)) << "the run did not reach its end";
    EXPECT_TRUE(app.Enabled(IDC_BtnCancel));
    EXPECT_TRUE(app.Enabled(IDC_btnSaveLog));

    const std::string expected = "x " + newAddress + " y";
    for (const char* path : {"Software\\MvxFaultA", "Software\\MvxFaultC"}) {
        char text[1024] = {};
        DWORD size = sizeof text;
        EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, path, "Where", RRF_RT_REG_SZ, nullptr, text, &size), ERROR_SUCCESS);
        EXPECT_EQ(text, expected) << path;
    }
    // The key that failed is still there, under its old name.
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    std::string all;
    for (const std::string& line : log)
        all += line + "\n";
    EXPECT_EQ(CountStarting(log, "Updating Registry"), 1) << all;
    EXPECT_TRUE(Contains(log, "***** Registry key HKCU\\Software\\MvxFaultB: Failed to create key " + newAddress))
        << all;
}

// A folder that cannot be opened and a key that cannot be read: counted on
// the results page next to the match counts, and named in the run's log.
TEST(Resilience, WhatTheSearchCouldNotReadIsCountedAndLogged) {
    const std::string tag = std::to_string(GetCurrentProcessId());
    const std::string oldAddress = "C:\\MVXOLD_UNREAD" + tag;
    const std::string ini = guitest::WindowsDir() + "\\MVXUNR" + tag + ".INI";
    const std::string lockedFolder = guitest::WindowsDir() + "\\mvxlocked_" + tag;
    const std::string lockedKey = "Software\\MvxLocked" + tag;
    const std::string lockedIni = guitest::WindowsDir() + "\\MVXLCK" + tag + ".INI";
    guitest::WriteFile(lockedIni, "Path=" + oldAddress + "\r\n");
    guitest::WriteFile(ini, "[Run]\r\nPath=" + oldAddress + "\\A.EXE\r\n");
    CreateDirectoryA(lockedFolder.c_str(), nullptr);
    guitest::WriteFile(lockedFolder + "\\HIDDEN.INI", "Path=" + oldAddress + "\r\n");
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, lockedKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    SECURITY_DESCRIPTOR deny;
    InitializeSecurityDescriptor(&deny, SECURITY_DESCRIPTOR_REVISION);
    ACL empty;
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    SetSecurityDescriptorDacl(&deny, TRUE, &empty, FALSE);
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &deny), ERROR_SUCCESS);
    RegCloseKey(key);
    // The folder and a file are held open with no sharing while the search
    // runs.
    HANDLE lock =
        CreateFileA(lockedFolder.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    HANDLE fileLock = CreateFileA(lockedIni.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    struct Cleanup {
        std::string ini, folder, key, lockedIni;
        HANDLE lock, fileLock;
        ~Cleanup() {
            if (lock != INVALID_HANDLE_VALUE)
                CloseHandle(lock);
            if (fileLock != INVALID_HANDLE_VALUE)
                CloseHandle(fileLock);
            DeleteFileA(lockedIni.c_str());
            HKEY k = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, WRITE_DAC, &k) == ERROR_SUCCESS) {
                SECURITY_DESCRIPTOR open;
                InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
                SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
                RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, &open);
                RegCloseKey(k);
            }
            RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
            guitest::RemoveTree(folder);
            DeleteFileA(ini.c_str());
            DeleteFileA((ini.substr(0, ini.size() - 4) + ".BAK").c_str());
        }
    } cleanup{ini, lockedFolder, lockedKey, lockedIni, lock, fileLock};
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    ASSERT_NE(fileLock, INVALID_HANDLE_VALUE);

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(3, 1, oldAddress, "D:\\MVXNEW", 180000));
    EXPECT_EQ(app.Text(IDC_lblFoundINI), "1 match in INI files");
    ASSERT_TRUE(app.Visible(IDC_lblSearchNotes));
    const std::string notes = app.Text(IDC_lblSearchNotes);
    EXPECT_NE(notes.find("INI files: 1 folder, 1 file could not be read."), std::string::npos) << notes;
    EXPECT_NE(notes.find("Registry: 1 key could not be read."), std::string::npos) << notes;
    app.Screenshot("search_results_unreadable");

    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.ClickAsync(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 60000));
    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    EXPECT_TRUE(Contains(log, "***** In the search of INI files, 1 folder, 1 file could not be read:"));
    EXPECT_TRUE(Contains(log, "*****   folder " + lockedFolder));
    EXPECT_TRUE(Contains(log, "*****   file " + lockedIni));
    EXPECT_TRUE(Contains(log, "***** In the search of the Registry, 1 key could not be read:"));
    EXPECT_TRUE(Contains(log, "*****   key HKCU\\" + lockedKey));
}

// Help asked for while no viewer runs: the viewer starts while the window
// goes on answering.
TEST(Resilience, TheWindowAnswersWhileHelpStarts) {
    App app;
    REQUIRE_APP(app);
    ASSERT_EQ(FindWindowA("MovixHelpWindow", nullptr), nullptr) << "a help viewer is running already";
    ASSERT_TRUE(guitest::WaitFor([] { return FindWindowExA(nullptr, nullptr, "MovixHelpServer", nullptr) == nullptr; },
                                 10000))
        << "an earlier help viewer has not quit";
    // The click itself returns without waiting for the viewer: starting a
    // process under Wine takes far longer than handing the request over, so
    // a click that waited would find the viewer's window already there.
    const double start = NowMs();
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(app.Control(IDC_BtnHelp), BM_CLICK, 0, 0, SMTO_NORMAL, 30000, &result));
    const double clickMs = NowMs() - start;
    EXPECT_EQ(FindWindowExA(nullptr, nullptr, "MovixHelpServer", nullptr), nullptr)
        << "the click returned only once the viewer was up (" << clickMs << " ms)";
    const double slowest = SlowestAnswer(
        app.Main(), [] { return FindWindowA("MovixHelpWindow", nullptr) != nullptr; }, 20000);
    EXPECT_LT(slowest, 100.0) << "ms for a message round trip while help starts";
    EXPECT_TRUE(guitest::WaitFor([] { return FindWindowA("MovixHelpWindow", nullptr) != nullptr; }, 20000));
    PostMessageA(app.Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.WaitExit(20000));
    EXPECT_TRUE(guitest::WaitFor([] { return FindWindowA("MovixHelpWindow", nullptr) == nullptr; }, 10000))
        << "the viewer quits with the program";
}

// "All INI files in all folders" under Wine: the drive of the Unix root
// holds every other drive and the host's whole file system; it is left out,
// the search ends, and the results page says so.
TEST(Resilience, AllFoldersUnderWineLeavesOutTheUnixRootAndSaysSo) {
    App app;
    REQUIRE_APP(app);
    char unixRoot[MAX_PATH] = {};
    if (!GetVolumePathNameA("Z:\\", unixRoot, MAX_PATH) || GetDriveTypeA("Z:\\") != DRIVE_FIXED)
        GTEST_SKIP() << "no drive Z: here";
    ASSERT_TRUE(app.SearchWith(4, 0, "C:\\MVX_NOWHERE_" + std::to_string(GetCurrentProcessId()), "D:\\X", 300000))
        << "the search of all folders did not end";
    EXPECT_EQ(app.Text(IDC_lblFoundINI), "0 matches in INI files");
    ASSERT_TRUE(app.Visible(IDC_lblSearchNotes));
    EXPECT_NE(app.Text(IDC_lblSearchNotes).find("Drive Z:, the whole Unix file system, was not searched."),
              std::string::npos)
        << app.Text(IDC_lblSearchNotes);
}
