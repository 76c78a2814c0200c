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
    bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) override {
        return journal.BeforeFile(group.Key, error);
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        const std::string backup = ReplaceIniFile(group, run.OldAddress, run.NewAddress, run.ItemLabel, run.Log);
        // The journal's record of the file ends with the backup's name.
        if (run.Journal != nullptr)
            run.Journal->NoteBackup(backup);
    }
};

}  // namespace

MOVIX_REGISTER_TARGET_KIND(TIniKind)

}  // namespace movix
