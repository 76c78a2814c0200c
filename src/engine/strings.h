// String helpers shared by the searches and the replacers.
#pragma once

#include <string>
#include <string_view>

namespace movix {

// Kind codes of the four targets.
constexpr int kKindIni = 1;
constexpr int kKindGrp = 2;
constexpr int kKindLnk = 3;
constexpr int kKindReg = 4;

// Sub-type codes of a hit.
constexpr int kSubTypeSection = 1;
constexpr int kSubTypeCommand = 2;
constexpr int kSubTypeIcon = 3;
constexpr int kSubTypeDir = 4;
constexpr int kSubTypeArgs = 5;
constexpr int kSubTypeKey = 6;
constexpr int kSubTypeValueName = 7;
constexpr int kSubTypeData = 8;
constexpr int kSubTypeExpandData = 9;

// The type text of a kind, which is also the file extension a file search
// looks for: "INI", "GRP", "LNK", "REG"; "err" for any other code.
const char* KindExtension(int kind);

// Upper-cases the ASCII letters a..z only. Accented and other non-ASCII
// characters stay as they are, so a search is exact for them.
char UpperAscii(char c);
std::string UpperAscii(std::string_view s);

// The match rule: true when `searchUpper` (already upper-cased) occurs
// anywhere in `text` upper-cased. An empty search string matches nothing.
// Costs one pass over the text and allocates nothing.
bool ContainsUpper(std::string_view text, std::string_view searchUpper);

// Replaces every occurrence of `find` in `s` (ASCII letters compared without
// case) by `repl`. The scan resumes after each inserted `repl`, so text that
// `repl` brought in is never searched again and a `repl` that contains `find`
// cannot loop. An empty `find` leaves `s` unchanged. Works on strings of any
// length.
void ReplaceAllText(std::string& s, std::string_view find, std::string_view repl);

// `fileName` with its extension changed to ".BAK" / ".$$$". Only a dot in the
// last path component (after the last ':' or '\') starts an extension.
std::string BackupName(const std::string& fileName);
std::string TempName(const std::string& fileName);

}  // namespace movix
