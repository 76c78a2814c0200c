#include "targets/config_syntax.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/hex_text.h"
#include "core/path_spellings.h"
#include "core/strings.h"
#include "targets/config_lexer.h"

namespace movix {

using namespace cfg;

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string ExtensionOf(std::string_view name) {
    const std::size_t dot = name.find_last_of(".\\/");
    if (dot == npos || name[dot] != '.')
        return std::string();
    return LowerAscii(name.substr(dot + 1));
}

// Every `what` in `text` replaced by `with`, exactly as written.
void ReplaceEvery(std::string& text, std::string_view what, std::string_view with) {
    for (std::size_t at = text.find(what); at != npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

}  // namespace

TConfigFormat ConfigFormatOf(std::string_view name) {
    const std::string ext = ExtensionOf(name);
    if (ext == "json")
        return TConfigFormat::Json;
    static const char* const kXml[] = {"xml",    "config",  "manifest", "xaml",  "props",    "targets",
                                       "csproj", "vcxproj", "nuspec",   "plist", "settings", "resx"};
    for (const char* xml : kXml)
        if (ext == xml)
            return TConfigFormat::Xml;
    if (ext == "yaml" || ext == "yml")
        return TConfigFormat::Yaml;
    if (ext == "toml")
        return TConfigFormat::Toml;
    if (ext == "properties")
        return TConfigFormat::Properties;
    if (ext == "bat" || ext == "cmd")
        return TConfigFormat::Batch;
    if (ext == "ps1" || ext == "psm1" || ext == "psd1")
        return TConfigFormat::PowerShell;
    return TConfigFormat::Other;
}

unsigned CodePageOfEncodingName(std::string_view name) {
    std::string n = LowerAscii(name);
    n.erase(std::remove(n.begin(), n.end(), '_'), n.end());
    static const struct {
        const char* name;
        unsigned codePage;
    } kNames[] = {
        {"utf-8", 65001},        {"utf8", 65001},       {"us-ascii", 20127},   {"ascii", 20127},
        {"iso-8859-1", 28591},   {"latin1", 28591},     {"iso8859-1", 28591},  {"iso-8859-2", 28592},
        {"iso-8859-3", 28593},   {"iso-8859-4", 28594}, {"iso-8859-5", 28595}, {"iso-8859-6", 28596},
        {"iso-8859-7", 28597},   {"iso-8859-8", 28598}, {"iso-8859-9", 28599}, {"iso-8859-13", 28603},
        {"iso-8859-15", 28605},  {"koi8-r", 20866},     {"koi8-u", 21866},     {"shiftjis", 932},
        {"shift-jis", 932},      {"sjis", 932},         {"windows-31j", 932},  {"euc-jp", 20932},
        {"gb2312", 936},         {"gbk", 936},          {"big5", 950},         {"euc-kr", 949},
        {"ks-c-5601-1987", 949}, {"ibm437", 437},       {"cp437", 437},        {"ibm850", 850},
        {"cp850", 850},          {"ibm866", 866},       {"cp866", 866},
    };
    for (const auto& k : kNames)
        if (n == k.name)
            return k.codePage;
    // windows-1250 ... windows-1258, cp1252 and the like.
    for (const char* prefix : {"windows-", "cp", "x-cp"}) {
        const std::size_t len = std::strlen(prefix);
        if (n.size() == len + 4 && n.compare(0, len, prefix) == 0 && n.compare(len, 3, "125") == 0 &&
            n[len + 3] >= '0' && n[len + 3] <= '8')
            return 1250 + static_cast<unsigned>(n[len + 3] - '0');
    }
    return 0;
}

TCharsetChoice ConfigCharsetOf(TConfigFormat format, std::string_view bytes) {
    TCharsetChoice choice;
    switch (format) {
        case TConfigFormat::Json:
        case TConfigFormat::Yaml:
        case TConfigFormat::Toml:
            choice.charset = TConfigCharset::Utf8;
            choice.definite = true;
            break;
        case TConfigFormat::Properties:
            choice.charset = TConfigCharset::Latin1;
            choice.definite = true;
            break;
        case TConfigFormat::Batch:
            choice.charset = TConfigCharset::Oem;
            break;
        case TConfigFormat::PowerShell:
            choice.charset = TConfigCharset::AsciiOnly;
            choice.definite = true;
            break;
        case TConfigFormat::Xml: {
            choice.charset = TConfigCharset::Utf8;
            choice.definite = true;
            std::string_view head = bytes.substr(0, 512);
            if (At(head, 0, "\xEF\xBB\xBF"))
                head.remove_prefix(3);
            if (!At(head, 0, "<?xml"))
                break;
            const std::size_t end = head.find("?>");
            const std::string_view decl = head.substr(0, end);
            const std::size_t at = decl.find("encoding");
            if (at == npos)
                break;
            std::size_t i = at + 8;
            while (i < decl.size() && (IsBlank(decl[i]) || decl[i] == '\r' || decl[i] == '\n'))
                ++i;
            if (i >= decl.size() || decl[i] != '=')
                break;
            ++i;
            while (i < decl.size() && (IsBlank(decl[i]) || decl[i] == '\r' || decl[i] == '\n'))
                ++i;
            if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\''))
                break;
            const std::size_t close = decl.find(decl[i], i + 1);
            if (close == npos)
                break;
            choice.declared = std::string(decl.substr(i + 1, close - i - 1));
            if (CodePageOfEncodingName(choice.declared) != 65001)
                choice.charset = TConfigCharset::Declared;
            break;
        }
        case TConfigFormat::Other:
            break;
    }
    return choice;
}

