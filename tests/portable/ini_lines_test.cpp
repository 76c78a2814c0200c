#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/strings.h"
#include "targets/ini_lines.h"

using namespace movix;

namespace {

// Reads `text` in pieces of at most `chunk` bytes; fails once `failAt` bytes
// have been handed out (a negative value never fails).
IniLineReader::ReadFn StringSource(const std::string& text, std::size_t chunk, long long failAt = -1) {
    auto pos = std::make_shared<std::size_t>(0);
    return [text, chunk, failAt, pos](char* buffer, std::size_t capacity) -> long long {
        if (failAt >= 0 && *pos >= static_cast<std::size_t>(failAt))
            return -1;
        std::size_t n = std::min({chunk, capacity, text.size() - *pos});
        if (failAt >= 0)
            n = std::min(n, static_cast<std::size_t>(failAt) - *pos);
        std::memcpy(buffer, text.data() + *pos, n);
        *pos += n;
        return static_cast<long long>(n);
    };
}

struct ReadOutcome {
    std::vector<std::string> lines;
    IniLineReader::Result last;
    std::string copy;  // the lines with their ends, then the raw rest
};

ReadOutcome ReadAll(const std::string& text, std::size_t chunk, std::size_t bufferSize, long long failAt = -1) {
    IniLineReader reader(StringSource(text, chunk, failAt), bufferSize);
    ReadOutcome out;
    std::string line;
    for (;;) {
        out.last = reader.Next(line);
        if (out.last != IniLineReader::Result::Line)
            break;
        out.lines.push_back(line);
        out.copy += line;
        out.copy += LineEndText(reader.LastLineEnd());
    }
    // Once ended, the reader stays ended.
    EXPECT_EQ(reader.Next(line), out.last);
    if (out.last == IniLineReader::Result::End) {
        std::string_view rest;
        while (reader.NextRaw(rest) == IniLineReader::Result::Line)
            out.copy.append(rest);
    }
    return out;
}

// Every case is read with whole-file reads and with reads of one, two and
// three bytes through buffers of several sizes, so that CR LF pairs and
// Ctrl-Z fall on every buffer boundary. The lines with their ends and the
// raw rest after them always give back the text byte for byte.
void ExpectLines(const std::string& text, const std::vector<std::string>& expected) {
    const std::size_t chunks[] = {1, 2, 3, 7, 1 << 20};
    const std::size_t buffers[] = {1, 2, 5, 64 * 1024};
    for (std::size_t chunk : chunks) {
        for (std::size_t buffer : buffers) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + ", buffer " + std::to_string(buffer));
            const ReadOutcome out = ReadAll(text, chunk, buffer);
            EXPECT_EQ(out.last, IniLineReader::Result::End);
            EXPECT_EQ(out.lines, expected);
            EXPECT_EQ(out.copy, text);
        }
    }
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(IniLineReader, LinesEndAtCrLfLoneCrOrLoneLf) {
    ExpectLines("", {});
    ExpectLines("a", {"a"});
    ExpectLines("a\r\n", {"a"});
    ExpectLines("a\r", {"a"});
    ExpectLines("a\n", {"a"});
    ExpectLines("a\r\nb", {"a", "b"});
    ExpectLines("a\rb\r\n", {"a", "b"});
    ExpectLines("\r\n", {""});
    ExpectLines("\r\n\r\n", {"", ""});
    ExpectLines("a\r\r\nb", {"a", "", "b"});
    ExpectLines("a\r\n\nb\r\n", {"a", "", "b"});
    // A Unix file is read line by line, and so is a file of mixed ends.
    ExpectLines("[S]\nk=v\n", {"[S]", "k=v"});
    ExpectLines("a\nb\nc", {"a", "b", "c"});
    ExpectLines("\n", {""});
    ExpectLines("a\n\rb\r\nc\rd\n", {"a", "", "b", "c", "d"});
}

