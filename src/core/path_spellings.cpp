#include "core/path_spellings.h"
#include "platform/hex_text.h"

#include <algorithm>
#include <cstring>

namespace movix {

const char* SpellingCode(TSpelling spelling) {
    switch (spelling) {
        case TSpelling::Plain:
            return "plain";
        case TSpelling::Slash:
            return "slash";
        case TSpelling::Json:
            return "json";
        case TSpelling::Xml:
            return "xml";
        case TSpelling::Url:
            return "url";
    }
    return "err";
}

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The text as a spelling reads it. Outside its escapes the reading is the
// text itself; each escape is one character of the reading, d[dStart,
// dEnd), written as text[src, srcEnd). `form` is how it was written (the
// spelling's escape code); `broken` marks an escape that does not read (a
// lone & in XML, \q in JSON): it stands for itself, but no occurrence of
// that spelling may hold it. Only the escapes are kept apart, so a reading
// costs little more than a copy of the text.
struct Escape {
    std::size_t src;
    std::size_t srcEnd;
    std::size_t dStart;
    std::size_t dEnd;
    unsigned char form;
    bool broken;
};

struct Reading {
    std::string d;
    std::vector<Escape> escapes;

    void Copy(std::string_view text, std::size_t from, std::size_t to) { d.append(text.substr(from, to - from)); }
    void Add(std::size_t src,
             std::size_t srcEnd,
             const char* bytes,
             std::size_t n,
             unsigned char form,
             bool broken = false) {
        escapes.push_back({src, srcEnd, d.size(), d.size() + n, form, broken});
        d.append(bytes, n);
    }
    // The first escape that ends after `at` in the reading.
    std::size_t EscapeFrom(std::size_t at) const {
        return static_cast<std::size_t>(std::upper_bound(escapes.begin(), escapes.end(), at,
                                                         [](std::size_t p, const Escape& e) { return p < e.dEnd; }) -
                                        escapes.begin());
    }
    // Where the reading's position `at` (a character's start or the end)
    // lies in the text.
    std::size_t SrcOf(std::size_t at) const {
        const std::size_t k = EscapeFrom(at);
        if (k < escapes.size() && escapes[k].dStart <= at)
            return escapes[k].src;
        if (k == 0)
            return at;
        return escapes[k - 1].srcEnd + (at - escapes[k - 1].dEnd);
    }
    // The reading's position of the text's `src`, or npos inside an escape.
    std::size_t ReadingOf(std::size_t src) const {
        const auto e = std::upper_bound(escapes.begin(), escapes.end(), src,
                                        [](std::size_t p, const Escape& x) { return p < x.srcEnd; });
        if (e != escapes.end() && e->src <= src)
            return e->src == src ? e->dStart : std::string_view::npos;
        if (e == escapes.begin())
            return src;
        return (e - 1)->dEnd + (src - (e - 1)->srcEnd);
    }
};

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
    if (code < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (code >> 12));
        out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (code >> 18));
    out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (code & 0x3F));
    return 4;
}


// `count` hexadecimal digits at `at`, or -1.
long HexAt(std::string_view s, std::size_t at, std::size_t count) {
    if (at + count > s.size())
        return -1;
    long v = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const int h = HexDigitValue(s[at + k]);
        if (h < 0)
            return -1;
        v = v * 16 + h;
    }
    return v;
}

bool IsScalar(long v) {
    return v >= 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF);
}

Reading ReadPlain(std::string_view text) {
    Reading r;
    r.d.assign(text);
    return r;
}

// The text as read through escapes that each start with `lead`; `escape`
// reads the one at i (or marks it broken) and returns where it ends.
template <class ReadEscape>
Reading ReadEscapes(std::string_view text, char lead, ReadEscape escape) {
    Reading r;
    r.d.reserve(text.size());
    std::size_t copied = 0;
    for (std::size_t i = text.find(lead); i != npos; i = text.find(lead, i)) {
        r.Copy(text, copied, i);
        i = escape(r, i);
        copied = i;
    }
    r.Copy(text, copied, text.size());
    return r;
}

