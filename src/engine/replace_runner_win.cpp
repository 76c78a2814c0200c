#include "engine/replace_runner_win.h"

#include <exception>
#include <functional>

#include "engine/replacement_plan.h"
#include "platform/handles.h"
#include "targets/dde_conversation_win.h"
#include "targets/ini_files_win.h"
#include "targets/progman_groups_win.h"
#include "targets/registry_replace_win.h"
#include "targets/shortcuts_win.h"
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
    auto runGroups = [&](std::vector<TReplaceGroup>& groups, bool lastToFirst, const char* what,
                         const std::function<void(std::vector<TReplaceGroup>&)>& replace, int kind) {
        for (std::size_t n = 0; n < groups.size(); ++n) {
            TReplaceGroup& group = groups[lastToFirst ? groups.size() - 1 - n : n];
            callback_.KeepResponsive();
            if (callback_.StopRequested()) {
                notDone.push_back(std::string(what) + " " + group.Key);
                continue;
            }
            // What the group's targets hold goes into the journal first.
            std::string unrecorded;
            if (journal_ != nullptr && !journal_->Before(kind, group, unrecorded)) {
                runLog("***** " + std::string(what) + " " + group.Key +
                       " left unchanged, the undo journal could not record it: " + unrecorded);
                continue;
            }
            auto recordAfter = ScopeExit([this] {
                if (journal_ != nullptr)
                    journal_->After();
            });
            std::vector<TReplaceGroup> one;
            one.push_back(std::move(group));
            try {
                replace(one);
            } catch (const std::exception& e) {
                runLog("***** " + std::string(what) + " " + one[0].Key + ": " + e.what());
            } catch (...) {
                runLog("***** " + std::string(what) + " " + one[0].Key + ": unknown error");
            }
        }
    };

    callback_.StepStarted(KindIni);
    const TLogLine iniLog = journal_ != nullptr ? journal_->WatchLog(logLine) : logLine;
    runGroups(
        plan.Groups[KindIni], false, "INI file",
        [&](std::vector<TReplaceGroup>& one) { ReplaceIniFiles(one, oldAddress, newAddress, itemLabel_, iniLog); },
        KindIni);
    callback_.StepEnded(KindIni);

    // The Program Manager replacer only collects the commands; they go as
    // one execute after the last group, and the pass's log follows then.
    callback_.StepStarted(KindGrp);
    if (journal_ != nullptr)
        journal_->UseConversation(&progMan_);
    TProgManPass progManPass(progMan_);
    runLog = progManPass.Log();
    runGroups(
        plan.Groups[KindGrp], false, "Group",
        [&](std::vector<TReplaceGroup>& one) { progManPass.Replace(one, oldAddress, newAddress, itemLabel_); },
        KindGrp);
    runLog = logLine;
    try {
        progManPass.Finish(logLine, [this] { callback_.KeepResponsive(); });
    } catch (const std::exception& e) {
        callback_.LogLine(std::string("***** Program Manager: ") + e.what());
    }
    if (journal_ != nullptr)
        journal_->AfterGroupItems();
    callback_.StepEnded(KindGrp);

    callback_.StepStarted(KindLnk);
    runGroups(
        plan.Groups[KindLnk], false, "Shortcut",
        [&](std::vector<TReplaceGroup>& one) { ReplaceShortcuts(one, oldAddress, newAddress, itemLabel_, logLine); },
        KindLnk);
    callback_.StepEnded(KindLnk);

    // The Registry replacer takes its groups from the last to the first,
    // so that a key's own hits are applied before the key moves. It
    // opens its part of the log with a blank line and "Updating Registry"
    // on every call: handed one group at a time, the first call's stand.
    callback_.StepStarted(KindReg);
    static const char* const kRegistryHead[] = {"", "Updating Registry"};
    int registryCalls = 0;
    std::size_t headToDrop = 0;
    const TLogLine registryLog = [&](const std::string& line) {
        if (headToDrop > 0 && line == kRegistryHead[2 - headToDrop]) {
            --headToDrop;
            return;
        }
        headToDrop = 0;
        callback_.LogLine(line);
    };
    runGroups(
        plan.Groups[KindReg], true, "Registry key",
        [&](std::vector<TReplaceGroup>& one) {
            headToDrop = registryCalls++ > 0 ? 2 : 0;
            ReplaceRegistry(one, oldAddress, newAddress, itemLabel_, registryLog);
        },
        KindReg);
    callback_.StepEnded(KindReg);

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
