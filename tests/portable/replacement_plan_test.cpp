#include "engine/replacement_plan.h"

#include <gtest/gtest.h>

#include "engine/rtf_report.h"

using namespace movix;

namespace {

TFoundItem Row(int kind, const std::string& item, const std::string& path, const std::string& context,
               int subType = 6, TMark mark = MarkY) {
    TFoundItem row;
    row.Kind = kind;
    row.Item = item;
    row.Path = path;
    row.Context = context;
    row.SubType = subType;
    row.Mark = mark;
    return row;
}

}  // namespace

TEST(ReplacementPlan, KeysJoinPathAndItemWithOneBackslash) {
    EXPECT_EQ(TargetKey(Row(KindIni, "WIN.INI", "C:\\WINDOWS", "")), "C:\\WINDOWS\\WIN.INI");
    EXPECT_EQ(TargetKey(Row(KindIni, "A.INI", "C:\\", "")), "C:\\A.INI");
    // A drive's own folder reported as "C:" gets the backslash.
    EXPECT_EQ(TargetKey(Row(KindLnk, "APP.LNK", "C:", "")), "C:\\APP.LNK");
    EXPECT_EQ(TargetKey(Row(KindGrp, "Editor", "Accessories", "")), "Accessories");
    EXPECT_EQ(TargetKey(Row(KindReg, "Path", "HKCU\\Software\\Acme", "")), "HKCU\\Software\\Acme");
}

TEST(ReplacementPlan, HitTextsByKind) {
    EXPECT_EQ(HitText(Row(KindIni, "A.INI", "C:", "[Paths]Home=c:\\old\\Ä")), "[PATHS]HOME=C:\\OLD\\Ä");
    EXPECT_EQ(HitText(Row(KindLnk, "A.LNK", "C:", "c:\\old\\a.exe")), "C:\\OLD\\A.EXE");
    EXPECT_EQ(HitText(Row(KindGrp, "My Editor", "Tools", "c:\\old\\ed.exe")), "My Editor");
    EXPECT_EQ(HitText(Row(KindReg, "x", "HKCU\\K", "Path=c:\\old")), "Path=c:\\old");
}

TEST(ReplacementPlan, AdjacentRowsOfOneTargetFormOneGroup) {
    const std::vector<TFoundItem> rows = {
        Row(KindIni, "A.INI", "C:\\W", "[S1]k=c:\\old", 6),
        Row(KindIni, "A.INI", "C:\\W", "[S2]", 1),
        Row(KindLnk, "APP.LNK", "C:\\ONE", "c:\\old\\a.exe", 2),
        Row(KindLnk, "APP.LNK", "C:\\TWO", "c:\\old\\a.exe", 2),
        Row(KindNone, "<none>", "<none>", "<none>", 0),
        Row(KindReg, "v", "HKCU\\K", "v=c:\\old", 8),
        Row(KindReg, "w", "HKCU\\k", "w=c:\\old", 8),
    };
    const TReplacePlan plan = GroupRows(rows);
    ASSERT_EQ(plan.Groups[KindIni].size(), 1u);
    EXPECT_EQ(plan.Groups[KindIni][0].Key, "C:\\W\\A.INI");
    ASSERT_EQ(plan.Groups[KindIni][0].Hits.size(), 2u);
    EXPECT_EQ(plan.Groups[KindIni][0].Hits[0].Text, "[S1]K=C:\\OLD");
    EXPECT_EQ(plan.Groups[KindIni][0].Hits[1].SubType, 1);
    // The same file name in two folders: two groups.
    ASSERT_EQ(plan.Groups[KindLnk].size(), 2u);
    EXPECT_TRUE(plan.Groups[KindGrp].empty());
    // Keys compare exactly: a case difference makes a new group.
    ASSERT_EQ(plan.Groups[KindReg].size(), 2u);
    EXPECT_EQ(plan.Groups[KindReg][1].Hits[0].Text, "w=c:\\old");
    EXPECT_TRUE(plan.Groups[0].empty());
}

// The move's row is no target: no replacer ever gets it.
TEST(ReplacementPlan, TheMoveRowIsNoTarget) {
    const TReplacePlan plan = GroupRows({MoveRowItem("C:\\Quill", "D:\\Quill"), Row(KindIni, "A.INI", "C:\\W", "x")});
    std::size_t groups = 0;
    for (const auto& kind : plan.Groups)
        groups += kind.size();
    EXPECT_EQ(groups, 1u);
    EXPECT_EQ(plan.Groups[KindIni].size(), 1u);
}

TEST(ReplacementPlan, OnlyTheLastGroupIsComparedSoSeparatedRowsSplit) {
    const std::vector<TFoundItem> rows = {Row(KindIni, "A.INI", "C:", "x"), Row(KindIni, "B.INI", "C:", "y"),
                                          Row(KindIni, "A.INI", "C:", "z")};
    EXPECT_EQ(GroupRows(rows).Groups[KindIni].size(), 3u);
}