TTextSyntax SyntaxOfFormat(TConfigFormat format) {
    switch (format) {
        case TConfigFormat::Json:
            return TTextSyntax::Json;
        case TConfigFormat::Xml:
            return TTextSyntax::Xml;
        case TConfigFormat::Properties:
            return TTextSyntax::Properties;
        default:
            return TTextSyntax::Any;
    }
}

namespace {

// ---- New as each place needs it ------------------------------------------------

void HexUnit(std::string& out, unsigned long v) {
    AppendHex(out, v, 4, true, true);
}

// `text` with the characters the file's encoding does not hold written by
// `reference` (empty `reference`: false when there is one).
template <class Reference>
bool ReferenceUnencodable(std::string& text, const TEncodable& encodable, Reference reference) {
    if (!encodable)
        return true;
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 1;
        const char32_t code = Utf8CharAt(text, i, len);
        const std::string_view one = std::string_view(text).substr(i, len);
        if (static_cast<unsigned char>(text[i]) >= 0x80 && !encodable(one)) {
            if (code == kNotUtf8 || !reference(code, out))
                return false;
        } else {
            out += one;
        }
        i += len;
    }
    text.swap(out);
    return true;
}

// Whether YAML takes a character (as UTF-8, past ASCII) as it is outside
// escapes: not the C1 controls (U+0085 among them, a line break), the line
// and paragraph separators, the byte-order mark or U+FFFE and U+FFFF.
bool YamlPrintable(std::string_view character) {
    std::size_t len = 0;
    const char32_t code = Utf8CharAt(character, 0, len);
    return !((code >= 0x80 && code <= 0x9F) || code == 0x2028 || code == 0x2029 || code == 0xFEFF || code == 0xFFFE ||
             code == 0xFFFF || code == kNotUtf8);
}

std::string JsonEscaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += "\\u";
            HexUnit(out, static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
    return out;
}

// New with the occurrence's separators and nothing escaped: what a place
// that reads its characters as they are holds.
std::string RawSpelling(std::string_view newAddress, const TSpelledOccurrence& o) {
    if (o.spelling == TSpelling::Url || o.spelling == TSpelling::Json)
        return SpellAddress(newAddress, o.spelling, o.style);
    std::string out(newAddress);
    for (char& c : out)
        if (c == '\\' || c == '/')
            c = o.style.separator;
    return out;
}

