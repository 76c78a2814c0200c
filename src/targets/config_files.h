// Configuration files as a target, apart from any Windows call: which files
// are searched, which syntax their type tells, and how the lines that name
// the Old folder are found and rewritten, each in the spelling it holds the
// folder in (core/path_spellings.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/path_spellings.h"
#include "core/replace_groups.h"
#include "targets/config_syntax.h"

namespace movix {

// The types searched unless the settings key names others: the extensions
// separated by semicolons.
extern const char kDefaultConfigTypes[];
// The largest file searched; larger ones are passed over and counted.
constexpr unsigned long long kConfigFileLimit = 16ull * 1024 * 1024;

// The extensions of a list such as "json; .XML;;yml": upper-cased, without
// their dots, each once, in the order given; blanks around an entry and
// empty entries left out.
std::vector<std::string> ParseConfigTypes(std::string_view list);
// Whether a file name ends in "." and one of `types`.
bool HasConfigType(std::string_view name, const std::vector<std::string>& types);

// The syntax a file's type tells (its format's, SyntaxOfFormat): .json is
// JSON; .xml, .config, .manifest, .xaml, .props, .csproj and the like are
// XML; .properties reads backslash escapes; anything else may hold any
// spelling.
TTextSyntax ConfigSyntaxOf(std::string_view name);

// Whether a file's bytes are not text: a NUL byte where the file does not
// begin with the UTF-16 mark.
bool LooksBinary(std::string_view bytes);

// The sub-type of a line that names Old (the spelling of its first
// occurrence, kSubTypeSpellingFirst onwards), or 0 when it names none.
int ConfigLineSubType(std::string_view line, std::string_view oldAddress, TTextSyntax syntax);

// The hit of a line, as the search lists it and the replacer finds it
// again: the line without its leading and trailing blanks.
std::string ConfigHitText(std::string_view line);

// Applies one file's outstanding hits to its lines as they are copied (each
// line of the file is handed in, in order, so that the place of an
// occurrence is judged over the whole file): a line whose hit text equals a
// hit's (exactly) has every occurrence of Old rewritten in its own spelling
// and as its place in the format needs (targets/config_syntax.h); the hit
// is then consumed. A line that New cannot be written into without changing
// how the file reads is left as it is, with a "*****" line, and its hit
// consumed too.
class ConfigRewriter {
  public:
    ConfigRewriter(std::vector<TReplaceHit>& hits,
                   std::string oldAddress,
                   std::string newAddress,
                   TConfigFormat format,
                   const TLogLine& log,
                   TEncodable encodable = {});
    // A file known only by its syntax: JSON, XML, or any other as it is.
    ConfigRewriter(std::vector<TReplaceHit>& hits,
                   std::string oldAddress,
                   std::string newAddress,
                   TTextSyntax syntax,
                   const TLogLine& log);
    void Rewrite(std::string& line);

  private:
    std::vector<TReplaceHit>& hits_;
    TConfigRewriter rewriter_;
    const TLogLine& log_;
};

}  // namespace movix
