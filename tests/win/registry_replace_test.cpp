// The Registry replacer on planted keys under HKCU and HKLM: its effect read
// back through the Registry and through Wine's own reg.exe export, its log
// lines word for word, and its failures made to happen for real (keys
// without full access) or through the accessor's seam where nothing else
// can cause them, with the user's keys checked afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/found_items.h"
#include "core/replace_groups.h"
#include "core/strings.h"
#include "registry_test_support_win.h"
#include "search_test_support_win.h"
#include "targets/registry_replace_win.h"
#include "targets/registry_search_win.h"
#include "platform/registry_win.h"

using namespace movix;
using namespace movix_test;

namespace {

using Lines = std::vector<std::string>;

int LocaleCompare(std::string_view a, std::string_view b) {
    const int r = ::CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                                   static_cast<int>(b.size()));
    return r == CSTR_LESS_THAN ? -1 : (r == CSTR_GREATER_THAN ? 1 : 0);
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
    return ContainsUpper(text, UpperAscii(part));
}

class RegistryReplaceTest : public UiFixture {
  protected:
    void TearDown() override {
        SetRegistryFaultHookForTest(nullptr);
        UiFixture::TearDown();
    }

    // Searches HKCR and HKCU and turns the hits into the replacement run's
    // groups: rows sorted by Path and Item (stable), one group per Path,
    // each hit with the value name it was found in.
    std::vector<TReplaceGroup> SearchToGroups(const std::string& old) {
        std::vector<TFoundItem> rows;
        std::vector<std::string> names;
        auto* thread = new TSearchRegThread(KindReg, old, label_, Collector(), {}, 5);
        thread->OnFoundValue = [&](const std::string& item, const std::string& path, const std::string& context,
                                   int kind, int subType, const std::string& valueName) {
            TFoundItem row;
            row.Item = item;
            row.Path = path;
            row.Context = context;
            row.Kind = kind;
            row.SubType = subType;
            rows.push_back(row);
            names.push_back(valueName);
        };
        RunToEnd(thread, 300000);
        EXPECT_TRUE(fatal_.empty()) << fatal_;
        std::vector<TReplaceGroup> groups;
        for (std::size_t i : SortedOrder(rows, -1, false, LocaleCompare)) {
            const TFoundItem& row = rows[i];
            if (groups.empty() || groups.back().Key != row.Path)
                groups.push_back({row.Path, {}});
            TReplaceHit hit{row.Context, row.SubType};
            if (row.SubType >= kSubTypeValueName)
                hit.ValueName = names[i];
            groups.back().Hits.push_back(hit);
        }
        return groups;
    }

    Lines Replace(std::vector<TReplaceGroup> groups, const std::string& old, const std::string& now) {
        Lines log;
        ReplaceRegistry(groups, old, now, label_, [&log](const std::string& line) { log.push_back(line); });
        return log;
    }
};

TReplaceHit Hit(const std::string& text, int subType) {
    return TReplaceHit{text, subType};
}

TReplaceHit Hit(const std::string& text, int subType, const std::string& valueName) {
    TReplaceHit h{text, subType};
    h.ValueName = valueName;
    return h;
}

// A tree with a value of every type, empty data, the default value, string
// data that is not well-formed text, and several levels of subkeys.
void PlantEveryKindOfValue(HKEY root, const std::string& path) {
    SetSz(root, path, "", "default text");
    SetRaw(root, path, "bin", REG_BINARY, std::string("\x00\x01\xFF\x00", 4));
    SetRaw(root, path, "bin empty", REG_BINARY, "");
    SetDword(root, path, "dword", 0x80000001u);
    SetRaw(root, path, "big endian", REG_DWORD_BIG_ENDIAN, std::string("\x12\x34\x56\x78", 4));
    SetRaw(root, path, "qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    SetSz(root, path, "sz", "C:\\Some\\Where");
    SetRaw(root, path, "sz empty", REG_SZ, "");
    SetRaw(root, path, "sz odd", REG_SZ, std::string("a\0b\0c", 5));
    SetSz(root, path, "expand", "%SystemRoot%\\x", REG_EXPAND_SZ);
    SetRaw(root, path, "multi", REG_MULTI_SZ, Utf16Sz("one") + Utf16Sz("two") + Utf16Sz(""));
    SetRaw(root, path, "none", REG_NONE, "");
    SetRaw(root, path, "link", REG_LINK, std::string("\x41\x00", 2));
    SetRaw(root, path, "resource", REG_RESOURCE_LIST, std::string("\x01\x00\x00\x00", 4));
    SetSz(root, path + "\\L1", "", "level one default");
    SetRaw(root, path + "\\L1", "bin", REG_BINARY, std::string("\x00", 1));
    SetRaw(root, path + "\\L1\\L2", "empty sz", REG_SZ, "");
    SetDword(root, path + "\\L1\\L2\\L3", "deep", 3);
    HKEY empty = CreateTestKey(root, path + "\\L1\\Empty");
    ::RegCloseKey(empty);
    SetSz(root, path + "\\M1", "x", "y");
}

// reg.exe's export of a key with the key's own name in its section lines
// replaced, for comparing a moved key with the original.
Lines ExportRenamed(const std::string& fullKey, const std::string& from, const std::string& to) {
    Lines lines = RegExportLines(fullKey);
    for (std::string& line : lines)
        if (!line.empty() && line[0] == '[')
            ReplaceAllText(line, from, to);
    return lines;
}

}  // namespace

