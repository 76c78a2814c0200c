#include "app/found_sort_win.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <numeric>
#include <unordered_map>

#include "platform/locale_text_win.h"
#include "platform/wide_text_win.h"
#include "platform/work_threads.h"

namespace movix {

namespace {

// Below this many texts a second thread costs more than it saves.
constexpr std::size_t ParallelThreshold = 4096;

// Column ranks of every row: the distinct texts of the column are ranked
// once, and each row takes the rank of its text.
std::vector<std::uint32_t> ColumnRanks(const std::vector<TFoundItem>& rows, int column) {
    std::unordered_map<std::string_view, std::uint32_t> index;
    index.reserve(rows.size());
    std::vector<std::string_view> texts;
    std::vector<std::uint32_t> textOfRow(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string_view text = ColumnText(rows[i], column);
        const auto found = index.emplace(text, static_cast<std::uint32_t>(texts.size()));
        if (found.second)
            texts.push_back(text);
        textOfRow[i] = found.first->second;
    }
    const std::vector<std::uint32_t> rankOfText = LocaleRanks(texts);
    for (std::uint32_t& t : textOfRow)
        t = rankOfText[t];
    return textOfRow;
}

}  // namespace

int CompareTextLocale(std::string_view a, std::string_view b) {
    switch (CompareLocale(a, b, false)) {
        case CSTR_LESS_THAN:
            return -1;
        case CSTR_EQUAL:
            return 0;
        case CSTR_GREATER_THAN:
            return 1;
        default:
            // The locale service refused (it does for texts longer than an int
            // can count). A byte order keeps the sort consistent rather than
            // answering "less" for both orders of a pair.
            return a < b ? -1 : (b < a ? 1 : 0);
    }
}

bool LocaleSortKey(std::string_view text, std::string& key) {
    if (text.empty())
        return true;  // the empty key sorts first, as the empty text does
    // The key of the wide text, as CompareLocale compares it.
    const std::wstring wide = Utf8ToWide(text);
    if (wide.size() > INT_MAX / 8)
        return false;
    const int length = static_cast<int>(wide.size());
    const std::size_t start = key.size();
    key.resize(start + wide.size() * 8 + 64);
    int n =
        LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY, wide.c_str(), length,
                      reinterpret_cast<LPWSTR>(&key[start]), static_cast<int>(key.size() - start), nullptr, nullptr, 0);
    if (n == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        n = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY, wide.c_str(), length, nullptr, 0, nullptr, nullptr,
                          0);
        if (n > 0) {
            key.resize(start + static_cast<std::size_t>(n));
            n = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY, wide.c_str(), length,
                              reinterpret_cast<LPWSTR>(&key[start]), n, nullptr, nullptr, 0);
        }
    }
    if (n <= 0) {
        key.resize(start);
        return false;
    }
    key.resize(start + static_cast<std::size_t>(n));
    return true;
}

std::vector<std::uint32_t> LocaleRanks(const std::vector<std::string_view>& texts, SortKeyMaker makeKey) {
    const std::size_t count = texts.size();
    std::vector<std::uint32_t> rank(count, 0);
    if (count < 2)
        return rank;

    // 1. A sort key per text, kept in one buffer per half.
    std::vector<std::size_t> keyBegin(count), keyEnd(count);
    std::string keys[2];
    bool keysOk[2] = {true, true};
    ForHalves(count, ParallelThreshold, [&](std::size_t begin, std::size_t end) {
        const int part = begin == 0 ? 0 : 1;
        for (std::size_t i = begin; i < end; ++i) {
            keyBegin[i] = keys[part].size();
            if (!makeKey(texts[i], keys[part]))
                keysOk[part] = false;
            keyEnd[i] = keys[part].size();
        }
    });
    const std::size_t split = count < ParallelThreshold ? count : count / 2;
    std::vector<std::string_view> key(count);
    for (std::size_t i = 0; i < count; ++i)
        key[i] = std::string_view(keys[i < split ? 0 : 1]).substr(keyBegin[i], keyEnd[i] - keyBegin[i]);

    // 2. The texts in sort key order.
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    auto byKey = [&](std::uint32_t a, std::uint32_t b) { return key[a] < key[b]; };
    if (count < ParallelThreshold) {
        std::sort(order.begin(), order.end(), byKey);
    } else {
        const auto middle = order.begin() + static_cast<std::ptrdiff_t>(count / 2);
        SideBySide([&] { std::sort(order.begin(), middle, byKey); }, [&] { std::sort(middle, order.end(), byKey); });
        std::inplace_merge(order.begin(), middle, order.end(), byKey);
    }

    // 3. Every neighbouring pair checked with the locale comparison itself.
    std::vector<signed char> step(count, 0);
    bool ordered = keysOk[0] && keysOk[1];
    if (ordered) {
        bool halfOk[2] = {true, true};
        ForHalves(count - 1, ParallelThreshold, [&](std::size_t begin, std::size_t end) {
            bool& ok = halfOk[begin == 0 ? 0 : 1];
            for (std::size_t j = begin + 1; j <= end && ok; ++j) {
                step[j] = static_cast<signed char>(CompareTextLocale(texts[order[j - 1]], texts[order[j]]));
                ok = step[j] <= 0;
            }
        });
        ordered = halfOk[0] && halfOk[1];
    }
    if (!ordered) {
        // A sort key disagreed with the comparison: the comparison decides.
        // Few texts out of place are moved by insertion at little cost;
        // beyond a budget of comparisons, a full sort by the comparison.
        auto less = [&](std::uint32_t a, std::uint32_t b) { return CompareTextLocale(texts[a], texts[b]) < 0; };
        std::size_t budget = 4 * count + 1000;
        bool repaired = true;
        for (std::size_t j = 1; j < count && repaired; ++j) {
            const std::uint32_t moving = order[j];
            std::size_t i = j;
            while (i > 0) {
                if (budget-- == 0) {
                    repaired = false;
                    break;
                }
                if (!less(moving, order[i - 1]))
                    break;
                order[i] = order[i - 1];
                --i;
            }
            order[i] = moving;
        }
        if (!repaired)
            std::stable_sort(order.begin(), order.end(), less);
        for (std::size_t j = 1; j < count; ++j)
            step[j] = static_cast<signed char>(CompareTextLocale(texts[order[j - 1]], texts[order[j]]));
    }

    // 4. Ranks: equal neighbours share one.
    std::uint32_t r = 0;
    rank[order[0]] = 0;
    for (std::size_t j = 1; j < count; ++j) {
        if (step[j] < 0)
            ++r;
        rank[order[j]] = r;
    }
    return rank;
}

