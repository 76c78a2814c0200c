// The wizard worked from the keyboard alone, with real key presses (through
// the system's input queue, as a keyboard delivers them): access keys of
// labels, the default button that follows the focus, letters typed while a
// button has the focus, and the found list's focus, Space and menu.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/help_file.h"
#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

bool LooksDefault(App& app, int id) {
    return (GetWindowLongA(app.Control(id), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
}

bool FocusIs(App& app, int id) {
    return guitest::WaitFor([&] { return app.Focus() == app.Control(id); }, 2000);
}

// Presses Tab until the control has the focus; false after a round without it.
bool TabTo(App& app, int id, bool backwards = false) {
    for (int i = 0; i < 25; ++i) {
        if (app.Focus() == app.Control(id))
            return true;
        HWND before = app.Focus();
        app.SendKeys({VK_TAB}, backwards ? std::vector<WORD>{VK_SHIFT} : std::vector<WORD>{});
        guitest::WaitFor([&] { return app.Focus() != before; }, 1000);
    }
    return app.Focus() == app.Control(id);
}

// The access keys of what is shown now (the page, its sub-page and the
// button bar) that Back, Next or Show all pages share with another control.
// Returns the clashes, empty when none.
std::string AccessKeyClashes(App& app) {
    std::map<char, std::vector<std::string>> owners;
    EnumChildWindows(
        app.Main(),
        [](HWND w, LPARAM out) -> BOOL {
            auto& k = *reinterpret_cast<std::map<char, std::vector<std::string>>*>(out);
            char cls[16] = {};
            GetClassNameA(w, cls, sizeof cls);
            const LONG style = GetWindowLongA(w, GWL_STYLE);
            if (!IsWindowVisible(w) || (lstrcmpiA(cls, "Static") == 0 && (style & SS_NOPREFIX)))
                return TRUE;
            if (lstrcmpiA(cls, "Static") != 0 && lstrcmpiA(cls, "Button") != 0)
                return TRUE;
            const std::string text = guitest::WindowTextOf(w);
            for (std::size_t i = 0; i + 1 < text.size(); ++i) {
                if (text[i] == '&' && text[i + 1] == '&') {
                    ++i;
                } else if (text[i] == '&') {
                    k[static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])))].push_back(text);
                    break;
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&owners));
    std::string clashes;
    for (const auto& key : owners) {
        if (key.second.size() < 2)
            continue;
        bool ours = false;
        for (const std::string& text : key.second)
            ours = ours || text == app.Text(IDC_BtnPrev) || text == app.Text(IDC_BtnNext) ||
                   text == app.Text(IDC_cbShowAll);
        if (!ours)
            continue;
        for (const std::string& text : key.second)
            clashes += "\"" + text + "\" ";
        clashes += "; ";
    }
    return clashes;
}

// An INI file in the Windows folder naming the Old address on three lines.
class PlantedIni {
  public:
    explicit PlantedIni(const std::string& name, const std::string& more = std::string())
        : path_(guitest::WindowsDir() + "\\" + name) {
        guitest::WriteFile(path_,
                           "[Paths]\r\n"
                           "Home=C:\\MVXKEYS\\bin\r\n"
                           "Alpha=C:\\MVXKEYS\\alpha\r\n"
                           "Zulu=C:\\MVXKEYS\\zulu\r\n" +
                               more);
    }
    ~PlantedIni() {
        DeleteFileA(path_.c_str());
        DeleteFileA((path_.substr(0, path_.size() - 4) + ".BAK").c_str());
    }

  private:
    std::string path_;
};