Reading ReadJson(std::string_view text, bool lenient = false) {
    return ReadEscapes(text, '\\', [text, lenient](Reading& r, std::size_t i) {
        char bytes[4];
        const char c = i + 1 < text.size() ? text[i + 1] : '\0';
        const char* shorts = "\"\\/bfnrt";
        const char* meant = "\"\\/\b\f\n\r\t";
        const char* found = c != '\0' ? std::strchr(shorts, c) : nullptr;
        if (found != nullptr) {
            r.Add(i, i + 2, meant + (found - shorts), 1, 1);
            return i + 2;
        }
        if (lenient && c != 'u' && c > ' ' && static_cast<unsigned char>(c) < 0x80) {
            r.Add(i, i + 2, &text[i + 1], 1, 1);
            return i + 2;
        }
        long v = c == 'u' ? HexAt(text, i + 2, 4) : -1;
        std::size_t len = 6;
        if (v >= 0xD800 && v <= 0xDBFF) {
            // A pair of surrogates makes one character past U+FFFF.
            const long low =
                i + 7 < text.size() && text[i + 6] == '\\' && text[i + 7] == 'u' ? HexAt(text, i + 8, 4) : -1;
            if (low >= 0xDC00 && low <= 0xDFFF)
                v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00), len = 12;
            else
                v = -1;
        }
        if (!IsScalar(v)) {
            r.Add(i, i + 1, "\\", 1, 0, true);
            return i + 1;
        }
        r.Add(i, i + len, bytes, EncodeUtf8(static_cast<char32_t>(v), bytes), 2);
        return i + len;
    });
}

Reading ReadXml(std::string_view text) {
    static const struct {
        const char* name;
        char c;
    } kEntities[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    return ReadEscapes(text, '&', [text](Reading& r, std::size_t i) {
        char bytes[4];
        for (const auto& e : kEntities) {
            const std::size_t n = std::strlen(e.name);
            if (text.substr(i + 1, n) == e.name) {
                r.Add(i, i + 1 + n, &e.c, 1, 1);
                return i + 1 + n;
            }
        }
        if (i + 1 < text.size() && text[i + 1] == '#') {
            const bool hex = i + 2 < text.size() && text[i + 2] == 'x';
            std::size_t j = i + (hex ? 3 : 2);
            long v = 0;
            const std::size_t first = j;
            while (j < text.size() && j - first < 7) {
                const int h = HexDigitValue(text[j]);
                if (h < 0 || (!hex && h > 9))
                    break;
                v = v * (hex ? 16 : 10) + h;
                ++j;
            }
            if (j > first && j < text.size() && text[j] == ';' && v > 0 && IsScalar(v)) {
                r.Add(i, j + 1, bytes, EncodeUtf8(static_cast<char32_t>(v), bytes), hex ? 3 : 2);
                return j + 1;
            }
        }
        r.Add(i, i + 1, "&", 1, 0, true);
        return i + 1;
    });
}

Reading ReadUrl(std::string_view text) {
    return ReadEscapes(text, '%', [text](Reading& r, std::size_t i) {
        char bytes[4];
        const long lead = HexAt(text, i + 1, 2);
        if (lead < 0) {
            r.Add(i, i + 1, "%", 1, 0, true);
            return i + 1;
        }
        // Percent-encoded UTF-8: the bytes of one character, each as %HH.
        const std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        std::size_t got = 0;
        while (got < n && text.size() > i + 3 * got && text[i + 3 * got] == '%') {
            const long b = HexAt(text, i + 3 * got + 1, 2);
            if (b < 0 || (got > 0 && (b & 0xC0) != 0x80))
                break;
            bytes[got++] = static_cast<char>(b);
        }
        std::size_t len = 0;
        if (got == n && Utf8CharAt(std::string_view(bytes, n), 0, len) != kNotUtf8 && len == n) {
            r.Add(i, i + 3 * n, bytes, n, 1);
            return i + 3 * n;
        }
        // A byte that is no character of its own: read, but broken.
        r.Add(i, i + 3, bytes, 1, 1, true);
        return i + 3;
    });
}

Reading ReadAs(std::string_view text, TSpelling spelling, bool lenient = false) {
    switch (spelling) {
        case TSpelling::Json:
            return ReadJson(text, lenient);
        case TSpelling::Xml:
            return ReadXml(text);
        case TSpelling::Url:
            return ReadUrl(text);
        default:
            return ReadPlain(text);
    }
}

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view what) {
    if (at + what.size() > s.size())
        return false;
    for (std::size_t k = 0; k < what.size(); ++k)
        if (UpperAscii(s[at + k]) != UpperAscii(what[k]))
            return false;
    return true;
}

bool IsDriveAt(std::string_view s, std::size_t at) {
    if (at + 1 >= s.size())
        return false;
    const char c = UpperAscii(s[at]);
    return c >= 'A' && c <= 'Z' && (s[at + 1] == ':' || s[at + 1] == '|');
}

