// The search run without a window: one search thread per kind of target (in
// the order of TargetKinds), one after another, each started by the
// termination handler of the one before it on the thread that started the
// run, so that thread never waits for a search thread. Hits, steps and the
// run's end go to the run's callback.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/kinds.h"
#include "engine/run_callback.h"

namespace movix {

class TDdeClientConv;
class TFolderListings;
class TMovixThread;

struct TSearchSettings {
    std::string OldAddress;
    // The folder the program is in at the time of the search, which the
    // configuration-file search walks: New, or Old when the run moves the
    // program there after the search.
    std::string ProgramFolder;
    // The walk mode or scope of each kind's search by kind code, as its
    // option's item means it (TKindInfo::ModeForItem); a kind not here, or
    // with -1, is left out.
    std::map<int, int> Modes;
    // Registry keys the search does not enter.
    std::vector<std::string> IgnoreKeys;
    // The types of configuration files searched; empty: the default list.
    std::string ConfigTypes;
    // Where a search thread shows what it is in; may be null.
    HWND ProgressLabel = nullptr;
    // The file walks of the run share their folder listings (each folder
    // listed once, whichever kinds walk it), listed ahead by this many
    // worker threads (-1: as the machine's cores allow); without sharing,
    // each walk lists its folders itself.
    bool SharedListings = true;
    int ListingWorkers = -1;
};

class TSearchRunner {
  public:
    // `progMan` is the conversation with Program Manager, owned by the
    // caller's thread; the Groups step opens it and the run's end closes it.
    TSearchRunner(IRunCallback& callback, TDdeClientConv& progMan) : callback_(callback), progMan_(progMan) {}
    TSearchRunner(const TSearchRunner&) = delete;
    TSearchRunner& operator=(const TSearchRunner&) = delete;

    // The steps, in their order; each step after a search thread is called
    // from that thread's end. A stop asked for through the callback keeps
    // every later step from starting (and the run's end from being reported).
    void Start(const TSearchSettings& settings);
    void Finish();

    // Asks the search thread in hand, if any, to stop at its next check.
    void RequestStop();
    bool Searching() const { return current_ != nullptr; }

    // What the steps left out or could not read: short notes for the user,
    // and lines for the activity log; and whether an error ended a step's
    // search (by kind code), so its count is not complete.
    const std::vector<std::string>& Notes() const { return notes_; }
    const std::vector<std::string>& LogLines() const { return logLines_; }
    bool StepFailed(int kind) const { return stepFailed_.count(kind) != 0; }

    // The walk mode or scope the settings give a kind; -1 leaves it out.
    static int ModeOf(const TSearchSettings& settings, int kind);

  private:
    void StartAt(std::size_t index);
    void EndListings();
    // Keeps what the search thread that just ended (current_) left out or
    // could not read, and whether an error ended it; empties current_.
    void TakeStepNotes();
    void Hit(const std::string& item,
             const std::string& path,
             const std::string& context,
             int kind,
             int subType,
             const std::string& valueName = std::string());

    IRunCallback& callback_;
    TDdeClientConv& progMan_;
    TSearchSettings settings_;
    TMovixThread* current_ = nullptr;
    std::shared_ptr<TFolderListings> listings_;
    std::vector<std::string> notes_;
    std::vector<std::string> logLines_;
    std::set<int> stepFailed_;
};

}  // namespace movix
