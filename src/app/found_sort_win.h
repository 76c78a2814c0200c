// Sorting the found rows by the locale comparison, fast enough for hundreds of
// thousands of rows. One CompareStringEx call costs microseconds, so a plain
// comparison sort of 200,000 rows (about 3.5 million calls) takes seconds.
// Instead each distinct text of the sorted column gets a rank: the texts are
// ordered by their locale sort keys, and every neighbouring pair is then
// checked with CompareStringEx itself, so the ranks agree with CompareStringEx
// exactly (should a sort key ever disagree, the texts are sorted with
// CompareStringEx instead). Sorting rows by rank then gives the very order a
// stable sort with CompareStringEx gives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "core/found_items.h"

namespace movix {

// CompareStringEx under the user's default locale without flags (case counts),
// mapped to -1, 0, +1.
int CompareTextLocale(std::string_view a, std::string_view b);

// Appends the locale sort key of text to key; false when none can be made.
using SortKeyMaker = bool (*)(std::string_view text, std::string& key);
bool LocaleSortKey(std::string_view text, std::string& key);

// Rank of every text: rank[i] < rank[j] exactly when CompareTextLocale says
// texts[i] < texts[j], equal ranks when it says equal. The texts must be
// distinct. makeKey is the sort key source (tests pass a wrong one to see
// that the check catches it).
std::vector<std::uint32_t> LocaleRanks(const std::vector<std::string_view>& texts,
                                       SortKeyMaker makeKey = LocaleSortKey);

// The same order as SortedOrder(rows, sortColumn, descending, CompareTextLocale).
std::vector<std::size_t> SortedOrderLocale(const std::vector<TFoundItem>& rows, int sortColumn, bool descending);

// Setting a selection again after a sort. The list control keeps its
// selection as ranges of rows; a row selected next to a selected one joins
// their ranges, and under Wine each join walks every range there is, so a
// large scattered selection set row by row in order took minutes. The steps
// keep that cost low: either the runs of two rows or more first, longest
// first (their joins happen while there are few ranges), then the single
// rows, which join nothing; or every row selected at once and the rows
// between the runs cleared from the last one up (each clear finds its range
// first in the list). Whichever costs less is taken.
struct TSelectionSteps {
    bool SelectAllFirst = false;  // select every row, then clear Rows
    std::vector<int> Rows;        // in this order: rows to select, or to clear
};
TSelectionSteps SelectionSteps(const std::vector<int>& selectedAscending, int rowCount);
// Selects exactly the given rows (ascending, none selected now) of a list view.
void SelectRows(HWND listView, const std::vector<int>& selectedAscending, int rowCount);

}  // namespace movix
