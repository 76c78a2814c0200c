// The Registry search thread over the real Registry under Wine: keys planted
// under HKCR, HKCU, HKLM (and HKCC) with a unique Old address, searched
// through the whole of each root with a real UI thread pumping messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform_code.h"
#include "core/strings.h"
#include "registry_test_support_win.h"
#include "search_test_support_win.h"
#include "targets/registry_search_win.h"
#include "platform/registry_win.h"

using namespace movix;
using namespace movix_test;

namespace {

struct RegHit {
    FoundHit hit;
    std::string valueName;
    bool operator==(const RegHit& o) const { return hit == o.hit && valueName == o.valueName; }
};

std::ostream& operator<<(std::ostream& os, const RegHit& h) {
    return os << h.hit << "[" << h.valueName << "]";
}

// Records every caption the progress label is given.
LRESULT CALLBACK RecordingLabelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
std::vector<std::string>* g_captions = nullptr;
WNDPROC g_labelProc = nullptr;

LRESULT CALLBACK RecordingLabelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETTEXT && g_captions != nullptr && lp != 0)
        g_captions->push_back(reinterpret_cast<const char*>(lp));
    return ::CallWindowProcA(g_labelProc, hwnd, msg, wp, lp);
}

class RegistrySearchTest : public UiFixture {
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

    // Runs a search to its end; returns the hits with the value names that
    // came beside them (and checks they agree with the plain callback's).
    std::vector<RegHit> Search(const std::string& old, int mode, const std::vector<std::string>& ignore = {}) {
        hits_.clear();
        std::vector<RegHit> withNames;
        auto* thread = new TSearchRegThread(KindReg, old, label_, Collector(), ignore, mode);
        thread->OnFoundValue = [&withNames](const std::string& item, const std::string& path,
                                            const std::string& context, int kind, int subType,
                                            const std::string& valueName) {
            withNames.push_back({{item, path, context, kind, subType}, valueName});
        };
        current_ = thread;
        RunToEnd(thread, 300000);
        current_ = nullptr;
        EXPECT_TRUE(fatal_.empty()) << fatal_;
        EXPECT_TRUE(hits_.empty()) << "OnFound is not called when OnFoundValue is set";
        return withNames;
    }

    std::vector<FoundHit> SearchPlain(const std::string& old, int mode, const std::vector<std::string>& ignore = {}) {
        hits_.clear();
        auto* thread = new TSearchRegThread(KindReg, old, label_, Collector(), ignore, mode);
        current_ = thread;
        RunToEnd(thread, 300000);
        current_ = nullptr;
        EXPECT_TRUE(fatal_.empty()) << fatal_;
        return hits_;
    }

    // Only the hits whose Path begins with one of `prefixes`.
    static std::vector<FoundHit> Under(const std::vector<FoundHit>& hits, const std::string& prefix) {
        std::vector<FoundHit> out;
        for (const FoundHit& h : hits)
            if (h.path.compare(0, prefix.size(), prefix) == 0)
                out.push_back(h);
        return out;
    }

    TMovixThread* current_ = nullptr;
    int savedPlatform_ = 2;
};