const movix::HelpFile& Help() {
    static const movix::HelpFile file = [] {
        std::ifstream in(guitest::ExeDir() + "\\MOVIX32.HLP", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return movix::HelpFile::Parse(text.str());
    }();
    return file;
}

// The text of the program's visible tip window, or empty.
std::string VisibleTipText(DWORD pid) {
    struct Search {
        DWORD pid;
        std::string text;
    } search = {pid, std::string()};
    EnumWindows(
        [](HWND w, LPARAM out) -> BOOL {
            auto* s = reinterpret_cast<Search*>(out);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            char cls[32] = {};
            GetClassNameA(w, cls, sizeof cls);
            if (owner != s->pid || lstrcmpiA(cls, TOOLTIPS_CLASSA) != 0 || !IsWindowVisible(w))
                return TRUE;
            s->text = guitest::WindowTextOf(w);
            return s->text.empty();
        },
        reinterpret_cast<LPARAM>(&search));
    return search.text;
}

// How far the found list is scrolled sideways: its rows start that far
// left of its edge.
int HorizontalPosition(App& app) {
    return -app.ListViewItemRect(IDC_lvFound, 0, LVIR_BOUNDS).left;
}

// What a control shows on screen, pixel by pixel (the log's scroll position
// cannot be read from another process under Wine).
std::vector<DWORD> Shown(App& app, HWND w) {
    app.Sync();
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    app.Sync();
    Sleep(100);
    RECT r;
    GetClientRect(w, &r);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = r.right;
    bmi.bmiHeader.biHeight = -r.bottom;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, r.right, r.bottom, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits),
                              static_cast<const DWORD*>(bits) + static_cast<size_t>(r.right) * r.bottom);
    pixels.push_back(static_cast<DWORD>(r.right));  // the width, last
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// How far the picture moved left from one shot to the next: the shift at
// which the second matches the first best (the focus frame stays put).
int ShiftedLeft(const std::vector<DWORD>& before, const std::vector<DWORD>& after) {
    const int width = static_cast<int>(before.back());
    const size_t rows = (before.size() - 1) / static_cast<size_t>(width);
    int best = -1;
    double bestShare = 0;
    for (int k = 0; k < width / 2; ++k) {
        size_t same = 0, compared = 0;
        for (size_t row = 0; row < rows; ++row)
            for (int x = 0; x + k < width; ++x, ++compared)
                same += before[row * width + x + k] == after[row * width + x];
        const double share = compared ? static_cast<double>(same) / compared : 0;
        if (share > bestShare) {
            bestShare = share;
            best = k;
        }
    }
    return best;
}

}  // namespace

TEST(Keyboard, TheFirstPageOpensInTheOldFieldAndLabelAccessKeysMoveTheFocus) {
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.Activate());
    EXPECT_TRUE(FocusIs(app, IDC_EditOldAddress));
    app.TypeText("cx");
    EXPECT_EQ(app.Text(IDC_EditOldAddress), "cx");

    // Alt+N and Alt+O: the labels "&New:" and "&Old:" hand the focus on.
    app.SendKeys({'N'}, {VK_MENU});
    EXPECT_TRUE(FocusIs(app, IDC_EditNewAddress));
    app.TypeText("dy");
    EXPECT_EQ(app.Text(IDC_EditNewAddress), "dy");
    app.SendKeys({'O'}, {VK_MENU});
    EXPECT_TRUE(FocusIs(app, IDC_EditOldAddress));
    EXPECT_EQ(app.Text(IDC_EditOldAddress), "cx");
    EXPECT_EQ(app.Page(), 0);
}

TEST(Keyboard, TheDefaultButtonFollowsTheFocusAndEnterPressesIt) {
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.Activate());
    EXPECT_TRUE(LooksDefault(app, IDC_BtnNext));
    ASSERT_TRUE(TabTo(app, IDC_BtnAbout));
    EXPECT_TRUE(LooksDefault(app, IDC_BtnAbout));
    EXPECT_FALSE(LooksDefault(app, IDC_BtnNext));

    // Enter on the focused About opens the about box, not the next page.
    app.SendKeys({VK_RETURN});
    HWND box = app.WaitWindow("#32770", "About Movix 32");
    ASSERT_NE(box, nullptr);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(guitest::WaitFor([&] { return !IsWindow(box); }));
    EXPECT_EQ(app.Page(), 0);

    // Back in the field, Next is the default button again.
    app.SendKeys({'O'}, {VK_MENU});
    EXPECT_TRUE(FocusIs(app, IDC_EditOldAddress));
    EXPECT_TRUE(LooksDefault(app, IDC_BtnNext));
    EXPECT_FALSE(LooksDefault(app, IDC_BtnAbout));
}

