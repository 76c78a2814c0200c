// The replacement run without a window: groups the rows per target and hands
// each kind's groups to its replacer, one group at a time, logging every
// action through the run's callback.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/found_items.h"
#include "core/replace_groups.h"
#include "engine/run_callback.h"

namespace movix {

class TDdeClientConv;
class TUndoRecorder;

class TReplaceRunner {
  public:
    // `progMan` is the conversation with Program Manager, owned by the
    // caller's thread; `itemLabel` shows the item in hand and may be null.
    TReplaceRunner(IRunCallback& callback, TDdeClientConv& progMan, HWND itemLabel)
        : callback_(callback), progMan_(progMan), itemLabel_(itemLabel) {}

    // Replaces every row given; the caller has dropped the rows marked N and
    // put the rest in the fixed order. Between groups the host answers its
    // messages; a stop it asks for ends the run there (the group in hand is
    // always finished) and the log lists what was not done. An error that
    // escapes one group is logged and the run goes on with the next.
    void Run(const std::vector<TFoundItem>& rows, const std::string& oldAddress, const std::string& newAddress);

    // The undo journal that records each group before its replacer changes
    // it; a group it cannot record is left unchanged. Without one nothing is
    // recorded (the caller refuses to start a run without a journal).
    void SetJournal(TUndoRecorder* journal) { journal_ = journal; }

    // What the log names as the reason when a stop ends the run: the
    // window's close unless the host says otherwise (a run from the command
    // line is stopped by Ctrl+C, and has no window).
    void SetStopReason(const std::string& reason) { stopReason_ = reason; }

  private:
    IRunCallback& callback_;
    TDdeClientConv& progMan_;
    HWND itemLabel_;
    TUndoRecorder* journal_ = nullptr;
    std::string stopReason_ = "the window was asked to close";
};

}  // namespace movix