// New as a string that reads backslash escapes (a JSON string, a TOML basic
// string, a YAML double-quoted scalar) holds it.
std::string EscapedSpelling(TConfigFormat format, std::string_view newAddress, const TSpelledOccurrence& o) {
    if (o.spelling == TSpelling::Json) {
        TSpellingStyle style = o.style;
        if (format != TConfigFormat::Json) {
            // TOML has no \/ and neither reader takes \u for half of a pair.
            style.ascii['/'] = 0;
            style.nonAscii = kAsItself;
        }
        return SpellAddress(newAddress, TSpelling::Json, style);
    }
    // Single backslashes in such a string were escapes already; New is
    // written as the string reads it.
    return JsonEscaped(RawSpelling(newAddress, o));
}

// Inside PowerShell's single quotes every kind of single quote, the
// typographic ones too, is doubled to stand for itself.
void DoublePsSingleQuotes(std::string& text) {
    ReplaceEvery(text, "'", "''");
    for (const char* q : {"\xE2\x80\x98", "\xE2\x80\x99", "\xE2\x80\x9A", "\xE2\x80\x9B"})
        ReplaceEvery(text, q, std::string(q) + q);
}

bool NoReference(char32_t, std::string&) {
    return false;
}

struct Piece {
    std::size_t end = 0;  // where the text replaced ends in the line
    std::string text;
    std::string why;  // not empty: refused
    long events = 0;  // partings the piece adds on purpose (PowerShell's call operator)
};

bool AnyOf(std::string_view text, const char* chars) {
    return text.find_first_of(chars) != npos;
}

// The end of the token that begins at `from`: the next blank, or character
// in `stops`, outside quotes.
std::size_t TokenEnd(std::string_view line, std::size_t from, const char* stops) {
    std::size_t i = from;
    while (i < line.size() && !IsBlank(line[i]) && std::strchr(stops, line[i]) == nullptr)
        ++i;
    return i;
}

}  // namespace

struct TConfigRewriter::State {
    TConfigFormat format;
    std::string old, now;
    TEncodable encodable;
    Lex lex;

    // The occurrences in [from, to) of the line, New written as each one's
    // spelling has it, with `each` applied; every other byte as it is.
    std::string RewriteSpan(std::string_view line,
                            const std::vector<TSpelledOccurrence>& found,
                            std::size_t from,
                            std::size_t to,
                            const std::function<std::string(const TSpelledOccurrence&)>& each) const {
        std::string out;
        std::size_t copied = from;
        for (const TSpelledOccurrence& o : found) {
            if (o.offset < from || o.offset + o.length > to)
                continue;
            out.append(line.substr(copied, o.offset - copied));
            out += each(o);
            copied = o.offset + o.length;
        }
        out.append(line.substr(copied, to - copied));
        return out;
    }

    Piece Spell(const Lex& at,
                std::string_view line,
                const std::vector<TSpelledOccurrence>& found,
                const TSpelledOccurrence& o) const;
    // The piece for each format, as Spell dispatches.
    Piece SpellXml(const Lex& at, const TSpelledOccurrence& o) const;
    Piece SpellToml(const Lex& at, const TSpelledOccurrence& o) const;
    Piece SpellYaml(const Lex& at, const TSpelledOccurrence& o) const;
    Piece SpellProperties(const Lex& at, const TSpelledOccurrence& o) const;
    Piece SpellBatch(const Lex& at,
                     std::string_view line,
                     const std::vector<TSpelledOccurrence>& found,
                     const TSpelledOccurrence& o) const;
    Piece SpellPowerShell(const Lex& at,
                          std::string_view line,
                          const std::vector<TSpelledOccurrence>& found,
                          const TSpelledOccurrence& o) const;
};