TEST(Keyboard, TheFocusComesBackAfterAnotherWindowHadTheActivation) {
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.Activate());
    ASSERT_TRUE(FocusIs(app, IDC_EditOldAddress));
    app.SendKeys({'N'}, {VK_MENU});
    ASSERT_TRUE(FocusIs(app, IDC_EditNewAddress));

    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE | WS_CAPTION, 600, 600, 200, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    guitest::WaitFor([&] { return GetForegroundWindow() == other; }, 2000);
    app.Sync();

    // Typing after the return goes into the field that had the focus; the
    // letters (an "a" among them) press no button such as "&About".
    app.TypeText("abc");
    DestroyWindow(other);
    EXPECT_EQ(app.Focus(), app.Control(IDC_EditNewAddress));
    EXPECT_EQ(app.Text(IDC_EditNewAddress), "abc");
    EXPECT_EQ(app.WaitWindow("#32770", "About Movix 32", 500), nullptr);
}

TEST(Keyboard, LettersOnAFocusedButtonActOnlyAsAccessKeys) {
    App app;
    REQUIRE_APP(app);
    app.SetText(IDC_EditOldAddress, "C:\\SOMEWHERE");
    ASSERT_TRUE(app.Activate());
    ASSERT_TRUE(TabTo(app, IDC_BtnCancel, true));
    // Letters that are no access key do nothing at all.
    app.TypeText("qjz");
    EXPECT_EQ(app.Page(), 0);
    EXPECT_EQ(GetDlgCtrlID(app.Focus()), IDC_BtnCancel);
    EXPECT_EQ(app.WaitWindow("#32770", "About Movix 32", 300), nullptr);
    // One that is, as in a dialog, goes where its label points.
    app.TypeText("n");
    EXPECT_TRUE(FocusIs(app, IDC_EditNewAddress));
    EXPECT_EQ(app.Text(IDC_EditNewAddress), "");
}

TEST(Keyboard, TheFoundListIsFirstHasAFocusedRowAndSpaceTogglesAtOnce) {
    PlantedIni ini("MVXKEYS.INI");
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXKEYS", "D:\\MVXKEYS"));
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 3);
    ASSERT_TRUE(app.Activate());
    EXPECT_TRUE(FocusIs(app, IDC_lvFound));
    const int focused = app.ListViewFocused(IDC_lvFound);
    ASSERT_GE(focused, 0);

    // The first Space flips the focused row, the second flips it back.
    app.SendKeys({VK_SPACE});
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, focused), 1);
    app.SendKeys({VK_SPACE});
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, focused), 0);

    // Tab order: the list first, the button bar after it.
    app.SendKeys({VK_TAB}, {VK_SHIFT});
    EXPECT_TRUE(FocusIs(app, IDC_BtnCancel));
    app.SendKeys({VK_TAB});
    EXPECT_TRUE(FocusIs(app, IDC_lvFound));

    // The row menu from the keyboard: "Sort by", "Context"; descending the
    // second time, as a second click on the header.
    app.SendKeys({VK_F10}, {VK_SHIFT});
    app.SendKeys({'S'});
    app.SendKeys({'C'});
    EXPECT_TRUE(guitest::WaitFor([&] {
        return app.ListViewText(IDC_lvFound, 0, 4).find("alpha") != std::string::npos;
    })) << app.ListViewText(IDC_lvFound, 0, 4);
    app.SendKeys({VK_F10}, {VK_SHIFT});
    app.SendKeys({'S'});
    app.SendKeys({'C'});
    EXPECT_TRUE(guitest::WaitFor([&] { return app.ListViewText(IDC_lvFound, 0, 4).find("zulu") != std::string::npos; }))
        << app.ListViewText(IDC_lvFound, 0, 4);

    // "No" by its access key marks the selected row N.
    const int row = app.ListViewFocused(IDC_lvFound);
    ASSERT_GE(row, 0);
    app.SendKeys({VK_F10}, {VK_SHIFT});
    app.SendKeys({'N'});
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, row), 1);

    // On FinalPage the New field has the focus, and "&New:" brings it back.
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 8);
    EXPECT_TRUE(FocusIs(app, IDC_EditNewAddressAgain));
    ASSERT_TRUE(TabTo(app, IDC_BtnHelp));
    app.SendKeys({'N'}, {VK_MENU});
    EXPECT_TRUE(FocusIs(app, IDC_EditNewAddressAgain));
    EXPECT_EQ(app.Page(), 8);
}

