// Addresses in the spellings configuration files keep them in: each found by
// the path-boundary rule as read in its spelling, and rewritten in that same
// spelling and style with every other byte left alone.
#include <gtest/gtest.h>

#include <string>

#include "core/path_spellings.h"

using namespace movix;

namespace {

struct SpellingCase {
    const char* text;
    const char* old;
    const char* repl;
    TTextSyntax syntax;
    const char* found;      // "code sure|doubtful" per occurrence, in order
    const char* rewritten;  // every occurrence rewritten
};

const char* const kOld = "C:\\Acme Tools";
constexpr TTextSyntax kAny = TTextSyntax::Any;

const SpellingCase kCases[] = {
    // Plain: the match rule as it is.
    {"Path=C:\\Acme Tools\\app.exe", kOld, "D:\\New", kAny, "plain sure", "Path=D:\\New\\app.exe"},
    {"C:\\Acme Tools (x86)\\a;C:\\Acme ToolsPro", kOld, "D:\\New", kAny, "plain doubtful",
     "D:\\New (x86)\\a;C:\\Acme ToolsPro"},
    // JSON: escapes read, New written with the occurrence's own escapes, and
    // what JSON cannot hold escaped.
    {"{\"p\": \"C:\\\\Acme Tools\\\\app.exe\"}", kOld, "D:\\R&D \"x\"", kAny, "json sure",
     "{\"p\": \"D:\\\\R&D \\\"x\\\"\\\\app.exe\"}"},
    {"[\"C:\\u005cAcme Tools\\/x\", \"C:\\\\Acme ToolsPro\"]", kOld, "D:\\A\\B", kAny, "json sure",
     "[\"D:\\u005cA\\u005cB\\/x\", \"C:\\\\Acme ToolsPro\"]"},
    {"\"C:\\\\Acme Tools\\u0028x86)\"", kOld, "D:\\N", kAny, "json doubtful", "\"D:\\\\N\\u0028x86)\""},
    {"\"C:\\\\Acme Tools\\\\caf\\u00e9\"", "C:\\Acme Tools\\caf\xC3\xA9", "D:\\\xC3\xA9t\xC3\xA9\t", kAny, "json sure",
     "\"D:\\\\\\u00e9t\\u00e9\\t\""},
    // Forward slashes.
    {"dir = C:/Acme Tools/bin, C:/Acme ToolsPro", kOld, "D:\\New Place", kAny, "slash sure",
     "dir = D:/New Place/bin, C:/Acme ToolsPro"},
    {"C:/acme tools (x86)/bin", kOld, "D:\\N", kAny, "slash doubtful", "D:/N (x86)/bin"},
    // file: URLs: prefix, hex case, blanks and pipes kept; %, # and
    // characters past ASCII in New encoded.
    {"u=file:///C:/Acme%20Tools/app.exe", kOld, "D:\\Caf\xC3\xA9 100%#", kAny, "url sure",
     "u=file:///D:/Caf%C3%A9%20100%25%23/app.exe"},
    {"u=file://localhost/c|/acme%20tools/a%c3%a9\nfile:///C:/Acme%20ToolsPro", "C:\\Acme Tools\\a\xC3\xA9",
     "D:\\\xC3\xA9", kAny, "url sure", "u=file://localhost/D|/%c3%a9\nfile:///C:/Acme%20ToolsPro"},
    {"<a href=\"file:///C:/Acme Tools%20(x86)/\">", kOld, "D:\\New Place", kAny, "url doubtful",
     "<a href=\"file:///D:/New Place%20(x86)/\">"},
    {"s=file://srv/share/x", "\\\\srv\\share", "\\\\host\\s 1", kAny, "url sure", "s=file://host/s%201/x"},
    {"s=FILE://LocalHost/C:/Acme%20Tools/", kOld, "D:\\X", kAny, "url sure", "s=FILE://LocalHost/D:/X/"},
    // XML: references read; & < and the attribute's quote escaped in New.
    {"<a p=\"C:\\Acme&#32;Tools\\x\"/>", kOld, "D:\\R&D \"q\"", kAny, "xml sure",
     "<a p=\"D:\\R&amp;D&#32;&quot;q&quot;\\x\"/>"},
    {"<p>C:\\R&amp;D\\x &#x43;:\\R&amp;D&#x20;(old)</p>", "C:\\R&D", "D:\\\"Q\" & A", kAny, "xml sure,xml doubtful",
     "<p>D:\\\"Q\" &amp; A\\x D:\\\"Q\" &amp; A&#x20;(old)</p>"},
    {"<a p='C:\\R&amp;D' q=\"C:\\R&amp;DPro\"/>", "C:\\R&D", "D:\\'s\"", kAny, "xml doubtful",
     "<a p='D:\\&apos;s\"' q=\"C:\\R&amp;DPro\"/>"},
    // A drive root and a trailing backslash: the last name is closed.
    {"\"C:\\\\Tools\" C:\\x C:/y", "C:\\", "E:\\Z\\", kAny, "json sure,plain sure,slash sure",
     "\"E:\\\\Z\\\\Tools\" E:\\Z\\x E:/Z/y"},
    {"file:///C:/Acme/bin C:\\AcmeX", "C:\\Acme\\", "D:\\", kAny, "url sure", "file:///D:/bin C:\\AcmeX"},
    // What the caller knows of the file: an escape-free occurrence in an XML
    // or JSON file still gets New escaped as the file needs.
    {"<p a=\"C:\\Acme Tools\">", kOld, "D:\\R&D \"x\"", TTextSyntax::Xml, "xml sure",
     "<p a=\"D:\\R&amp;D &quot;x&quot;\">"},
    {"{\"a\": \"C:/Acme Tools/\"}", kOld, "D:\\\"x\"", TTextSyntax::Json, "json sure", "{\"a\": \"D:/\\\"x\\\"/\"}"},
    // A lone escape that does not read is no JSON or XML occurrence.
    {"C:\\Acme Tools\\q &", kOld, "D:\\N", kAny, "plain sure", "D:\\N\\q &"},
};

std::string Describe(const std::vector<TSpelledOccurrence>& found) {
    std::string out;
    for (const TSpelledOccurrence& o : found) {
        if (!out.empty())
            out += ',';
        out += SpellingCode(o.spelling);
        out += o.boundary == TBoundary::Sure ? " sure" : o.boundary == TBoundary::Doubtful ? " doubtful" : " none";
    }
    return out;
}

TEST(PathSpelling, FoundAndRewrittenInEachSpelling) {
    for (const SpellingCase& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Describe(FindSpelledOccurrences(c.text, c.old, c.syntax)), c.found);
        EXPECT_EQ(RewriteSpelled(c.text, c.old, c.repl, {}, c.syntax), c.rewritten);
    }
}