Piece TConfigRewriter::State::Spell(const Lex& at,
                                    std::string_view line,
                                    const std::vector<TSpelledOccurrence>& found,
                                    const TSpelledOccurrence& o) const {
    switch (format) {
        case TConfigFormat::Json: {
            Piece p;
            p.end = o.offset + o.length;
            p.text = at.place == kJsonString ? EscapedSpelling(format, now, o) : SpellAddress(now, o.spelling, o.style);
            return p;
        }
        case TConfigFormat::Xml:
            return SpellXml(at, o);
        case TConfigFormat::Toml:
            return SpellToml(at, o);
        case TConfigFormat::Yaml:
            return SpellYaml(at, o);
        case TConfigFormat::Properties:
            return SpellProperties(at, o);
        case TConfigFormat::Batch:
            return SpellBatch(at, line, found, o);
        case TConfigFormat::PowerShell:
            return SpellPowerShell(at, line, found, o);
        case TConfigFormat::Other:
            break;
    }
    Piece p;
    p.end = o.offset + o.length;
    p.text = SpellAddress(now, o.spelling, o.style);
    return p;
}

Piece TConfigRewriter::State::SpellXml(const Lex& at, const TSpelledOccurrence& o) const {
    Piece p;
    p.end = o.offset + o.length;
    const auto xmlReference = [](char32_t code, std::string& out) {
        out += "&#" + std::to_string(static_cast<unsigned long>(code)) + ";";
        return true;
    };
    const auto mustHold = [&](std::string& text, const char* what) {
        if (!ReferenceUnencodable(text, encodable, NoReference))
            p.why = std::string("the file's encoding cannot hold New ") + what;
    };
    switch (at.place) {
        case kXmlAttr:
        case kXmlText: {
            TSpellingStyle style = o.style;
            style.quote = at.place == kXmlAttr ? at.quote : 0;
            p.text = SpellAddress(now, o.spelling, style);
            if (o.spelling == TSpelling::Url) {
                // A URL's & and ' are %26 and %27 (set by the finder);
                // a quote of the attribute cannot stand in it either.
                ReplaceEvery(p.text, "\"", at.quote == '"' ? "&quot;" : "\"");
            }
            ReplaceEvery(p.text, "]]>", "]]&gt;");
            ReferenceUnencodable(p.text, encodable, xmlReference);
            return p;
        }
        case kXmlCData:
        case kXmlComment:
        case kXmlPi: {
            // Nothing is read as a reference here.
            p.text = o.spelling == TSpelling::Url ? SpellAddress(now, o.spelling, o.style) : RawSpelling(now, o);
            const char* end = at.place == kXmlCData ? "]]>" : at.place == kXmlComment ? "--" : "?>";
            if (p.text.find(end) != npos || (at.place == kXmlComment && !p.text.empty() && p.text.back() == '-'))
                p.why = std::string("New would end the ") + (at.place == kXmlCData     ? "CDATA section"
                                                             : at.place == kXmlComment ? "comment"
                                                                                       : "processing instruction");
            else
                mustHold(p.text, "where XML allows no character reference");
            return p;
        }
        default:
            p.why = "the address stands in XML markup, not in a value";
            return p;
    }
}

Piece TConfigRewriter::State::SpellToml(const Lex& at, const TSpelledOccurrence& o) const {
    Piece p;
    p.end = o.offset + o.length;
    switch (at.place) {
        case kTomlBasic:
        case kTomlMlBasic:
            p.text = EscapedSpelling(format, now, o);
            return p;
        case kTomlLiteral:
        case kTomlMlLiteral:
            p.text = RawSpelling(now, o);
            if (p.text.find(at.place == kTomlLiteral ? "'" : "'''") != npos)
                p.why = "a TOML literal string cannot hold the ' in New";
            return p;
        case kTomlComment:
            p.text = RawSpelling(now, o);
            return p;
        default:
            p.why = "the address stands outside a TOML string";
            return p;
    }
}

