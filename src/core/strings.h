// String helpers shared by the searches and the replacers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/kinds.h"

namespace movix {

// The value of a hexadecimal digit (either letter case), or -1.
int HexDigitValue(char c);

// The type text of a kind, which is also the file extension a file search
// looks for: "INI", "GRP", "LNK", "REG"; "err" for any other code.
const char* KindExtension(int kind);

// Upper-cases the ASCII letters a..z only. Accented and other non-ASCII
// characters stay as they are, so a search is exact for them.
char UpperAscii(char c);
std::string UpperAscii(std::string_view s);

// The upper-casing of one character (a Unicode code point) that matching
// uses. Without one installed only a..z are upper-cased and every other byte
// is compared as it is. The Windows program installs the system's own, which
// upper-cases every script as the file system compares names; any installed
// one must upper-case a..z to A..Z and leave the rest of ASCII alone, as the
// system's does, since ASCII text is compared without asking it.
using UpperCaseFn = char32_t (*)(char32_t);
void SetUpperCase(UpperCaseFn upper);
UpperCaseFn InstalledUpperCase();

// UTF-8 text with each character upper-cased by the installed upper-casing
// (the matching's own view of it). Bytes that are not well-formed UTF-8 stay
// as they are. Without an installed upper-casing, the same as UpperAscii.
std::string UpperText(std::string_view s);

// One character of UTF-8 text: the code point that starts at `i`, its length
// in bytes in `length`. A byte that does not start a well-formed sequence
// gives kNotUtf8, one byte long.
constexpr char32_t kNotUtf8 = 0xFFFFFFFF;
char32_t Utf8CharAt(std::string_view s, std::size_t i, std::size_t& length);

// True when the two names are the same text apart from letter case (as the
// installed upper-casing sees it).
bool SameFileName(const std::string& a, const std::string& b);

// Path boundaries. An occurrence of the Old address counts only where the
// text after it does not go on with the Old address's last name: C:\TOOLS\EDIT
// is found in C:\Tools\Edit\x.exe and in "C:\Tools\Edit;D:\", never inside
// C:\Tools\Editor. A name goes on with a letter of any script (every byte of
// a multi-byte character is 0x80 or above, so all such bytes count as
// letters), a digit, or one of _ - . ~ $: there the occurrence does not count.
// Where it counts, its end is sure or doubtful:
//  - sure at the end of the text, and before \ / " < > | * ? ; , = or a
//    control character (tab, CR and LF among them), which cannot be in a name
//    or part the items of a list; also before blanks that lead to the end of
//    the text, to a control character, or to a switch (/x, -x:
//    C:\Acme Tools /S);
//  - doubtful before any other character, and before blanks that lead to
//    anything else: ( ) [ ] { } + & ' ! @ # ^ % and a blank are all legal in
//    folder names, so C:\Program Files (x86), C:\Tools\Notepad++ and
//    C:\Acme Tools 2 may each name a folder of their own.
// An Old address that itself ends in \ or / has its last name closed
// already, so every occurrence of it counts, surely.
bool IsNameChar(char c);
enum class TBoundary { None, Sure, Doubtful };
// What the text after the occurrence of `searchUpper` that ends just before
// `end` in `text` makes of it (the match itself is the caller's business).
TBoundary BoundaryAfter(std::string_view text, std::size_t end, std::string_view searchUpper);
// True when that occurrence counts, surely or doubtfully.
bool IsBoundaryAfter(std::string_view text, std::size_t end, std::string_view searchUpper);

// The match rule: true when `searchUpper` (already upper-cased, by
// UpperText) occurs in `text` upper-cased at a path boundary. An empty search
// string matches nothing. Costs one pass over the text and allocates nothing.
// With an installed upper-casing the text is compared character by character,
// and an occurrence may take more or fewer bytes in `text` than in
// `searchUpper` (a letter whose capital is longer or shorter in UTF-8).
bool ContainsUpper(std::string_view text, std::string_view searchUpper);

// True when some occurrence of `searchUpper` in `text` counts only
// doubtfully (see BoundaryAfter), as C:\Acme Tools in C:\Acme Tools 2 or
// C:\Tools\Notepad in C:\Tools\Notepad++: the text may name a longer folder.
// Such an occurrence still counts, and ReplaceAllText rewrites it; the list
// flags its row so that it is never rewritten unseen. Every occurrence is
// looked at, so a false answer means that ReplaceAllText rewrites no doubtful
// one.
bool MaybeLongerName(std::string_view text, std::string_view searchUpper);

// Replaces every counting occurrence of `find` in `s` (letters compared
// without case, as ContainsUpper does) by `repl`: exactly the bytes of the
// occurrence, in whatever letter case `s` spells it, are replaced; an occurrence inside a longer name stays. The scan
// resumes after each inserted `repl`, so text that `repl` brought in is never
// searched again and a `repl` that contains `find` cannot loop; after an
// occurrence that does not count it resumes at the next character, since a
// counting one may overlap it (C:\A in C:\AA\C:\A). An empty `find` leaves
// `s` unchanged. Works on strings of any length.
void ReplaceAllText(std::string& s, std::string_view find, std::string_view repl);

// The occurrences ReplaceAllText rewrites in `s`, in order: [Begin, End) of
// each, in bytes of `s`.
struct TTextSpan {
    std::size_t Begin = 0;
    std::size_t End = 0;
};
std::vector<TTextSpan> ReplacedOccurrences(std::string_view s, std::string_view find);

// A full file name with its extension replaced (or added where the last
// path component has none). Only a dot in the last path component (after the
// last ':', '\' or '/') starts an extension.
std::string ChangeExtension(const std::string& fileName, const std::string& extension);

// `fileName` with its extension changed to ".BAK" / ".$$$".
std::string BackupName(const std::string& fileName);
std::string TempName(const std::string& fileName);

// Appends a code point as UTF-8 (one to four bytes); the caller passes only
// code points it has checked.
void AppendUtf8(char32_t code, std::string& out);

}  // namespace movix
