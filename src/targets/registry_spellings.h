// The Registry's other spellings of a folder, apart from any Windows call:
// the strings of a REG_MULTI_SZ list, and REG_EXPAND_SZ texts that name the
// folder through an environment variable (%ProgramFiles%\Acme). The search
// and the replacer hand in the data they read and write back what comes out.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/strings.h"

namespace movix {

// Why a hit was not rewritten.
enum class TRefusal {
    NotExact,     // the string is not well-formed UTF-16: its text is not what is stored
    Changed,      // the string is no longer the one found (or no longer holds Old)
    NotWritable,  // the new text cannot be stored (New is not well-formed or holds a NUL)
    Inside,       // a variable's value goes on before or after Old: only the variable itself could change
    Overlap,      // overlaps another hit that is rewritten
    Expansion,    // the text rewritten would not expand to New where it expanded to Old
};

// ---- REG_MULTI_SZ ------------------------------------------------------------
// The data is UTF-16 LE: strings each ended by a NUL unit, the list by an
// empty one. Data as stored need not keep to that, and is kept as it is:
// every NUL-ended piece is a string of its own (an empty one inside the list
// as well, and the list's final empty string too), a last piece without its
// NUL stays without it, and an odd last byte stays after it.

struct TMultiStringHit {
    std::size_t Index = 0;                 // which string, counting every piece from 0
    std::string Text;                      // the string as UTF-8 (a lone surrogate shows as U+FFFD)
    TBoundary Boundary = TBoundary::Sure;  // Doubtful where it may name a longer folder
    bool Exact = true;                     // false: not well-formed UTF-16, never rewritten
};

// Every string of the list that holds Old at a path boundary (the match rule
// of ContainsUpper), in order.
std::vector<TMultiStringHit> FindInMultiString(std::string_view data, std::string_view oldAddr);

struct TMultiStringRewrite {
    std::string Data;                                       // the whole new data
    std::vector<std::size_t> Rewritten;                     // indexes of the strings rewritten
    std::vector<std::pair<std::size_t, TRefusal>> Refused;  // indexes of hits left as they are
};

// The data with Old replaced by New (ReplaceAllText) in the strings of
// `hits`, each only where the string of that index still has the text found.
// Every other byte stays as it is: the other strings, the NULs, a missing
// terminator, an odd last byte.
TMultiStringRewrite RewriteMultiString(std::string_view data,
                                       std::string_view oldAddr,
                                       std::string_view newAddr,
                                       const std::vector<TMultiStringHit>& hits);

// ---- REG_EXPAND_SZ -----------------------------------------------------------

// Environment variables by name; names compare without regard to case, as
// the system compares them.
class TEnvironment {
  public:
    void Set(std::string_view name, std::string value);
    // The value of a defined variable, or null.
    const std::string* Find(std::string_view name) const;

  private:
    std::map<std::string, std::string> values_;  // by upper-cased name
};

// Of `env`, only the variables the system defines for the machine, the same
// for every user (ProgramFiles, ProgramFiles(x86), ProgramW6432,
// CommonProgramFiles and its two siblings, ProgramData, ALLUSERSPROFILE,
// PUBLIC, SystemRoot, SystemDrive, windir). A text kept for the machine or
// for another user is read with these: a per-user variable there (APPDATA,
// USERPROFILE, ...) names each reader's own folder, never this user's.
TEnvironment MachineEnvironment(const TEnvironment& env);

// The text with its variable references replaced by their values. A
// reference counts only where the system's expansion surely takes it as one:
// %NAME% with NAME defined, read the same way whether the closing % of an
// undefined %OTHER% before it may open a reference or not (%X%NAME% with X
// undefined is read both ways by different systems, and expands nothing
// here). A value's closing \ or / is left out before another separator, as
// the file system reads C:\Program Files\\Acme.
std::string ExpandText(std::string_view text, const TEnvironment& env);

// How a hit spells Old: as it is, or through a variable.
enum class TExpandSpelling { Literal, Variable };
// The sub-type text a hit shows with: "dat" for a literal one, "env" for
// one through a variable.
const char* SpellingSubTypeText(TExpandSpelling spelling);

struct TExpandHit {
    TExpandSpelling Spelling = TExpandSpelling::Literal;
    std::size_t Begin = 0;  // the bytes of the text that spell Old: whole references,
    std::size_t End = 0;    // and for a literal hit exactly the occurrence
    TBoundary Boundary = TBoundary::Sure;
    bool Rewritable = true;  // false: a variable's value goes on before or after Old
};

// Every hit of Old in the text, in order of Begin: literal ones exactly as
// ContainsUpper and ReplaceAllText see the text; and those where the text
// expanded names Old at a path boundary with at least one variable inside
// the occurrence (boundary taken in the expanded text).
std::vector<TExpandHit> FindInExpandText(std::string_view text, std::string_view oldAddr, const TEnvironment& env);

struct TExpandEdit {
    TExpandHit Hit;
    std::string Replacement;  // what took the place of text[Begin, End)
};

struct TExpandRewrite {
    std::string Text;  // the whole new text
    std::vector<TExpandEdit> Applied;
    std::vector<std::pair<TExpandHit, TRefusal>> Refused;
};

// The text with the hits of the kinds asked for rewritten to New; every byte
// outside them stays as it is (other variables, an undefined %X%, a lone %).
// A literal hit becomes New. A hit through variables keeps its leading
// references, spelled as they are, as far as New still lies in the folder
// they name (%ProgramFiles%\Acme to %ProgramFiles%\Acme2); elsewhere New is
// written as it is (D:\Apps\Acme). A hit is rewritten only where the text
// then expands to New in its place.
TExpandRewrite RewriteExpandText(std::string_view text,
                                 std::string_view oldAddr,
                                 std::string_view newAddr,
                                 const TEnvironment& env,
                                 bool literal,
                                 bool variables);

}  // namespace movix