TEST(IniLineReader, EachLineTellsItsEnd) {
    using E = IniLineReader::LineEnd;
    IniLineReader reader(StringSource("a\r\nb\rc\nd", 1), 1);
    std::string line;
    std::vector<E> ends;
    while (reader.Next(line) == IniLineReader::Result::Line)
        ends.push_back(reader.LastLineEnd());
    EXPECT_EQ(ends, (std::vector<E>{E::CrLf, E::Cr, E::Lf, E::None}));
}

TEST(IniLineReader, CtrlZEndsTheLinesAndTheRestStaysReadable) {
    ExpectLines(
        "a\x1A"
        "b\r\n",
        {"a"});
    ExpectLines(
        "a\r\n\x1A"
        "b\r\n",
        {"a"});
    ExpectLines(
        "\x1A"
        "a",
        {});
    ExpectLines("a\r\x1A\r\nb", {"a"});
    ExpectLines("a\r\n\x1A", {"a"});
    ExpectLines("a\n\x1A\x1A\n", {"a"});
}

TEST(IniLineReader, LinesHaveNoLengthLimit) {
    const std::string longLine(300000, 'k');
    ExpectLines(longLine + "\r\n" + longLine, {longLine, longLine});
}

TEST(IniLineReader, ReadErrorIsReportedAfterTheLinesBeforeIt) {
    // A read error right after a carriage return (looking for its line
    // feed) still hands out the line; the error comes next.
    const ReadOutcome afterCr = ReadAll("one\rtwo", 1, 1, 4);
    EXPECT_EQ(afterCr.lines, Lines{"one"});
    EXPECT_EQ(afterCr.last, IniLineReader::Result::Error);

    const std::string text = "one\r\ntwo\r\nthree\r\n";
    for (std::size_t chunk : {std::size_t(1), std::size_t(4), std::size_t(1) << 20}) {
        SCOPED_TRACE(chunk);
        // Fails in the middle of "two": the half line is not handed out.
        const ReadOutcome out = ReadAll(text, chunk, 64 * 1024, 7);
        EXPECT_EQ(out.last, IniLineReader::Result::Error);
        EXPECT_EQ(out.lines, Lines{"one"});
    }
    const ReadOutcome atStart = ReadAll(text, 1 << 20, 64 * 1024, 0);
    EXPECT_EQ(atStart.last, IniLineReader::Result::Error);
    EXPECT_TRUE(atStart.lines.empty());
}

TEST(IniTrim, RemovesCharactersBelowCode33AtBothEnds) {
    EXPECT_EQ(TrimIni("  \t key=v a \x01\x1F "), "key=v a");
    EXPECT_EQ(TrimIni("\n\x0B[S]\n"), "[S]");
    EXPECT_EQ(TrimIni(" \t\r\n"), "");
    EXPECT_EQ(TrimIni(""), "");
    // Code 33 and above stay, bytes above 127 too.
    EXPECT_EQ(TrimIni("!x!"), "!x!");
    EXPECT_EQ(TrimIni("\xA0x\xE9"), "\xA0x\xE9");
}

namespace {

struct Hit {
    int subType;
    std::string context;
    bool operator==(const Hit& o) const { return subType == o.subType && context == o.context; }
};

std::vector<Hit> Scan(const std::string& search, const Lines& lines) {
    const std::string searchUpper = UpperAscii(search);
    IniSearchScanner scanner([&searchUpper](std::string_view s) { return ContainsUpper(s, searchUpper); });
    std::vector<Hit> hits;
    for (const std::string& line : lines)
        if (scanner.Examine(line))
            hits.push_back({scanner.SubType(), scanner.Context()});
    return hits;
}

}  // namespace

