// Path boundaries through the real window: the search lists the Old
// address's own folder and not a neighbour whose name only begins with it,
// and a row where the Old address runs on after a blank (maybe a longer
// folder name) says why when its help is asked for.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

class PlantedIni {
  public:
    explicit PlantedIni(const std::string& name) : path_(guitest::WindowsDir() + "\\" + name) {
        guitest::WriteFile(path_,
                           "[Paths]\r\n"
                           "Home=C:\\MVXBND TOOLS\\a.exe\r\n"
                           "Second=C:\\MVXBND TOOLS 2\\b.exe\r\n"
                           "Neighbour=C:\\MVXBND TOOLSET\\c.exe\r\n");
    }
    ~PlantedIni() {
        DeleteFileA(path_.c_str());
        DeleteFileA((path_.substr(0, path_.size() - 4) + ".BAK").c_str());
    }

  private:
    std::string path_;
};

// A row's bounds in the list's client coordinates, read across processes.
RECT RowRect(App& app, int row) {
    RECT rc{LVIR_BOUNDS, 0, 0, 0};
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, app.Pid());
    if (!process)
        return rc;
    void* remote = VirtualAllocEx(process, nullptr, sizeof rc, MEM_COMMIT, PAGE_READWRITE);
    if (remote && WriteProcessMemory(process, remote, &rc, sizeof rc, nullptr) &&
        SendMessageA(app.Control(IDC_lvFound), LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(remote)))
        ReadProcessMemory(process, remote, &rc, sizeof rc, nullptr);
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return rc;
}

// The help popup of a row: a click on the row, then "What's This" of the
// list's menu.
std::string RowPopupText(App& app, int row) {
    HWND list = app.Control(IDC_lvFound);
    const RECT rc = RowRect(app, row);
    const LPARAM at = MAKELPARAM(30, (rc.top + rc.bottom) / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
    app.Sync();
    PostMessageA(app.Main(), WM_COMMAND, IDM_WhatsThis2, 0);
    app.Sync();
    HWND popup = nullptr;
    if (!guitest::WaitFor([&] { return (popup = FindWindowA("MovixHelpPopup", nullptr)) && IsWindowVisible(popup); }))
        return "<no popup>";
    const std::string text = guitest::WindowTextOf(popup);
    PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    guitest::WaitFor([&] { return !IsWindowVisible(popup); }, 2000);
    return text;
}

}  // namespace

TEST(BoundaryFlow, NeighbourFolderIsNotFoundAndLongerNameRowExplainsItself) {
    PlantedIni ini("MVXBND.INI");
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXBND TOOLS", "D:\\MVXBND NEW"));
    EXPECT_EQ(app.Text(IDC_lblFoundINI), "2 matches in INI files");
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 2);
    EXPECT_EQ(app.ListViewText(IDC_lvFound, 0, 4), "[Paths]Home=C:\\MVXBND TOOLS\\a.exe");
    EXPECT_EQ(app.ListViewText(IDC_lvFound, 1, 4), "[Paths]Second=C:\\MVXBND TOOLS 2\\b.exe");
    // Both are hits marked Y; the second carries the flag.
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, 0), 0);
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, 1), 0);
    app.Screenshot("boundary_SearchResults");

    const RECT first = RowRect(app, 0), second = RowRect(app, 1);
    ASSERT_GT(second.top, first.top);
    const std::string flagged = RowPopupText(app, 1);
    EXPECT_NE(flagged.find("longer folder"), std::string::npos) << flagged;
    const std::string plain = RowPopupText(app, 0);
    EXPECT_EQ(plain.find("longer folder"), std::string::npos) << plain;
    EXPECT_NE(plain.find("INI file"), std::string::npos) << plain;
}
