#include "engine/replace_runner_win.h"

#include <exception>
#include <functional>

#include "engine/replacement_plan.h"
#include "platform/handles.h"
#include "targets/dde_conversation_win.h"
#include "targets/target_kinds_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

void TReplaceRunner::Run(const std::vector<TFoundItem>& rows,
                         const std::string& oldAddress,
                         const std::string& newAddress) {
    // The plan is discarded when this call ends, however it ends.
    TReplacePlan plan = GroupRows(rows);
    const TLogLine logLine = [this](const std::string& line) { callback_.LogLine(line); };

    std::vector<std::string> notDone;
    // Where the run's own lines about a group go: the Program Manager pass
    // holds them with its replacer's, in order.
    TLogLine runLog = logLine;
    auto runGroups = [&](std::vector<TReplaceGroup>& groups, TTargetKind& kind, TKindReplace& run) {
        const bool lastToFirst = kind.LastToFirst();
        const char* what = kind.Names().Target;
        for (std::size_t n = 0; n < groups.size(); ++n) {
            TReplaceGroup& group = groups[lastToFirst ? groups.size() - 1 - n : n];
            callback_.KeepResponsive();
            if (callback_.StopRequested()) {
                notDone.push_back(std::string(what) + " " + group.Key);
                continue;
            }
            // What the group's targets hold goes into the journal first.
            std::string unrecorded;
            if (journal_ != nullptr && !kind.RecordBefore(*journal_, group, unrecorded)) {
                runLog("***** " + std::string(what) + " " + group.Key +
                       " left unchanged, the undo journal could not record it: " + unrecorded);
                continue;
            }
            auto recordAfter = ScopeExit([this] {
                if (journal_ != nullptr)
                    journal_->After();
            });
            try {
                kind.Replace(group, run);
            } catch (const std::exception& e) {
                runLog("***** " + std::string(what) + " " + group.Key + ": " + e.what());
            } catch (...) {
                runLog("***** " + std::string(what) + " " + group.Key + ": unknown error");
            }
        }
    };

    TKindReplace run;
    run.OldAddress = oldAddress;
    run.NewAddress = newAddress;
    run.ItemLabel = itemLabel_;
    run.Log = logLine;
    run.ProgMan = &progMan_;
    run.Journal = journal_;
    run.KeepResponsive = [this] { callback_.KeepResponsive(); };
    for (TTargetKind* kind : TargetKinds()) {
        callback_.StepStarted(kind->Code());
        kind->BeginReplace(run);
        runLog = kind->RunLog(run);
        runGroups(plan.Groups[kind->Code()], *kind, run);
        runLog = logLine;
        kind->EndReplace(run);
        callback_.StepEnded(kind->Code());
    }

    if (callback_.StopRequested()) {
        callback_.LogLine("");
        callback_.LogLine("***** The run was stopped because " + stopReason_ + ".");
        if (notDone.empty())
            callback_.LogLine("***** Nothing was left undone.");
        else
            callback_.LogLine("***** Not done (" + std::to_string(notDone.size()) + "):");
        for (const std::string& item : notDone)
            callback_.LogLine("*****   " + item);
    }
    callback_.RunEnded();
}

}  // namespace movix
