#include "targets/progman_commands.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "core/strings.h"

namespace movix {

namespace {

constexpr std::string_view::size_type npos = std::string_view::npos;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string_view TrimProgManBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::optional<int> ReadProgManNumber(std::string_view s) {
    s = TrimProgManBlanks(s);
    if (s.empty())
        return std::nullopt;
    bool negative = false;
    if (s.front() == '+' || s.front() == '-') {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        return std::nullopt;
    long long value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

namespace {

int IntOrZero(std::string_view s) {
    return ReadProgManNumber(s).value_or(0);
}

std::string_view SubFrom(std::string_view s, std::size_t from) {
    return from >= s.size() ? std::string_view() : s.substr(from);
}

// Index of the next quote followed by a comma, at or after `from`.
std::size_t FindQuoteComma(std::string_view s, std::size_t from) {
    for (std::size_t i = from; i + 1 < s.size(); ++i)
        if (s[i] == '"' && s[i + 1] == ',')
            return i;
    return npos;
}

std::string WithoutFinalQuote(std::string_view s) {
    if (!s.empty() && s.back() == '"')
        s.remove_suffix(1);
    return std::string(s);
}

}  // namespace

bool TGroupItemLine::operator==(const TGroupItemLine& o) const {
    return ItemName == o.ItemName && CommandLine == o.CommandLine && DefaultDir == o.DefaultDir &&
           IconPath == o.IconPath && XPos == o.XPos && YPos == o.YPos && IconIndex == o.IconIndex &&
           HotKey == o.HotKey && Minimize == o.Minimize && SeparateMemory == o.SeparateMemory;
}

std::vector<std::string> SplitReplyLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.emplace_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

TGroupItemLine ParseGroupItemLine(std::string_view line) {
    TGroupItemLine item;
    // Field 1: after the opening quote, up to the next quote-comma.
    const std::size_t nameEnd = FindQuoteComma(line, 1);
    if (nameEnd == npos) {
        item.ItemName = WithoutFinalQuote(SubFrom(line, 1));
        return item;
    }
    item.ItemName = std::string(line.substr(1, nameEnd - 1));
    // Field 2: past the quote, the comma and its own opening quote.
    const std::size_t commandStart = nameEnd + 3;
    const std::size_t commandEnd = FindQuoteComma(line, commandStart);
    if (commandEnd == npos) {
        item.CommandLine = WithoutFinalQuote(SubFrom(line, commandStart));
        return item;
    }
    item.CommandLine = std::string(line.substr(commandStart, commandEnd - commandStart));
    // Fields 3 to 9 end at the next comma, field 10 at the end of the line.
    std::string_view rest = SubFrom(line, commandEnd + 2);
    std::string_view fields[8];
    std::size_t count = 0;
    for (; count < 8; ++count) {
        const std::size_t comma = rest.find(',');
        if (count == 7 || comma == npos) {
            fields[count] = rest;
            ++count;
            break;
        }
        fields[count] = rest.substr(0, comma);
        rest = rest.substr(comma + 1);
    }
    item.DefaultDir = std::string(fields[0]);
    item.IconPath = std::string(fields[1]);
    int* numbers[6] = {&item.XPos, &item.YPos, &item.IconIndex, &item.HotKey, &item.Minimize, &item.SeparateMemory};
    for (std::size_t i = 0; i < 6; ++i)
        *numbers[i] = IntOrZero(fields[2 + i]);
    return item;
}

bool GroupItemLineHasTenFields(std::string_view line) {
    if (line.empty() || line.front() != '"')
        return false;
    const std::size_t nameEnd = FindQuoteComma(line, 1);
    if (nameEnd == npos || nameEnd + 2 >= line.size() || line[nameEnd + 2] != '"')
        return false;
    const std::size_t commandEnd = FindQuoteComma(line, nameEnd + 3);
    if (commandEnd == npos)
        return false;
    const std::string_view rest = SubFrom(line, commandEnd + 2);
    return std::count(rest.begin(), rest.end(), ',') == 7;
}

std::string FormatGroupItemLine(const TGroupItemLine& item) {
    std::string line;
    line.reserve(item.ItemName.size() + item.CommandLine.size() + item.DefaultDir.size() + item.IconPath.size() + 80);
    line += '"';
    line += item.ItemName;
    line += "\",\"";
    line += item.CommandLine;
    line += "\",";
    line += item.DefaultDir;
    line += ',';
    line += item.IconPath;
    for (int n : {item.XPos, item.YPos, item.IconIndex, item.HotKey, item.Minimize, item.SeparateMemory}) {
        line += ',';
        line += std::to_string(n);
    }
    return line;
}

std::optional<ProgManGroupReply> ParseGroupReply(std::string_view text) {
    std::vector<std::string> lines = SplitReplyLines(text);
    if (lines.empty())
        return std::nullopt;
    ProgManGroupReply reply;
    // "Name",path,count  (the name may hold commas; it ends at quote-comma)
    std::string_view head = lines[0];
    std::string_view afterName;
    if (!head.empty() && head.front() == '"') {
        const std::size_t end = FindQuoteComma(head, 1);
        if (end == npos) {
            reply.Name = WithoutFinalQuote(SubFrom(head, 1));
        } else {
            reply.Name = std::string(head.substr(1, end - 1));
            afterName = SubFrom(head, end + 2);
        }
    } else {
        const std::size_t comma = head.find(',');
        reply.Name = std::string(head.substr(0, comma));
        if (comma != npos)
            afterName = head.substr(comma + 1);
    }
    const std::size_t comma = afterName.find(',');
    reply.Path = std::string(afterName.substr(0, comma));
    if (comma != npos) {
        std::string_view count = afterName.substr(comma + 1);
        reply.ItemCount = IntOrZero(count.substr(0, count.find(',')));
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty())
            continue;
        reply.Items.push_back(ParseGroupItemLine(lines[i]));
        reply.ItemLines.push_back(std::move(lines[i]));
    }
    return reply;
}

std::string QuoteProgManArgument(std::string_view field) {
    bool quote = !field.empty() && (IsBlank(field.front()) || IsBlank(field.back()));
    for (char c : field)
        if (c == ',' || c == '"' || c == '(' || c == ')' || c == '[' || c == ']')
            quote = true;
    if (!quote)
        return std::string(field);
    std::string out = "\"";
    for (char c : field) {
        out += c;
        if (c == '"')
            out += '"';
    }
    out += '"';
    return out;
}

bool ProgManArgumentSafe(std::string_view field) {
    return field.size() <= kProgManMaxField && field.find_first_of(std::string_view("\"\r\n\0", 4)) == npos;
}

std::string CreateGroupCommand(std::string_view groupName) {
    return "[CreateGroup(" + QuoteProgManArgument(groupName) + ")]";
}

std::string AddItemArguments(const TGroupItemLine& item) {
    return QuoteProgManArgument(item.CommandLine) + "," + QuoteProgManArgument(item.ItemName) + "," +
           QuoteProgManArgument(item.IconPath) + "," + std::to_string(item.IconIndex) + "," +
           std::to_string(item.XPos) + "," + std::to_string(item.YPos) + "," + QuoteProgManArgument(item.DefaultDir) +
           "," + std::to_string(item.HotKey) + "," + std::to_string(item.Minimize) + "," +
           std::to_string(item.SeparateMemory);
}

namespace {

const char* SubTypeName(int subType) {
    switch (subType) {
        case 2:
            return "cmd";
        case 3:
            return "ico";
        case 4:
            return "dir";
        default:
            return "err";
    }
}

// Why `item` (with its hits applied) cannot be sent as ReplaceItem and
// AddItem without risk, or nothing when it can. `earlier` are the item
// lines before it in the group.
std::optional<std::string> UnsafeReason(std::string_view line,
                                        const TGroupItemLine& item,
                                        const std::vector<TGroupItemLine>& earlier) {
    if (!GroupItemLineHasTenFields(line))
        return std::string("its line does not have ten fields");
    const struct {
        const std::string* text;
        const char* name;
    } fields[] = {{&item.ItemName, "name"},
                  {&item.CommandLine, "command line"},
                  {&item.DefaultDir, "directory"},
                  {&item.IconPath, "icon path"}};
    for (const auto& f : fields)
        if (!ProgManArgumentSafe(*f.text))
            return std::string("its ") + f.name + " cannot be sent to Program Manager";
    if (item.ItemName.empty())
        return std::string("it has no name");
    if (item.CommandLine.empty())
        return std::string("it has no command line");
    for (const TGroupItemLine& e : earlier)
        if (SameFileName(e.ItemName, item.ItemName))
            return "the item \"" + e.ItemName + "\" before it would be replaced instead";
    return std::nullopt;
}

}  // namespace

void UpdateProgManGroup(TReplaceGroup& group,
                        const std::vector<std::string>& replyLines,
                        std::string_view oldAddr,
                        std::string_view newAddr,
                        std::vector<std::string>& commands,
                        const TLogLine& log) {
    bool leftUnchanged = false;
    std::vector<TGroupItemLine> earlier;
    for (std::size_t i = 1; i < replyLines.size() && !group.Hits.empty(); ++i) {
        const std::string& line = replyLines[i];
        const TGroupItemLine received = ParseGroupItemLine(line);
        TGroupItemLine item = received;
        bool applied = false;
        for (std::size_t h = group.Hits.size(); h-- > 0;) {
            const TReplaceHit& hit = group.Hits[h];
            if (hit.Text != item.ItemName)
                continue;
            switch (hit.SubType) {
                case 2:
                    ReplaceAllText(item.CommandLine, oldAddr, newAddr);
                    break;
                case 3:
                    ReplaceAllText(item.IconPath, oldAddr, newAddr);
                    break;
                case 4:
                    ReplaceAllText(item.DefaultDir, oldAddr, newAddr);
                    break;
                default:
                    break;
            }
            group.Hits.erase(group.Hits.begin() + static_cast<std::ptrdiff_t>(h));
            applied = true;
        }
        if (applied) {
            if (std::optional<std::string> reason = UnsafeReason(line, item, earlier)) {
                log("***** Item left unchanged, " + *reason + ": " + line);
                leftUnchanged = true;
            } else {
                commands.push_back("[ReplaceItem(" + QuoteProgManArgument(item.ItemName) + ")]");
                const std::string args = AddItemArguments(item);
                log("             item: " + line);
                log("       changed to: " + args);
                commands.push_back("[AddItem(" + args + ")]");
            }
        }
        earlier.push_back(received);
    }
    if (!group.Hits.empty()) {
        log("***** Updated " + group.Key + ", but some items not found:");
        for (const TReplaceHit& hit : group.Hits)
            log(std::string("    ") + SubTypeName(hit.SubType) + " for " + hit.Text);
    } else if (leftUnchanged) {
        log("***** Updated " + group.Key + ", but some items left unchanged");
    } else {
        log("Successfully updated " + group.Key);
    }
}

}  // namespace movix
