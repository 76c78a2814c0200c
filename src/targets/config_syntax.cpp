#include "targets/config_syntax.h"

#include <algorithm>
#include <cstring>

#include "core/path_spellings.h"
#include "core/strings.h"

namespace movix {

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string ExtensionOf(std::string_view name) {
    const std::size_t dot = name.find_last_of(".\\/");
    if (dot == npos || name[dot] != '.')
        return std::string();
    return LowerAscii(name.substr(dot + 1));
}

bool At(std::string_view t, std::size_t i, std::string_view what) {
    return t.size() >= i + what.size() && t.compare(i, what.size(), what) == 0;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
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

namespace {

// Where a format's reader stands at a point of the file: the place (inside
// which kind of string, comment, tag ...), and what decides how the next
// characters read. Two points that read alike have equal states. `events`
// counts what parts the text (a new token, an operator, a key's end): New
// must part the text exactly where Old did.
struct Lex {
    int place = 0;
    char quote = 0;            // XML: the quote around the attribute value
    int depth = 0;             // YAML flow collections, batch parentheses, XML DOCTYPE brackets
    bool escape = false;       // the next character is taken as it is
    int block = -1;            // YAML: the indentation of a block scalar's parent, -1 outside one
    bool blockHeader = false;  // YAML: this line opens a block scalar
    bool start = true;         // YAML, batch, PowerShell: the next character may begin a token
    bool blank = true;         // the previous character was a blank (or the line began)
    long events = 0;

    bool SameAs(const Lex& o) const {
        return place == o.place && quote == o.quote && depth == o.depth && escape == o.escape && block == o.block &&
               blockHeader == o.blockHeader && start == o.start && blank == o.blank;
    }
};

// ---- the places of each format ------------------------------------------------
enum JsonPlace { kJsonOut, kJsonString, kJsonLineComment, kJsonBlockComment };
enum XmlPlace { kXmlText, kXmlTag, kXmlAttr, kXmlComment, kXmlCData, kXmlPi, kXmlDoctype };
enum TomlPlace { kTomlBare, kTomlComment, kTomlBasic, kTomlMlBasic, kTomlLiteral, kTomlMlLiteral };
enum YamlPlace { kYamlPlain, kYamlComment, kYamlSingle, kYamlDouble, kYamlBlock };
enum PropsPlace { kPropsKey, kPropsKeyEnd, kPropsValue, kPropsComment };
enum BatchPlace { kBatchCode, kBatchQuoted, kBatchComment };
enum PsPlace { kPsCode, kPsSingle, kPsDouble, kPsHereSingle, kPsHereDouble, kPsLineComment, kPsBlockComment };

// PowerShell takes the typographic quotes for quotes too.
std::size_t PsSingleQuoteAt(std::string_view t, std::size_t i) {
    if (t[i] == '\'')
        return 1;
    if (At(t, i, "\xE2\x80") && i + 2 < t.size()) {
        const unsigned char c = static_cast<unsigned char>(t[i + 2]);
        if (c >= 0x98 && c <= 0x9B)
            return 3;
    }
    return 0;
}
std::size_t PsDoubleQuoteAt(std::string_view t, std::size_t i) {
    if (t[i] == '"')
        return 1;
    if (At(t, i, "\xE2\x80") && i + 2 < t.size()) {
        const unsigned char c = static_cast<unsigned char>(t[i + 2]);
        if (c >= 0x9C && c <= 0x9E)
            return 3;
    }
    return 0;
}

// The first word of a batch line (after blanks and @): REM and :: lines are
// remarks; SET takes the rest of its line as it is.
std::string BatchCommand(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && (IsBlank(line[i]) || line[i] == '@'))
        ++i;
    if (At(line, i, "::"))
        return "::";
    std::size_t j = i;
    while (j < line.size() && !IsBlank(line[j]) && line[j] != '"' && line[j] != '&' && line[j] != '(' && line[j] != '|')
        ++j;
    return LowerAscii(line.substr(i, j - i));
}

// Reads one character (or a token of several) of `t` at `i` and moves `i`
// past it.
void Step(TConfigFormat format, Lex& s, std::string_view t, std::size_t& i) {
    const char c = t[i];
    switch (format) {
        case TConfigFormat::Json:
            switch (s.place) {
                case kJsonOut:
                    if (c == '"')
                        s.place = kJsonString;
                    else if (At(t, i, "//"))
                        s.place = kJsonLineComment, ++i;
                    else if (At(t, i, "/*"))
                        s.place = kJsonBlockComment, ++i;
                    break;
                case kJsonString:
                    if (s.escape)
                        s.escape = false;
                    else if (c == '\\')
                        s.escape = true;
                    else if (c == '"')
                        s.place = kJsonOut;
                    break;
                case kJsonBlockComment:
                    if (At(t, i, "*/"))
                        s.place = kJsonOut, ++i;
                    break;
                default:
                    break;
            }
            ++i;
            return;
        case TConfigFormat::Xml:
            switch (s.place) {
                case kXmlText:
                    if (At(t, i, "<!--"))
                        s.place = kXmlComment, i += 3;
                    else if (At(t, i, "<![CDATA["))
                        s.place = kXmlCData, i += 8;
                    else if (At(t, i, "<?"))
                        s.place = kXmlPi, ++i;
                    else if (At(t, i, "<!"))
                        s.place = kXmlDoctype, ++i;
                    else if (c == '<')
                        s.place = kXmlTag;
                    break;
                case kXmlTag:
                    if (c == '"' || c == '\'')
                        s.place = kXmlAttr, s.quote = c;
                    else if (c == '>')
                        s.place = kXmlText;
                    break;
                case kXmlAttr:
                    if (c == s.quote)
                        s.place = kXmlTag, s.quote = 0;
                    break;
                case kXmlComment:
                    if (At(t, i, "-->"))
                        s.place = kXmlText, i += 2;
                    else if (At(t, i, "--"))
                        ++s.events;  // not allowed inside a comment
                    break;
                case kXmlCData:
                    if (At(t, i, "]]>"))
                        s.place = kXmlText, i += 2;
                    break;
                case kXmlPi:
                    if (At(t, i, "?>"))
                        s.place = kXmlText, ++i;
                    break;
                case kXmlDoctype:
                    if (c == '[')
                        ++s.depth;
                    else if (c == ']' && s.depth > 0)
                        --s.depth;
                    else if (c == '>' && s.depth == 0)
                        s.place = kXmlText;
                    break;
                default:
                    break;
            }
            ++i;
            return;
        case TConfigFormat::Toml:
            switch (s.place) {
                case kTomlBare:
                    if (c == '#')
                        s.place = kTomlComment;
                    else if (At(t, i, "\"\"\""))
                        s.place = kTomlMlBasic, i += 2;
                    else if (c == '"')
                        s.place = kTomlBasic;
                    else if (At(t, i, "'''"))
                        s.place = kTomlMlLiteral, i += 2;
                    else if (c == '\'')
                        s.place = kTomlLiteral;
                    break;
                case kTomlBasic:
                case kTomlMlBasic:
                    if (s.escape)
                        s.escape = false;
                    else if (c == '\\')
                        s.escape = true;
                    else if (s.place == kTomlBasic && c == '"')
                        s.place = kTomlBare;
                    else if (At(t, i, "\"\"\""))
                        s.place = kTomlBare, i += 2;
                    break;
                case kTomlLiteral:
                    if (c == '\'')
                        s.place = kTomlBare;
                    break;
                case kTomlMlLiteral:
                    if (At(t, i, "'''"))
                        s.place = kTomlBare, i += 2;
                    break;
                default:
                    break;
            }
            ++i;
            return;
        case TConfigFormat::Yaml: {
            if (i == 0 && s.block >= 0) {
                // A line indented deeper than the block scalar's parent (or a
                // blank one) belongs to the block; any other ends it.
                std::size_t indent = 0;
                while (indent < t.size() && t[indent] == ' ')
                    ++indent;
                if (indent == t.size() || static_cast<int>(indent) > s.block) {
                    s.place = kYamlBlock;
                } else {
                    s.block = -1;
                    s.place = kYamlPlain;
                }
            }
            const bool endOfWord = i + 1 >= t.size() || IsBlank(t[i + 1]);
            switch (s.place) {
                case kYamlPlain:
                    if (IsBlank(c)) {
                        s.blank = true;
                        ++i;
                        return;
                    }
                    if (c == '#' && s.blank) {
                        s.place = kYamlComment;
                        ++s.events;
                    } else if (s.start && c == '\'') {
                        s.place = kYamlSingle, s.start = false;
                    } else if (s.start && c == '"') {
                        s.place = kYamlDouble, s.start = false;
                    } else if (s.start && s.depth == 0 && (c == '|' || c == '>')) {
                        s.blockHeader = true, s.start = false;
                    } else if (c == '[' || c == '{') {
                        ++s.depth, ++s.events, s.start = true;
                    } else if ((c == ']' || c == '}') && s.depth > 0) {
                        --s.depth, ++s.events, s.start = false;
                    } else if (c == ',' && s.depth > 0) {
                        ++s.events, s.start = true;
                    } else if (c == ':' && (endOfWord || (s.depth > 0 && std::strchr(",]}", t[i + 1]) != nullptr))) {
                        ++s.events, s.start = true;
                    } else if (s.start && (c == '-' || c == '?') && endOfWord) {
                        ++s.events, s.start = true;
                    } else {
                        s.start = false;
                    }
                    break;
                case kYamlSingle:
                    if (At(t, i, "''"))
                        ++i;
                    else if (c == '\'')
                        s.place = kYamlPlain;
                    break;
                case kYamlDouble:
                    if (s.escape)
                        s.escape = false;
                    else if (c == '\\')
                        s.escape = true;
                    else if (c == '"')
                        s.place = kYamlPlain;
                    break;
                default:
                    break;
            }
            s.blank = false;
            ++i;
            return;
        }
        case TConfigFormat::Properties:
            if (s.place == kPropsComment) {
                ++i;
                return;
            }
            if (s.place == kPropsKey && s.blank && !s.escape && (IsBlank(c) || c == '\f')) {
                ++i;  // blanks before the key (or at a continued line's start)
                return;
            }
            if (s.place == kPropsKey && s.blank && s.start && (c == '#' || c == '!')) {
                s.place = kPropsComment;
                ++i;
                return;
            }
            s.start = false;
            if (s.escape) {
                s.escape = false;
                s.blank = false;
                ++i;
                return;
            }
            if (c == '\\') {
                s.escape = true;
            } else if (s.place == kPropsKey && (c == '=' || c == ':')) {
                s.place = kPropsValue, ++s.events;
            } else if (s.place == kPropsKey && (IsBlank(c) || c == '\f')) {
                s.place = kPropsKeyEnd, ++s.events;
            } else if (s.place == kPropsKeyEnd && !IsBlank(c)) {
                s.place = kPropsValue;
            }
            s.blank = IsBlank(c);
            ++i;
            return;
        case TConfigFormat::Batch:
            if (i == 0) {
                const std::string command = BatchCommand(t);
                if (command == "rem" || command == "::" || command == "@rem")
                    s.place = kBatchComment;
            }
            switch (s.place) {
                case kBatchCode:
                    if (s.escape) {
                        s.escape = false;
                    } else if (c == '^') {
                        s.escape = true;
                    } else if (c == '"') {
                        s.place = kBatchQuoted;
                    } else if (c == '&' || c == '|' || c == '<' || c == '>') {
                        ++s.events;
                    } else if (c == '(') {
                        ++s.depth, ++s.events;
                    } else if (c == ')' && s.depth > 0) {
                        --s.depth, ++s.events;
                    } else if (IsBlank(c) || c == ',' || c == ';' || c == '=') {
                        if (!s.blank)
                            ++s.events;
                        s.blank = true;
                        ++i;
                        return;
                    }
                    break;
                case kBatchQuoted:
                    if (c == '"')
                        s.place = kBatchCode;
                    break;
                default:
                    break;
            }
            s.blank = false;
            ++i;
            return;
        case TConfigFormat::PowerShell: {
            std::size_t q = 0;
            switch (s.place) {
                case kPsCode:
                    if (s.escape) {
                        s.escape = false;
                    } else if (c == '`') {
                        s.escape = true;
                    } else if (c == '#') {
                        s.place = kPsLineComment;
                    } else if (At(t, i, "<#")) {
                        s.place = kPsBlockComment, ++i;
                    } else if (i + 2 == t.size() && (At(t, i, "@'") || At(t, i, "@\""))) {
                        s.place = t[i + 1] == '\'' ? kPsHereSingle : kPsHereDouble, ++i;
                    } else if ((q = PsSingleQuoteAt(t, i)) != 0) {
                        s.place = kPsSingle, i += q - 1;
                    } else if ((q = PsDoubleQuoteAt(t, i)) != 0) {
                        s.place = kPsDouble, i += q - 1;
                    } else if (IsBlank(c)) {
                        if (!s.blank)
                            ++s.events;
                        s.blank = true;
                        ++i;
                        return;
                    } else if (std::strchr(";|&(){},", c) != nullptr) {
                        ++s.events;
                    }
                    break;
                case kPsSingle:
                    if ((q = PsSingleQuoteAt(t, i)) != 0) {
                        const std::size_t q2 = i + q < t.size() ? PsSingleQuoteAt(t, i + q) : 0;
                        if (q2 != 0)
                            i += q + q2 - 1;  // a doubled quote stands for one
                        else
                            s.place = kPsCode, i += q - 1;
                    }
                    break;
                case kPsDouble:
                    if (s.escape) {
                        s.escape = false;
                    } else if (c == '`') {
                        s.escape = true;
                    } else if ((q = PsDoubleQuoteAt(t, i)) != 0) {
                        const std::size_t q2 = i + q < t.size() ? PsDoubleQuoteAt(t, i + q) : 0;
                        if (q2 != 0)
                            i += q + q2 - 1;
                        else
                            s.place = kPsCode, i += q - 1;
                    }
                    break;
                case kPsHereSingle:
                    if (i == 0 && At(t, 0, "'@"))
                        s.place = kPsCode, ++i;
                    break;
                case kPsHereDouble:
                    if (i == 0 && At(t, 0, "\"@"))
                        s.place = kPsCode, ++i;
                    else if (s.escape)
                        s.escape = false;
                    else if (c == '`')
                        s.escape = true;
                    break;
                case kPsBlockComment:
                    if (At(t, i, "#>"))
                        s.place = kPsCode, ++i;
                    break;
                default:
                    break;
            }
            s.blank = false;
            ++i;
            return;
        }
        case TConfigFormat::Other:
            ++i;
            return;
    }
    ++i;
}

// What the end of a line does to the state.
void EndLine(TConfigFormat format, Lex& s) {
    switch (format) {
        case TConfigFormat::Json:
            if (s.place == kJsonLineComment)
                s.place = kJsonOut;
            break;
        case TConfigFormat::Toml:
            if (s.place == kTomlComment || s.place == kTomlBasic || s.place == kTomlLiteral)
                s.place = kTomlBare;
            s.escape = false;  // a backslash at a line's end goes on to the next
            break;
        case TConfigFormat::Yaml:
            if (s.place == kYamlComment || s.place == kYamlBlock)
                s.place = kYamlPlain;
            s.start = true;
            s.escape = false;
            break;
        case TConfigFormat::Properties:
            if (s.place == kPropsComment || !s.escape) {
                s.place = kPropsKey;
                s.start = true;
            }
            s.escape = false;
            break;
        case TConfigFormat::Batch:
            s.place = kBatchCode;
            s.escape = false;
            break;
        case TConfigFormat::PowerShell:
            if (s.place == kPsLineComment)
                s.place = kPsCode;
            s.escape = false;
            break;
        default:
            break;
    }
    s.blank = true;
}

// The end of a line: a YAML line that opened a block scalar makes the
// lines deeper than its own indentation the block's.
void FinishLine(TConfigFormat format, Lex& s, std::string_view line) {
    if (format == TConfigFormat::Yaml) {
        if (line.empty() && s.block >= 0)
            s.place = kYamlBlock;
        if (s.blockHeader) {
            std::size_t indent = 0;
            while (indent < line.size() && line[indent] == ' ')
                ++indent;
            s.block = static_cast<int>(indent);
            s.blockHeader = false;
        }
    }
    EndLine(format, s);
}

// Walks a whole line from `s`.
void WalkLine(TConfigFormat format, Lex& s, std::string_view line) {
    for (std::size_t i = 0; i < line.size();)
        Step(format, s, line, i);
    FinishLine(format, s, line);
}

// The states at each of `points` (ascending positions in `line`, a position
// past the last character standing for the line's end before its line end
// is read) and after the line.
std::vector<Lex> StatesAt(TConfigFormat format, Lex s, std::string_view line, const std::vector<std::size_t>& points) {
    std::vector<Lex> out;
    out.reserve(points.size() + 1);
    std::size_t k = 0;
    for (std::size_t i = 0;;) {
        while (k < points.size() && points[k] <= i) {
            out.push_back(s);
            ++k;
        }
        if (i >= line.size())
            break;
        Step(format, s, line, i);
    }
    FinishLine(format, s, line);
    while (k++ < points.size())
        out.push_back(s);
    out.push_back(s);
    return out;
}

TTextSyntax SyntaxFor(TConfigFormat format) {
    switch (format) {
        case TConfigFormat::Json:
            return TTextSyntax::Json;
        case TConfigFormat::Xml:
            return TTextSyntax::Xml;
        default:
            return TTextSyntax::Any;
    }
}

// ---- New as each place needs it ------------------------------------------------

void HexUnit(std::string& out, unsigned long v) {
    static const char digits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += digits[(v >> shift) & 15];
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
};

Piece TConfigRewriter::State::Spell(const Lex& at,
                                    std::string_view line,
                                    const std::vector<TSpelledOccurrence>& found,
                                    const TSpelledOccurrence& o) const {
    Piece p;
    p.end = o.offset + o.length;
    const auto xmlReference = [](char32_t code, std::string& out) {
        out += "&#" + std::to_string(static_cast<unsigned long>(code)) + ";";
        return true;
    };
    const auto noReference = [](char32_t, std::string&) { return false; };
    const auto mustHold = [&](std::string& text, const char* what) {
        if (!ReferenceUnencodable(text, encodable, noReference))
            p.why = std::string("the file's encoding cannot hold New ") + what;
    };
    switch (format) {
        case TConfigFormat::Json:
            if (at.place == kJsonString)
                p.text = EscapedSpelling(format, now, o);
            else
                p.text = SpellAddress(now, o.spelling, o.style);
            return p;
        case TConfigFormat::Xml:
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
                    p.text =
                        o.spelling == TSpelling::Url ? SpellAddress(now, o.spelling, o.style) : RawSpelling(now, o);
                    const char* end = at.place == kXmlCData ? "]]>" : at.place == kXmlComment ? "--" : "?>";
                    if (p.text.find(end) != npos ||
                        (at.place == kXmlComment && !p.text.empty() && p.text.back() == '-'))
                        p.why =
                            std::string("New would end the ") + (at.place == kXmlCData     ? "CDATA section"
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
        case TConfigFormat::Toml:
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
        case TConfigFormat::Yaml:
            switch (at.place) {
                case kYamlDouble:
                    p.text = EscapedSpelling(format, now, o);
                    return p;
                case kYamlSingle:
                    p.text = RawSpelling(now, o);
                    ReplaceEvery(p.text, "'", "''");
                    return p;
                default:
                    // Plain scalars, block scalars and comments read every
                    // character as it is; whether New changes how the line
                    // parts is checked on the whole line.
                    p.text = RawSpelling(now, o);
                    return p;
            }
        case TConfigFormat::Properties:
            p.text = SpellAddress(now, o.spelling, o.style);
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
        case TConfigFormat::Batch: {
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
        case TConfigFormat::PowerShell:
            switch (at.place) {
                case kPsSingle:
                    p.text = RawSpelling(now, o);
                    ReplaceEvery(p.text, "'", "''");
                    for (const char* q : {"\xE2\x80\x98", "\xE2\x80\x99", "\xE2\x80\x9A", "\xE2\x80\x9B"})
                        ReplaceEvery(p.text, q, std::string(q) + q);
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
                    const bool tokenStart = o.offset == 0 || IsBlank(line[o.offset - 1]) ||
                                            std::strchr(";|{(,=", line[o.offset - 1]) != nullptr;
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
                    std::string inner = RewriteSpan(line, found, o.offset, end, [this](const TSpelledOccurrence& occ) {
                        return RawSpelling(now, occ);
                    });
                    ReplaceEvery(inner, "'", "''");
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
        case TConfigFormat::Other:
            break;
    }
    p.text = SpellAddress(now, o.spelling, o.style);
    return p;
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
    const std::vector<TSpelledOccurrence> found = FindSpelledOccurrences(line, s.old, SyntaxFor(s.format));
    if (found.empty())
        return walked(Outcome::Unchanged);
    if (s.format == TConfigFormat::Other) {
        line = RewriteSpelled(line, s.old, s.now, {}, SyntaxFor(s.format));
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
