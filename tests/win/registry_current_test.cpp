// The Registry search and replacer against what the Registry holds now:
// texts changed after the search, failed writes, Registry links, keys'
// security, keys that may only be read, and keys reachable under two names.
// Everything on planted keys in Wine's real Registry, the user's keys read
// back afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform_code.h"
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

class RegistryCurrentTest : public UiFixture {
  protected:
    void SetUp() override {
        UiFixture::SetUp();
        savedPlatform_ = PlatformCode;
        PlatformCode = 2;
    }
    void TearDown() override {
        PlatformCode = savedPlatform_;
        SetRegistryFaultHookForTest(nullptr);
        UiFixture::TearDown();
    }

    // Every hit whose Path or Context holds `old`, in the order found.
    std::vector<FoundHit> Search(const std::string& old, int mode) {
        hits_.clear();
        auto* thread = new TSearchRegThread(KindReg, old, label_, Collector(), {}, mode);
        RunToEnd(thread, 300000);
        EXPECT_TRUE(fatal_.empty()) << fatal_;
        return hits_;
    }

    // The search's hits as the replacement run hands them over: one group
    // per Path in list order, each value hit with its value's name.
    std::vector<TReplaceGroup> SearchToGroups(const std::string& old) {
        std::vector<TReplaceGroup> groups;
        auto* thread = new TSearchRegThread(KindReg, old, label_, Collector(), {}, 5);
        thread->OnFoundValue = [&groups](const std::string&, const std::string& path, const std::string& context, int,
                                         int subType, const std::string& valueName) {
            if (groups.empty() || groups.back().Key != path)
                groups.push_back({path, {}});
            TReplaceHit hit{context, subType};
            if (subType >= kSubTypeValueName)
                hit.ValueName = valueName;
            groups.back().Hits.push_back(hit);
        };
        RunToEnd(thread, 300000);
        EXPECT_TRUE(fatal_.empty()) << fatal_;
        return groups;
    }

    Lines Replace(std::vector<TReplaceGroup> groups, const std::string& old, const std::string& now) {
        Lines log;
        ReplaceRegistry(groups, old, now, label_, [&log](const std::string& line) { log.push_back(line); });
        return log;
    }

    int savedPlatform_ = 2;
};

TReplaceHit Hit(const std::string& text, int subType, const std::string& valueName = std::string()) {
    TReplaceHit h{text, subType};
    if (subType != kSubTypeKey)
        h.ValueName = valueName;
    return h;
}

}  // namespace

TEST_F(RegistryCurrentTest, RegCurrent_OnlyTextsStillAsFoundAreWrittenAndEveryRefusalIsLogged) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixCur");
    const HKEY r = k.Root();
    const std::string K = "HKCU\\" + k.Path();
    SetSz(r, k.Path(), "a same", "C:\\" + old + "\\a.exe");
    SetSz(r, k.Path(), "b changed", "C:\\" + old + "\\b.exe");
    SetSz(r, k.Path(), "c gone", "C:\\" + old + "\\c.exe");
    SetSz(r, k.Path(), "d retyped", "C:\\" + old + "\\d.exe");
    SetSz(r, k.Path(), "e unwritable", "C:\\" + old + "\\e.exe", REG_EXPAND_SZ);
    SetSz(r, k.Path(), "f same", "%ProgramFiles%\\" + old, REG_EXPAND_SZ);
    const std::vector<TReplaceGroup> groups = SearchToGroups(old);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0].Hits.size(), 6u);

    // Another program works on the key between the search and the replacement.
    SetSz(r, k.Path(), "b changed", "C:\\" + old + "\\other.exe");
    ASSERT_EQ(::RegDeleteKeyValueW(r, Wide(k.Path()).c_str(), L"c gone"), ERROR_SUCCESS);
    SetSz(r, k.Path(), "d retyped", "C:\\" + old + "\\d.exe", REG_EXPAND_SZ);
    // A write that fails (a full Registry, say) can only be injected.
    SetRegistryFaultHookForTest([](RegOp op, const std::string& name) -> LONG {
        return (op == RegOp::SetValue && name == "e unwritable") ? ERROR_NO_SYSTEM_RESOURCES : 0;
    });
    const Lines log = Replace(groups, old, now);
    const Lines expected = {
        "",
        "Updating Registry",
        "KEY: " + K,
        "   old data: a same=C:\\" + old + "\\a.exe",
        "   new data: C:\\" + now + "\\a.exe",
        "***** Value 'b changed' of key " + K + " has changed since the search, not updated",
        "***** Value 'c gone' of key " + K + " no longer exists, not updated",
        "***** Value 'd retyped' of key " + K + " has changed since the search, not updated",
        "***** Value 'e unwritable' of key " + K + " could not be written, not updated",
        "KEY: " + K,
        "   old data: f same=%ProgramFiles%\\" + old,
        "   new data: %ProgramFiles%\\" + now,
    };
    EXPECT_EQ(log, expected);

    EXPECT_EQ(GetSz(r, k.Path(), "a same"), "C:\\" + now + "\\a.exe");
    EXPECT_EQ(GetRaw(r, k.Path(), "b changed"), std::make_pair(DWORD(REG_SZ), Utf16Sz("C:\\" + old + "\\other.exe")));
    EXPECT_FALSE(ValuePresent(r, k.Path(), "c gone"));
    EXPECT_EQ(GetRaw(r, k.Path(), "d retyped"),
              std::make_pair(DWORD(REG_EXPAND_SZ), Utf16Sz("C:\\" + old + "\\d.exe")));
    EXPECT_EQ(GetRaw(r, k.Path(), "e unwritable"),
              std::make_pair(DWORD(REG_EXPAND_SZ), Utf16Sz("C:\\" + old + "\\e.exe")));
    EXPECT_EQ(GetRaw(r, k.Path(), "f same"), std::make_pair(DWORD(REG_EXPAND_SZ), Utf16Sz("%ProgramFiles%\\" + now)));
}

