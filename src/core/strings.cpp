#include "core/strings.h"

#include <atomic>
#include <cstring>

namespace movix {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string ChangeExtension(const std::string& fileName, const std::string& extension) {
    const std::string::size_type pos = fileName.find_last_of(".\\/:");
    if (pos != std::string::npos && fileName[pos] == '.')
        return fileName.substr(0, pos) + extension;
    return fileName + extension;
}

const char* KindExtension(int kind) {
    switch (kind) {
        case KindIni:
            return "INI";
        case KindGrp:
            return "GRP";
        case KindLnk:
            return "LNK";
        case KindReg:
            return "REG";
        default:
            return "err";
    }
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

std::string UpperAscii(std::string_view s) {
    std::string result(s);
    for (char& c : result)
        c = UpperAscii(c);
    return result;
}

namespace {

// Set once at start, read by every search thread.
std::atomic<UpperCaseFn> g_upperCase{nullptr};

// One character of UTF-8 text: its code point and its length in bytes. A
// byte that does not start a well-formed sequence (an overlong form, a
// surrogate, a value past U+10FFFF, a sequence cut short) is a character of
// its own, one byte long, and `raw`: it is compared as it is.
struct Utf8Char {
    char32_t code;
    std::size_t length;
    bool raw;
};

Utf8Char DecodeAt(std::string_view s, std::size_t i) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80)
        return {b, 1, false};
    std::size_t n;
    char32_t code;
    char32_t least;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2, code = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3, code = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4, code = b & 0x07, least = 0x10000;
    } else {
        return {b, 1, true};
    }
    if (i + n > s.size())
        return {b, 1, true};
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80)
            return {b, 1, true};
        code = (code << 6) | (c & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {b, 1, true};
    return {code, n, false};
}

// Writes `code` as UTF-8 into `out` (room for 4); returns the length. A code
// that cannot be written (an upper-casing that answered nonsense) gives 0.
std::size_t EncodeUtf8(char32_t code, char* out) {
    if (code < 0x80) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = static_cast<char>(0xC0 | (code >> 6));
        out[1] = static_cast<char>(0x80 | (code & 0x3F));
        return 2;
    }
    if (code >= 0xD800 && code <= 0xDFFF)
        return 0;
    if (code < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (code >> 12));
        out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (code & 0x3F));
        return 3;
    }
    if (code <= 0x10FFFF) {
        out[0] = static_cast<char>(0xF0 | (code >> 18));
        out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out[3] = static_cast<char>(0x80 | (code & 0x3F));
        return 4;
    }
    return 0;
}

// The upper-cased UTF-8 of the character `c` of `s` at `i`, into `out`;
// returns its length. A raw byte, and a character the upper-casing cannot
// give back as UTF-8, stays as it is in `s`.
std::size_t UpperCharAt(std::string_view s, std::size_t i, const Utf8Char& c, UpperCaseFn upper, char* out) {
    if (!c.raw) {
        const std::size_t n = EncodeUtf8(
            c.code < 0x80 ? static_cast<char32_t>(UpperAscii(static_cast<char>(c.code))) : upper(c.code), out);
        if (n != 0)
            return n;
    }
    std::memcpy(out, s.data() + i, c.length);
    return c.length;
}

}  // namespace

char32_t Utf8CharAt(std::string_view s, std::size_t i, std::size_t& length) {
    const Utf8Char c = DecodeAt(s, i);
    length = c.length;
    return c.raw ? kNotUtf8 : c.code;
}

void SetUpperCase(UpperCaseFn upper) {
    g_upperCase.store(upper, std::memory_order_release);
}

UpperCaseFn InstalledUpperCase() {
    return g_upperCase.load(std::memory_order_acquire);
}

std::string UpperText(std::string_view s) {
    const UpperCaseFn upper = InstalledUpperCase();
    if (upper == nullptr)
        return UpperAscii(s);
    std::string result;
    result.reserve(s.size());
    char bytes[4];
    for (std::size_t i = 0; i < s.size();) {
        const Utf8Char c = DecodeAt(s, i);
        result.append(bytes, UpperCharAt(s, i, c, upper, bytes));
        i += c.length;
    }
    return result;
}

bool SameFileName(const std::string& a, const std::string& b) {
    if (InstalledUpperCase() == nullptr)
        return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
    return UpperText(a) == UpperText(b);
}

bool IsNameChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80)
        return true;
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
        return true;
    return c == '_' || c == '-' || c == '.' || c == '~' || c == '$';
}

namespace {

// Characters that cannot be in a file name, or that part the items of a list
// or a command line: the name before them has surely ended.
bool EndsNameSurely(char c) {
    if (static_cast<unsigned char>(c) < 0x20)
        return true;  // control characters, tab and line ends among them
    return c == '\\' || c == '/' || c == '"' || c == '<' || c == '>' || c == '|' || c == '*' || c == '?' ||
           c == ';' || c == ',' || c == '=';
}

// A switch of a command line after a blank: / or - and a letter (or /?).
bool IsSwitchAt(std::string_view text, std::size_t at) {
    if (at + 1 >= text.size() || (text[at] != '/' && text[at] != '-'))
        return false;
    const char c = text[at + 1];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c == '?' && text[at] == '/');
}

}  // namespace

TBoundary BoundaryAfter(std::string_view text, std::size_t end, std::string_view searchUpper) {
    if (end >= text.size())
        return TBoundary::Sure;
    if (!searchUpper.empty() && (searchUpper.back() == '\\' || searchUpper.back() == '/'))
        return TBoundary::Sure;
    const char next = text[end];
    if (IsNameChar(next))
        return TBoundary::None;
    if (EndsNameSurely(next))
        return TBoundary::Sure;
    if (next != ' ')
        return TBoundary::Doubtful;
    while (end < text.size() && text[end] == ' ')
        ++end;
    // Blanks at the end of the text or of its line are no part of a name.
    if (end == text.size() || static_cast<unsigned char>(text[end]) < 0x20 || IsSwitchAt(text, end))
        return TBoundary::Sure;
    return TBoundary::Doubtful;
}