// The planted tree: every kind of hit, and everything that must not be one.
// Names are chosen so that the Registry's order (Wine keeps names sorted,
// Windows lists values as they were made) is the order they are made in.
struct Plant {
    explicit Plant(HKEY root, const std::string& parent, const std::string& old)
        : key(root, parent, "MovixSearch"), old(old) {
        const HKEY r = key.Root();
        const std::string& k = key.Path();
        SetSz(r, k, "", "C:\\" + old + "\\app.exe");                                            // 8, default value
        SetSz(r, k, "(default)", "x " + old);                                                   // 8, literal name
        SetSz(r, k, "a Path", "%SystemRoot%;c:\\" + UpperAscii(old) + "\\bin", REG_EXPAND_SZ);  // 9
        SetSz(r, k, "b " + old + " name", "C:\\" + old + "\\data");                             // 7 then 8
        SetDword(r, k, "c dw " + old, 1);                                                       // 7 only
        SetRaw(r, k, "d bin", REG_BINARY, old);                                                 // nothing
        SetRaw(r, k, "e multi", REG_MULTI_SZ, Utf16Sz(old) + Utf16Sz(""));                      // 10
        SetSz(r, k, "f nul", std::string("abc\0", 4) + old);  // nothing: after the NUL
        SetSz(r, k, "g plain", "nothing here");               // nothing
        SetSz(r, k, "h=eq", old);                             // 8, name with "="
        SetSz(r, key / ("A Sub " + old), "v", old);           // 6, then 8 inside
        SetSz(r, key / ("B Ignored " + old), "v", old);       // 6 only when ignored
        SetSz(r, key / "C Deep\\A\\B\\C", "x", old);          // 8 four levels down
        SetSz(r, key / "D Locked", "v", old);                 // nothing: cannot be read
        key.Lock("D Locked", "D:P");
        SetSz(r, key / ("E " + old + " x"), "plain", "no");  // 6
    }

    // The hits of the tree, in the order the search gives them, with the
    // ignore entry for "B Ignored ..." in force when `ignoring`.
    std::vector<RegHit> Expected(const std::string& abbreviation, bool ignoring) const {
        const std::string k = abbreviation + "\\" + key.Path();
        const std::string item = key.Name();
        std::vector<RegHit> e = {
            {{item, k, "(default)=C:\\" + old + "\\app.exe", 4, 8}, ""},
            {{item, k, "(default)=x " + old, 4, 8}, "(default)"},
            {{item, k, "a Path=%SystemRoot%;c:\\" + UpperAscii(old) + "\\bin", 4, 9}, "a Path"},
            {{item, k, "b " + old + " name", 4, 7}, "b " + old + " name"},
            {{item, k, "b " + old + " name=C:\\" + old + "\\data", 4, 8}, "b " + old + " name"},
            {{item, k, "c dw " + old, 4, 7}, "c dw " + old},
            {{item, k, "e multi=" + old, 4, 10}, "e multi"},
            {{item, k, "h=eq=" + old, 4, 8}, "h=eq"},
            {{"A Sub " + old, k, "A Sub " + old, 4, 6}, ""},
            {{"A Sub " + old, k + "\\A Sub " + old, "v=" + old, 4, 8}, "v"},
            {{"B Ignored " + old, k, "B Ignored " + old, 4, 6}, ""},
        };
        if (!ignoring)
            e.push_back({{"B Ignored " + old, k + "\\B Ignored " + old, "v=" + old, 4, 8}, "v"});
        e.push_back({{"C", k + "\\C Deep\\A\\B\\C", "x=" + old, 4, 8}, "x"});
        e.push_back({{"E " + old + " x", k, "E " + old + " x", 4, 6}, ""});
        return e;
    }

    std::string IgnoreEntry(const std::string& abbreviation) const {
        // Any mix of letter case names the key.
        std::string entry = abbreviation + "\\" + key.Path() + "\\B Ignored " + old;
        for (char& c : entry)
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        return entry;
    }

    PlantedKey key;
    std::string old;
};

std::vector<FoundHit> Plain(const std::vector<RegHit>& hits) {
    std::vector<FoundHit> out;
    for (const RegHit& h : hits)
        out.push_back(h.hit);
    return out;
}

