// New written into settings files as each place in them needs it: the
// escapes of the string it stands in, over the whole file, and refused where
// no spelling keeps the file's structure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/found_items.h"
#include "core/kinds.h"
#include "core/strings.h"
#include "targets/config_syntax.h"

using namespace movix;

namespace {

const char kOld[] = "C:\\QUILL";
const char kNew[] = "C:\\Program Files\\M\xC3\xBCller & Co's $x`y %PATH% #2";

struct Case {
    TConfigFormat format;
    const char* before;
    const char* after;  // nullptr: refused, the text as it was
};

void Check(const Case& c, const char* newAddress = kNew, const TEncodable& encodable = {}) {
    std::vector<std::string> refusals;
    const std::string out = RewriteConfigText(c.format, c.before, kOld, newAddress, &refusals, encodable);
    if (c.after == nullptr) {
        EXPECT_EQ(out, c.before);
        EXPECT_EQ(refusals.size(), 1u) << c.before;
    } else {
        EXPECT_EQ(out, c.after);
        EXPECT_TRUE(refusals.empty()) << c.before << ": " << (refusals.empty() ? "" : refusals[0]);
    }
}

}  // namespace

TEST(ConfigSyntax, FormatAndEncodingComeFromTheType) {
    const struct {
        const char* name;
        TConfigFormat format;
        TConfigCharset charset;
    } cases[] = {
        {"settings.json", TConfigFormat::Json, TConfigCharset::Utf8},
        {"a.YML", TConfigFormat::Yaml, TConfigCharset::Utf8},
        {"Cargo.toml", TConfigFormat::Toml, TConfigCharset::Utf8},
        {"app.properties", TConfigFormat::Properties, TConfigCharset::Latin1},
        {"go.cmd", TConfigFormat::Batch, TConfigCharset::Oem},
        {"go.ps1", TConfigFormat::PowerShell, TConfigCharset::AsciiOnly},
        {"app.exe.config", TConfigFormat::Xml, TConfigCharset::Utf8},
        {"x.ini", TConfigFormat::Other, TConfigCharset::Ansi},
        {"x.url", TConfigFormat::Other, TConfigCharset::Ansi},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConfigFormatOf(c.name), c.format) << c.name;
        EXPECT_EQ(ConfigCharsetOf(c.format, "{}").charset, c.charset) << c.name;
    }
    // XML: the declaration's encoding; UTF-8 without one.
    const auto xml = [](const char* head) { return ConfigCharsetOf(TConfigFormat::Xml, head); };
    EXPECT_EQ(xml("<?xml version=\"1.0\"?><a/>").charset, TConfigCharset::Utf8);
    EXPECT_EQ(xml("<?xml version=\"1.0\" encoding=\"UTF-8\"?>").charset, TConfigCharset::Utf8);
    const TCharsetChoice latin = xml("\xEF\xBB\xBF<?xml version='1.0' encoding = 'ISO-8859-1' ?>");
    EXPECT_EQ(latin.charset, TConfigCharset::Declared);
    EXPECT_EQ(CodePageOfEncodingName(latin.declared), 28591u);
    EXPECT_EQ(CodePageOfEncodingName("Windows-1251"), 1251u);
    EXPECT_EQ(CodePageOfEncodingName("shift_jis"), 932u);
    EXPECT_EQ(CodePageOfEncodingName("x-unknown"), 0u);
}