TEST(Keyboard, TheMarkOfASelectedRowKeepsItsColours) {
    PlantedIni ini("MVXKEYS.INI");
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXKEYS", "D:\\MVXKEYS"));
    ASSERT_TRUE(app.Activate());
    ASSERT_TRUE(FocusIs(app, IDC_lvFound));
    HWND list = app.Control(IDC_lvFound);
    // Row 1 marked N through the menu command of the window.
    app.ListViewSelect(IDC_lvFound, {1});
    PostMessageA(app.Main(), WM_COMMAND, IDM_No1, 0);
    app.Sync();
    app.ListViewSelect(IDC_lvFound, {0, 1});
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    app.Sync();
    Sleep(200);
    app.Screenshot("keyboard_selected_rows");

    // Each disc carries its letter in white: the Y disc is no longer one
    // green blot, and a white stroke shows in it wherever the row is.
    HDC screen = GetDC(nullptr);
    auto colours = [&](int row, bool& white, bool& green, bool& red) {
        white = green = red = false;
        RECT icon = app.ListViewItemRect(IDC_lvFound, row, LVIR_ICON);
        const int top = icon.top + (icon.bottom - icon.top - 16) / 2;
        for (int y = 4; y < 12; ++y) {
            for (int x = 4; x < 12; ++x) {
                POINT p = {icon.left + x, top + y};
                ClientToScreen(list, &p);
                const COLORREF c = GetPixel(screen, p.x, p.y);
                white = white || (GetRValue(c) > 220 && GetGValue(c) > 220 && GetBValue(c) > 220);
                green = green || (GetGValue(c) > 140 && GetRValue(c) < 60 && GetBValue(c) < 60);
                red = red || (GetRValue(c) > 150 && GetGValue(c) < 60 && GetBValue(c) < 60);
            }
        }
    };
    bool white = false, green = false, red = false;
    colours(0, white, green, red);
    EXPECT_TRUE(white) << "no letter on the Y disc of a selected row";
    EXPECT_TRUE(green) << "the Y disc of a selected row lost its green";
    colours(1, white, green, red);
    EXPECT_TRUE(white) << "no letter on the N disc of a selected row";
    EXPECT_TRUE(red) << "the N disc of a selected row lost its red";
    ReleaseDC(nullptr, screen);
}