std::vector<RegHit> Concat(std::vector<RegHit> a, const std::vector<RegHit>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The subkey of HKEY_USERS that the current user's branch is.
std::string CurrentUserBranch(const std::string& probePath) {
    HKEY users = HKEY_USERS;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD n = 256;
        if (::RegEnumKeyExW(users, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::string sid = Narrow(std::wstring(name, n));
        if (KeyPresent(HKEY_USERS, sid + "\\" + probePath))
            return sid;
    }
    return std::string();
}

}  // namespace

TEST_F(RegistrySearchTest, RegSearch_Mode5FindsEveryHitKindInOrderAndNothingElse) {
    const std::string old = UniqueToken("OldApp");
    Plant cr(HKEY_CLASSES_ROOT, "", old);
    Plant cu(HKEY_CURRENT_USER, "Software", old);
    Plant lm(HKEY_LOCAL_MACHINE, "Software", old);
    const auto hits = Search(old, 5, {cu.IgnoreEntry("HKCU"), cr.IgnoreEntry("HKCR")});
    EXPECT_EQ(hits, Concat(cr.Expected("HKCR", true), cu.Expected("HKCU", true)));
}

TEST_F(RegistrySearchTest, RegSearch_Mode7WalksAllRootsAndHonoursIgnoreEntries) {
    const std::string old = UniqueToken("OldApp");
    Plant cr(HKEY_CLASSES_ROOT, "", old);
    Plant cu(HKEY_CURRENT_USER, "Software", old);
    Plant lm(HKEY_LOCAL_MACHINE, "Software", old);
    const std::string sid = CurrentUserBranch(cu.key.Path());
    ASSERT_FALSE(sid.empty());

    // Without an ignore list the branches that HKCR and HKCU show are not
    // met again under HKLM and HKUS.
    const auto all = Plain(Search(old, 7));
    EXPECT_EQ(Under(all, "HKCR\\"), Plain(cr.Expected("HKCR", false)));
    EXPECT_EQ(Under(all, "HKCU\\"), Plain(cu.Expected("HKCU", false)));
    EXPECT_EQ(Under(all, "HKLM\\Software\\" + lm.key.Name()), Plain(lm.Expected("HKLM", false)));
    EXPECT_TRUE(Under(all, "HKUS\\" + sid + "\\").empty());
    EXPECT_TRUE(Under(all, "HKLM\\Software\\Classes\\" + cr.key.Name()).empty());
    EXPECT_EQ(all.size(), 3 * cu.Expected("HKCU", false).size());

    // The default entries for those branches, in other letter cases.
    const auto some = Search(old, 7,
                             {"hklm\\software\\classes", "HKUS\\" + UpperAscii(sid), cu.IgnoreEntry("HKCU"),
                              cr.IgnoreEntry("HKCR"), lm.IgnoreEntry("HKLM")});
    EXPECT_EQ(some, Concat(Concat(cr.Expected("HKCR", true), cu.Expected("HKCU", true)), lm.Expected("HKLM", true)));
}

TEST_F(RegistrySearchTest, RegSearch_CurrentConfigOnlyOnWindows95Family) {
    const std::string old = UniqueToken("OldApp");
    PlantedKey cc(HKEY_CURRENT_CONFIG, "", "MovixSearch");
    SetSz(cc.Root(), cc.Path(), "v", old);
    const std::vector<FoundHit> inCc = {{cc.Name(), "HKCC\\" + cc.Path(), "v=" + old, 4, 8}};

    PlatformCode = 0;
    EXPECT_EQ(SearchPlain(old, 6), inCc);
    EXPECT_TRUE(SearchPlain(old, 5).empty());
    PlatformCode = 1;
    EXPECT_TRUE(SearchPlain(old, 6).empty());
    PlatformCode = 2;
    EXPECT_TRUE(SearchPlain(old, 6).empty());
}

TEST_F(RegistrySearchTest, RegSearch_IgnoreEntriesNameWholeKeysNotPrefixes) {
    const std::string old = UniqueToken("OldApp");
    Plant cr(HKEY_CLASSES_ROOT, "", old);
    Plant cu(HKEY_CURRENT_USER, "Software", old);
    const std::string cuPath = "HKCU\\" + cu.key.Path();
    // A whole root; a key's path without its last letter covers nothing.
    const auto hits = SearchPlain(old, 5, {"hkcu", cuPath.substr(0, cuPath.size() - 1)});
    EXPECT_EQ(hits, Plain(cr.Expected("HKCR", false)));
    // The key whose own name holds Old is still listed by its parent.
    const auto some = SearchPlain(old, 5, {"HKCR\\" + UpperAscii(cr.key.Path()), cuPath.substr(0, cuPath.size() - 1)});
    EXPECT_EQ(some, Plain(cu.Expected("HKCU", false)));
}

TEST_F(RegistrySearchTest, RegSearch_HitsAmongTheRootsOwnValuesAndKeys) {
    const std::string old = UniqueToken("OldApp");
    const std::string valueName = "MovixRoot " + old;
    struct Cleanup {
        std::string name;
        ~Cleanup() { ::RegDeleteValueW(HKEY_CURRENT_USER, Wide(name).c_str()); }
    } cleanup{valueName};
    SetSz(HKEY_CURRENT_USER, "", valueName, "C:\\" + old);
    PlantedKey sub(HKEY_CURRENT_USER, "", "Movix" + old + " ");  // the name of Old ends at the blank
    const auto hits = SearchPlain(old, 5);
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[0], (FoundHit{"", "HKCU", valueName, 4, 7}));
    EXPECT_EQ(hits[1], (FoundHit{"", "HKCU", valueName + "=C:\\" + old, 4, 8}));
    EXPECT_EQ(hits[2], (FoundHit{sub.Name(), "HKCU", sub.Name(), 4, 6}));
}

