// The fast locale sort against the plain comparison sort it stands in for:
// the same order for every column and direction, and the same ranks when the
// sort keys are made wrong on purpose.
#include "app/found_sort_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace movix {
namespace {

// Texts that a word sort treats specially: case, hyphen and apostrophe,
// accented letters of the ANSI code page, digits, punctuation, blanks.
std::vector<std::string> TrickyTexts(std::size_t count, unsigned seed) {
    const char* pieces[] = {"a",  "A",  "b",       "B",   "-",  "'",    " ",     "\xE9", "\xC9",  "\xDF", "\xE6",
                            "\\", ":",  "0",       "9",   "_",  "~",    "co-op", "coop", "Co-op", "(",    "default)",
                            "Z",  "zz", "C:\\WIN", "ini", "\t", "\xF1", "\xD1",  "ss",   "ae",    "{",    "}"};
    std::mt19937 random(seed);
    std::vector<std::string> texts;
    texts.push_back("");
    while (texts.size() < count) {
        std::string text;
        const int length = static_cast<int>(random() % 7);
        for (int i = 0; i < length; ++i)
            text += pieces[random() % std::size(pieces)];
        texts.push_back(text);
    }
    return texts;
}

std::vector<TFoundItem> RowsFrom(const std::vector<std::string>& texts, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<TFoundItem> rows;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        TFoundItem row;
        // Reused texts give equal rows, whose relative order must survive.
        row.Item = texts[random() % texts.size()];
        row.Path = texts[random() % (texts.size() / 4 + 1)];
        row.Context = texts[i];
        row.Kind = static_cast<int>(random() % 6);  // 0 and 5 show "err"
        row.SubType = static_cast<int>(random() % 11);
        row.Mark = (random() & 1) ? MarkY : MarkN;
        rows.push_back(row);
    }
    return rows;
}

void ExpectSameOrderAsComparisonSort(const std::vector<TFoundItem>& rows) {
    for (int column = -1; column < FoundColumnCount; ++column)
        for (bool descending : {false, true})
            EXPECT_EQ(SortedOrderLocale(rows, column, descending),
                      SortedOrder(rows, column, descending, CompareTextLocale))
                << "column " << column << (descending ? " descending" : " ascending");
}

TEST(FoundSort, SameOrderAsComparisonSortOnTrickyTexts) {
    ExpectSameOrderAsComparisonSort(RowsFrom(TrickyTexts(1500, 1), 2));
}

TEST(FoundSort, SameOrderAsComparisonSortOnTwoThreads) {
    // Enough distinct texts for the keys and the check to be split in two.
    ExpectSameOrderAsComparisonSort(RowsFrom(TrickyTexts(12000, 3), 4));
}

TEST(FoundSort, TheMoveRowStaysFirst) {
    std::vector<TFoundItem> rows = RowsFrom(TrickyTexts(300, 5), 6);
    rows.insert(rows.begin() + 150, MoveRowItem("C:\\Quill", "D:\\Quill"));
    ExpectSameOrderAsComparisonSort(rows);
    for (int column = -1; column < FoundColumnCount; ++column)
        EXPECT_EQ(SortedOrderLocale(rows, column, true).front(), 150u) << "column " << column;
}

TEST(FoundSort, EmptySingleAndAllEqualLists) {
    EXPECT_TRUE(SortedOrderLocale({}, 0, false).empty());
    EXPECT_EQ(SortedOrderLocale({PlaceholderItem()}, -1, false), (std::vector<std::size_t>{0}));
    std::vector<TFoundItem> same(5, PlaceholderItem());
    EXPECT_EQ(SortedOrderLocale(same, 1, true), (std::vector<std::size_t>{0, 1, 2, 3, 4}));
}

// Ranks must order exactly as the comparison does, pair by pair.
void ExpectRanksAgreeWithComparison(const std::vector<std::string_view>& texts,
                                    const std::vector<std::uint32_t>& rank) {
    ASSERT_EQ(rank.size(), texts.size());
    int disagreements = 0;
    for (std::size_t i = 0; i < texts.size(); ++i)
        for (std::size_t j = 0; j < texts.size(); ++j) {
            const int byRank = rank[i] < rank[j] ? -1 : (rank[i] > rank[j] ? 1 : 0);
            disagreements += byRank != CompareTextLocale(texts[i], texts[j]);
        }
    EXPECT_EQ(disagreements, 0);
}

