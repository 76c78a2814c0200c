// Address entry on page FromAndTo: the check on real files and folders, the
// lights, their message boxes and the two choosers.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

int VisibleLight(App& app) {
    int shown = 0, which = 0;
    for (int id : {IDC_btnInputOk, IDC_btnInputHmm, IDC_btnInputBad}) {
        if (app.Visible(id)) {
            ++shown;
            which = id;
        }
    }
    return shown == 1 ? which : -1;
}

// The text of the folder the chooser's tree has selected, read from the
// tree in the program's own memory.
std::string SelectedFolderText(HWND chooser, DWORD pid) {
    HWND tree = FindWindowExA(chooser, nullptr, "SysTreeView32", nullptr);
    for (HWND child = nullptr; !tree && (child = FindWindowExA(chooser, child, nullptr, nullptr)) != nullptr;)
        tree = FindWindowExA(child, nullptr, "SysTreeView32", nullptr);
    if (!tree)
        return "";
    const LRESULT item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    if (!item)
        return "";
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return "";
    std::string text;
    char* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    if (remote) {
        TVITEMA tv = {};
        tv.mask = TVIF_TEXT | TVIF_HANDLE;
        tv.hItem = reinterpret_cast<HTREEITEM>(item);
        tv.pszText = remote + sizeof tv;
        tv.cchTextMax = 1024;
        char buffer[1024] = {};
        if (WriteProcessMemory(process, remote, &tv, sizeof tv, nullptr) &&
            SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote)) &&
            ReadProcessMemory(process, remote + sizeof tv, buffer, sizeof buffer - 1, nullptr))
            text = buffer;
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}

// Opens the message box of the light in front, returns its text and closes it.
std::string LightMessage(App& app, const char* expectedCaption, bool* hasHelp = nullptr) {
    app.ClickAsync(VisibleLight(app));
    HWND box = app.WaitWindow("#32770", expectedCaption);
    if (!box)
        return "<no message box captioned " + std::string(expectedCaption) + ">";
    std::string text = guitest::WindowTextOf(GetDlgItem(box, 0xFFFF));
    if (hasHelp)
        *hasHelp = GetDlgItem(box, IDHELP) != nullptr && GetDlgItem(box, IDOK) != nullptr;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    guitest::WaitFor([&] { return !IsWindow(box); });
    return text;
}

}  // namespace

