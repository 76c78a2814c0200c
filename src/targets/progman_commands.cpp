#include "targets/progman_commands.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "core/strings.h"

namespace movix {

namespace {

constexpr std::string_view::size_type npos = std::string_view::npos;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

bool HasLineEnd(std::string_view s) {
    return s.find_first_of("\r\n") != npos;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsSpaceOrLineEnd(char c) {
    return IsBlank(c) || c == '\r' || c == '\n';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A decimal integer with an optional sign that fits an int; nothing else.
std::optional<int> ReadInt(std::string_view s) {
    s = TrimBlanks(s);
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

int IntOrZero(std::string_view s) {
    return ReadInt(s).value_or(0);
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

// ---------------------------------------------------------------- commands

namespace {

class CommandParser {
  public:
    explicit CommandParser(std::string_view text) : s_(text) {}

    ProgManCommandList Parse() {
        ProgManCommandList list;
        for (;;) {
            SkipSpace();
            if (pos_ >= s_.size())
                break;
            ProgManCommand command;
            if (!ParseCommand(command)) {
                list.Commands.clear();
                list.Error = error_;
                return list;
            }
            list.Commands.push_back(std::move(command));
        }
        list.Ok = true;
        return list;
    }

  private:
    bool Fail(const std::string& what) {
        error_ = what + " at offset " + std::to_string(pos_);
        return false;
    }
    void SkipSpace() {
        while (pos_ < s_.size() && IsSpaceOrLineEnd(s_[pos_]))
            ++pos_;
    }
    void SkipBlanks() {
        while (pos_ < s_.size() && IsBlank(s_[pos_]))
            ++pos_;
    }
    bool At(char c) const { return pos_ < s_.size() && s_[pos_] == c; }

    bool ParseCommand(ProgManCommand& command) {
        if (!At('['))
            return Fail("expected '['");
        ++pos_;
        SkipBlanks();
        const std::size_t nameStart = pos_;
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
            if (!word)
                break;
            ++pos_;
        }
        if (pos_ == nameStart)
            return Fail("missing command name");
        if (pos_ - nameStart > kProgManMaxName)
            return Fail("command name too long");
        command.Name = std::string(s_.substr(nameStart, pos_ - nameStart));
        SkipBlanks();
        if (At('(')) {
            ++pos_;
            if (!ParseArgs(command.Args))
                return false;
            SkipBlanks();
        }
        if (!At(']'))
            return Fail("expected ']'");
        ++pos_;
        return true;
    }

    // After '(' up to and including ')'.
    bool ParseArgs(std::vector<std::string>& args) {
        SkipBlanks();
        if (At(')')) {
            ++pos_;
            return true;
        }
        for (;;) {
            if (args.size() == kProgManMaxArgs)
                return Fail("too many arguments");
            std::string arg;
            if (!ParseArg(arg))
                return false;
            args.push_back(std::move(arg));
            if (At(',')) {
                ++pos_;
                continue;
            }
            if (At(')')) {
                ++pos_;
                return true;
            }
            return pos_ >= s_.size() ? Fail("missing ')'") : Fail("unexpected character");
        }
    }

    // One argument; stops at the ',' or ')' after it.
    bool ParseArg(std::string& arg) {
        SkipBlanks();
        if (At('"')) {
            ++pos_;
            for (;;) {
                if (pos_ >= s_.size())
                    return Fail("unterminated quote");
                const char c = s_[pos_];
                if (c == '"') {
                    if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '"') {
                        arg += '"';
                        pos_ += 2;
                    } else {
                        ++pos_;
                        break;
                    }
                } else if (c == '\r' || c == '\n' || c == '\0') {
                    return Fail("line end inside an argument");
                } else {
                    arg += c;
                    ++pos_;
                }
                if (arg.size() > kProgManMaxField)
                    return Fail("argument too long");
            }
            SkipBlanks();
            return true;
        }
        const std::size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] != ',' && s_[pos_] != ')') {
            const char c = s_[pos_];
            if (c == '"' || c == '(' || c == '[' || c == ']')
                return Fail(std::string("'") + c + "' in an unquoted argument");
            if (c == '\r' || c == '\n' || c == '\0')
                return Fail("line end inside an argument");
            ++pos_;
            if (pos_ - start > kProgManMaxField)
                return Fail("argument too long");
        }
        arg = std::string(TrimBlanks(s_.substr(start, pos_ - start)));
        return true;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    std::string error_;
};

}  // namespace

ProgManCommandList ParseProgManCommands(std::string_view text) {
    return CommandParser(text).Parse();
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
                const std::string args =
                    QuoteProgManArgument(item.CommandLine) + "," + QuoteProgManArgument(item.ItemName) + "," +
                    QuoteProgManArgument(item.IconPath) + "," + std::to_string(item.IconIndex) + "," +
                    std::to_string(item.XPos) + "," + std::to_string(item.YPos) + "," +
                    QuoteProgManArgument(item.DefaultDir) + "," + std::to_string(item.HotKey) + "," +
                    std::to_string(item.Minimize) + "," + std::to_string(item.SeparateMemory);
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

// ---------------------------------------------------------------- groups

std::string FormatGroupsReply(const std::vector<ProgManGroup>& groups) {
    std::string text;
    for (const ProgManGroup& g : groups) {
        text += g.Name;
        text += "\r\n";
    }
    return text;
}

std::string FormatGroupReply(const ProgManGroup& group, std::string_view shownPath) {
    std::string text = "\"" + group.Name + "\",";
    text += shownPath;
    text += ',';
    text += std::to_string(group.Items.size());
    text += "\r\n";
    for (const TGroupItemLine& item : group.Items) {
        text += FormatGroupItemLine(item);
        text += "\r\n";
    }
    return text;
}

namespace {

constexpr std::string_view kGroupFileHeader = "MxProgMan group file 1";

std::string Escape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '%':
                out += "%25";
                break;
            case '\t':
                out += "%09";
                break;
            case '\r':
                out += "%0D";
                break;
            case '\n':
                out += "%0A";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size())
            return std::nullopt;
        const std::string_view code = s.substr(i + 1, 2);
        if (code == "25")
            out += '%';
        else if (code == "09")
            out += '\t';
        else if (code == "0D" || code == "0d")
            out += '\r';
        else if (code == "0A" || code == "0a")
            out += '\n';
        else
            return std::nullopt;
        i += 2;
    }
    return out;
}

}  // namespace

std::string FormatGroupFile(const ProgManGroup& group) {
    std::string text(kGroupFileHeader);
    text += "\r\nName=" + Escape(group.Name) + "\r\nPath=" + Escape(group.Path) + "\r\n";
    for (const TGroupItemLine& item : group.Items) {
        text += "Item=";
        for (const std::string* s : {&item.ItemName, &item.CommandLine, &item.DefaultDir, &item.IconPath}) {
            text += Escape(*s);
            text += '\t';
        }
        const int numbers[6] = {item.XPos, item.YPos, item.IconIndex, item.HotKey, item.Minimize, item.SeparateMemory};
        for (int i = 0; i < 6; ++i) {
            text += std::to_string(numbers[i]);
            text += i == 5 ? "\r\n" : "\t";
        }
    }
    return text;
}

std::optional<ProgManGroup> ParseGroupFile(std::string_view text) {
    const std::vector<std::string> lines = SplitReplyLines(text);
    if (lines.empty() || lines[0] != kGroupFileHeader)
        return std::nullopt;
    ProgManGroup group;
    bool haveName = false;
    bool havePath = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.empty())
            continue;
        const std::size_t eq = line.find('=');
        if (eq == npos)
            return std::nullopt;
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        if (key == "Name" || key == "Path") {
            bool& seen = key == "Name" ? haveName : havePath;
            if (seen)
                return std::nullopt;
            seen = true;
            std::optional<std::string> text = Unescape(value);
            if (!text || HasLineEnd(*text))
                return std::nullopt;
            (key == "Name" ? group.Name : group.Path) = std::move(*text);
        } else if (key == "Item") {
            std::vector<std::string_view> fields;
            std::string_view rest = value;
            for (;;) {
                const std::size_t tab = rest.find('\t');
                fields.push_back(rest.substr(0, tab));
                if (tab == npos)
                    break;
                rest = rest.substr(tab + 1);
            }
            if (fields.size() != 10)
                return std::nullopt;
            TGroupItemLine item;
            std::string* texts[4] = {&item.ItemName, &item.CommandLine, &item.DefaultDir, &item.IconPath};
            for (int f = 0; f < 4; ++f) {
                std::optional<std::string> t = Unescape(fields[f]);
                if (!t || HasLineEnd(*t))
                    return std::nullopt;
                *texts[f] = std::move(*t);
            }
            int* numbers[6] = {&item.XPos,   &item.YPos,     &item.IconIndex,
                               &item.HotKey, &item.Minimize, &item.SeparateMemory};
            for (int f = 0; f < 6; ++f) {
                std::optional<int> n = ReadInt(fields[4 + f]);
                if (!n || fields[4 + f] != TrimBlanks(fields[4 + f]))
                    return std::nullopt;
                *numbers[f] = *n;
            }
            group.Items.push_back(std::move(item));
        } else {
            return std::nullopt;
        }
    }
    if (!haveName || group.Name.empty() || group.Name.size() > ProgManGroupSet::kMaxGroupName ||
        group.Items.size() > ProgManGroupSet::kMaxItems)
        return std::nullopt;
    return group;
}

