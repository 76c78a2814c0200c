#include "engine/strings.h"

namespace movix {

namespace {

// Cuts the extension of the last path component and appends `ext`.
std::string ChangeExtension(const std::string& fileName, const char* ext) {
    const std::string::size_type at = fileName.find_last_of(".:\\");
    std::string result = (at != std::string::npos && fileName[at] == '.') ? fileName.substr(0, at) : fileName;
    result += ext;
    return result;
}

}  // namespace

const char* KindExtension(int kind) {
    switch (kind) {
        case kKindIni:
            return "INI";
        case kKindGrp:
            return "GRP";
        case kKindLnk:
            return "LNK";
        case kKindReg:
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

bool ContainsUpper(std::string_view text, std::string_view searchUpper) {
    if (searchUpper.empty() || text.size() < searchUpper.size())
        return false;
    const char first = searchUpper[0];
    const std::size_t last = text.size() - searchUpper.size();
    for (std::size_t i = 0; i <= last; ++i) {
        if (UpperAscii(text[i]) != first)
            continue;
        std::size_t k = 1;
        while (k < searchUpper.size() && UpperAscii(text[i + k]) == searchUpper[k])
            ++k;
        if (k == searchUpper.size())
            return true;
    }
    return false;
}

void ReplaceAllText(std::string& s, std::string_view find, std::string_view repl) {
    if (find.empty() || s.size() < find.size())
        return;
    // Upper-casing keeps every character in its place, so positions found in
    // the upper-cased copy are positions in `s`; continuing after each match
    // in the original is the same as continuing after each inserted `repl`.
    const std::string upper = UpperAscii(s);
    const std::string findUpper = UpperAscii(find);
    std::string::size_type hit = upper.find(findUpper);
    if (hit == std::string::npos)
        return;
    std::string result;
    result.reserve(s.size() + (repl.size() > find.size() ? repl.size() - find.size() : 0));
    std::string::size_type from = 0;
    while (hit != std::string::npos) {
        result.append(s, from, hit - from);
        result.append(repl);
        from = hit + find.size();
        hit = upper.find(findUpper, from);
    }
    result.append(s, from, std::string::npos);
    s.swap(result);
}

std::string BackupName(const std::string& fileName) {
    return ChangeExtension(fileName, ".BAK");
}

std::string TempName(const std::string& fileName) {
    return ChangeExtension(fileName, ".$$$");
}

}  // namespace movix
