#include "group_model.h"

#include <algorithm>
#include <climits>
#include <utility>

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



}  // namespace

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
        arg = std::string(TrimProgManBlanks(s_.substr(start, pos_ - start)));
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
                std::optional<int> n = ReadProgManNumber(fields[4 + f]);
                if (!n || fields[4 + f] != TrimProgManBlanks(fields[4 + f]))
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
    command = TrimProgManBlanks(command);
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
        if (!arg(1).empty() && !ReadProgManNumber(arg(1)))
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
        std::optional<int> v = ReadProgManNumber(arg(n.index));
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
