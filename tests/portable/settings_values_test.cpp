#include "app/settings.h"
#include "core/strings.h"

#include <gtest/gtest.h>

using namespace movix;

TEST(StoredInteger, DecimalHexAndDefaults) {
    EXPECT_EQ(ParseStoredInteger("3", 9), 3);
    EXPECT_EQ(ParseStoredInteger("-5", 9), -5);
    EXPECT_EQ(ParseStoredInteger("0x3", 9), 3);
    EXPECT_EQ(ParseStoredInteger("0X1f", 9), 31);
    EXPECT_EQ(ParseStoredInteger("0x", 9), 9);
    EXPECT_EQ(ParseStoredInteger("0xZ", 9), 9);
    EXPECT_EQ(ParseStoredInteger("", 9), 9);
    EXPECT_EQ(ParseStoredInteger("abc", 9), 9);
    EXPECT_EQ(ParseStoredInteger("12abc", 9), 9);
    EXPECT_EQ(ParseStoredInteger("-", 9), 9);
    EXPECT_EQ(ParseStoredInteger("2147483647", 9), 2147483647);
    EXPECT_EQ(ParseStoredInteger("-2147483648", 9), -2147483647 - 1);
    EXPECT_EQ(ParseStoredInteger("2147483648", 9), 9);
    EXPECT_EQ(ParseStoredInteger("99999999999999999999", 9), 9);
    EXPECT_EQ(ParseStoredInteger("0xFFFFFFFF", 9), -1);
    EXPECT_EQ(ParseStoredInteger("0x100000000", 9), 9);
}

TEST(StoredInteger, ItemIndexClamping) {
    EXPECT_EQ(ClampItemIndex(-5, 4), -1);
    EXPECT_EQ(ClampItemIndex(-1, 4), -1);
    EXPECT_EQ(ClampItemIndex(2, 4), 2);
    EXPECT_EQ(ClampItemIndex(7, 4), 3);
}

TEST(SidText, AuthorityAndSubAuthorities) {
    const unsigned char nt[6] = {0, 0, 0, 0, 0, 5};
    const unsigned long parts[] = {21, 2147483648ul, 4294967295ul, 1001};
    EXPECT_EQ(SidText(nt, parts, 4), "S-1-5-21-2147483648-4294967295-1001");
    const unsigned char big[6] = {0, 1, 0, 0, 0, 0};
    EXPECT_EQ(SidText(big, parts, 1), "S-1-0x000100000000-21");
    const unsigned char wide[6] = {0, 0, 1, 2, 3, 4};
    EXPECT_EQ(SidText(wide, parts, 0), "S-1-16909060");
}

TEST(IgnoreListUpperCase, LeavesOtherCharactersAlone) {
    EXPECT_EQ(UpperAscii("abc\xC3\xA4z0"), "ABC\xC3\xA4Z0");
}
