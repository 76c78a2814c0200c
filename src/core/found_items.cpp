#include "core/found_items.h"

#include <algorithm>
#include <numeric>

#include "core/command_lines.h"
#include "core/path_spellings.h"
#include "core/strings.h"

namespace movix {

const char* const NoneText = "<none>";

const char* const FoundColumnCaptions[FoundColumnCount] = {"Item", "Path", "Type", "SubType", "Context"};

namespace {
TTextExpansion g_textExpansion = nullptr;
TCommandLineValue g_commandLineValue = nullptr;
}  // namespace

void SetTextExpansion(TTextExpansion expand) {
    g_textExpansion = expand;
}

TConfigLineRefused g_configLineRefused = nullptr;

void SetConfigLineRefusal(TConfigLineRefused refused) {
    g_configLineRefused = refused;
}

void SetCommandLineValues(TCommandLineValue isCommandLine) {
    g_commandLineValue = isCommandLine;
}

TCommandLineValue CommandLineValues() {
    return g_commandLineValue;
}

TConfigLineRefused ConfigLineRefusal() {
    return g_configLineRefused;
}

TTextExpansion TextExpansion() {
    return g_textExpansion;
}

TFoundItem MakeFoundItem(const std::string& item, const std::string& path, const std::string& context, int kind,
                         int subType, const std::string& valueName, std::string_view oldUpper,
                         std::string_view newAddr) {
    TFoundItem row;
    row.Item = item;
    row.Path = path;
    row.Kind = kind;
    row.SubType = subType;
    row.Context = context;
    row.Mark = MarkY;
    row.ValueName = valueName;
    // Each kind judges its own rows; a row of no kind, its Context as it is.
    if (const TKindInfo* of = FindKind(kind))
        of->JudgeRow(row, oldUpper, newAddr);
    else
        row.MaybeLonger = !oldUpper.empty() && MaybeLongerName(row.Context, oldUpper);
    return row;
}

TFoundItem PlaceholderItem() {
    TFoundItem row;
    row.Item = NoneText;
    row.Path = NoneText;
    row.Kind = KindNone;
    row.SubType = 0;
    row.Context = NoneText;
    row.Mark = MarkN;
    return row;
}

TFoundItem MoveRowItem(const std::string& oldFolder, const std::string& newFolder) {
    TFoundItem row;
    std::string folder = oldFolder;
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    const std::size_t slash = folder.find_last_of("\\/");
    row.Item = slash == std::string::npos ? folder : folder.substr(slash + 1);
    row.Path = oldFolder;
    row.Kind = KindMove;
    row.SubType = kSubTypeDir;
    row.Context = oldFolder + " -> " + newFolder;
    row.Mark = MarkY;
    return row;
}

bool IsPlaceholder(const TFoundItem& row) {
    return row.Kind == KindNone && row.Item == NoneText;
}

const char* KindText(int kind) {
    if (kind == KindMove)
        return "MOV";
    const TKindNames* names = KindNamesOf(kind);
    return names != nullptr ? names->Type : "err";
}

const char* SubTypeText(int subType) {
    static const char* const texts[] = {"err", "sec", "cmd", "ico", "dir", "arg",
                                        "key", "val", "dat", "dat", "msz", "env"};
    if (subType >= kSubTypeSpellingFirst && subType <= kSubTypeSpellingLast)
        return SpellingCode(static_cast<TSpelling>(subType - kSubTypeSpellingFirst));
    switch (subType) {
        case kSubTypeServiceCommand:
        case kSubTypeTaskProgram:
            return "cmd";
        case kSubTypeServiceDescription:
            return "desc";
        case kSubTypeTaskArguments:
            return "arg";
        case kSubTypeTaskFolder:
            return "dir";
        default:
            break;
    }
    return subType >= 1 && subType <= 11 ? texts[subType] : texts[0];
}

std::string_view ColumnText(const TFoundItem& row, int column) {
    switch (column) {
        case ColItem:
            return row.Item;
        case ColPath:
            return row.Path;
        // The placeholder's codes have no texts of their own: it shows "<none>".
        case ColType:
            return row.Kind == KindNone ? NoneText : KindText(row.Kind);
        case ColSubType:
            return row.Kind == KindNone ? NoneText : SubTypeText(row.SubType);
        case ColContext:
            return row.Context;
        default:
            return {};
    }
}

int KindNumberFromTypeText(std::string_view typeText) {
    for (const TKindInfo* kind : Kinds())
        if (typeText == kind->Names().Type)
            return kind->Code();
    return 0;
}

int HelpContextForRow(std::string_view typeText, int subType) {
    const TKindInfo* kind = FindKind(KindNumberFromTypeText(typeText));
    const int context = kind != nullptr ? kind->HelpContext(subType) : 0;
    return context != 0 ? context : LvFoundHelpContext;
}

int HelpContextOfRow(const TFoundItem& row) {
    if (IsMoveRow(row))
        return MoveRowHelpContext;
    const int context = HelpContextForRow(ColumnText(row, ColType), row.SubType);
    if (context == LvFoundHelpContext)
        return context;
    if (row.MaybeLonger)
        return LongerNameHelpContext;
    return row.UnquotedBlank ? UnquotedBlankHelpContext : context;
}

int CompareFoundItems(const TFoundItem& a, const TFoundItem& b, int sortColumn, bool descending, TextCompare compare) {
    if (sortColumn < 0) {
        int r = compare(ColumnText(a, ColType), ColumnText(b, ColType));
        if (r == 0)
            r = compare(a.Path, b.Path);
        if (r == 0)
            r = compare(a.Item, b.Item);
        return r;
    }
    const int r = compare(ColumnText(a, sortColumn), ColumnText(b, sortColumn));
    return descending ? -r : r;
}

std::vector<std::size_t> SortedOrder(const std::vector<TFoundItem>& rows,
                                     int sortColumn,
                                     bool descending,
                                     TextCompare compare) {
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return CompareFoundItems(rows[x], rows[y], sortColumn, descending, compare) < 0;
    });
    MoveRowFirst(rows, order);
    return order;
}

void MoveRowFirst(const std::vector<TFoundItem>& rows, std::vector<std::size_t>& order) {
    std::stable_partition(order.begin(), order.end(), [&](std::size_t i) { return IsMoveRow(rows[i]); });
}

TMark MarkAfterCommand(TMark current, int tag) {
    switch (tag) {
        case TagToggle:
            return FlippedMark(current);
        case TagYes:
            return MarkY;
        case TagNo:
            return MarkN;
        default:
            return current;
    }
}

}  // namespace movix