// ---------------------------------------------------------------- group set

namespace {

// What AddItem calls an item when no title is given: the program's file name
// without folder and extension, taken from the command line's first word.
std::string TitleFromCommand(std::string_view command) {
    command = TrimBlanks(command);
    std::string_view program;
    if (!command.empty() && command.front() == '"') {
        const std::size_t close = command.find('"', 1);
        program = command.substr(1, close == npos ? npos : close - 1);
    } else {
        program = command.substr(0, command.find(' '));
    }
    const std::size_t slash = program.find_last_of("\\/:");
    if (slash != npos)
        program = program.substr(slash + 1);
    const std::size_t dot = program.rfind('.');
    if (dot != npos && dot > 0)
        program = program.substr(0, dot);
    return program.empty() ? std::string(command) : std::string(program);
}

}  // namespace

const ProgManGroup* ProgManGroupSet::Find(std::string_view name) const {
    for (const ProgManGroup& g : groups_)
        if (SameName(g.Name, name))
            return &g;
    return nullptr;
}

ProgManGroup* ProgManGroupSet::FindMutable(std::string_view name) {
    return const_cast<ProgManGroup*>(static_cast<const ProgManGroupSet*>(this)->Find(name));
}

bool ProgManGroupSet::Load(ProgManGroup group) {
    if (Find(group.Name) || groups_.size() >= kMaxGroups)
        return false;
    group.Dirty = false;
    groups_.push_back(std::move(group));
    return true;
}

