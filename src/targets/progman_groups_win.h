// Program Manager groups as a target, over the DDE conversation: the search
// thread and the replacer.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "core/search_thread_win.h"

namespace movix {

class TDdeClientConv;

// Asks Program Manager for its groups and then for each group's items, and
// reports every item whose command line (sub-type 2), default directory (4)
// or icon path (3) holds the search string, with kind `kind` (2), the item's
// name as Item, the group's name as Path and the field as Context.
//
// The conversation belongs to the UI thread, which opens it before the
// thread is resumed and closes it after the thread has ended; the thread
// reaches it only through RequestReply under Synchronize. No conversation,
// or a request that is refused or times out, gives an empty reply: no
// groups, or no hits in that group.
// A group's reply split into lines: up to three attempts, each over a fresh
// conversation with `service` and topic "ProgMan", stopping at the first
// that yields a line; empty when Program Manager gives none.
std::vector<std::string> FetchGroupLines(TDdeClientConv& conversation,
                                         const std::string& group,
                                         const std::string& service = "ProgMan");

class TSearchGrpThread : public TMovixThread {
  public:
    TSearchGrpThread(int kind,
                     const std::string& search,
                     HWND progressLabel,
                     TFoundEvent onFound,
                     TDdeClientConv* conversation);

  protected:
    void Execute() override;

  private:
    // UI thread: ReplyText becomes the reply to a request for RequestName.
    void RequestReply();
    // Worker: the reply to `name`, split into lines.
    std::vector<std::string> RequestLines(const std::string& name);

    TDdeClientConv* const Conversation;
    std::string RequestName;
    std::string ReplyText;
    bool ReplyMissing = false;  // the request had no answer at all
};

// Collects the commands that rebuild each group's changed items, for the
// replacement run to send to Program Manager as one execute afterwards. For
// each group: logs a blank line and "Updating ProgMan Group <name>", shows
// the name on `itemLabel` (may be null) and lets pending messages be
// processed, adds the group's CreateGroup command, fetches the group's
// reply (up to three attempts, each over a fresh conversation with
// `service` and topic "ProgMan", stopping at the first that yields a line),
// and then rewrites its items as UpdateProgManGroup says. A New address that
// Program Manager's code page cannot hold changes nothing: one "*****" line
// says so, naming the groups. Runs on the UI thread, the conversation's
// owner.
void ReplaceProgManGroups(std::vector<TReplaceGroup>& groups,
                          const std::string& oldAddr,
                          const std::string& newAddr,
                          HWND itemLabel,
                          const TLogLine& log,
                          TDdeClientConv& conversation,
                          std::vector<std::string>& commands,
                          const std::string& service = "ProgMan");

// A replacement run's Program Manager pass: the replacer is handed the groups
// (one at a time, or all at once), the commands it collects go to Program
// Manager as one execute at the end, and only then is it known whether the
// groups changed. So the pass holds its log lines until it has sent the
// commands: a group whose items went with an execute that was refused, or
// whose completion did not arrive in time, gets a "*****" line in place of
// "Successfully updated" (or after its own "*****" lines), and a New address
// that the code page cannot hold is logged once, naming every group.
class TProgManPass {
  public:
    explicit TProgManPass(TDdeClientConv& conversation, std::string service = "ProgMan");
    TProgManPass(const TProgManPass&) = delete;
    TProgManPass& operator=(const TProgManPass&) = delete;

    // Where the pass's lines go until Finish: the replacer's, and those the
    // run writes about the pass's groups, so that they stay in order.
    const TLogLine& Log() const { return hold_; }

    // ReplaceProgManGroups for these groups, its lines held.
    void Replace(std::vector<TReplaceGroup>& groups,
                 const std::string& oldAddr,
                 const std::string& newAddr,
                 HWND itemLabel);

    // Sends the commands collected (when there are any) as one asynchronous
    // execute over a fresh conversation, and waits for its completion: at
    // most 101 rounds, each waiting up to 50 ms for a message and then
    // calling `keepResponsive`, which lets the messages be processed. Then
    // writes the held lines to `log`.
    void Finish(const TLogLine& log, const std::function<void()>& keepResponsive);

  private:
    // A group whose item commands went into the execute: the index of its
    // last held line, and its name.
    struct Sent {
        std::size_t LastLine;
        std::string Group;
    };

    TDdeClientConv& conversation_;
    const std::string service_;
    std::vector<std::string> held_;
    TLogLine hold_;
    std::vector<std::string> commands_;
    std::vector<Sent> sent_;
    std::vector<std::string> notHeld_;  // groups the New address could not go to
};

}  // namespace movix