TEST(ReportDate, PatternWithTwelveHourClock) {
    EXPECT_EQ(FormatReportDate("Monday", "December", 7, 2026, 8, 5), "Monday, December 7, 2026  08:05 AM");
    EXPECT_EQ(FormatReportDate("Monday", "December", 7, 2026, 0, 0), "Monday, December 7, 2026  12:00 AM");
    EXPECT_EQ(FormatReportDate("Monday", "December", 7, 2026, 12, 30), "Monday, December 7, 2026  12:30 PM");
    EXPECT_EQ(FormatReportDate("Friday", "May", 31, 1996, 23, 59), "Friday, May 31, 1996  11:59 PM");
}

TEST(RtfReport, EscapesBackslashesAndBraces) {
    EXPECT_EQ(RtfEscape("C:\\{A}\\B"), "C:\\\\\\{A\\}\\\\B");
    EXPECT_EQ(RtfEscape("plain \xC3\xA4"), "plain \\u228\\'3f");
    EXPECT_EQ(RtfEscape(""), "");
    EXPECT_EQ(RtfEscape("\\\\"), "\\\\\\\\");
}

TEST(RtfReport, ExactDocumentWithOnlyYRows) {
    const std::vector<TFoundItem> rows = {
        Row(KindIni, "A.INI", "C:\\W", "[S]k=c:\\old{1}", 6, MarkY),
        Row(KindIni, "B.INI", "C:\\W", "[S]k=c:\\old", 6, MarkN),
        Row(KindReg, "v", "HKCU\\K", "v=x", 9, MarkY),
    };
    const std::string expected =
        "{\\rtf1\\ansi\\widowctrl\\fs32\r\n"
        "{\\info{\\title Items containing \"C:\\\\OLD\\{x\\}\"}\r\n"
        "{\\author Movix 32, a Kestrelia utility}\r\n"
        "{\\comment This is just a comment}}\r\n"
        "{\\header \\tqc\\tx4320\\tqr\\tx8640\r\n"
        "\\chdate \\tab MOVIX32 Report \\tab \\chpgn \\par\r\n"
        "\\tab Seeking text \"C:\\\\OLD\\{x\\}\" \\par}\\pard\\fs20\r\n"
        "\\intbl\\trowd\\cellx1440\\cellx3600\\cellx4320\\cellx5760\\cellx9540 \r\n"
        "{\\b Item\\cell Path\\cell Type\\cell SubType\\cell Context\\cell} \\row\r\n"
        "\\trowd\\cellx1440\\cellx3600\\cellx4320\\cellx5760\\cellx9540 \r\n"
        "A.INI\\cell C:\\\\W\\cell INI\\cell key\\cell [S]k=c:\\\\old\\{1\\}\\cell \\row\r\n"
        "\\trowd\\cellx1440\\cellx3600\\cellx4320\\cellx5760\\cellx9540 \r\n"
        "v\\cell HKCU\\\\K\\cell REG\\cell dat\\cell v=x\\cell \\row\r\n"
        "}";
    EXPECT_EQ(FoundListRtf("C:\\OLD{x}", rows), expected);
}

TEST(RtfReport, NoYRowsGivesTheHeadingRowOnly) {
    const std::string rtf = FoundListRtf("C:\\OLD", {Row(KindIni, "A.INI", "C:", "x", 6, MarkN)});
    EXPECT_EQ(rtf.find("A.INI"), std::string::npos);
    EXPECT_NE(rtf.find("Context\\cell} \\row\r\n}"), std::string::npos);
    EXPECT_EQ(rtf.back(), '}');
}

TEST(LogFile, EveryLineEndsWithCrLfBlankLinesIncluded) {
    EXPECT_EQ(LogFileText({"a", "", "*****b"}), "a\r\n\r\n*****b\r\n");
    EXPECT_EQ(LogFileText({}), "");
}

// Files the search found inside the program's folder before it was moved
// are named where the move put them; nothing else changes.
TEST(ReplacementPlan, FilesInTheMovedFolderAreNamedAtNew) {
    std::vector<TFoundItem> rows = {
        Row(KindCfg, "settings.json", "C:\\QUILL", "x", 14, MarkY),
        Row(KindIni, "Q.INI", "c:\\quill\\CONF", "x", 6, MarkY),
        Row(KindCfg, "a.json", "C:\\QUILLPRO", "x", 12, MarkY),
        Row(KindReg, "v", "C:\\QUILL", "x", 8, MarkY),
        Row(KindLnk, "Q.LNK", "C:\\Users\\x\\Desktop", "x", 2, MarkY),
    };
    RebaseMovedFiles(rows, "C:\\QUILL\\", "D:\\Apps\\Quillpad");
    const std::vector<std::string> paths = {"D:\\Apps\\Quillpad", "D:\\Apps\\Quillpad\\CONF", "C:\\QUILLPRO",
                                            "C:\\QUILL", "C:\\Users\\x\\Desktop"};
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].Path, paths[i]) << i;
}
