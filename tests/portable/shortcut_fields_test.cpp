#include "targets/shortcut_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/strings.h"

using namespace movix;

TEST(ShortcutFields, InTheOrderExaminedWithLabelsThatLineUp) {
    const int order[] = {kSubTypeCommand, kSubTypeArgs, kSubTypeDir, kSubTypeIcon};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(kShortcutFields[i].SubType, order[i]);
        EXPECT_EQ(FindShortcutField(order[i]), &kShortcutFields[i]);
        EXPECT_EQ(std::strlen(kShortcutFields[i].LogLabel), std::strlen("       changed to: "));
    }
    for (int other : {0, 1, 6, 7, 8, 9, -1})
        EXPECT_EQ(FindShortcutField(other), nullptr) << other;
}

TEST(ShortcutFields, Utf16LengthCountsAsTheSystemDoes) {
    const struct {
        const char* utf8;
        std::size_t units;
    } cases[] = {
        {"", 0},
        {"C:\\APP", 6},
        {"C:\\Caf\xC3\xA9", 7},   // é: one
        {"\xE2\x82\xAC", 1},      // €: one
        {"\xF0\x9F\x98\x80", 2},  // beyond U+FFFF: a surrogate pair
        {"a\xC3", 2},             // cut short: one replacement character
        {"\x80\x80", 2},          // stray continuation bytes
        {"\xE2\x82x", 3},         // broken sequence: byte by byte
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf16Length(c.utf8), c.units) << c.utf8;
}

// 259 characters and the terminating zero fill the field: one more would be
// stored cut, so it is not stored.
TEST(ShortcutFields, RewriteFitsUpTo259Characters) {
    const std::string old = "C:\\OLD";
    const struct {
        std::string value, repl, expected;
        bool fits;
    } cases[] = {
        {"c:\\old\\a.exe", "D:\\NEW", "D:\\NEW\\a.exe", true},
        {"x", "D:\\NEW", "x", true},  // changed since the search: written back as it is
        {"C:\\OLD\\" + std::string(252, 'a'), "C:\\OLD", "C:\\OLD\\" + std::string(252, 'a'), true},
        {"C:\\OLD\\" + std::string(252, 'a'), "C:\\OLD2", "C:\\OLD2\\" + std::string(252, 'a'), false},
        {"C:\\OLD\\" + std::string(251, 'a'), "C:\\\xC3\xA9LD2", "C:\\\xC3\xA9LD2\\" + std::string(251, 'a'), true},
        {std::string(300, 'a'), "D:\\NEW", std::string(300, 'a'), false},
    };
    for (const auto& c : cases) {
        const FieldRewrite r = RewriteShortcutField(c.value, old, c.repl);
        EXPECT_EQ(r.Value, c.expected);
        EXPECT_EQ(r.Fits, c.fits) << c.expected.size();
    }
}

TEST(ShortcutFields, TooLongLineNamesFileFieldAndLength) {
    EXPECT_EQ(TooLongLine(kShortcutFields[2], "C:\\A.LNK", std::string(300, 'x')),
              "***** New working directory of C:\\A.LNK too long (300 characters, at most 259): left unchanged");
}