// Each row names a place, and what New must look like there.
TEST(ConfigSyntax, NewIsWrittenAsItsPlaceNeeds) {
    const Case cases[] = {
        // JSON: " \ and controls escaped; characters past ASCII as they are.
        {TConfigFormat::Json, "{\"p\": \"C:\\\\QUILL\\\\q.exe\"}",
         "{\"p\": \"C:\\\\Program Files\\\\M\xC3\xBCller & Co's $x`y %PATH% #2\\\\q.exe\"}"},
        // XML: the attribute keeps its quote over a line break; in text & is
        // escaped; CDATA and comments take New as it is.
        {TConfigFormat::Xml, "<a b='x\nC:\\QUILL\\q'/>",
         "<a b='x\nC:\\Program Files\\M\xC3\xBCller &amp; Co&apos;s $x`y %PATH% #2\\q'/>"},
        {TConfigFormat::Xml, "<a b=\"x\nC:\\QUILL\\q\"/>",
         "<a b=\"x\nC:\\Program Files\\M\xC3\xBCller &amp; Co's $x`y %PATH% #2\\q\"/>"},
        {TConfigFormat::Xml, "<p>C:\\QUILL</p>", "<p>C:\\Program Files\\M\xC3\xBCller &amp; Co's $x`y %PATH% #2</p>"},
        {TConfigFormat::Xml, "<s><![CDATA[\nC:\\QUILL\\q & ]]></s>",
         "<s><![CDATA[\nC:\\Program Files\\M\xC3\xBCller & Co's $x`y %PATH% #2\\q & ]]></s>"},
        {TConfigFormat::Xml, "<!-- old: C:\\QUILL -->",
         "<!-- old: C:\\Program Files\\M\xC3\xBCller & Co's $x`y %PATH% #2 -->"},
        // TOML: basic strings escape, literal strings cannot hold '.
        {TConfigFormat::Toml, "p = \"C:\\\\QUILL\"",
         "p = \"C:\\\\Program Files\\\\M\xC3\xBCller & Co's $x`y %PATH% #2\""},
        {TConfigFormat::Toml, "p = 'C:\\QUILL'", nullptr},
        {TConfigFormat::Toml, "p = '''\nC:\\QUILL\n'''",
         "p = '''\nC:\\Program Files\\M\xC3\xBCller & Co's $x`y %PATH% #2\n'''"},
        // YAML: ' doubled in single quotes; a plain scalar that New would
        // end early (" #" starts a comment) is refused.
        {TConfigFormat::Yaml, "p: 'C:\\QUILL'", "p: 'C:\\Program Files\\M\xC3\xBCller & Co''s $x`y %PATH% #2'"},
        {TConfigFormat::Yaml, "p: \"C:\\\\QUILL\"",
         "p: \"C:\\\\Program Files\\\\M\xC3\xBCller & Co's $x`y %PATH% #2\""},
        {TConfigFormat::Yaml, "p: C:\\QUILL", nullptr},
        {TConfigFormat::Yaml, "t: |\n  it's C:\\QUILL\nq: 1",
         "t: |\n  it's C:\\Program Files\\M\xC3\xBCller & Co's $x`y %PATH% #2\nq: 1"},
        // .properties: backslashes doubled as the file doubles them.
        {TConfigFormat::Properties, "p=C:\\\\QUILL\\\\x",
         "p=C:\\\\Program Files\\\\M\xC3\xBCller & Co's $x`y %PATH% #2\\\\x"},
        // Batch: % doubled; an argument that New would part is quoted; SET
        // takes its line as it is, but not & and its like.
        {TConfigFormat::Batch, "C:\\QUILL\\q.exe -a",
         "\"C:\\Program Files\\M\xC3\xBCller & Co's $x`y %%PATH%% #2\\q.exe\" -a"},
        {TConfigFormat::Batch, "\"C:\\QUILL\\q.exe\" -a",
         "\"C:\\Program Files\\M\xC3\xBCller & Co's $x`y %%PATH%% #2\\q.exe\" -a"},
        {TConfigFormat::Batch, "set P=C:\\QUILL", nullptr},
        // PowerShell: ' doubled in single quotes, $ ` " escaped in double
        // ones; a bare path first in a line becomes a call of a quoted one.
        {TConfigFormat::PowerShell, "$p = 'C:\\QUILL'",
         "$p = 'C:\\Program Files\\M\xC3\xBCller & Co''s $x`y %PATH% #2'"},
        {TConfigFormat::PowerShell, "$p = \"C:\\QUILL\"",
         "$p = \"C:\\Program Files\\M\xC3\xBCller & Co's `$x``y %PATH% #2\""},
        {TConfigFormat::PowerShell, "C:\\QUILL\\q.exe -a",
         "& 'C:\\Program Files\\M\xC3\xBCller & Co''s $x`y %PATH% #2\\q.exe' -a"},
    };
    for (const Case& c : cases)
        Check(c);
}

