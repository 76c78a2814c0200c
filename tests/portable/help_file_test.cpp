#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/help_file.h"
#include "app/help_protocol.h"

using namespace movix;

namespace {

std::string Body(const HelpTopic* topic) { return topic ? FormatHelpText(topic->paragraphs, "\n") : "<missing>"; }
std::string Body(const HelpPopup* popup) { return popup ? FormatHelpText(popup->paragraphs, "\n") : "<missing>"; }

std::string FixLineEnds(const std::string& lf, const char* newline) {
    std::string out;
    for (char c : lf) {
        if (c == '\n')
            out += newline;
        else
            out += c;
    }
    return out;
}

bool ReadableFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

// The help file in the source tree, found from this source file's own path;
// the copy beside the built program serves where that path does not resolve.
std::string RealHelpFilePath() {
#ifdef MOVIX_SOURCE_DIR
    // Named by the build: __FILE__ may be relative to where the compiler
    // ran (a compiler cache makes it so), not to where the test runs.
    if (ReadableFile(MOVIX_SOURCE_DIR "/res/MOVIX32.HLP"))
        return MOVIX_SOURCE_DIR "/res/MOVIX32.HLP";
#endif
    std::string source = __FILE__;
    std::string::size_type cut = source.find_last_of("\\/");
    cut = cut == std::string::npos ? std::string::npos : source.find_last_of("\\/", cut - 1);
    cut = cut == std::string::npos ? std::string::npos : source.find_last_of("\\/", cut - 1);
    if (cut != std::string::npos) {
        std::string candidate = source.substr(0, cut + 1) + "res/MOVIX32.HLP";
        if (ReadableFile(candidate))
            return candidate;
    }
    for (const char* candidate : {"../MOVIX32.HLP", "MOVIX32.HLP", "../res/MOVIX32.HLP"})
        if (ReadableFile(candidate))
            return candidate;
    return std::string();
}

}  // namespace

TEST(HelpFileParse, ReadsTopicsAndPopupsByContext) {
    HelpFile file = HelpFile::Parse(
        "# comment\n"
        "@topic 0 Contents\n"
        "First paragraph.\n"
        "\n"
        "Second paragraph.\n"
        "@popup 23\n"
        "The Old address.\n"
        "@topic 2 Old and New Address\n"
        "Page text.\n");
    EXPECT_TRUE(file.issues().empty());
    ASSERT_EQ(file.topics().size(), 2u);
    ASSERT_EQ(file.popups().size(), 1u);
    ASSERT_NE(file.FindTopic(0), nullptr);
    EXPECT_EQ(file.FindTopic(0)->title, "Contents");
    EXPECT_EQ(Body(file.FindTopic(0)), "First paragraph.\n\nSecond paragraph.");
    EXPECT_EQ(file.FindTopic(2)->title, "Old and New Address");
    EXPECT_EQ(Body(file.FindTopic(2)), "Page text.");
    EXPECT_EQ(Body(file.FindPopup(23)), "The Old address.");
    EXPECT_EQ(file.FindTopic(23), nullptr);
    EXPECT_EQ(file.FindPopup(0), nullptr);
    EXPECT_EQ(file.FindTopic(99), nullptr);
    // File order is kept for the viewer's list of topics.
    EXPECT_EQ(file.topics()[0].context, 0u);
    EXPECT_EQ(file.topics()[1].context, 2u);
}

TEST(HelpFileParse, JoinsWrappedLinesAndKeepsListEntriesOnTheirOwnLines) {
    HelpFile file = HelpFile::Parse(
        "@topic 3 Options\n"
        "   Choose where\n"
        "the search goes:   \n"
        "- No INI files.\n"
        "- All INI files in\n"
        "  all folders.\n"
        "\n"
        "\n"
        "Last paragraph.\n"
        "\n");
    const HelpTopic* topic = file.FindTopic(3);
    ASSERT_NE(topic, nullptr);
    ASSERT_EQ(topic->paragraphs.size(), 2u);
    EXPECT_EQ(topic->paragraphs[0], "Choose where the search goes:\n- No INI files.\n- All INI files in all folders.");
    EXPECT_EQ(topic->paragraphs[1], "Last paragraph.");
    EXPECT_EQ(FormatHelpText(topic->paragraphs, "\r\n"),
              "Choose where the search goes:\r\n- No INI files.\r\n- All INI files in all folders.\r\n\r\n"
              "Last paragraph.");
}