// Whatever page a button press leaves, the focus is on a control that takes
// keys; after the list is saved, Enter means Next, not the dialog again.
TEST(Keyboard, TheFocusNeverStaysOnADisabledButtonAndMovesToNextAfterSaving) {
    PlantedIni ini("MVXKEYS.INI");
    const std::string scratch = guitest::ScratchDir("keys_save");
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXKEYS", "D:\\MVXKEYS"));
    ASSERT_TRUE(app.Activate());
    ASSERT_TRUE(FocusIs(app, IDC_lvFound));
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.SubPage(), 2);

    // "< Back" by the keyboard returns to the results and is disabled there.
    ASSERT_TRUE(TabTo(app, IDC_BtnPrev));
    app.SendKeys({VK_RETURN});
    ASSERT_TRUE(guitest::WaitFor([&] { return app.SubPage() == 1; }));
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));
    EXPECT_TRUE(FocusIs(app, IDC_lvFound)) << "focus on control " << GetDlgCtrlID(app.Focus());
    // Keys work again: Space marks the focused row.
    const int row = app.ListViewFocused(IDC_lvFound);
    ASSERT_GE(row, 0);
    app.SendKeys({VK_SPACE});
    EXPECT_EQ(app.ListViewImage(IDC_lvFound, row), 1);

    // Save List by the keyboard; afterwards Enter goes on to FinalPage.
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.SubPage(), 2);
    ASSERT_TRUE(TabTo(app, IDC_BtnSaveList));
    app.SendKeys({VK_RETURN});
    HWND dialog = app.WaitWindow("#32770", "Save as Rich Text File", 10000);
    ASSERT_NE(dialog, nullptr);
    // The file name box: the edit inside the combo box cmb13, or edt1.
    HWND edit = nullptr;
    ASSERT_TRUE(guitest::WaitFor([&] {
        EnumChildWindows(
            dialog,
            [](HWND child, LPARAM out) -> BOOL {
                char cls[16] = {};
                GetClassNameA(child, cls, sizeof cls);
                const int id = GetDlgCtrlID(child);
                if (lstrcmpiA(cls, "Edit") != 0 || (id != 0x47c && id != 0x480))
                    return TRUE;
                *reinterpret_cast<HWND*>(out) = child;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&edit));
        return edit != nullptr;
    }));
    const std::string rtf = scratch + "\\LIST.RTF";
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(rtf.c_str()));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(dialog) && guitest::Exists(rtf); }, 10000));
    EXPECT_TRUE(FocusIs(app, IDC_BtnNext)) << "focus on control " << GetDlgCtrlID(app.Focus());
    EXPECT_TRUE(LooksDefault(app, IDC_BtnNext));
    app.SendKeys({VK_RETURN});
    EXPECT_TRUE(guitest::WaitFor([&] { return app.Page() == 8; }));
    EXPECT_EQ(app.WaitWindow("#32770", "Save as Rich Text File", 500), nullptr);
    guitest::RemoveTree(scratch);
}