TEST_F(RegistryCurrentTest, RegCurrent_KeyMoveNeverFollowsARegistryLinkAndDeletesNothing) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_LOCAL_MACHINE, "Software", "MovixCur");
    const HKEY r = k.Root();
    const std::string K = "HKLM\\" + k.Path();
    SetSz(r, k / "Target", "t", "the user's data");
    SetSz(r, k / "Target\\Deeper", "d", "more of it");
    // A key to move with a link below it, and a key to move that is a link.
    SetSz(r, k / ("Holder " + old), "v", "1");
    SetSz(r, k / ("Holder " + old + "\\A"), "v", "2");
    RegistryLink inside(r, k / ("Holder " + old + "\\L"), r, k / "Target");
    RegistryLink itself(r, k / ("Link " + old), r, k / "Target");
    ASSERT_TRUE(inside.Intact());
    ASSERT_TRUE(itself.Intact());
    const TreeSnapshot before = Snapshot(r, k.Path());

    const Lines log = Replace({{K, {Hit("Holder " + old, kSubTypeKey), Hit("Link " + old, kSubTypeKey)}}}, old, now);
    const Lines expected = {
        "",
        "Updating Registry",
        "KEY: " + K,
        "  old subkey: Holder " + old,
        " NOT CHANGED: Holder " + now,
        "*****  PROBLEM - " + K + "\\Holder " + old + "\\L is a Registry link, key not moved!",
        "KEY: " + K,
        "  old subkey: Link " + old,
        " NOT CHANGED: Link " + now,
        "*****  PROBLEM - " + K + "\\Link " + old + " is a Registry link, key not moved!",
    };
    EXPECT_EQ(log, expected);
    EXPECT_EQ(Snapshot(r, k.Path()), before);
    EXPECT_TRUE(inside.Intact());
    EXPECT_TRUE(itself.Intact());
    EXPECT_EQ(GetSz(r, k / "Target", "t"), "the user's data");
    EXPECT_EQ(GetSz(r, k / "Target\\Deeper", "d"), "more of it");
    EXPECT_FALSE(KeyPresent(r, k / ("Holder " + now)));
    EXPECT_FALSE(KeyPresent(r, k / ("Link " + now)));
}

TEST_F(RegistryCurrentTest, RegCurrent_MovedKeysKeepTheirSecurityOrStayWhereTheyAre) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixCur");
    const HKEY r = k.Root();
    const std::string K = "HKCU\\" + k.Path();
    const std::string from = "S " + old, to = "S " + now;
    SetSz(r, k / from, "v", "top");
    SetSz(r, k / (from + "\\Sub"), "v", "below");
    SetSz(r, k / (from + "\\Plain"), "v", "inherits");
    SetSecurityText(r, k / from, "D:P(A;CI;KA;;;WD)(A;;KR;;;BU)");
    SetSecurityText(r, k / (from + "\\Sub"), "D:P(A;;KA;;;WD)(A;;KR;;;BG)");
    const std::vector<std::string> keys = {"", "\\Sub", "\\Plain"};
    std::vector<std::string> security;
    for (const std::string& rel : keys)
        security.push_back(SecurityText(r, k / from + rel));
    ASSERT_NE(security[0], security[1]);
    ASSERT_EQ(security[0].find("<none>"), std::string::npos);
    const TreeSnapshot before = Snapshot(r, k / from);

    // The copy cannot be given its original's security: nothing moves.
    SetRegistryFaultHookForTest([&](RegOp op, const std::string& name) -> LONG {
        return (op == RegOp::SetSecurity && name == from + "\\Sub") ? ERROR_INVALID_OWNER : 0;
    });
    Lines log = Replace({{K, {Hit(from, kSubTypeKey)}}}, old, now);
    EXPECT_EQ(log, (Lines{"", "Updating Registry", "KEY: " + K, "  old subkey: " + from, " NOT CHANGED: " + to,
                          "*****  PROBLEM - the security of " + K + "\\" + from +
                              "\\Sub could not be kept, key not moved!"}));
    EXPECT_EQ(Snapshot(r, k / from), before);
    EXPECT_FALSE(KeyPresent(r, k / to));
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(SecurityText(r, k / from + keys[i]), security[i]) << keys[i];

    SetRegistryFaultHookForTest(nullptr);
    log = Replace({{K, {Hit(from, kSubTypeKey)}}}, old, now);
    EXPECT_EQ(log, (Lines{"", "Updating Registry", "KEY: " + K, "  old subkey: " + from, "  new subkey: " + to}));
    EXPECT_FALSE(KeyPresent(r, k / from));
    EXPECT_EQ(Snapshot(r, k / to), before);
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(SecurityText(r, k / to + keys[i]), security[i]) << keys[i];
}

