#include "targets/config_files.h"

#include <algorithm>

#include "core/kinds.h"
#include "core/strings.h"
#include "targets/ini_lines.h"

namespace movix {

const char kDefaultConfigTypes[] =
    "json;xml;config;yaml;yml;toml;properties;cfg;conf;url;ini;bat;cmd;ps1";

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
    const std::string extension = ExtensionOf(name);
    if (extension == "JSON")
        return TTextSyntax::Json;
    static const char* const kXml[] = {"XML", "CONFIG", "MANIFEST", "XAML", "PROPS", "TARGETS", "CSPROJ", "VCXPROJ",
                                       "NUSPEC", "PLIST", "SETTINGS", "RESX"};
    for (const char* xml : kXml)
        if (extension == xml)
            return TTextSyntax::Xml;
    return TTextSyntax::Any;
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

std::string ConfigHitText(std::string_view line) {
    return std::string(TrimIni(line));
}

ConfigRewriter::ConfigRewriter(std::vector<TReplaceHit>& hits,
                               std::string oldAddress,
                               std::string newAddress,
                               TTextSyntax syntax,
                               const TLogLine& log)
    : hits_(hits), old_(std::move(oldAddress)), new_(std::move(newAddress)), syntax_(syntax), log_(log) {}

void ConfigRewriter::Rewrite(std::string& line) {
    if (hits_.empty())
        return;
    const std::string text = ConfigHitText(line);
    const auto hit = std::find_if(hits_.begin(), hits_.end(), [&text](const TReplaceHit& h) { return h.Text == text; });
    if (hit == hits_.end())
        return;
    const std::string rewritten = RewriteSpelled(line, old_, new_, {}, syntax_);
    if (rewritten == line)
        return;  // it no longer names Old: left to the "not found again" report
    hits_.erase(hit);
    log_("      config line: " + line);
    line = rewritten;
    log_("       changed to: " + line);
}

}  // namespace movix