TEST_F(RegistryReplaceTest, RegReplace_SearchThenReplaceRewritesThePlantedTree) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    const HKEY r = k.Root();
    SetSz(r, k.Path(), "", "C:\\" + old + "\\app.exe");
    SetSz(r, k.Path(), "(default)", "x " + old);
    SetSz(r, k.Path(), "a Path", "%SystemRoot%;c:\\" + UpperAscii(old) + "\\bin", REG_EXPAND_SZ);
    SetSz(r, k.Path(), "b " + old + " name", "C:\\" + old + "\\data");
    SetDword(r, k.Path(), "c dw " + old, 5);
    SetSz(r, k.Path(), "h=eq", old);
    SetSz(r, k / ("A Sub " + old), "v", old);
    SetSz(r, k / "C Deep\\A\\B\\C", "x", old);

    const std::string K = "HKCU\\" + k.Path();
    const auto groups = SearchToGroups(old);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].Key, K);
    EXPECT_EQ(groups[1].Key, K + "\\A Sub " + old);
    EXPECT_EQ(groups[2].Key, K + "\\C Deep\\A\\B\\C");

    const Lines log = Replace(groups, old, now);
    const Lines expected = {
        "",
        "Updating Registry",
        // Deepest keys first: the key's own values are rewritten before it moves.
        "KEY: " + K + "\\C Deep\\A\\B\\C",
        "   old data: x=" + old,
        "   new data: " + now,
        "KEY: " + K + "\\A Sub " + old,
        "   old data: v=" + old,
        "   new data: " + now,
        // Value texts before names change.
        "KEY: " + K,
        "   old data: (default)=C:\\" + old + "\\app.exe",
        "   new data: C:\\" + now + "\\app.exe",
        "KEY: " + K,
        "   old data: (default)=x " + old,
        "   new data: x " + now,
        "KEY: " + K,
        "   old data: a Path=%SystemRoot%;c:\\" + UpperAscii(old) + "\\bin",
        "   new data: %SystemRoot%;c:\\" + now + "\\bin",
        "KEY: " + K,
        "   old data: b " + old + " name=C:\\" + old + "\\data",
        "   new data: C:\\" + now + "\\data",
        "KEY: " + K,
        "   old data: h=eq=" + old,
        "   new data: " + now,
        "KEY: " + K,
        "  old subkey: A Sub " + old,
        "  new subkey: A Sub " + now,
        "KEY: " + K,
        "  old value: b " + old + " name",
        "  new value: b " + now + " name",
        "KEY: " + K,
        "  old value: c dw " + old,
        "  new value: c dw " + now,
    };
    EXPECT_EQ(log, expected);
    EXPECT_EQ(LabelText(), K);

    // Read back through the Registry.
    EXPECT_EQ(GetSz(r, k.Path(), ""), "C:\\" + now + "\\app.exe");
    EXPECT_EQ(GetSz(r, k.Path(), "(default)"), "x " + now);
    EXPECT_EQ(GetRaw(r, k.Path(), "a Path").first, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(GetSz(r, k.Path(), "a Path"), "%SystemRoot%;c:\\" + now + "\\bin");
    EXPECT_EQ(GetSz(r, k.Path(), "b " + now + " name"), "C:\\" + now + "\\data");
    EXPECT_FALSE(ValuePresent(r, k.Path(), "b " + old + " name"));
    const DWORD five = 5;
    EXPECT_EQ(GetRaw(r, k.Path(), "c dw " + now), std::make_pair(DWORD(REG_DWORD), Bytes(&five, 4)));
    EXPECT_FALSE(ValuePresent(r, k.Path(), "c dw " + old));
    EXPECT_EQ(GetSz(r, k.Path(), "h=eq"), now);
    EXPECT_FALSE(ValuePresent(r, k.Path(), "h"));
    EXPECT_EQ(GetSz(r, k / ("A Sub " + now), "v"), now);
    EXPECT_FALSE(KeyPresent(r, k / ("A Sub " + old)));
    EXPECT_EQ(GetSz(r, k / "C Deep\\A\\B\\C", "x"), now);

    // Read back through reg.exe.
    const Lines exported = RegExportLines("HKEY_CURRENT_USER\\" + k.Path());
    ASSERT_FALSE(exported.empty());
    auto has = [&exported](const std::string& line) {
        return std::find(exported.begin(), exported.end(), line) != exported.end();
    };
    EXPECT_TRUE(has("@=\"C:\\\\" + now + "\\\\app.exe\""));
    EXPECT_TRUE(has("\"(default)\"=\"x " + now + "\""));
    EXPECT_TRUE(has("\"b " + now + " name\"=\"C:\\\\" + now + "\\\\data\""));
    EXPECT_TRUE(has("\"c dw " + now + "\"=dword:00000005"));
    EXPECT_TRUE(has("\"h=eq\"=\"" + now + "\""));
    EXPECT_TRUE(has("[HKEY_CURRENT_USER\\" + k.Path() + "\\A Sub " + now + "]"));
    for (const std::string& line : exported)
        EXPECT_FALSE(ContainsNoCase(line, old)) << line;

    // Nothing is left to find.
    EXPECT_TRUE(SearchToGroups(old).empty());
}