// A file: URL's prefix at `at`: where its path starts (after file:/// or
// file://localhost/, or at the // before a server's name), or npos.
struct UrlPrefix {
    std::size_t path = npos;
    std::size_t host = 0;  // length of the localhost written, or 0
    bool server = false;
};

UrlPrefix UrlPrefixAt(std::string_view s, std::size_t at) {
    UrlPrefix p;
    if (!StartsWithNoCase(s, at, "file://"))
        return p;
    std::size_t j = at + 7;
    if (StartsWithNoCase(s, j, "localhost/")) {
        p.host = 9;
        j += 10;
    } else if (j < s.size() && s[j] == '/') {
        ++j;
    } else {
        p.server = true;
        p.path = at + 5;  // the // before the server
        return p;
    }
    p.path = j;
    return p;
}

// The text of `d` from `i` on matched against `searchUpper`; the end of the
// match in `d`, or npos. With `anySeparator` / in the text matches \ of the
// search string; `pipeAt` is where | stands for : (a URL's drive).
std::size_t MatchAt(const std::string& d,
                    std::size_t i,
                    std::string_view searchUpper,
                    bool anySeparator,
                    std::size_t pipeAt) {
    std::size_t t = i, k = 0;
    while (k < searchUpper.size()) {
        if (t >= d.size())
            return npos;
        const unsigned char b = static_cast<unsigned char>(d[t]);
        if (b < 0x80) {
            char c = UpperAscii(static_cast<char>(b));
            if (anySeparator && c == '/')
                c = '\\';
            if (t == pipeAt && c == '|')
                c = ':';
            if (c != searchUpper[k])
                return npos;
            ++t, ++k;
            continue;
        }
        std::size_t len = 1;
        Utf8CharAt(d, t, len);
        const std::string upper = UpperText(std::string_view(d).substr(t, len));
        if (k + upper.size() > searchUpper.size() || searchUpper.compare(k, upper.size(), upper) != 0)
            return npos;
        t += len, k += upper.size();
    }
    return t;
}

struct Candidate {
    TSpelledOccurrence occurrence;
    int rank;
};

// Where in XML markup the text stands: walked forward once through the text,
// as the occurrences come in order. Inside a tag, the quote that opened the
// attribute value around the position, or 0.
class XmlContext {
  public:
    explicit XmlContext(std::string_view text) : text_(text) {}
    char QuoteAt(std::size_t at) {
        for (; walked_ < at && walked_ < text_.size(); ++walked_) {
            const char c = text_[walked_];
            if (!inTag_)
                inTag_ = c == '<';
            else if (quote_ != 0)
                quote_ = c == quote_ ? 0 : quote_;
            else if (c == '"' || c == '\'')
                quote_ = c;
            else
                inTag_ = c != '>';
        }
        return inTag_ ? quote_ : 0;
    }

  private:
    std::string_view text_;
    std::size_t walked_ = 0;
    bool inTag_ = false;
    char quote_ = 0;
};

// Calls `visit(dStart, dEnd, escape)` for each character of the reading in
// [from, to), `escape` null where it is the text itself. A character that
// would run into an escape (a lone byte of a broken UTF-8 sequence) ends there.
template <class Visit>
void ForEachChar(const Reading& r, std::size_t from, std::size_t to, Visit visit) {
    std::size_t k = r.EscapeFrom(from);
    for (std::size_t t = from; t < to;) {
        if (k < r.escapes.size() && r.escapes[k].dStart <= t) {
            visit(t, r.escapes[k].dEnd, &r.escapes[k]);
            t = r.escapes[k++].dEnd;
            continue;
        }
        std::size_t len = 1;
        Utf8CharAt(r.d, t, len);
        if (k < r.escapes.size() && t + len > r.escapes[k].dStart)
            len = r.escapes[k].dStart - t;
        visit(t, t + len, static_cast<const Escape*>(nullptr));
        t += len;
    }
}

