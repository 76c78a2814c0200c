// The about box opened from the real window.
#include <windows.h>

#include <gtest/gtest.h>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

std::string Item(HWND box, int id) {
    return guitest::WindowTextOf(GetDlgItem(box, id));
}

}  // namespace

TEST(AboutBox, ShowsVersionPlatformProcessorAndMemory) {
    App app;
    REQUIRE_APP(app);
    app.ClickAsync(IDC_BtnAbout);
    HWND box = app.WaitWindow("#32770", "About Movix 32");
    ASSERT_NE(box, nullptr);
    RECT client;
    GetClientRect(box, &client);
    EXPECT_EQ(client.right, 360);
    EXPECT_EQ(client.bottom, 305);
    EXPECT_EQ(Item(box, IDC_LabelICVersion), "Movix 32, version 1.01");
    EXPECT_EQ(Item(box, IDC_LabelCopyOf), "This copy of Windows NT is licensed to:");
    EXPECT_EQ(Item(box, IDC_LabelPlatform).rfind("Windows NT, version ", 0), 0u);
    const std::string cpu = Item(box, IDC_LabelCPU);
    EXPECT_TRUE(cpu.find(" CPU and math coprocessor") != std::string::npos ||
                cpu.find(" CPU, no math coprocessor") != std::string::npos)
        << cpu;
    EXPECT_EQ(cpu.rfind("Unknown", 0), std::string::npos) << "the architecture names the processor: " << cpu;
    SYSTEM_INFO native = {};
    GetNativeSystemInfo(&native);
    if (native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64) {
        EXPECT_EQ(cpu.rfind("x64 CPU", 0), 0u) << cpu;
    }
    const std::string memory = Item(box, IDC_PhysMemory);
    ASSERT_GT(memory.size(), 3u);
    EXPECT_EQ(memory.substr(memory.size() - 3), " KB");
    EXPECT_NE(memory[0], '-');
    EXPECT_EQ(Item(box, IDC_LabelProductID), "") << "only Windows 95 shows a product ID";
    app.Screenshot("about_box");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(guitest::WaitFor([&] { return !IsWindow(box); }));
}

TEST(AboutBox, Windows95ShowsItsHeadingAndProductId) {
    guitest::WindowsVersion version("win95");
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, "ProductID", 0, REG_SZ, reinterpret_cast<const BYTE*>("12345-OEM"), 10);
    RegCloseKey(key);
    {
        App app;
        REQUIRE_APP(app);
        app.ClickAsync(IDC_BtnAbout);
        HWND box = app.WaitWindow("#32770", "About Movix 32");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(Item(box, IDC_LabelCopyOf), "This copy of Windows 95 is licensed to:");
        EXPECT_EQ(Item(box, IDC_LabelPlatform).rfind("Windows 95, version 4.", 0), 0u) << Item(box, IDC_LabelPlatform);
        EXPECT_EQ(Item(box, IDC_LabelProductID), "CD-ROM ID#: 12345-OEM");
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProductID");
}