TEST(IniSearch, ReportsHeadersAndKeyLinesWithTheirSection) {
    const auto hits = Scan(
        "c:\\old", {"Path=C:\\OLD\\BIN", "[Setup]", "  Path=c:\\old\\bin  ", "[C:\\Old]", "Other=x", "Dir = C:\\OLD"});
    const std::vector<Hit> expected = {
        {kSubTypeKey, "<no section>Path=C:\\OLD\\BIN"},
        {kSubTypeKey, "[Setup]Path=c:\\old\\bin"},
        {kSubTypeSection, "[C:\\Old]"},
        {kSubTypeKey, "[C:\\Old]Dir = C:\\OLD"},
    };
    EXPECT_EQ(hits, expected);
}

TEST(IniSearch, CommentsAndEmptyLinesAreNeverReported) {
    EXPECT_TRUE(Scan("C:\\OLD", {"; C:\\OLD", "  ;Path=C:\\OLD", "", "   ", "\t"}).empty());
}

TEST(IniSearch, HeaderNameDropsFirstAndLastCharacter) {
    // Without its closing bracket the header loses the D of OLD.
    EXPECT_TRUE(Scan("C:\\OLD", {"[C:\\OLD"}).empty());
    EXPECT_EQ(Scan("C:\\OL", {"[C:\\OLD"}), (std::vector<Hit>{{kSubTypeSection, "[C:\\OLD"}}));
    // A bracket is not part of the name looked at.
    EXPECT_TRUE(Scan("[A]", {"[A]"}).empty());
    EXPECT_TRUE(Scan("A", {"["}).empty());
    // A non-matching header still becomes the section of the keys below it.
    EXPECT_EQ(Scan("C:\\OLD", {"[first]", "[second]", "k=C:\\OLD"}),
              (std::vector<Hit>{{kSubTypeKey, "[second]k=C:\\OLD"}}));
}

TEST(IniSearch, KeyNameAloneCanMatch) {
    EXPECT_EQ(Scan("C:\\OLD", {"[S]", "C:\\OLD\\A.EXE=yes"}),
              (std::vector<Hit>{{kSubTypeKey, "[S]C:\\OLD\\A.EXE=yes"}}));
}

TEST(IniSearch, IdenticalLinesGiveOneHitEach) {
    EXPECT_EQ(Scan("C:\\OLD", {"[S]", "a=C:\\OLD", "a=C:\\OLD"}).size(), 2u);
}

TEST(IniSearch, EmptySearchFindsNothing) {
    EXPECT_TRUE(Scan("", {"[S]", "a=b"}).empty());
}

namespace {

struct RewriteRun {
    Lines lines;
    Lines log;
    std::vector<TReplaceHit> left;
};

bool AsciiEqualIgnoringCase(const std::string& a, const std::string& b) {
    return UpperAscii(a) == UpperAscii(b);
}

RewriteRun Rewrite(const Lines& lines,
                   const Lines& hitTexts,
                   const std::string& oldAddress = "C:\\OLD",
                   const std::string& newAddress = "D:\\NEW") {
    RewriteRun run;
    for (const auto& t : hitTexts)
        run.left.push_back({t, 0});
    TLogLine log = [&run](const std::string& s) { run.log.push_back(s); };
    IniRewriter rewriter(run.left, oldAddress, newAddress, AsciiEqualIgnoringCase, log);
    for (std::string line : lines) {
        rewriter.Rewrite(line);
        run.lines.push_back(line);
    }
    return run;
}

// The replacer's hit texts are the search's contexts upper-cased.
Lines HitTextsOf(const std::string& search, const Lines& lines) {
    Lines texts;
    for (const Hit& h : Scan(search, lines))
        texts.push_back(UpperAscii(h.context));
    return texts;
}

}  // namespace

