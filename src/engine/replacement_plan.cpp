#include "engine/replacement_plan.h"

#include <cstdio>

#include "core/strings.h"

namespace movix {

std::string TargetKey(const TFoundItem& row) {
    const TKindInfo* kind = FindKind(row.Kind);
    return kind != nullptr ? kind->TargetKey(row) : row.Path;
}

std::string HitText(const TFoundItem& row) {
    const TKindInfo* kind = FindKind(row.Kind);
    return kind != nullptr ? kind->HitOf(row).Text : row.Context;
}

TReplacePlan GroupRows(const std::vector<TFoundItem>& rows) {
    TReplacePlan plan;
    for (const TFoundItem& row : rows) {
        const TKindInfo* kind = FindKind(row.Kind);
        if (kind == nullptr)
            continue;
        std::vector<TReplaceGroup>& groups = plan.Groups[row.Kind];
        const std::string key = kind->TargetKey(row);
        if (groups.empty() || groups.back().Key != key)
            groups.push_back(TReplaceGroup{key, {}});
        groups.back().Hits.push_back(kind->HitOf(row));
    }
    return plan;
}

void RebaseMovedFiles(std::vector<TFoundItem>& rows, const std::string& oldFolder, const std::string& newFolder) {
    std::string from = oldFolder;
    while (from.size() > 3 && (from.back() == '\\' || from.back() == '/'))
        from.pop_back();
    const std::string upper = UpperText(from);
    for (TFoundItem& row : rows) {
        const TKindInfo* kind = FindKind(row.Kind);
        if (kind == nullptr || !kind->NamesFiles())
            continue;
        const std::string path = UpperText(row.Path);
        if (path.size() < upper.size() || path.compare(0, upper.size(), upper) != 0)
            continue;
        // Only at a name's end: C:\QUILL moves C:\QUILL\DOCS, not C:\QUILLPRO.
        if (path.size() > upper.size() && path[upper.size()] != '\\' && upper.back() != '\\')
            continue;
        row.Path = newFolder + row.Path.substr(from.size());
    }
}

std::string FormatReportDate(const std::string& dayName, const std::string& monthName, int day, int year, int hour,
                             int minute) {
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    char time[32];
    std::snprintf(time, sizeof time, "%02d:%02d %s", hour12, minute, hour < 12 ? "AM" : "PM");
    return dayName + ", " + monthName + " " + std::to_string(day) + ", " + std::to_string(year) + "  " + time;
}

}  // namespace movix
