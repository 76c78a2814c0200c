// A row whose Old address is followed by what may go on with its name may
// name a longer folder: its help popup and the saved report say so, and the
// shipped help file explains it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/help_file.h"
#include "core/found_items.h"
#include "core/strings.h"
#include "engine/rtf_report.h"

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace movix;

namespace {

TFoundItem Hit(int kind, int subType, const std::string& context, bool flagged) {
    TFoundItem row;
    row.Item = "A.INI";
    row.Path = "C:\\W";
    row.Kind = kind;
    row.SubType = subType;
    row.Context = context;
    row.MaybeLonger = flagged;
    return row;
}

TEST(LongerNameRow, HelpPopupSaysWhyForEveryKindOfHit) {
    const int kinds[][2] = {{KindIni, 1}, {KindIni, 6}, {KindGrp, 2}, {KindLnk, 5}, {KindReg, 6}, {KindReg, 9}};
    for (const auto& k : kinds) {
        EXPECT_EQ(HelpContextOfRow(Hit(k[0], k[1], "x", true)), LongerNameHelpContext) << k[0] << " " << k[1];
        EXPECT_EQ(HelpContextOfRow(Hit(k[0], k[1], "x", false)), HelpContextForRow(KindText(k[0]), k[1]));
    }
    // A row without a help text of its own keeps the list's.
    EXPECT_EQ(HelpContextOfRow(Hit(0, 0, "x", true)), LvFoundHelpContext);
    EXPECT_EQ(HelpContextOfRow(PlaceholderItem()), LvFoundHelpContext);
}

TEST(LongerNameRow, RowIsFlaggedByTheTextItsReplacerRewrites) {
    const struct {
        int kind, subType;
        const char* context;
        const char* old;
        bool flagged;
    } cases[] = {
        // A section header's closing bracket ends the name in it.
        {KindIni, kSubTypeSection, "[C:\\Tools\\Notepad]", "C:\\Tools\\Notepad", false},
        {KindIni, kSubTypeSection, "[C:\\Tools\\Notepad++]", "C:\\Tools\\Notepad", true},
        {KindIni, kSubTypeSection, "[C:\\Tools\\Notepad+", "C:\\Tools\\Notepad", true},
        {KindIni, kSubTypeKey, "[S]Path=C:\\Tools\\Notepad++\\np.exe", "C:\\Tools\\Notepad", true},
        {KindIni, kSubTypeKey, "[S]Path=C:\\Tools\\Notepad]", "C:\\Tools\\Notepad", true},
        {KindReg, kSubTypeData, "Dir=C:\\Program Files (x86)\\App", "C:\\Program Files", true},
        {KindReg, kSubTypeData, "Dir=C:\\Program Files\\App", "C:\\Program Files", false},
        {KindLnk, 3, "C:\\Acme Tools,0", "C:\\Acme Tools", false},
        {KindGrp, 2, "C:\\ACME TOOLS /S", "C:\\Acme Tools", false},
        {KindGrp, 2, "C:\\Data\\Foo(old)\\a.txt", "C:\\Data\\Foo", true},
    };
    for (const auto& c : cases) {
        const TFoundItem row = MakeFoundItem("i", "p", c.context, c.kind, c.subType, "", UpperAscii(c.old));
        EXPECT_EQ(row.MaybeLonger, c.flagged) << c.context;
        EXPECT_EQ(row.Mark, MarkY) << c.context;
    }
}

TEST(LongerNameRow, ReportAddsTheNoteToTheContextCellOnly) {
    TFoundItem plain = Hit(KindIni, 6, "[S]k=C:\\Acme Tools\\x", false);
    TFoundItem flagged = Hit(KindIni, 6, "[S]k=C:\\Acme Tools 2\\x", true);
    const std::string unflaggedOnly = FoundListRtf("C:\\Acme Tools", {plain});
    const std::string both = FoundListRtf("C:\\Acme Tools", {plain, flagged});
    // The unflagged row is written as before; the flagged one follows it
    // with the note inside its Context cell.
    const std::string tail =
        "\\trowd\\cellx1440\\cellx3600\\cellx4320\\cellx5760\\cellx9540 \r\n"
        "A.INI\\cell C:\\\\W\\cell INI\\cell key\\cell [S]k=C:\\\\Acme Tools 2\\\\x" +
        std::string(LongerNameNote) + "\\cell \\row\r\n}";
    ASSERT_EQ(both.size(), unflaggedOnly.size() - 1 + tail.size());
    EXPECT_EQ(both.substr(0, unflaggedOnly.size() - 1), unflaggedOnly.substr(0, unflaggedOnly.size() - 1));
    EXPECT_EQ(both.substr(unflaggedOnly.size() - 1), tail);
    EXPECT_EQ(unflaggedOnly.find("longer"), std::string::npos);
    // The note holds nothing that would break the table.
    const std::string note = LongerNameNote;
    int depth = 0;
    for (char c : note) {
        depth += c == '{' ? 1 : (c == '}' ? -1 : 0);
        EXPECT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(note.find("\\cell"), std::string::npos);
    EXPECT_EQ(note.find("\\row"), std::string::npos);
}

TEST(LongerNameRow, UnrtfShowsTheNoteInTheContextCell) {
#ifdef _WIN32
    GTEST_SKIP() << "unrtf runs on the build machine only";
#else
    if (access("/usr/bin/unrtf", X_OK) != 0)
        GTEST_SKIP() << "unrtf is not installed";
    const std::string path = testing::TempDir() + "movix_longer_name_test.rtf";
    {
        std::ofstream out(path, std::ios::binary);
        out << FoundListRtf("C:\\Acme Tools", {Hit(KindIni, 6, "[S]k=C:\\Acme Tools\\x", false),
                                               Hit(KindReg, 8, "v=C:\\Acme Tools 2\\y", true)});
    }
    FILE* pipe = popen(("/usr/bin/unrtf --html '" + path + "' 2>/dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string html;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        html.append(buffer, got);
    pclose(pipe);
    std::remove(path.c_str());
    // The note is in the flagged row's Context cell, and only there.
    const std::size_t flagged = html.find("v=C:\\Acme Tools 2\\y");
    ASSERT_NE(flagged, std::string::npos) << html;
    const std::size_t note = html.find("may be part of a longer folder name");
    ASSERT_NE(note, std::string::npos) << html;
    EXPECT_GT(note, flagged);
    EXPECT_LT(note, html.find("</td>", flagged)) << html;
    EXPECT_EQ(html.find("<td>", flagged), html.find("<td>", note)) << "no cell between them";
    const std::size_t after = note + std::string("may be part of a longer folder name").size();
    EXPECT_EQ(html.find("longer folder name", after), std::string::npos);
    EXPECT_EQ(html.find("longer folder name"), note + std::string("may be part of a ").size());
#endif
}

TEST(LongerNameRow, ShippedHelpFileExplainsTheFlagAndTheRule) {
    std::string source = __FILE__;
    for (int up = 0; up < 3 && !source.empty(); ++up)
        source = source.substr(0, source.find_last_of("\\/"));
    std::string text;
    // A compiler cache may give a path relative to the build folder: then the
    // copy beside the program, or the source tree from the tests' folder.
    bool read = false;
    for (const std::string& name : {source + "/res/MOVIX32.HLP", std::string("../MOVIX32.HLP"),
                                    std::string("../../../res/MOVIX32.HLP")})
        if (!read)
            read = ReadHelpFileText(name, text) == HelpFileLoad::Ok;
    ASSERT_TRUE(read) << source;
    const HelpFile file = HelpFile::Parse(text);
    EXPECT_TRUE(file.issues().empty());
    const HelpPopup* popup = file.FindPopup(LongerNameHelpContext);
    ASSERT_NE(popup, nullptr);
    const std::string why = FormatHelpText(popup->paragraphs, "\n");
    EXPECT_NE(why.find("longer folder"), std::string::npos) << why;
    EXPECT_NE(why.find("mark it N"), std::string::npos) << why;
    EXPECT_NE(why.find("C:\\TOOLS\\NOTEPAD++"), std::string::npos) << why;
    // The page that explains matching no longer says a longer name is found.
    const std::string matching = FormatHelpText(file.FindTopic(2)->paragraphs, "\n");
    EXPECT_EQ(matching.find("is also found inside C:\\APPS"), std::string::npos);
    EXPECT_NE(matching.find("but not in C:\\APPS"), std::string::npos) << matching;
    EXPECT_NE(matching.find("is found in C:\\PROGRAM FILES (X86)"), std::string::npos) << matching;
}

}  // namespace
