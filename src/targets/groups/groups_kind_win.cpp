// Program Manager groups: their search and replacement, through one DDE
// conversation.

#include <exception>
#include <memory>

#include "core/search_thread_win.h"
#include "targets/target_kinds_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/progman_groups_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

namespace {

class TGroupKind final : public TTargetKind {
  public:
    TGroupKind() : TTargetKind(KindGrp) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        // Opened here, on the run's thread, which owns it; the thread only
        // asks through it, and the run's end closes it. A conversation that
        // did not open gives the thread empty replies.
        s.ProgMan->SetLink("ProgMan", "ProgMan");
        s.ProgMan->OpenLink();
        return new TSearchGrpThread(KindGrp, s.OldAddress, s.ProgressLabel, PlainHits(s.OnFound), s.ProgMan);
    }
    // The replacer only collects the commands; they go as one execute after
    // the last group, and the pass's lines follow then.
    void BeginReplace(TKindReplace& run) override {
        if (run.Journal != nullptr)
            run.Journal->UseConversation(run.ProgMan);
        pass_ = std::make_unique<TProgManPass>(*run.ProgMan);
    }
    TLogLine RunLog(TKindReplace&) override { return pass_->Log(); }
    bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) override {
        return journal.BeforeGroupItems(group, error);
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        ReplaceOne(group, [&](std::vector<TReplaceGroup>& one) {
            pass_->Replace(one, run.OldAddress, run.NewAddress, run.ItemLabel);
        });
    }
    void EndReplace(TKindReplace& run) override {
        try {
            pass_->Finish(run.Log, run.KeepResponsive);
        } catch (const std::exception& e) {
            run.Log(std::string("***** Program Manager: ") + e.what());
        }
        pass_.reset();
        if (run.Journal != nullptr)
            run.Journal->AfterGroupItems();
    }

  private:
    std::unique_ptr<TProgManPass> pass_;
};

}  // namespace

MOVIX_REGISTER_TARGET_KIND(TGroupKind)

}  // namespace movix
