// The wizard on the Registry, through the real window: planted keys and
// values under HKCU and HKLM are found (ignored keys passed over), one row is
// set to N, and the replacement's effect is read back from the Registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

void SetValue(HKEY root, const char* path, const char* name, DWORD type, const std::string& data) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + (type == REG_DWORD ? 0 : 1)));
    RegCloseKey(key);
}

std::string GetValue(HKEY root, const char* path, const char* name) {
    char buffer[512] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueA(root, path, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return "<missing>";
    return buffer;
}

bool KeyExists(HKEY root, const char* path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool ValueExists(HKEY root, const char* path, const char* name) {
    return RegGetValueA(root, path, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace

TEST(EndToEnd, RegistryFoundReviewedAndRewritten) {
    struct Cleanup {
        ~Cleanup() {
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MvxE2E");
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\MvxE2E");
        }
    } cleanup;
    const std::string dword("\x01\x00\x00\x00", 4);
    SetValue(HKEY_CURRENT_USER, "Software\\MvxE2E\\Tools_MVXREG_OLD", "Kept", REG_SZ, "inside the moved key");
    SetValue(HKEY_CURRENT_USER, "Software\\MvxE2E", "Doc_MVXREG_OLD", REG_DWORD, dword);
    SetValue(HKEY_CURRENT_USER, "Software\\MvxE2E", "Path", REG_SZ, "C:\\mvxreg_old\\BIN");
    SetValue(HKEY_CURRENT_USER, "Software\\MvxE2E", "Exp", REG_EXPAND_SZ, "%SystemRoot%\\MVXREG_OLD");
    SetValue(HKEY_CURRENT_USER, "Software\\MvxE2E\\Ignored", "X", REG_SZ, "MVXREG_OLD is not looked at here");
    SetValue(HKEY_LOCAL_MACHINE, "Software\\MvxE2E", "Home", REG_SZ, "C:\\MVXREG_OLD");

    guitest::ClearSettings();
    SetValue(HKEY_CURRENT_USER, "Software\\Kestrelia\\MOVIX32\\1.0\\Registry Keys To Ignore",
             "hkcu\\software\\MVXE2E\\ignored", REG_SZ, "");
    App app("", App::KeepSettings);
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(0, 3, "MVXREG_OLD", "MVXREG_NEW", 90000));  // all of the Registry
    EXPECT_EQ(app.Text(IDC_lblFoundINI), "No INI files searched");
    EXPECT_EQ(app.Text(IDC_lblFoundReg), "5 matches in the Registry");

    struct Row {
        std::string item, path, type, sub, context;
    };
    std::vector<Row> rows;
    for (int i = 0; i < app.ListViewCount(IDC_lvFound); ++i)
        rows.push_back({app.ListViewText(IDC_lvFound, i, 0), app.ListViewText(IDC_lvFound, i, 1),
                        app.ListViewText(IDC_lvFound, i, 2), app.ListViewText(IDC_lvFound, i, 3),
                        app.ListViewText(IDC_lvFound, i, 4)});
    ASSERT_EQ(rows.size(), 5u);
    int expandRow = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].type, "REG");
        EXPECT_EQ(rows[i].path.find("Ignored"), std::string::npos) << "ignored key searched";
        if (rows[i].context == "Exp=%SystemRoot%\\MVXREG_OLD")
            expandRow = static_cast<int>(i);
    }
    ASSERT_GE(expandRow, 0);
    EXPECT_EQ(rows[static_cast<size_t>(expandRow)].sub, "dat");
    app.Screenshot("registry_results");

    // The REG_EXPAND_SZ row stays as it is.
    app.ListViewSelect(IDC_lvFound, {expandRow});
    SendMessageA(app.Main(), WM_COMMAND, IDM_No1, 0);
    app.Sync();
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 30000));

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\MvxE2E\\Tools_MVXREG_OLD"));
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, "Software\\MvxE2E\\Tools_MVXREG_NEW", "Kept"), "inside the moved key");
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, "Software\\MvxE2E", "Doc_MVXREG_OLD"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, "Software\\MvxE2E", "Doc_MVXREG_NEW"));
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, "Software\\MvxE2E", "Path"), "C:\\MVXREG_NEW\\BIN");
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, "Software\\MvxE2E", "Exp"), "%SystemRoot%\\MVXREG_OLD");
    EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, "Software\\MvxE2E", "Home"), "C:\\MVXREG_NEW");
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, "Software\\MvxE2E\\Ignored", "X"), "MVXREG_OLD is not looked at here");

    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    EXPECT_GT(log.size(), 5u);
    for (size_t i = 5; i < log.size(); ++i)
        EXPECT_NE(log[i].rfind("*****", 0), 0u) << log[i];
    std::string all;
    for (const std::string& line : log)
        all += line + "\n";
    EXPECT_NE(std::find(log.begin(), log.end(), "   new data: C:\\MVXREG_NEW\\BIN"), log.end()) << all;
    app.Screenshot("registry_log");
}
