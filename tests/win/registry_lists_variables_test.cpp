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
#include "targets/registry_win.h"
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

// A list's data: each string with its NUL (the final empty one is the
// caller's to give).
std::string List(const std::vector<std::string>& strings) {
    std::string data;
    for (const std::string& s : strings)
        data += Utf16Sz(s);
    return data;
}

// An environment variable of this process for one test.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::string& value) : name_(Wide(name)) {
        ::SetEnvironmentVariableW(name_.c_str(), Wide(value).c_str());
    }
    ~ScopedVariable() { ::SetEnvironmentVariableW(name_.c_str(), nullptr); }

  private:
    std::wstring name_;
};

struct Row {
    int subType;
    std::string context;
    bool flagged;
    bool operator==(const Row& o) const { return subType == o.subType && context == o.context && flagged == o.flagged; }
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << r.subType << " " << r.context << (r.flagged ? " (flagged)" : "");
}

class RegistryListsAndVariablesTest : public UiFixture {
  protected:
    void SetUp() override {
        UiFixture::SetUp();
        const std::string token = UniqueToken("Spell");
        root_ = "C:\\" + token;
        old_ = root_ + "\\Acme Tools";
        new_ = root_ + "\\Apps\\Acme";
        neighbour_ = root_ + "\\Acme ToolsPro";
        rootVar_ = std::make_unique<ScopedVariable>("MVXSPELLROOT", root_);
        oldVar_ = std::make_unique<ScopedVariable>("MVXSPELLOLD", old_);
        binVar_ = std::make_unique<ScopedVariable>("MVXSPELLBIN", old_ + "\\bin");
        key_ = std::make_unique<PlantedKey>(HKEY_CURRENT_USER, "Software", "MovixSpell");
        K_ = "HKCU\\" + key_->Path();
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        journals_ = std::string(temp) + UniqueToken("movix_spell_");
        ASSERT_TRUE(::CreateDirectoryA(journals_.c_str(), nullptr));
    }
    void TearDown() override {
        SetRegistryFaultHookForTest(nullptr);
        key_.reset();
        UiFixture::TearDown();
    }

    void Set(const std::string& name, DWORD type, const std::string& bytes) {
        SetRaw(key_->Root(), key_->Path(), name, type, bytes);
    }

    // Searches HKCR and HKCU; the rows under the planted key, made as the
    // list makes them.
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

    static std::vector<Row> Shown(const std::vector<TFoundItem>& rows) {
        std::vector<Row> shown;
        for (const TFoundItem& row : rows)
            shown.push_back({row.SubType, row.Context, row.MaybeLonger});
        return shown;
    }

    // The rows not flagged, as one group, replaced with the journal written
    // ahead; returns the journal's name.
    std::string Replace(const std::vector<TFoundItem>& rows, Lines& log) {
        TReplaceGroup group{K_, {}};
        for (const TFoundItem& row : rows) {
            if (row.MaybeLonger)
                continue;
            TReplaceHit hit{row.Context, row.SubType};
            hit.ValueName = row.ValueName;
            group.Hits.push_back(hit);
        }
        std::string error;
        std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(journals_, old_, new_, "today", error);
        EXPECT_TRUE(journal) << error;
        if (!journal)
            return std::string();
        EXPECT_TRUE(journal->Before(KindReg, group, error)) << error;
        std::vector<TReplaceGroup> groups{group};
        ReplaceRegistry(groups, old_, new_, label_, [&log](const std::string& line) { log.push_back(line); });
        journal->After();
        return journal->FileName();
    }

    std::map<std::string, std::pair<DWORD, std::string>> Values() const {
        return Snapshot(key_->Root(), key_->Path())[""];
    }

    std::string root_, old_, new_, neighbour_, K_, journals_;
    std::unique_ptr<ScopedVariable> rootVar_, oldVar_, binVar_;
    std::unique_ptr<PlantedKey> key_;
};

}  // namespace

