#include "core/strings.h"

namespace movix {

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

bool SameFileName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

bool IsNameChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80)
        return true;
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
        return true;
    return c == '_' || c == '-' || c == '.' || c == '~' || c == '$';
}

bool IsBoundaryAfter(std::string_view text, std::size_t end, std::string_view searchUpper) {
    if (end >= text.size())
        return true;
    if (!searchUpper.empty() && (searchUpper.back() == '\\' || searchUpper.back() == '/'))
        return true;
    return !IsNameChar(text[end]);
}

namespace {

// The first occurrence of `searchUpper` in `text` (compared upper-cased) at
// or after `from`, counting or not; npos when there is none.
std::size_t FindUpper(std::string_view text, std::string_view searchUpper, std::size_t from) {
    if (searchUpper.empty() || text.size() < searchUpper.size())
        return std::string_view::npos;
    const char first = searchUpper[0];
    const std::size_t last = text.size() - searchUpper.size();
    for (std::size_t i = from; i <= last; ++i) {
        if (UpperAscii(text[i]) != first)
            continue;
        std::size_t k = 1;
        while (k < searchUpper.size() && UpperAscii(text[i + k]) == searchUpper[k])
            ++k;
        if (k == searchUpper.size())
            return i;
    }
    return std::string_view::npos;
}

}  // namespace

bool ContainsUpper(std::string_view text, std::string_view searchUpper) {
    for (std::size_t at = FindUpper(text, searchUpper, 0); at != std::string_view::npos;
         at = FindUpper(text, searchUpper, at + 1)) {
        if (IsBoundaryAfter(text, at + searchUpper.size(), searchUpper))
            return true;
    }
    return false;
}

bool MaybeLongerName(std::string_view text, std::string_view searchUpper) {
    for (std::size_t at = FindUpper(text, searchUpper, 0); at != std::string_view::npos;
         at = FindUpper(text, searchUpper, at + 1)) {
        std::size_t end = at + searchUpper.size();
        // A blank ends a name, so the occurrence counts. An Old address ending
        // in a separator has its last name closed: nothing runs on from it.
        if (end >= text.size() || text[end] != ' ' || searchUpper.back() == '\\' || searchUpper.back() == '/')
            continue;
        while (end < text.size() && text[end] == ' ')
            ++end;
        if (end < text.size() && IsNameChar(text[end]))
            return true;
    }
    return false;
}

void ReplaceAllText(std::string& s, std::string_view find, std::string_view repl) {
    if (find.empty() || s.size() < find.size())
        return;
    const std::string findUpper = UpperAscii(find);
    std::string result;
    std::size_t copied = 0;  // s[0, copied) is in result or replaced
    bool changed = false;
    for (std::size_t at = FindUpper(s, findUpper, 0); at != std::string_view::npos;) {
        if (!IsBoundaryAfter(s, at + find.size(), findUpper)) {
            at = FindUpper(s, findUpper, at + 1);
            continue;
        }
        if (!changed) {
            result.reserve(s.size() + (repl.size() > find.size() ? repl.size() - find.size() : 0));
            changed = true;
        }
        result.append(s, copied, at - copied);
        result.append(repl);
        copied = at + find.size();
        at = FindUpper(s, findUpper, copied);
    }
    if (!changed)
        return;
    result.append(s, copied, std::string::npos);
    s.swap(result);
}

std::string BackupName(const std::string& fileName) {
    return ChangeExtension(fileName, ".BAK");
}

std::string TempName(const std::string& fileName) {
    return ChangeExtension(fileName, ".$$$");
}

}  // namespace movix
