// The options and skip marks kept between runs, the ignore list, the
// platform's restrictions under each Windows version Wine can present, and
// the CleanRegistry command.
#include <windows.h>

#include <gtest/gtest.h>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

const char kKey[] = "Software\\Kestrelia\\MOVIX32\\1.0";

void SetString(const std::string& subkey, const char* name, const std::string& value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kKey) + "\\" + subkey).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

std::string GetString(const std::string& subkey, const char* name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueA(HKEY_CURRENT_USER, (std::string(kKey) + "\\" + subkey).c_str(), name, RRF_RT_REG_SZ, nullptr,
                     buffer, &size) != ERROR_SUCCESS)
        return "<missing>";
    return buffer;
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

int Selected(App& app, int group) {
    for (int i = 0; i < 5; ++i) {
        HWND item = app.Control(group + 1 + i);
        if (item && SendMessageA(item, BM_GETCHECK, 0, 0) == BST_CHECKED)
            return i;
    }
    return -1;
}

}  // namespace

TEST(Settings, FirstStartCreatesTheKeyAndClosingStoresTheChoices) {
    {
        App app;
        REQUIRE_APP(app);
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(kKey) + "\\Registry Keys To Ignore"));
        // Windows NT 4 and later: Groups off and skipped, Registry 1.
        EXPECT_EQ(Selected(app, IDC_rgIniFiles), 2);
        EXPECT_EQ(Selected(app, IDC_rgGroups), 0);
        EXPECT_TRUE(app.Checked(IDC_cbSkipGroups));
        EXPECT_FALSE(app.Enabled(IDC_rgGroups + 1 + 1));
        EXPECT_EQ(Selected(app, IDC_rgShortcuts), 1);
        EXPECT_EQ(Selected(app, IDC_rgRegistry), 1);
        EXPECT_FALSE(app.Enabled(IDC_rgRegistry + 1 + 2));
        EXPECT_FALSE(app.Checked(IDC_cbSkipIniFiles));

        app.Click(IDC_rgIniFiles + 1 + 4);
        app.Click(IDC_rgShortcuts + 1 + 3);
        app.Click(IDC_rgRegistry + 1 + 3);
        app.SetChecked(IDC_cbSkipIniFiles, true);
        app.SetChecked(IDC_cbSkipRegistry, true);
        app.Click(IDC_BtnCancel);
        ASSERT_TRUE(app.WaitExit());
    }
    EXPECT_EQ(GetString("Settings", "INI Files"), "4");
    EXPECT_EQ(GetString("Settings", "Groups"), "0");
    EXPECT_EQ(GetString("Settings", "Shortcuts"), "3");
    EXPECT_EQ(GetString("Settings", "Registry"), "3");
    EXPECT_EQ(GetString("Skip Pages", "INI Files"), "1");
    EXPECT_EQ(GetString("Skip Pages", "Groups"), "1");
    EXPECT_EQ(GetString("Skip Pages", "Shortcuts"), "0");
    EXPECT_EQ(GetString("Skip Pages", "Registry"), "1");

    // The next run shows them.
    App again("", App::KeepSettings);
    REQUIRE_APP(again);
    EXPECT_EQ(Selected(again, IDC_rgIniFiles), 4);
    EXPECT_EQ(Selected(again, IDC_rgShortcuts), 3);
    EXPECT_EQ(Selected(again, IDC_rgRegistry), 3);
    EXPECT_TRUE(again.Checked(IDC_cbSkipIniFiles));
    EXPECT_TRUE(again.Checked(IDC_cbSkipRegistry));
    EXPECT_FALSE(again.Checked(IDC_cbSkipShortcuts));
    EXPECT_FALSE(again.Checked(IDC_cbShowAll));
}

TEST(Settings, StoredTextsAreReadByTheNumberRules) {
    guitest::ClearSettings();
    SetString("Settings", "INI Files", "0x3");
    SetString("Settings", "Shortcuts", "0x");
    SetString("Settings", "Registry", "7");
    SetString("Settings", "Groups", "letters");
    SetString("Skip Pages", "INI Files", "2");
    SetString("Skip Pages", "Shortcuts", "1");
    App app("", App::KeepSettings);
    REQUIRE_APP(app);
    EXPECT_EQ(Selected(app, IDC_rgIniFiles), 3);
    EXPECT_EQ(Selected(app, IDC_rgShortcuts), 1) << "0x alone is not hexadecimal: the default";
    EXPECT_EQ(Selected(app, IDC_rgRegistry), 3) << "beyond the last item: the last";
    EXPECT_FALSE(app.Checked(IDC_cbSkipIniFiles)) << "only 1 checks a box";
    EXPECT_TRUE(app.Checked(IDC_cbSkipShortcuts));
}

TEST(Settings, ANumberBelowMinusOneSelectsNothing) {
    guitest::ClearSettings();
    SetString("Settings", "INI Files", "-5");
    App app("", App::KeepSettings);
    REQUIRE_APP(app);
    EXPECT_EQ(Selected(app, IDC_rgIniFiles), -1);
}

