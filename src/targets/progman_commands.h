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

// A decimal integer with an optional sign that fits an int, with blanks or
// tabs around it; nothing for anything else.
std::optional<int> ReadProgManNumber(std::string_view s);
// The text without the blanks and tabs around it.
std::string_view TrimProgManBlanks(std::string_view s);

// The longest argument and the most arguments a command may have, and the
// longest command name.
constexpr std::size_t kProgManMaxField = 4096;
constexpr std::size_t kProgManMaxArgs = 16;
constexpr std::size_t kProgManMaxName = 64;

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

// The arguments of the AddItem command that makes an item as `item` holds
// it: command line, name, icon path and index, position, folder, hot key,
// minimize and separate-memory flags, the texts quoted where needed.
std::string AddItemArguments(const TGroupItemLine& item);

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

}  // namespace movix
