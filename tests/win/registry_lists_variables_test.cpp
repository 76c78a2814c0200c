// REG_MULTI_SZ lists and REG_EXPAND_SZ texts that name the Old folder
// through environment variables, on keys planted in the real Registry: found
// by the search, listed, rewritten by the replacer with its log lines, read
// back byte for byte, and put back by Restore from the undo journal.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
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
#include "targets/undo_journal_win.h"

using namespace movix;
using namespace movix_test;

namespace {

using Lines = std::vector<std::string>;

// UTF-16 units without a terminator.
std::string Units(const std::string& text) {
    const std::wstring w = Wide(text);
    return Bytes(w.data(), w.size() * sizeof(wchar_t));
}

// A list's data: each string with its NUL, the final empty one included.
std::string List(const std::vector<std::string>& strings) {
    std::string data;
    for (const std::string& s : strings)
        data += Utf16Sz(s);
    return data;
}

const char* const kVariables[] = {"MVXSPELLROOT", "MVXSPELLOLD", "MVXSPELLBIN"};

class RegistryListsAndVariablesTest : public UiFixture {
  protected:
    void SetUp() override {
        UiFixture::SetUp();
        root_ = "C:\\" + UniqueToken("Spell");
        old_ = root_ + "\\Acme Tools";
        new_ = root_ + "\\Apps\\Acme";
        neighbour_ = root_ + "\\Acme ToolsPro";
        const std::string values[] = {root_, old_, old_ + "\\bin"};
        for (int i = 0; i < 3; ++i)
            ::SetEnvironmentVariableW(Wide(kVariables[i]).c_str(), Wide(values[i]).c_str());
        key_ = std::make_unique<PlantedKey>(HKEY_CURRENT_USER, "Software", "MovixSpell");
        K_ = "HKCU\\" + key_->Path();
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        journals_ = std::string(temp) + UniqueToken("movix_spell_");
        ASSERT_TRUE(::CreateDirectoryA(journals_.c_str(), nullptr));
    }
    void TearDown() override {
        SetRegistryFaultHookForTest(nullptr);
        for (const char* name : kVariables)
            ::SetEnvironmentVariableW(Wide(name).c_str(), nullptr);
        key_.reset();
        UiFixture::TearDown();
    }

    void Set(const std::string& name, DWORD type, const std::string& bytes) {
        SetRaw(key_->Root(), key_->Path(), name, type, bytes);
    }

    // Searches HKCR and HKCU; the rows under the planted key as the list
    // makes them.
    std::vector<TFoundItem> Search() {
        std::vector<TFoundItem> rows;
        auto* thread = new TSearchRegThread(KindReg, old_, label_, Collector(), {}, 5);
        thread->OnFoundValue = [&](const std::string& item, const std::string& path, const std::string& context,
                                   int kind, int subType, const std::string& valueName) {
            if (path == K_)
                rows.push_back(MakeFoundItem(item, path, context, kind, subType, valueName, UpperText(old_)));
        };
        RunToEnd(thread, 300000);
        EXPECT_TRUE(fatal_.empty()) << fatal_;
        return rows;
    }

    // The rows not flagged, as one group, replaced with the journal written
    // ahead; returns the journal's name.
    std::string Replace(const std::vector<TFoundItem>& rows, Lines& log) {
        TReplaceGroup group{K_, {}};
        for (const TFoundItem& row : rows)
            if (!row.MaybeLonger)
                group.Hits.push_back({row.Context, row.SubType, row.ValueName});
        std::string error;
        std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(journals_, old_, new_, "today", error);
        EXPECT_TRUE(journal && journal->Before(KindReg, group, error)) << error;
        if (!journal)
            return std::string();
        std::vector<TReplaceGroup> groups{group};
        ReplaceRegistry(groups, old_, new_, label_, [&log](const std::string& line) { log.push_back(line); });
        journal->After();
        return journal->FileName();
    }

    std::map<std::string, std::pair<DWORD, std::string>> Values() const {
        return Snapshot(key_->Root(), key_->Path())[""];
    }