// Type, SubType and Context lie right of the window at its design size: the
// arrow keys bring them in, in the list and in the log, and a tip beside the
// focused row shows the row's whole text.
TEST(Keyboard, LeftAndRightScrollTheListAndTheLogSideways) {
    const std::string wide = "Wide=C:\\MVXKEYS\\" + std::string(160, 'w');
    PlantedIni ini("MVXKEYS.INI", wide + "\r\n");
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXKEYS", "D:\\MVXKEYS"));
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 4);
    ASSERT_TRUE(app.Activate());
    ASSERT_TRUE(FocusIs(app, IDC_lvFound));
    HWND list = app.Control(IDC_lvFound);
    const int row = app.ListViewFocused(IDC_lvFound);
    ASSERT_GE(row, 0);
    const int firstColumn = static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0));
    ASSERT_EQ(HorizontalPosition(app), 0);

    const struct {
        WORD key;
        bool control;
        int expected;  // -1: somewhere right of 0 and left of the second column
    } steps[] = {
        {VK_LEFT, false, 0},        // nothing left of the start
        {VK_RIGHT, false, -1},      // a few characters
        {VK_RIGHT, true, firstColumn},  // to the next column's start
        {VK_LEFT, true, 0},         // back to the previous column's start
    };
    for (const auto& step : steps) {
        app.SendKeys({step.key}, step.control ? std::vector<WORD>{VK_CONTROL} : std::vector<WORD>{});
        app.Sync();
        const int at = HorizontalPosition(app);
        if (step.expected < 0) {
            EXPECT_GT(at, 0);
            EXPECT_LT(at, firstColumn);
        } else {
            EXPECT_EQ(at, step.expected) << "key " << step.key << (step.control ? " with Ctrl" : "");
        }
        EXPECT_EQ(app.ListViewFocused(IDC_lvFound), row) << "the arrow moved the focused row";
    }

    // Down: the tip beside the new focused row holds all of its text.
    app.SendKeys({VK_DOWN});
    const int below = app.ListViewFocused(IDC_lvFound);
    ASSERT_NE(below, row);
    std::string tip;
    EXPECT_TRUE(guitest::WaitFor([&] { return !(tip = VisibleTipText(app.Pid())).empty(); }, 2000));
    for (int c = 0; c < 5; ++c)
        EXPECT_NE(tip.find(app.ListViewText(IDC_lvFound, below, c)), std::string::npos) << c << ": " << tip;
    EXPECT_NE(tip.find("Type: INI"), std::string::npos) << tip;

    // The log after the replacement: Right scrolls, the selection stays.
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 30000));
    EXPECT_TRUE(VisibleTipText(app.Pid()).empty()) << "the tip outlived the page";
    HWND log = app.Control(IDC_lbReport);
    ASSERT_TRUE(TabTo(app, IDC_lbReport));
    const LRESULT selected = SendMessageA(log, LB_GETCURSEL, 0, 0);
    const std::vector<DWORD> start = Shown(app, log);
    app.SendKeys({VK_RIGHT});
    const std::vector<DWORD> stepped = Shown(app, log);
    EXPECT_GE(ShiftedLeft(start, stepped), 16) << "Right did not move the log by a few characters";
    app.SendKeys({VK_RIGHT}, {VK_CONTROL});
    EXPECT_NE(Shown(app, log), stepped) << "Ctrl+Right did not move the log";
    app.SendKeys({VK_LEFT}, {VK_CONTROL});
    for (int i = 0; i < 4; ++i)
        app.SendKeys({VK_LEFT});
    EXPECT_EQ(Shown(app, log) == start, true) << "Left did not bring the log back";
    EXPECT_EQ(SendMessageA(log, LB_GETCURSEL, 0, 0), selected);
}

// "What's This" from the row menu opened by the keyboard explains the
// focused row, whichever row the mouse pointer rests on.
TEST(Keyboard, WhatsThisFromTheKeyboardExplainsTheFocusedRow) {
    PlantedIni ini("MVXKEYS.INI");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MvxKeys", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const char data[] = "C:\\MVXKEYS\\reg";
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
    RegCloseKey(key);
    struct Cleanup {
        ~Cleanup() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MvxKeys"); }
    } cleanup;

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 1, "C:\\MVXKEYS", "D:\\MVXKEYS"));
    int reg = -1, iniRow = -1;
    for (int r = 0; r < app.ListViewCount(IDC_lvFound); ++r) {
        const std::string type = app.ListViewText(IDC_lvFound, r, 2);
        if (type == "REG" && reg < 0)
            reg = r;
        if (type == "INI" && iniRow < 0)
            iniRow = r;
    }
    ASSERT_GE(reg, 0);
    ASSERT_GE(iniRow, 0);
    ASSERT_TRUE(app.Activate());
    ASSERT_TRUE(FocusIs(app, IDC_lvFound));
    app.SendKeys({VK_HOME});
    for (int i = 0; i < 10 && app.ListViewFocused(IDC_lvFound) != reg; ++i)
        app.SendKeys({static_cast<WORD>(app.ListViewFocused(IDC_lvFound) < reg ? VK_DOWN : VK_UP)});
    ASSERT_EQ(app.ListViewFocused(IDC_lvFound), reg);

    // The pointer rests on an INI row.
    const RECT over = app.ListViewItemRect(IDC_lvFound, iniRow, LVIR_BOUNDS);
    POINT pointer = {over.left + 20, (over.top + over.bottom) / 2};
    ClientToScreen(app.Control(IDC_lvFound), &pointer);
    ASSERT_TRUE(app.PutPointer(pointer.x, pointer.y));
    app.SendKeys({VK_F10}, {VK_SHIFT});
    HWND menu = nullptr;
    ASSERT_TRUE(guitest::WaitFor([&] { return (menu = FindWindowA("#32768", nullptr)) && IsWindowVisible(menu); }));
    app.SendKeys({'W'});
    HWND popup = nullptr;
    ASSERT_TRUE(guitest::WaitFor(
        [&] { return (popup = FindWindowA("MovixHelpPopup", nullptr)) && IsWindowVisible(popup); }, 4000));
    EXPECT_EQ(guitest::WindowTextOf(popup), movix::PopupTextFor(Help(), 51, "\r\n"));
    PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    guitest::WaitFor([&] { return !IsWindow(popup) || !IsWindowVisible(popup); }, 2000);
}

