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
                callback_.LogLine("***** " + std::string(what) + " " + group.Key +
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
                callback_.LogLine("***** " + std::string(what) + " " + one[0].Key + ": " + e.what());
            } catch (...) {
                callback_.LogLine("***** " + std::string(what) + " " + one[0].Key + ": unknown error");
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
    // one execute after the last group.
    callback_.StepStarted(KindGrp);
    std::vector<std::string> commands;
    if (journal_ != nullptr)
        journal_->UseConversation(&progMan_);
    runGroups(
        plan.Groups[KindGrp], false, "Group",
        [&](std::vector<TReplaceGroup>& one) {
            ReplaceProgManGroups(one, oldAddress, newAddress, itemLabel_, logLine, progMan_, commands);
        },
        KindGrp);
    try {
        SendProgManCommands(commands);
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

void TReplaceRunner::SendProgManCommands(std::vector<std::string>& commands) {
    if (!commands.empty()) {
        progMan_.SetLink("ProgMan", "ProgMan");
        progMan_.OpenLink();
        // One asynchronous transaction; a conversation that did not open
        // refuses it, and then nothing is waited for or logged.
        if (progMan_.ExecuteMacroLines(commands)) {
            for (int round = 0; round < 101 && progMan_.Waiting(); ++round) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                callback_.KeepResponsive();
            }
        }
    }
    commands.clear();
}

}  // namespace movix