TEST_F(RegistryReplaceTest, RegReplace_NoGroupsLogsNothing) {
    EXPECT_TRUE(Replace({}, "a", "b").empty());
}

TEST_F(RegistryReplaceTest, RegReplace_ValueWhoseNameAndTextHoldOldEndsUnderNewNameWithNewText) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_LOCAL_MACHINE, "Software", "MovixRep");
    const std::string name = "v " + old, newName = "v " + now;
    SetSz(k.Root(), k / "A", name, "C:\\" + old, REG_EXPAND_SZ);
    SetSz(k.Root(), k / "B", name, "C:\\" + old);
    const std::string KA = "HKLM\\" + k.Path() + "\\A", KB = "HKLM\\" + k.Path() + "\\B";
    // The run's sort keeps such a pair in whatever order the list had.
    const std::vector<TReplaceGroup> groups = {
        {KA, {Hit(name, 7, name), Hit(name + "=C:\\" + old, 9, name)}},
        {KB, {Hit(name + "=C:\\" + old, 8, name), Hit(name, 7, name)}},
    };
    const Lines log = Replace(groups, old, now);
    for (const std::string& sub : {std::string("A"), std::string("B")}) {
        EXPECT_EQ(GetSz(k.Root(), k / sub, newName), "C:\\" + now) << sub;
        EXPECT_FALSE(ValuePresent(k.Root(), k / sub, name)) << sub;
    }
    EXPECT_EQ(GetRaw(k.Root(), k / "A", newName).first, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(GetRaw(k.Root(), k / "B", newName).first, DWORD(REG_SZ));
    const Lines expected = {
        "",
        "Updating Registry",
        "KEY: " + KB,
        "   old data: " + name + "=C:\\" + old,
        "   new data: C:\\" + now,
        "KEY: " + KB,
        "  old value: " + name,
        "  new value: " + newName,
        "KEY: " + KA,
        "   old data: " + name + "=C:\\" + old,
        "   new data: C:\\" + now,
        "KEY: " + KA,
        "  old value: " + name,
        "  new value: " + newName,
    };
    EXPECT_EQ(log, expected);

    const Lines exported = RegExportLines("HKEY_LOCAL_MACHINE\\" + k.Path() + "\\B");
    EXPECT_NE(std::find(exported.begin(), exported.end(), "\"" + newName + "\"=\"C:\\\\" + now + "\""), exported.end());
    for (const std::string& line : exported)
        EXPECT_FALSE(ContainsNoCase(line, old)) << line;
}

TEST_F(RegistryReplaceTest, RegReplace_DefaultValueAndLookalikeNamesEachGetTheirOwnText) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    const HKEY r = k.Root();
    SetSz(r, k.Path(), "", "1 " + old);
    SetSz(r, k.Path(), "(default)", "2 " + old);
    SetSz(r, k.Path(), "a=b", "3 " + old);
    SetSz(r, k.Path(), "a", "untouched");
    SetSz(r, k.Path(), "p", "4 " + old);
    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace(
        {{K,
          {Hit("(default)=1 " + old, 8, ""), Hit("(default)=2 " + old, 8, "(default)"), Hit("a=b=3 " + old, 8, "a=b"),
           // Without the name beside it, the name is read out of the Text.
           Hit("p=4 " + old, 8)}}},
        old, now);
    EXPECT_EQ(GetSz(r, k.Path(), ""), "1 " + now);
    EXPECT_EQ(GetSz(r, k.Path(), "(default)"), "2 " + now);
    EXPECT_EQ(GetSz(r, k.Path(), "a=b"), "3 " + now);
    EXPECT_EQ(GetSz(r, k.Path(), "a"), "untouched");
    EXPECT_EQ(GetSz(r, k.Path(), "p"), "4 " + now);
    const Lines expected = {
        "",
        "Updating Registry",
        "KEY: " + K,
        "   old data: (default)=1 " + old,
        "   new data: 1 " + now,
        "KEY: " + K,
        "   old data: (default)=2 " + old,
        "   new data: 2 " + now,
        "KEY: " + K,
        "   old data: a=b=3 " + old,
        "   new data: 3 " + now,
        "KEY: " + K,
        "   old data: p=4 " + old,
        "   new data: 4 " + now,
    };
    EXPECT_EQ(log, expected);
}

