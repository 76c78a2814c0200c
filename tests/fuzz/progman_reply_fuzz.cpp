// Fuzz target: Program Manager's replies as the group search and the group
// replacer read them (SplitReplyLines, ParseGroupReply, ParseGroupItemLine,
// GroupItemLineHasTenFields, FormatGroupItemLine), and what the replacer
// sends back for an item read from such a reply: the ReplaceItem and AddItem
// commands, read by the command parser and carried out by the substitute's
// group set, must rebuild exactly the item that was meant, or nothing may be
// sent for it. Any disagreement aborts with the input printed.
//
// Built like boundary_fuzz.cpp: with libFuzzer (scripts/fuzz.sh progman) for
// long runs, with fuzz_driver.cpp for the short seeded run of the suite.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"
#include "group_model.h"
#include "targets/progman_commands.h"

namespace {

using namespace movix;

// Mostly the characters that steer the parsers.
const char kAlphabet[] = {'"', ',', '"', ',',  '\r', '\n', '(', ')',  '[',    ']',    ' ',    '\t', '-', '0', '1',
                          '9', 'a', 'B', '\\', 'C',  ':',  'X', '\0', '\xC3', '\xA9', '\xFF', '+',  '.', 'Q', 'q'};

std::string Hex(std::string_view s) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x21 && u < 0x7F && c != '%') {
            out += c;
        } else {
            out += '%';
            out += digits[u >> 4];
            out += digits[u & 15];
        }
    }
    return out;
}

[[noreturn]] void Fail(const char* what, std::string_view input, const std::string& detail = std::string()) {
    std::fprintf(stderr, "progman reply fuzz: %s\n  input:  %s\n  detail: %s\n", what, Hex(input).c_str(),
                 Hex(detail).c_str());
    std::abort();
}

bool HasLineEnd(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

void CheckLines(std::string_view text) {
    const std::vector<std::string> lines = SplitReplyLines(text);
    std::string joined;
    std::size_t ends = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            ++ends;
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            joined += text[i];
        }
    }
    const bool openLast = !text.empty() && text.back() != '\r' && text.back() != '\n';
    if (lines.size() != ends + (openLast ? 1 : 0))
        Fail("line count", text, std::to_string(lines.size()));
    std::string rejoined;
    for (const std::string& line : lines) {
        if (HasLineEnd(line))
            Fail("line end inside a line", text, line);
        rejoined += line;
    }
    if (rejoined != joined)
        Fail("lines lose or add text", text, rejoined);

    const std::optional<ProgManGroupReply> reply = ParseGroupReply(text);
    if (reply.has_value() == lines.empty())
        Fail("reply without lines, or lines without reply", text);
    if (!reply)
        return;
    if (reply->Items.size() != reply->ItemLines.size())
        Fail("items and item lines differ in number", text);
    for (std::size_t i = 0; i < reply->Items.size(); ++i) {
        if (reply->ItemLines[i].empty())
            Fail("an empty item line was kept", text);
        if (reply->Items[i] != ParseGroupItemLine(reply->ItemLines[i]))
            Fail("item not parsed from its line", text, reply->ItemLines[i]);
    }
}

void CheckItemLine(std::string_view line) {
    const TGroupItemLine item = ParseGroupItemLine(line);
    // What the parser read, formatted again, reads back the same and counts
    // ten fields.
    const std::string formatted = FormatGroupItemLine(item);
    if (ParseGroupItemLine(formatted) != item)
        Fail("formatted item reads back otherwise", line, formatted);
    if (!GroupItemLineHasTenFields(formatted))
        Fail("formatted item has not ten fields", line, formatted);
}

// The replacer on a group of one item read from `line`, with hits on all
// three fields: if it sends the item, the substitute's group set must end
// with exactly the changed item in its place; if it does not, it must say so.
void CheckUpdate(std::string_view line, std::string_view oldAddr, std::string_view newAddr) {
    const TGroupItemLine received = ParseGroupItemLine(line);
    TReplaceGroup group{"G", {{received.ItemName, 2}, {received.ItemName, 3}, {received.ItemName, 4}}};
    TGroupItemLine expected = received;
    ReplaceAllText(expected.CommandLine, oldAddr, newAddr);
    ReplaceAllText(expected.IconPath, oldAddr, newAddr);
    ReplaceAllText(expected.DefaultDir, oldAddr, newAddr);

    std::vector<std::string> commands;
    std::vector<std::string> log;
    UpdateProgManGroup(group, {"\"G\",G.GRP,1", std::string(line)}, oldAddr, newAddr, commands,
                       [&](const std::string& l) { log.push_back(l); });
    if (!group.Hits.empty())
        Fail("hits left on an item of their name", line);
    if (commands.empty()) {
        bool said = false;
        for (const std::string& l : log)
            said = said || l.rfind("***** Item left unchanged", 0) == 0;
        if (!said)
            Fail("item neither sent nor logged as left unchanged", line);
        return;
    }
    if (commands.size() != 2)
        Fail("not one ReplaceItem and one AddItem", line, std::to_string(commands.size()));
    for (const std::string& c : commands)
        if (HasLineEnd(c) || c.find('\0') != std::string::npos)
            Fail("line end or NUL inside a command", line, c);

    ProgManGroupSet set;
    ProgManGroup g;
    g.Name = "G";
    g.Items.push_back(received);
    if (!set.Load(g))
        Fail("group not loaded", line);
    const std::string text = CreateGroupCommand("G") + "\r\n" + commands[0] + "\r\n" + commands[1] + "\r\n";
    const ProgManGroupSet::Outcome outcome = set.Execute(text);
    if (!outcome.Ok)
        Fail("the commands sent are refused", line, text + " -> " + outcome.Error);
    const ProgManGroup* after = set.Find("G");
    if (!after || after->Items.size() != 1 || after->Items[0] != expected)
        Fail("the item rebuilt differs from the item meant", line,
             text + " -> " + (after && !after->Items.empty() ? FormatGroupItemLine(after->Items[0]) : "<none>"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t control = data[0];
    const bool raw = (control & 3) == 0;  // a quarter of the inputs as they are
    std::string text;
    for (std::size_t i = 2; i < size; ++i)
        text += raw ? static_cast<char>(data[i]) : kAlphabet[data[i] % sizeof kAlphabet];

    CheckLines(text);

    // The item line: the text as it is, or a well-formed line with parts of
    // the text in its fields, so that both sides of the format are reached.
    std::string line = text;
    if (control & 4) {
        const std::size_t cut = data[1] % (text.size() + 1);
        line = "\"" + text.substr(0, cut) + "\",\"C:\\OLD\\" + text.substr(cut) + "\",C:\\OLD,C:\\OLD\\A.ICO," +
               std::to_string(static_cast<int>(data[1]) - 128) + ",1,2,3,4,5";
    }
    for (const std::string& l : SplitReplyLines(line))
        CheckItemLine(l);
    CheckItemLine(line);

    // Old and New: plain, or New with characters that must be quoted.
    const std::string newAddr = (control & 8) ? "D:\\New (x86), [2]" : ((control & 16) ? "D:\\N\"Q" : "D:\\NEW");
    const std::vector<std::string> lines = SplitReplyLines(line);
    CheckUpdate(lines.empty() ? std::string_view() : std::string_view(lines[0]), "C:\\OLD", newAddr);
    return 0;
}