// With a plainer New, the places that refused above take it.
TEST(ConfigSyntax, PlainNewIsTakenWhereItReadsAlike) {
    const char plain[] = "D:\\Apps\\Quill";
    const Case cases[] = {
        {TConfigFormat::Yaml, "p: C:\\QUILL # old", "p: D:\\Apps\\Quill # old"},
        {TConfigFormat::Yaml, "l: [C:\\QUILL, b]", "l: [D:\\Apps\\Quill, b]"},
        {TConfigFormat::Toml, "p = 'C:\\QUILL'", "p = 'D:\\Apps\\Quill'"},
        {TConfigFormat::Batch, "set P=C:\\QUILL;%PATH%", "set P=D:\\Apps\\Quill;%PATH%"},
        {TConfigFormat::Batch, "cd /d C:\\QUILL", "cd /d D:\\Apps\\Quill"},
        {TConfigFormat::PowerShell, "C:\\QUILL\\q.exe -a", "D:\\Apps\\Quill\\q.exe -a"},
    };
    for (const Case& c : cases)
        Check(c, plain);
    // A flow sequence is parted by a comma in New, a mapping by ": ".
    Check({TConfigFormat::Yaml, "l: [C:\\QUILL, b]", nullptr}, "D:\\a,b");
    Check({TConfigFormat::Yaml, "p: C:\\QUILL", nullptr}, "D:\\a: b");
}

// What the file's encoding cannot hold: a character reference in XML
// attributes and text, \uXXXX in .properties, refused in CDATA.
TEST(ConfigSyntax, CharactersTheEncodingLacksAreReferenced) {
    const TEncodable latin1 = [](std::string_view c) {
        return c.size() == 2 && static_cast<unsigned char>(c[0]) <= 0xC3;
    };
    const char euro[] = "D:\\\xE2\x82\xAC \xC3\xBC \xF0\x9F\x98\x80";
    Check({TConfigFormat::Xml, "<a b=\"C:\\QUILL\"/>", "<a b=\"D:\\&#8364; \xC3\xBC &#128512;\"/>"}, euro, latin1);
    Check({TConfigFormat::Xml, "<![CDATA[C:\\QUILL]]>", nullptr}, euro, latin1);
    Check({TConfigFormat::Properties, "p=C:\\\\QUILL", "p=D:\\\\\\u20AC \xC3\xBC \\uD83D\\uDE00"}, euro, latin1);
}

// The row of a line New cannot be written into is flagged for review when
// it is found, so that nobody is surprised by the line left as it is.
TEST(ConfigSyntax, ARowNewCannotBeWrittenIntoIsFlagged) {
    const struct {
        const char* file;
        const char* line;
        bool flagged;
    } cases[] = {
        {"go.bat", "set P=C:\\QUILL", true},
        {"go.bat", "\"C:\\QUILL\\q.exe\" -a", false},
        {"a.yaml", "p: C:\\QUILL", true},
        {"a.json", "\"p\": \"C:\\\\QUILL\"", false},
    };
    for (const auto& c : cases) {
        const TFoundItem row = MakeFoundItem(c.file, "D:\\x", c.line, KindCfg, kSubTypeSpellingFirst, "",
                                             UpperText(kOld), kNew);
        EXPECT_EQ(row.UnquotedBlank, c.flagged) << c.file << ": " << c.line;
    }
}
