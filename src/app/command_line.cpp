#include "app/command_line.h"

#include <cstddef>

#include "core/kinds.h"
#include "movix_version.h"

namespace movix {

namespace {

std::string LowerAscii(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// An item index: decimal digits only (no sign, no blanks), below `items`.
bool ParseItemIndex(const std::string& text, int items, int& index) {
    if (text.empty() || text.size() > 3)
        return false;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    if (n >= items)
        return false;
    index = n;
    return true;
}

struct Number {
    const char* name;
    int items;
    int TCommandLine::*field;
};
const Number kNumbers[] = {{"ini", kIniItems, &TCommandLine::Ini},
                           {"groups", kGroupItems, &TCommandLine::Groups},
                           {"shortcuts", kShortcutItems, &TCommandLine::Shortcuts},
                           {"registry", kRegistryItems, &TCommandLine::Registry},
                           {"configs", kConfigItems, &TCommandLine::Configs},
                           {"services", kServiceItems, &TCommandLine::Services},
                           {"tasks", kTaskItems, &TCommandLine::Tasks}};

TCommandLine Bad(const std::string& error) {
    TCommandLine line;
    line.RunMode = TCommandLine::Mode::BadArguments;
    line.Error = error;
    return line;
}

}  // namespace

std::map<int, int> TCommandLine::Items() const {
    std::map<int, int> items;
    for (const TKindInfo* kind : Kinds())
        for (const Number& number : kNumbers)
            if (std::string(number.name) == kind->Names().Switch)
                items[kind->Code()] = this->*number.field;
    return items;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    TCommandLine line;
    if (arguments.empty() || LowerAscii(arguments[0]) == "cleanregistry")
        return line;

    struct Text {
        const char* name;
        std::string TCommandLine::*field;
    };
    static const Text kTexts[] = {{"old", &TCommandLine::OldAddress},
                                  {"new", &TCommandLine::NewAddress},
                                  {"list", &TCommandLine::ListFile},
                                  {"log", &TCommandLine::LogFile},
                                  {"restore", &TCommandLine::RestoreFile}};

    std::vector<std::string> seen;
    bool help = false;
    for (const std::string& argument : arguments) {
        if (argument.size() < 2 || argument[0] != '/')
            return Bad("Unexpected argument \"" + argument + "\": every argument is a switch such as /old:PATH.");
        const std::size_t colon = argument.find(':');
        const std::string name = LowerAscii(argument.substr(1, colon == std::string::npos ? colon : colon - 1));
        const bool hasValue = colon != std::string::npos;
        const std::string value = hasValue ? argument.substr(colon + 1) : std::string();
        const std::string shown = "/" + name;
        if (name == "?") {
            if (hasValue)
                return Bad("The switch /? takes no value.");
            help = true;
            continue;
        }
        for (const std::string& before : seen)
            if (before == name)
                return Bad("The switch " + shown + " is given twice.");
        seen.push_back(name);
        if (name == "apply") {
            if (hasValue)
                return Bad("The switch /apply takes no value.");
            line.Apply = true;
            continue;
        }
        if (name == "flagged") {
            if (hasValue)
                return Bad("The switch /flagged takes no value.");
            line.Flagged = true;
            continue;
        }
        if (name == "move" || name == "junction") {
            if (hasValue)
                return Bad("The switch " + shown + " takes no value.");
            (name == "move" ? line.Move : line.Junction) = true;
            continue;
        }
        if (name == "ignorecheck") {
            if (hasValue)
                return Bad("The switch /ignorecheck takes no value.");
            line.IgnoreCheck = true;
            continue;
        }
        bool known = false;
        for (const Number& number : kNumbers) {
            if (name != number.name)
                continue;
            known = true;
            if (value.empty())
                return Bad("The switch " + shown + " needs a number: " + shown + ":N, N from 0 to " +
                           std::to_string(number.items - 1) + ".");
            if (!ParseItemIndex(value, number.items, line.*number.field))
                return Bad("The number of " + shown + " must be from 0 to " + std::to_string(number.items - 1) +
                           ", not \"" + value + "\".");
        }
        for (const Text& text : kTexts) {
            if (name != text.name)
                continue;
            known = true;
            if (value.empty())
                return Bad("The switch " + shown + " needs a value: " + shown + ":" +
                           (name == "old" || name == "new" ? "PATH" : "FILE") + ".");
            line.*text.field = value;
        }
        if (!known)
            return Bad("Unknown switch \"" + argument + "\"; movix32 /? lists the switches.");
    }
    if (help) {
        TCommandLine usage;
        usage.RunMode = TCommandLine::Mode::Help;
        return usage;
    }
    if (!line.RestoreFile.empty()) {
        // A restore takes only the journal and, if wanted, where its log goes.
        for (const std::string& name : seen)
            if (name != "restore" && name != "log")
                return Bad("The switch /restore can only be given with /log, not with /" + name + ".");
        line.RunMode = TCommandLine::Mode::Restore;
        return line;
    }
    if (line.OldAddress.empty())
        return Bad("The Old address is missing: give it as /old:PATH.");
    if (line.NewAddress.empty())
        return Bad("The New address is missing: give it as /new:PATH.");
    if (line.Junction && !line.Move)
        return Bad("The switch /junction can only be given with /move.");
    if (!line.ListFile.empty() && LowerAscii(line.ListFile) == LowerAscii(line.LogFile))
        return Bad("The list and the log cannot be saved in the same file " + line.ListFile + ".");
    line.RunMode = TCommandLine::Mode::Search;
    return line;
}

std::string UnattendedUsage() {
    return "Movix 32, version " MOVIX_VERSION_TEXT "\n"
           "The search and replacement of a moved program, without the window.\n"
           "\n"
           "movix32 /old:PATH /new:PATH [/ini:N] [/groups:N] [/shortcuts:N] [/registry:N]\n"
           "        [/configs:N] [/services:N] [/tasks:N] [/list:FILE.rtf] [/log:FILE.txt]\n"
           "        [/apply] [/flagged] [/ignorecheck]\n"
           "        [/move [/junction]]\n"
           "movix32 /restore:JOURNAL [/log:FILE.txt]\n"
           "movix32 /?\n"
           "\n"
           "  /old:PATH      the Old address: where the program was\n"
           "  /new:PATH      the New address: where it is now\n"
           "  /ini:N         INI files: 0 none, 1 WIN.INI and SYSTEM.INI, 2 the Windows folder,\n"
           "                 3 the Windows folder and below, 4 all fixed drives\n"
           "  /groups:N      Program Manager groups: 0 none, 1 all groups\n"
           "  /shortcuts:N   shortcuts: 0 none, 1 Start Menu and Desktop, 2 the Windows folder\n"
           "                 and below, 3 all fixed drives\n"
           "  /registry:N    Registry: 0 none, 1 HKCR and HKCU, 2 with HKCC, 3 all of the Registry\n"
           "  /configs:N     configuration files (.json, .xml, .config, ...): 0 none, 1 the New\n"
           "                 folder, 2 with the data folders (AppData, ProgramData), 3 with\n"
           "                 every user's data folders, 4 all fixed drives\n"
           "  /services:N    services and drivers, through the service manager: 0 none, 1 all\n"
           "  /tasks:N       scheduled tasks, through the Task Scheduler: 0 none, 1 all\n"
           "                 (without a number, each choice is the one saved by the wizard)\n"
           "  /list:FILE     save the hits as a Rich Text Format table\n"
           "  /log:FILE      save the activity log as text\n"
           "  /apply         replace every hit marked Y; without it the run only searches\n"
           "                 (a dry run)\n"
           "  /flagged       mark the flagged hits Y as well, so that /apply replaces them\n"
           "  /ignorecheck   go on past a red address check (its message is still printed)\n"
           "  /move          move the program's folder from Old to New first (with /apply;\n"
           "                 without it, only say what the move would do); the references\n"
           "                 are replaced only once the folder is at New\n"
           "  /junction      with /move: leave a junction at Old that leads to New\n"
           "  /restore:FILE  put back what a replacement changed, from its undo journal\n"
           "                 (its log goes beside the journal unless /log names a file)\n"
           "\n"
           "Each hit is printed as one line: its mark, item, path, type, sub-type and\n"
           "context, separated by tabs; then the log's lines. The mark is Y, or N! for a\n"
           "flagged hit: one where the Old address may begin a longer folder name, as\n"
           "C:\\Program Files does in C:\\Program Files (x86) or C:\\Acme Tools in\n"
           "C:\\Acme Tools 2. Flagged hits are left unchanged unless /flagged is given\n"
           "(their mark is then Y!).\n"
           "\n"
           "Exit codes:\n"
           "  0  done, or nothing found\n"
           "  1  hits found, nothing was changed (a dry run, or every hit flagged N!)\n"
           "  2  the search, the replacement or the restore logged error lines (they begin\n"
           "     with *****: a kind not searched, a place that could not be read, a target\n"
           "     not replaced), or the move of the folder failed (nothing was replaced)\n"
           "  3  bad arguments, a file that cannot be written (/list, /log, the undo journal),\n"
           "     a /restore file that is not a journal of this user's, or a red address check\n"
           "     without /ignorecheck: nothing was searched or changed; or the folder cannot\n"
           "     be moved (/move): nothing was changed\n"
           "  4  cancelled by Ctrl+C; the log is written\n";
}

}  // namespace movix
