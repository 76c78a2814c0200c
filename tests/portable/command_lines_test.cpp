// The Old address rewritten in a command line keeps every argument the
// program receives, with New in place of Old: proved against a splitter of
// the test's own, written from the documented rules of CommandLineToArgvW.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/command_lines.h"
#include "core/strings.h"

using namespace movix;

namespace {

// argv as the program receives it.
std::vector<std::string> Split(const std::string& line, TCommandLineForm form) {
    std::vector<std::string> argv;
    std::size_t i = 0;
    const std::size_t n = line.size();
    if (form == TCommandLineForm::WithProgram) {
        std::string program;
        if (n > 0 && line[0] == '"') {
            for (i = 1; i < n && line[i] != '"'; ++i)
                program += line[i];
            if (i < n)
                ++i;
        } else {
            for (; i < n && line[i] != ' ' && line[i] != '\t'; ++i)
                program += line[i];
        }
        argv.push_back(program);
    }
    for (;;) {
        while (i < n && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == n)
            return argv;
        std::string arg;
        bool inQuotes = false;
        while (i < n && (inQuotes || (line[i] != ' ' && line[i] != '\t'))) {
            std::size_t slashes = 0;
            while (i < n && line[i] == '\\')
                ++slashes, ++i;
            if (i < n && line[i] == '"') {
                arg.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    arg += '"';
                } else if (inQuotes && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    ++i;
                } else {
                    inQuotes = !inQuotes;
                }
                ++i;
            } else if (slashes > 0) {
                arg.append(slashes, '\\');
            } else if (i < n) {
                arg += line[i++];
            }
        }
        argv.push_back(arg);
    }
}

std::vector<std::string> Substituted(std::vector<std::string> argv,
                                     const std::string& oldAddr,
                                     const std::string& newAddr) {
    for (std::string& arg : argv)
        ReplaceAllText(arg, oldAddr, newAddr);
    return argv;
}

constexpr auto kProgram = TCommandLineForm::WithProgram;
constexpr auto kArguments = TCommandLineForm::ArgumentsOnly;

