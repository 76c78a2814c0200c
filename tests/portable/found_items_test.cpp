#include "core/found_items.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace movix {
namespace {

// A case-sensitive byte order, standing in for the locale comparison.
int ByteCompare(std::string_view a, std::string_view b) {
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

TFoundItem Hit(const std::string& item,
               const std::string& path,
               int kind,
               int subType,
               const std::string& context = "") {
    TFoundItem row;
    row.Item = item;
    row.Path = path;
    row.Kind = kind;
    row.SubType = subType;
    row.Context = context;
    return row;
}

std::vector<std::string> Items(const std::vector<TFoundItem>& rows, const std::vector<std::size_t>& order) {
    std::vector<std::string> items;
    for (std::size_t i : order)
        items.push_back(rows[i].Item);
    return items;
}

TEST(FoundItemTexts, KindTextsAndErrForEveryOtherCode) {
    EXPECT_STREQ(KindText(1), "INI");
    EXPECT_STREQ(KindText(2), "GRP");
    EXPECT_STREQ(KindText(3), "LNK");
    EXPECT_STREQ(KindText(4), "REG");
    EXPECT_STREQ(KindText(5), "CFG");
    EXPECT_STREQ(KindText(KindMove), "MOV");
    for (int code : {0, -1, 8, 99, 101, -2147483647 - 1})
        EXPECT_STREQ(KindText(code), "err") << code;
}

TEST(FoundItemTexts, SubTypeTextsWithBothDataCodesShowingDat) {
    const char* expected[] = {"err", "sec", "cmd", "ico", "dir", "arg", "key", "val", "dat", "dat", "msz", "env"};
    for (int code = 0; code <= 11; ++code)
        EXPECT_STREQ(SubTypeText(code), expected[code]) << code;
    for (int code : {-1, 255})
        EXPECT_STREQ(SubTypeText(code), "err") << code;
}

TEST(FoundItemTexts, ColumnTextsOfARow) {
    const TFoundItem row = Hit("WIN.INI", "C:\\WINDOWS", KindIni, 6, "path=C:\\OLD");
    EXPECT_EQ(ColumnText(row, ColItem), "WIN.INI");
    EXPECT_EQ(ColumnText(row, ColPath), "C:\\WINDOWS");
    EXPECT_EQ(ColumnText(row, ColType), "INI");
    EXPECT_EQ(ColumnText(row, ColSubType), "key");
    EXPECT_EQ(ColumnText(row, ColContext), "path=C:\\OLD");
    EXPECT_EQ(ColumnText(row, 5), "");
    EXPECT_EQ(ColumnText(row, -1), "");
    EXPECT_EQ(row.Mark, MarkY);
}

TEST(FoundItemPlaceholder, ShowsNoneEverywhereMarkedNWithKindNone) {
    const TFoundItem none = PlaceholderItem();
    for (int c = 0; c < FoundColumnCount; ++c)
        EXPECT_EQ(ColumnText(none, c), "<none>") << c;
    EXPECT_EQ(none.Mark, MarkN);
    EXPECT_EQ(none.Kind, -1);
    EXPECT_EQ(none.SubType, 0);
    EXPECT_TRUE(IsPlaceholder(none));
}

TEST(FoundItemPlaceholder, RealHitNamedNoneIsNotThePlaceholder) {
    EXPECT_FALSE(IsPlaceholder(Hit("<none>", "HKCU\\Software", KindReg, 7)));
    TFoundItem renamed = PlaceholderItem();
    renamed.Item = "something";
    EXPECT_FALSE(IsPlaceholder(renamed));
}

TEST(FoundItemMarks, FlipAndMenuCommands) {
    EXPECT_EQ(FlippedMark(MarkY), MarkN);
    EXPECT_EQ(FlippedMark(MarkN), MarkY);
    EXPECT_EQ(static_cast<int>(MarkY), 0);  // image index of the green disc
    EXPECT_EQ(static_cast<int>(MarkN), 1);
    for (TMark m : {MarkY, MarkN}) {
        EXPECT_EQ(MarkAfterCommand(m, TagToggle), FlippedMark(m));
        EXPECT_EQ(MarkAfterCommand(m, TagYes), MarkY);
        EXPECT_EQ(MarkAfterCommand(m, TagNo), MarkN);
        for (int other : {0, 4, -1, 99})
            EXPECT_EQ(MarkAfterCommand(m, other), m) << other;
    }
}

TEST(FoundItemHelp, KindNumberFromTypeTextSearch) {
    EXPECT_EQ(KindNumberFromTypeText("INI"), 1);
    EXPECT_EQ(KindNumberFromTypeText("GRP"), 2);
    EXPECT_EQ(KindNumberFromTypeText("LNK"), 3);
    EXPECT_EQ(KindNumberFromTypeText("REG"), 4);
    // Only whole entries count, and letter case matters.
    for (const char* text : {"err", "<none>", "", "IN", "NI", "NI^G", "ini", "REG "})
        EXPECT_EQ(KindNumberFromTypeText(text), 0) << text;
}

TEST(FoundItemHelp, EveryKindAndSubTypeCombination) {
    // Expected context per kind (rows 1..4) and sub-type (columns 0..9).
    const int table[5][10] = {
        {32, 32, 32, 32, 32, 32, 32, 32, 32, 32},  // not found
        {32, 40, 32, 32, 32, 32, 41, 32, 32, 32},  // INI: sec, key
        {32, 32, 42, 43, 44, 32, 32, 32, 32, 32},  // GRP: cmd, ico, dir
        {32, 32, 45, 46, 47, 48, 32, 32, 32, 32},  // LNK: cmd, ico, dir, arg
        {32, 32, 32, 32, 32, 32, 49, 50, 51, 51},  // REG: key, val, dat, dat
    };
    const char* types[5] = {"err", "INI", "GRP", "LNK", "REG"};
    for (int kind = 0; kind <= 4; ++kind)
        for (int sub = 0; sub <= 9; ++sub)
            EXPECT_EQ(HelpContextForRow(types[kind], sub), table[kind][sub]) << types[kind] << " " << sub;
    EXPECT_EQ(HelpContextForRow("REG", kSubTypeMultiString), 70);
    EXPECT_EQ(HelpContextForRow("REG", kSubTypeEnvData), 71);
    EXPECT_EQ(HelpContextForRow("INI", kSubTypeMultiString), 32);
    EXPECT_EQ(HelpContextForRow("INI", -1), 32);
    EXPECT_EQ(HelpContextForRow("<none>", 0), 32);
    const TFoundItem none = PlaceholderItem();
    EXPECT_EQ(HelpContextForRow(ColumnText(none, ColType), none.SubType), 32);
}

TEST(FoundItemHelp, ServiceAndTaskRowsHaveTheirTextsAndTopics) {
    // Type, sub-type code, its text, the row's help context.
    const struct {
        int kind, subType;
        const char *type, *text;
        int context;
    } rows[] = {
        {KindSvc, kSubTypeServiceCommand, "SVC", "cmd", 84},  {KindSvc, kSubTypeServiceDescription, "SVC", "desc", 85},
        {KindTsk, kSubTypeTaskProgram, "TSK", "cmd", 86},     {KindTsk, kSubTypeTaskArguments, "TSK", "arg", 87},
        {KindTsk, kSubTypeTaskFolder, "TSK", "dir", 88},      {KindSvc, kSubTypeTaskProgram, "SVC", "cmd", 32},
        {KindTsk, kSubTypeServiceDescription, "TSK", "desc", 32},
    };
    for (const auto& r : rows) {
        EXPECT_STREQ(KindText(r.kind), r.type);
        EXPECT_STREQ(SubTypeText(r.subType), r.text) << r.subType;
        EXPECT_EQ(HelpContextForRow(r.type, r.subType), r.context) << r.type << " " << r.subType;
    }
}

TEST(FoundItemCompare, SingleColumnAscendingAndDescending) {
    const TFoundItem a = Hit("a", "z", KindReg, 1, "m");
    const TFoundItem b = Hit("b", "y", KindIni, 2, "m");
    EXPECT_LT(CompareFoundItems(a, b, ColItem, false, ByteCompare), 0);
    EXPECT_GT(CompareFoundItems(a, b, ColItem, true, ByteCompare), 0);
    EXPECT_GT(CompareFoundItems(a, b, ColPath, false, ByteCompare), 0);
    EXPECT_GT(CompareFoundItems(a, b, ColType, false, ByteCompare), 0);     // "REG" > "INI"
    EXPECT_GT(CompareFoundItems(a, b, ColSubType, false, ByteCompare), 0);  // "sec" > "cmd"
    EXPECT_EQ(CompareFoundItems(a, b, ColContext, true, ByteCompare), 0);
}

TEST(FoundItemCompare, SubTypeColumnComparesTextsNotCodes) {
    // Codes 8 and 9 both show "dat" and compare equal; "arg" (5) sorts
    // before "cmd" (2) by text.
    EXPECT_EQ(CompareFoundItems(Hit("x", "", KindReg, 8), Hit("y", "", KindReg, 9), ColSubType, false, ByteCompare), 0);
    EXPECT_LT(CompareFoundItems(Hit("x", "", KindLnk, 5), Hit("y", "", KindLnk, 2), ColSubType, false, ByteCompare), 0);
    EXPECT_EQ(CompareFoundItems(Hit("x", "", 0, 0), Hit("y", "", 9, 0), ColType, false, ByteCompare), 0);  // err, err
}

TEST(FoundItemCompare, FixedOrderIsTypeThenPathThenItemAlwaysAscending) {
    const TFoundItem iniB = Hit("b", "C:\\A", KindIni, 1);
    const TFoundItem iniA = Hit("a", "C:\\A", KindIni, 6);
    const TFoundItem iniPath = Hit("a", "C:\\B", KindIni, 1);
    const TFoundItem lnk = Hit("a", "C:\\A", KindLnk, 2);
    for (bool descending : {false, true}) {
        EXPECT_LT(CompareFoundItems(iniA, iniB, -1, descending, ByteCompare), 0);
        EXPECT_LT(CompareFoundItems(iniB, iniPath, -1, descending, ByteCompare), 0);
        EXPECT_LT(CompareFoundItems(iniPath, lnk, -1, descending, ByteCompare), 0);
        EXPECT_EQ(CompareFoundItems(iniA, iniA, -1, descending, ByteCompare), 0);
    }
}

TEST(FoundItemSort, EqualRowsKeepTheirOrderBothWays) {
    const std::vector<TFoundItem> rows = {Hit("1", "same", KindIni, 1), Hit("2", "b", KindIni, 1),
                                          Hit("3", "same", KindIni, 1), Hit("4", "a", KindIni, 1),
                                          Hit("5", "same", KindIni, 1)};
    EXPECT_EQ(Items(rows, SortedOrder(rows, ColPath, false, ByteCompare)),
              (std::vector<std::string>{"4", "2", "1", "3", "5"}));
    EXPECT_EQ(Items(rows, SortedOrder(rows, ColPath, true, ByteCompare)),
              (std::vector<std::string>{"1", "3", "5", "2", "4"}));
}

TEST(FoundItemSort, CaseCountsWhenTheComparisonSaysSo) {
    const std::vector<TFoundItem> rows = {Hit("abc", "", KindIni, 1), Hit("ABC", "", KindIni, 1),
                                          Hit("abc", "", KindIni, 1), Hit("ABC", "", KindIni, 1)};
    EXPECT_EQ(Items(rows, SortedOrder(rows, ColItem, false, ByteCompare)),
              (std::vector<std::string>{"ABC", "ABC", "abc", "abc"}));
}

TEST(FoundItemSort, FixedOrderOfTheReplacementRun) {
    const std::vector<TFoundItem> rows = {
        Hit("z.lnk", "C:\\Desk", KindLnk, 2), Hit("SYSTEM.INI", "C:\\WIN", KindIni, 6),
        Hit("Key", "HKCU\\A", KindReg, 6),    Hit("WIN.INI", "C:\\WIN", KindIni, 1),
        Hit("Prog", "Main", KindGrp, 2),      Hit("A.INI", "C:\\APP", KindIni, 1)};
    EXPECT_EQ(Items(rows, SortedOrder(rows, -1, true, ByteCompare)),
              (std::vector<std::string>{"Prog", "A.INI", "SYSTEM.INI", "WIN.INI", "z.lnk", "Key"}));
}

// The move of the folder is the first row whatever the sort, and the rest
// keep the order the sort gives them; the row says what moves where.
TEST(FoundItemMoveRow, StaysFirstUnderEverySortAndSaysWhatMoves) {
    const TFoundItem move = MoveRowItem("C:\\Tools\\Quill\\", "D:\\Quill");
    EXPECT_EQ(move.Item, "Quill");
    EXPECT_EQ(move.Path, "C:\\Tools\\Quill\\");
    EXPECT_EQ(ColumnText(move, ColType), "MOV");
    EXPECT_EQ(ColumnText(move, ColSubType), "dir");
    EXPECT_EQ(move.Context, "C:\\Tools\\Quill\\ -> D:\\Quill");
    EXPECT_EQ(move.Mark, MarkY);
    EXPECT_EQ(HelpContextOfRow(move), MoveRowHelpContext);
    EXPECT_FALSE(IsPlaceholder(move));

    const std::vector<TFoundItem> rows = {Hit("A.INI", "A", KindIni, 1, "a"), Hit("zz", "zz", KindReg, 9, "zz"), move,
                                          Hit("", "", KindCfg, 12, "")};
    for (int column = -1; column < FoundColumnCount; ++column)
        for (bool descending : {false, true}) {
            std::vector<TFoundItem> withoutMove = rows;
            withoutMove.erase(withoutMove.begin() + 2);
            std::vector<std::string> expected = {"Quill"};
            for (const std::string& item :
                 Items(withoutMove, SortedOrder(withoutMove, column, descending, ByteCompare)))
                expected.push_back(item);
            EXPECT_EQ(Items(rows, SortedOrder(rows, column, descending, ByteCompare)), expected)
                << "column " << column << (descending ? " descending" : "");
        }
}

TEST(FoundItemSort, EmptyAndSingleRowLists) {
    EXPECT_TRUE(SortedOrder({}, ColItem, false, ByteCompare).empty());
    EXPECT_EQ(SortedOrder({PlaceholderItem()}, 3, true, ByteCompare), (std::vector<std::size_t>{0}));
}

}  // namespace
}  // namespace movix