TEST_F(RegistrySearchTest, RegSearch_ValueThatCannotBeReadIsPassedOver) {
    const std::string old = UniqueToken("OldApp");
    Plant cu(HKEY_CURRENT_USER, "Software", old);
    const std::string unreadable = "b " + old + " name";
    SetRegistryFaultHookForTest([unreadable](RegOp op, const std::string& name) -> LONG {
        return (op == RegOp::QueryValue && name == unreadable) ? ERROR_KEY_DELETED : 0;
    });
    const auto hits = Search(old, 5);
    std::vector<RegHit> expected;
    for (const RegHit& h : cu.Expected("HKCU", false))
        if (h.valueName != unreadable)
            expected.push_back(h);
    EXPECT_EQ(hits, expected);
}

TEST_F(RegistrySearchTest, RegSearch_TerminateEndsTheWalkWithoutFurtherReports) {
    const std::string old = UniqueToken("OldApp");
    Plant cu(HKEY_CURRENT_USER, "Software", old);
    Plant lm(HKEY_LOCAL_MACHINE, "Software", old);
    onHit_ = [this] { current_->Terminate(); };
    const auto hits = SearchPlain(old, 7);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0], cu.Expected("HKCU", false)[0].hit);
}

TEST_F(RegistrySearchTest, RegSearch_ProgressShowsKeysDownToDepthThree) {
    const std::string old = UniqueToken("OldApp");
    Plant cu(HKEY_CURRENT_USER, "Software", old);
    std::vector<std::string> captions;
    g_captions = &captions;
    g_labelProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(label_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingLabelProc)));
    const auto hits = SearchPlain(old, 5);
    ::SetWindowLongPtrA(label_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_labelProc));
    g_captions = nullptr;

    EXPECT_EQ(hits, Plain(cu.Expected("HKCU", false)));
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.front().compare(0, 7, "In HKCR"), 0) << captions.front();
    bool sawCurrentUser = false;
    for (const std::string& c : captions) {
        ASSERT_EQ(c.compare(0, 3, "In "), 0) << c;
        EXPECT_LE(std::count(c.begin(), c.end(), '\\'), 3) << c;
        sawCurrentUser = sawCurrentUser || c.compare(0, 7, "In HKCU") == 0;
    }
    EXPECT_TRUE(sawCurrentUser);
    EXPECT_EQ(LabelText(), captions.back());
}

