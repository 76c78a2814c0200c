// The Program Manager substitute's model of its groups: the execute
// commands it takes, the replies it gives, its group files, and what each
// command does to the groups. Portable, for the substitute and its tests;
// the product itself only sends commands and reads replies
// (targets/progman_commands.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "targets/progman_commands.h"

namespace movix {

// One bracketed command of an execute: [Name(arg1,arg2,...)] or [Name].
struct ProgManCommand {
    std::string Name;
    std::vector<std::string> Args;
};

struct ProgManCommandList {
    bool Ok = false;
    std::vector<ProgManCommand> Commands;  // empty unless Ok
    std::string Error;                     // what is wrong and where, unless Ok
};

// Parses the text of an execute: any number of commands, separated by
// nothing or by blanks and line ends. An argument ends at a comma or at the
// closing parenthesis; blanks around it are dropped. An argument in double
// quotes may hold commas, parentheses, brackets and blanks, and a doubled
// quote inside stands for one quote. An unquoted argument must not hold a
// quote, a parenthesis or a bracket, and no argument may hold a line end:
// such text is refused rather than guessed at. "()" has no arguments.
// The whole text is refused at its first fault, so nothing of a malformed
// execute is carried out.
ProgManCommandList ParseProgManCommands(std::string_view text);

// ---------------------------------------------------------------- groups

// A group as the substitute keeps it. `FileName` names its file in the
// group folder (empty until first saved); `Dirty` marks a group whose file
// must be written again.
struct ProgManGroup {
    std::string Name;
    std::string Path;  // as given to CreateGroup; may be empty
    std::vector<TGroupItemLine> Items;
    std::string FileName;
    bool Dirty = false;
};

// The reply to "Groups": each group name followed by CR LF.
std::string FormatGroupsReply(const std::vector<ProgManGroup>& groups);
// The reply to a group's name, each line followed by CR LF. `shownPath`
// stands in the first line as the group's path.
std::string FormatGroupReply(const ProgManGroup& group, std::string_view shownPath);

// A group file: a header line, "Name=", "Path=" and one "Item=" line per
// item with the ten fields separated by tabs. A '%' or a tab inside a text
// is written as %25 or %09. Lines end with CR LF. No text holds a line end:
// it could not be told in a reply.
std::string FormatGroupFile(const ProgManGroup& group);
// Nothing when the text is not a complete, well-formed group file; a file
// is never read in part, so that writing the group back loses nothing.
std::optional<ProgManGroup> ParseGroupFile(std::string_view text);

// The groups of the substitute and what its execute commands do to them:
//   CreateGroup(name[,path])   makes the group (if new) the current group
//   ShowGroup(name[,showcmd])  makes an existing group the current group
//   AddItem(cmdline[,title[,iconpath[,iconindex[,x,y[,workdir[,hotkey[,minimize[,separate]]]]]]]])
//                              adds an item to the current group; after a
//                              ReplaceItem it takes the replaced item's place
//                              in the list (and its position when none is given)
//   ReplaceItem(title)         removes the item and remembers its place
//   DeleteItem(title)          removes the item
//   DeleteGroup(name[,x])      removes the group
//   ExitProgman[(x)]           asks the server to end after this execute
// Command names compare without regard to the case of ASCII letters, group
// names and item titles as `sameName` says (by default the same way). An
// empty optional argument takes its default.
class ProgManGroupSet {
  public:
    // Whether two group names or item titles name the same group or item.
    using NameCompare = bool (*)(std::string_view a, std::string_view b);
    explicit ProgManGroupSet(NameCompare sameName = nullptr) : sameName_(sameName) {}

    struct Outcome {
        bool Ok = false;
        std::string Error;  // the failing command and why, unless Ok
        bool Quit = false;
    };

    // The most groups and the most items of one group.
    static constexpr std::size_t kMaxGroups = 1024;
    static constexpr std::size_t kMaxItems = 4096;
    static constexpr std::size_t kMaxGroupName = 255;

    // Carries out the commands of one execute, all or none: a malformed text
    // or a command that fails (an unknown group or item, a missing current
    // group, a bad number) leaves every group as it was.
    Outcome Execute(std::string_view text);

    // The reply to a request: "Groups" or a group's name (any letter case);
    // nothing for any other item. A group without a path of its own shows
    // `folder` + "\" + its file name.
    std::optional<std::string> Reply(std::string_view item, std::string_view folder) const;

    // Adds a group read from its file; false (and nothing added) when a
    // group of that name is already there.
    bool Load(ProgManGroup group);

    const ProgManGroup* Find(std::string_view name) const;
    std::vector<ProgManGroup>& Groups() { return groups_; }
    const std::vector<ProgManGroup>& Groups() const { return groups_; }

    // File names of deleted groups whose files are still to be removed; the
    // owner removes them and clears the list.
    std::vector<std::string>& RemovedFiles() { return removedFiles_; }
    const std::vector<std::string>& RemovedFiles() const { return removedFiles_; }

  private:
    bool SameName(std::string_view a, std::string_view b) const;
    ProgManGroup* FindMutable(std::string_view name);
    std::string Run(const ProgManCommand& command, bool& quit);  // empty when it succeeded

    NameCompare sameName_ = nullptr;
    std::vector<ProgManGroup> groups_;
    std::string current_;  // name of the current group, empty for none
    // Where the next AddItem goes after a ReplaceItem.
    struct Slot {
        std::string Group;
        std::size_t Index = 0;
        int XPos = 0;
        int YPos = 0;
    };
    std::optional<Slot> slot_;
    std::vector<std::string> removedFiles_;
};

}  // namespace movix