TEST_F(RegistryReplaceTest, RegReplace_TextWrittenIsTheOneFoundWithOldReplaced) {
    // Written only while the value still holds the text found: what another
    // program put there since is never overwritten by the text found.
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    SetSz(k.Root(), k.Path(), "v", "changed since the search");
    SetSz(k.Root(), k.Path(), "x", old, REG_EXPAND_SZ);
    SetSz(k.Root(), k.Path(), "w", "C:\\" + old);
    const std::string K = "HKCU\\" + k.Path();
    const Lines log =
        Replace({{K, {Hit("v=C:\\" + old, 8, "v"), Hit("x=" + old, 8, "x"), Hit("w=C:\\" + old, 8, "w")}}}, old, now);
    EXPECT_EQ(GetSz(k.Root(), k.Path(), "v"), "changed since the search");
    EXPECT_EQ(GetRaw(k.Root(), k.Path(), "x"), std::make_pair(DWORD(REG_EXPAND_SZ), Utf16Sz(old)));
    EXPECT_EQ(GetRaw(k.Root(), k.Path(), "w"), std::make_pair(DWORD(REG_SZ), Utf16Sz("C:\\" + now)));
    EXPECT_EQ(log, (Lines{"", "Updating Registry",
                          "***** Value 'v' of key " + K + " has changed since the search, not updated",
                          "***** Value 'x' of key " + K + " has changed since the search, not updated", "KEY: " + K,
                          "   old data: w=C:\\" + old, "   new data: C:\\" + now}));
}

TEST_F(RegistryReplaceTest, RegReplace_CaseOnlyChangeRewritesTextsButRenamesNothing) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UpperAscii(old);
    ASSERT_NE(old, now);
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    SetSz(k.Root(), k / ("S " + old), "a", "1");
    SetSz(k.Root(), k.Path(), "v " + old, "C:\\" + old);
    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace(
        {{K, {Hit("S " + old, 6), Hit("v " + old, 7, "v " + old), Hit("v " + old + "=C:\\" + old, 8, "v " + old)}}},
        old, now);
    const Lines expected = {
        "",
        "Updating Registry",
        "KEY: " + K,
        "   old data: v " + old + "=C:\\" + old,
        "   new data: C:\\" + now,
        "KEY: " + K,
        "  old subkey: S " + old,
        " NOT CHANGED: S " + now,
        " (key differs only in case - OK)",
        "KEY: " + K,
        "   old value: v " + old,
        " NOT CHANGED: v " + now,
        " (value differs only in case - OK)",
    };
    EXPECT_EQ(log, expected);
    // The names keep their letters as they were.
    const TreeSnapshot after = Snapshot(k.Root(), k.Path());
    EXPECT_EQ(after.count("S " + old), 1u);
    EXPECT_EQ(after.at("").count("v " + old), 1u);
    EXPECT_EQ(GetSz(k.Root(), k.Path(), "v " + old), "C:\\" + now);
}

TEST_F(RegistryReplaceTest, RegReplace_ExistingTargetsAreNeverOverwritten) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    SetSz(k.Root(), k / ("S " + old), "a", "1");
    SetSz(k.Root(), k / ("S " + now), "b", "2");
    SetSz(k.Root(), k.Path(), "v " + old, "1");
    SetSz(k.Root(), k.Path(), "v " + now, "2");
    const TreeSnapshot before = Snapshot(k.Root(), k.Path());
    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace({{K, {Hit("S " + old, 6), Hit("v " + old, 7, "v " + old)}}}, old, now);
    const Lines expected = {
        "",
        "Updating Registry",
        "KEY: " + K,
        "  old subkey: S " + old,
        " NOT CHANGED: S " + now,
        "*****  PROBLEM - key already exists!",
        "KEY: " + K,
        "   old value: v " + old,
        " NOT CHANGED: v " + now,
        "*****  PROBLEM - value already exists!",
    };
    EXPECT_EQ(log, expected);
    EXPECT_EQ(Snapshot(k.Root(), k.Path()), before);
}

TEST_F(RegistryReplaceTest, RegReplace_ExistingTargetWithoutFullAccessStillCountsAsExisting) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    SetSz(k.Root(), k / ("S " + old), "a", "1");
    SetSz(k.Root(), k / ("S " + now), "b", "2");
    k.Lock("S " + now);
    const TreeSnapshot before = Snapshot(k.Root(), k.Path());
    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace({{K, {Hit("S " + old, 6)}}}, old, now);
    EXPECT_EQ(log.back(), "*****  PROBLEM - key already exists!");
    EXPECT_EQ(Snapshot(k.Root(), k.Path()), before);
}

