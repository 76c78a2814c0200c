// The window's layout at 96, 120, 144 and 192 dots per inch (Wine's
// LogPixels): the window, its fonts and the found list's images scale, no
// explanatory text is cut or runs into what follows it, and every page is
// saved as a screenshot per DPI.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

// Wine takes the DPI of a program from LogPixels when the program starts.
class LogPixels {
  public:
    explicit LogPixels(DWORD dpi) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        DWORD size = sizeof old_, type = 0;
        had_ =
            RegQueryValueExA(key, "LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old_), &size) == ERROR_SUCCESS;
        RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        RegCloseKey(key);
    }
    ~LogPixels() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            return;
        if (had_)
            RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        else
            RegDeleteValueA(key, "LogPixels");
        RegCloseKey(key);
    }

  private:
    DWORD old_ = 96;
    bool had_ = false;
};

class PlantedIni {
  public:
    PlantedIni(const std::string& folder, const std::string& name) : folder_(folder), path_(folder + "\\" + name) {
        CreateDirectoryA(folder_.c_str(), nullptr);
        guitest::WriteFile(path_,
                           "[Paths]\r\n"
                           "Home=C:\\MVXLAYOUT\\bin\r\n"
                           "Docs=C:\\MVXLAYOUT\\documents and settings of the program\\letters\r\n");
    }
    ~PlantedIni() {
        DeleteFileA(path_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }

  private:
    std::string folder_, path_;
};

struct Found {
    std::string prefix;
    HWND hwnd;
};

BOOL CALLBACK FindByText(HWND hwnd, LPARAM lParam) {
    Found* found = reinterpret_cast<Found*>(lParam);
    if (guitest::WindowTextOf(hwnd).compare(0, found->prefix.size(), found->prefix) == 0) {
        found->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND Label(App& app, const std::string& prefix) {
    Found found = {prefix, nullptr};
    EnumChildWindows(app.Main(), FindByText, reinterpret_cast<LPARAM>(&found));
    return found.hwnd;
}

// The height a label's text needs in the program's font (Arial 13 pixels at
// 96 DPI) at the label's width, measured here at the same DPI.
int NeededHeight(HWND label, int dpi, bool bold) {
    HFONT font =
        CreateFontA(-MulDiv(13, dpi, 96), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial");
    RECT r;
    GetClientRect(label, &r);
    const std::string text = guitest::WindowTextOf(label);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT need = {0, 0, r.right, 0};
    DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return need.bottom;
}

void ExpectWholeText(App& app, const std::string& prefix, int dpi, bool bold = false) {
    HWND label = Label(app, prefix);
    ASSERT_NE(label, nullptr) << prefix;
    RECT r;
    GetClientRect(label, &r);
    EXPECT_GE(r.bottom, NeededHeight(label, dpi, bold)) << "cut at " << dpi << " DPI: " << prefix;
    // And nothing of its parent's lies over it or cuts it off.
    RECT inParent = r, parent;
    MapWindowPoints(label, GetParent(label), reinterpret_cast<POINT*>(&inParent), 2);
    GetClientRect(GetParent(label), &parent);
    EXPECT_LE(inParent.bottom, parent.bottom) << "runs out of its page at " << dpi << " DPI: " << prefix;
}

// The side of the found list's Y/N images.
int ImageSide(App& app) {
    HIMAGELIST images =
        reinterpret_cast<HIMAGELIST>(SendMessageA(app.Control(IDC_lvFound), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    (void)images;  // a handle of the other process: its row height tells instead
    RECT row = app.ListViewItemRect(IDC_lvFound, 0, LVIR_ICON);
    return row.right - row.left;
}

std::string Shot(int dpi, int page, const char* name) {
    char buffer[64];
    wsprintfA(buffer, "dpi%d_page%02d_%s", dpi, page, name);
    return buffer;
}

void EveryPageAt(int dpi) {
    LogPixels setting(static_cast<DWORD>(dpi));
    PlantedIni ini(guitest::WindowsDir(), "MVXLAYOUT.INI");
    App app;
    REQUIRE_APP(app);

    // The design size at the DPI, as far as the screen holds it; and all of
    // the window on the screen.
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const SIZE size = app.OuterSize();
    EXPECT_NEAR(size.cx, std::min(MulDiv(540, dpi, 96), static_cast<int>(work.right - work.left)), 2)
        << "the window does not scale at " << dpi << " DPI";
    // Taller only where a label needs more lines than at 96 DPI.
    EXPECT_GE(size.cy, std::min(MulDiv(312, dpi, 96), static_cast<int>(work.bottom - work.top)) - 2);
    EXPECT_LE(size.cy, std::min(MulDiv(312 + 40, dpi, 96), static_cast<int>(work.bottom - work.top)));
    RECT window;
    GetWindowRect(app.Main(), &window);
    EXPECT_TRUE(window.left >= work.left && window.top >= work.top && window.right <= work.right &&
                window.bottom <= work.bottom)
        << "the window runs off the screen at " << dpi << " DPI";
    // The Y/N images grow with the DPI too.
    EXPECT_GE(ImageSide(app), MulDiv(16, dpi, 96));

    app.SetChecked(IDC_cbShowAll, true);
    app.SetText(IDC_EditOldAddress, "C:\\MVXLAYOUT");
    app.SetText(IDC_EditNewAddress, "C:\\MVXLAYOUT_NEW");
    ExpectWholeText(app, "Movix 32 will update", dpi);
    ExpectWholeText(app, "Enter the full path", dpi);
    app.Screenshot(Shot(dpi, 0, "FromAndTo"));
    const char* const names[] = {"",        "IniFiles", "Groups", "Shortcuts", "RegistryKeys", "IgnoreKeys",
                                 "Confirm", "",         "",       "",          "",             "ConfigFiles",
                                 "ServicesTasks"};
    // In the order Next shows them.
    for (int page : {1, 2, 3, 4, 5, 11, 12, 6}) {
        app.Click(IDC_BtnNext);
        EXPECT_EQ(app.Page(), page);
        if (page == 1)
            app.Click(IDC_rgIniFiles + 1 + 2);  // the Windows folder
        if (page == 3)
            app.Click(IDC_rgShortcuts + 1 + 0);
        if (page == 4)
            app.Click(IDC_rgRegistry + 1 + 0);
        if (page == 11) {
            ExpectWholeText(app, "Programs of today", dpi);
            app.Click(IDC_rgConfigs + 1 + 0);
        }
        if (page == 12) {
            app.Click(IDC_rgServices + 1 + 0);
            app.Click(IDC_rgTasks + 1 + 0);
        }
        app.Screenshot(Shot(dpi, page, names[page]));
    }
    ExpectWholeText(app, "You have chosen", dpi);
    ExpectWholeText(app, "Note that once", dpi, true);
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.SubPage() == 1; }, 60000));
    ASSERT_GE(app.ListViewCount(IDC_lvFound), 2);
    ExpectWholeText(app, "To change Y to N", dpi);
    // Every kind's count, whole on its line.
    for (const char* count : {"No Groups searched", "No Shortcuts searched", "No Registry entries searched",
                              "No configuration files searched", "No services searched", "No scheduled tasks searched"})
        ExpectWholeText(app, count, dpi);
    app.Screenshot(Shot(dpi, 7, "SearchResults"));
    app.Click(IDC_BtnNext);
    ExpectWholeText(app, "Press the Save List", dpi);
    RECT list = app.RectInParent(IDC_lvFound), sub = app.RectInParent(IDC_NotebookSub);
    EXPECT_GE(list.top, sub.bottom) << "the list lies over the sub-page's text";
    app.Screenshot(Shot(dpi, 7, "Searched"));
    app.Click(IDC_BtnNext);
    ExpectWholeText(app, "If the New address", dpi);
    app.Screenshot(Shot(dpi, 8, "FinalPage"));
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 60000));
    ExpectWholeText(app, "Movix 32 has finished", dpi);
    // The log shows whole lines only.
    HWND log = app.Control(IDC_lbReport);
    RECT client;
    GetClientRect(log, &client);
    const int line = static_cast<int>(SendMessageA(log, LB_GETITEMHEIGHT, 0, 0));
    ASSERT_GT(line, 0);
    EXPECT_EQ(client.bottom % line, 0) << "a log line is cut at " << dpi << " DPI";
    app.Screenshot(Shot(dpi, 10, "FinalFinal"));
}

// Every label with text on every page and sub-page, against the control
// below it: the label's text, measured in the label's font at its width,
// must end before that control begins (or before its page ends).
void NoLabelRunsIntoTheNextAt(int dpi) {
    LogPixels setting(static_cast<DWORD>(dpi));
    App app;
    REQUIRE_APP(app);
    std::vector<HWND> containers;
    for (int p = 0; p < 13; ++p)
        containers.push_back(app.Control(IDC_PageBase + p));
    for (int p = 0; p < 3; ++p)
        containers.push_back(app.Control(IDC_SubPageBase + p));
    int checked = 0;
    for (HWND container : containers) {
        ASSERT_NE(container, nullptr);
        std::vector<std::pair<HWND, RECT>> children;
        for (HWND c = GetWindow(container, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            RECT r;
            GetWindowRect(c, &r);
            MapWindowPoints(nullptr, container, reinterpret_cast<POINT*>(&r), 2);
            children.push_back({c, r});
        }
        RECT page;
        GetClientRect(container, &page);
        for (const auto& label : children) {
            char cls[16] = {};
            GetClassNameA(label.first, cls, sizeof cls);
            const LONG style = GetWindowLongA(label.first, GWL_STYLE);
            const LONG kind = style & SS_TYPEMASK;
            const std::string text = guitest::WindowTextOf(label.first);
            if (lstrcmpiA(cls, "Static") != 0 || text.empty() || (kind != SS_LEFT && kind != SS_RIGHT))
                continue;
            // The control right below: the nearest that starts lower down.
            int limit = page.bottom;
            for (const auto& other : children)
                if (other.second.top > label.second.top && other.second.top < limit)
                    limit = other.second.top;
            // Bold: the headings, and the warning on the summary page.
            const int id = GetDlgCtrlID(label.first);
            const bool isBold = (id >= IDC_HeadingBase && id < IDC_HeadingBase + 13) ||
                                (id >= IDC_SubHeadingBase && id < IDC_SubHeadingBase + 3) ||
                                text.rfind("Note that once", 0) == 0;
            HFONT font = CreateFontA(-MulDiv(13, dpi, 96), 0, 0, 0, isBold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, "Arial");
            HDC dc = GetDC(nullptr);
            HGDIOBJ old = SelectObject(dc, font);
            RECT need = {0, 0, label.second.right - label.second.left, 0};
            DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            SelectObject(dc, old);
            ReleaseDC(nullptr, dc);
            DeleteObject(font);
            EXPECT_LE(need.bottom, limit - label.second.top)
                << "at " << dpi << " DPI, on " << guitest::WindowTextOf(container) << ": \"" << text
                << "\" needs " << need.bottom << " pixels and has " << limit - label.second.top << " (width "
                << need.right << " of " << label.second.right - label.second.left << ", height "
                << label.second.bottom - label.second.top << ")";
            ++checked;
        }
    }
    EXPECT_GE(checked, 20) << "the labels were not found";
    app.Screenshot("labels_dpi" + std::to_string(dpi) + "_page00");
}

struct Captions {
    int dpi;
    int checked = 0;
    std::vector<std::string> cut;
};

// A check box's or radio button's caption, one line in the program's font
// beside its box, within the control's width.
BOOL CALLBACK CheckCaption(HWND hwnd, LPARAM lParam) {
    Captions* captions = reinterpret_cast<Captions*>(lParam);
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    const LONG type = GetWindowLongA(hwnd, GWL_STYLE) & BS_TYPEMASK;
    if (lstrcmpiA(cls, "Button") != 0 || (type != BS_CHECKBOX && type != BS_AUTOCHECKBOX &&
                                          type != BS_RADIOBUTTON && type != BS_AUTORADIOBUTTON))
        return TRUE;
    const std::string text = guitest::WindowTextOf(hwnd);
    if (text.empty())
        return TRUE;
    const int dpi = captions->dpi;
    HFONT font = CreateFontA(-MulDiv(13, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             "Arial");
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT need = {0, 0, 0, 0};
    DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    // The box (12 pixels and a frame at 96 DPI) and the gap before the text.
    const int box = MulDiv(16, dpi, 96);
    RECT client;
    GetClientRect(hwnd, &client);
    if (box + need.right > client.right)
        captions->cut.push_back("\"" + text + "\" needs " + std::to_string(box + need.right) + " pixels and has " +
                                std::to_string(client.right));
    ++captions->checked;
    return TRUE;
}

void EveryCaptionWholeAt(int dpi) {
    LogPixels setting(static_cast<DWORD>(dpi));
    App app;
    REQUIRE_APP(app);
    Captions captions;
    captions.dpi = dpi;
    EnumChildWindows(app.Main(), CheckCaption, reinterpret_cast<LPARAM>(&captions));
    EXPECT_GE(captions.checked, 30) << "the check boxes and radio buttons were not found";
    for (const std::string& cut : captions.cut)
        ADD_FAILURE() << "cut at " << dpi << " DPI: " << cut;
    app.Screenshot("captions_dpi" + std::to_string(dpi) + "_page00");
}

}  // namespace

TEST(LayoutDpi, NoLabelRunsIntoTheControlBelowIt) {
    for (int dpi : {96, 120, 144, 192})
        NoLabelRunsIntoTheNextAt(dpi);
}

TEST(LayoutDpi, EveryCheckBoxAndRadioCaptionIsWhole) {
    for (int dpi : {96, 144, 192})
        EveryCaptionWholeAt(dpi);
}

TEST(LayoutDpi, EveryPageAt96Dpi) {
    EveryPageAt(96);
}

TEST(LayoutDpi, EveryPageAt144Dpi) {
    EveryPageAt(144);
}

TEST(LayoutDpi, EveryPageAt192Dpi) {
    EveryPageAt(192);
}

// Moved to a screen of another DPI while it runs (as Windows tells it with
// WM_DPICHANGED and the place it suggests), the window scales as it would
// have when started there, on the page the user is on.
TEST(LayoutDpi, DpiChangeWhileRunningScalesTheWindowAndItsParts) {
    PlantedIni ini(guitest::WindowsDir(), "MVXLAYOUT.INI");
    App app;
    REQUIRE_APP(app);
    app.SetText(IDC_EditOldAddress, "C:\\MVXLAYOUT");
    app.SetText(IDC_EditNewAddress, "C:\\MVXLAYOUT_NEW");
    RECT before;
    GetWindowRect(app.Main(), &before);
    const int nextWidthBefore = app.RectInParent(IDC_BtnNext).right - app.RectInParent(IDC_BtnNext).left;
    const int imageBefore = ImageSide(app);

    // The suggested place lives in the program's memory, as Windows would
    // hand it over.
    const int dpi = 144;
    const RECT suggested = {before.left, before.top, before.left + MulDiv(before.right - before.left, dpi, 96),
                            before.top + MulDiv(before.bottom - before.top, dpi, 96)};
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, app.Pid());
    ASSERT_NE(process, nullptr);
    void* remote = VirtualAllocEx(process, nullptr, sizeof suggested, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    ASSERT_TRUE(WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr));
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(app.Main(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote),
                                    SMTO_ABORTIFHUNG, 10000, &result));
    app.Sync();
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);

    RECT after;
    GetWindowRect(app.Main(), &after);
    EXPECT_EQ(after.right - after.left, suggested.right - suggested.left);
    // Taller only where a label needs more lines at the new DPI.
    EXPECT_GE(after.bottom - after.top, suggested.bottom - suggested.top);
    EXPECT_LE(after.bottom - after.top, suggested.bottom - suggested.top + MulDiv(40, dpi, 96));
    const int nextWidth = app.RectInParent(IDC_BtnNext).right - app.RectInParent(IDC_BtnNext).left;
    EXPECT_NEAR(nextWidth, MulDiv(nextWidthBefore, dpi, 96), 2) << "the buttons keep their size in pixels";
    EXPECT_GE(ImageSide(app), MulDiv(imageBefore, dpi, 96)) << "the Y/N images keep their size in pixels";
    ExpectWholeText(app, "Movix 32 will update", dpi);
    ExpectWholeText(app, "Enter the full path", dpi);
    app.Screenshot("dpichange_144_page00_FromAndTo");
    // The pages after it are laid out at the new DPI too.
    app.SetChecked(IDC_cbShowAll, true);
    for (int page = 1; page <= 6; ++page)
        app.Click(IDC_BtnNext);
    ExpectWholeText(app, "You have chosen", dpi);
    ExpectWholeText(app, "Note that once", dpi, true);
    app.Screenshot("dpichange_144_page06_Confirm");
}

// The about box scales with the window: its size, and its text whole.
TEST(LayoutDpi, TheAboutBoxScalesAt144And192Dpi) {
    for (int dpi : {144, 192}) {
        LogPixels setting(static_cast<DWORD>(dpi));
        App app;
        REQUIRE_APP(app);
        app.ClickAsync(IDC_BtnAbout);
        HWND box = app.WaitWindow("#32770", "About Movix 32");
        ASSERT_NE(box, nullptr);
        RECT client;
        GetClientRect(box, &client);
        EXPECT_NEAR(client.right, MulDiv(360, dpi, 96), 2) << dpi << " DPI";
        EXPECT_NEAR(client.bottom, MulDiv(305, dpi, 96), 2) << dpi << " DPI";
        HWND label = GetDlgItem(box, IDC_LabelCopyOf);
        RECT r;
        GetClientRect(label, &r);
        EXPECT_GE(r.bottom, NeededHeight(label, dpi, false)) << "cut at " << dpi << " DPI";
        app.Screenshot("about_dpi" + std::to_string(dpi));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(guitest::WaitFor([&] { return !IsWindow(box); }));
    }
}