TEST_F(RegistryListsAndVariablesTest, ListsAndVariablesFoundRewrittenAndRestoredByteForByte) {
    const std::string lone = Units(old_ + "\\") + std::string("\x00\xD8", 2) + std::string(4, '\0');
    const std::string loneShown = old_ + "\\\xEF\xBF\xBD";
    const struct {
        const char* name;
        DWORD type;
        std::string before;
        std::vector<Row> rows;
        std::string after;  // empty: as before
    } values[] = {
        // Every other string, the empty one inside and the terminators stay.
        {"a list",
         REG_MULTI_SZ,
         List({"first", old_ + "\\bin", "", neighbour_ + "\\lib", old_, ""}),
         {{10, "a list=" + old_ + "\\bin", false}, {10, "a list=" + old_, false}},
         List({"first", new_ + "\\bin", "", neighbour_ + "\\lib", new_, ""})},
        // A last string without its NUL and an odd last byte stay so.
        {"b odd",
         REG_MULTI_SZ,
         Utf16Sz(old_ + "\\x") + Units(old_ + "\\y") + "A",
         {{10, "b odd=" + old_ + "\\x", false}, {10, "b odd=" + old_ + "\\y", false}},
         Utf16Sz(new_ + "\\x") + Units(new_ + "\\y") + "A"},
        // Not well-formed UTF-16: listed, never written back.
        {"c lone", REG_MULTI_SZ, lone, {{10, "c lone=" + loneShown, false}}, ""},
        {"d neighbour", REG_MULTI_SZ, List({neighbour_, ""}), {}, ""},
        // The variable stays where New still lies in its folder.
        {"e kept",
         REG_EXPAND_SZ,
         Utf16Sz("%MVXSPELLROOT%\\Acme Tools\\app.exe"),
         {{11, "e kept=%MVXSPELLROOT%\\Acme Tools\\app.exe", false}},
         Utf16Sz("%MVXSPELLROOT%\\Apps\\Acme\\app.exe")},
        {"f drive",
         REG_EXPAND_SZ,
         Utf16Sz("%SystemDrive%" + old_.substr(2) + "\\app.exe"),
         {{11, "f drive=%SystemDrive%" + old_.substr(2) + "\\app.exe", false}},
         Utf16Sz("%SystemDrive%" + new_.substr(2) + "\\app.exe")},
        // New lies outside the variable's folder: written as it is.
        {"g literal",
         REG_EXPAND_SZ,
         Utf16Sz("%MVXSPELLOLD%\\app.exe"),
         {{11, "g literal=%MVXSPELLOLD%\\app.exe", false}},
         Utf16Sz(new_ + "\\app.exe")},
        // Old as it is and through a variable: two rows, one write.
        {"h both",
         REG_EXPAND_SZ,
         Utf16Sz("%MVXSPELLROOT%\\Acme Tools;" + old_ + "\\b"),
         {{9, "h both=%MVXSPELLROOT%\\Acme Tools;" + old_ + "\\b", false},
          {11, "h both=%MVXSPELLROOT%\\Acme Tools;" + old_ + "\\b", false}},
         Utf16Sz("%MVXSPELLROOT%\\Apps\\Acme;" + new_ + "\\b")},
        // Only the variable itself could change: listed, left, logged.
        {"i inside", REG_EXPAND_SZ, Utf16Sz("%MVXSPELLBIN%\\app.exe"), {{11, "i inside=%MVXSPELLBIN%\\app.exe", false}},
         ""},
        // A longer folder's name, known only once expanded: flagged (and
        // not handed on, as an unattended run would not).
        {"j longer",
         REG_EXPAND_SZ,
         Utf16Sz("%MVXSPELLROOT%\\Acme Tools 2\\x"),
         {{11, "j longer=%MVXSPELLROOT%\\Acme Tools 2\\x", true}},
         ""},
        {"k neighbour", REG_EXPAND_SZ, Utf16Sz("%MVXSPELLROOT%\\Acme ToolsPro\\x"), {}, ""},
        // A REG_SZ text is never expanded.
        {"l plain", REG_SZ, Utf16Sz("%MVXSPELLROOT%\\Acme Tools"), {}, ""},
    };
    std::vector<Row> expectedRows;
    for (const auto& v : values) {
        Set(v.name, v.type, v.before);
        expectedRows.insert(expectedRows.end(), v.rows.begin(), v.rows.end());
    }
    const auto before = Values();
    const std::vector<TFoundItem> rows = Search();
    EXPECT_EQ(Shown(rows), expectedRows);
    for (const TFoundItem& row : rows)
        EXPECT_EQ(std::string(SubTypeText(row.SubType)), row.SubType == 10 ? "msz" : row.SubType == 11 ? "env" : "dat");

    Lines log;
    const std::string journal = Replace(rows, log);
    const auto data = [](const std::string& shown, const std::string& now) {
        return Lines{"   old data: " + shown, "   new data: " + now};
    };
    Lines expectedLog = {"", "Updating Registry"};
    const auto add = [&](const Lines& lines) {
        expectedLog.push_back("KEY: " + K_);
        expectedLog.insert(expectedLog.end(), lines.begin(), lines.end());
    };
    add(data("a list=" + old_ + "\\bin", new_ + "\\bin"));
    add(data("a list=" + old_, new_));
    add(data("b odd=" + old_ + "\\x", new_ + "\\x"));
    add(data("b odd=" + old_ + "\\y", new_ + "\\y"));
    expectedLog.push_back("***** Value 'c lone' of key " + K_ + ": the string '" + loneShown +
                          "' holds an unpaired surrogate, not updated");
    add(data("e kept=%MVXSPELLROOT%\\Acme Tools\\app.exe", "%MVXSPELLROOT%\\Apps\\Acme\\app.exe"));
    add(data("f drive=%SystemDrive%" + old_.substr(2) + "\\app.exe", "%SystemDrive%" + new_.substr(2) + "\\app.exe"));
    add(data("g literal=%MVXSPELLOLD%\\app.exe", new_ + "\\app.exe"));
    add(data("h both=%MVXSPELLROOT%\\Acme Tools;" + old_ + "\\b", "%MVXSPELLROOT%\\Apps\\Acme;" + new_ + "\\b"));
    expectedLog.push_back("***** Value 'i inside' of key " + K_ +
                          ": %MVXSPELLBIN% names the Old address inside a variable's value, which only the variable "
                          "itself could change, not updated");
    EXPECT_EQ(log, expectedLog);

    // Read back: the type kept, every byte as meant.
    const auto after = Values();
    for (const auto& v : values) {
        const auto it = after.find(v.name);
        ASSERT_NE(it, after.end()) << v.name;
        EXPECT_EQ(it->second.first, v.type) << v.name;
        EXPECT_EQ(it->second.second, v.after.empty() ? v.before : v.after) << v.name;
    }

    Lines restoreLog;
    EXPECT_EQ(RestoreUndoJournal(journal, [&](const std::string& line) { restoreLog.push_back(line); }), 0)
        << (restoreLog.empty() ? "" : restoreLog.back());
    EXPECT_EQ(Values(), before);
}

