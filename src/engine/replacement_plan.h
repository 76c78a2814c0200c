// The hand-off of the found list to the replacers, and the texts of the
// activity log's header: logic that needs no window.
#pragma once

#include <string>
#include <vector>

#include "core/found_items.h"
#include "core/kinds.h"
#include "core/replace_groups.h"

namespace movix {

// One ordered group list for each kind code (index 0 stays empty).
struct TReplacePlan {
    std::vector<TReplaceGroup> Groups[kKindSlots];
};

// The target a row belongs to: the full file name for INI and LNK rows
// (Path, a backslash unless Path ends with one, Item), the group name or the
// key path for GRP and REG rows, the Item (the service's name, the task's
// full path) for SVC and TSK rows.
std::string TargetKey(const TFoundItem& row);

// What identifies the row's hit within its target: Context upper-cased
// (ASCII letters only) for INI and LNK, the item title for GRP, Context as
// it is for REG, CFG, SVC and TSK.
std::string HitText(const TFoundItem& row);

// Groups the rows, taken in order: a row joins the last group of its kind
// when the keys are equal (exact comparison), otherwise starts a new one.
// Rows of a kind outside 1..4 (the placeholder) are left out.
TReplacePlan GroupRows(const std::vector<TFoundItem>& rows);

// After the program's folder was moved from `oldFolder` to `newFolder`: the
// rows of files that lay in it (INI files, shortcuts, configuration files
// found there by the search, made before the move) name where the files are
// now. Letter case aside, as file names compare; other rows stay as they are.
void RebaseMovedFiles(std::vector<TFoundItem>& rows, const std::string& oldFolder, const std::string& newFolder);

// "dddd, mmmm d, yyyy  hh:mm AM/PM" from its parts: the day's and month's
// full names, the day, year, hour (0..23) and minute.
std::string FormatReportDate(const std::string& dayName, const std::string& monthName, int day, int year, int hour,
                             int minute);

}  // namespace movix