TEST_F(RegistryReplaceTest, RegReplace_GroupWhoseKeyDoesNotOpenIsLoggedAndTheOthersGoOn) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    SetSz(k.Root(), k.Path(), "v", old);
    SetSz(k.Root(), k / "Locked", "v", old);
    k.Lock("Locked");
    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace({{"HKXX\\Software", {Hit("v=" + old, 8, "v")}},
                               {K, {Hit("v=" + old, 8, "v")}},
                               {K + "\\Locked", {Hit("v=" + old, 8, "v")}},
                               {K + "\\Missing", {Hit("v=" + old, 8, "v")}}},
                              old, now);
    const Lines expected = {
        "",
        "Updating Registry",
        "***** Could not open key " + K + "\\Missing",
        "***** Could not open key " + K + "\\Locked",
        "KEY: " + K,
        "   old data: v=" + old,
        "   new data: " + now,
        "***** Could not open key HKXX\\Software",
    };
    EXPECT_EQ(log, expected);
    EXPECT_EQ(GetSz(k.Root(), k.Path(), "v"), now);
    EXPECT_EQ(GetSz(k.Root(), k / "Locked", "v"), old);
    EXPECT_FALSE(KeyPresent(k.Root(), k / "Missing"));
}

TEST_F(RegistryReplaceTest, RegReplace_RootGroupWorksOnTheRootItselfNotTheKeyLeftOpen) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    const std::string name = "MovixRootV " + old, newName = "MovixRootV " + now;
    struct Cleanup {
        std::vector<std::string> names;
        ~Cleanup() {
            for (const std::string& n : names)
                ::RegDeleteValueW(HKEY_CURRENT_USER, Wide(n).c_str());
        }
    } cleanup{{name, newName}};
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    SetSz(HKEY_CURRENT_USER, "", name, "at the root");
    SetSz(k.Root(), k.Path(), name, "in the key");
    const Lines log =
        Replace({{"HKCU", {Hit(name, 7, name)}}, {"HKCU\\" + k.Path(), {Hit("w=" + old, 8, "w")}}}, old, now);
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "", newName), "at the root");
    EXPECT_FALSE(ValuePresent(HKEY_CURRENT_USER, "", name));
    EXPECT_EQ(GetSz(k.Root(), k.Path(), name), "in the key");
    EXPECT_FALSE(ValuePresent(k.Root(), k.Path(), newName));
    EXPECT_EQ(log.back(), "  new value: " + newName);
    EXPECT_EQ(log[log.size() - 3], "KEY: HKCU");
}

TEST_F(RegistryReplaceTest, RegReplace_MovedTreeEqualsTheOriginalUnderItsNewName) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    const std::string from = "X " + old, to = "X " + now;
    PlantEveryKindOfValue(k.Root(), k / from);
    const TreeSnapshot before = Snapshot(k.Root(), k / from);
    ASSERT_EQ(before.size(), 6u);
    const Lines exportedBefore = ExportRenamed("HKEY_CURRENT_USER\\" + (k / from), from, to);
    ASSERT_FALSE(exportedBefore.empty());

    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace({{K, {Hit(from, 6)}}}, old, now);
    EXPECT_EQ(log, (Lines{"", "Updating Registry", "KEY: " + K, "  old subkey: " + from, "  new subkey: " + to}));
    EXPECT_FALSE(KeyPresent(k.Root(), k / from));
    EXPECT_EQ(Snapshot(k.Root(), k / to), before);
    EXPECT_EQ(RegExportLines("HKEY_CURRENT_USER\\" + (k / to)), exportedBefore);
}

TEST_F(RegistryReplaceTest, RegReplace_MoveOfAKeyWithAnInaccessibleSubkeyLeavesItInPlace) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    const std::string from = "T " + old, to = "T " + now;
    SetSz(k.Root(), k / from, "v", "top");
    SetSz(k.Root(), k / (from + "\\a"), "v", "a");
    SetSz(k.Root(), k / (from + "\\b\\inner"), "v", "kept");
    SetSz(k.Root(), k / (from + "\\b"), "v", "b");
    SetSz(k.Root(), k / (from + "\\c"), "v", "c");
    k.Lock(from + "\\b", "D:P");
    const TreeSnapshot before = Snapshot(k.Root(), k / from);

    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace({{K, {Hit(from, 6)}}}, old, now);
    EXPECT_EQ(log, (Lines{"", "Updating Registry", "KEY: " + K, "  old subkey: " + from, " NOT CHANGED: " + to,
                          "*****  PROBLEM - a subkey below it is not accessible, key not moved!"}));
    EXPECT_EQ(Snapshot(k.Root(), k / from), before);
    EXPECT_FALSE(KeyPresent(k.Root(), k / to));
}

