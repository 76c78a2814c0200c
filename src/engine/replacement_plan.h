// The hand-off of the found list to the replacers, and the texts of the
// activity log's header: logic that needs no window.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/found_items.h"
#include "core/kinds.h"
#include "core/replace_groups.h"

namespace movix {

// One ordered group list for each kind code: indexed by code, and walked
// over the kinds that have groups, by code.
class TKindGroups {
  public:
    std::vector<TReplaceGroup>& operator[](int kind) { return groups_[kind]; }
    // Empty for a kind without groups.
    const std::vector<TReplaceGroup>& operator[](int kind) const {
        static const std::vector<TReplaceGroup> kNone;
        const auto it = groups_.find(kind);
        return it != groups_.end() ? it->second : kNone;
    }
    struct const_iterator {
        std::map<int, std::vector<TReplaceGroup>>::const_iterator at;
        const std::vector<TReplaceGroup>& operator*() const { return at->second; }
        const_iterator& operator++() {
            ++at;
            return *this;
        }
        bool operator!=(const const_iterator& other) const { return at != other.at; }
    };
    const_iterator begin() const { return {groups_.begin()}; }
    const_iterator end() const { return {groups_.end()}; }

  private:
    std::map<int, std::vector<TReplaceGroup>> groups_;
};

struct TReplacePlan {
    TKindGroups Groups;
};

// The target a row belongs to, as its kind says (TKindInfo::TargetKey).
std::string TargetKey(const TFoundItem& row);

// What identifies the row's hit within its target, as its kind says
// (TKindInfo::HitOf).
std::string HitText(const TFoundItem& row);

// Groups the rows, taken in order: a row joins the last group of its kind
// when the keys are equal (exact comparison), otherwise starts a new one.
// Rows of no registered kind (the placeholder, the move) are left out.
TReplacePlan GroupRows(const std::vector<TFoundItem>& rows);

// After the program's folder was moved from `oldFolder` to `newFolder`: the
// rows of files that lay in it (rows of the kinds that name files, found
// there by the search made before the move) name where the files are now.
// Letter case aside, as file names compare; other rows stay as they are.
void RebaseMovedFiles(std::vector<TFoundItem>& rows, const std::string& oldFolder, const std::string& newFolder);

// "dddd, mmmm d, yyyy  hh:mm AM/PM" from its parts: the day's and month's
// full names, the day, year, hour (0..23) and minute.
std::string FormatReportDate(const std::string& dayName, const std::string& monthName, int day, int year, int hour,
                             int minute);

}  // namespace movix