bool IsBoundaryAfter(std::string_view text, std::size_t end, std::string_view searchUpper) {
    return BoundaryAfter(text, end, searchUpper) != TBoundary::None;
}

namespace {

// The first occurrence of `searchUpper` in `text` (compared upper-cased) at
// or after `from`, counting or not; npos when there is none. `end` is set to
// the end of the occurrence in `text`.
std::size_t FindUpper(std::string_view text, std::string_view searchUpper, std::size_t from, std::size_t& end) {
    if (searchUpper.empty())
        return std::string_view::npos;
    const UpperCaseFn upper = InstalledUpperCase();
    if (upper == nullptr) {
        // Bytes for bytes: only a..z have another case.
        if (text.size() < searchUpper.size())
            return std::string_view::npos;
        const char first = searchUpper[0];
        const std::size_t last = text.size() - searchUpper.size();
        for (std::size_t i = from; i <= last; ++i) {
            if (UpperAscii(text[i]) != first)
                continue;
            std::size_t k = 1;
            while (k < searchUpper.size() && UpperAscii(text[i + k]) == searchUpper[k])
                ++k;
            if (k == searchUpper.size()) {
                end = i + searchUpper.size();
                return i;
            }
        }
        return std::string_view::npos;
    }
    // Character by character: an occurrence starts at a character, and each
    // character of the text, upper-cased, must give the next bytes of
    // `searchUpper`. ASCII goes without the upper-casing's call.
    const char first = searchUpper[0];
    char bytes[4];
    for (std::size_t i = from; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80 && UpperAscii(static_cast<char>(b)) != first) {
            ++i;
            continue;
        }
        const Utf8Char head = DecodeAt(text, i);
        std::size_t t = i, k = 0;
        while (k < searchUpper.size() && t < text.size()) {
            const unsigned char tb = static_cast<unsigned char>(text[t]);
            if (tb < 0x80) {
                if (UpperAscii(static_cast<char>(tb)) != searchUpper[k])
                    break;
                ++t, ++k;
                continue;
            }
            const Utf8Char c = DecodeAt(text, t);
            const std::size_t n = UpperCharAt(text, t, c, upper, bytes);
            if (k + n > searchUpper.size() || std::memcmp(bytes, searchUpper.data() + k, n) != 0)
                break;
            t += c.length, k += n;
        }
        if (k == searchUpper.size()) {
            end = t;
            return i;
        }
        i += head.length;
    }
    return std::string_view::npos;
}

// The start of the character after the one that starts at `at`.
std::size_t NextStart(std::string_view text, std::size_t at) {
    return InstalledUpperCase() == nullptr ? at + 1 : at + DecodeAt(text, at).length;
}

}  // namespace

bool ContainsUpper(std::string_view text, std::string_view searchUpper) {
    std::size_t end = 0;
    for (std::size_t at = FindUpper(text, searchUpper, 0, end); at != std::string_view::npos;
         at = FindUpper(text, searchUpper, NextStart(text, at), end)) {
        if (IsBoundaryAfter(text, end, searchUpper))
            return true;
    }
    return false;
}

bool MaybeLongerName(std::string_view text, std::string_view searchUpper) {
    std::size_t end = 0;
    for (std::size_t at = FindUpper(text, searchUpper, 0, end); at != std::string_view::npos;
         at = FindUpper(text, searchUpper, NextStart(text, at), end)) {
        // Every occurrence, also those a replacement would pass over after
        // an overlapping one: the flag must cover whatever is rewritten.
        if (BoundaryAfter(text, end, searchUpper) == TBoundary::Doubtful)
            return true;
    }
    return false;
}

void ReplaceAllText(std::string& s, std::string_view find, std::string_view repl) {
    if (find.empty())
        return;
    const std::string findUpper = UpperText(find);
    std::string result;
    std::size_t copied = 0;  // s[0, copied) is in result or replaced
    bool changed = false;
    std::size_t end = 0;
    for (std::size_t at = FindUpper(s, findUpper, 0, end); at != std::string_view::npos;) {
        if (!IsBoundaryAfter(s, end, findUpper)) {
            at = FindUpper(s, findUpper, NextStart(s, at), end);
            continue;
        }
        if (!changed) {
            result.reserve(s.size() + repl.size());
            changed = true;
        }
        result.append(s, copied, at - copied);
        result.append(repl);
        copied = end;
        at = FindUpper(s, findUpper, copied, end);
    }
    if (!changed)
        return;
    result.append(s, copied, std::string::npos);
    s.swap(result);
}

std::vector<TTextSpan> ReplacedOccurrences(std::string_view s, std::string_view find) {
    std::vector<TTextSpan> found;
    if (find.empty())
        return found;
    const std::string findUpper = UpperText(find);
    std::size_t end = 0;
    for (std::size_t at = FindUpper(s, findUpper, 0, end); at != std::string_view::npos;) {
        if (!IsBoundaryAfter(s, end, findUpper)) {
            at = FindUpper(s, findUpper, NextStart(s, at), end);
            continue;
        }
        found.push_back({at, end});
        at = FindUpper(s, findUpper, end, end);
    }
    return found;
}

std::string BackupName(const std::string& fileName) {
    return ChangeExtension(fileName, ".BAK");
}

std::string TempName(const std::string& fileName) {
    return ChangeExtension(fileName, ".$$$");
}

void AppendUtf8(char32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace movix
