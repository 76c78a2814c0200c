// Path boundaries on real targets under Wine: an Old address of ...\Edit must
// find and rewrite ...\Edit and never its neighbour ...\Editor, in INI files
// and in the Registry, also where both stand in one text. And the found list
// flags a hit that may be part of a longer folder name.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/found_list_win.h"
#include "core/replace_groups.h"
#include "core/strings.h"
#include "registry_test_support_win.h"
#include "search_test_support_win.h"
#include "targets/ini_files_win.h"
#include "targets/registry_replace_win.h"
#include "targets/registry_search_win.h"

using namespace movix;
using namespace movix_test;

namespace {

using Lines = std::vector<std::string>;

class BoundaryTest : public UiFixture {
  protected:
    void SearchIni(const std::string& folder, const std::string& old) {
        hits_.clear();
        auto* thread = new TSearchINIThread(KindIni, old, label_, Collector(), 1);
        thread->SetWindowsDirForTest(folder);
        RunToEnd(thread);
        EXPECT_TRUE(fatal_.empty()) << fatal_;
    }

    // The Registry hits under one key, with their value names, as groups of
    // the replacement run.
    std::vector<TReplaceGroup> SearchRegistry(const std::string& old, const std::string& under) {
        hits_.clear();
        regHits_.clear();
        auto* thread = new TSearchRegThread(KindReg, old, label_, Collector(), {}, 5);
        thread->OnFoundValue = [this, under](const std::string& item, const std::string& path,
                                             const std::string& context, int kind, int subType,
                                             const std::string& valueName) {
            if (path.compare(0, under.size(), under) == 0)
                regHits_.push_back({{item, path, context, kind, subType}, valueName});
        };
        RunToEnd(thread, 300000);
        EXPECT_TRUE(fatal_.empty()) << fatal_;
        std::vector<TReplaceGroup> groups;
        for (const auto& h : regHits_) {
            if (groups.empty() || groups.back().Key != h.first.path)
                groups.push_back({h.first.path, {}});
            TReplaceHit hit{h.first.context, h.first.subType};
            if (h.first.subType >= kSubTypeValueName)
                hit.ValueName = h.second;
            groups.back().Hits.push_back(hit);
        }
        return groups;
    }