TEST_F(RegistryCurrentTest, RegCurrent_SearchReadsWhatItMayOnlyReadAndTheReplacerAsksForWhatItWrites) {
    const std::string old = UniqueToken("OldApp");
    const std::string now = UniqueToken("NewDir");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixCur");
    const HKEY r = k.Root();
    const std::string K = "HKCU\\" + k.Path();
    SetSz(r, k / "A ReadOnly", "v", old);
    k.Lock("A ReadOnly");
    SetSz(r, k / "B NoAccess", "v", old);
    k.Lock("B NoAccess", "D:P");
    // Reading and setting values, nothing else (no subkeys, no deleting).
    SetSz(r, k / "C Values", "t", "C:\\" + old);
    SetSz(r, k / "C Values", "n " + old, "x");
    k.Lock("C Values", "D:P(A;;0x2001b;;;WD)");

    const std::vector<FoundHit> hits = Search(old, 5);
    const std::vector<FoundHit> expected = {
        {"A ReadOnly", K + "\\A ReadOnly", "v=" + old, 4, 8},
        {"C Values", K + "\\C Values", "n " + old, 4, 7},
        {"C Values", K + "\\C Values", "t=C:\\" + old, 4, 8},
    };
    EXPECT_EQ(hits, expected);

    const Lines log = Replace({{K + "\\A ReadOnly", {Hit("v=" + old, 8, "v")}},
                               {K + "\\C Values", {Hit("n " + old, 7, "n " + old), Hit("t=C:\\" + old, 8, "t")}}},
                              old, now);
    const Lines expectedLog = {
        "",
        "Updating Registry",
        "KEY: " + K + "\\C Values",
        "   old data: t=C:\\" + old,
        "   new data: C:\\" + now,
        "KEY: " + K + "\\C Values",
        "  old value: n " + old,
        "  new value: n " + now,
        "***** Could not open key " + K + "\\A ReadOnly",
    };
    EXPECT_EQ(log, expectedLog);
    EXPECT_EQ(GetSz(r, k / "C Values", "t"), "C:\\" + now);
    EXPECT_EQ(GetSz(r, k / "C Values", "n " + now), "x");
    EXPECT_FALSE(ValuePresent(r, k / "C Values", "n " + old));
    EXPECT_EQ(GetSz(r, k / "A ReadOnly", "v"), old);
}

TEST_F(RegistryCurrentTest, RegCurrent_EveryKeyIsListedOnceUnderTheNameOfTheFirstRootThatShowsIt) {
    const std::string old = UniqueToken("OldApp");
    PlantedKey cr(HKEY_CLASSES_ROOT, "", "MovixCur");
    PlantedKey cu(HKEY_CURRENT_USER, "Software", "MovixCur");
    PlantedKey lm(HKEY_LOCAL_MACHINE, "Software", "MovixCur");
    SetSz(cr.Root(), cr.Path(), "v", old);
    SetSz(cu.Root(), cu / "Target", "v", old);
    SetSz(lm.Root(), lm / "Target", "v", old);
    // Links to keys walked anyway.
    RegistryLink userLink(cu.Root(), cu / "Link", cu.Root(), cu / "Target");
    RegistryLink machineLink(lm.Root(), lm / "Link", lm.Root(), lm / "Target");

    const std::vector<FoundHit> shown = {
        {cr.Name(), "HKCR\\" + cr.Path(), "v=" + old, 4, 8},
        {"Target", "HKCU\\" + cu / "Target", "v=" + old, 4, 8},
    };
    EXPECT_EQ(Search(old, 5), shown);

    // With the whole Registry and no ignore entries: HKCR's keys are not
    // met again under HKLM\SOFTWARE\Classes, nor HKCU's under HKUS.
    std::vector<FoundHit> expected = shown;
    expected.push_back({"Target", "HKLM\\" + lm / "Target", "v=" + old, 4, 8});
    EXPECT_EQ(Search(old, 7), expected);

    // Where HKCC is walked (the Windows 95 family), not again as the branch
    // of HKLM that it is.
    PlantedKey cc(HKEY_CURRENT_CONFIG, "", "MovixCur");
    SetSz(cc.Root(), cc.Path(), "v", old);
    PlatformCode = 0;
    expected.insert(expected.begin() + 2, {cc.Name(), "HKCC\\" + cc.Path(), "v=" + old, 4, 8});
    EXPECT_EQ(Search(old, 7), expected);
}
