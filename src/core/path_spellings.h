// The spellings in which configuration files keep a folder's address, and
// the path-boundary rule of strings.h applied in each of them.
//
// A program's configuration file may name C:\Acme Tools\app.exe as
//   plain   C:\Acme Tools\app.exe
//   json    C:\\Acme Tools\\app.exe        (JSON and C-style string escapes,
//                                           \/ \" \uXXXX among them)
//   slash   C:/Acme Tools/app.exe
//   url     file:///C:/Acme%20Tools/app.exe (also file://localhost/C:/...,
//                                           the old file:///C|/... and
//                                           file://server/share/... for
//                                           \\server\share)
//   xml     C:\Acme&#32;Tools\app.exe      (character references and the five
//                                           named entities)
// Each spelling is read back to plain characters, and the Old address is
// looked for in that reading exactly as the match rule looks for it in plain
// text: letters compared through the installed upper-casing, and counted only
// at a path boundary (sure or doubtful, see BoundaryAfter) judged on the
// characters as read: in JSON the \\ after C:\\Acme is a separator, \u0028 an
// opening parenthesis; in a URL %20 is a blank. Outside the plain spelling
// both \ and / part names.
//
// An occurrence is rewritten in its own spelling and style: New is written
// with the occurrence's separator, every character of New that the
// occurrence also holds is written the way the occurrence wrote it, and
// whatever the spelling cannot hold as it is gets escaped (in JSON " \ and
// control characters; in XML & < and the quote that closes the attribute
// around the occurrence; in a URL % # ? blanks and the like, and characters
// past ASCII, as UTF-8, unless the occurrence held them as they are). Every
// byte of the text outside the rewritten occurrences stays as it is.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"

namespace movix {

// Most specific last: where two spellings find the same text, the later one
// in this order names the occurrence.
enum class TSpelling { Plain, Slash, Json, Xml, Url };

// The short text of a spelling, shown as a row's sub-type: "plain", "slash",
// "json", "xml", "url".
const char* SpellingCode(TSpelling spelling);

// What the caller knows of the file. Any: every spelling is looked for, and a
// JSON or XML reading counts only where it holds an escape (elsewhere the
// text is plain or slash). Json / Xml: the file is of that syntax, so each
// occurrence outside a URL is of that spelling, escaped or not, and a New
// address is escaped as the syntax needs even where Old needed no escape.
// Properties: as Any, but a backslash before any character stands for that
// character, as Java reads a .properties file (C\:\\Acme is C:\Acme); such
// escapes read as the JSON spelling.
enum class TTextSyntax { Any, Json, Xml, Properties };

// How one occurrence writes its characters, so that New is written alike.
// ascii[c] and nonAscii: 0 when the occurrence does not hold the character
// (the spelling's own rule decides), kAsItself when it holds it as itself,
// else the escape it used: JSON 1 short (\\ \/ \" \n ...), 2 \uXXXX; XML 1
// named entity, 2 decimal &#N;, 3 hexadecimal &#xH;; URL 1 %HH.
constexpr unsigned char kAsItself = 0xFF;
struct TSpellingStyle {
    char separator = '\\';                   // \ or /: what parts the names
    std::array<unsigned char, 128> ascii{};  // per ASCII character, see above
    unsigned char nonAscii = 0;              // characters past ASCII
    bool upperHex = true;                    // hexadecimal digits A-F, not a-f
    std::string scheme = "file";             // URL: file: as written (FILE:, File:)
    std::string host;                        // URL: localhost as written, or empty
    bool pipe = false;                       // URL: file:///C|/
    char quote = 0;                          // XML: " or ' around the attribute, 0 in text
};

struct TSpelledOccurrence {
    std::size_t offset = 0;  // in the text, bytes; a URL's starts at file:
    std::size_t length = 0;
    TSpelling spelling = TSpelling::Plain;
    TBoundary boundary = TBoundary::Sure;  // Sure or Doubtful
    TSpellingStyle style;
};

// Every counting occurrence of `oldAddress` in `text`, in text order and
// never overlapping. Where spellings find overlapping text the most specific
// one keeps it (url, xml, json, slash, plain). An empty Old finds nothing.
std::vector<TSpelledOccurrence> FindSpelledOccurrences(std::string_view text,
                                                       std::string_view oldAddress,
                                                       TTextSyntax syntax = TTextSyntax::Any);

// A quick look that rules out most texts that cannot hold `oldAddress` in
// any spelling, before FindSpelledOccurrences is asked: in every spelling an
// ASCII letter or digit of Old stands as itself unless an escape spells it
// (\u0041, &#65;, %41). So a text holds the longest run of ASCII letters and
// digits of Old, letter case aside (or a character that upper-cases to one
// of its letters), or such an escape, or it holds no occurrence. Never false
// where FindSpelledOccurrences would find one.
class TSpelledPrefilter {
  public:
    explicit TSpelledPrefilter(std::string_view oldAddress);
    bool MayHold(std::string_view text) const;

  private:
    std::string key_;  // upper-cased; empty: every text may hold Old
    bool keyHasIOrS_ = false;
};

// `address` written in `spelling` the way `style` writes (for a URL, with its
// file: prefix).
std::string SpellAddress(std::string_view address, TSpelling spelling, const TSpellingStyle& style);

// The characters that `spelled` reads as in `spelling` (a URL loses its
// prefix: file:///C:/x reads C:/x, file://srv/s reads //srv/s). Escapes that
// do not read are kept as they are.
std::string ReadSpelled(std::string_view spelled, TSpelling spelling);

// `text` with each occurrence of `oldAddress` that `which` accepts (every
// one when `which` is empty) rewritten to `newAddress` in its spelling and
// style. A text with no such occurrence comes back byte for byte.
std::string RewriteSpelled(std::string_view text,
                           std::string_view oldAddress,
                           std::string_view newAddress,
                           const std::function<bool(const TSpelledOccurrence&)>& which = {},
                           TTextSyntax syntax = TTextSyntax::Any);

}  // namespace movix
