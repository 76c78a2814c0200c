// Every kind of target behind one interface: how a run searches it, how the
// replacement hands it one target at a time, and what it needs before the
// first and after the last. The search run, the replacement run, the pages
// and the command line go over the registered kinds in order; a new kind is
// one module here and its entry in TargetKinds().
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/kinds.h"
#include "core/replace_groups.h"
#include "targets/registry_search_win.h"

namespace movix {

class TDdeClientConv;
class TFolderListings;
class TMovixThread;
class TUndoRecorder;

// What one kind's search is given.
struct TKindSearch {
    std::string OldAddress;
    // The folder the program is in now (TSearchSettings::ProgramFolder).
    std::string ProgramFolder;
    HWND ProgressLabel = nullptr;
    // The kind's walk mode or scope, as its option's item maps it (never
    // negative here: a kind left out gets no search).
    int Mode = 0;
    // The INI search's walk mode in the same run, or -1: an INI file it
    // examines is not examined again by the configuration-file search.
    int IniMode = -1;
    std::vector<std::string> IgnoreKeys;
    // The types of configuration files searched ("json;xml;..."); empty:
    // the default list.
    std::string ConfigTypes;
    // The services are searched in the same run: the Registry search leaves
    // out their binary paths (ImagePath) and descriptions, which the
    // services' search lists and the service manager rewrites.
    bool ServicesSearched = false;
    // The conversation with Program Manager, owned by the run's thread.
    TDdeClientConv* ProgMan = nullptr;
    // Every hit, with the value's own name where there is one.
    TRegFoundEvent OnFound;
    // The folder listings the run's file walks share; may be null.
    std::shared_ptr<TFolderListings> Listings;
};

// What one kind's replacement is given, from its first group to its last.
struct TKindReplace {
    std::string OldAddress, NewAddress;
    HWND ItemLabel = nullptr;
    TLogLine Log;  // the run's log
    TDdeClientConv* ProgMan = nullptr;
    TUndoRecorder* Journal = nullptr;  // may be null
    std::function<void()> KeepResponsive;
};

class TTargetKind {
  public:
    explicit TTargetKind(int code) : code_(code) {}
    virtual ~TTargetKind() = default;
    TTargetKind(const TTargetKind&) = delete;
    TTargetKind& operator=(const TTargetKind&) = delete;

    int Code() const { return code_; }
    const TKindNames& Names() const { return *KindNamesOf(code_); }

    // The search thread, made suspended; the caller sets its OnTerminate
    // and resumes it.
    virtual TMovixThread* NewSearch(const TKindSearch& search) = 0;
    // The extensions of the files its search walks folders for (upper-case,
    // without the dot); none for a kind that walks no folders.
    virtual std::vector<std::string> FileTypes(const TKindSearch& search) const {
        (void)search;
        return {};
    }

    // Whether the groups go from the last to the first (the Registry: a
    // key's own hits before the key is renamed).
    virtual bool LastToFirst() const { return false; }
    // Before the kind's first group and after its last, in every run,
    // whether it has groups or not.
    virtual void BeginReplace(TKindReplace& run) { (void)run; }
    virtual void EndReplace(TKindReplace& run) { (void)run; }
    // Where the run writes its own lines about a group of this kind (a
    // "*****" line when the journal could not record it), so that they stay
    // in order with the replacer's.
    virtual TLogLine RunLog(TKindReplace& run) { return run.Log; }
    // Rewrites the hits of one target (consumed from its Hits as applied).
    virtual void Replace(TReplaceGroup& group, TKindReplace& run) = 0;

  private:
    const int code_;
};

// The registered kinds, in run order (the order of kKindNames).
const std::vector<TTargetKind*>& TargetKinds();
// The kind of a code, or null.
TTargetKind* FindTargetKind(int code);

}  // namespace movix