TEST(CommandLines, RewrittenLinesAreQuotedWhereNewWouldPartAnArgument) {
    const std::string mueller = "C:\\Program Files\\M\xC3\xBCller Tools";
    const struct {
        const char* line;
        const char* oldAddr;
        std::string newAddr;
        TCommandLineForm form;
        std::optional<std::string> after;
        bool argumentsKept = true;
    } cases[] = {
        // A service's binary path and a Run value: the program's name goes in quotes.
        {"C:\\QUILL\\quillsvc.exe -run", "C:\\QUILL", mueller, kProgram, "\"" + mueller + "\\quillsvc.exe\" -run"},
        {"C:\\QUILL\\quill.exe -tray", "C:\\QUILL", mueller, kProgram, "\"" + mueller + "\\quill.exe\" -tray"},
        {"C:\\QUILL\\quill.exe", "C:\\QUILL", mueller, kProgram, "\"" + mueller + "\\quill.exe\""},
        // Already in quotes: nothing added.
        {"\"C:\\QUILL\\quill.exe\" -tray", "C:\\QUILL", mueller, kProgram, "\"" + mueller + "\\quill.exe\" -tray"},
        {"\"C:\\QUILL\\q.exe\" \"C:\\QUILL\\a b.txt\"", "C:\\QUILL", "D:\\A B", kProgram,
         "\"D:\\A B\\q.exe\" \"D:\\A B\\a b.txt\""},
        // An argument, at its start or in its middle, goes in quotes whole.
        {"rundll32.exe C:\\QUILL\\q.dll,Run /x", "C:\\QUILL", "D:\\A B", kProgram,
         "rundll32.exe \"D:\\A B\\q.dll,Run\" /x"},
        {"q.exe --dir=C:\\QUILL\\data -v", "C:\\QUILL", "D:\\A B", kProgram, "q.exe \"--dir=D:\\A B\\data\" -v"},
        {"--dir=C:\\QUILL\\data -v", "C:\\QUILL", "D:\\A B", kArguments, "\"--dir=D:\\A B\\data\" -v"},
        {"-s\tC:\\QUILL", "C:\\QUILL", "D:\\A\tB", kArguments, "-s\t\"D:\\A\tB\""},
        // Backslashes before a closing quote added, or before one there, are doubled.
        {"/out C:\\QUILL\\", "C:\\QUILL", "D:\\A B", kArguments, "/out \"D:\\A B\\\\\""},
        {"/out C:\\QUILL", "C:\\QUILL", "D:\\A B\\", kArguments, "/out \"D:\\A B\\\\\""},
        {"/out \"C:\\QUILL\" x", "C:\\QUILL", "D:\\", kArguments, "/out \"D:\\\\\" x"},
        {"/out C:\\QUILL\" x\"", "C:\\QUILL", "D:\\", kArguments, "/out D:\\\\\" x\""},
        // The program's name has no escapes.
        {"C:\\QUILL -x", "C:\\QUILL", "D:\\A B\\", kProgram, "\"D:\\A B\\\" -x"},
        {"\"C:\\QUILL\" -x", "C:\\QUILL", "D:\\", kProgram, "\"D:\\\" -x"},
        // No blank in New: nothing added.
        {"C:\\QUILL\\quillsvc.exe -run", "C:\\QUILL", "D:\\Apps\\Quill", kProgram,
         "D:\\Apps\\Quill\\quillsvc.exe -run"},
        // Old with a blank, unquoted: the program's name as the system found it
        // (CreateProcess tries the longer names), no longer in two pieces.
        {"C:\\Program Files\\Quill\\q.exe -run", "C:\\Program Files\\Quill", "D:\\My Apps", kProgram,
         "\"D:\\My Apps\\q.exe\" -run", false},
        {"q.exe /log=c:\\acme tools\\log", "C:\\Acme Tools", "D:\\Moved\\Acme Tools", kProgram,
         "q.exe /log=D:\\Moved\\Acme Tools\\log", false},
        // Not a longer name; no Old at all.
        {"C:\\QUILLS\\q.exe -run", "C:\\QUILL", "D:\\A B", kProgram, "C:\\QUILLS\\q.exe -run"},
        // What cannot keep its arguments is left to the caller to refuse.
        {"q.exe --dir=C:\\QUILL\\\"x y\"", "C:\\QUILL", "D:\\A B", kProgram, std::nullopt},
        {"C:\\QUILL\\q.exe", "C:\\QUILL", "D:\\A\"B", kProgram, std::nullopt},
        {"/out \"C:\\QUILL\\\" x", "C:\\QUILL\\", "D:\\A", kArguments, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<std::string> after = RewriteCommandLine(c.line, c.oldAddr, c.newAddr, c.form);
        EXPECT_EQ(after, c.after) << c.line << " -> " << c.newAddr;
        if (after && c.argumentsKept) {
            EXPECT_EQ(Split(*after, c.form), Substituted(Split(c.line, c.form), c.oldAddr, c.newAddr)) << c.line;
        }
    }
}

TEST(CommandLines, EveryArgumentIsKeptWithNewInPlaceOfOld) {
    std::mt19937 random(30);
    const auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const std::string olds[] = {"C:\\QUILL", "C:\\Program Files\\Quill"};
    const std::string news[] = {"C:\\Program Files\\M\xC3\xBCller Tools",
                                "D:\\A B\\",
                                "D:\\",
                                "E:\\x\ty",
                                "D:\\Apps\\Quill",
                                "\\\\srv\\s h\\q"};
    // Pieces of argument values. After Old comes the end of the value, a
    // backslash or a blank: the same occurrences count in the line and in
    // the value.
    const std::string pieces[] = {"\\bin", "\\q.exe", "\\",     "\\\\", " x",   "-run",        "--dir=",
                                  "/o:",   "say\"hi", "a\\\"b", "data", ",Run", "\xE2\x82\xAC"};
    int rewritten = 0, checked = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string& oldAddr = olds[pick(2)];
        const std::string& newAddr = news[pick(6)];
        const TCommandLineForm form = pick(2) == 0 ? kProgram : kArguments;
        std::string line;
        bool mayRefuse = false;
        const std::size_t count = 1 + pick(4);
        for (std::size_t a = 0; a < count; ++a) {
            std::string value;
            bool holdsOld = false;
            for (std::size_t k = pick(4); k-- > 0;) {
                if (pick(3) == 0) {
                    value += oldAddr;
                    holdsOld = true;
                    const std::string& after = pieces[pick(4)];
                    value += pick(2) == 0 ? std::string() : after;
                    if (value.size() >= oldAddr.size() &&
                        value.compare(value.size() - oldAddr.size(), std::string::npos, oldAddr) == 0 && k > 0)
                        value += '\\';
                } else {
                    const std::string& piece = pieces[pick(13)];
                    if (!value.empty() && value.back() != '\\' && IsNameChar(value.back()) && IsNameChar(piece[0]))
                        value += '_';
                    value += piece;
                }
            }
            if (!line.empty())
                line += pick(4) == 0 ? "\t" : " ";
            const bool program = a == 0 && form == kProgram;
            const bool plain = value.find_first_of(" \t\"") == std::string::npos && !value.empty();
            if (program) {
                if (value.find('"') != std::string::npos)
                    value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
                line += plain && pick(2) == 0 ? value : "\"" + value + "\"";
                continue;
            }
            // Old with a blank is found only where its blank is not
            // spelled as a quoted piece of its own.
            const std::size_t styles = HoldsBlank(oldAddr) ? 1 : 2;
            switch (plain ? pick(1 + styles) : 1 + pick(styles)) {
                case 0:  // as it is
                    line += value;
                    break;
                case 1: {  // in quotes, escaped as the rules ask
                    line += '"';
                    std::size_t slashes = 0;
                    for (char c : value) {
                        if (c == '\\') {
                            ++slashes;
                            continue;
                        }
                        line.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
                        slashes = 0;
                        line += c;
                    }
                    line.append(2 * slashes, '\\');
                    line += '"';
                    break;
                }
                default: {  // only its blanks in quotes, the rest escaped in place
                    std::size_t slashes = 0;
                    for (char c : value) {
                        if (c == '\\') {
                            ++slashes;
                            continue;
                        }
                        const bool blank = c == ' ' || c == '\t';
                        line.append(c == '"' ? 2 * slashes + 1 : blank ? 2 * slashes : slashes, '\\');
                        slashes = 0;
                        if (c == '"')
                            line += '"';
                        else if (c == ' ' || c == '\t')
                            line += std::string("\"") + c + "\"";
                        else
                            line += c;
                    }
                    line.append(slashes, '\\');
                    mayRefuse = mayRefuse || holdsOld;
                    break;
                }
            }
        }
        const std::optional<std::string> after = RewriteCommandLine(line, oldAddr, newAddr, form);
        if (!after) {
            EXPECT_TRUE(mayRefuse && HoldsBlank(newAddr)) << line << " -> " << newAddr;
            continue;
        }
        ++checked;
        rewritten += *after != line;
        ASSERT_EQ(Split(*after, form), Substituted(Split(line, form), oldAddr, newAddr))
            << line << "\n -> " << *after << "\n with " << newAddr;
    }
    EXPECT_GT(rewritten, 5000) << "the generated lines name Old often enough";
    EXPECT_GT(checked, 15000);
}

TEST(CommandLines, UnquotedOldWithMoreTextAfterItIsTold) {
    const struct {
        const char* text;
        bool told;
    } cases[] = {
        {"C:\\QUILL\\quill.exe -x", true},
        {"\"C:\\Windows\\a.exe\" C:\\QUILL\\b.txt /q", true},
        {"C:\\QUILL -x", true},
        {"C:\\QUILL\\quill.exe", false},
        {"C:\\QUILL\\quill.exe   ", false},
        {"\"C:\\QUILL\\quill.exe\" -x", false},
        {"-x C:\\QUILL\\quill.exe", false},
        {"C:\\QUILLS\\q.exe -x", false},
        {"nothing here", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnquotedFollowedByMore(c.text, "C:\\QUILL"), c.told) << c.text;
}

}  // namespace