TEST(HelpFileParse, GivesTheSameResultForCrLfLfAndLoneCrLineEnds) {
    const std::string lf =
        "# c\n@topic 4 Groups\nLine one\nline two.\n\n- item\n@popup 27\nGroups popup.\n";
    HelpFile a = HelpFile::Parse(lf);
    for (const char* newline : {"\r\n", "\r"}) {
        HelpFile b = HelpFile::Parse(FixLineEnds(lf, newline));
        EXPECT_TRUE(b.issues().empty());
        ASSERT_NE(b.FindTopic(4), nullptr);
        EXPECT_EQ(b.FindTopic(4)->title, "Groups");
        EXPECT_EQ(b.FindTopic(4)->paragraphs, a.FindTopic(4)->paragraphs);
        EXPECT_EQ(Body(b.FindPopup(27)), "Groups popup.");
    }
    // No line end after the last line, and a byte-order mark in front.
    HelpFile c = HelpFile::Parse("\xEF\xBB\xBF@popup 5\r\nLast line without end");
    EXPECT_TRUE(c.issues().empty());
    EXPECT_EQ(Body(c.FindPopup(5)), "Last line without end");
}

TEST(HelpFileParse, BackslashLetsTextBeginWithDirectiveCharacters) {
    HelpFile file = HelpFile::Parse(
        "@popup 1\n"
        "\\@topic is not a directive here\n"
        "\\# nor a comment\n"
        "\\- nor a list entry\n"
        "\\\\server\\share stays a network path\n");
    EXPECT_TRUE(file.issues().empty());
    EXPECT_EQ(file.FindTopic(0), nullptr);
    EXPECT_EQ(Body(file.FindPopup(1)),
              "@topic is not a directive here # nor a comment - nor a list entry \\\\server\\share stays a network path");
}

TEST(HelpFileParse, SkipsFaultySectionsAndSaysWhereTheyAre) {
    HelpFile file = HelpFile::Parse(
        "stray text before any section\n"  // line 1
        "more stray text\n"                // 2 (reported once)
        "@topic abc Bad number\n"          // 3
        "ignored\n"                        // 4
        "@topic 4294967296 Too big\n"      // 5
        "@popup -1\n"                      // 6
        "@image 3 pic.bmp\n"               // 7
        "ignored too\n"                    // 8
        "@topic 2 First\n"                 // 9
        "kept\n"                           // 10
        "@topic 2 Second\n"                // 11
        "dropped\n"                        // 12
        "@popup 2 trailing words\n"        // 13
        "popup kept\n"                     // 14
        "@popup 2\n"                       // 15
        "second popup dropped\n"           // 16
        "@topic 7\n"                       // 17: no title
        "untitled\n"
        "@topic 4294967295 Largest\n"
        "x\n");
    std::vector<int> lines;
    for (const HelpFileIssue& issue : file.issues()) {
        lines.push_back(issue.line);
        EXPECT_FALSE(issue.message.empty());
    }
    EXPECT_EQ(lines, (std::vector<int>{1, 3, 5, 6, 7, 11, 13, 15, 17}));
    ASSERT_EQ(file.topics().size(), 3u);
    EXPECT_EQ(file.FindTopic(2)->title, "First");
    EXPECT_EQ(Body(file.FindTopic(2)), "kept");
    EXPECT_EQ(Body(file.FindPopup(2)), "popup kept");
    EXPECT_EQ(file.FindTopic(7)->title, "Topic 7");
    EXPECT_EQ(Body(file.FindTopic(7)), "untitled");
    ASSERT_NE(file.FindTopic(4294967295ul), nullptr);
    EXPECT_EQ(file.FindTopic(3), nullptr);
}

TEST(HelpFileParse, EmptyTextHasNoTopicsAndNoIssues) {
    HelpFile file = HelpFile::Parse("");
    EXPECT_TRUE(file.topics().empty());
    EXPECT_TRUE(file.popups().empty());
    EXPECT_TRUE(file.issues().empty());
    HelpFile comments = HelpFile::Parse("# only\r\n# comments\r\n\r\n");
    EXPECT_TRUE(comments.topics().empty());
    EXPECT_TRUE(comments.issues().empty());
}

TEST(HelpFileParse, PopupTextFallsBackToTheTopicOfTheSameContext) {
    HelpFile file = HelpFile::Parse(
        "@topic 2 Old and New Address\nPage text.\n\nMore.\n"
        "@topic 23 Old field topic\nTopic text.\n"
        "@popup 23\nPopup text.\n");
    EXPECT_EQ(PopupTextFor(file, 23, "\r\n"), "Popup text.");
    EXPECT_EQ(PopupTextFor(file, 2, "\r\n"), "Old and New Address\r\n\r\nPage text.\r\n\r\nMore.");
    EXPECT_EQ(PopupTextFor(file, 99, "\r\n"), "");
}