TEST_F(RegistryReplaceTest, RegReplace_RenamedValuesKeepTypeAndBytesEmptyDataIncluded) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    const std::vector<std::pair<DWORD, std::string>> values = {
        {REG_BINARY, ""},
        {REG_SZ, ""},
        {REG_SZ, std::string("a\0b\0c", 5)},
        {REG_MULTI_SZ, Utf16Sz("x") + Utf16Sz("")},
        {REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {REG_NONE, std::string("\x00\x01", 2)},
    };
    std::vector<TReplaceHit> hits;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string name = std::to_string(i) + " " + old;
        SetRaw(k.Root(), k.Path(), name, values[i].first, values[i].second);
        hits.push_back(Hit(name, 7, name));
    }
    Replace({{"HKCU\\" + k.Path(), hits}}, old, now);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(GetRaw(k.Root(), k.Path(), std::to_string(i) + " " + now), values[i]) << i;
        EXPECT_FALSE(ValuePresent(k.Root(), k.Path(), std::to_string(i) + " " + old)) << i;
    }
}

TEST_F(RegistryReplaceTest, RegReplace_WhatIsNoLongerThereIsReportedNotClaimed) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace({{K, {Hit("gone " + old, 6), Hit("gone " + old, 7, "gone " + old)}}}, old, now);
    EXPECT_EQ(log,
              (Lines{"", "Updating Registry", "KEY: " + K, "  old subkey: gone " + old, " NOT CHANGED: gone " + now,
                     "*****  PROBLEM - key not found or not accessible!", "KEY: " + K, "   old value: gone " + old,
                     " NOT CHANGED: gone " + now, "*****  PROBLEM - value not found!"}));
    EXPECT_FALSE(KeyPresent(k.Root(), k / ("gone " + now)));
    EXPECT_FALSE(ValuePresent(k.Root(), k.Path(), "gone " + now));
}

TEST_F(RegistryReplaceTest, RegReplace_FailedTextWriteIsLoggedAndTheNextHitFollows) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    SetSz(k.Root(), k.Path(), "v1", old);
    SetSz(k.Root(), k.Path(), "v2", old);
    // A key opened with full access takes every write; a failing one (a
    // full Registry, say) can only be injected.
    SetRegistryFaultHookForTest([](RegOp op, const std::string& name) -> LONG {
        return (op == RegOp::SetValue && name == "v1") ? ERROR_NO_SYSTEM_RESOURCES : 0;
    });
    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace({{K, {Hit("v1=" + old, 8, "v1"), Hit("v2=" + old, 8, "v2")}}}, old, now);
    EXPECT_EQ(log,
              (Lines{"", "Updating Registry", "***** Value 'v1' of key " + K + " could not be written, not updated",
                     "KEY: " + K, "   old data: v2=" + old, "   new data: " + now}));
    EXPECT_EQ(GetSz(k.Root(), k.Path(), "v1"), old);
    EXPECT_EQ(GetSz(k.Root(), k.Path(), "v2"), now);
}

TEST_F(RegistryReplaceTest, RegReplace_MoveErrorLeavesTheCallWithTheOldKeyWhole) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    const std::string from = "X " + old, to = "X " + now;
    PlantEveryKindOfValue(k.Root(), k / from);
    const TreeSnapshot before = Snapshot(k.Root(), k / from);
    const std::string K = "HKCU\\" + k.Path();

    struct Case {
        RegOp op;
        std::string name;
        std::string message;
    };
    const std::vector<Case> cases = {
        {RegOp::CreateKey, to, "Failed to create key " + to},
        {RegOp::CreateKey, to + "\\L1\\L2", "Failed to create key " + to + "\\L1\\L2"},
        {RegOp::QueryValue, "deep", "Failed to get data for 'deep'"},
        {RegOp::SetValue, "qword", "Failed to set data for 'qword'"},
    };
    for (const Case& c : cases) {
        SetRegistryFaultHookForTest([c](RegOp op, const std::string& name) -> LONG {
            return (op == c.op && name == c.name) ? ERROR_NO_SYSTEM_RESOURCES : 0;
        });
        Lines log;
        std::string message = "<none>";
        try {
            std::vector<TReplaceGroup> groups = {{K, {Hit(from, 6)}}};
            ReplaceRegistry(groups, old, now, label_, [&log](const std::string& line) { log.push_back(line); });
        } catch (const ERegistryException& e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(log, (Lines{"", "Updating Registry"})) << c.message;
        EXPECT_EQ(Snapshot(k.Root(), k / from), before) << c.message;
        EXPECT_FALSE(KeyPresent(k.Root(), k / to)) << c.message;
    }
}

TEST_F(RegistryReplaceTest, RegReplace_RenameErrorLeavesTheCallWithTheValueKept) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    const std::string name = "v " + old;
    SetSz(k.Root(), k.Path(), name, "keep me");
    const std::string K = "HKCU\\" + k.Path();
    for (RegOp failing : {RegOp::QueryValue, RegOp::SetValue}) {
        SetRegistryFaultHookForTest(
            [failing](RegOp op, const std::string&) -> LONG { return op == failing ? ERROR_NO_SYSTEM_RESOURCES : 0; });
        std::string message = "<none>";
        try {
            Replace({{K, {Hit(name, 7, name)}}}, old, now);
        } catch (const ERegistryException& e) {
            message = e.what();
        }
        EXPECT_EQ(message, failing == RegOp::QueryValue ? "Failed to get data for '" + name + "'"
                                                        : "Failed to set data for 'v " + now + "'");
        EXPECT_EQ(GetSz(k.Root(), k.Path(), name), "keep me");
        EXPECT_FALSE(ValuePresent(k.Root(), k.Path(), "v " + now));
    }
}