TEST(IniRewrite, ChangesTheLinesTheSearchFoundAndLogsThem) {
    const Lines file = {"x=C:\\OLD\\A",     "[Setup]",           "  Path=c:\\old\\bin;C:\\Old\\lib  ",
                        "[C:\\Old\\Group]", "; c:\\old comment", "Dir=C:\\OLD"};
    const RewriteRun run = Rewrite(file, HitTextsOf("C:\\OLD", file));
    const Lines expected = {"x=D:\\NEW\\A",     "[Setup]",           "  Path=D:\\NEW\\bin;D:\\NEW\\lib  ",
                            "[D:\\NEW\\Group]", "; c:\\old comment", "Dir=D:\\NEW"};
    EXPECT_EQ(run.lines, expected);
    EXPECT_TRUE(run.left.empty());
    const Lines log = {
        "          INI key: x=C:\\OLD\\A",
        "       changed to: x=D:\\NEW\\A",
        "          INI key:   Path=c:\\old\\bin;C:\\Old\\lib  ",
        "       changed to:   Path=D:\\NEW\\bin;D:\\NEW\\lib  ",
        "   section header: [C:\\Old\\Group]",
        "       changed to: [D:\\NEW\\Group]",
        "          INI key: Dir=C:\\OLD",
        "       changed to: Dir=D:\\NEW",
    };
    EXPECT_EQ(run.log, log);
    // The three prefixes line up in a fixed-pitch font.
    EXPECT_EQ(std::string("   section header: ").size(), 19u);
    EXPECT_EQ(std::string("          INI key: ").size(), 19u);
    EXPECT_EQ(std::string("       changed to: ").size(), 19u);
}

TEST(IniRewrite, KeyBeforeFirstSectionIsFoundAgain) {
    const Lines file = {"Path=C:\\OLD\\BIN", "[A]", "Path=C:\\OLD\\BIN"};
    const RewriteRun run = Rewrite(file, {"<NO SECTION>PATH=C:\\OLD\\BIN"});
    EXPECT_EQ(run.lines, (Lines{"Path=D:\\NEW\\BIN", "[A]", "Path=C:\\OLD\\BIN"}));
}

TEST(IniRewrite, HitAppliesOnlyInItsOwnSection) {
    const Lines file = {"[A]", "k=C:\\OLD", "[B]", "k=C:\\OLD"};
    const RewriteRun run = Rewrite(file, {"[B]K=C:\\OLD"});
    EXPECT_EQ(run.lines, (Lines{"[A]", "k=C:\\OLD", "[B]", "k=D:\\NEW"}));
}

TEST(IniRewrite, IdenticalLinesEachConsumeOneHit) {
    const Lines file = {"[S]", "a=C:\\OLD", "a=C:\\OLD", "a=C:\\OLD"};
    const RewriteRun run = Rewrite(file, {"[S]A=C:\\OLD", "[S]A=C:\\OLD"});
    EXPECT_EQ(run.lines, (Lines{"[S]", "a=D:\\NEW", "a=D:\\NEW", "a=C:\\OLD"}));
    EXPECT_EQ(run.log.size(), 4u);
}

TEST(IniRewrite, LineChangedSinceTheSearchIsCopiedUnchanged) {
    const Lines file = {"[S]", "a=C:\\OLD\\other"};
    const RewriteRun run = Rewrite(file, {"[S]A=C:\\OLD\\BIN"});
    EXPECT_EQ(run.lines, file);
    EXPECT_TRUE(run.log.empty());
    ASSERT_EQ(run.left.size(), 1u);
}

TEST(IniRewrite, CommentsAndEmptyLinesAreNeverChanged) {
    const Lines file = {"[S]", ";a=C:\\OLD", "   ", ""};
    // Even a hit text that looks like a comment line is not applied.
    const RewriteRun run = Rewrite(file, {"[S];A=C:\\OLD", "[S]"});
    EXPECT_EQ(run.lines, file);
    EXPECT_EQ(run.left.size(), 1u);  // the header consumed "[S]"
}