TEST(AddressEntry, ResultsOnRealFilesAndFolders) {
    App app;
    REQUIRE_APP(app);
    const std::string dir = guitest::ScratchDir("check");
    const std::string oldFile = dir + "\\OLD.EXE";
    const std::string newFile = dir + "\\NEW.EXE";
    const std::string newDir = dir + "\\NEWDIR";
    guitest::WriteFile(oldFile, "MZ");
    guitest::WriteFile(newFile, "MZ");
    CreateDirectoryA(newDir.c_str(), nullptr);
    const std::string gone = dir + "\\GONE";

    struct Case {
        std::string oldAddress, newAddress;
        int light;
        const char* caption;
        const char* message;
    };
    const Case cases[] = {
        {"C", "", IDC_btnInputHmm, "Information",
         "Note: Old address is shorter than 4 characters; that's awfully short!"},
        {"C:\\", newDir, IDC_btnInputHmm, "Information",
         "Note: Old address is shorter than 4 characters; that's awfully short!"},
        {gone, "", IDC_btnInputOk, "Information",
         "Old address is fine; blank New address means no replacement will occur."},
        {gone, "D:\\", IDC_btnInputHmm, "Information",
         "Note: New address is shorter than 4 characters; that's awfully short!"},
        {gone, dir + "\\ALSOGONE", IDC_btnInputHmm, "Information",
         "Note: Note: Neither the Old address nor the New address describes an existing file or folder."},
        {oldFile, newFile, IDC_btnInputHmm, "Information",
         "Note: Both the Old address and the New address describe an existing file."},
        {dir, newDir, IDC_btnInputHmm, "Information",
         "Note: Both the Old address and the New address describe an existing folder."},
        {oldFile, newDir, IDC_btnInputBad, "Warning",
         "Possible error:  The Old address describes an existing file, and the New address describes an existing "
         "folder."},
        {newDir, oldFile, IDC_btnInputBad, "Warning",
         "Possible error:  The New address describes an existing file, and the Old address describes an existing "
         "folder."},
        {gone + ".EXE", newDir.substr(0, 0) + dir + "\\NEW", IDC_btnInputHmm, "Information",
         "Note: Note: Neither the Old address nor the New address describes an existing file or folder."},
        {dir + "\\RUN", oldFile, IDC_btnInputBad, "Warning",
         "Possible error:  One of the addresses includes a file extension; the other does not."},
        {newDir, "\\\\SERVER\\SHARE\\APP", IDC_btnInputBad, "Warning",
         "Possible error:  One of the addresses starts with a drive letter; the other does not."},
        {gone + "\\", newDir, IDC_btnInputBad, "Warning",
         "Possible error:  One of the addresses ends with a backslash (\\); the other does not."},
        {gone + ".", newDir, IDC_btnInputBad, "Warning",
         "Possible error:  One of the addresses ends with a period (.); the other does not."},
        {gone, newDir, IDC_btnInputOk, "Information", "Old and New addresses appear to be fine."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("Old=" + c.oldAddress + " New=" + c.newAddress);
        app.SetText(IDC_EditNewAddress, c.newAddress);
        app.SetText(IDC_EditOldAddress, c.oldAddress);
        EXPECT_EQ(VisibleLight(app), c.light);
        EXPECT_TRUE(app.Enabled(IDC_BtnNext));
        bool hasHelp = false;
        EXPECT_EQ(LightMessage(app, c.caption, &hasHelp), c.message);
        EXPECT_TRUE(hasHelp) << "the box has OK and Help";
    }

    // Emptying the Old address: red, and Next disabled whatever New is.
    app.SetText(IDC_EditOldAddress, "");
    EXPECT_EQ(VisibleLight(app), IDC_btnInputBad);
    EXPECT_FALSE(app.Enabled(IDC_BtnNext));
    EXPECT_EQ(LightMessage(app, "Warning"), "Error: You must enter an Old address before continuing.");
    app.Screenshot("page00_FromAndTo_red");
}

TEST(AddressEntry, FolderChooserStartsAtTheFieldAndDropsTheTrailingBackslash) {
    App app;
    REQUIRE_APP(app);
    const std::string dir = guitest::ScratchDir("browse");
    const std::string sub = dir + "\\TOOLS";
    CreateDirectoryA(sub.c_str(), nullptr);
    app.SetText(IDC_EditOldAddress, sub + "\\");

    app.ClickAsync(IDC_btnBrowseDirFrom);
    HWND chooser = app.WaitWindow("#32770", "Select Directory", 10000);
    ASSERT_NE(chooser, nullptr);
    EXPECT_NE(FindWindowExA(chooser, nullptr, "BUTTON", "&Help"), nullptr);
    // The tree fills in and takes the selection after the dialog shows.
    app.Sync();
    EXPECT_TRUE(guitest::WaitFor([&] { return _stricmp(SelectedFolderText(chooser, app.Pid()).c_str(), "TOOLS") == 0; },
                                 20000))
        << "selected: " << SelectedFolderText(chooser, app.Pid());
    app.Screenshot("dialog_select_directory");
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(chooser); }));
    app.Sync();
    EXPECT_STRCASEEQ(app.Text(IDC_EditOldAddress).c_str(), sub.c_str());

    // Cancel changes nothing.
    app.SetText(IDC_EditNewAddress, "X:\\SOMEWHERE");
    app.ClickAsync(IDC_btnBrowseDirTo);
    chooser = app.WaitWindow("#32770", "Select Directory", 10000);
    ASSERT_NE(chooser, nullptr);
    PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(chooser); }));
    EXPECT_EQ(app.Text(IDC_EditNewAddress), "X:\\SOMEWHERE");

    // A drive root keeps its backslash.
    app.SetText(IDC_EditNewAddress, "C:\\");
    app.ClickAsync(IDC_btnBrowseDirTo);
    chooser = app.WaitWindow("#32770", "Select Directory", 10000);
    ASSERT_NE(chooser, nullptr);
    app.Sync();
    EXPECT_TRUE(guitest::WaitFor(
        [&] { return SelectedFolderText(chooser, app.Pid()).find("C:") != std::string::npos; }, 20000))
        << "selected: " << SelectedFolderText(chooser, app.Pid());
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(chooser); }));
    app.Sync();
    EXPECT_STRCASEEQ(app.Text(IDC_EditNewAddress).c_str(), "C:\\");
}