TEST(HelpFileRead, ReadsBytesUnchangedAndTellsMissingFromTooLarge) {
    const std::string path = "help_file_test_read.tmp";
    const std::string content = "@topic 0 C\r\nText\r\n\x1a trailing";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    std::string text = "old";
    EXPECT_EQ(ReadHelpFileText(path, text), HelpFileLoad::Ok);
    EXPECT_EQ(text, content);
    EXPECT_EQ(ReadHelpFileText(path, text, content.size() - 1), HelpFileLoad::TooLarge);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(ReadHelpFileText(path, text, content.size()), HelpFileLoad::Ok);
    std::remove(path.c_str());
    EXPECT_EQ(ReadHelpFileText(path, text), HelpFileLoad::Missing);
    EXPECT_TRUE(text.empty());
}

TEST(HelpRequest, DecodesOnlyWellFormedRequests) {
    HelpRequestData sent = {kHelpCommandContextPopup, 23, -5, 700};
    HelpRequestData got = {};
    ASSERT_TRUE(DecodeHelpRequest(&sent, sizeof sent, got));
    EXPECT_EQ(got.command, kHelpCommandContextPopup);
    EXPECT_EQ(got.context, 23u);
    EXPECT_EQ(got.pointerX, -5);
    EXPECT_EQ(got.pointerY, 700);

    EXPECT_FALSE(DecodeHelpRequest(&sent, sizeof sent - 1, got));
    EXPECT_FALSE(DecodeHelpRequest(nullptr, sizeof sent, got));
    for (std::uint32_t command : {0u, 3u, 11u, 9u}) {
        HelpRequestData bad = {command, 1, 0, 0};
        EXPECT_FALSE(DecodeHelpRequest(&bad, sizeof bad, got)) << command;
    }
    for (std::uint32_t command : {kHelpCommandContext, kHelpCommandQuit}) {
        HelpRequestData good = {command, 0, 0, 0};
        EXPECT_TRUE(DecodeHelpRequest(&good, sizeof good, got)) << command;
    }
}

TEST(HelpPopupPlace, StaysBesideThePointerAndInsideTheWorkArea) {
    const HelpRect area = {0, 0, 1024, 740};
    int left = 0, top = 0;
    // Room everywhere: centred, just below the pointer.
    PlacePopup(500, 300, 200, 80, area, left, top);
    EXPECT_EQ(left, 400);
    EXPECT_GT(top, 300);
    EXPECT_LT(top, 330);
    // No room below: above the pointer instead.
    PlacePopup(500, 700, 200, 80, area, left, top);
    EXPECT_LE(top + 80, 700);
    EXPECT_GT(top + 80, 670);
    // Near the right and left edges: moved inside.
    PlacePopup(1020, 300, 200, 80, area, left, top);
    EXPECT_EQ(left, 1024 - 200);
    PlacePopup(10, 300, 200, 80, area, left, top);
    EXPECT_EQ(left, 0);
    // A work area that does not start at 0 (a second screen, a task bar).
    const HelpRect second = {1024, 40, 2048, 808};
    PlacePopup(1030, 45, 300, 100, second, left, top);
    EXPECT_GE(left, 1024);
    EXPECT_GE(top, 40);
    // Larger than the area: the top left corner stays visible.
    PlacePopup(500, 300, 2000, 900, area, left, top);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(top, 0);
}

// The help window's first place, for screens from wide to cramped.
TEST(HelpWindowPlace, BesideTheWizardWhereverTheScreenHasRoom) {
    struct Case {
        const char* what;
        HelpRect wizard, work;
        HelpRect expected;
    };
    const HelpRect screen = {0, 0, 1600, 900};
    const Case cases[] = {
        {"room on the right", {100, 100, 640, 412}, screen, {640, 100, 1280, 560}},
        {"room on the left only", {900, 100, 1440, 412}, screen, {260, 100, 900, 560}},
        {"the wider side takes a narrower window", {400, 50, 940, 362}, {0, 0, 1340, 900}, {940, 50, 1340, 510}},
        {"low on the screen: level as far as it allows", {100, 700, 640, 1012}, {0, 0, 1600, 1000},
         {640, 540, 1280, 1000}},
        {"no room beside: below", {0, 0, 800, 312}, {0, 0, 1024, 768}, {0, 312, 640, 768}},
        {"no room beside, little below: above", {200, 500, 1000, 760}, {0, 0, 1024, 768}, {200, 40, 840, 500}},
        {"no room anywhere: over it, at the far side", {100, 50, 900, 550}, {0, 0, 1024, 600}, {384, 50, 1024, 510}},
        {"larger than the screen: the screen", {0, 0, 300, 200}, {0, 0, 320, 240}, {0, 0, 320, 240}},
        {"a second screen", {1700, 100, 2240, 412}, {1600, 0, 3200, 900}, {2240, 100, 2880, 560}},
    };
    for (const Case& c : cases) {
        const HelpRect got = PlaceHelpWindow(c.wizard, c.work, 640, 460);
        EXPECT_EQ(got.left, c.expected.left) << c.what;
        EXPECT_EQ(got.top, c.expected.top) << c.what;
        EXPECT_EQ(got.right, c.expected.right) << c.what;
        EXPECT_EQ(got.bottom, c.expected.bottom) << c.what;
        // Always on the screen.
        EXPECT_GE(got.left, c.work.left) << c.what;
        EXPECT_GE(got.top, c.work.top) << c.what;
        EXPECT_LE(got.right, c.work.right) << c.what;
        EXPECT_LE(got.bottom, c.work.bottom) << c.what;
    }
}