TEST_F(RegistrySearchTest, RegSearch_KeyWhoseNameHasNoUtf8FormIsCountedNotEntered) {
    // A name with an unpaired surrogate reads, in UTF-8, as its look-alike
    // with U+FFFD, which opens another key (here one that exists) or none.
    // Its name is still listed as a hit; what is inside is not read but
    // counted as such, and the look-alike is walked once, as itself.
    const std::string old = UniqueToken("OldApp");
    const std::string sub = old + " \xEF\xBF\xBD";
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixSearch");
    for (const wchar_t* name : {L"\xD800", L"\xFFFD"}) {
        HKEY parent = CreateTestKey(k.Root(), k.Path()), key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(parent, (Wide(old) + L" " + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr),
                  ERROR_SUCCESS);
        const std::string data = Utf16Sz(old + (name[0] == 0xFFFD ? " real" : " lone"));
        ::RegSetValueExW(key, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
        ::RegCloseKey(key);
        ::RegCloseKey(parent);
    }
    std::unique_ptr<TSearchRegThread> thread(new TSearchRegThread(KindReg, old, label_, Collector(), {}, 5));
    thread->FreeOnTerminate = false;
    RunToEnd(thread.get(), 300000);
    const std::string K = "HKCU\\" + k.Path();
    const std::vector<FoundHit> hits = Under(hits_, K);
    EXPECT_EQ(hits, (std::vector<FoundHit>{
                        {sub, K, sub, 4, 6}, {sub, K, sub, 4, 6}, {sub, K + "\\" + sub, "v=" + old + " real", 4, 8}}));
    // Tests running beside this one plant keys that do not open.
    std::vector<std::string> unread;
    for (const std::string& name : thread->UnreadableNames())
        if (name.compare(0, K.size() + 4, "key " + K) == 0)
            unread.push_back(name);
    EXPECT_EQ(unread, std::vector<std::string>{"key " + K + "\\" + sub});
}

TEST_F(RegistrySearchTest, RegSearch_KeyThatDoesNotOpenIsCountedByTheSystemsOwnError) {
    // A listed key that then does not open counts as not read when the
    // system refused it (really: its access list denies reading) or failed
    // otherwise, but not when it went away in between, which is no failure.
    const std::string old = UniqueToken("OldApp");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixSearch");
    const struct {
        std::string name;
        LONG fault;  // 0: the real refusal of the locked key
        bool counted;
    } cases[] = {
        {old + " denied", 0, true},
        {old + " gone", ERROR_FILE_NOT_FOUND, false},
        {old + " starved", ERROR_NO_SYSTEM_RESOURCES, true},
    };
    for (const auto& c : cases)
        SetSz(k.Root(), k / c.name, "v", old);
    k.Lock(cases[0].name, "D:P");
    SetRegistryFaultHookForTest([&cases](RegOp op, const std::string& name) -> LONG {
        for (const auto& c : cases)
            if (op == RegOp::OpenKey && name.size() >= c.name.size() &&
                name.compare(name.size() - c.name.size(), c.name.size(), c.name) == 0)
                return c.fault;
        return 0;
    });
    std::unique_ptr<TSearchRegThread> thread(new TSearchRegThread(KindReg, old, label_, Collector(), {}, 5));
    thread->FreeOnTerminate = false;
    RunToEnd(thread.get(), 300000);
    SetRegistryFaultHookForTest(nullptr);
    const std::string K = "HKCU\\" + k.Path();
    std::vector<std::string> expected, unread;
    for (const auto& c : cases)
        if (c.counted)
            expected.push_back("key " + K + "\\" + c.name);
    for (const std::string& name : thread->UnreadableNames())
        if (name.compare(0, K.size() + 4, "key " + K) == 0)
            unread.push_back(name);
    EXPECT_EQ(unread, expected);
}
