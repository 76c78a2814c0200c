// Fuzz target: configuration files rewritten in their syntax
// (targets/config_syntax.h). The input picks a New address from the pieces
// folder names are made of (every character Windows allows in one that
// matters to some format, blanks, letters of several scripts, characters
// beyond the BMP) and the Old address's form; every sample file of every
// format is rewritten from Old to New and read before and after by a reader
// of that format written apart from the rewriter (format_checkers.h). Each
// must hold:
//  - the rewritten file reads, with the same structure (the same shapes in
//    the same order);
//  - every value reads as the original's with each occurrence of Old
//    replaced by New (with the occurrence's separators; a file: URL compared
//    as the address it names), except on refused lines, which read as they
//    were;
//  - refused and unchanged lines are the original's bytes; the whole text
//    at once is what the line-by-line rewriter makes, with one reason per
//    refused line;
//  - the file holds only characters its encoding holds.
// Any failure aborts with the case printed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "format_checkers.h"
#include "targets/config_syntax.h"

namespace fc = format_checkers;
using movix::TConfigFormat;

namespace {

// clang-format off
// Pieces of folder names. A part ends where a piece index says so, trailing
// blanks and dots dropped (Windows drops them from names).
const char* const kPieces[] = {
    // Letters and digits.
    "Quill", "data", "A", "z", "9", "x.y", "-", "_",
    // Every ASCII character but letters and digits a name may hold.
    " ", "&", "'", "%", ";", "^", "$", "[", "]", "(", ")", "{", "}", ",", "=", "+", "#", "@", "!", "~", "`", ".",
    // Runs that some format reads as something else.
    "%PATH%", "%1", "%~dp0", "$env:TEMP", "$(x)", "${y}", "$$", "''", "'''", "--", "]]", "#{", " #", "- ", "& ",
    "&amp;", "&#65;", "@'", "=%", "^&", "^^", "!x!",
    // After a separator these spell escapes if the backslash is taken for one.
    "n", "t", "u0041", "U0001F600", "x41", "N", "L", "e", "0", "b", "f", "r", "'", "\xE2\x80\x98", "$x",
    // Blanks other than the space.
    "\xC2\xA0", "\xE3\x80\x80",
    // Letters of other scripts.
    "\xC3\xA9", "\xC3\x9F", "\xC3\xB1", "\xCE\xA9", "\xCE\xBB", "\xD0\x96", "\xD1\x8F", "\xE6\x97\xA5\xE6\x9C\xAC",
    "\xE7\xA7\xBB\xE5\x8B\x95", "\xED\x95\x9C", "\xD8\xB9", "\xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2",
    // Line breaks to YAML 1.1 (NEL, LS, PS) and PowerShell's curly quotes.
    "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\x99", "\xE2\x80\x9C", "\xE2\x80\x9D",
    // Beyond the BMP: an emoji, a musical symbol, a CJK extension B letter.
    "\xF0\x9F\x98\x80", "\xF0\x9D\x84\x9E", "\xF0\xA0\x80\x8B",
};
// clang-format on
constexpr std::size_t kPieceCount = sizeof kPieces / sizeof *kPieces;

const char* const kPrefixes[] = {"D:\\", "\\\\srv\\share\\", "e:\\", "D:\\Deep Folder\\"};

struct TOld {
    const char* plain;  // as Windows names it
    bool blank;         // holds a blank: samples with bare arguments cannot take it
};
const TOld kOlds[] = {{"C:\\QUILL", false}, {"C:\\Program Files\\Quill", true}};

// Sample files. In them {O} is Old as it is, {J} with its backslashes doubled,
// {S} with slashes, {U} with slashes and its blank as %20, {K} for a
// .properties key's value (C\: and doubled backslashes).
struct TSample {
    TConfigFormat format;
    const char* name;
    bool blankFree;  // only for an Old without a blank (a bare argument, or Old spelled out)
    const char* text;
};

const TSample kSamples[] = {
    {TConfigFormat::Json, "settings.json", false,
     "{\n"
     "  \"name\": \"Quill\",\n"
     "  \"version\": 3,\n"
     "  \"install\": {\n"
     "    \"home\": \"{J}\",\n"
     "    \"bin\": \"{J}\\\\bin\\\\quill.exe\",\n"
     "    \"data\": \"{S}/data\",\n"
     "    \"docs\": \"file:///{U}/docs/index.html\",\n"
     "    \"enabled\": true,\n"
     "    \"ratio\": -1.5e2,\n"
     "    \"nothing\": null\n"
     "  },\n"
     "  \"plugins\": [\n"
     "    {\"path\": \"{J}\\\\plugins\\\\a.dll\", \"order\": 1},\n"
     "    {\"path\": \"{S}/plugins/b.dll\", \"order\": 2}\n"
     "  ],\n"
     "  \"other\": \"C:\\\\QUILLER\\\\keep\",\n"
     "  \"both\": \"run {J}\\\\x.exe or {S}/y.exe\"\n"
     "}\n"},
    {TConfigFormat::Json, "compact.json", false,
     "{\"a\":[\"{J}\",\"{S}\\/x\",[\"{J}\\\\deep\"]],\"b\":{\"c\":\"{J}\\\\\\u0041.txt\",\"e\":[]},\"f\":{}}\r\n"},
    {TConfigFormat::Json, "escaped.json", true,
     "[\n  \"\\u0043:\\\\QUILL\\\\u.txt\",\n  \"C:\\u005cQUILL\\u005cv.txt\",\n  \"\\u00e9 {J}\\\\\\u00e9\"\n]"},
    {TConfigFormat::Xml, "app.config", false,
     "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
     "<!-- Quill configuration, installed in {O} -->\n"
     "<?quill-setup path=\"{O}\"?>\n"
     "<configuration>\n"
     "  <appSettings>\n"
     "    <add key=\"Home\" value=\"{O}\" />\n"
     "    <add key='Data' value='{O}\\data' />\n"
     "    <add key=\"Docs\" value=\"file:///{U}/docs/index.html\"/>\n"
     "    <add key=\"Multi\" value=\"first\n"
     "      {O}\\lib;{O}\\plugins\"/>\n"
     "  </appSettings>\n"
     "  <paths>\n"
     "    <path>{O}\\bin\\quill.exe</path>\n"
     "    <note>Tom &amp; Jerry in {O}\\notes</note>\n"
     "    <script><![CDATA[cd \"{O}\" && run {O}\\x.exe]]></script>\n"
     "    <other>C:\\QUILLER\\keep</other>\n"
     "  </paths>\n"
     "</configuration>\n"},
    {TConfigFormat::Xml, "quill.xml", false,
     "<settings xmlns:q='urn:quill'>\r\n"
     "\t<q:dir name='home' path='{O}' alt=\"{S}/alt\"/>\r\n"
     "\t<q:dir name='docs'>file:///{U}/docs</q:dir>\r\n"
     "\t<!-- {O}\\old -->\r\n"
     "\t<text>Line one\r\n{O}\\two\r\nthree &lt;{O}&gt;</text>\r\n"
     "</settings>"},
    {TConfigFormat::Xml, "refs.xml", true,
     "<a><b v=\"&#67;:\\QUILL\\x\">&#x43;:&#92;QUILL&#92;y</b><c><![CDATA[C:\\QUILL]]></c></a>\n"},
    {TConfigFormat::Toml, "quill.toml", false,
     "# Quill settings for {O}\n"
     "title = \"Quill\"\n"
     "\n"
     "[paths]\n"
     "home = \"{J}\"\n"
     "data = '{O}\\data'\n"
     "url = \"file:///{U}/docs\"\n"
     "script = \"\"\"\n"
     "cd {J}\n"
     "run {J}\\\\x.exe\"\"\"\n"
     "raw = '''\n"
     "{O}\\bin\n"
     "{O}\\lib'''\n"
     "list = [ \"{J}\\\\a\", '{O}\\b',  # first two\n"
     "  \"{S}/c\", ]\n"
     "count = 3\n"
     "enabled = true\n"
     "\n"
     "[plugins.extra]\n"
     "path = \"{J}\\\\plugins\" # in {O}\n"
     "other = 'C:\\QUILLER\\keep'\n"
     "\"quoted key\" = \"\"\"{J}\\\\q\"\"\"\n"},
    {TConfigFormat::Toml, "tools.toml", false,
     "[[tool]]\r\n"
     "name = \"a\"\r\n"
     "exe = '{O}\\a.exe'\r\n"
     "[[tool]]\r\n"
     "name = \"b\"\r\n"
     "exe = \"{J}\\\\b.exe\"\r\n"
     "args = [\"--root\", \"{S}\"]\r\n"},
    {TConfigFormat::Yaml, "quill.yaml", false,
     "# Quill settings {O}\n"
     "app:\n"
     "  home: {O}\n"
     "  data: '{O}\\data'\n"
     "  logs: \"{J}\\\\logs\"\n"
     "  url: file:///{U}/docs/index.html\n"
     "  plugins: [{O}\\plugins, '{O}\\extra', \"{J}\\\\more\"]\n"
     "  paths:\n"
     "    - {O}\\bin   # main\n"
     "    - '{O}\\lib'\n"
     "    - {S}/share\n"
     "  script: |\n"
     "    cd {O}\n"
     "    run {O}\\x.exe\n"
     "  other: C:\\QUILLER\\keep\n"
     "count: 3\n"},
    {TConfigFormat::Yaml, "list.yml", false,
     "---\n"
     "- {O}\\one\n"
     "- \"{J}\\\\two\"\n"
     "- [ '{O}', {S} ]\n"
     "- note: |-\n"
     "    kept in {O}\n"
     "\n"
     "    and {O}\\two\n"
     "  other: '{O}'\n"
     "- last\n"},
    {TConfigFormat::Properties, "quill.properties", false,
     "# Quill settings {O}\n"
     "! another comment {O}\n"
     "home={J}\n"
     "data = {J}\\\\data\n"
     "path:{J}\\\\p\n"
     "url=file:///{U}/docs\n"
     "multi=first;\\\n"
     "    {J}\\\\lib;\\\n"
     "    {J}\\\\plugins\n"
     "key\\ with\\ blanks = {J}\\\\x\n"
     "other=C:\\\\QUILLER\\\\keep\n"},
    // The value is C:\QUILL\x, its colon escaped as Java allows.
    {TConfigFormat::Properties, "colon.properties", false, "key2 = {K}\\\\x\n"},
    {TConfigFormat::Properties, "escaped.properties", true, "u=\\u0043:\\\\QUILL\\\\u\r\nv C:\\\\QUILL\r\n"},
    {TConfigFormat::Batch, "run.bat", true,
     "@echo off\r\n"
     "rem Quill launcher for {O}\r\n"
     "set QUILL_HOME={O}\r\n"
     "set \"QUILL_DATA={O}\\data\"\r\n"
     "cd /d {O}\\bin\r\n"
     "if exist {O}\\config.ini (\r\n"
     "    copy {O}\\config.ini \"%TEMP%\\quill.ini\" > nul\r\n"
     "    echo found\r\n"
     ")\r\n"
     "\"{O}\\quill.exe\" -a %*\r\n"
     "{O}\\quill.exe -a --log \"{O}\\logs\\q.log\"\r\n"
     "if not exist C:\\QUILLER\\keep echo no\r\n"},
    {TConfigFormat::Batch, "start.cmd", false,
     "@echo off\r\n"
     "setlocal\r\n"
     ":: started from {O}\r\n"
     "set \"QUILL={O}\"\r\n"
     "set QUILL_BIN={O}\\bin\r\n"
     "cd /d \"{O}\\bin\"\r\n"
     "if exist \"{O}\\x.ini\" (\r\n"
     "    start \"\" \"{O}\\x.exe\" /s\r\n"
     ") else (\r\n"
     "    \"{O}\\setup.exe\" & exit /b 1\r\n"
     ")\r\n"
     "%~dp0helper.exe \"{O}\"\r\n"},
    {TConfigFormat::PowerShell, "start.ps1", false,
     "# Quill launcher for {O}\n"
     "$quillHome = '{O}'\n"
     "$data = \"{O}\\data\"\n"
     "& '{O}\\quill.exe' -a\n"
     "& \"{O}\\bin\\x.exe\" --log \"{O}\\logs\"\n"
     "$text = @\"\n"
     "Installed in {O}\n"
     "Data in {O}\\data for $env:USERNAME\n"
     "\"@\n"
     "$lit = @'\n"
     "{O}\\raw\n"
     "'@\n"
     "<# block comment\n"
     "   {O} #>\n"
     "Write-Host \"done\" # {O}\n"},
    {TConfigFormat::PowerShell, "cd.ps1", true,
     "Set-Location {O}\\bin\r\nStart-Process -FilePath {O}\\x.exe -Wait\r\n"},
};

std::string Replace(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

std::string Slashed(std::string s) {
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

std::string SampleText(const TSample& sample, std::string_view old) {
    const std::string plain(old);
    std::string text = sample.text;
    text = Replace(text, "{O}", plain);
    text = Replace(text, "{J}", Replace(plain, "\\", "\\\\"));
    text = Replace(text, "{S}", Slashed(plain));
    text = Replace(text, "{U}", Replace(Slashed(plain), " ", "%20"));
    text = Replace(text, "{K}", Replace(Replace(plain, "\\", "\\\\"), ":", "\\:"));
    return text;
}

// ---------------------------------------------------------------------------
// What a value should read as after the rewrite.

bool IsNameByte(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || u >= 0x80 || c == '_' || c == '-' || c == '.' || c == '~' || c == '$';
}

// Old at `i` of `s`, as itself or with slashes, letter case aside, standing
// apart from the names around it. Its separator in `sep`.
bool OldAt(std::string_view s, std::size_t i, std::string_view old, char& sep) {
    if (i + old.size() > s.size() || (i > 0 && std::isalnum(static_cast<unsigned char>(s[i - 1]))))
        return false;
    sep = 0;
    for (std::size_t k = 0; k < old.size(); ++k) {
        const char a = s[i + k], b = old[k];
        if (b == '\\') {
            if (a != '\\' && a != '/')
                return false;
            if (sep && a != sep)
                return false;
            sep = a;
        } else if (std::toupper(static_cast<unsigned char>(a)) != std::toupper(static_cast<unsigned char>(b))) {
            return false;
        }
    }
    return i + old.size() == s.size() || !IsNameByte(s[i + old.size()]);
}

// The value with each occurrence of Old replaced by New, but where its line
// was refused.
std::string Expected(const fc::TValue& v,
                     std::string_view old,
                     std::string_view repl,
                     const std::vector<bool>& refused,
                     bool* held = nullptr) {
    std::string out;
    for (std::size_t i = 0; i < v.text.size();) {
        char sep = 0;
        if (OldAt(v.text, i, old, sep)) {
            if (held)
                *held = true;
            const int line = v.lines[i];
            if (line >= 0 && static_cast<std::size_t>(line) < refused.size() && refused[line]) {
                out.append(v.text, i, old.size());
            } else {
                out += sep == '/' ? Slashed(std::string(repl)) : std::string(repl);
            }
            i += old.size();
        } else {
            out += v.text[i++];
        }
    }
    return out;
}

// The address a file: URL names, read (with slashes; //server/share for a
// server's), or false where the URL is not well written: a blank, #, ?, a
// control character or a % without two hexadecimal digits left as it is.
bool UrlAddress(std::string_view url, std::string& address) {
    std::string_view rest = url.substr(5);
    std::string lower(rest.substr(0, 12));
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string prefix;
    if (lower.rfind("///", 0) == 0) {
        rest.remove_prefix(3);
    } else if (lower.rfind("//localhost/", 0) == 0) {
        rest.remove_prefix(12);
    } else if (lower.rfind("//", 0) == 0) {
        rest.remove_prefix(2);
        prefix = "//";
    } else {
        return false;
    }
    address = prefix;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(rest[i]);
        if (c <= 0x20 || c == '#' || c == '?' || c == 0x7F || c == '\\')
            return false;
        if (c == '%') {
            std::uint32_t b = 0;
            if (!fc::HexDigits(rest, i + 1, 2, b))
                return false;
            address += static_cast<char>(b);
            i += 2;
        } else {
            address += static_cast<char>(c);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------

std::string Shown(std::string_view s) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n\n    ";
        } else if (u >= 0x20 && u < 0x7F && c != '\\') {
            out += c;
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out += "\\x";
            out += digits[u >> 4];
            out += digits[u & 15];
        }
    }
    return out;
}

struct TCase {
    const TSample* sample;
    std::string old, repl, text, rewritten;
    std::vector<std::string> refusals;
};

// Faults already reported can be let pass for a long run, so that it looks
// for others: CONFIG_SYNTAX_FUZZ_KNOWN names them, separated by commas.
struct TKnownFault {
    const char* name;
    bool (*matches)(const TCase& c, const char* kind);
};
bool HoldsAny(std::string_view text, std::initializer_list<const char*> any) {
    for (const char* s : any)
        if (text.find(s) != std::string_view::npos)
            return true;
    return false;
}
const TKnownFault kKnownFaults[] = {
    // C\:\\QUILL in a .properties value is not found.
    {"escaped-colon",
     [](const TCase& c, const char* kind) {
         return std::string_view(c.sample->name) == "colon.properties" && std::string_view(kind) == "value";
     }},
    // Characters the encoding does not hold written where no escape serves.
    {"unencodable", [](const TCase&, const char* kind) { return std::string_view(kind) == "encoding"; }},
    // NEL, LS and PS written raw into YAML, which reads them as line breaks.
    {"yaml-line-breaks",
     [](const TCase& c, const char*) {
         return c.sample->format == TConfigFormat::Yaml &&
                HoldsAny(c.repl, {"\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"});
     }},
    // After "- key: |" and its block scalar, the entry's next key is taken
    // as still in the block scalar: its quoted value gets New's ' as is.
    {"yaml-block-in-entry",
     [](const TCase& c, const char*) {
         return std::string_view(c.sample->name) == "list.yml" && c.repl.find('\'') != std::string::npos;
     }},
    // New's curly single quotes not doubled where a bare argument is quoted
    // anew: PowerShell reads ’‘ in '...' as one quote, ’ alone as the end.
    {"ps-curly-quotes",
     [](const TCase& c, const char*) {
         return c.sample->format == TConfigFormat::PowerShell &&
                HoldsAny(c.repl, {"\xE2\x80\x98", "\xE2\x80\x99", "\xE2\x80\x9C", "\xE2\x80\x9D"});
     }},
};

bool Known(const TCase& c, const char* kind) {
    static const std::string known = [] {
        const char* env = std::getenv("CONFIG_SYNTAX_FUZZ_KNOWN");
        return "," + std::string(env ? env : "") + ",";
    }();
    for (const TKnownFault& fault : kKnownFaults)
        if (known.find("," + std::string(fault.name) + ",") != std::string::npos && fault.matches(c, kind))
            return true;
    return false;
}

// Aborts with the case printed, unless the fault is a known one let pass;
// the caller then leaves the sample.
void Fault(const TCase& c, const char* kind, const std::string& what) {
    if (Known(c, kind))
        return;
    std::fprintf(stderr,
                 "config syntax fuzz: %s\n  sample: %s\n  old:    %s\n  new:    %s\n  refusals: %zu\n"
                 "  text:\n    %s\n  rewritten:\n    %s\n",
                 what.c_str(), c.sample->name, Shown(c.old).c_str(), Shown(c.repl).c_str(), c.refusals.size(),
                 Shown(c.text).c_str(), Shown(c.rewritten).c_str());
    for (const auto& r : c.refusals)
        std::fprintf(stderr, "  refused: %s\n", r.c_str());
    std::abort();
}

fc::TReading ReadAs(TConfigFormat format, std::string_view text) {
    switch (format) {
        case TConfigFormat::Json:
            return fc::TJsonReader(text).Read();
        case TConfigFormat::Xml:
            return fc::TXmlReader(text).Read();
        case TConfigFormat::Toml:
            return fc::TTomlReader(text).Read();
        case TConfigFormat::Yaml:
            return fc::TYamlReader(text).Read();
        case TConfigFormat::Properties:
            return fc::TPropertiesReader(text).Read();
        case TConfigFormat::Batch:
            return fc::TBatchReader(text).Read();
        case TConfigFormat::PowerShell:
            return fc::TPowerShellReader(text).Read();
        default:
            return {};
    }
}

// The file's lines, each with its end.
std::vector<std::pair<std::string, std::string>> SplitLines(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size()) {
            if (i > start)
                lines.emplace_back(std::string(text.substr(start)), "");
            break;
        }
        if (text[i] == '\n' || text[i] == '\r') {
            const std::size_t end = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
            lines.emplace_back(std::string(text.substr(start, i - start)), std::string(text.substr(i, end)));
            i += end - 1;
            start = i + 1;
        }
    }
    return lines;
}

