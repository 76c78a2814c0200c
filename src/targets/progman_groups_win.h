// Program Manager groups as a target, over the DDE conversation: the search
// thread and the replacer.
#pragma once

#include <windows.h>

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
};

// Collects the commands that rebuild each group's changed items, for the
// replacement run to send to Program Manager as one execute afterwards. For
// each group: logs a blank line and "Updating ProgMan Group <name>", shows
// the name on `itemLabel` (may be null) and lets pending messages be
// processed, adds the group's CreateGroup command, fetches the group's
// reply (up to three attempts, each over a fresh conversation with
// `service` and topic "ProgMan", stopping at the first that yields a line),
// and then rewrites its items as UpdateProgManGroup says. Runs on the UI
// thread, the conversation's owner.
void ReplaceProgManGroups(std::vector<TReplaceGroup>& groups,
                          const std::string& oldAddr,
                          const std::string& newAddr,
                          HWND itemLabel,
                          const TLogLine& log,
                          TDdeClientConv& conversation,
                          std::vector<std::string>& commands,
                          const std::string& service = "ProgMan");

}  // namespace movix