// Between the search and the replacement another program changes one string
// of a list and locks a text against writing: what was found elsewhere is
// still rewritten, nothing else is touched, and each refusal is a "*****"
// line naming the value.
TEST_F(RegistryListsAndVariablesTest, ChangedStringsAndFailedWritesAreLoggedAndLeft) {
    Set("a list", REG_MULTI_SZ, List({old_ + "\\one", old_ + "\\two", ""}));
    Set("b kept", REG_EXPAND_SZ, Utf16Sz("%MVXSPELLROOT%\\Acme Tools"));
    Set("c list", REG_MULTI_SZ, List({old_, ""}));
    const std::vector<TFoundItem> rows = Search();
    ASSERT_EQ(rows.size(), 4u);

    const std::string changed = List({"the user's own", old_ + "\\two", ""});
    Set("a list", REG_MULTI_SZ, changed);
    SetRegistryFaultHookForTest([](RegOp op, const std::string& name) -> LONG {
        return op == RegOp::SetValue && (name == "b kept" || name == "c list") ? ERROR_ACCESS_DENIED : 0;
    });
    const auto before = Values();
    Lines log;
    Replace(rows, log);
    EXPECT_EQ(log, (Lines{"", "Updating Registry",
                          "***** Value 'a list' of key " + K_ + ": the string '" + old_ +
                              "\\one' has changed since the search, not updated",
                          "KEY: " + K_, "   old data: a list=" + old_ + "\\two", "   new data: " + new_ + "\\two",
                          "***** Value 'b kept' of key " + K_ + " could not be written, not updated",
                          "***** Value 'c list' of key " + K_ + " could not be written, not updated"}));
    auto expected = before;
    expected["a list"].second = List({"the user's own", new_ + "\\two", ""});
    EXPECT_EQ(Values(), expected);
}
