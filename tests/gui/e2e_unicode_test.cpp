// The wizard with an Old address in several scripts, typed into the real
// window: it shows and stays as typed, finds the INI line that spells it in
// another letter case (in a UTF-16 file), and the replacement writes the New
// address over exactly that text, in the file's own encoding. The test
// command runs this test a second time against the build whose manifest asks
// for no UTF-8 code page (MOVIX_EXE_NAME), as Windows 7 and 8 run it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

// UTF-16 LE bytes with their mark, of UTF-8 text.
std::string Utf16File(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

}  // namespace

TEST(EndToEndUnicode, AnOldAddressInEveryScriptStaysAsTypedAndIsReplaced) {
    // Cyrillic, accented Latin, CJK, and Deseret (outside the BMP) capitals;
    // the file holds the small letters.
    const std::string oldAddress = "C:\\Программы\\Ünï 日本 \xF0\x90\x90\x80";
    const std::string held = "c:\\ПРОГРАММЫ\\üNÏ 日本 \xF0\x90\x90\xA8";
    const std::string newAddress = "D:\\Νέο Ελληνικά";
    const std::string ini = guitest::WindowsDir() + "\\MVXUNI.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXUNI.BAK";
    DeleteFileA(bak.c_str());
    const std::string before = "[Пути]\r\nexe=" + held + "\\run.exe\r\nother=" + held + "x\r\n";
    guitest::WriteFile(ini, Utf16File(before));
    struct Cleanup {
        std::string a, b;
        ~Cleanup() {
            DeleteFileA(a.c_str());
            DeleteFileA(b.c_str());
        }
    } cleanup{ini, bak};

    App app;
    REQUIRE_APP(app);
    ASSERT_TRUE(app.SearchWith(2, 0, oldAddress, newAddress));
    EXPECT_EQ(app.Text(IDC_EditOldAddress), oldAddress);
    EXPECT_EQ(app.Text(IDC_EditNewAddress), newAddress);
    ASSERT_EQ(app.ListViewCount(IDC_lvFound), 1);
    EXPECT_EQ(app.ListViewText(IDC_lvFound, 0, 0), "MVXUNI.INI");
    EXPECT_NE(app.ListViewText(IDC_lvFound, 0, 4).find("exe=" + held + "\\run.exe"), std::string::npos)
        << app.ListViewText(IDC_lvFound, 0, 4);

    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.SubPage(), 2);
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), 8);
    app.Click(IDC_BtnNext);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.Page() == 10; }, 30000));

    EXPECT_EQ(guitest::ReadAll(ini), Utf16File("[Пути]\r\nexe=" + newAddress + "\\run.exe\r\nother=" + held + "x\r\n"));
    EXPECT_EQ(guitest::ReadAll(bak), Utf16File(before));
    const std::vector<std::string> log = app.ListBoxItems(IDC_lbReport);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[2], "Old address: " + oldAddress);
    EXPECT_EQ(log[3], "New address: " + newAddress);
    bool changed = false;
    for (const std::string& line : log)
        changed = changed || line == "       changed to: exe=" + newAddress + "\\run.exe";
    EXPECT_TRUE(changed);
    for (const std::string& line : log)
        EXPECT_NE(line.rfind("*****", 0), 0u) << line;
}