TEST(Settings, AValueOfTheWrongTypeShowsTheErrorAndTheWindowStillOpens) {
    guitest::ClearSettings();
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kKey) + "\\Settings").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &key, nullptr);
    const DWORD four = 4;
    RegSetValueExA(key, "INI Files", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&four), sizeof four);
    RegCloseKey(key);

    App app("", App::KeepSettings, false);
    if (!guitest::HaveDisplay())
        GTEST_SKIP() << "no display";
    HWND box = nullptr;
    ASSERT_TRUE(guitest::WaitFor(
        [&] { return (box = guitest::FindProcessWindow(app.Pid(), "#32770", "Movix 32")) != nullptr; }, 15000));
    HWND text = GetDlgItem(box, 0xFFFF);
    EXPECT_EQ(guitest::WindowTextOf(text), "Invalid data type for 'INI Files'");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    HWND main = nullptr;
    ASSERT_TRUE(guitest::WaitFor([&] { return (main = guitest::FindProcessWindow(app.Pid(), "TForm1")) != nullptr; },
                                 15000));
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.WaitExit());
}

TEST(Settings, CleanRegistryDeletesTheSettingsAndEndsWithoutAWindow) {
    guitest::ClearSettings();
    SetString("Settings", "INI Files", "4");
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, kKey));
    App app("cleanregistry", App::KeepSettings, false);
    ASSERT_TRUE(app.WaitExit(15000));
    EXPECT_EQ(app.ExitCode(), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Kestrelia\\MOVIX32"));
    EXPECT_EQ(guitest::FindProcessWindow(app.Pid(), "TForm1"), nullptr);
}

TEST(Settings, Windows95RestrictionsAndIgnoreList) {
    guitest::WindowsVersion version("win95");
    HKEY control;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\control\\IDConfigDB", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &control, nullptr);
    RegSetValueExA(control, "CurrentConfig", 0, REG_SZ, reinterpret_cast<const BYTE*>("0001abc"), 8);
    RegCloseKey(control);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\control", "Current User");
    guitest::ClearSettings();
    SetString("Registry Keys To Ignore", "HKCU\\Software\\Mine", "");

    App app("", App::KeepSettings);
    REQUIRE_APP(app);
    EXPECT_EQ(Selected(app, IDC_rgRegistry), 2);
    EXPECT_TRUE(app.Enabled(IDC_rgRegistry + 1 + 2));
    EXPECT_EQ(Selected(app, IDC_rgGroups), 0);
    EXPECT_TRUE(app.Checked(IDC_cbSkipGroups));
    EXPECT_FALSE(app.Enabled(IDC_rgGroups + 1 + 1));
    EXPECT_EQ(Selected(app, IDC_rgShortcuts), 1);
    const std::vector<std::string> expected = {"HKLM\\CONFIG\\0001ABC", "HKUS\\", "HKLM\\SOFTWARE\\CLASSES",
                                               "HKCU\\Software\\Mine"};
    EXPECT_EQ(app.ListBoxItems(IDC_lbIgnoreKey), expected);
    app.Click(IDC_BtnCancel);
    app.WaitExit();
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\control\\IDConfigDB", "CurrentConfig");
}

TEST(Settings, WindowsNT351RestrictionsAndIgnoreList) {
    guitest::WindowsVersion version("nt351");
    App app;
    REQUIRE_APP(app);
    EXPECT_EQ(Selected(app, IDC_rgShortcuts), 0);
    EXPECT_TRUE(app.Checked(IDC_cbSkipShortcuts));
    for (int i = 1; i <= 3; ++i)
        EXPECT_FALSE(app.Enabled(IDC_rgShortcuts + 1 + i));
    EXPECT_EQ(Selected(app, IDC_rgGroups), 1);
    EXPECT_TRUE(app.Enabled(IDC_rgGroups + 1 + 1));
    EXPECT_FALSE(app.Checked(IDC_cbSkipGroups));
    EXPECT_EQ(Selected(app, IDC_rgRegistry), 1) << "item 2 is disabled and falls back to 1";
    EXPECT_FALSE(app.Enabled(IDC_rgRegistry + 1 + 2));
    const std::vector<std::string> list = app.ListBoxItems(IDC_lbIgnoreKey);
    ASSERT_GE(list.size(), 4u);
    EXPECT_EQ(list[0], "HKLM\\SAM");
    EXPECT_EQ(list[1], "HKLM\\Security");
    EXPECT_EQ(list[2], "HKLM\\Hardware");
    EXPECT_EQ(list.back(), "HKLM\\SOFTWARE\\CLASSES");
    if (list.size() == 5)
        EXPECT_EQ(list[3].rfind("HKUS\\S-1-", 0), 0u) << list[3];
}

TEST(Settings, WindowsNT4RestrictionsAndIgnoreList) {
    guitest::WindowsVersion version("nt40");
    App app;
    REQUIRE_APP(app);
    EXPECT_EQ(Selected(app, IDC_rgShortcuts), 1);
    EXPECT_EQ(Selected(app, IDC_rgGroups), 0);
    EXPECT_TRUE(app.Checked(IDC_cbSkipGroups));
    EXPECT_EQ(Selected(app, IDC_rgRegistry), 1);
    const std::vector<std::string> list = app.ListBoxItems(IDC_lbIgnoreKey);
    ASSERT_GE(list.size(), 4u);
    EXPECT_EQ(list[0], "HKLM\\SAM");
    EXPECT_EQ(list.back(), "HKLM\\SOFTWARE\\CLASSES");
}
