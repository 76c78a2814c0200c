#include "targets/progman_groups_win.h"

#include <optional>
#include <stdexcept>
#include <utility>

#include "platform/wide_text_win.h"
#include "platform/message_pump_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/progman_commands.h"

namespace movix {

namespace {

constexpr int kFetchAttempts = 3;
// How long the pass waits for the execute's completion.
constexpr int kExecuteWaitRounds = 101;
constexpr DWORD kExecuteWaitRoundMs = 50;

// Program Manager takes its commands in the legacy ANSI code page: a New
// address that it cannot hold would reach it as question marks.
bool CodePageHolds(const std::string& text) {
    std::string inCodePage;
    return Utf8ToCodePage(LegacyAnsiCodePage(), text, inCodePage);
}

void LogNewAddressNotHeld(const std::vector<std::string>& groups, const TLogLine& log) {
    log("");
    log("***** The New address has characters Program Manager's code page cannot hold; groups left as they are:");
    for (const std::string& name : groups)
        log("    " + name);
}

// One group of ReplaceProgManGroups; true when commands that change its
// items were added.
bool ReplaceGroup(TReplaceGroup& group,
                  const std::string& oldAddr,
                  const std::string& newAddr,
                  HWND itemLabel,
                  const TLogLine& log,
                  TDdeClientConv& conversation,
                  std::vector<std::string>& commands,
                  const std::string& service) {
    log("");
    log("Updating ProgMan Group " + group.Key);
    if (itemLabel)
        SetWindowTextUtf8(itemLabel, group.Key);
    ProcessPendingWindowMessages();
    // A name that cannot be sent would make its commands act on
    // another group, or on none: its items stay as they are.
    if (!ProgManArgumentSafe(group.Key) || group.Key.empty()) {
        log("***** Group left unchanged, its name cannot be sent to Program Manager: " + group.Key);
        return false;
    }
    commands.push_back(CreateGroupCommand(group.Key));
    const std::size_t before = commands.size();

    const std::vector<std::string> lines = FetchGroupLines(conversation, group.Key, service);
    UpdateProgManGroup(group, lines, oldAddr, newAddr, commands, log);
    return commands.size() > before;
}

}  // namespace

std::vector<std::string> FetchGroupLines(TDdeClientConv& conversation,
                                         const std::string& group,
                                         const std::string& service) {
    std::vector<std::string> lines;
    for (int attempt = 0; attempt < kFetchAttempts && lines.empty(); ++attempt) {
        conversation.SetLink(service, "ProgMan");
        conversation.OpenLink();
        std::optional<std::string> reply = conversation.RequestData(group);
        conversation.CloseLink();
        if (reply)
            lines = SplitReplyLines(*reply);
    }
    return lines;
}

TSearchGrpThread::TSearchGrpThread(int kind,
                                   const std::string& search,
                                   HWND progressLabel,
                                   TFoundEvent onFound,
                                   TDdeClientConv* conversation)
    : TMovixThread(kind, search, progressLabel, std::move(onFound)), Conversation(conversation) {}

void TSearchGrpThread::RequestReply() {
    std::optional<std::string> reply;
    if (Conversation)
        reply = Conversation->RequestData(RequestName);
    ReplyMissing = !reply;
    ReplyText = reply ? std::move(*reply) : std::string();
}

std::vector<std::string> TSearchGrpThread::RequestLines(const std::string& name) {
    RequestName = name;
    ReplyText.clear();
    Synchronize([this] { RequestReply(); });
    std::vector<std::string> lines = SplitReplyLines(ReplyText);
    ReplyText.clear();
    ReplyText.shrink_to_fit();
    return lines;
}

void TSearchGrpThread::Execute() {
    const std::vector<std::string> groupNames = RequestLines("Groups");
    // Program Manager not answering leaves the groups not searched, which is
    // an error and never "0 matches".
    if (ReplyMissing && !Terminated)
        throw std::runtime_error("Program Manager did not answer");
    for (const std::string& name : groupNames) {
        if (Terminated)
            return;
        // A blank line names no group; asking for it would ask for nothing.
        if (name.empty())
            continue;
        Path = name;
        Synchronize([this] { ShowProgress(); });
        const std::vector<std::string> lines = RequestLines(name);
        // The first line describes the group.
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const TGroupItemLine item = ParseGroupItemLine(lines[i]);
            Item = item.ItemName;
            const struct {
                const std::string* text;
                int subType;
            } fields[] = {{&item.CommandLine, 2}, {&item.DefaultDir, 4}, {&item.IconPath, 3}};
            for (const auto& f : fields) {
                if (!Matches(*f.text))
                    continue;
                SubType = f.subType;
                Context = *f.text;
                Synchronize([this] { ReportHit(); });
            }
        }
    }
}

