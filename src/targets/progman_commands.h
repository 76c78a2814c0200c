// Program Manager's DDE texts, both ways: the replies to the requests
// "Groups" and <group name>, the bracketed command strings of an execute,
// and the groups that the Program Manager substitute (tools/progman) keeps
// and rewrites with those commands. No Windows header: the DDE halves pass
// plain text in and out, so all of this is tested natively.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/replace_groups.h"

namespace movix {

// ---------------------------------------------------------------- replies

// One program item of a group reply, in the order of the reply's fields:
//   "ItemName","CommandLine",DefaultDir,IconPath,XPos,YPos,IconIndex,HotKey,Minimize,SeparateMemory
struct TGroupItemLine {
    std::string ItemName;
    std::string CommandLine;
    std::string DefaultDir;
    std::string IconPath;
    int XPos = 0;
    int YPos = 0;
    int IconIndex = 0;
    int HotKey = 0;
    int Minimize = 0;
    int SeparateMemory = 0;

    bool operator==(const TGroupItemLine& o) const;
    bool operator!=(const TGroupItemLine& o) const { return !(*this == o); }
};

// Splits a reply into lines: CR LF ends a line, and so does a lone CR or a
// lone LF. A final line end gives no empty last line.
std::vector<std::string> SplitReplyLines(std::string_view text);

// Reads one item line by position: the item name runs from the second
// character to the next quote followed by a comma; the command line starts
// three characters after that quote and also ends at a quote followed by a
// comma; the directory starts two characters after that one; the remaining
// fields end at commas, the last runs to the end of the line. The six number
// fields read as 0 when they are empty or not a decimal integer (blanks
// around the digits are allowed). A line that ends early leaves the fields
// after it empty or 0; a quoted field whose closing quote-and-comma is
// missing takes the rest of the line without a final quote.
TGroupItemLine ParseGroupItemLine(std::string_view line);

// The reply form of an item, without a line end. ParseGroupItemLine reads it
// back unchanged unless the name or command line holds a quote followed by a
// comma, or the directory or icon path holds a comma: the reply format has
// no way to carry those. A caller that must not misread an item can format
// what it parsed and compare it with the line it received.
std::string FormatGroupItemLine(const TGroupItemLine& item);

// A whole group reply: the first line describes the group,
//   "Group name",group path,item count
// and each further line is an item.
struct ProgManGroupReply {
    std::string Name;
    std::string Path;
    int ItemCount = 0;
    std::vector<std::string> ItemLines;  // as received, in order
    std::vector<TGroupItemLine> Items;   // ItemLines parsed, same order
};

// Nothing when the text has no first line. Empty item lines are passed over.
std::optional<ProgManGroupReply> ParseGroupReply(std::string_view text);

// True when an item line reads without doubt: it opens with a quote and
// holds exactly ten fields as ParseGroupItemLine counts them. A line with
// fewer has lost fields; one with more has a comma inside its directory or
// icon path, which the reply cannot tell from a field's end.
bool GroupItemLineHasTenFields(std::string_view line);

// ---------------------------------------------------------------- commands

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

// The longest argument and the most arguments a command may have, and the
// longest command name.
constexpr std::size_t kProgManMaxField = 4096;
constexpr std::size_t kProgManMaxArgs = 16;
constexpr std::size_t kProgManMaxName = 64;

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

// `field` as one argument of a command: unchanged when it can go bare,
// otherwise in double quotes with inner quotes doubled. Quoted are fields
// with a comma, a quote, a parenthesis, a bracket, or a blank at either end.
std::string QuoteProgManArgument(std::string_view field);

// Whether `field` can go into a command as one argument so that Program
// Manager reads it back unchanged: quoted where needed (QuoteProgManArgument),
// it must then hold no quote of its own (Program Manager knows no way to
// escape one), no line end and no NUL, and not be absurdly long.
bool ProgManArgumentSafe(std::string_view field);

// "[CreateGroup(<name>)]", the name quoted where needed.
std::string CreateGroupCommand(std::string_view groupName);

// Rewrites one group's items (the replacer's steps after the group's reply
// has been fetched). `replyLines` is the group's reply split into lines; the
// first describes the group and is passed over. For each item line in order,
// the hits of `group` whose Text equals the item's name exactly (letter case
// counts) are applied and removed: sub-type 2 changes `oldAddr` to `newAddr`
// in the command line, 3 in the icon path, 4 in the default directory. A
// changed item adds "[ReplaceItem(name)]" and "[AddItem(...)]" to
// `commands` and logs the line as received and the AddItem arguments. Once
// no hits are left, later lines are not read.
//
// ReplaceItem removes the item before AddItem puts it back, so an item is
// sent only when AddItem cannot be misread: every text field is quoted where
// it holds a comma, a parenthesis or a bracket, and an item that still could
// not be read back as it was meant (a line without exactly ten fields, a
// quote in a field, no command line, or an earlier item whose name differs
// only in letter case, in any script, and would be replaced in its stead) is
// left unchanged, its hits are dropped, and a line beginning with "*****"
// says why. Letter case is compared as the upper-casing installed in
// core/strings sees it.
//
// Ends with "Successfully updated <group>", or, when hits were not found,
// "***** Updated <group>, but some items not found:" and one line per hit
// left; or, when an item was left unchanged, "***** Updated <group>, but
// some items left unchanged".
void UpdateProgManGroup(TReplaceGroup& group,
                        const std::vector<std::string>& replyLines,
                        std::string_view oldAddr,
                        std::string_view newAddr,
                        std::vector<std::string>& commands,
                        const TLogLine& log);

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
