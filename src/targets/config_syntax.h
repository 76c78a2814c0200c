// What a configuration file's format asks of the text written into it. A
// settings file is read by another program with that format's own parser,
// so New must come out in the characters and the escapes of the place it is
// written in (a JSON string, an XML attribute and its quote, a CDATA
// section, a YAML plain scalar, a TOML literal string, an unquoted argument
// of a batch file ...), judged over the whole file, not line by line. Where
// no spelling of New keeps the file's structure as it was, the line is left
// as it is and the caller is told why. No Windows header: the code pages
// are the caller's.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/path_spellings.h"

namespace movix {

enum class TConfigFormat { Other, Json, Xml, Yaml, Toml, Properties, Batch, PowerShell };

// The format a file's type tells (.json; .xml, .config and the other XML
// types; .yaml and .yml; .toml; .properties; .bat and .cmd; .ps1 and
// .psm1); Other for .ini, .cfg, .conf, .url and the rest.
TConfigFormat ConfigFormatOf(std::string_view name);

// The syntax path_spellings finds occurrences of Old by in a format's
// files: JSON and XML as such, .properties with its backslash escapes, any
// other with every spelling.
TTextSyntax SyntaxOfFormat(TConfigFormat format);

// What a file without a byte-order mark is written in. JSON, YAML and TOML
// are UTF-8 by their own definitions; XML is in the encoding its
// declaration names (UTF-8 when it names none); .properties is ISO-8859-1
// (Java's rule); a batch file is in the OEM code page (the console's);
// a PowerShell script without a mark is read as ANSI by one PowerShell and
// as UTF-8 by the other, so only ASCII may be written into it; anything
// else is an INI file's ANSI, unless the whole file is UTF-8.
enum class TConfigCharset { Ansi, Oem, Utf8, Latin1, AsciiOnly, Declared };
struct TCharsetChoice {
    TConfigCharset charset = TConfigCharset::Ansi;
    // Declared: the encoding's name as the XML declaration writes it.
    std::string declared;
    // The format fixes the encoding: bytes that happen to be well-formed
    // UTF-8 do not make the file UTF-8.
    bool definite = false;
};
// `bytes` are the file's first bytes (its mark, if any, included): a file
// with a mark is written in the mark's encoding, whatever this says.
TCharsetChoice ConfigCharsetOf(TConfigFormat format, std::string_view bytes);

// The Windows code page of an encoding name as XML declarations write them
// (utf-8, ISO-8859-1, windows-1252, Shift_JIS, ...), letter case aside; 0
// for a name not known here. 65001 for UTF-8.
unsigned CodePageOfEncodingName(std::string_view name);

// Whether the file's encoding holds a character (as UTF-8). Characters it
// does not hold are written as references (XML &#N;) or escapes
// (.properties \uXXXX) where the place allows one; elsewhere the line is
// refused.
using TEncodable = std::function<bool(std::string_view character)>;

// One file's lines, in order, each fed once. Lines that are to be rewritten
// have every occurrence of Old (core/path_spellings.h) replaced by New as
// the place of each occurrence needs; every other byte stays as it is.
class TConfigRewriter {
  public:
    TConfigRewriter(TConfigFormat format, std::string oldAddress, std::string newAddress, TEncodable encodable = {});
    ~TConfigRewriter();
    TConfigRewriter(const TConfigRewriter&) = delete;
    TConfigRewriter& operator=(const TConfigRewriter&) = delete;

    enum class Outcome { Unchanged, Rewritten, Refused };
    // Feeds the next line (without its line end). With `rewrite`, its
    // occurrences of Old are rewritten in place; Refused leaves the line as
    // it was and says why in `why`. Unchanged: the line holds no occurrence
    // (or `rewrite` was false).
    Outcome Line(std::string& line, bool rewrite, std::string* why = nullptr);

  private:
    struct State;
    State* state_;
};

// The whole text at once, each line that holds Old rewritten (a refused
// line left as it was, its reason added to `refusals`). Lines end at \n,
// \r\n or \r, and keep their ends.
std::string RewriteConfigText(TConfigFormat format,
                              std::string_view text,
                              std::string_view oldAddress,
                              std::string_view newAddress,
                              std::vector<std::string>* refusals = nullptr,
                              const TEncodable& encodable = {});

}  // namespace movix