TEST(IniRewrite, StopsExaminingOnceNoHitsAreLeft) {
    // After the last hit, the section text is no longer followed either.
    const Lines file = {"[S]", "a=C:\\OLD", "[S]", "a=C:\\OLD"};
    const RewriteRun run = Rewrite(file, {"[S]A=C:\\OLD"});
    EXPECT_EQ(run.lines, (Lines{"[S]", "a=D:\\NEW", "[S]", "a=C:\\OLD"}));
    EXPECT_EQ(run.log.size(), 2u);
}

TEST(IniRewrite, TakesTheFirstEqualHitInListOrder) {
    std::vector<TReplaceHit> hits = {{"[S]A=C:\\OLD", 6}, {"[S]", 1}, {"[S]A=C:\\OLD", 7}};
    Lines log;
    TLogLine logFn = [&log](const std::string& s) { log.push_back(s); };
    IniRewriter rewriter(hits, "C:\\OLD", "D:\\NEW", AsciiEqualIgnoringCase, logFn);
    std::string header = "[s]";
    std::string key = "a=c:\\old";
    rewriter.Rewrite(header);
    rewriter.Rewrite(key);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].SubType, 7);
    EXPECT_EQ(header, "[s]");  // nothing of C:\OLD in it to replace
    EXPECT_EQ(key, "a=D:\\NEW");
}

TEST(IniRewrite, ComparisonUsesTheGivenEquality) {
    // A comparison that folds more than ASCII (as the user's locale does)
    // finds a line whose accented letter changed case since the search.
    const Lines file = {"[S]", "a=C:\\OLD\\\xE9"};
    auto foldE = [](const std::string& a, const std::string& b) {
        auto fold = [](std::string s) {
            for (char& c : s)
                if (c == '\xE9')
                    c = '\xC9';
            return UpperAscii(s);
        };
        return fold(a) == fold(b);
    };
    std::vector<TReplaceHit> hits = {{"[S]A=C:\\OLD\\\xC9", 6}};
    Lines log;
    TLogLine logFn = [&log](const std::string& s) { log.push_back(s); };
    IniRewriter rewriter(hits, "C:\\OLD", "D:\\NEW", foldE, logFn);
    std::string header = file[0], key = file[1];
    rewriter.Rewrite(header);
    rewriter.Rewrite(key);
    EXPECT_EQ(key, "a=D:\\NEW\\\xE9");
    EXPECT_TRUE(hits.empty());
}

namespace {

struct CopyRun {
    std::string copy;
    IniCopyResult result;
    Lines log;
    std::vector<TReplaceHit> left;
};

// Copies `text` through a rewriter with `hitTexts`, read in `chunk` pieces;
// the write fails once `writeLimit` bytes are written (a negative value
// never fails).
CopyRun Copy(const std::string& text,
             const Lines& hitTexts,
             std::size_t chunk = 1 << 20,
             long long readFailAt = -1,
             long long writeLimit = -1) {
    CopyRun run;
    for (const auto& t : hitTexts)
        run.left.push_back({t, 0});
    TLogLine log = [&run](const std::string& s) { run.log.push_back(s); };
    IniRewriter rewriter(run.left, "C:\\OLD", "D:\\NEW", AsciiEqualIgnoringCase, log);
    IniLineReader reader(StringSource(text, chunk, readFailAt), 5);
    run.result = CopyIniLines(reader, rewriter, [&](std::string_view bytes) {
        if (writeLimit >= 0 && run.copy.size() + bytes.size() > static_cast<std::size_t>(writeLimit))
            return false;
        run.copy.append(bytes);
        return true;
    });
    return run;
}

}  // namespace

