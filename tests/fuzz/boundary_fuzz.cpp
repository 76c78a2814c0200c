// Fuzz target: the path-boundary match, replacement and "maybe a longer
// name" flag of core/strings.h against a reference written for plainness
// rather than speed. Any disagreement aborts with the input printed.
//
// Built two ways: with clang's libFuzzer (-fsanitize=fuzzer, scripts/fuzz.sh)
// for long runs, and with any compiler together with fuzz_driver.cpp, which
// feeds it seeded random inputs (the short run of the test suite).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/strings.h"

namespace {

// ---- the reference --------------------------------------------------------

char RefUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool RefNameChar(char c) {
    if (static_cast<unsigned char>(c) >= 128)
        return true;
    // A string_view, not strchr: strchr would find the terminator for '\0'.
    const std::string_view marks = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-.~$";
    return marks.find(c) != std::string_view::npos;
}

bool RefSameAt(const std::string& text, std::size_t i, const std::string& find) {
    if (i + find.size() > text.size())
        return false;
    for (std::size_t k = 0; k < find.size(); ++k)
        if (RefUpper(text[i + k]) != RefUpper(find[k]))
            return false;
    return true;
}

bool RefEndsInSeparator(const std::string& find) {
    return !find.empty() && (find.back() == '\\' || find.back() == '/');
}

// An occurrence at i counts when nothing of a name follows it.
bool RefCounts(const std::string& text, std::size_t i, const std::string& find) {
    const std::size_t end = i + find.size();
    return end == text.size() || RefEndsInSeparator(find) || !RefNameChar(text[end]);
}

bool RefMatch(const std::string& text, const std::string& find) {
    if (find.empty())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (RefSameAt(text, i, find) && RefCounts(text, i, find))
            return true;
    return false;
}

std::string RefReplace(const std::string& text, const std::string& find, const std::string& repl) {
    if (find.empty())
        return text;
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (RefSameAt(text, i, find) && RefCounts(text, i, find)) {
            out += repl;
            i += find.size();
        } else {
            out += text[i];
            i += 1;
        }
    }
    return out;
}

// Where a counting occurrence's name surely ends: nothing more, a character
// no name holds or that parts list items, or blanks up to the end, a control
// character or a switch (/x or -x, x a letter, or /?).
bool RefSureEnd(const std::string& text, std::size_t end) {
    const std::string_view ends = "\\/\"<>|*?;,=";
    if (end == text.size())
        return true;
    const char c = text[end];
    if (static_cast<unsigned char>(c) < 32 || ends.find(c) != std::string_view::npos)
        return true;
    if (c != ' ')
        return false;
    std::size_t j = end;
    while (j < text.size() && text[j] == ' ')
        ++j;
    if (j == text.size() || static_cast<unsigned char>(text[j]) < 32)
        return true;
    if (j + 1 >= text.size())
        return false;
    const char lead = text[j];
    const char x = text[j + 1];
    const bool letter = (x >= 'a' && x <= 'z') || (x >= 'A' && x <= 'Z');
    return (lead == '/' && (letter || x == '?')) || (lead == '-' && letter);
}

bool RefMaybeLonger(const std::string& text, const std::string& find) {
    if (find.empty() || RefEndsInSeparator(find))
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (RefSameAt(text, i, find) && RefCounts(text, i, find) && !RefSureEnd(text, i + find.size()))
            return true;
    return false;
}

// ---- turning bytes into cases ---------------------------------------------

// Mostly characters that matter to the rule, so that occurrences, near
// misses and overlaps are common.
const char kAlphabet[] = {'a', 'A', 'b', 'B', '\\', '/',  ' ',    '.',    ';',    '_',    '-', '~',
                          '$', '1', '"', '=', ':',  '\0', '\x80', '\xC3', '\xA9', '\xFF', 'z', 'Z',
                          '(', '+', '?', ',', '\t', '\x7F', ' ', ' '};

std::string Hex(const std::string& s) {
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
                       const std::string& text,
                       const std::string& find,
                       const std::string& repl,
                       const std::string& got,
                       const std::string& want) {
    std::fprintf(stderr, "boundary fuzz: %s differs\n  text: %s\n  find: %s\n  repl: %s\n  got:  %s\n  want: %s\n",
                 what, Hex(text).c_str(), Hex(find).c_str(), Hex(repl).c_str(), Hex(got).c_str(), Hex(want).c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const std::uint8_t control = data[0];
    const bool raw = (control & 3) == 0;  // a quarter of the inputs as they are
    std::string text;
    for (std::size_t i = 3; i < size; ++i)
        text += raw ? static_cast<char>(data[i]) : kAlphabet[data[i] % sizeof kAlphabet];

    std::string find;
    std::string repl;
    const std::size_t findLength = data[1] % 9u;
    if (control & 4) {
        // The find text cut from the text itself, letter case flipped here
        // and there: occurrences are then certain.
        const std::size_t from = text.empty() ? 0 : data[2] % text.size();
        find = text.substr(from, findLength);
        for (std::size_t k = 0; k < find.size(); ++k)
            if (((control >> 3) + k) & 1)
                find[k] = RefUpper(find[k]);
    } else {
        for (std::size_t k = 0; k < findLength && k < text.size(); ++k)
            find += text[text.size() - 1 - k];
    }
    if (control & 0x40)
        repl = find + "\\x";  // holds the find text: must not be searched again
    else if (control & 0x80)
        repl = text.substr(0, data[2] % 5u);

    const std::string upper = movix::UpperAscii(find);
    const bool match = movix::ContainsUpper(text, upper);
    if (match != RefMatch(text, find))
        Fail("match", text, find, repl, match ? "true" : "false", match ? "false" : "true");

    std::string replaced = text;
    movix::ReplaceAllText(replaced, find, repl);
    const std::string want = RefReplace(text, find, repl);
    if (replaced != want)
        Fail("replace", text, find, repl, replaced, want);

    const bool longer = movix::MaybeLongerName(text, upper);
    if (longer != RefMaybeLonger(text, find))
        Fail("longer-name", text, find, repl, longer ? "true" : "false", longer ? "false" : "true");

    for (char c : text)
        if (movix::IsNameChar(c) != RefNameChar(c))
            Fail("name character", text, find, repl, std::string(1, c), "");
    return 0;
}