TEST(HelpViewerCommandLine, TakesTheFirstArgumentWithoutQuotes) {
    EXPECT_EQ(HelpFileArgument("\"C:\\Program Files\\Movix\\movixhlp.exe\" \"C:\\Program Files\\Movix\\MOVIX32.HLP\""),
              "C:\\Program Files\\Movix\\MOVIX32.HLP");
    EXPECT_EQ(HelpFileArgument("movixhlp.exe C:\\MOVIX\\MOVIX32.HLP"), "C:\\MOVIX\\MOVIX32.HLP");
    EXPECT_EQ(HelpFileArgument("movixhlp.exe   C:\\My Tools\\MOVIX32.HLP  "), "C:\\My Tools\\MOVIX32.HLP");
    EXPECT_EQ(HelpFileArgument("  \"movixhlp.exe\"\t\"x.hlp"), "x.hlp");
    EXPECT_EQ(HelpFileArgument("movixhlp.exe"), "");
    EXPECT_EQ(HelpFileArgument("\"movixhlp.exe\"   "), "");
    EXPECT_EQ(HelpFileArgument(""), "");
}

// The shipped help file: every context the program asks for must be there,
// with real text.
TEST(RealHelpFile, HasATopicOrPopupForEveryContextTheProgramAsksFor) {
    const std::string path = RealHelpFilePath();
    ASSERT_FALSE(path.empty()) << "MOVIX32.HLP not found";
    std::string text;
    ASSERT_EQ(ReadHelpFileText(path, text), HelpFileLoad::Ok) << path;
    HelpFile file = HelpFile::Parse(text);
    for (const HelpFileIssue& issue : file.issues())
        ADD_FAILURE() << path << "(" << issue.line << "): " << issue.message;

    // Page topics, the contents, and the dialogs whose Help buttons ask for a topic.
    std::vector<unsigned long> topics = {0, 1, 20, 21};
    for (unsigned long c = 2; c <= 14; ++c)
        topics.push_back(c);
    for (unsigned long c : topics) {
        const HelpTopic* topic = file.FindTopic(c);
        ASSERT_NE(topic, nullptr) << "no topic " << c;
        EXPECT_FALSE(topic->title.empty()) << c;
        EXPECT_GE(FormatHelpText(topic->paragraphs, "\n").size(), 200u) << "topic " << c << " is too thin";
    }
    // Every control's popup, and those of the Registry's list and variable rows.
    std::vector<unsigned long> popups = {70, 71};
    for (unsigned long c = 15; c <= 56; ++c)
        popups.push_back(c);
    for (unsigned long c : popups) {
        const HelpPopup* popup = file.FindPopup(c);
        ASSERT_NE(popup, nullptr) << "no popup " << c;
        EXPECT_GE(FormatHelpText(popup->paragraphs, "\n").size(), 40u) << "popup " << c << " is too thin";
    }
    // The services' and tasks' page, its choices and their rows.
    ASSERT_NE(file.FindTopic(80), nullptr);
    for (unsigned long c : {81, 82, 84, 85, 86, 87, 88}) {
        const HelpPopup* popup = file.FindPopup(c);
        ASSERT_NE(popup, nullptr) << "no popup " << c;
        EXPECT_GE(FormatHelpText(popup->paragraphs, "\n").size(), 40u) << "popup " << c << " is too thin";
    }

    // The contents topic lists every page by its title.
    const std::string contents = Body(file.FindTopic(0));
    for (unsigned long c = 2; c <= 14; ++c)
        EXPECT_NE(contents.find(file.FindTopic(c)->title), std::string::npos) << "contents lacks " << c;

    // The ignore-list page tells where to add keys.
    EXPECT_NE(Body(file.FindTopic(7)).find("HKEY_CURRENT_USER\\Software\\Kestrelia\\MOVIX32\\1.0\\Registry Keys To Ignore"),
              std::string::npos);
}