TEST(AddressEntry, FileDialogHasItsTitleAndFillsTheField) {
    App app;
    REQUIRE_APP(app);
    const std::string dir = guitest::ScratchDir("file");
    const std::string file = dir + "\\APP.EXE";
    guitest::WriteFile(file, "MZ");
    app.SetText(IDC_EditNewAddress, file);

    app.ClickAsync(IDC_btnBrowseFileTo);
    HWND dialog = app.WaitWindow("#32770", "Filename for New address", 10000);
    ASSERT_NE(dialog, nullptr);
    app.Screenshot("dialog_filename");
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(dialog); }));
    app.Sync();
    EXPECT_STRCASEEQ(app.Text(IDC_EditNewAddress).c_str(), file.c_str());

    app.ClickAsync(IDC_btnBrowseFileFrom);
    dialog = app.WaitWindow("#32770", "Filename for Old address", 10000);
    ASSERT_NE(dialog, nullptr);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(app.Text(IDC_EditOldAddress), "");

    // A field naming an existing folder: the dialog starts in that folder
    // with no name, so a bare name confirmed there is a file in it.
    app.SetText(IDC_EditOldAddress, dir);
    app.ClickAsync(IDC_btnBrowseFileFrom);
    dialog = app.WaitWindow("#32770", "Filename for Old address", 10000);
    ASSERT_NE(dialog, nullptr);
    HWND name = guitest::FileNameBox(dialog);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(guitest::WindowTextOf(name), "");
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("APP.EXE"));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(dialog); }));
    app.Sync();
    EXPECT_STRCASEEQ(app.Text(IDC_EditOldAddress).c_str(), file.c_str());
}

// The box that moves the folder for the user: offered only from an existing
// folder to a place that holds nothing; while it is checked, the check turns
// red when the move cannot be made, and unchecking it gives the plain check
// back.
TEST(AddressEntry, MoveTheFolderBoxAndItsCheck) {
    App app;
    REQUIRE_APP(app);
    EXPECT_FALSE(app.Enabled(IDC_cbMoveFolder)) << "not offered without an Old address";
    const std::string dir = guitest::ScratchDir("check_move");
    const std::string program = dir + "\\QUILL", emptyDir = dir + "\\EMPTY", full = dir + "\\FULL";
    CreateDirectoryA(program.c_str(), nullptr);
    CreateDirectoryA(emptyDir.c_str(), nullptr);
    CreateDirectoryA(full.c_str(), nullptr);
    guitest::WriteFile(full + "\\x.txt", "x");
    const struct {
        std::string oldAddress, newAddress;
        bool offered;
    } offers[] = {
        {program, dir + "\\NEW", true},
        {program, emptyDir, true},
        {program, full, false},
        {dir + "\\GONE", dir + "\\NEW", false},
    };
    for (const auto& c : offers) {
        app.SetText(IDC_EditOldAddress, c.oldAddress);
        app.SetText(IDC_EditNewAddress, c.newAddress);
        app.Sync();
        EXPECT_EQ(app.Enabled(IDC_cbMoveFolder), c.offered) << c.oldAddress << " -> " << c.newAddress;
    }
    app.SetText(IDC_EditOldAddress, program);
    app.SetText(IDC_EditNewAddress, dir + "\\NEW");
    app.SetChecked(IDC_cbMoveFolder, true);
    app.Sync();
    EXPECT_EQ(VisibleLight(app), IDC_btnInputOk);
    // New comes to hold a file: the box stays checked and the check is red.
    app.SetText(IDC_EditNewAddress, full);
    app.Sync();
    EXPECT_TRUE(app.Checked(IDC_cbMoveFolder));
    EXPECT_TRUE(app.Enabled(IDC_cbMoveFolder)) << "a checked box can always be unchecked";
    EXPECT_EQ(LightMessage(app, "Warning"),
              "Error: The folder cannot be moved there: the New address already holds files. Choose a New address "
              "that does not exist yet or is an empty folder.");
    app.SetText(IDC_EditOldAddress, dir + "\\GONE");
    app.SetText(IDC_EditNewAddress, dir + "\\NEW");
    app.Sync();
    EXPECT_EQ(LightMessage(app, "Warning"),
              "Error: The folder cannot be moved: the Old address is not an existing folder. Uncheck the box to move "
              "it yourself.");
    app.SetChecked(IDC_cbMoveFolder, false);
    app.Sync();
    EXPECT_EQ(VisibleLight(app), IDC_btnInputHmm) << "the plain check: neither address exists";
    EXPECT_FALSE(app.Enabled(IDC_cbMoveFolder));
    guitest::RemoveTree(dir);
}
