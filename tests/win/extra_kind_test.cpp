// A kind of target added from outside the program: a tiny kind over a folder
// of text files, registered by this test alone, goes through the search run,
// the replacement run, the undo journal and Restore as the program's own
// kinds do, with no change anywhere else.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/found_items.h"
#include "core/kinds.h"
#include "core/search_thread_win.h"
#include "core/strings.h"
#include "engine/replace_runner_win.h"
#include "engine/replacement_plan.h"
#include "engine/search_runner_win.h"
#include "plain_callback_win.h"
#include "registry_test_support_win.h"
#include "platform/save_file_win.h"
#include "platform/wide_text_win.h"
#include "search_test_support_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/target_kinds_win.h"
#include "targets/undo_journal_win.h"

using namespace movix;
using namespace movix_test;

namespace {

constexpr int KindText = 90;
const char* const kTextScopes[] = {"", "the folder of text files"};
const TKindNames kTextNames = {KindText,
                               "TXT",
                               "text files",
                               "Text files",
                               "Text file",
                               " matches in text files",
                               "No text files searched",
                               "texts",
                               2,
                               kTextScopes,
                               "Text Files",
                               1};

// The descriptor: a row is one line of a file; the file is the target.
class TTextInfo final : public TKindInfo {
  public:
    TTextInfo() : TKindInfo(kTextNames) {}
    std::string TargetKey(const TFoundItem& row) const override { return row.Path + "\\" + row.Item; }
    int HelpContext(int subType) const override { return subType == 1 ? 4242 : 0; }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t to = text.find('\n', from);
        if (to == std::string::npos)
            to = text.size();
        lines.push_back(text.substr(from, to - from));
        from = to + 1;
    }
    return lines;
}

// The search: every line of every .txt file in the folder that holds Old.
class TTextSearch final : public TMovixThread {
  public:
    TTextSearch(const TKindSearch& s, std::string folder)
        : TMovixThread(KindText, s.OldAddress, s.ProgressLabel, PlainHits(s.OnFound)), folder_(std::move(folder)) {}

  protected:
    void Execute() override {
        WIN32_FIND_DATAW found;
        HANDLE find = ::FindFirstFileW(WideFileName(folder_ + "\\*.txt").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do {
            const std::string name = WideToUtf8(found.cFileName);
            for (const std::string& line : Lines(ReadFileBytes(folder_ + "\\" + name))) {
                if (!Matches(line))
                    continue;
                Item = name;
                Path = folder_;
                Context = line;
                SubType = 1;
                Synchronize([this] { ReportHit(); });
            }
        } while (!Terminated && ::FindNextFileW(find, &found));
        ::FindClose(find);
    }

  private:
    const std::string folder_;
};

// The rest of the kind: each file kept whole in the journal, its lines
// rewritten where a hit names them.
class TTextKind final : public TTargetKind {
  public:
    explicit TTextKind(std::string folder) : TTargetKind(KindText), folder_(std::move(folder)) {}
    TMovixThread* NewSearch(const TKindSearch& s) override { return new TTextSearch(s, folder_); }
    bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) override {
        return journal.BeforeFileCopy(group.Key, error);
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        std::vector<std::string> lines = Lines(ReadFileBytes(group.Key));
        std::string text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            for (std::size_t h = 0; h < group.Hits.size(); ++h)
                if (group.Hits[h].Text == lines[i]) {
                    ReplaceAllText(lines[i], run.OldAddress, run.NewAddress);
                    group.Hits.erase(group.Hits.begin() + static_cast<std::ptrdiff_t>(h));
                    break;
                }
            text += (i > 0 ? "\n" : "") + lines[i];
        }
        if (SaveFileReplacing(group.Key, text) == ERROR_SUCCESS)
            run.Log("Text file " + group.Key + " rewritten");
        else
            run.Log("***** Text file " + group.Key + " could not be written");
    }

  private:
    const std::string folder_;
};

class ExtraKindTest : public UiFixture {};

TEST_F(ExtraKindTest, AKindRegisteredByTheTestIsSearchedReplacedRecordedAndRestored) {
    TempTree tree("kind");
    const std::string old = "C:\\" + UniqueToken("KindOld");
    const std::string now = "D:\\" + UniqueToken("KindNew");
    const std::string folder = tree.Dir("texts");
    const std::string before = "first\nhome=" + old + "\\bin\nlast";
    const std::string file = tree.File("texts\\a.txt", before);
    tree.File("texts\\b.txt", "nothing here");
    const std::string journals = tree.Dir("journals");

    TTextInfo info;
    TTextKind kind(folder);
    const TKindRegistration infoRegistration(info);
    const TTargetKindRegistration kindRegistration(kind);
    ASSERT_EQ(FindKind(KindText), &info);

    // The search run: this kind alone, found as rows of its own.
    TDdeClientConv progMan;
    PlainCallback callback;
    TSearchRunner search(callback, progMan);
    TSearchSettings settings;
    settings.OldAddress = old;
    settings.Modes[KindText] = info.ModeForItem(1);
    search.Start(settings);
    ASSERT_TRUE(PumpUntil([&] { return callback.runsEnded == 1; }, 60000));
    EXPECT_EQ(callback.started, std::vector<int>{KindText});
    ASSERT_EQ(callback.rows.size(), 1u);
    const TFoundItem& row = callback.rows[0];
    EXPECT_EQ(row.Item, "a.txt");
    EXPECT_EQ(row.Context, "home=" + old + "\\bin");
    EXPECT_EQ(std::string(ColumnText(row, ColType)), "TXT");
    EXPECT_EQ(HelpContextOfRow(row), 4242);
    EXPECT_EQ(TargetKey(row), file);

    // The replacement run, with the journal, after every kind of the
    // program (in code order).
    std::string error;
    std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(journals, old, now, "today", error);
    ASSERT_TRUE(journal) << error;
    callback.started.clear();
    TReplaceRunner runner(callback, progMan, nullptr);
    runner.SetJournal(journal.get());
    runner.Run(callback.rows, old, now);
    EXPECT_EQ(callback.started.back(), KindText);
    EXPECT_EQ(callback.log, std::vector<std::string>{"Text file " + file + " rewritten"});
    EXPECT_EQ(ReadFileBytes(file), "first\nhome=" + now + "\\bin\nlast");
    const std::string journalFile = journal->FileName();
    journal.reset();

    // Restore puts the file back from the journal's copy.
    std::vector<std::string> restoreLog;
    EXPECT_EQ(RestoreUndoJournal(journalFile, [&](const std::string& line) { restoreLog.push_back(line); }), 0);
    EXPECT_EQ(ReadFileBytes(file), before);
}

}  // namespace