TSpellingStyle StyleOf(std::string_view text,
                       const Reading& r,
                       std::size_t from,
                       std::size_t to,
                       TSpelling spelling,
                       XmlContext& xml) {
    TSpellingStyle style;
    style.separator = spelling == TSpelling::Slash || spelling == TSpelling::Url ? '/' : '\\';
    bool separatorSeen = false, hexSeen = false;
    ForEachChar(r, from, to, [&](std::size_t dStart, std::size_t dEnd, const Escape* e) {
        const unsigned char c = static_cast<unsigned char>(r.d[dStart]);
        const unsigned char form = e == nullptr ? kAsItself : e->form;
        if (!separatorSeen && dEnd - dStart == 1 && (c == '\\' || c == '/')) {
            style.separator = static_cast<char>(c);
            separatorSeen = true;
        }
        if (c < 0x80 && dEnd - dStart == 1) {
            if (style.ascii[c] == 0)
                style.ascii[c] = form;
        } else if (style.nonAscii == 0) {
            style.nonAscii = form;
        }
        // The case of the first hexadecimal letter of an escape that has
        // one: \u00e9, &#xE9;, %c3.
        const bool hexEscape = e != nullptr && (spelling == TSpelling::Json  ? e->form == 2
                                                : spelling == TSpelling::Xml ? e->form == 3
                                                                             : spelling == TSpelling::Url);
        if (hexEscape && !hexSeen) {
            const std::string_view src = text.substr(e->src, e->srcEnd - e->src);
            const std::size_t letter = src.find_first_of("abcdefABCDEF", spelling == TSpelling::Xml ? 3 : 1);
            if (letter != npos) {
                style.upperHex = src[letter] <= 'F';
                hexSeen = true;
            }
        }
    });
    if (spelling == TSpelling::Xml)
        style.quote = xml.QuoteAt(r.SrcOf(from));
    return style;
}

// Every counting occurrence in one spelling, in text order.
void FindIn(std::string_view text,
            std::string_view oldAddress,
            TSpelling spelling,
            bool escapeNeeded,
            int rank,
            std::vector<Candidate>& out,
            bool lenient = false) {
    const bool anySeparator = spelling != TSpelling::Plain;
    std::string search(oldAddress);
    if (anySeparator)
        std::replace(search.begin(), search.end(), '/', '\\');
    if (spelling == TSpelling::Slash && search.find('\\') == npos)
        return;  // no names to part: the plain spelling finds the same
    // A reading with no escape at all holds no occurrence that needs one.
    const char lead = spelling == TSpelling::Json ? '\\' : spelling == TSpelling::Xml ? '&' : '\0';
    if (escapeNeeded && text.find(lead) == npos)
        return;
    const bool drive = IsDriveAt(search, 0) && search[1] == ':';
    const bool server = search.size() > 2 && search[0] == '\\' && search[1] == '\\';
    if (spelling == TSpelling::Url && ((!drive && !server) || UpperAscii(std::string(text)).find("FILE://") == npos))
        return;
    const std::string searchUpper = UpperText(search);
    const Reading r = ReadAs(text, spelling, lenient);
    XmlContext xml(text);

    auto consider = [&](std::size_t i, std::size_t pipeAt, const UrlPrefix* prefix, std::size_t prefixAt) {
        const std::size_t end = MatchAt(r.d, i, searchUpper, anySeparator, pipeAt);
        if (end == npos)
            return npos;
        const TBoundary boundary = BoundaryAfter(r.d, end, searchUpper);
        if (boundary == TBoundary::None)
            return npos;
        bool broken = false, escaped = false, slashed = false;
        ForEachChar(r, i, end, [&](std::size_t dStart, std::size_t, const Escape* e) {
            broken = broken || (e != nullptr && e->broken);
            escaped = escaped || e != nullptr;
            slashed = slashed || r.d[dStart] == '/';
        });
        if (broken || (escapeNeeded && !escaped) || (spelling == TSpelling::Slash && !slashed))
            return npos;
        Candidate c;
        c.rank = rank;
        c.occurrence.offset = prefix ? prefixAt : r.SrcOf(i);
        c.occurrence.length = r.SrcOf(end) - c.occurrence.offset;
        c.occurrence.spelling = spelling;
        c.occurrence.boundary = boundary;
        c.occurrence.style = StyleOf(text, r, i, end, spelling, xml);
        if (prefix) {
            c.occurrence.style.scheme = std::string(text.substr(prefixAt, 4));
            c.occurrence.style.host = std::string(text.substr(prefixAt + 7, prefix->host));
            c.occurrence.style.pipe = pipeAt < r.d.size() && r.d[pipeAt] == '|';
        }
        out.push_back(c);
        return end;
    };

    if (spelling == TSpelling::Url) {
        for (std::size_t at = 0; (at = text.find_first_of("fF", at)) != npos; ++at) {
            const UrlPrefix prefix = UrlPrefixAt(text, at);
            if (prefix.path == npos || prefix.server != server || (drive && !IsDriveAt(text, prefix.path)))
                continue;
            const std::size_t i = r.ReadingOf(prefix.path);
            if (i != npos)
                consider(i, drive ? i + 1 : npos, &prefix, at);
        }
        return;
    }
    for (std::size_t i = 0; i < r.d.size();) {
        const std::size_t end = consider(i, npos, nullptr, 0);
        if (end != npos) {
            i = end;
            continue;
        }
        std::size_t len = 1;
        Utf8CharAt(r.d, i, len);
        i += len;
    }
}