std::vector<std::size_t> SortedOrderLocale(const std::vector<TFoundItem>& rows, int sortColumn, bool descending) {
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (rows.size() < 2)
        return order;
    if (sortColumn >= 0) {
        const std::vector<std::uint32_t> rank = ColumnRanks(rows, sortColumn);
        if (descending)
            std::stable_sort(order.begin(), order.end(),
                             [&](std::size_t a, std::size_t b) { return rank[b] < rank[a]; });
        else
            std::stable_sort(order.begin(), order.end(),
                             [&](std::size_t a, std::size_t b) { return rank[a] < rank[b]; });
        MoveRowFirst(rows, order);
        return order;
    }
    const std::vector<std::uint32_t> type = ColumnRanks(rows, ColType);
    const std::vector<std::uint32_t> path = ColumnRanks(rows, ColPath);
    const std::vector<std::uint32_t> item = ColumnRanks(rows, ColItem);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (type[a] != type[b])
            return type[a] < type[b];
        if (path[a] != path[b])
            return path[a] < path[b];
        return item[a] < item[b];
    });
    MoveRowFirst(rows, order);
    return order;
}

TSelectionSteps SelectionSteps(const std::vector<int>& selectedAscending, int rowCount) {
    struct Run {
        int first, last;
    };
    std::vector<Run> runs;
    for (int row : selectedAscending) {
        if (!runs.empty() && row == runs.back().last + 1)
            runs.back().last = row;
        else
            runs.push_back({row, row});
    }
    // Selecting: runs of two rows or more, longest first, then single rows.
    // A join costs a walk over the ranges made so far.
    std::vector<Run> multi;
    for (const Run& r : runs)
        if (r.last > r.first)
            multi.push_back(r);
    std::stable_sort(multi.begin(), multi.end(),
                     [](const Run& a, const Run& b) { return a.last - a.first > b.last - b.first; });
    double selectCost = 0;
    for (std::size_t k = 0; k < multi.size(); ++k)
        selectCost += static_cast<double>(multi[k].last - multi[k].first) * static_cast<double>(k + 1);
    // Clearing: selecting every row joins one range each time; a clear that
    // splits a range moves the ranges after it, a small cost a range.
    std::size_t gaps = 0;
    int next = 0;
    for (const Run& r : runs) {
        gaps += r.first > next;
        next = r.last + 1;
    }
    gaps += next < rowCount;
    const double clearCost = rowCount + static_cast<double>(gaps) * static_cast<double>(gaps) / 64.0;

    TSelectionSteps steps;
    if (selectedAscending.size() > 1 && clearCost < selectCost) {
        steps.SelectAllFirst = true;
        steps.Rows.reserve(static_cast<std::size_t>(rowCount) - selectedAscending.size());
        std::size_t r = runs.size();
        for (int row = rowCount - 1; row >= 0; --row) {
            while (r > 0 && runs[r - 1].first > row)
                --r;
            if (r == 0 || runs[r - 1].last < row)
                steps.Rows.push_back(row);
        }
        return steps;
    }
    steps.Rows.reserve(selectedAscending.size());
    for (const Run& r : multi)
        for (int row = r.first; row <= r.last; ++row)
            steps.Rows.push_back(row);
    for (const Run& r : runs)
        if (r.last == r.first)
            steps.Rows.push_back(r.first);
    return steps;
}

void SelectRows(HWND listView, const std::vector<int>& selectedAscending, int rowCount) {
    const TSelectionSteps steps = SelectionSteps(selectedAscending, rowCount);
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    if (steps.SelectAllFirst) {
        SendMessageA(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
        state.state = 0;
    }
    for (int row : steps.Rows)
        SendMessageA(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

}  // namespace movix
