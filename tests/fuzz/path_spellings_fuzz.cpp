// Fuzz target: addresses in their spellings (core/path_spellings.h). Texts
// are built from pieces that matter to the readings (escapes, references,
// percent-encodings, URL prefixes, separators, blanks) and checked for:
//  - occurrences in order, apart, inside the text, each at a boundary;
//  - the rewritten text is the text with exactly those occurrences replaced
//    by the spelled New, every other byte as it was (a text without Old comes
//    back whole);
//  - the spelled New reads, in its spelling, as New (separators aside);
//  - rewriting again finds no Old where New does not hold it;
//  - the quick look (TSpelledPrefilter) never rules out a text that holds Old.
// Any failure aborts with the case printed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/path_spellings.h"

namespace {

// clang-format off
const char* const kPieces[] = {
    "C:",     "c:",     "\\",      "\\\\",    "/",          "\\/",     "%20",         "%2F",      "%5c",
    "%C3%A9", "%c3",    "&#32;",   "&#x20;",  "&amp;",      "&quot;",  "&apos;",      "&",        "file:///",
    "file://localhost/", "FILE:///", "|",     "\\u005c",    "\\u005C", "\\u0028",     "\\ud83d\\ude00", " ",
    "(",      "\"",     "'",       "<a b=\"", "\">",        "Acme",    "acme",        "Tools",    "R",
    "D",      "x",      "\xC3\xA9", "\xFF",   "=",          ";",       "\n",          "-S",       "Pro",
    "%",      "#",      "\\n",     "\\q",     "//srv/share", "\\\\srv\\share",
    // Letters spelled by escapes, and characters that upper-case to ASCII.
    "\\u0054", "&#84;",  "&#x74;",  "%54",     "%6f",        "%43",     "\xC5\xBF",    "\xC4\xB1", "Too",
    "ols",
};
// clang-format on

const char* const kOlds[] = {
    "C:\\Acme Tools", "C:\\Acme", "C:\\", "C:", "C:\\R&D", "C:\\Acme\\", "\\\\srv\\share", "C:\\\xC3\xA9", "C:/Acme",
};

const char* const kNews[] = {
    "D:\\New Place",    "D:\\R&D \"x\"", "D:\\",          "E:\\%20#?\xC3\xA9\xF0\x9F\x98\x80",
    "\\\\host\\s\\a b", "D:\\a<b>'c'",   "D:\\tab\there", "X|y\\\xFF",
    "D:/Fwd/ok",
};

std::string Hex(std::string_view s) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x21 && u < 0x7F && c != '%') {
            out += c;
        } else {
            out += '%';
            out += digits[u >> 4];
            out += digits[u & 15];
        }
    }
    return out;
}

[[noreturn]] void Fail(const char* what,
                       std::string_view text,
                       std::string_view old,
                       std::string_view repl,
                       std::string_view detail) {
    std::fprintf(stderr, "path spellings fuzz: %s\n  text: %s\n  old:  %s\n  new:  %s\n  got:  %s\n", what,
                 Hex(text).c_str(), Hex(old).c_str(), Hex(repl).c_str(), Hex(detail).c_str());
    std::abort();
}

std::string Separators(std::string s) {
    for (char& c : s)
        if (c == '/')
            c = '\\';
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const std::string old = kOlds[data[0] % (sizeof kOlds / sizeof *kOlds)];
    const std::string repl = kNews[data[1] % (sizeof kNews / sizeof *kNews)];
    const auto syntax = static_cast<movix::TTextSyntax>(data[2] % 3);
    const bool raw = data[2] >= 0xF0;  // now and then the bytes as they are
    std::string text;
    for (std::size_t i = 3; i < size; ++i) {
        if (raw)
            text += static_cast<char>(data[i]);
        else
            text += kPieces[data[i] % (sizeof kPieces / sizeof *kPieces)];
    }

    const auto found = movix::FindSpelledOccurrences(text, old, syntax);
    if (!found.empty() && !movix::TSpelledPrefilter(old).MayHold(text))
        Fail("the quick look ruled out a text that holds Old", text, old, repl, text);
    std::string want;
    std::size_t copied = 0;
    for (const auto& o : found) {
        if (o.offset < copied || o.length == 0 || o.offset + o.length > text.size())
            Fail("occurrences overlap or leave the text", text, old, repl, text.substr(copied));
        if (o.boundary == movix::TBoundary::None)
            Fail("an occurrence at no boundary", text, old, repl, text.substr(o.offset, o.length));
        // What the occurrence reads as is Old, letter case and separators
        // aside (the test's Olds are ASCII but for one accented letter).
        const std::string spelledOld = text.substr(o.offset, o.length);
        const std::string read = movix::ReadSpelled(spelledOld, o.spelling);
        const bool sameOld = o.spelling == movix::TSpelling::Plain
                                 ? movix::UpperText(read) == movix::UpperText(old)
                                 : movix::UpperText(Separators(read)) == movix::UpperText(Separators(old));
        if (!sameOld)
            Fail("an occurrence that does not read as Old", text, old, repl, read);

        const std::string spelledNew = movix::SpellAddress(repl, o.spelling, o.style);
        const std::string back = movix::ReadSpelled(spelledNew, o.spelling);
        const bool sameNew =
            o.spelling == movix::TSpelling::Plain ? back == repl : Separators(back) == Separators(repl);
        if (!sameNew)
            Fail(movix::SpellingCode(o.spelling), text, old, repl, spelledNew + " reads " + back);
        want.append(text, copied, o.offset - copied);
        want += spelledNew;
        copied = o.offset + o.length;
    }
    want.append(text, copied, std::string::npos);

    const std::string rewritten = movix::RewriteSpelled(text, old, repl, {}, syntax);
    if (rewritten != want)
        Fail("bytes outside the occurrences changed", text, old, repl, rewritten);
    if (found.empty() && rewritten != text)
        Fail("a text without Old changed", text, old, repl, rewritten);

    // Only the doubtful ones: the others stay as they were.
    const std::string doubtful = movix::RewriteSpelled(
        text, old, repl, [](const movix::TSpelledOccurrence& o) { return o.boundary == movix::TBoundary::Doubtful; },
        syntax);
    std::size_t doubtfulCount = 0;
    for (const auto& o : found)
        doubtfulCount += o.boundary == movix::TBoundary::Doubtful;
    if (doubtfulCount == 0 && doubtful != text)
        Fail("a rewrite of no occurrence changed the text", text, old, repl, doubtful);
    return 0;
}
