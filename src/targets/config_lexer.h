// How each configuration format reads its text, as far as the rewrite of
// a path needs it: a small reader per format that walks a file line by
// line and tells, at any point, the place it stands in (which kind of
// string, comment or tag) and what parts the text there. The rewriter asks
// it where each occurrence of Old stands, and checks with it that New reads
// as Old did. No Windows header.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "targets/config_syntax.h"

namespace movix {
namespace cfg {

inline bool At(std::string_view t, std::size_t i, std::string_view what) {
    return t.size() >= i + what.size() && t.compare(i, what.size(), what) == 0;
}

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string LowerAscii(std::string_view s);

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
    int block = -1;            // YAML: the indentation of a block scalar's header line, -1 outside one
    int blockContent = -1;     // YAML: the indentation of the block's content, -1 until its first line
    bool blockHeader = false;  // YAML: this line opens a block scalar
    bool start = true;         // YAML, batch, PowerShell: the next character may begin a token
    bool blank = true;         // the previous character was a blank (or the line began)
    long events = 0;

    bool SameAs(const Lex& o) const {
        return place == o.place && quote == o.quote && depth == o.depth && escape == o.escape && block == o.block &&
               blockContent == o.blockContent && blockHeader == o.blockHeader && start == o.start && blank == o.blank;
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

// PowerShell takes the typographic quotes for quotes too: the length of the
// quote at `i` (1 or 3 bytes), 0 where there is none.
std::size_t PsSingleQuoteAt(std::string_view t, std::size_t i);
std::size_t PsDoubleQuoteAt(std::string_view t, std::size_t i);

// The first word of a batch line (after blanks and @), lower-cased: REM and
// :: lines are remarks; SET takes the rest of its line as it is.
std::string BatchCommand(std::string_view line);

// Walks a whole line from `s`.
void WalkLine(TConfigFormat format, Lex& s, std::string_view line);

// The states at each of `points` (ascending positions in `line`, a position
// past the last character standing for the line's end before its line end
// is read) and after the line.
std::vector<Lex> StatesAt(TConfigFormat format, Lex s, std::string_view line, const std::vector<std::size_t>& points);

}  // namespace cfg
}  // namespace movix
