// The rows of the found-items list and the rules that need no window: the
// texts of the kind and sub-type codes, the sort order, the mark changes and
// the help context of a row. The list control itself is found_list_win.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/kinds.h"

namespace movix {

// The Y/N mark of a row. The value is also the row's image index in the
// list's image list (0 green disc, 1 red hatched disc), so flipping is xor 1.
enum TMark : int { MarkY = 0, MarkN = 1 };
inline TMark FlippedMark(TMark m) {
    return static_cast<TMark>(m ^ 1);
}

struct TFoundItem {
    std::string Item;
    std::string Path;
    int Kind = 0;
    int SubType = 0;
    std::string Context;
    TMark Mark = MarkY;
    // For Registry value hits: the value's own name, which the Context
    // cannot always tell (a name may hold "=" or be "(default)").
    std::string ValueName;
    // The Context has the Old address where its last name may go on
    // (C:\Acme Tools 2, C:\Program Files (x86) for C:\Program Files;
    // MaybeLongerName): it may name a longer folder. The row is a hit like
    // any other and is rewritten when marked Y; the list, its help and the
    // report say so, and the unattended mode starts it as N.
    bool MaybeLonger = false;
    // A Registry value holds Old outside quotes with more text after it on
    // the value (C:\Old\app.exe -x), and New holds a blank: should a
    // program read the value as a command line, New would part its argument
    // in two. The values Windows reads as command lines are rewritten in
    // quotes and never flagged so; of any other the Registry cannot tell.
    // Shown and handled as MaybeLonger is, with its own help.
    bool UnquotedBlank = false;
};

// Whether the row is flagged for review, for either reason.
inline bool IsFlagged(const TFoundItem& row) {
    return row.MaybeLonger || row.UnquotedBlank;
}

// The row of a new hit, marked Y; flagged for review as its kind judges it
// (TKindInfo::JudgeRow): as maybe naming a longer folder when its Context
// says so, and for instance, with the New address, a Registry row whose
// value text holds Old unquoted with more after it when New holds a blank,
// unless the value is one the Registry's replacer rewrites as a command
// line (see SetCommandLineValues). `oldUpper` is the Old address as
// UpperText gives it (empty: no flag).
TFoundItem MakeFoundItem(const std::string& item, const std::string& path, const std::string& context, int kind,
                         int subType, const std::string& valueName, std::string_view oldUpper,
                         std::string_view newAddr = {});

// Which Registry values (a full key path and the value's name) the
// Registry's replacer rewrites as command lines, putting New in quotes
// where it must: their rows are not flagged UnquotedBlank. The Windows
// program installs the Registry's own rule; without one, no value is.
using TCommandLineValue = bool (*)(std::string_view keyPath, std::string_view valueName);
void SetCommandLineValues(TCommandLineValue isCommandLine);

// Whether New cannot be written into a configuration file's line (of the
// file named `fileName`) without changing how it reads, judged on the line
// alone: its row is flagged UnquotedBlank for review, and the replacement
// leaves the line as it is. The configuration files' kind installs its rule;
// without one, no line is.
using TConfigLineRefused = bool (*)(std::string_view fileName,
                                    std::string_view line,
                                    std::string_view oldAddr,
                                    std::string_view newAddr);
void SetConfigLineRefusal(TConfigLineRefused refused);

// A Registry row of sub-type kSubTypeEnvData names Old through environment
// variables (%SystemDrive%\Acme), so its Context need not hold Old as it is:
// MakeFoundItem judges the value's text in it as this expansion gives it,
// the one the search found the hit in (which depends on the key: `keyPath`
// is the row's Path). The Windows program installs the Registry search's
// own; without one, the Context is judged as it is.
using TTextExpansion = std::string (*)(std::string_view keyPath, std::string_view text);
void SetTextExpansion(TTextExpansion expand);

// The rules installed above, as the kinds' JudgeRow asks them; null where
// none is.
TCommandLineValue CommandLineValues();
TConfigLineRefused ConfigLineRefusal();
TTextExpansion TextExpansion();

// The text all five columns of the placeholder row show.
extern const char* const NoneText;

// The row the list holds while nothing has been found: "<none>" in every
// column, marked N, kind KindNone, sub-type 0.
TFoundItem PlaceholderItem();
// Recognised by its kind as well as its text: a real hit may well be called
// "<none>" (a Registry value, say) and must never be taken for the placeholder.
bool IsPlaceholder(const TFoundItem& row);

// The kind code of the row that stands for the move of the folder itself
// when the user chose it: no target of any kind (the replacement's groups
// leave it out), always the first row whatever the sort, and its mark says
// whether the folder is moved. Far above the kinds of target, so that no
// table indexed by kind code ever reaches it.
constexpr int KindMove = 100;
// The row of the move: Item the folder's name, Path Old, Type "MOV",
// SubType "dir", Context "Old -> New"; marked Y.
TFoundItem MoveRowItem(const std::string& oldFolder, const std::string& newFolder);
inline bool IsMoveRow(const TFoundItem& row) {
    return row.Kind == KindMove;
}

// "INI", "GRP", "LNK", "REG", "CFG", "SVC", "TSK" for 1..7, "MOV" for the
// move's row; "err" for 0 and any other code.
const char* KindText(int kind);
// "sec", "cmd", "ico", "dir", "arg", "key", "val", "dat" (8 and 9), "msz",
// "env" for 1..11; the spellings for 12..16; "cmd", "desc" for 20, 21
// (services); "cmd", "arg", "dir" for 25..27 (tasks); "err" for 0 and any
// other code.
const char* SubTypeText(int subType);

enum FoundColumn : int { ColItem = 0, ColPath = 1, ColType = 2, ColSubType = 3, ColContext = 4 };
constexpr int FoundColumnCount = 5;
extern const char* const FoundColumnCaptions[FoundColumnCount];

// The text a row shows in a column (0..4); empty for any other column.
std::string_view ColumnText(const TFoundItem& row, int column);

// The list's own help context, also the answer for rows without one of their own.
constexpr int LvFoundHelpContext = 32;

// The code of the registered kind whose "Type" column text this is, or 0.
int KindNumberFromTypeText(std::string_view typeText);
// The help context of a row by its "Type" text and sub-type code, as its
// kind gives it (TKindInfo::HelpContext); 32 for every combination the help
// file has no topic for.
int HelpContextForRow(std::string_view typeText, int subType);
// The popup that explains a row flagged as maybe naming a longer folder.
constexpr int LongerNameHelpContext = 57;
// The popup that explains a row flagged UnquotedBlank.
constexpr int UnquotedBlankHelpContext = 59;
// The popup that explains the move's row.
constexpr int MoveRowHelpContext = 90;
// The help context of a row: MoveRowHelpContext for the move's row,
// LongerNameHelpContext or UnquotedBlankHelpContext for a flagged hit (the
// first where both apply), otherwise as HelpContextForRow.
int HelpContextOfRow(const TFoundItem& row);

// A locale text comparison answering -1, 0 or +1. The window passes the
// system's (CompareStringEx); tests pass their own.
using TextCompare = int (*)(std::string_view a, std::string_view b);

// lvFoundCompare: negative, zero or positive. A negative sortColumn is the
// fixed order of the replacement run (Type, then Path, then Item, always
// ascending); 0..4 compares that column's texts, negated when descending.
int CompareFoundItems(const TFoundItem& a, const TFoundItem& b, int sortColumn, bool descending, TextCompare compare);

// The order of the rows after a sort: result[k] is the old index of the row
// that goes to position k. Rows that compare equal keep their relative order,
// and the move's row stays in front of all others.
std::vector<std::size_t> SortedOrder(const std::vector<TFoundItem>& rows,
                                     int sortColumn,
                                     bool descending,
                                     TextCompare compare);

// Moves the move's row (if any) to the front of an order, the rest kept as
// they are.
void MoveRowFirst(const std::vector<TFoundItem>& rows, std::vector<std::size_t>& order);

// Menu item tags of the mark commands.
constexpr int TagToggle = 1;
constexpr int TagYes = 2;
constexpr int TagNo = 3;
// The mark a selected row gets from the command with this tag; a tag other
// than 1, 2 or 3 leaves it unchanged.
TMark MarkAfterCommand(TMark current, int tag);

}  // namespace movix