    // The log lines of a text rewritten, and of a part left.
    Lines Rewritten(const std::string& shown, const std::string& now) const {
        return {"KEY: " + K_, "   old data: " + shown, "   new data: " + now};
    }
    Lines Left(const std::string& value, const std::string& why) const {
        return {"***** Value '" + value + "' of key " + K_ + why + ", not updated"};
    }

    std::string root_, old_, new_, neighbour_, K_, journals_;
    std::unique_ptr<PlantedKey> key_;
};

}  // namespace

TEST_F(RegistryListsAndVariablesTest, ListsAndVariablesFoundRewrittenAndRestoredByteForByte) {
    const std::string lone = old_ + "\\\xEF\xBF\xBD";  // as listed: U+FFFD for the unpaired surrogate
    const std::string kept = "%MVXSPELLROOT%\\Acme Tools", drive = "%SystemDrive%" + old_.substr(2);
    const std::string both = kept + ";" + old_ + "\\b";
    const struct {
        const char* name;
        DWORD type;
        std::string before;
        std::vector<std::string> rows;  // sub-type text, "!" when flagged, Context
        std::string after;              // empty: as before
        std::vector<Lines> log;
    } values[] = {
        // Every other string, the empty one inside and the terminators stay.
        {"a list",
         REG_MULTI_SZ,
         List({"first", old_ + "\\bin", "", neighbour_ + "\\lib", old_, ""}),
         {"msz a list=" + old_ + "\\bin", "msz a list=" + old_},
         List({"first", new_ + "\\bin", "", neighbour_ + "\\lib", new_, ""}),
         {Rewritten("a list=" + old_ + "\\bin", new_ + "\\bin"), Rewritten("a list=" + old_, new_)}},
        // A last string without its NUL and an odd last byte stay so.
        {"b odd",
         REG_MULTI_SZ,
         Utf16Sz(old_ + "\\x") + Units(old_ + "\\y") + "A",
         {"msz b odd=" + old_ + "\\x", "msz b odd=" + old_ + "\\y"},
         Utf16Sz(new_ + "\\x") + Units(new_ + "\\y") + "A",
         {Rewritten("b odd=" + old_ + "\\x", new_ + "\\x"), Rewritten("b odd=" + old_ + "\\y", new_ + "\\y")}},
        // Not well-formed UTF-16: listed, never written back.
        {"c lone",
         REG_MULTI_SZ,
         Units(old_ + "\\") + std::string("\x00\xD8\0\0\0\0", 6),
         {"msz c lone=" + lone},
         "",
         {Left("c lone", ": the string '" + lone + "' holds an unpaired surrogate")}},
        {"d neighbour", REG_MULTI_SZ, List({neighbour_, ""}), {}, "", {}},
        // The variable stays where New still lies in its folder ...
        {"e kept",
         REG_EXPAND_SZ,
         Utf16Sz(kept + "\\app.exe"),
         {"env e kept=" + kept + "\\app.exe"},
         Utf16Sz("%MVXSPELLROOT%\\Apps\\Acme\\app.exe"),
         {Rewritten("e kept=" + kept + "\\app.exe", "%MVXSPELLROOT%\\Apps\\Acme\\app.exe")}},
        {"f drive",
         REG_EXPAND_SZ,
         Utf16Sz(drive + "\\app.exe"),
         {"env f drive=" + drive + "\\app.exe"},
         Utf16Sz("%SystemDrive%" + new_.substr(2) + "\\app.exe"),
         {Rewritten("f drive=" + drive + "\\app.exe", "%SystemDrive%" + new_.substr(2) + "\\app.exe")}},
        // ... and New is written as it is where it lies outside.
        {"g literal",
         REG_EXPAND_SZ,
         Utf16Sz("%MVXSPELLOLD%\\app.exe"),
         {"env g literal=%MVXSPELLOLD%\\app.exe"},
         Utf16Sz(new_ + "\\app.exe"),
         {Rewritten("g literal=%MVXSPELLOLD%\\app.exe", new_ + "\\app.exe")}},
        // Old as it is and through a variable: two rows, one write.
        {"h both",
         REG_EXPAND_SZ,
         Utf16Sz(both),
         {"dat h both=" + both, "env h both=" + both},
         Utf16Sz("%MVXSPELLROOT%\\Apps\\Acme;" + new_ + "\\b"),
         {Rewritten("h both=" + both, "%MVXSPELLROOT%\\Apps\\Acme;" + new_ + "\\b")}},
        // Only the variable itself could change.
        {"i inside",
         REG_EXPAND_SZ,
         Utf16Sz("%MVXSPELLBIN%\\app.exe"),
         {"env i inside=%MVXSPELLBIN%\\app.exe"},
         "",
         {Left("i inside",
               ": %MVXSPELLBIN% names the Old address inside a variable's value, which only the variable "
               "itself could change")}},
        // A longer folder's name, seen only expanded: flagged, and not
        // handed on, as an unattended run would not.
        {"j longer", REG_EXPAND_SZ, Utf16Sz(kept + " 2\\x"), {"env! j longer=" + kept + " 2\\x"}, "", {}},
        {"k neighbour", REG_EXPAND_SZ, Utf16Sz(kept + "Pro\\x"), {}, "", {}},
        // A REG_SZ text is never expanded.
        {"l plain", REG_SZ, Utf16Sz(kept), {}, "", {}},
    };
    std::vector<std::string> expectedRows;
    Lines expectedLog = {"", "Updating Registry"};
    for (const auto& v : values) {
        Set(v.name, v.type, v.before);
        expectedRows.insert(expectedRows.end(), v.rows.begin(), v.rows.end());
        for (const Lines& lines : v.log)
            expectedLog.insert(expectedLog.end(), lines.begin(), lines.end());
    }
    const auto before = Values();
    const std::vector<TFoundItem> rows = Search();
    std::vector<std::string> shown;
    for (const TFoundItem& row : rows)
        shown.push_back(SubTypeText(row.SubType) + std::string(row.MaybeLonger ? "! " : " ") + row.Context);
    EXPECT_EQ(shown, expectedRows);

    Lines log;
    const std::string journal = Replace(rows, log);
    EXPECT_EQ(log, expectedLog);
    // Read back: the type kept, every byte as meant.
    auto expected = before;
    for (const auto& v : values)
        if (!v.after.empty())
            expected[v.name].second = v.after;
    EXPECT_EQ(Values(), expected);

    Lines restoreLog;
    EXPECT_EQ(RestoreUndoJournal(journal, [&](const std::string& line) { restoreLog.push_back(line); }), 0)
        << (restoreLog.empty() ? "" : restoreLog.back());
    EXPECT_EQ(Values(), before);
}