TEST(PathSpelling, NeighboursAndTextsWithoutOldComeBackWhole) {
    const char* const texts[] = {
        "C:\\Acme ToolsPro\\x",
        "\"C:\\\\Acme ToolsPro\\\\x\"",
        "C:/Acme ToolsPro/x",
        "file:///C:/Acme%20ToolsPro/x",
        "file:///C:/Acme%20Tools%C3%A9/x",
        "C:\\Acme&#32;Tools_2",
        "C:\\Acme&#32Tools \\u & %zz file:/// file://localhost",
        "",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(FindSpelledOccurrences(text, kOld).empty());
        EXPECT_EQ(RewriteSpelled(text, kOld, "D:\\N"), text);
    }
    EXPECT_TRUE(FindSpelledOccurrences("C:\\Acme Tools", "").empty());
}

TEST(PathSpelling, OnlyTheOccurrencesAskedForAreRewritten) {
    const std::string text = "a=C:\\\\Acme Tools\\\\x b=C:\\\\Acme Tools\\u0020(x86) c=file:///C:/Acme%20Tools";
    const std::string sureOnly =
        RewriteSpelled(text, kOld, "D:\\N", [](const TSpelledOccurrence& o) { return o.boundary == TBoundary::Sure; });
    EXPECT_EQ(sureOnly, "a=D:\\\\N\\\\x b=C:\\\\Acme Tools\\u0020(x86) c=file:///D:/N");
}

// New back to Old gives the text again, byte for byte, wherever New is
// spelled without ambiguity.
TEST(PathSpelling, RewritingBackRestoresTheText) {
    const char* const texts[] = {
        "{\"a\": \"C:\\\\Acme Tools\\\\x\", \"b\": \"C:\\u005cAcme Tools\\/y\", \"c\": \"C:/Acme Tools\"}",
        "<a p=\"C:\\Acme&#32;Tools\\x\" q='C:\\Acme&#x20;Tools'>C:\\Acme Tools (x86)</a>",
        "l=file:///C:/Acme%20Tools/app.exe\nm=file://localhost/C|/Acme%20Tools\nn=C:\\Acme Tools",
        "x=file:///C:/Acme%20Tools/caf%c3%a9 \"C:\\\\Acme Tools\\u0028\"",
    };
    const char* const news[] = {"D:\\R&D \"x\"", "E:\\Caf\xC3\xA9 100%", "F:\\x y"};
    for (const char* text : texts) {
        for (const char* repl : news) {
            SCOPED_TRACE(std::string(text) + " / " + repl);
            const std::string there = RewriteSpelled(text, kOld, repl);
            ASSERT_NE(there, text);
            EXPECT_EQ(FindSpelledOccurrences(there, repl).size(), FindSpelledOccurrences(text, kOld).size());
            EXPECT_EQ(RewriteSpelled(there, repl, kOld), text);
        }
    }
}

char32_t TestUpper(char32_t c) {
    if (c >= 'a' && c <= 'z')
        return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 32;  // Latin-1 letters
    return c;
}

TEST(PathSpelling, LettersPastAsciiComparedThroughTheInstalledUpperCasing) {
    SetUpperCase(&TestUpper);
    const std::string json = "\"c:\\\\CAF\\u00c9\\\\x\" file:///C:/caf%C3%89/";
    const auto found = FindSpelledOccurrences(json, "C:\\Caf\xC3\xA9");
    SetUpperCase(nullptr);
    EXPECT_EQ(Describe(found), "json sure,url sure");
    EXPECT_TRUE(FindSpelledOccurrences(json, "C:\\Caf\xC3\xA9").empty());
}

}  // namespace
