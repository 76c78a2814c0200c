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

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());  // the tests' texts are ASCII
}

std::string Narrow(const wchar_t* s) {
    std::string out;
    for (; *s; ++s)
        out += static_cast<char>(*s);
    return out;
}

struct Fields {
    std::string target, args, dir, icon;
    int iconIndex = 0;
    bool operator==(const Fields& o) const {
        return target == o.target && args == o.args && dir == o.dir && icon == o.icon && iconIndex == o.iconIndex;
    }
};

std::ostream& operator<<(std::ostream& os, const Fields& f) {
    return os << "{" << f.target << " | " << f.args << " | " << f.dir << " | " << f.icon << "," << f.iconIndex << "}";
}

bool MakeShortcut(const std::string& file, const Fields& f) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    link->SetPath(Wide(f.target).c_str());
    link->SetArguments(Wide(f.args).c_str());
    link->SetWorkingDirectory(Wide(f.dir).c_str());
    link->SetIconLocation(Wide(f.icon).c_str(), f.iconIndex);
    IPersistFile* persist = nullptr;
    bool saved = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        saved = SUCCEEDED(persist->Save(Wide(file).c_str(), TRUE));
        persist->Release();
    }
    link->Release();
    return saved;
}

Fields ReadShortcut(const std::string& file) {
    Fields f;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return f;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        if (SUCCEEDED(persist->Load(Wide(file).c_str(), STGM_READ))) {
            wchar_t buffer[1024] = {};
            link->GetPath(buffer, 1024, nullptr, SLGP_UNCPRIORITY);
            f.target = Narrow(buffer);
            buffer[0] = 0;
            link->GetArguments(buffer, 1024);
            f.args = Narrow(buffer);
            buffer[0] = 0;
            link->GetWorkingDirectory(buffer, 1024);
            f.dir = Narrow(buffer);
            buffer[0] = 0;
            link->GetIconLocation(buffer, 1024, &f.iconIndex);
            f.icon = Narrow(buffer);
        }
        persist->Release();
    }
    link->Release();
    return f;
}

std::string SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return Narrow(path);
}

}  // namespace

TEST(EndToEnd, ShortcutsSearchedReviewedReplacedAndLogged) {
    if (!guitest::HaveDisplay())
        GTEST_SKIP() << "no display: the window cannot open";
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    struct Uninit {
        ~Uninit() { CoUninitialize(); }
    } uninit;
    const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
    const std::string programs = SpecialFolder(CSIDL_PROGRAMS) + "\\MvxLnk E2E";
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
    ASSERT_TRUE(MakeShortcut(onDesktop, desktopBefore));
    ASSERT_TRUE(MakeShortcut(inMenu, menuBefore));

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

    EXPECT_EQ(ReadShortcut(onDesktop), (Fields{"D:\\Apps\\MvxLnk\\EDIT.EXE", "/new", "D:\\Apps\\MvxLnk\\DOCS",
                                               "C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL", 12}));
    EXPECT_EQ(ReadShortcut(inMenu),
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
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[2], "Old address: C:\\MVXLNK_E2E");
    EXPECT_EQ(log[3], "New address: D:\\Apps\\MvxLnk");
    EXPECT_EQ(std::vector<std::string>(log.begin() + 4, log.end()), expected);
    app.Screenshot("e2e_shortcuts_log");
}