// Between the search and the replacement another program changes one string
// of a list, and two values refuse to be written: what is still as found is
// rewritten, nothing else is touched, and each refusal is a "*****" line.
TEST_F(RegistryListsAndVariablesTest, ChangedStringsAndFailedWritesAreLoggedAndLeft) {
    Set("a list", REG_MULTI_SZ, List({old_ + "\\one", old_ + "\\two", ""}));
    Set("b kept", REG_EXPAND_SZ, Utf16Sz("%MVXSPELLROOT%\\Acme Tools"));
    Set("c list", REG_MULTI_SZ, List({old_, ""}));
    const std::vector<TFoundItem> rows = Search();
    ASSERT_EQ(rows.size(), 4u);
    Set("a list", REG_MULTI_SZ, List({"the user's own", old_ + "\\two", ""}));
    SetRegistryFaultHookForTest([](RegOp op, const std::string& name) -> LONG {
        return op == RegOp::SetValue && (name == "b kept" || name == "c list") ? ERROR_ACCESS_DENIED : 0;
    });
    auto expected = Values();
    Lines log;
    Replace(rows, log);
    Lines expectedLog = {"", "Updating Registry"};
    for (const Lines& lines : {Left("a list", ": the string '" + old_ + "\\one' has changed since the search"),
                               Rewritten("a list=" + old_ + "\\two", new_ + "\\two"),
                               Left("b kept", " could not be written"), Left("c list", " could not be written")})
        expectedLog.insert(expectedLog.end(), lines.begin(), lines.end());
    EXPECT_EQ(log, expectedLog);
    expected["a list"].second = List({"the user's own", new_ + "\\two", ""});
    EXPECT_EQ(Values(), expected);
}