TEST_F(RegistryReplaceTest, RegReplace_MoveRegistryKeyDirectlyOnTheOpenKey) {
    const std::string old = UniqueToken("OldApp");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    SetSz(k.Root(), k / "A\\deep", "v", "1");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    EXPECT_EQ(MoveRegistryKey(reg, "A", "B"), TRenameOutcome::Done);
    EXPECT_EQ(GetSz(k.Root(), k / "B\\deep", "v"), "1");
    EXPECT_FALSE(KeyPresent(k.Root(), k / "A"));
    EXPECT_EQ(MoveRegistryKey(reg, "A", "C"), TRenameOutcome::NotFound);
    SetSz(k.Root(), k / "C", "v", "2");
    EXPECT_EQ(MoveRegistryKey(reg, "B", "C"), TRenameOutcome::TargetExists);
    EXPECT_EQ(GetSz(k.Root(), k / "B\\deep", "v"), "1");
    EXPECT_EQ(RenameRegistryValue(reg, "missing", "x"), TRenameOutcome::NotFound);
    // The accessor's open key is still the one it was.
    EXPECT_EQ(reg.CurrentPath(), k.Path());
}

TEST_F(RegistryReplaceTest, RegReplace_KeyIsNotMovedToANameHoldingABackslash) {
    // An Old address without a backslash can be part of a key's name; a New
    // one with backslashes cannot, and must not make a chain of keys (here
    // it would even lie inside the key being moved).
    const std::string old = UniqueToken("OldApp");
    const std::string now = old + "\\Sub";
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    SetSz(k.Root(), k / (old + "\\a"), "v", "1");
    const TreeSnapshot before = Snapshot(k.Root(), k.Path());
    const std::string K = "HKCU\\" + k.Path();
    const Lines log = Replace({{K, {Hit(old, 6)}}}, old, now);
    EXPECT_EQ(log, (Lines{"", "Updating Registry", "KEY: " + K, "  old subkey: " + old, " NOT CHANGED: " + now,
                          "*****  PROBLEM - a key name cannot hold a backslash!"}));
    EXPECT_EQ(Snapshot(k.Root(), k.Path()), before);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    EXPECT_EQ(MoveRegistryKey(reg, old, now), TRenameOutcome::InvalidName);
    EXPECT_EQ(Snapshot(k.Root(), k.Path()), before);
}