    std::vector<std::pair<FoundHit, std::string>> regHits_;
};

TEST_F(BoundaryTest, IniSearchAndReplace_LeaveTheNeighbourFolderAlone) {
    TempTree tree("boundini");
    const std::string tools = tree.File("TOOLS.INI",
                                        "[Programs]\r\n"
                                        "Edit=C:\\Tools\\Edit\\edit.exe\r\n"
                                        "Editor=C:\\Tools\\Editor\\editor.exe\r\n"
                                        "Both=c:\\tools\\editor;C:\\TOOLS\\EDIT\r\n"
                                        "Old=C:\\Tools\\Edit.old\\edit.exe\r\n"
                                        "[C:\\Tools\\Editor]\r\n"
                                        "x=1\r\n"
                                        "[C:\\Tools\\Edit]\r\n"
                                        "y=2\r\n");
    const std::string neighbourText = "[Paths]\r\nHome=C:\\Tools\\Editor\r\nCfg=C:\\Tools\\Edit_cfg\r\n";
    const std::string neighbour = tree.File("EDITOR.INI", neighbourText);

    SearchIni(tree.Root(), "C:\\Tools\\Edit");
    const std::string folder = tree.Root();
    const std::vector<FoundHit> expected = {
        {"TOOLS.INI", folder, "[Programs]Edit=C:\\Tools\\Edit\\edit.exe", KindIni, kSubTypeKey},
        {"TOOLS.INI", folder, "[Programs]Both=c:\\tools\\editor;C:\\TOOLS\\EDIT", KindIni, kSubTypeKey},
        {"TOOLS.INI", folder, "[C:\\Tools\\Edit]", KindIni, kSubTypeSection},
    };
    ASSERT_EQ(hits_, expected);

    std::vector<TReplaceGroup> groups = {{tools, {}}};
    for (const FoundHit& h : hits_)
        groups[0].Hits.push_back({UpperAscii(h.context), h.subType});
    Lines log;
    ReplaceIniFiles(groups, "C:\\Tools\\Edit", "D:\\Apps\\Edit", label_,
                    [&log](const std::string& line) { log.push_back(line); });
    EXPECT_EQ(ReadFileBytes(tools),
              "[Programs]\r\n"
              "Edit=D:\\Apps\\Edit\\edit.exe\r\n"
              "Editor=C:\\Tools\\Editor\\editor.exe\r\n"
              "Both=c:\\tools\\editor;D:\\Apps\\Edit\r\n"
              "Old=C:\\Tools\\Edit.old\\edit.exe\r\n"
              "[C:\\Tools\\Editor]\r\n"
              "x=1\r\n"
              "[D:\\Apps\\Edit]\r\n"
              "y=2\r\n");
    EXPECT_EQ(ReadFileBytes(neighbour), neighbourText);
    EXPECT_FALSE(Exists(BackupName(neighbour)));
    for (const std::string& line : log)
        EXPECT_EQ(line.find("*****"), std::string::npos) << line;
}

TEST_F(BoundaryTest, RegistrySearchAndReplace_LeaveTheNeighbourFolderAlone) {
    const std::string token = UniqueToken("Bnd");
    const std::string old = "C:\\" + token + "\\Edit";
    const std::string other = "C:\\" + token + "\\Editor";
    const std::string now = "D:\\" + token + "\\Edit";
    PlantedKey key(HKEY_CURRENT_USER, "Software", "MovixBoundary");
    const HKEY r = key.Root();
    const std::string& k = key.Path();
    SetSz(r, k, "Edit", old + "\\edit.exe");                          // data: a hit
    SetSz(r, k, "Editor", other + "\\editor.exe");                    // nothing
    SetSz(r, k, "Both", other + ";" + old, REG_EXPAND_SZ);            // data: a hit, half of it
    SetSz(r, k, "Cfg", old + "_cfg;" + old + ".old");                 // nothing
    SetSz(r, k, other, "neighbour's name");                           // nothing
    SetSz(r, k, old, "old name");                                     // name: a hit
    SetSz(r, key / ("Sub " + token + "Editor"), "v", other + "\\x");  // nothing below

    const std::string under = "HKCU\\" + k;
    std::vector<TReplaceGroup> groups = SearchRegistry(old, under);
    std::vector<std::string> found;
    for (const auto& h : regHits_)
        found.push_back(std::to_string(h.first.subType) + ":" + h.second);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (Lines{"7:" + old, "8:Edit", "9:Both"}));

    Lines log;
    ReplaceRegistry(groups, old, now, label_, [&log](const std::string& line) { log.push_back(line); });
    EXPECT_EQ(GetSz(r, k, "Edit"), now + "\\edit.exe");
    EXPECT_EQ(GetSz(r, k, "Editor"), other + "\\editor.exe");
    EXPECT_EQ(GetSz(r, k, "Both"), other + ";" + now);
    EXPECT_EQ(GetSz(r, k, "Cfg"), old + "_cfg;" + old + ".old");
    EXPECT_EQ(GetSz(r, k, other), "neighbour's name");
    EXPECT_FALSE(ValuePresent(r, k, old));
    EXPECT_EQ(GetSz(r, k, now), "old name");
    EXPECT_EQ(GetSz(r, key / ("Sub " + token + "Editor"), "v"), other + "\\x");
    for (const std::string& line : log)
        EXPECT_EQ(line.find("*****"), std::string::npos) << line;
}

// ---- the flag in the found list -------------------------------------------