std::optional<std::string> ProgManGroupSet::Reply(std::string_view item, std::string_view folder) const {
    if (SameText(item, "Groups"))
        return FormatGroupsReply(groups_);
    const ProgManGroup* g = Find(item);
    if (!g)
        return std::nullopt;
    std::string shown = g->Path;
    if (shown.empty()) {
        shown = std::string(folder);
        if (!shown.empty() && shown.back() != '\\')
            shown += '\\';
        shown += g->FileName;
    }
    return FormatGroupReply(*g, shown);
}

bool ProgManGroupSet::SameName(std::string_view a, std::string_view b) const {
    return sameName_ ? sameName_(a, b) : SameText(a, b);
}

ProgManGroupSet::Outcome ProgManGroupSet::Execute(std::string_view text) {
    Outcome outcome;
    ProgManCommandList list = ParseProgManCommands(text);
    if (!list.Ok) {
        outcome.Error = list.Error;
        return outcome;
    }
    // Run on a copy and keep it only when every command succeeded.
    ProgManGroupSet work = *this;
    bool quit = false;
    for (const ProgManCommand& command : list.Commands) {
        std::string error = work.Run(command, quit);
        if (!error.empty()) {
            outcome.Error = command.Name + ": " + error;
            return outcome;
        }
    }
    *this = std::move(work);
    outcome.Ok = true;
    outcome.Quit = quit;
    return outcome;
}

