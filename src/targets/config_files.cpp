#include "targets/config_files.h"

#include <algorithm>

#include "core/found_items.h"
#include "core/kinds.h"
#include "core/strings.h"
#include "targets/ini_lines.h"

namespace movix {

const char kDefaultConfigTypes[] = "json;xml;config;yaml;yml;toml;properties;cfg;conf;url;ini;bat;cmd;ps1";

std::vector<std::string> ParseConfigTypes(std::string_view list) {
    std::vector<std::string> types;
    while (!list.empty()) {
        const std::size_t end = std::min(list.find(';'), list.size());
        std::string_view entry = list.substr(0, end);
        list.remove_prefix(end < list.size() ? end + 1 : end);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.remove_suffix(1);
        while (!entry.empty() && entry.front() == '.')
            entry.remove_prefix(1);
        if (entry.empty())
            continue;
        std::string type = UpperAscii(entry);
        if (std::find(types.begin(), types.end(), type) == types.end())
            types.push_back(std::move(type));
    }
    return types;
}

namespace {

// The extension of a name, upper-cased, without its dot; empty when none.
std::string ExtensionOf(std::string_view name) {
    const std::size_t dot = name.find_last_of(".\\/");
    if (dot == std::string_view::npos || name[dot] != '.')
        return std::string();
    return UpperAscii(name.substr(dot + 1));
}

}  // namespace

bool HasConfigType(std::string_view name, const std::vector<std::string>& types) {
    const std::string extension = ExtensionOf(name);
    return !extension.empty() && std::find(types.begin(), types.end(), extension) != types.end();
}

TTextSyntax ConfigSyntaxOf(std::string_view name) {
    return SyntaxOfFormat(ConfigFormatOf(name));
}

bool LooksBinary(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return false;
    return bytes.find('\0') != std::string_view::npos;
}

int ConfigLineSubType(std::string_view line, std::string_view oldAddress, TTextSyntax syntax) {
    const std::vector<TSpelledOccurrence> found = FindSpelledOccurrences(line, oldAddress, syntax);
    if (found.empty())
        return 0;
    return kSubTypeSpellingFirst + static_cast<int>(found.front().spelling);
}

namespace {

bool LineRefused(std::string_view fileName, std::string_view line, std::string_view oldAddr, std::string_view newAddr) {
    TConfigRewriter rewriter(ConfigFormatOf(fileName), std::string(oldAddr), std::string(newAddr));
    std::string text(line);
    return rewriter.Line(text, true) == TConfigRewriter::Outcome::Refused;
}

// The rows of configuration lines are judged by the files' own rule.
const bool g_lineRuleInstalled = (SetConfigLineRefusal(&LineRefused), true);

}  // namespace

std::string ConfigHitText(std::string_view line) {
    return std::string(TrimIni(line));
}

ConfigRewriter::ConfigRewriter(std::vector<TReplaceHit>& hits,
                               std::string oldAddress,
                               std::string newAddress,
                               TConfigFormat format,
                               const TLogLine& log,
                               TEncodable encodable)
    : hits_(hits), rewriter_(format, std::move(oldAddress), std::move(newAddress), std::move(encodable)), log_(log) {}

namespace {

TConfigFormat FormatOfSyntax(TTextSyntax syntax) {
    return syntax == TTextSyntax::Json  ? TConfigFormat::Json
           : syntax == TTextSyntax::Xml ? TConfigFormat::Xml
                                        : TConfigFormat::Other;
}

}  // namespace

ConfigRewriter::ConfigRewriter(std::vector<TReplaceHit>& hits,
                               std::string oldAddress,
                               std::string newAddress,
                               TTextSyntax syntax,
                               const TLogLine& log)
    : ConfigRewriter(hits, std::move(oldAddress), std::move(newAddress), FormatOfSyntax(syntax), log) {}

void ConfigRewriter::Rewrite(std::string& line) {
    const auto hit = hits_.empty()
                         ? hits_.end()
                         : std::find_if(hits_.begin(), hits_.end(),
                                        [text = ConfigHitText(line)](const TReplaceHit& h) { return h.Text == text; });
    if (hit == hits_.end()) {
        rewriter_.Line(line, false);
        return;
    }
    const std::string before = line;
    std::string why;
    switch (rewriter_.Line(line, true, &why)) {
        case TConfigRewriter::Outcome::Unchanged:
            return;  // it no longer names Old: left to the "not found again" report
        case TConfigRewriter::Outcome::Refused:
            hits_.erase(hit);
            log_("***** Left as it is, since " + why + ": " + ConfigHitText(before));
            return;
        case TConfigRewriter::Outcome::Rewritten:
            break;
    }
    hits_.erase(hit);
    log_("      config line: " + before);
    log_("       changed to: " + line);
}

}  // namespace movix
