#include "about/about_text.h"

#include <gtest/gtest.h>

using namespace movix;

TEST(AboutText, PlatformsAndTheirKeys) {
    EXPECT_STREQ(AboutPlatformFor(1).name, "Windows 95");
    EXPECT_STREQ(AboutPlatformFor(1).heading, "This copy of Windows 95 is licensed to:");
    EXPECT_STREQ(AboutPlatformFor(1).versionKey, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    EXPECT_STREQ(AboutPlatformFor(2).name, "Windows NT");
    EXPECT_STREQ(AboutPlatformFor(2).versionKey, "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    EXPECT_STREQ(AboutPlatformFor(0).name, "UNKNOWN");
    EXPECT_EQ(AboutPlatformFor(0).heading, nullptr);
    EXPECT_STREQ(AboutPlatformFor(0).versionKey, "");
}

TEST(AboutText, PlatformLineHasTwoDigitMinorVersion) {
    EXPECT_EQ(PlatformLine("Windows 95", 4, 0), "Windows 95, version 4.00");
    EXPECT_EQ(PlatformLine("Windows NT", 3, 51), "Windows NT, version 3.51");
    EXPECT_EQ(PlatformLine("Windows NT", 10, 0), "Windows NT, version 10.00");
}

TEST(AboutText, ProcessorNames) {
    EXPECT_EQ(ProcessorName(386), "80386");
    EXPECT_EQ(ProcessorName(486), "80486");
    EXPECT_EQ(ProcessorName(586), "Pentium");
    EXPECT_EQ(ProcessorName(4000), "Unknown (4000)");
    // Types that name no model: the architecture says what the processor is.
    const struct {
        unsigned long type;
        unsigned architecture;
        const char* name;
    } cases[] = {
        {8664, kArchX64, "x64"},      {0, kArchArm64, "ARM64"},     {8664, kArchArm64, "ARM64"},
        {2577, kArchArm, "ARM"},      {2200, kArchItanium, "Itanium"}, {686, kArchX86, "x86"},
        {586, kArchX64, "Pentium"},   {8664, kArchUnknown, "Unknown (8664)"}, {8664, 77, "Unknown (8664)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProcessorName(c.type, c.architecture), c.name) << c.type << " / " << c.architecture;
}
