// Shortcut files: their search and replacement.

#include "core/search_thread_win.h"
#include "targets/target_kinds_win.h"
#include "targets/undo_journal_win.h"
#include "targets/shortcuts_win.h"

namespace movix {

namespace {

class TShortcutKind final : public TTargetKind {
  public:
    TShortcutKind() : TTargetKind(KindLnk) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        auto* thread = new TSearchLNKThread(KindLnk, s.OldAddress, s.ProgressLabel, PlainHits(s.OnFound), s.Mode);
        thread->UseListings(s.Listings);
        return thread;
    }
    std::vector<std::string> FileTypes(const TKindSearch&) const override { return {"LNK"}; }
    bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) override {
        return journal.BeforeFileCopy(group.Key, error);
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        ReplaceOne(group, [&](std::vector<TReplaceGroup>& one) {
            ReplaceShortcuts(one, run.OldAddress, run.NewAddress, run.ItemLabel, run.Log);
        });
    }
};

}  // namespace

MOVIX_REGISTER_TARGET_KIND(TShortcutKind)

}  // namespace movix