Piece TConfigRewriter::State::SpellYaml(const Lex& at, const TSpelledOccurrence& o) const {
    Piece p;
    p.end = o.offset + o.length;
    switch (at.place) {
        case kYamlDouble:
            p.text = EscapedSpelling(format, now, o);
            ReferenceUnencodable(p.text, YamlPrintable, [](char32_t code, std::string& out) {
                out += "\\u";
                HexUnit(out, code);
                return code < 0x10000;
            });
            return p;
        case kYamlSingle:
            p.text = RawSpelling(now, o);
            ReplaceEvery(p.text, "'", "''");
            break;
        default:
            // Plain scalars, block scalars and comments read every
            // character as it is; whether New changes how the line
            // parts is checked on the whole line.
            p.text = RawSpelling(now, o);
            break;
    }
    // Only a double-quoted scalar has escapes for what YAML reads as
    // a line break (U+0085, U+2028, U+2029) or does not take as it is.
    if (!ReferenceUnencodable(p.text, YamlPrintable, NoReference))
        p.why = "New holds a character that YAML reads as a line break or takes only escaped";
    return p;
}

Piece TConfigRewriter::State::SpellProperties(const Lex& at, const TSpelledOccurrence& o) const {
    Piece p;
    p.end = o.offset + o.length;
    p.text = SpellAddress(now, o.spelling, o.style);
    // What the occurrence escaped as Java writes it (C\:\\Acme), New
    // escapes alike: the JSON writer spells such a character \uXXXX.
    for (const char* c : {":", "=", " ", "#", "!"}) {
        char unit[8];
        std::snprintf(unit, sizeof unit, "\\u%04X", static_cast<unsigned>(*c));
        ReplaceEvery(p.text, unit, std::string("\\") + c);
    }
    // A comment is read by people only: what the encoding lacks has
    // no escape there, and the line is refused below.
    if (at.place == kPropsComment)
        return p;
    if (at.place == kPropsKey)
        for (const char* c : {":", "=", " "})
            ReplaceEvery(p.text, c, std::string("\\") + c);
    // Java's rule: what ISO-8859-1 does not hold is \uXXXX, a
    // character past U+FFFF as its two halves.
    ReferenceUnencodable(p.text, encodable, [](char32_t code, std::string& out) {
        const auto unit = [&out](unsigned long v) {
            out += "\\u";
            HexUnit(out, v);
        };
        if (code < 0x10000) {
            unit(code);
        } else {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
        return true;
    });
    return p;
}

Piece TConfigRewriter::State::SpellBatch(const Lex& at,
                                         std::string_view line,
                                         const std::vector<TSpelledOccurrence>& found,
                                         const TSpelledOccurrence& o) const {
    Piece p;
    p.end = o.offset + o.length;
    // cmd reads % as the start of a variable everywhere in a batch file.
    const auto percent = [this](const TSpelledOccurrence& occ) {
        std::string text = RawSpelling(now, occ);
        ReplaceEvery(text, "%", "%%");
        return text;
    };
    p.text = percent(o);
    if (at.place != kBatchCode)
        return p;
    const std::string command = BatchCommand(line);
    const bool set = command == "set" && line.find("\"", line.find_first_not_of(" \t@")) == npos;
    const bool operators = AnyOf(p.text, "&|<>^") || (at.depth > 0 && AnyOf(p.text, ")"));
    const bool parts = AnyOf(p.text, " \t,;=");
    if (set) {
        // SET takes the rest of its line as it is, blanks and all.
        if (operators)
            p.why = "New holds & | < > ^ or ), which cmd would read as a command's end here";
        return p;
    }
    if (!operators && !parts)
        return p;
    // Quoted from the occurrence to the end of its argument, which
    // then reads as before: quotes part nothing.
    const std::size_t end = TokenEnd(line, o.offset, at.depth > 0 ? "&|<>)\"" : "&|<>\"");
    if (end < line.size() && line[end] == '"') {
        p.why = "the argument goes on in quotes of its own";
        return p;
    }
    p.end = end;
    p.text = "\"" + RewriteSpan(line, found, o.offset, end, percent) + "\"";
    return p;
}

Piece TConfigRewriter::State::SpellPowerShell(const Lex& at,
                                              std::string_view line,
                                              const std::vector<TSpelledOccurrence>& found,
                                              const TSpelledOccurrence& o) const {
    Piece p;
    p.end = o.offset + o.length;
    switch (at.place) {
        case kPsSingle:
            p.text = RawSpelling(now, o);
            DoublePsSingleQuotes(p.text);
            return p;
        case kPsDouble:
        case kPsHereDouble: {
            std::string text = RawSpelling(now, o);
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '`' || text[i] == '$' || (at.place == kPsDouble && text[i] == '"')) {
                    p.text += '`';
                } else if (at.place == kPsDouble && PsDoubleQuoteAt(text, i) == 3) {
                    p.text += '`';
                }
                p.text += text[i];
            }
            return p;
        }
        case kPsBlockComment:
            p.text = RawSpelling(now, o);
            if (p.text.find("#>") != npos)
                p.why = "New would end the comment";
            return p;
        case kPsCode: {
            p.text = RawSpelling(now, o);
            bool special = AnyOf(p.text, " \t$`'\"(){};,&|<>@#");
            for (std::size_t i = 0; i < p.text.size() && !special; ++i)
                special = PsSingleQuoteAt(p.text, i) != 0 || PsDoubleQuoteAt(p.text, i) != 0;
            if (!special)
                return p;
            const bool tokenStart =
                o.offset == 0 || IsBlank(line[o.offset - 1]) || std::strchr(";|{(,=", line[o.offset - 1]) != nullptr;
            if (!tokenStart) {
                p.why = "New would part the PowerShell word it stands in";
                return p;
            }
            const std::size_t end = TokenEnd(line, o.offset, ";|&(){},");
            const std::string rest(line.substr(o.offset + o.length, end - o.offset - o.length));
            if (AnyOf(rest, "$`'\"@#")) {
                p.why = "the word goes on with characters of its own to quote";
                return p;
            }
            std::string inner = RewriteSpan(line, found, o.offset, end,
                                            [this](const TSpelledOccurrence& occ) { return RawSpelling(now, occ); });
            DoublePsSingleQuotes(inner);
            // A quoted path first in a statement is a string, not a
            // command: the call operator runs it.
            std::size_t before = o.offset;
            while (before > 0 && IsBlank(line[before - 1]))
                --before;
            const bool command = before == 0 || std::strchr(";|{(", line[before - 1]) != nullptr;
            p.end = end;
            p.text = (command ? "& '" : "'") + inner + "'";
            p.events = command ? 2 : 0;
            return p;
        }
        default:
            p.text = RawSpelling(now, o);
            return p;
    }
}

