// The command line of an unattended run: the same search and replacement as
// the wizard, started by a script, with its choices as switches instead of
// pages. Parsed here without any Windows header, so every case can be tested
// natively.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace movix {

// What the process ends with; a script tells the outcomes apart by them.
constexpr int kExitDone = 0;          // done, or nothing found
constexpr int kExitHitsFound = 1;     // hits found, none replaced: no /apply, or all flagged N
constexpr int kExitErrorLines = 2;    // the replacement (or restore) logged "*****" lines
constexpr int kExitBadArguments = 3;  // bad arguments, or a red address check without /ignorecheck
constexpr int kExitCancelled = 4;     // stopped by Ctrl+C

// How many items each option page's radio group has: a switch's number is
// an item index below that.
constexpr int kIniItems = 5;
constexpr int kGroupItems = 2;
constexpr int kShortcutItems = 4;
constexpr int kRegistryItems = 4;
constexpr int kConfigItems = 5;
constexpr int kServiceItems = 2;
constexpr int kTaskItems = 2;

struct TCommandLine {
    enum class Mode {
        Wizard,        // no arguments, or "CleanRegistry": the window's own start
        Help,          // /? : the usage text
        Search,        // /old and /new: a search, and with /apply the replacement
        Restore,       // /restore:FILE
        BadArguments,  // Error says why
    };
    Mode RunMode = Mode::Wizard;
    std::string OldAddress, NewAddress;
    // Item indexes of the option pages; -1: the saved setting.
    int Ini = -1, Groups = -1, Shortcuts = -1, Registry = -1, Configs = -1, Services = -1, Tasks = -1;
    // The same by kind code, for the kinds whose switch is one of these.
    std::map<int, int> Items() const;
    std::string ListFile, LogFile, RestoreFile;
    bool Apply = false;
    // /flagged: the hits whose Old address may begin a longer name start as
    // Y too; without it they start as N and are left unchanged.
    bool Flagged = false;
    // /ignorecheck: a red address check is reported and the run goes on,
    // as the wizard lets the user go on past it.
    bool IgnoreCheck = false;
    // /move: the program's folder is moved from Old to New before the
    // replacement (with /apply; without it only what the move would do is
    // said). /junction: a junction is left at Old that leads to New.
    bool Move = false;
    bool Junction = false;
    // One line that says what is wrong with the arguments.
    std::string Error;
};

// Parses the arguments after the program's name. A switch is "/" and its
// name, in any letter case, then ":" and its value where it takes one (the
// value is everything after the first colon, so "C:\X" stays whole).
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The text /? prints: the switches and the exit codes, lines ended by LF.
std::string UnattendedUsage();

}  // namespace movix
