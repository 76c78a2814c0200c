// Every kind of target behind one interface: how a run searches it, how the
// replacement hands it one target at a time, and what it needs before the
// first and after the last. The search run and the replacement run go over
// the registered kinds in order (their code's); a kind is one folder,
// targets/<kind>/, whose sources end with its registrations:
// MOVIX_REGISTER_KIND for its descriptor (core/kinds.h) and
// MOVIX_REGISTER_TARGET_KIND for this part. See targets/README.md.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
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
    // Every kind's mode in the same run, by kind code (TSearchSettings).
    std::map<int, int> Modes;
    // Another kind's mode in the same run; -1: that kind is left out.
    int ModeOf(int code) const {
        const auto it = Modes.find(code);
        return it != Modes.end() ? it->second : -1;
    }
    std::vector<std::string> IgnoreKeys;
    // The types of configuration files searched ("json;xml;..."); empty:
    // the default list.
    std::string ConfigTypes;
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
    // Its descriptor, registered beside it.
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
    // Records in the undo journal what the group's targets hold, before
    // Replace is handed the group (TUndoRecorder's Before records); false,
    // with the reason in `error`, leaves the group unchanged.
    virtual bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) = 0;
    // Rewrites the hits of one target (consumed from its Hits as applied).
    virtual void Replace(TReplaceGroup& group, TKindReplace& run) = 0;

  private:
    const int code_;
};

// What the kinds' sources share: the hits of a search thread that gives no
// value names; and one group in the form the file replacers take, and back
// (also when the replacer throws, so that the run can still name the group).
TFoundEvent PlainHits(const TRegFoundEvent& onFound);
template <typename Replacer>
void ReplaceOne(TReplaceGroup& group, Replacer&& replace) {
    std::vector<TReplaceGroup> one;
    one.push_back(std::move(group));
    struct GiveBack {
        TReplaceGroup& group;
        std::vector<TReplaceGroup>& one;
        ~GiveBack() { group = std::move(one[0]); }
    } giveBack{group, one};
    replace(one);
}

// The registered kinds, in run order (by code).
const std::vector<TTargetKind*>& TargetKinds();

// A kind's place in TargetKinds() for as long as it lives; a kind whose
// code is taken is not registered.
class TTargetKindRegistration {
  public:
    explicit TTargetKindRegistration(TTargetKind& kind);
    ~TTargetKindRegistration();
    TTargetKindRegistration(const TTargetKindRegistration&) = delete;
    TTargetKindRegistration& operator=(const TTargetKindRegistration&) = delete;

  private:
    TTargetKind* kind_;
};

}  // namespace movix

// The line at the end of a kind's Windows source that registers it.
#define MOVIX_REGISTER_TARGET_KIND(Class)                                                      \
    namespace {                                                                                \
    Class kTargetKind##Class;                                                                  \
    const ::movix::TTargetKindRegistration kTargetKindRegistration##Class(kTargetKind##Class); \
    }
