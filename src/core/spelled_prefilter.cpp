// The quick look before the search for Old in every spelling (see
// TSpelledPrefilter in path_spellings.h).
#include "core/path_spellings.h"

namespace movix {

namespace {

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether the text holds an escape that may spell an ASCII letter or digit:
// JSON \u, an XML character reference, or a URL's %HH of one.
bool HasAlnumEscape(std::string_view text) {
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && (text[i + 1] == 'u' || text[i + 1] == 'U'))
            return true;
        if (c == '&' && text[i + 1] == '#')
            return true;
        if (c == '%') {
            const int high = HexDigitValue(text[i + 1]);
            const int low = HexDigitValue(text[i + 2]);
            if (high >= 0 && low >= 0 && IsAsciiAlnum(static_cast<unsigned char>(high * 16 + low)))
                return true;
        }
    }
    return false;
}

}  // namespace

TSpelledPrefilter::TSpelledPrefilter(std::string_view oldAddress) {
    std::string run;
    for (std::size_t i = 0; i <= oldAddress.size(); ++i) {
        const unsigned char c = i < oldAddress.size() ? static_cast<unsigned char>(oldAddress[i]) : 0;
        if (i < oldAddress.size() && IsAsciiAlnum(c)) {
            run += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            continue;
        }
        if (run.size() > key_.size())
            key_ = run;
        run.clear();
    }
    keyHasIOrS_ = key_.find_first_of("IS") != std::string::npos;
}

bool TSpelledPrefilter::MayHold(std::string_view text) const {
    if (key_.empty())
        return true;
    // The key, letter case aside, by its first character's two cases.
    const char first = key_[0];
    const char firstLower = first >= 'A' && first <= 'Z' ? static_cast<char>(first - 'A' + 'a') : first;
    for (std::size_t at = 0; at + key_.size() <= text.size(); ++at) {
        if (text[at] != first && text[at] != firstLower)
            continue;
        std::size_t k = 1;
        for (; k < key_.size(); ++k) {
            char c = text[at + k];
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            if (c != key_[k])
                break;
        }
        if (k == key_.size())
            return true;
    }
    // Dotless i and long s upper-case to I and S.
    if (keyHasIOrS_ && (text.find("\xC4\xB1") != std::string_view::npos ||
                        text.find("\xC5\xBF") != std::string_view::npos))
        return true;
    return HasAlnumEscape(text);
}

}  // namespace movix