TEST(IniCopy, RewritesOnlyTheHitLinesKeepingEveryLineEndAndTheTail) {
    struct Case {
        std::string text;
        Lines hits;
        std::string expected;
    };
    const Case cases[] = {
        // A Unix file: one line changes, not the whole text.
        {"[S]\nA=C:\\OLD\\1\nB=C:\\OLD\\2\n", {"[S]A=C:\\OLD\\1"}, "[S]\nA=D:\\NEW\\1\nB=C:\\OLD\\2\n"},
        // Mixed ends, a last line without one.
        {"[S]\r\nA=C:\\OLD\rB=C:\\OLD\nC=C:\\OLD",
         {"[S]A=C:\\OLD", "[S]C=C:\\OLD"},
         "[S]\r\nA=D:\\NEW\rB=C:\\OLD\nC=D:\\NEW"},
        // Everything from a Ctrl-Z on is kept as it is, hits or not.
        {"A=C:\\OLD\r\n\x1A"
         "A=C:\\OLD\r\n\x1A\xFF",
         {"<NO SECTION>A=C:\\OLD", "<NO SECTION>A=C:\\OLD"},
         "A=D:\\NEW\r\n\x1A"
         "A=C:\\OLD\r\n\x1A\xFF"},
        {"A=C:\\OLD\x1A", {"<NO SECTION>A=C:\\OLD"}, "A=D:\\NEW\x1A"},
    };
    for (const Case& c : cases) {
        for (std::size_t chunk : {std::size_t(1), std::size_t(3), std::size_t(1) << 20}) {
            SCOPED_TRACE(c.text + " in pieces of " + std::to_string(chunk));
            const CopyRun run = Copy(c.text, c.hits, chunk);
            EXPECT_EQ(run.result, IniCopyResult::Done);
            EXPECT_EQ(run.copy, c.expected);
        }
    }
}

TEST(IniCopy, ACopyWithoutHitsIsTheFileByteForByte) {
    // Random files over the bytes that matter to the line rules.
    const char alphabet[] = {'a', '\r', '\n', '\x1A', ' ', '[', ']', '=', ';', '\0', '\xE9'};
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    for (int i = 0; i < 2000; ++i) {
        std::string text(next() % 64, ' ');
        for (char& ch : text)
            ch = alphabet[next() % sizeof alphabet];
        const CopyRun run = Copy(text, {"[X]NEVER"}, 1 + next() % 4);
        ASSERT_EQ(run.result, IniCopyResult::Done);
        ASSERT_EQ(run.copy, text) << "case " << i;
    }
}

TEST(IniCopy, ReadAndWriteErrorsEndTheCopy) {
    const std::string text =
        "a=1\r\nb=C:\\OLD\r\n\x1A"
        "tail";
    EXPECT_EQ(Copy(text, {}, 2, 4).result, IniCopyResult::ReadError);
    EXPECT_EQ(Copy(text, {}, 2, 19).result, IniCopyResult::ReadError);  // in the tail
    EXPECT_EQ(Copy(text, {}, 2, -1, 3).result, IniCopyResult::WriteError);
    EXPECT_EQ(Copy(text, {}, 2, -1, 18).result, IniCopyResult::WriteError);  // the tail
}

TEST(IniNames, BackupsAreNumberedAndTempNamesTagged) {
    EXPECT_EQ(NumberedBackupName("C:\\WINDOWS\\WIN.INI", 0), "C:\\WINDOWS\\WIN.BAK");
    EXPECT_EQ(NumberedBackupName("C:\\WINDOWS\\WIN.INI", 1), "C:\\WINDOWS\\WIN-1.BAK");
    EXPECT_EQ(NumberedBackupName("C:\\APP.V2\\README", 12), "C:\\APP.V2\\README-12.BAK");
    EXPECT_EQ(NumberedBackupName("C:\\X\\SETUP.BAK", 2), "C:\\X\\SETUP-2.BAK");
    EXPECT_EQ(TaggedTempName("C:\\WINDOWS\\WIN.INI", 0x3F09A1C2u), "C:\\WINDOWS\\WIN-3F09A1C2.$$$");
    EXPECT_EQ(TaggedTempName("C:\\APP.V2\\README", 0xFu), "C:\\APP.V2\\README-0000000F.$$$");
}