std::string ProgManGroupSet::Run(const ProgManCommand& command, bool& quit) {
    const std::vector<std::string>& a = command.Args;
    auto argCount = [&](std::size_t lo, std::size_t hi) { return a.size() >= lo && a.size() <= hi; };
    auto arg = [&](std::size_t i) -> const std::string& {
        static const std::string none;
        return i < a.size() ? a[i] : none;
    };
    for (const std::string& s : a)
        if (HasLineEnd(s))
            return "line end in an argument";

    const std::string& name = command.Name;
    if (SameText(name, "CreateGroup")) {
        if (!argCount(1, 2) || arg(0).empty())
            return "needs a group name and at most a path";
        if (arg(0).size() > kMaxGroupName)
            return "group name too long";
        if (!Find(arg(0))) {
            if (groups_.size() >= kMaxGroups)
                return "too many groups";
            ProgManGroup g;
            g.Name = arg(0);
            g.Path = arg(1);
            g.Dirty = true;
            groups_.push_back(std::move(g));
        }
        if (!SameName(current_, arg(0)))
            slot_.reset();
        current_ = Find(arg(0))->Name;
        return {};
    }
    if (SameText(name, "ShowGroup")) {
        if (!argCount(1, 2) || arg(0).empty())
            return "needs a group name and a show command";
        if (!arg(1).empty() && !ReadInt(arg(1)))
            return "show command is not a number";
        const ProgManGroup* g = Find(arg(0));
        if (!g)
            return "no group " + arg(0);
        if (!SameName(current_, g->Name))
            slot_.reset();
        current_ = g->Name;
        return {};
    }
    if (SameText(name, "DeleteGroup")) {
        if (!argCount(1, 2) || arg(0).empty())
            return "needs a group name";
        for (auto it = groups_.begin(); it != groups_.end(); ++it) {
            if (!SameName(it->Name, arg(0)))
                continue;
            if (!it->FileName.empty())
                removedFiles_.push_back(it->FileName);
            if (SameName(current_, it->Name)) {
                current_.clear();
                slot_.reset();
            }
            groups_.erase(it);
            return {};
        }
        return "no group " + arg(0);
    }
    if (SameText(name, "ExitProgman")) {
        if (!argCount(0, 1))
            return "too many arguments";
        quit = true;
        return {};
    }

    // The item commands work on the current group.
    const bool itemCommand = SameText(name, "AddItem") || SameText(name, "ReplaceItem") || SameText(name, "DeleteItem");
    if (!itemCommand)
        return "unknown command";
    ProgManGroup* group = current_.empty() ? nullptr : FindMutable(current_);
    if (!group)
        return "no current group";

    if (SameText(name, "ReplaceItem") || SameText(name, "DeleteItem")) {
        if (!argCount(1, 1) || arg(0).empty())
            return "needs an item title";
        auto it = std::find_if(group->Items.begin(), group->Items.end(),
                               [&](const TGroupItemLine& item) { return SameName(item.ItemName, arg(0)); });
        if (it == group->Items.end())
            return "no item " + arg(0) + " in " + group->Name;
        if (SameText(name, "ReplaceItem"))
            slot_ = Slot{group->Name, static_cast<std::size_t>(it - group->Items.begin()), it->XPos, it->YPos};
        group->Items.erase(it);
        group->Dirty = true;
        return {};
    }

    // AddItem(cmdline[,title[,iconpath[,iconindex[,x,y[,workdir[,hotkey[,minimize[,separate]]]]]]]])
    if (!argCount(1, 10) || arg(0).empty())
        return "needs a command line";
    if (group->Items.size() >= kMaxItems)
        return "too many items";
    TGroupItemLine item;
    item.CommandLine = arg(0);
    item.ItemName = arg(1).empty() ? TitleFromCommand(arg(0)) : arg(1);
    item.IconPath = arg(2);
    item.DefaultDir = arg(6);
    struct NumberArg {
        std::size_t index;
        int* target;
    };
    const NumberArg numbers[] = {{3, &item.IconIndex}, {4, &item.XPos},     {5, &item.YPos},
                                 {7, &item.HotKey},    {8, &item.Minimize}, {9, &item.SeparateMemory}};
    for (const NumberArg& n : numbers) {
        if (arg(n.index).empty())
            continue;
        std::optional<int> v = ReadInt(arg(n.index));
        if (!v)
            return "argument " + std::to_string(n.index + 1) + " is not a number";
        *n.target = *v;
    }
    const bool havePosition = !arg(4).empty() || !arg(5).empty();
    if (havePosition && (arg(4).empty() || arg(5).empty()))
        return "needs both x and y";

    std::size_t at = group->Items.size();
    if (slot_ && SameName(slot_->Group, group->Name)) {
        at = std::min(slot_->Index, group->Items.size());
        if (!havePosition) {
            item.XPos = slot_->XPos;
            item.YPos = slot_->YPos;
        }
        slot_.reset();
    } else if (!havePosition) {
        // The next free cell of a grid six icons wide.
        const int n = static_cast<int>(group->Items.size());
        item.XPos = 16 + (n % 6) * 75;
        item.YPos = 16 + (n / 6) * 60;
    }
    group->Items.insert(group->Items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    group->Dirty = true;
    return {};
}

}  // namespace movix