// Back, Next and Show all pages have access keys, and no other control of a
// page (or of the button bar) has theirs.
TEST(Keyboard, BackNextAndShowAllPagesHaveAccessKeysOfTheirOwn) {
    App app;
    REQUIRE_APP(app);
    for (int id : {IDC_BtnPrev, IDC_BtnNext, IDC_cbShowAll})
        EXPECT_NE(app.Text(id).find('&'), std::string::npos) << app.Text(id);
    app.SetText(IDC_EditOldAddress, "C:\\MVXKEYS");
    app.SetChecked(IDC_cbShowAll, true);
    EXPECT_EQ(AccessKeyClashes(app), "") << "page " << app.Page();
    for (int page : {1, 2, 3, 4, 5, 11, 12, 6}) {
        app.Click(IDC_BtnNext);
        ASSERT_EQ(app.Page(), page);
        EXPECT_EQ(AccessKeyClashes(app), "") << "page " << page;
    }
    // Alt+K goes back as the caption says.
    ASSERT_TRUE(app.Activate());
    app.SendKeys({'K'}, {VK_MENU});
    EXPECT_TRUE(guitest::WaitFor([&] { return app.Page() == 12; }));
}

// After the about box and after the replacement, Enter presses the button
// the page expects (Next, then Close), never About again.
TEST(Keyboard, TheFocusRestsOnTheButtonThePageExpects) {
    PlantedIni ini("MVXFOCUS.INI");
    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, "C:\\MVXKEYS", "D:\\MVXKEYS"));
    ASSERT_TRUE(app.Activate());
    EXPECT_EQ(AccessKeyClashes(app), "");
    ASSERT_TRUE(TabTo(app, IDC_BtnAbout));
    app.SendKeys({VK_RETURN});
    HWND box = app.WaitWindow("#32770", "About Movix 32");
    ASSERT_NE(box, nullptr);
    app.SendKeysTo(box, {VK_RETURN});
    ASSERT_TRUE(guitest::WaitFor([&] { return !IsWindow(box); }));
    EXPECT_TRUE(FocusIs(app, IDC_BtnNext)) << "focus on control " << GetDlgCtrlID(app.Focus());
    app.SendKeys({VK_RETURN});
    EXPECT_TRUE(guitest::WaitFor([&] { return app.SubPage() == 2; }));
    EXPECT_EQ(app.WaitWindow("#32770", "About Movix 32", 500), nullptr) << "Enter opened About again";
    EXPECT_EQ(AccessKeyClashes(app), "");
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 8);
    EXPECT_EQ(AccessKeyClashes(app), "");
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10 && app.Enabled(IDC_BtnCancel); }, 60000));
    EXPECT_TRUE(FocusIs(app, IDC_BtnCancel)) << "focus on control " << GetDlgCtrlID(app.Focus());
    EXPECT_EQ(AccessKeyClashes(app), "");
}