// What each file's encoding holds: UTF-8 everything; .properties
// ISO-8859-1; a batch file's OEM code page (taken as Latin-1's letters
// here); a PowerShell script without a mark and an XML file declared ASCII
// only ASCII.
bool Holds(TConfigFormat format, bool narrow, std::string_view ch) {
    std::size_t n = 0;
    const std::uint32_t c = fc::DecodeUtf8(ch, 0, n);
    switch (format) {
        case TConfigFormat::Properties:
        case TConfigFormat::Batch:
            return c < 0x100;
        case TConfigFormat::PowerShell:
        case TConfigFormat::Xml:
            return !narrow || c < 0x80;
        default:
            return true;
    }
}

void Check(const TSample& sample, const std::string& old, const std::string& repl, bool narrow) {
    TCase c;
    c.sample = &sample;
    c.old = old;
    c.repl = repl;
    c.text = SampleText(sample, old);
    const TConfigFormat format = sample.format;
    const movix::TEncodable encodable = [format, narrow](std::string_view ch) { return Holds(format, narrow, ch); };
    if (sample.format == TConfigFormat::Xml && narrow)
        c.text = Replace(c.text, "encoding=\"utf-8\"", "encoding=\"us-ascii\"");

    const fc::TReading before = ReadAs(format, c.text);
    if (!before.ok)
        return Fault(c, "sample", "the sample does not read: " + before.error);

    c.rewritten = movix::RewriteConfigText(format, c.text, old, repl, &c.refusals, encodable);

    // The same, line by line, to learn which lines were refused.
    const auto lines = SplitLines(c.text);
    std::vector<bool> refused(lines.size(), false);
    std::string joined;
    std::size_t refusedCount = 0;
    {
        movix::TConfigRewriter rewriter(format, old, repl, encodable);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string line = lines[i].first;
            std::string why;
            const auto outcome = rewriter.Line(line, true, &why);
            if (outcome == movix::TConfigRewriter::Outcome::Refused) {
                refused[i] = true;
                ++refusedCount;
                if (why.empty())
                    return Fault(c, "lines", "a line refused without a reason: " + lines[i].first);
            }
            if (outcome != movix::TConfigRewriter::Outcome::Rewritten && line != lines[i].first)
                return Fault(c, "lines", "a line not rewritten changed: " + lines[i].first + " -> " + line);
            joined += line + lines[i].second;
        }
    }
    if (joined != c.rewritten)
        return Fault(c, "lines", "the whole text differs from the line-by-line rewrite:\n    " + Shown(joined));
    if (refusedCount != c.refusals.size())
        return Fault(c, "lines",
                     "refusals given: " + std::to_string(c.refusals.size()) +
                         ", lines refused: " + std::to_string(refusedCount));

    for (std::size_t i = 0; i < c.rewritten.size();) {
        std::size_t n = 0;
        if (fc::DecodeUtf8(c.rewritten, i, n) == 0xFFFFFFFF)
            return Fault(c, "utf8", "malformed UTF-8 at offset " + std::to_string(i));
        if (!encodable(std::string_view(c.rewritten).substr(i, n)))
            return Fault(c, "encoding", "a character the encoding does not hold at offset " + std::to_string(i));
        i += n;
    }

    const fc::TReading after = ReadAs(format, c.rewritten);
    if (!after.ok)
        return Fault(c, "unreadable", "the rewritten file does not read: " + after.error);
    if (after.items.size() != before.items.size())
        return Fault(
            c, "structure",
            "items before: " + std::to_string(before.items.size()) + ", after: " + std::to_string(after.items.size()));
    bool rewrittenAny = false;
    for (std::size_t i = 0; i < before.items.size(); ++i) {
        const fc::TItem& was = before.items[i];
        const fc::TItem& is = after.items[i];
        if (was.shape != is.shape)
            return Fault(c, "structure",
                         "item " + std::to_string(i) + " was " + Shown(was.shape) + ", is " + Shown(is.shape));
        bool held = false;
        if (was.url) {
            std::string address, got;
            if (!UrlAddress(was.value.text, address))
                return Fault(c, "sample", "a sample URL that does not read: " + was.value.text);
            fc::TValue v;
            v.Add(address, was.value.lines.empty() ? 0 : was.value.lines[0]);
            const std::string want = Expected(v, old, repl, refused, &held);
            if (!UrlAddress(is.value.text, got) || got != want)
                return Fault(c, "value",
                             "URL " + Shown(was.shape) + " reads " + Shown(is.value.text) + ", not " + Shown(want));
        } else {
            const std::string want = Expected(was.value, old, repl, refused, &held);
            if (is.value.text != want)
                return Fault(c, "value",
                             "value " + Shown(was.shape) + " reads\n    " + Shown(is.value.text) + "\n  not\n    " +
                                 Shown(want));
        }
        rewrittenAny = rewrittenAny || held;
    }
    if (!rewrittenAny)
        return Fault(c, "sample", "the sample holds no Old its reader sees");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const TOld& old = kOlds[data[0] & 1];
    const bool narrow = (data[0] & 2) != 0;
    std::string repl = kPrefixes[(data[0] >> 2) & 3];
    // Parts: a byte below 16 starts the next one; at most 6 parts of 8 pieces.
    std::vector<std::string> parts(1);
    for (std::size_t i = 1; i < size && parts.size() <= 6; ++i) {
        if (data[i] < 16) {
            parts.emplace_back();
        } else if (parts.back().size() < 64) {
            parts.back() += kPieces[(data[i] - 16) % kPieceCount];
        }
    }
    for (std::size_t k = 0; k < parts.size(); ++k) {
        std::string& part = parts[k];
        while (!part.empty() && (part.back() == ' ' || part.back() == '.'))
            part.pop_back();
        if (part.empty())
            part = "x";
        repl += (k ? "\\" : "") + part;
    }
    for (const TSample& sample : kSamples) {
        if (sample.blankFree && old.blank)
            continue;
        Check(sample, old.plain, repl, narrow);
    }
    return 0;
}