TConfigRewriter::TConfigRewriter(TConfigFormat format,
                                 std::string oldAddress,
                                 std::string newAddress,
                                 TEncodable encodable)
    : state_(new State{format, std::move(oldAddress), std::move(newAddress), std::move(encodable), Lex{}}) {}

TConfigRewriter::~TConfigRewriter() {
    delete state_;
}

TConfigRewriter::Outcome TConfigRewriter::Line(std::string& line, bool rewrite, std::string* why) {
    State& s = *state_;
    const Lex start = s.lex;
    const auto walked = [&](Outcome outcome) {
        WalkLine(s.format, s.lex, line);
        return outcome;
    };
    if (!rewrite)
        return walked(Outcome::Unchanged);
    const std::vector<TSpelledOccurrence> found = FindSpelledOccurrences(line, s.old, SyntaxOfFormat(s.format));
    if (found.empty())
        return walked(Outcome::Unchanged);
    if (s.format == TConfigFormat::Other) {
        line = RewriteSpelled(line, s.old, s.now, {}, SyntaxOfFormat(s.format));
        return walked(Outcome::Rewritten);
    }

    struct Span {
        std::size_t from, to, newFrom, newTo;
        long events;
    };
    std::vector<Span> spans;
    std::vector<std::size_t> starts;
    for (const TSpelledOccurrence& o : found)
        starts.push_back(o.offset);
    const std::vector<Lex> before = StatesAt(s.format, start, line, starts);
    std::string out;
    std::size_t copied = 0;
    long added = 0;
    const auto refuse = [&](const std::string& reason) {
        if (why != nullptr)
            *why = reason;
        return walked(Outcome::Refused);
    };
    for (std::size_t k = 0; k < found.size(); ++k) {
        const TSpelledOccurrence& o = found[k];
        if (o.offset < copied)
            continue;  // within an argument already quoted with the one before
        const Piece piece = s.Spell(before[k], line, found, o);
        if (!piece.why.empty())
            return refuse(piece.why);
        // Whatever the place, the file must be able to hold what is written.
        std::string held = piece.text;
        if (!ReferenceUnencodable(held, s.encodable, [](char32_t, std::string&) { return false; }))
            return refuse("the file's encoding cannot hold New where it stands");
        out.append(line, copied, o.offset - copied);
        spans.push_back({o.offset, piece.end, out.size(), out.size() + piece.text.size(), piece.events});
        added += piece.events;
        out += piece.text;
        copied = piece.end;
    }
    out.append(line, copied, std::string::npos);

    // New must leave the line read as before: the same place after each
    // rewritten piece, parted where Old parted it, and the line ending alike.
    std::vector<std::size_t> oldPoints, newPoints;
    for (const Span& span : spans) {
        oldPoints.push_back(span.from), oldPoints.push_back(span.to);
        newPoints.push_back(span.newFrom), newPoints.push_back(span.newTo);
    }
    const std::vector<Lex> a = StatesAt(s.format, start, line, oldPoints);
    const std::vector<Lex> b = StatesAt(s.format, start, out, newPoints);
    bool same = a.back().SameAs(b.back()) && a.back().events + added == b.back().events;
    for (std::size_t k = 0; same && k < spans.size(); ++k) {
        const Lex& a0 = a[2 * k];
        const Lex& a1 = a[2 * k + 1];
        const Lex& b0 = b[2 * k];
        const Lex& b1 = b[2 * k + 1];
        same = a1.SameAs(b1) && a1.events - a0.events + spans[k].events == b1.events - b0.events;
    }
    if (!same) {
        static const char* const kWhy[] = {
            "",
            "New would change how the JSON text reads",
            "New would change how the XML text reads",
            "New would change how the YAML line reads (': ', ' #', a flow indicator, or a quote)",
            "New would change how the TOML line reads",
            "New would change how the .properties line reads",
            "New would change how cmd parts the line",
            "New would change how PowerShell parts the line"};
        return refuse(kWhy[static_cast<int>(s.format)]);
    }
    line.swap(out);
    s.lex = b.back();
    return Outcome::Rewritten;
}

std::string RewriteConfigText(TConfigFormat format,
                              std::string_view text,
                              std::string_view oldAddress,
                              std::string_view newAddress,
                              std::vector<std::string>* refusals,
                              const TEncodable& encodable) {
    TConfigRewriter rewriter(format, std::string(oldAddress), std::string(newAddress), encodable);
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = text.find_first_of("\r\n", at);
        const std::size_t lineEnd = end == npos ? text.size() : end;
        std::size_t next = lineEnd;
        if (end != npos)
            next += text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
        std::string line(text.substr(at, lineEnd - at));
        std::string why;
        if (rewriter.Line(line, true, &why) == TConfigRewriter::Outcome::Refused && refusals != nullptr)
            refusals->push_back(why);
        out += line;
        out.append(text.substr(lineEnd, next - lineEnd));
        if (end == npos)
            break;
        at = next;
    }
    return out;
}

}  // namespace movix
