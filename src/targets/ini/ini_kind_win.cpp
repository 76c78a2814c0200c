// INI files: their search and replacement.

#include "core/search_thread_win.h"
#include "targets/target_kinds_win.h"
#include "targets/ini_files_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

namespace {

class TIniKind final : public TTargetKind {
  public:
    TIniKind() : TTargetKind(KindIni) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        auto* thread = new TSearchINIThread(KindIni, s.OldAddress, s.ProgressLabel, PlainHits(s.OnFound), s.Mode);
        thread->UseListings(s.Listings);
        return thread;
    }
    std::vector<std::string> FileTypes(const TKindSearch&) const override { return {"INI"}; }
    void BeginReplace(TKindReplace& run) override {
        // The journal notes the name each file's backup was kept under.
        log_ = run.Journal != nullptr ? run.Journal->WatchLog(run.Log) : run.Log;
    }
    bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) override {
        return journal.BeforeFile(group.Key, error);
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        ReplaceOne(group, [&](std::vector<TReplaceGroup>& one) {
            ReplaceIniFiles(one, run.OldAddress, run.NewAddress, run.ItemLabel, log_);
        });
    }

  private:
    TLogLine log_;
};

}  // namespace

MOVIX_REGISTER_TARGET_KIND(TIniKind)

}  // namespace movix
