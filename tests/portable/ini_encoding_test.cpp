#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "targets/ini_encoding.h"

using namespace movix;

namespace {

// A stand-in ANSI code page: ASCII, and 0xFC for ü; every other byte and
// character unknown.
const IniCodePage kTiny{
    [](std::string_view bytes, std::string& text) {
        text.clear();
        for (const char c : bytes) {
            if (static_cast<unsigned char>(c) == 0xFC)
                text += "\xC3\xBC";
            else if (static_cast<unsigned char>(c) < 0x80)
                text += c;
            else
                return false;
        }
        return true;
    },
    [](std::string_view text, std::string& bytes) {
        bytes.clear();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text.compare(i, 2, "\xC3\xBC") == 0) {
                bytes += '\xFC';
                ++i;
            } else if (static_cast<unsigned char>(text[i]) < 0x80) {
                bytes += text[i];
            } else {
                return false;
            }
        }
        return true;
    }};

// ASCII text as UTF-16 LE.
std::string Widened(const std::string& ascii) {
    std::string wide;
    for (const char c : ascii)
        wide += std::string{c, '\0'};
    return wide;
}

}  // namespace

TEST(IniEncoding, FileWithoutAMarkIsUtf8OnlyOnEvidenceInTheWholeFile) {
    const std::string far(70000, 'x');
    const struct {
        std::string bytes;
        IniEncoding expected;
    } cases[] = {
        {"", IniEncoding::Ansi},
        {"a=C:\\OLD\r\n", IniEncoding::Ansi},
        {"a=B\xFC" "cher\r\n", IniEncoding::Ansi},
        {"a=B\xC3\xBC" "cher\r\n", IniEncoding::Utf8},
        {"a=B\xC3\xBC" + far + "\xFC", IniEncoding::Ansi},  // no longer UTF-8 after 64 KB
        {"a=B\xC3", IniEncoding::Ansi},                     // a cut character at the end
        {"a=\xE0\x80\x80", IniEncoding::Ansi},              // an overlong form
        {"a=\xED\xA0\x80", IniEncoding::Ansi},              // a surrogate
        {"\xEF\xBB\xBF" "a=\xFC", IniEncoding::Utf8Bom},
        {"\xFF\xFE" "a\0", IniEncoding::Utf16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 16));
        EXPECT_EQ(SniffIniEncoding(c.bytes), c.expected);
    }
}

TEST(IniEncoding, NewIsWrittenInTheFilesOwnEncodingOrNotAtAll) {
    const struct {
        const char* what;
        std::string before;
        std::string hit;
        const char* newAddress;
        IniRewriteResult result;
        std::string after;
        const char* changeLogged;
    } cases[] = {
        {"ANSI", "[S]\r\nP=C:\\OLD\r\n", "[S]P=C:\\OLD", "D:\\B\xC3\xBC", IniRewriteResult::Done, "[S]\r\nP=D:\\B\xFC\r\n",
         "       changed to: P=D:\\B\xC3\xBC"},
        {"ANSI without the letter", "[S]\r\nP=C:\\OLD\r\n", "[S]P=C:\\OLD", "D:\\\xD0\x96", IniRewriteResult::Unwritable, "", nullptr},
        // A byte the code page does not know: the file is kept as bytes, New
        // still goes in in the code page, and the log shows the line readably.
        {"bytes", "[S]\r\n;\x80\r\nP=C:\\OLD\r\n", "[S]P=C:\\OLD", "D:\\B\xC3\xBC", IniRewriteResult::Done,
         "[S]\r\n;\x80\r\nP=D:\\B\xFC\r\n", "       changed to: P=D:\\B\xC3\xBC"},
        {"UTF-8", "[\xC3\xBC]\r\nP=C:\\OLD\r\n", "[\xC3\xBC]P=C:\\OLD", "D:\\\xD0\x96", IniRewriteResult::Done,
         "[\xC3\xBC]\r\nP=D:\\\xD0\x96\r\n", "       changed to: P=D:\\\xD0\x96"},
        {"UTF-16", "\xFF\xFE" + Widened("[S]\r\nP=C:\\OLD"), "[S]P=C:\\OLD", "D:\\\xD0\x96",
         IniRewriteResult::Done, "\xFF\xFE" + Widened("[S]\r\nP=D:\\") + std::string("\x16\x04", 2),
         "       changed to: P=D:\\\xD0\x96"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<TReplaceHit> hits = {{c.hit, 6}};
        std::size_t at = 0;
        const auto read = [&c, &at](char* buffer, std::size_t capacity) -> long long {
            const std::size_t n = std::min(capacity, c.before.size() - at);
            std::memcpy(buffer, c.before.data() + at, n);
            at += n;
            return static_cast<long long>(n);
        };
        std::string out;
        std::vector<std::string> log;
        const IniRewriteResult r = RewriteIniFile(
            read,
            [&out](std::string_view s) {
                out.append(s.data(), s.size());
                return true;
            },
            hits, "C:\\OLD", c.newAddress, [](const std::string& a, const std::string& b) { return a == b; },
            [&log](const std::string& l) { log.push_back(l); }, kTiny);
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(out, c.after);
        if (c.changeLogged) {
            ASSERT_EQ(log.size(), 2u);
            EXPECT_EQ(log[1], c.changeLogged);
        } else {
            EXPECT_TRUE(log.empty());
        }
    }
}