namespace {

// A wide literal with every unit in it, embedded NULs included.
template <std::size_t N>
std::wstring Units(const wchar_t (&literal)[N]) {
    return std::wstring(literal, N - 1);
}

// UTF-16 text as string data, every unit of it, with `odd` bytes after it.
std::string Utf16Bytes(const std::wstring& units, const std::string& odd = std::string()) {
    return Bytes(units.data(), units.size() * sizeof(wchar_t)) + odd;
}

// A subkey by its exact UTF-16 name (unpaired surrogates and all), made if
// missing, and a value of it likewise.
HKEY CreateKeyW(HKEY parent, const std::wstring& name) {
    HKEY key = nullptr;
    EXPECT_EQ(::RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

void SetRawW(HKEY parent, const std::wstring& sub, const std::wstring& name, DWORD type, const std::string& bytes) {
    HKEY key = CreateKeyW(parent, sub);
    ASSERT_NE(key, nullptr);
    const LONG r = ::RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                    static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
    ASSERT_EQ(r, ERROR_SUCCESS);
}

}  // namespace

TEST_F(RegistryReplaceTest, RegReplace_TextAfterAnEmbeddedNulIsWrittenBackUnchanged) {
    // Only the text before the first NUL is searched and replaced; the rest
    // of the data, whatever it holds, stays as it was.
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    const std::wstring o = Wide(old), n = Wide(now), nul(1, L'\0');
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    struct Case {
        const char* name;
        DWORD type;
        std::string before, after;
    };
    const Case cases[] = {
        {"sz", REG_SZ, Utf16Bytes(L"C:\\" + o + Units(L"\\a.exe\0tail C:\\") + o + nul),
         Utf16Bytes(L"C:\\" + n + Units(L"\\a.exe\0tail C:\\") + o + nul)},
        {"expand", REG_EXPAND_SZ, Utf16Bytes(L"%X%;C:\\" + o + Units(L"\0\0more\0")),
         Utf16Bytes(L"%X%;C:\\" + n + Units(L"\0\0more\0"))},
        {"odd length", REG_SZ, Utf16Bytes(L"C:\\" + o + nul, "z"), Utf16Bytes(L"C:\\" + n + nul, "z")},
        {"unterminated", REG_SZ, Utf16Bytes(L"C:\\" + o), Utf16Bytes(L"C:\\" + n + nul)},
        {"only after", REG_SZ, Utf16Bytes(Units(L"x\0C:\\") + o + nul), Utf16Bytes(Units(L"x\0C:\\") + o + nul)},
    };
    for (const Case& c : cases)
        SetRaw(k.Root(), k.Path(), c.name, c.type, c.before);
    Replace(SearchToGroups(old), old, now);
    for (const Case& c : cases)
        EXPECT_EQ(GetRaw(k.Root(), k.Path(), c.name), std::make_pair(c.type, c.after)) << c.name;
}

TEST_F(RegistryReplaceTest, RegReplace_NamesAndTextsWithAnUnpairedSurrogateAreNeverRewritten) {
    // UTF-8 has no form for an unpaired surrogate: such a text, read, shows
    // U+FFFD in its place. Written back it would be corrupted; a name that
    // holds one names another value or key (here a look-alike that holds a
    // real U+FFFD) or none. Real U+FFFD names with no such look-alike, and
    // what lies below a moved key, go through unchanged.
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    const std::string fffd = "\xEF\xBF\xBD";
    const std::wstring o = Wide(old), nul(1, L'\0');
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixRep");
    const std::string K = "HKCU\\" + k.Path();
    const auto sz = [&](const std::wstring& text) { return Utf16Bytes(text + nul); };
    const std::wstring top = Wide(k.Path());
    SetRawW(k.Root(), top, L"sz", REG_SZ, sz(L"C:\\" + o + L"\\a\xD800" + std::wstring(L"b")));
    SetRawW(k.Root(), top, L"ex", REG_EXPAND_SZ, sz(L"C:\\" + o + L"\\\xDC00"));
    SetRawW(k.Root(), top, L"t\xD800", REG_SZ, sz(L"C:\\" + o));
    SetRawW(k.Root(), top, L"t\xFFFD", REG_SZ, sz(L"C:\\" + o));
    SetRawW(k.Root(), top, L"n\xDBFF " + o, REG_SZ, sz(L"x"));
    SetRawW(k.Root(), top, L"n\xFFFD " + o, REG_SZ, sz(L"y"));
    SetRawW(k.Root(), top, L"r\xFFFD " + o, REG_SZ, sz(L"z"));
    SetRawW(k.Root(), top + L"\\k\xD800 " + o, L"v", REG_SZ, sz(L"1"));
    SetRawW(k.Root(), top + L"\\k\xFFFD " + o, L"v", REG_SZ, sz(L"2"));
    SetRawW(k.Root(), top + L"\\" + o + L" m\\s\xD800", L"v\xD801", REG_SZ, Utf16Bytes(Units(L"\xDC00\0")));

    TreeSnapshot expected = Snapshot(k.Root(), k.Path());
    const std::string rOld = "r" + fffd + " " + old, rNew = "r" + fffd + " " + now;
    expected[""][rNew] = expected[""][rOld];
    expected[""].erase(rOld);
    for (const char* rel : {" m", " m\\s<D800>"}) {
        expected[now + rel] = expected[old + rel];
        expected.erase(old + rel);
    }
    const Lines log = Replace(
        {{K,
          {Hit("sz=C:\\" + old + "\\a" + fffd + "b", 8, "sz"), Hit("ex=C:\\" + old + "\\" + fffd, 9, "ex"),
           Hit("t" + fffd + "=C:\\" + old, 8, "t" + fffd), Hit("n" + fffd + " " + old, 7, "n" + fffd + " " + old),
           Hit(rOld, 7, rOld), Hit("k" + fffd + " " + old, 6), Hit(old + " m", 6)}}},
        old, now);
    EXPECT_EQ(
        log,
        (Lines{"", "Updating Registry",
               "***** Value 'sz' of key " + K + " holds an unpaired surrogate in its text, not updated",
               "***** Value 'ex' of key " + K + " holds an unpaired surrogate in its text, not updated",
               "***** Value 't" + fffd + "' of key " + K + " has an unpaired surrogate in its name, not updated",
               "KEY: " + K, "   old value: n" + fffd + " " + old, " NOT CHANGED: n" + fffd + " " + now,
               "*****  PROBLEM - the value's name holds an unpaired surrogate!", "KEY: " + K, "  old value: " + rOld,
               "  new value: " + rNew, "KEY: " + K, "  old subkey: k" + fffd + " " + old,
               " NOT CHANGED: k" + fffd + " " + now, "*****  PROBLEM - the key's name holds an unpaired surrogate!",
               "KEY: " + K, "  old subkey: " + old + " m", "  new subkey: " + now + " m"}));
    EXPECT_EQ(Snapshot(k.Root(), k.Path()), expected);
}
