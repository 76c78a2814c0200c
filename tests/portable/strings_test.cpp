#include <gtest/gtest.h>

#include <string>

#include "core/strings.h"

using namespace movix;

TEST(MatchRule, FindsSearchStringInAnyAsciiCase) {
    EXPECT_TRUE(ContainsUpper("C:\\Old\\A.EXE", UpperAscii("c:\\old")));
    EXPECT_TRUE(ContainsUpper("path=c:\\OLD", "C:\\OLD"));
    EXPECT_TRUE(ContainsUpper("C:\\OLD", "C:\\OLD"));
    EXPECT_FALSE(ContainsUpper("C:\\OL", "C:\\OLD"));
    EXPECT_FALSE(ContainsUpper("C:\\OLX\\C:\\OL", "C:\\OLD"));
    // A partial match just before the real one must not hide it.
    EXPECT_TRUE(ContainsUpper("C:\\C:\\OLD", "C:\\OLD"));
    EXPECT_TRUE(ContainsUpper("aaab", "AAB"));
}

TEST(MatchRule, EmptySearchStringMatchesNothing) {
    EXPECT_FALSE(ContainsUpper("anything", ""));
    EXPECT_FALSE(ContainsUpper("", ""));
}

TEST(MatchRule, AccentedLettersMatchOnlyThemselves) {
    // UTF-8 bytes of é and É differ; only ASCII letters are folded.
    const std::string lower = "C:\\caf\xC3\xA9";
    const std::string upper = "C:\\CAF\xC3\x89";
    EXPECT_EQ(UpperAscii(lower), "C:\\CAF\xC3\xA9");
    EXPECT_TRUE(ContainsUpper(lower, UpperAscii(lower)));
    EXPECT_FALSE(ContainsUpper(upper, UpperAscii(lower)));
    EXPECT_FALSE(ContainsUpper(lower, UpperAscii(upper)));
    // Single-byte accented characters (code page text) too.
    EXPECT_FALSE(ContainsUpper("\xE9", "\xC9"));
    EXPECT_TRUE(ContainsUpper("x\xE9y", "\xE9Y"));
}

TEST(ReplaceAllText, ReplacesEveryOccurrenceWithoutKeepingCase) {
    std::string s = "c:\\old\\x;C:\\OLD\\y";
    ReplaceAllText(s, "C:\\OLD", "D:\\NEW");
    EXPECT_EQ(s, "D:\\NEW\\x;D:\\NEW\\y");

    s = "c:\\old";
    ReplaceAllText(s, "C:\\OLD", "D:\\NEW");
    EXPECT_EQ(s, "D:\\NEW");

    // The find text itself in any case.
    s = "x=C:\\Old\\a";
    ReplaceAllText(s, "c:\\old", "D:\\New");
    EXPECT_EQ(s, "x=D:\\New\\a");
}

TEST(ReplaceAllText, ReplacementContainingFindIsNotSearchedAgain) {
    std::string s = "C:\\APP\\A.EXE";
    ReplaceAllText(s, "C:\\APP", "C:\\APP\\V2");
    EXPECT_EQ(s, "C:\\APP\\V2\\A.EXE");

    s = "a;a;a;a";
    ReplaceAllText(s, "a", "aa");
    EXPECT_EQ(s, "aa;aa;aa;aa");

    s = "ab;ab";
    ReplaceAllText(s, "AB", "b");
    EXPECT_EQ(s, "b;b");
}

TEST(ReplaceAllText, EdgeInputsLeaveTextAloneOrDelete) {
    std::string s = "C:\\OLD\\x";
    ReplaceAllText(s, "", "D:\\NEW");
    EXPECT_EQ(s, "C:\\OLD\\x");

    s = "C:\\O";
    ReplaceAllText(s, "C:\\OLD", "D:\\NEW");
    EXPECT_EQ(s, "C:\\O");

    s = "C:\\OLD\\a;c:\\old\\b";
    ReplaceAllText(s, "C:\\OLD", "");
    EXPECT_EQ(s, "\\a;\\b");

    s = "";
    ReplaceAllText(s, "X", "Y");
    EXPECT_EQ(s, "");

    s = "no match here";
    ReplaceAllText(s, "C:\\OLD", "D:\\NEW");
    EXPECT_EQ(s, "no match here");
}

