// Matching with an installed upper-casing: characters of every script are
// compared without case, an occurrence may take more or fewer bytes than the
// search string, and a replacement writes over exactly the occurrence. A
// small upper-casing stands in for the system's here; it changes the length
// of some letters in UTF-8 as real ones do.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/strings.h"

namespace movix {
namespace {

char32_t TestUpper(char32_t c) {
    if (c >= U'a' && c <= U'z')
        return c - 32;
    if (c >= 0x430 && c <= 0x44F)  // Cyrillic а..я
        return c - 0x20;
    if (c == 0x451)  // ё
        return 0x401;
    if (c == 0xE9 || c == 0xFC)  // é ü
        return c - 0x20;
    if (c == 0x131)  // dotless ı: two bytes, its capital I one
        return U'I';
    if (c == 0x250)  // ɐ: two bytes, its capital Ɐ three
        return 0x2C6F;
    if (c >= 0x10428 && c <= 0x1044F)  // Deseret small letters
        return c - 0x28;
    return c;
}

class LetterCaseTest : public ::testing::Test {
  protected:
    void SetUp() override { SetUpperCase(&TestUpper); }
    void TearDown() override { SetUpperCase(nullptr); }
};

TEST_F(LetterCaseTest, MatchAndReplaceInEveryScript) {
    struct Case {
        const char* text;
        const char* find;
        bool matches;
        const char* replaced;  // with "D:\New"
    };
    const Case cases[] = {
        {"run C:\\программы\\x.exe", "C:\\ПРОГРАММЫ", true, "run D:\\New\\x.exe"},
        {"C:\\ПРОГРАММЫ;C:\\Программы", "c:\\программы", true, "D:\\New;D:\\New"},
        // The boundary rule holds for every script: a letter goes on with the name.
        {"C:\\Программыя\\x", "C:\\ПРОГРАММЫ", false, "C:\\Программыя\\x"},
        {"C:\\Программы2 C:\\программы", "C:\\Программы", true, "C:\\Программы2 D:\\New"},
        {"c:\\cafÉ\\ü", "C:\\CAFé\\Ü", true, "D:\\New"},
        // Different lengths: ı (2 bytes) against I (1), ɐ (2) against Ɐ (3).
        {"x=C:\\ıNI\\a", "C:\\INI", true, "x=D:\\New\\a"},
        {"x=C:\\ɐB\\a", "C:\\ⱯB", true, "x=D:\\New\\a"},
        {"x=C:\\ⱯB", "C:\\ɐb", true, "x=D:\\New"},
        // Outside the BMP: Deseret 𐐨 against 𐐀, four bytes each.
        {"C:\\\xF0\x90\x90\xA8x\\y", "C:\\\xF0\x90\x90\x80X", true, "D:\\New\\y"},
        // A search that stops inside a character does not match a part of it.
        {"C:\\Я", "C:\\\xD0", false, "C:\\Я"},
        // Bytes that are not UTF-8 are compared as they are.
        {"C:\\\xFF\xE9z\\q", "C:\\\xFF\xE9Z", true, "D:\\New\\q"},
        {"C:\\\xFF\xE9z", "C:\\\xFF\xC9Z", false, "C:\\\xFF\xE9z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ContainsUpper(c.text, UpperText(c.find)), c.matches);
        std::string s = c.text;
        ReplaceAllText(s, c.find, "D:\\New");
        EXPECT_EQ(s, c.replaced);
    }
    EXPECT_TRUE(SameFileName("Программы", "ПРОГРАММЫ"));
    EXPECT_FALSE(SameFileName("Программы", "ПРОГРАММ"));
    EXPECT_EQ(UpperText("ɐı\xFFё"),
              "Ɐ"
              "I\xFF"
              "Ё");
}

// A plain reference: both texts decoded to code points, each upper-cased,
// and every start tried; the boundary rule on the byte after the match.
std::vector<char32_t> Decode(const std::string& s, std::vector<std::size_t>& starts) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        std::size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        for (std::size_t k = 1; k < n; ++k)
            c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        starts.push_back(i);
        out.push_back(TestUpper(c));
        i += n;
    }
    starts.push_back(s.size());
    return out;
}

bool RefContains(const std::string& text, const std::string& find) {
    std::vector<std::size_t> ts, fs;
    const std::vector<char32_t> t = Decode(text, ts), f = Decode(find, fs);
    if (f.empty())
        return false;
    for (std::size_t i = 0; i + f.size() <= t.size(); ++i) {
        bool same = true;
        for (std::size_t k = 0; k < f.size() && same; ++k)
            same = t[i + k] == f[k];
        if (same && IsBoundaryAfter(text, ts[i + f.size()], find))
            return true;
    }
    return false;
}

TEST_F(LetterCaseTest, AgreesWithAPlainReferenceOnRandomTexts) {
    // Well-formed UTF-8 only: letters whose capitals differ in length, a
    // non-BMP pair, separators and name characters.
    const std::vector<std::string> pieces = {
        "a",  "A", "я", "Я", "ı", "I", "ɐ", "Ɐ", "\xF0\x90\x90\xA8", "\xF0\x90\x90\x80",
        "\\", " ", "-", "é", "É", "1", "日"};
    std::mt19937 rng(12345);
    auto text = [&](int maxLen) {
        std::string s;
        const int n = static_cast<int>(rng() % static_cast<unsigned>(maxLen + 1));
        for (int i = 0; i < n; ++i)
            s += pieces[rng() % pieces.size()];
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string t = text(12), f = text(3);
        ASSERT_EQ(ContainsUpper(t, UpperText(f)), RefContains(t, f)) << t << " / " << f;
    }
}

}  // namespace
}  // namespace movix