void ReplaceProgManGroups(std::vector<TReplaceGroup>& groups,
                          const std::string& oldAddr,
                          const std::string& newAddr,
                          HWND itemLabel,
                          const TLogLine& log,
                          TDdeClientConv& conversation,
                          std::vector<std::string>& commands,
                          const std::string& service) {
    if (!groups.empty() && !CodePageHolds(newAddr)) {
        std::vector<std::string> names;
        for (const TReplaceGroup& group : groups)
            names.push_back(group.Key);
        LogNewAddressNotHeld(names, log);
        return;
    }
    for (TReplaceGroup& group : groups)
        ReplaceGroup(group, oldAddr, newAddr, itemLabel, log, conversation, commands, service);
}

TProgManPass::TProgManPass(TDdeClientConv& conversation, std::string service)
    : conversation_(conversation),
      service_(std::move(service)),
      hold_([this](const std::string& line) { held_.push_back(line); }) {}

void TProgManPass::Replace(std::vector<TReplaceGroup>& groups,
                           const std::string& oldAddr,
                           const std::string& newAddr,
                           HWND itemLabel) {
    if (!groups.empty() && !CodePageHolds(newAddr)) {
        for (const TReplaceGroup& group : groups)
            notHeld_.push_back(group.Key);
        return;
    }
    for (TReplaceGroup& group : groups)
        if (ReplaceGroup(group, oldAddr, newAddr, itemLabel, hold_, conversation_, commands_, service_))
            sent_.push_back({held_.size() - 1, group.Key});
}

void TProgManPass::Finish(const TLogLine& log, const std::function<void()>& keepResponsive) {
    // What became of the execute, as the groups in it are to read: empty
    // when it was carried out.
    std::string notDone;
    std::string why;
    if (!commands_.empty()) {
        conversation_.SetLink(service_, "ProgMan");
        conversation_.OpenLink();
        if (!conversation_.ExecuteMacroLines(commands_)) {
            notDone = "Not updated ";
            why = ": the changes could not be sent to Program Manager";
        } else {
            for (int round = 0; round < kExecuteWaitRounds && conversation_.Waiting(); ++round) {
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kExecuteWaitRoundMs, QS_ALLINPUT);
                if (keepResponsive)
                    keepResponsive();
            }
            if (conversation_.Waiting()) {
                notDone = "Not confirmed ";
                why = ": Program Manager did not answer in time; the changes may not have been made";
            } else if (!conversation_.LastExecuteAccepted()) {
                notDone = "Not updated ";
                why = ": Program Manager did not carry out the changes";
            }
        }
        commands_.clear();
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < held_.size(); ++i) {
        if (notDone.empty() || next >= sent_.size() || sent_[next].LastLine != i) {
            log(held_[i]);
            continue;
        }
        const std::string& group = sent_[next++].Group;
        if (held_[i] != "Successfully updated " + group)
            log(held_[i]);
        log("***** " + notDone + group + why);
    }
    if (!notHeld_.empty())
        LogNewAddressNotHeld(notHeld_, log);
    held_.clear();
    sent_.clear();
    notHeld_.clear();
}

}  // namespace movix