TEST(ReplaceAllText, WorksBeyondSixteenBitPositions) {
    // Matches far past position 65,535 are replaced like any other.
    std::string s(70000, 'x');
    s += "c:\\old";
    s += std::string(70000, ';');
    s += "C:\\OLD";
    ReplaceAllText(s, "C:\\OLD", "D:\\NEW\\LONGER");
    ASSERT_EQ(s.size(), 140000u + 2 * std::string("D:\\NEW\\LONGER").size());
    EXPECT_EQ(s.substr(70000, 13), "D:\\NEW\\LONGER");
    EXPECT_EQ(s.substr(s.size() - 13), "D:\\NEW\\LONGER");
    EXPECT_EQ(s.find("OLD"), std::string::npos);

    // Many matches in a long string: every one is replaced.
    std::string many;
    for (int i = 0; i < 20000; ++i)
        many += "c:\\old;";
    ReplaceAllText(many, "C:\\OLD", "D:\\N");
    std::string expected;
    for (int i = 0; i < 20000; ++i)
        expected += "D:\\N;";
    EXPECT_EQ(many, expected);
}

TEST(ExtensionChange, BackupAndTempNamesReplaceTheLastExtension) {
    EXPECT_EQ(BackupName("C:\\WINDOWS\\WIN.INI"), "C:\\WINDOWS\\WIN.BAK");
    EXPECT_EQ(TempName("C:\\WINDOWS\\WIN.INI"), "C:\\WINDOWS\\WIN.$$$");
    EXPECT_EQ(BackupName("C:\\APP.V2\\README"), "C:\\APP.V2\\README.BAK");
    EXPECT_EQ(TempName("C:\\APP.V2\\README"), "C:\\APP.V2\\README.$$$");
    EXPECT_EQ(BackupName("C:\\A\\B.TAR.GZ"), "C:\\A\\B.TAR.BAK");
    EXPECT_EQ(BackupName("C:FILE"), "C:FILE.BAK");
    EXPECT_EQ(BackupName("C:X.INI"), "C:X.BAK");
    EXPECT_EQ(BackupName("WIN.INI"), "WIN.BAK");
    EXPECT_EQ(BackupName("C:\\DIR\\"), "C:\\DIR\\.BAK");
    EXPECT_EQ(BackupName(""), ".BAK");
    EXPECT_EQ(TempName("C:\\X\\.INI"), "C:\\X\\.$$$");
}

// Windows takes "/" for a folder separator too: a dot in a folder's name
// before one is no extension of the file's.
TEST(ExtensionChange, ASlashEndsAFolderNameLikeABackslash) {
    EXPECT_EQ(BackupName("C:/APP.V2/README"), "C:/APP.V2/README.BAK");
    EXPECT_EQ(TempName("C:\\APP.V2/WIN.INI"), "C:\\APP.V2/WIN.$$$");
    EXPECT_EQ(ChangeExtension("C:/V1.2/MOVIX32", ".HLP"), "C:/V1.2/MOVIX32.HLP");
}

TEST(KindExtension, GivesTheTypeTextOfEachKind) {
    EXPECT_STREQ(KindExtension(KindIni), "INI");
    EXPECT_STREQ(KindExtension(KindGrp), "GRP");
    EXPECT_STREQ(KindExtension(KindLnk), "LNK");
    EXPECT_STREQ(KindExtension(KindReg), "REG");
    EXPECT_STREQ(KindExtension(0), "err");
    EXPECT_STREQ(KindExtension(5), "err");
    EXPECT_STREQ(KindExtension(-1), "err");
}
