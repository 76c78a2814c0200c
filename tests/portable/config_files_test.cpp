// Which configuration files are searched, and as what: the type list a user
// may keep, the syntax a type tells, and the bytes that make a file binary.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "targets/config_files.h"

using namespace movix;

TEST(ConfigFiles, TypeListsAreReadAsAUserWritesThem) {
    EXPECT_EQ(ParseConfigTypes(" json; .XML;;yml ;json;.ps1."),
              (std::vector<std::string>{"JSON", "XML", "YML", "PS1."}));
    EXPECT_TRUE(ParseConfigTypes("; ;").empty());
    const std::vector<std::string> types = ParseConfigTypes(kDefaultConfigTypes);
    const struct {
        const char* name;
        bool searched;
        TTextSyntax syntax;
    } cases[] = {
        {"settings.json", true, TTextSyntax::Json}, {"App.Config", true, TTextSyntax::Xml},
        {"a.b.XML", true, TTextSyntax::Xml},        {"run.cmd", true, TTextSyntax::Any},
        {"x.yaml", true, TTextSyntax::Any},         {"json", false, TTextSyntax::Any},
        {"dir.json\\file", false, TTextSyntax::Any}, {"notes.txt", false, TTextSyntax::Any},
        {"app.exe.manifest", false, TTextSyntax::Xml},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HasConfigType(c.name, types), c.searched) << c.name;
        EXPECT_EQ(ConfigSyntaxOf(c.name), c.syntax) << c.name;
    }
}

TEST(ConfigFiles, BinaryIsANulOutsideUtf16) {
    EXPECT_FALSE(LooksBinary("{\"a\": 1}\n"));
    EXPECT_FALSE(LooksBinary(std::string("\xFF\xFE{\0\"\0", 6)));
    EXPECT_TRUE(LooksBinary(std::string("{\"a\": 1}\0", 9)));
    EXPECT_TRUE(LooksBinary(std::string("{\0\"\0", 4)));  // UTF-16 without its mark
}

// The quick look never rules out a line that names Old, in any spelling;
// and it rules out the plain lines that cannot.
TEST(ConfigFiles, QuickLookKeepsEverySpellingOfOld) {
    const TSpelledPrefilter filter("C:\\Acme Tools");
    for (const char* line : {"C:\\ACME TOOLS\\x", "\"C:\\\\Acme Tools\\\\x\"", "file:///C:/Acme%20Tools/x",
                             "C:\\Acme&#32;Tools", "C:\\\\Acme \\u0054ools", "file:///C:/Acme%20%54ools"}) {
        EXPECT_FALSE(FindSpelledOccurrences(line, "C:\\Acme Tools").empty()) << line;
        EXPECT_TRUE(filter.MayHold(line)) << line;
    }
    for (const char* line : {"C:\\Acme\\x", "{\"path\": \"C:\\\\Program Files\\\\Vendor\"}", "%20&amp;"})
        EXPECT_FALSE(filter.MayHold(line)) << line;
}

// A line's sub-type is the spelling Old first stands in, and the line is
// rewritten with New in the spelling and escapes of each occurrence.
TEST(ConfigFiles, EachOccurrenceIsRewrittenInItsOwnSpelling) {
    const std::string oldAddress = "C:\\Acme Tools", newAddress = "D:\\Apps\\Acme & Co";
    const int plain = kSubTypeSpellingFirst + static_cast<int>(TSpelling::Plain);
    const int slash = kSubTypeSpellingFirst + static_cast<int>(TSpelling::Slash);
    const int json = kSubTypeSpellingFirst + static_cast<int>(TSpelling::Json);
    const int xml = kSubTypeSpellingFirst + static_cast<int>(TSpelling::Xml);
    const int url = kSubTypeSpellingFirst + static_cast<int>(TSpelling::Url);
    const struct {
        TTextSyntax syntax;
        const char* line;
        int subType;
        const char* rewritten;
    } cases[] = {
        {TTextSyntax::Any, "Home=c:\\acme tools\\bin", plain, "Home=D:\\Apps\\Acme & Co\\bin"},
        {TTextSyntax::Any, "set P=C:/Acme Tools/bin", slash, "set P=D:/Apps/Acme & Co/bin"},
        {TTextSyntax::Json, "  \"home\": \"C:\\\\Acme Tools\\\\bin\",", json,
         "  \"home\": \"D:\\\\Apps\\\\Acme & Co\\\\bin\","},
        {TTextSyntax::Json, "\"C:\\/Acme\\u0020Tools\"", json, "\"D:\\/Apps\\/Acme\\u0020&\\u0020Co\""},
        {TTextSyntax::Xml, "<add value=\"C:\\Acme&#32;Tools\\x\"/>", xml,
         "<add value=\"D:\\Apps\\Acme&#32;&amp;&#32;Co\\x\"/>"},
        {TTextSyntax::Any, "URL=file:///C:/Acme%20Tools/help.htm", url, "URL=file:///D:/Apps/Acme%20&%20Co/help.htm"},
        // In XML a bare & would break the file: the URL spells it %26.
        {TTextSyntax::Xml, "<a href=\"file:///C:/Acme%20Tools/x\"/>", url, "<a href=\"file:///D:/Apps/Acme%20%26%20Co/x\"/>"},
        {TTextSyntax::Json, "{\"a\": \"C:\\\\Acme Tools\", \"b\": \"file:///C:/Acme%20Tools\"}", json,
         "{\"a\": \"D:\\\\Apps\\\\Acme & Co\", \"b\": \"file:///D:/Apps/Acme%20&%20Co\"}"},
        {TTextSyntax::Any, "Home=C:\\Acme\\Tools", 0, "Home=C:\\Acme\\Tools"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConfigLineSubType(c.line, oldAddress, c.syntax), c.subType) << c.line;
        std::vector<TReplaceHit> hits = {{ConfigHitText(c.line), c.subType}};
        const TLogLine log = [](const std::string&) {};
        std::string line = c.line;
        ConfigRewriter(hits, oldAddress, newAddress, c.syntax, log).Rewrite(line);
        EXPECT_EQ(line, c.rewritten) << c.line;
        EXPECT_EQ(hits.empty(), c.subType != 0) << "the hit is taken off once its line is rewritten: " << c.line;
    }
}

// The rewriter finds a listed line again by its text without the blanks
// around it, rewrites it once, and leaves a line that no longer names Old
// to the "not found again" report.
TEST(ConfigFiles, EachListedLineIsRewrittenOnceAndLogged) {
    std::vector<TReplaceHit> hits = {{"a=C:\\OLD\\x", 0}, {"gone=C:\\OLD", 0}};
    std::vector<std::string> logged;
    const TLogLine log = [&logged](const std::string& line) { logged.push_back(line); };
    ConfigRewriter rewriter(hits, "C:\\OLD", "D:\\NEW", TTextSyntax::Any, log);
    std::vector<std::string> lines = {"\t a=C:\\OLD\\x  ", "a=C:\\OLD\\x", "b=C:\\OLD\\y", "gone=C:\\OLD2"};
    for (std::string& line : lines)
        rewriter.Rewrite(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"\t a=D:\\NEW\\x  ", "a=C:\\OLD\\x", "b=C:\\OLD\\y", "gone=C:\\OLD2"}));
    EXPECT_EQ(logged, (std::vector<std::string>{"      config line: \t a=C:\\OLD\\x  ",
                                                "       changed to: \t a=D:\\NEW\\x  "}));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].Text, "gone=C:\\OLD");
}
