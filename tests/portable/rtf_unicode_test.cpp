// The saved list in every script: each character above 127 is a Unicode
// escape with a fallback, and a reader of RTF gets the letters back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/found_items.h"
#include "engine/rtf_report.h"
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace movix;

namespace {

TEST(RtfUnicode, EscapesEveryCharacterAbove127) {
    const struct {
        const char* text;
        const char* rtf;
    } cases[] = {
        {"\xD0\xAF", "\\u1071\\'3f"},                         // Я
        {"\xCE\xA9x", "\\u937\\'3fx"},                        // Ω
        {"\xE6\x97\xA5", "\\u26085\\'3f"},                    // 日
        {"\xEF\xA3\xBF", "\\u-1793\\'3f"},                    // U+F8FF: above 32767, negative
        {"\xF0\x9F\x98\x83", "\\u-10179\\'3f\\u-8701\\'3f"},  // U+1F603: two surrogates
        {"C:\\{\xC3\xA9}", "C:\\\\\\{\\u233\\'3f\\}"},        // é among escaped marks
        {"\xE9t\xE9", "\\'e9t\\'e9"},                         // bytes that are no UTF-8
        {"\xE6\x97", "\\'e6\\'97"},                           // a character cut short
    };
    for (const auto& c : cases)
        EXPECT_EQ(RtfEscape(c.text), c.rtf) << c.text;
}

#ifndef _WIN32
// unrtf's plain text output with every Unicode character as &#N; so that the
// test sees which characters it read, whatever its own character maps hold.
std::string UnrtfCodes(const std::string& rtfPath, const std::string& folder) {
    {
        std::ifstream in("/usr/share/unrtf/text.conf", std::ios::binary);
        std::ofstream out(folder + "/codes.conf", std::ios::binary);
        out << in.rdbuf() << "unisymbol_print\n\t&#%;\n";
    }
    FILE* pipe = popen(("/usr/bin/unrtf -P '" + folder + "' -t codes '" + rtfPath + "' 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return std::string();
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, got);
    pclose(pipe);
    return text;
}

void AppendUtf8(std::string& out, unsigned long c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The &#N; of unrtf's output as UTF-8, a surrogate pair as its character.
std::string DecodeCodes(const std::string& text) {
    std::string out;
    unsigned long high = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "&#") == 0) {
            const std::size_t end = text.find(';', i);
            unsigned long c = std::strtoul(text.substr(i + 2, end - i - 2).c_str(), nullptr, 10);
            i = end + 1;
            if (c >= 0xD800 && c <= 0xDBFF) {
                high = c;
                continue;
            }
            if (c >= 0xDC00 && c <= 0xDFFF && high != 0)
                c = 0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00);
            high = 0;
            AppendUtf8(out, c);
            continue;
        }
        out += text[i++];
    }
    return out;
}
#endif

#ifndef _WIN32
const std::vector<std::string> kTexts = {
    "C:\\Программы\\Редактор",
    "C:\\Προγράμματα",
    "C:\\プログラム\\日本語",
    "C:\\Ünïcødé Prøgrâm",
    "C:\\Mus\xF0\x9F\x8E\xB5ic \xF0\x90\x90\x80",
};

// A list of a row for each text, saved as RTF in a folder of its own.
std::string SaveList(const std::string& folder) {
    std::vector<TFoundItem> rows;
    for (const std::string& t : kTexts) {
        TFoundItem row;
        row.Item = "Настройки.ini";
        row.Path = t;
        row.Kind = KindIni;
        row.SubType = 6;
        row.Context = "exe=" + t + "\\run.exe";
        rows.push_back(row);
    }
    mkdir(folder.c_str(), 0700);
    const std::string path = folder + "/list.rtf";
    std::ofstream out(path, std::ios::binary);
    out << FoundListRtf(kTexts[0], rows);
    return path;
}
#endif

TEST(RtfUnicode, UnrtfReadsTheLettersOfEveryScriptBack) {
#ifdef _WIN32
    GTEST_SKIP() << "unrtf runs on the build machine only";
#else
    if (access("/usr/bin/unrtf", X_OK) != 0)
        GTEST_SKIP() << "unrtf is not installed";
    const std::string folder = testing::TempDir() + "movix_rtf_unicode_" + std::to_string(getpid());
    const std::string path = SaveList(folder);
    std::ifstream saved(path, std::ios::binary);
    const std::string rtf((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    for (char c : rtf)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "RTF is 7-bit text";
    const std::string text = DecodeCodes(UnrtfCodes(path, folder));
    std::remove(path.c_str());
    std::remove((folder + "/codes.conf").c_str());
    rmdir(folder.c_str());
    for (const std::string& t : kTexts) {
        EXPECT_NE(text.find("exe=" + t + "\\run.exe"), std::string::npos) << t << "\n" << text;
        // (unrtf may put a cell's end after a long run of escapes; the
        // letters are what count)
        EXPECT_NE(text.find("Настройки"), std::string::npos);
    }
#endif
}

TEST(RtfUnicode, LibreOfficeReadsTheLettersOfEveryScriptBack) {
#ifdef _WIN32
    GTEST_SKIP() << "LibreOffice runs on the build machine only";
#else
    if (access("/usr/bin/soffice", X_OK) != 0)
        GTEST_SKIP() << "LibreOffice is not installed";
    const std::string folder = testing::TempDir() + "movix_rtf_office_" + std::to_string(getpid());
    const std::string path = SaveList(folder);
    // A profile of its own, so that no user's settings or lock stand in the way.
    const std::string command = "cd '" + folder + "' && /usr/bin/soffice -env:UserInstallation=file://" + folder +
                                "/profile --headless --convert-to 'txt:Text (encoded):UTF8' --outdir '" + folder +
                                "' '" + path + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(folder + "/list.txt", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::system(("rm -rf '" + folder + "'").c_str());
    for (const std::string& t : kTexts) {
        EXPECT_NE(text.find("exe=" + t + "\\run.exe"), std::string::npos) << t << "\n" << text;
        EXPECT_NE(text.find(t), std::string::npos) << t;
    }
    EXPECT_NE(text.find("Настройки.ini"), std::string::npos);
#endif
}

}  // namespace