std::vector<std::string_view> Distinct(const std::vector<std::string>& texts, std::set<std::string>& store) {
    store.insert(texts.begin(), texts.end());
    return std::vector<std::string_view>(store.begin(), store.end());
}

bool NoKey(std::string_view, std::string&) {
    return true;
}
bool FailingKey(std::string_view text, std::string& key) {
    return text.size() < 5 && LocaleSortKey(text, key);
}
bool ReversedKey(std::string_view text, std::string& key) {
    std::string own;
    if (!LocaleSortKey(text, own))
        return false;
    key.append(own.rbegin(), own.rend());
    return true;
}
// Right for most texts; those beginning with "b" claim to sort first.
bool MostlyRightKey(std::string_view text, std::string& key) {
    return (!text.empty() && text[0] == 'b') ? true : LocaleSortKey(text, key);
}

TEST(FoundSort, RanksAgreeWithComparisonWhateverTheKeys) {
    std::set<std::string> store;
    const std::vector<std::string_view> texts = Distinct(TrickyTexts(400, 7), store);
    ExpectRanksAgreeWithComparison(texts, LocaleRanks(texts));
    ExpectRanksAgreeWithComparison(texts, LocaleRanks(texts, MostlyRightKey));  // repaired by insertion
    ExpectRanksAgreeWithComparison(texts, LocaleRanks(texts, ReversedKey));     // sorted again in full
    ExpectRanksAgreeWithComparison(texts, LocaleRanks(texts, NoKey));
    ExpectRanksAgreeWithComparison(texts, LocaleRanks(texts, FailingKey));  // no key for long texts
}

TEST(FoundSort, ComparisonIsCaseSensitiveAndMapsToMinusOneZeroOne) {
    EXPECT_NE(CompareTextLocale("abc", "ABC"), 0);
    EXPECT_EQ(CompareTextLocale("abc", "ABC"), -CompareTextLocale("ABC", "abc"));
    EXPECT_EQ(CompareTextLocale("", ""), 0);
    EXPECT_EQ(CompareTextLocale("", "a"), -1);
    EXPECT_EQ(CompareTextLocale("b", "a"), 1);
    // A word sort: the hyphen weighs less than letters do.
    EXPECT_EQ(CompareTextLocale("co-op", "coop"), CompareStringA(LOCALE_USER_DEFAULT, 0, "co-op", -1, "coop", -1) - 2);
}

// The steps give exactly the selection, and join ranges only while there
// are few: runs of two rows or more first, longest first; a scattered
// selection over many rows is made by clearing instead.
TEST(SelectionSteps, GiveTheSelectionInACheapOrder) {
    struct Case {
        std::vector<int> selected;
        int rows;
        bool selectAllFirst;
        std::vector<int> steps;
    };
    std::vector<int> scattered;
    for (int i = 0; i < 20000; i += (i % 3 == 0 ? 1 : 2))
        scattered.push_back(i);
    const Case cases[] = {
        {{}, 10, false, {}},
        {{4}, 10, false, {4}},
        {{0, 2, 3, 7, 8, 9}, 10, false, {7, 8, 9, 2, 3, 0}},
        {scattered, 20000, true, {}},
    };
    for (const Case& c : cases) {
        const TSelectionSteps steps = SelectionSteps(c.selected, c.rows);
        EXPECT_EQ(steps.SelectAllFirst, c.selectAllFirst) << c.selected.size();
        if (!c.selectAllFirst)
            EXPECT_EQ(steps.Rows, c.steps);
        std::set<int> result;
        if (steps.SelectAllFirst)
            for (int i = 0; i < c.rows; ++i)
                result.insert(i);
        for (std::size_t k = 0; k < steps.Rows.size(); ++k) {
            if (steps.SelectAllFirst) {
                EXPECT_EQ(result.erase(steps.Rows[k]), 1u);
                if (k > 0)
                    EXPECT_LT(steps.Rows[k], steps.Rows[k - 1]) << "cleared from the last row up";
            } else {
                EXPECT_TRUE(result.insert(steps.Rows[k]).second);
            }
        }
        EXPECT_EQ(result, std::set<int>(c.selected.begin(), c.selected.end()));
    }
}

}  // namespace
}  // namespace movix