struct Host {
    TFoundList* list = nullptr;
    int customDraws = 0;
};

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* host = reinterpret_cast<Host*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (host && host->list && msg == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        host->customDraws += header->code == NM_CUSTOMDRAW;
        LRESULT result = 0;
        if (host->list->HandleNotify(header, result))
            return result;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class LongerNameListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = "MovixLongerNameHost";
        RegisterClassA(&wc);
        hwnd_ = CreateWindowExA(0, wc.lpszClassName, "flag", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 700, 400,
                                nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(hwnd_, nullptr);
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&host_));
        host_.list = &list_;
        ASSERT_TRUE(list_.Create(hwnd_, RECT{0, 0, 660, 340}));
        Pump();
    }
    void TearDown() override {
        host_.list = nullptr;
        if (hwnd_)
            DestroyWindow(hwnd_);
        Pump();
    }

    int Image(int index) const {
        LVITEMA item{};
        item.mask = LVIF_IMAGE;
        item.iItem = index;
        item.iImage = -7;
        SendMessageA(list_.Handle(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }
    RECT IconRect(int index) const {
        RECT rc{};
        rc.left = LVIR_ICON;
        SendMessageA(list_.Handle(), LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
        return rc;
    }
    // Yellow pixels in the lower right of a row's icon, as the list paints
    // itself into a bitmap.
    int YellowInBadgeArea(HDC dc, int index) const {
        const RECT icon = IconRect(index);
        int yellow = 0;
        for (int y = icon.top + 8; y < icon.bottom; ++y)
            for (int x = icon.left + 6; x < icon.left + 16; ++x) {
                const COLORREF p = GetPixel(dc, x, y);
                yellow += GetRValue(p) > 200 && GetGValue(p) > 160 && GetBValue(p) < 80;
            }
        return yellow;
    }

    HWND hwnd_ = nullptr;
    Host host_;
    TFoundList list_;
};

TEST_F(LongerNameListTest, RowWithOldAddressBeforeWhatMayGoOnWithItsNameIsFlaggedButStaysY) {
    list_.SetOldAddress("C:\\Acme Tools");
    list_.AddFoundItem("A.INI", "C:\\W", "[S]Path=C:\\Acme Tools\\a.exe", KindIni, kSubTypeKey);
    list_.AddFoundItem("B.INI", "C:\\W", "[S]Path=C:\\Acme Tools 2\\b.exe", KindIni, kSubTypeKey);
    list_.AddFoundItem("v", "HKCU\\K", "v=\"c:\\acme tools 2\\b.exe\" %1", KindReg, kSubTypeData, "v");
    list_.AddFoundItem("w", "HKCU\\K", "w=\"C:\\Acme Tools\" /s", KindReg, kSubTypeData, "w");
    list_.AddFoundItem("x", "HKCU\\K", "x=C:\\Acme Tools (x86)\\b.exe", KindReg, kSubTypeData, "x");
    list_.AddFoundItem("C.INI", "C:\\W", "[C:\\Acme Tools]", KindIni, kSubTypeSection);
    Pump();
    ASSERT_EQ(list_.RowCount(), 6);
    const bool flagged[] = {false, true, true, false, true, false};
    const int help[] = {41, LongerNameHelpContext, LongerNameHelpContext, 51, LongerNameHelpContext, 40};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(list_.Row(i).MaybeLonger, flagged[i]) << i;
        EXPECT_EQ(list_.Row(i).Mark, MarkY) << i;
        EXPECT_EQ(Image(i), 0) << "the mark still shows as Y: " << i;
        const RECT icon = IconRect(i);
        EXPECT_EQ(list_.FoundItemHelpContext(POINT{30, (icon.top + icon.bottom) / 2}), help[i]) << i;
    }

    // The list paints a badge over the flagged rows' discs, and only there.
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 660, 340);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT all{0, 0, 660, 340};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SendMessageA(list_.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    EXPECT_GT(host_.customDraws, 0);
    for (int i = 0; i < 6; ++i) {
        if (flagged[i])
            EXPECT_GT(YellowInBadgeArea(dc, i), 10) << i;
        else
            EXPECT_EQ(YellowInBadgeArea(dc, i), 0) << i;
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(LongerNameListTest, WithoutTheRunsOldAddressNothingIsFlagged) {
    list_.AddFoundItem("B.INI", "C:\\W", "[S]Path=C:\\Acme Tools 2\\b.exe", KindIni, kSubTypeKey);
    EXPECT_FALSE(list_.Row(0).MaybeLonger);
    list_.SetOldAddress("C:\\Acme Tools\\");
    list_.AddFoundItem("C.INI", "C:\\W", "[S]Path=C:\\Acme Tools\\ 2", KindIni, kSubTypeKey);
    EXPECT_FALSE(list_.Row(1).MaybeLonger);
}

}  // namespace
