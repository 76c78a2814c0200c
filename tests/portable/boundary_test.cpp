// Path boundaries: an occurrence of the Old address counts only where the
// text after it does not go on with the Old address's last name, and is
// flagged where what follows may still be part of a folder name. The same
// rule decides the search's match, every replacement of text, and the
// "maybe a longer folder name" flag of a row.
#include <gtest/gtest.h>

#include <string>

#include "core/strings.h"

using namespace movix;

namespace {

struct MatchCase {
    const char* text;
    const char* old;
    bool matches;
};

// The rule is applied to the text as it comes; a name goes on with a letter
// of any script, a digit or one of _ - . ~ $.
const MatchCase kMatchCases[] = {
    {"C:\\Tools\\Editor\\x.exe", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit\\x.exe", "C:\\Tools\\Edit", true},
    {"c:\\tools\\edit\\x.exe", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Edit;C:\\Tools\\Editor", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Editor;C:\\Tools\\Edit", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Editor;C:\\Tools\\Edit2", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit", "C:\\Tools\\Edit", true},  // end of text
    // An Old address that ends in a separator has its last name closed.
    {"C:\\Tools\\Editor", "C:\\Tools\\", true},
    {"C:/Tools/Editor", "C:/Tools/", true},
    {"C:\\Tools\\Edit\\", "C:\\Tools\\Edit\\", true},
    // Each character that ends a name.
    {"C:\\Tools\\Edit\\", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Edit/x", "C:\\Tools\\Edit", true},
    {"\"C:\\Tools\\Edit\" %1", "C:\\Tools\\Edit", true},
    {"'C:\\Tools\\Edit'", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Edit;x", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Edit,x", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Edit=x", "C:\\Tools\\Edit", true},
    {"%C:\\Tools\\Edit%", "C:\\Tools\\Edit", true},
    {"(C:\\Tools\\Edit)", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Edit|x", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Edit x", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Edit\tx", "C:\\Tools\\Edit", true},
    {"[C:\\Tools\\Edit]", "C:\\Tools\\Edit", true},
    {"C:\\Tools\\Edit,1", "C:\\Tools\\Edit", true},
    {"<C:\\Tools\\Edit>", "C:\\Tools\\Edit", true},
    // Each character that goes on with the name.
    {"C:\\Tools\\Edita", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\EditZ", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit0", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit9", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit_x", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit-x", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit.old", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit~1", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit$", "C:\\Tools\\Edit", false},
    // A letter of another script: UTF-8 é, and a code page's single byte.
    {"C:\\Tools\\Edit\xC3\xA9", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit\xE9", "C:\\Tools\\Edit", false},
    {"C:\\Tools\\Edit\xE6\x96\x87", "C:\\Tools\\Edit", false},
    // Overlapping candidates: the one that does not count must not hide the
    // one that does.
    {"C:\\AA\\C:\\A", "C:\\A", true},
    {"C:\\AC:\\A", "C:\\A", true},
    {"x.x.x", "x.x", true},
    {"x.x.xy", "x.x", false},
    {"aaaa", "a", true},
    {"aaab", "a", false},
    // Empty search string, and text shorter than it.
    {"anything", "", false},
    {"C:\\Tool", "C:\\Tools", false},
};

TEST(BoundaryMatch, CountsOnlyOccurrencesThatEndTheLastName) {
    for (const MatchCase& c : kMatchCases)
        EXPECT_EQ(ContainsUpper(c.text, UpperAscii(c.old)), c.matches) << c.text << " / " << c.old;
}

struct ReplaceCase {
    const char* text;
    const char* find;
    const char* repl;
    const char* expected;
};

const ReplaceCase kReplaceCases[] = {
    {"C:\\Tools\\Edit;C:\\Tools\\Editor", "C:\\Tools\\Edit", "D:\\E", "D:\\E;C:\\Tools\\Editor"},
    {"C:\\Tools\\Editor;c:\\tools\\edit", "C:\\Tools\\Edit", "D:\\E", "C:\\Tools\\Editor;D:\\E"},
    {"c:\\tools\\editor\\x.exe;C:\\TOOLS\\EDIT\\x.exe", "C:\\Tools\\Edit", "D:\\E",
     "c:\\tools\\editor\\x.exe;D:\\E\\x.exe"},
    {"C:\\Tools\\Editor\\x.exe", "C:\\Tools\\Edit", "D:\\E", "C:\\Tools\\Editor\\x.exe"},
    {"\"C:\\Tools\\Edit\\x.exe\" \"C:\\Tools\\Edit.cfg\"", "C:\\Tools\\Edit", "D:\\E",
     "\"D:\\E\\x.exe\" \"C:\\Tools\\Edit.cfg\""},
    // Trailing separator: every occurrence counts.
    {"C:\\Tools\\Editor;C:\\Tools\\", "C:\\Tools\\", "D:\\", "D:\\Editor;D:\\"},
    // Overlapping candidates.
    {"C:\\AA\\C:\\A", "C:\\A", "D:\\N", "C:\\AA\\D:\\N"},
    {"C:\\AC:\\A", "C:\\A", "D:\\N", "C:\\AD:\\N"},
    {"x.x.x", "x.x", "R", "x.R"},
    {"aaaa", "a", "b", "aaab"},
    {"a;a;a", "a;a", "R", "R;a"},
    // A replacement that brings in the find text is not searched again.
    {"C:\\APP\\A.EXE;C:\\APPS", "C:\\APP", "C:\\APP\\V2", "C:\\APP\\V2\\A.EXE;C:\\APPS"},
    {"a;a", "a", "a;a", "a;a;a;a"},
    // A name of another script after the occurrence keeps it.
    {"C:\\Edit\xC3\xA9;C:\\Edit", "C:\\Edit", "D:\\E", "C:\\Edit\xC3\xA9;D:\\E"},
    // Nothing counts: the text is left exactly as it was.
    {"C:\\Toolsx", "C:\\Tools", "D:\\T", "C:\\Toolsx"},
    {"", "X", "Y", ""},
};

TEST(BoundaryReplace, ChangesOnlyOccurrencesThatEndTheLastName) {
    for (const ReplaceCase& c : kReplaceCases) {
        std::string s = c.text;
        ReplaceAllText(s, c.find, c.repl);
        EXPECT_EQ(s, c.expected) << c.text << " / " << c.find;
    }
}

TEST(BoundaryReplace, AgreesWithTheMatch) {
    // Whatever the match counts is what the replacement changes.
    for (const MatchCase& c : kMatchCases) {
        std::string s = c.text;
        ReplaceAllText(s, c.old, "\x01");
        EXPECT_EQ(s != c.text, c.matches) << c.text << " / " << c.old;
    }
}

// How each neighbour of an occurrence is judged: not counted, counted
// surely, or counted and flagged (MaybeLongerName), which the replacement
// still rewrites.
enum Verdict { NoHit, Sure, Flagged };

struct NeighbourCase {
    const char* text;
    const char* old;
    Verdict verdict;
};

const NeighbourCase kNeighbourCases[] = {
    // Folder names that go on with characters legal in names.
    {"C:\\Program Files (x86)\\App\\app.exe", "C:\\Program Files", Flagged},
    {"C:\\Tools\\Notepad++\\np.exe", "C:\\Tools\\Notepad", Flagged},
    {"C:\\Data\\Foo(old)\\a.txt", "C:\\Data\\Foo", Flagged},
    {"C:\\Acme Tools 2\\x.exe", "C:\\Acme Tools", Flagged},
    {"c:\\acme tools 2", "C:\\Acme Tools", Flagged},
    {"C:\\Acme Tools  Extra\\x.exe", "C:\\Acme Tools", Flagged},
    {"C:\\Acme Tools \xC3\xA9t\xC3\xA9", "C:\\Acme Tools", Flagged},
    {"C:\\Acme Tools - Copy", "C:\\Acme Tools", Flagged},
    {"C:\\Acme Tools \"x\"", "C:\\Acme Tools", Flagged},
    {"C:\\Acme Tools /", "C:\\Acme Tools", Flagged},
    {"C:\\Acme Tools -", "C:\\Acme Tools", Flagged},
    {"C:\\Acme Tools -?", "C:\\Acme Tools", Flagged},
    {"[C:\\Tools\\Edit]", "C:\\Tools\\Edit", Flagged},
    {"(C:\\Tools\\Edit)", "C:\\Tools\\Edit", Flagged},
    {"'C:\\Tools\\Edit'", "C:\\Tools\\Edit", Flagged},
    {"%C:\\Tools\\Edit%", "C:\\Tools\\Edit", Flagged},
    {"C:\\Tools\\Edit:x", "C:\\Tools\\Edit", Flagged},
    // One doubtful occurrence flags the text, wherever it is.
    {"C:\\Acme Tools\\a;C:\\Acme Tools 2\\b", "C:\\Acme Tools", Flagged},
    {"C:\\Tools\\Notepad\\n.exe;C:\\Tools\\Notepad++", "C:\\Tools\\Notepad", Flagged},
    // Where the name surely ends.
    {"C:\\Acme Tools", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools ", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools  \t", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools \r\nx", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools /S", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools  /?", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools -x", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools,0", "C:\\Acme Tools", Sure},
    {"\"C:\\Acme Tools\" /s", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools\\x.exe", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools/x", "C:\\Acme Tools", Sure},
    {"C:\\Acme Tools\t/S", "C:\\Acme Tools", Sure},
    {"<C:\\E>|C:\\E*C:\\E?", "C:\\E", Sure},
    {"C:\\E;C:\\E=C:\\E\t", "C:\\E", Sure},
    {"C:\\E\r\nC:\\E\n", "C:\\E", Sure},
    {"C:\\E\x01", "C:\\E", Sure},
    {"C:\\Acme\\ x", "C:\\Acme\\", Sure},
    {"C:\\Acme\\(x86)", "C:\\Acme\\", Sure},
    // Another name, not a hit at all.
    {"C:\\Acme Tools2 x", "C:\\Acme Tools", NoHit},
    {"C:\\Tools\\Notepad2(x)", "C:\\Tools\\Notepad", NoHit},
    {"C:\\Acme Tools 2", "", NoHit},
};

TEST(BoundaryNeighbours, LegalNameCharactersAfterTheOldAddressFlagTheHit) {
    for (const NeighbourCase& c : kNeighbourCases) {
        const std::string upper = UpperAscii(c.old);
        EXPECT_EQ(ContainsUpper(c.text, upper), c.verdict != NoHit) << c.text << " / " << c.old;
        EXPECT_EQ(MaybeLongerName(c.text, upper), c.verdict == Flagged) << c.text << " / " << c.old;
        // A flagged occurrence is rewritten all the same: its row is marked
        // Y in the list, with the warning sign, until the user marks it N.
        std::string s = c.text;
        ReplaceAllText(s, c.old, "\x01");
        EXPECT_EQ(s != c.text, c.verdict != NoHit) << c.text << " / " << c.old;
    }
    for (char c : std::string("()[]{}+&'!@#^`%:\x7F")) {
        EXPECT_TRUE(MaybeLongerName(std::string("C:\\E") + c, "C:\\E")) << c;
        EXPECT_FALSE(MaybeLongerName(std::string("C:\\Ex") + c, "C:\\E")) << c;  // no hit at all
    }
}

TEST(BoundaryNameChars, LettersOfAnyScriptDigitsAndFiveMarks) {
    int count = 0;
    for (int c = 0; c < 256; ++c)
        count += IsNameChar(static_cast<char>(c));
    // 52 letters, 10 digits, _ - . ~ $, and the 128 bytes from 0x80.
    EXPECT_EQ(count, 52 + 10 + 5 + 128);
    for (char c : std::string("\\/\"';,=%)(|[]<>:*?!&+^@#` \t\r\n"))
        EXPECT_FALSE(IsNameChar(c)) << c;
    EXPECT_FALSE(IsNameChar('\0'));
}

}  // namespace
