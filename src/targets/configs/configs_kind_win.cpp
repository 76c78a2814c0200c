// Configuration files: their search and replacement.

#include "core/search_thread_win.h"
#include "targets/target_kinds_win.h"
#include "targets/config_files.h"
#include "targets/config_files_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

namespace {

class TConfigKind final : public TTargetKind {
  public:
    TConfigKind() : TTargetKind(KindCfg) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        auto* thread = new TSearchConfigThread(KindCfg, s.OldAddress, s.ProgramFolder, s.ProgressLabel,
                                               PlainHits(s.OnFound), s.Mode, s.ModeOf(KindIni), FileTypes(s));
        thread->UseListings(s.Listings);
        return thread;
    }
    std::vector<std::string> FileTypes(const TKindSearch& s) const override {
        return ParseConfigTypes(s.ConfigTypes.empty() ? kDefaultConfigTypes : s.ConfigTypes);
    }
    bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) override {
        return journal.BeforeFile(group.Key, error);
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        const std::string backup = ReplaceConfigFile(group, run.OldAddress, run.NewAddress, run.ItemLabel, run.Log);
        // The journal's record of the file ends with the backup's name.
        if (run.Journal != nullptr)
            run.Journal->NoteBackup(backup);
    }
};

}  // namespace

MOVIX_REGISTER_TARGET_KIND(TConfigKind)

}  // namespace movix
