// Rewrites configuration files from Old to New as the replacer does
// (targets/config_syntax.h), for readers outside the program to check:
//
//   movix_config_rewrite OLD NEW FORMAT IN OUT [FORMAT IN OUT ...]
//
// FORMAT is json, xml, yaml, toml, properties, batch or powershell; each
// file is UTF-8 and every character counts as one its encoding holds. OUT
// gets RewriteConfigText's text; each refused line is printed as
// "refused IN N: why" (N from 1).
#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "targets/config_syntax.h"

using movix::TConfigFormat;

namespace {

bool Rewrite(TConfigFormat format,
             const std::string& old,
             const std::string& repl,
             const char* inPath,
             const char* outPath) {
    std::ifstream in(inPath, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << inPath << "\n";
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> refusals;
    const std::string out = movix::RewriteConfigText(format, text, old, repl, &refusals);

    // Which lines were refused: the same rewrite, line by line.
    movix::TConfigRewriter rewriter(format, old, repl);
    std::size_t start = 0, number = 1;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start), why;
        if (rewriter.Line(line, true, &why) == movix::TConfigRewriter::Outcome::Refused)
            std::cout << "refused " << inPath << " " << number << ": " << why << "\n";
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++number;
    }
    std::ofstream file(outPath, std::ios::binary);
    file << out;
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    static const struct {
        const char* name;
        TConfigFormat format;
    } kFormats[] = {{"json", TConfigFormat::Json},
                    {"xml", TConfigFormat::Xml},
                    {"yaml", TConfigFormat::Yaml},
                    {"toml", TConfigFormat::Toml},
                    {"properties", TConfigFormat::Properties},
                    {"batch", TConfigFormat::Batch},
                    {"powershell", TConfigFormat::PowerShell}};
    if (argc < 6 || (argc - 3) % 3 != 0) {
        std::cerr << "usage: movix_config_rewrite OLD NEW FORMAT IN OUT [FORMAT IN OUT ...]\n";
        return 2;
    }
    for (int i = 3; i < argc; i += 3) {
        const auto* format = std::find_if(std::begin(kFormats), std::end(kFormats),
                                          [&](const auto& f) { return std::string(f.name) == argv[i]; });
        if (format == std::end(kFormats)) {
            std::cerr << "unknown format: " << argv[i] << "\n";
            return 2;
        }
        if (!Rewrite(format->format, argv[1], argv[2], argv[i + 1], argv[i + 2]))
            return 1;
    }
    return 0;
}
