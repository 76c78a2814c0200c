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
