#include "targets/progman_groups_win.h"

#include <optional>
#include <utility>

#include "platform/wide_text_win.h"
#include "platform/message_pump_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/progman_commands.h"

namespace movix {

namespace {

constexpr int kFetchAttempts = 3;

}  // namespace

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
    // Program Manager takes its commands in the legacy ANSI code page: a New
    // address that it cannot hold would reach it as question marks.
    std::string inCodePage;
    if (!groups.empty() && !Utf8ToCodePage(LegacyAnsiCodePage(), newAddr, inCodePage)) {
        log("");
        log("***** The New address has characters Program Manager's code page cannot hold; groups left as they are");
        return;
    }
    for (TReplaceGroup& group : groups) {
        log("");
        log("Updating ProgMan Group " + group.Key);
        if (itemLabel)
            SetWindowTextUtf8(itemLabel, group.Key);
        ProcessPendingWindowMessages();
        // A name that cannot be sent would make its commands act on
        // another group, or on none: its items stay as they are.
        if (!ProgManArgumentSafe(group.Key) || group.Key.empty()) {
            log("***** Group left unchanged, its name cannot be sent to Program Manager: " + group.Key);
            continue;
        }
        commands.push_back(CreateGroupCommand(group.Key));

        std::vector<std::string> lines;
        for (int attempt = 0; attempt < kFetchAttempts && lines.empty(); ++attempt) {
            conversation.SetLink(service, "ProgMan");
            conversation.OpenLink();
            std::optional<std::string> reply = conversation.RequestData(group.Key);
            conversation.CloseLink();
            if (reply)
                lines = SplitReplyLines(*reply);
        }
        UpdateProgManGroup(group, lines, oldAddr, newAddr, commands, log);
    }
}

}  // namespace movix
