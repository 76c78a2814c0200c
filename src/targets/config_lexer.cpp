#include "targets/config_lexer.h"

#include <cstring>

namespace movix {
namespace cfg {

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

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

namespace {

// Each format's reader takes one character (or a token of several) of
// `t` at `i` and moves `i` past it.
void StepJson(Lex& s, std::string_view t, std::size_t& i) {
    const char c = t[i];
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
}

void StepXml(Lex& s, std::string_view t, std::size_t& i) {
    const char c = t[i];
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
}

void StepToml(Lex& s, std::string_view t, std::size_t& i) {
    const char c = t[i];
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
}

void StepYaml(Lex& s, std::string_view t, std::size_t& i) {
    const char c = t[i];
    if (i == 0 && s.block >= 0) {
        // The block's first line, deeper than its header's, sets how deep
        // its content is; a blank line, or one as deep or deeper, belongs to
        // the block, any other ends it.
        std::size_t indent = 0;
        while (indent < t.size() && t[indent] == ' ')
            ++indent;
        const int depth = static_cast<int>(indent);
        if (s.blockContent < 0 && indent < t.size() && depth > s.block)
            s.blockContent = depth;
        if (indent == t.size() || (s.blockContent >= 0 && depth >= s.blockContent)) {
            s.place = kYamlBlock;
        } else {
            s.block = s.blockContent = -1;
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
}

void StepProperties(Lex& s, std::string_view t, std::size_t& i) {
    const char c = t[i];
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
}

void StepBatch(Lex& s, std::string_view t, std::size_t& i) {
    const char c = t[i];
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
}

void StepPowerShell(Lex& s, std::string_view t, std::size_t& i) {
    const char c = t[i];
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
}

void Step(TConfigFormat format, Lex& s, std::string_view t, std::size_t& i) {
    switch (format) {
        case TConfigFormat::Json:
            return StepJson(s, t, i);
        case TConfigFormat::Xml:
            return StepXml(s, t, i);
        case TConfigFormat::Toml:
            return StepToml(s, t, i);
        case TConfigFormat::Yaml:
            return StepYaml(s, t, i);
        case TConfigFormat::Properties:
            return StepProperties(s, t, i);
        case TConfigFormat::Batch:
            return StepBatch(s, t, i);
        case TConfigFormat::PowerShell:
            return StepPowerShell(s, t, i);
        case TConfigFormat::Other:
            break;
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
            s.blockContent = -1;
            s.blockHeader = false;
        }
    }
    EndLine(format, s);
}

}  // namespace

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

}  // namespace cfg
}  // namespace movix