void HexByte(std::string& out, unsigned v, bool upper) {
    AppendHex(out, v & 0xFF, 2, upper, true);
}

void HexNumber(std::string& out, unsigned long v, std::size_t width, bool upper) {
    AppendHex(out, v, width, upper);
}

void WriteJson(std::string& out, char32_t code, std::string_view bytes, const TSpellingStyle& style) {
    static const char* kShorts = "\"\\/\b\f\n\r\t";
    static const char* kLetters = "\"\\/bfnrt";
    const auto unicode = [&](unsigned long v) {
        out += "\\u";
        HexNumber(out, v, 4, style.upperHex);
    };
    if (code == kNotUtf8) {
        out += bytes;
        return;
    }
    if (code >= 0x80) {
        if (style.nonAscii != 2) {
            out += bytes;
        } else if (code < 0x10000) {
            unicode(code);
        } else {
            unicode(0xD800 + ((code - 0x10000) >> 10));
            unicode(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
        return;
    }
    const char c = static_cast<char>(code);
    unsigned char form = style.ascii[code];
    const bool must = c == '"' || c == '\\' || code < 0x20;
    if (form == 0 || form == kAsItself)
        form = must ? 1 : 0;
    const char* shortForm = code != 0 ? std::strchr(kShorts, c) : nullptr;
    if (form == 1 && shortForm != nullptr) {
        out += '\\';
        out += kLetters[shortForm - kShorts];
    } else if (form != 0) {
        unicode(code);
    } else {
        out += c;
    }
}

void WriteXml(std::string& out, char32_t code, std::string_view bytes, const TSpellingStyle& style) {
    if (code == kNotUtf8 || code == 0) {
        out += bytes;
        return;
    }
    unsigned char form = code < 0x80 ? style.ascii[code] : style.nonAscii;
    const bool must =
        code == '&' || code == '<' || (style.quote != 0 && code == static_cast<char32_t>(style.quote)) || code < 0x20;
    if (form == 0 || form == kAsItself)
        form = must ? 1 : 0;
    if (form == 1) {
        switch (code) {
            case '&':
                out += "&amp;";
                return;
            case '<':
                out += "&lt;";
                return;
            case '>':
                out += "&gt;";
                return;
            case '"':
                out += "&quot;";
                return;
            case '\'':
                out += "&apos;";
                return;
            default:
                form = 2;
        }
    }
    if (form == 2) {
        out += "&#" + std::to_string(static_cast<unsigned long>(code)) + ";";
    } else if (form == 3) {
        out += "&#x";
        HexNumber(out, code, 1, style.upperHex);
        out += ';';
    } else {
        out += bytes;
    }
}

void WriteUrl(std::string& out, char32_t code, std::string_view bytes, const TSpellingStyle& style) {
    bool encode;
    if (code == kNotUtf8) {
        encode = true;
    } else if (code >= 0x80) {
        encode = style.nonAscii != kAsItself;
    } else {
        const char c = static_cast<char>(code);
        const bool always = code < 0x20 || c == '%' || c == '#' || c == '?';
        const bool unsafe = c == ' ' || c == '"' || c == '<' || c == '>' || c == '`' || c == '{' || c == '}' ||
                            c == '^' || c == '[' || c == ']' || c == '|' || code == 0x7F;
        const unsigned char form = style.ascii[code];
        encode = always || form == 1 || (unsafe && form != kAsItself);
    }
    if (!encode) {
        out += bytes;
        return;
    }
    for (char b : bytes) {
        out += '%';
        HexByte(out, static_cast<unsigned char>(b), style.upperHex);
    }
}

}  // namespace

std::string SpellAddress(std::string_view address, TSpelling spelling, const TSpellingStyle& style) {
    if (spelling == TSpelling::Plain)
        return std::string(address);
    std::string out;
    std::size_t i = 0;
    if (spelling == TSpelling::Url) {
        if (address.size() >= 2 && (address[0] == '\\' || address[0] == '/') &&
            (address[1] == '\\' || address[1] == '/')) {
            out = style.scheme + "://";
            i = 2;
        } else {
            out = style.scheme + "://" + style.host + "/";
            if (IsDriveAt(address, 0) && address[1] == ':') {
                out += address[0];
                out += style.pipe ? '|' : ':';
                i = 2;
            }
        }
    }
    while (i < address.size()) {
        std::size_t len = 1;
        char32_t code = Utf8CharAt(address, i, len);
        std::string_view bytes = address.substr(i, len);
        if (code == '\\' || code == '/') {
            code = static_cast<char32_t>(style.separator);
            bytes = style.separator == '/' ? "/" : "\\";
        }
        switch (spelling) {
            case TSpelling::Json:
                WriteJson(out, code, bytes, style);
                break;
            case TSpelling::Xml:
                WriteXml(out, code, bytes, style);
                break;
            case TSpelling::Url:
                WriteUrl(out, code, bytes, style);
                break;
            default:
                out += bytes;
        }
        i += len;
    }
    return out;
}

std::string ReadSpelled(std::string_view spelled, TSpelling spelling) {
    if (spelling != TSpelling::Url)
        return ReadAs(spelled, spelling).d;
    const UrlPrefix prefix = UrlPrefixAt(spelled, 0);
    if (prefix.path == npos)
        return ReadAs(spelled, spelling).d;
    std::string d = ReadAs(spelled.substr(prefix.path), spelling).d;
    if (!prefix.server && IsDriveAt(spelled, prefix.path) && spelled[prefix.path + 1] == '|')
        d[1] = ':';
    return d;
}

std::vector<TSpelledOccurrence> FindSpelledOccurrences(std::string_view text,
                                                       std::string_view oldAddress,
                                                       TTextSyntax syntax) {
    std::vector<Candidate> all;
    if (oldAddress.empty())
        return {};
    FindIn(text, oldAddress, TSpelling::Url, false, 4, all);
    if (syntax != TTextSyntax::Json)
        FindIn(text, oldAddress, TSpelling::Xml, syntax != TTextSyntax::Xml, 3, all);
    if (syntax != TTextSyntax::Xml)
        FindIn(text, oldAddress, TSpelling::Json, syntax != TTextSyntax::Json, 2, all,
               syntax == TTextSyntax::Properties);
    if (syntax == TTextSyntax::Any || syntax == TTextSyntax::Properties) {
        FindIn(text, oldAddress, TSpelling::Slash, false, 1, all);
        FindIn(text, oldAddress, TSpelling::Plain, false, 0, all);
    }
    // The most specific spelling first; a candidate that overlaps one already
    // taken is the same text read less well.
    std::stable_sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) { return a.rank > b.rank; });
    std::vector<TSpelledOccurrence> taken;
    for (const Candidate& c : all) {
        const TSpelledOccurrence& o = c.occurrence;
        const auto after = std::lower_bound(taken.begin(), taken.end(), o.offset,
                                            [](const TSpelledOccurrence& t, std::size_t at) { return t.offset < at; });
        const bool overlapsNext = after != taken.end() && after->offset < o.offset + o.length;
        const bool overlapsPrevious = after != taken.begin() && (after - 1)->offset + (after - 1)->length > o.offset;
        if (!overlapsNext && !overlapsPrevious)
            taken.insert(after, o);
    }
    // In an XML file a bare & or ' in a URL would begin an entity or end the
    // attribute: New writes them as %26 and %27, which the URL reads alike.
    if (syntax == TTextSyntax::Xml)
        for (TSpelledOccurrence& o : taken)
            if (o.spelling == TSpelling::Url)
                o.style.ascii['&'] = o.style.ascii['\''] = 1;
    return taken;
}

std::string RewriteSpelled(std::string_view text,
                           std::string_view oldAddress,
                           std::string_view newAddress,
                           const std::function<bool(const TSpelledOccurrence&)>& which,
                           TTextSyntax syntax) {
    std::string out;
    std::size_t copied = 0;
    for (const TSpelledOccurrence& o : FindSpelledOccurrences(text, oldAddress, syntax)) {
        if (which && !which(o))
            continue;
        out.append(text.substr(copied, o.offset - copied));
        out += SpellAddress(newAddress, o.spelling, o.style);
        copied = o.offset + o.length;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace movix
