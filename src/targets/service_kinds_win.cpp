#include "targets/service_kinds_win.h"

#include <cstdlib>

#include "core/search_thread_win.h"
#include "targets/scheduled_tasks_win.h"
#include "targets/services_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

namespace {

// Reports a list of hits the module found in one call, one row each,
// checking for a stop between rows.
class THitListThread : public TMovixThread {
  public:
    THitListThread(int kind, const std::string& search, HWND progressLabel, TRegFoundEvent onFound)
        : TMovixThread(kind, search, progressLabel, nullptr), search_(search), onFound_(std::move(onFound)) {}

  protected:
    void Report(const std::string& item,
                const std::string& path,
                const std::string& context,
                int subType,
                const std::string& valueName) {
        Item = item;
        Path = path;
        Context = context;
        SubType = subType;
        valueName_ = valueName;
        Synchronize([this] {
            if (onFound_)
                onFound_(Item, Path, Context, Kind, SubType, valueName_);
        });
    }
    const std::string search_;

  private:
    TRegFoundEvent onFound_;
    std::string valueName_;
};

class TSearchServicesThread final : public THitListThread {
  public:
    using THitListThread::THitListThread;

  protected:
    void Execute() override {
        for (const TServiceHit& hit : SearchServices(search_, &Terminated)) {
            if (Terminated)
                return;
            Report(hit.ServiceName, hit.DisplayName, hit.Text,
                   hit.Field == kServiceFieldCommand ? kSubTypeServiceCommand : kSubTypeServiceDescription,
                   std::string());
        }
    }
};

class TSearchTasksThread final : public THitListThread {
  public:
    using THitListThread::THitListThread;

  protected:
    void Execute() override {
        bool listed = false;
        const std::vector<TTaskHit> hits = SearchScheduledTasks(search_, &Terminated, &listed);
        if (!listed && !Terminated)
            PassedOver.push_back("the Task Scheduler did not list its tasks, none were searched");
        for (const TTaskHit& hit : hits) {
            if (Terminated)
                return;
            std::string folder, name;
            SplitTaskPath(hit.TaskPath, folder, name);
            Report(hit.TaskPath, folder, hit.Text, TaskSubTypeOf(hit.Field), std::to_string(hit.Action));
        }
    }
};

}  // namespace

const char* ServiceFieldOf(int subType) {
    if (subType == kSubTypeServiceCommand)
        return kServiceFieldCommand;
    if (subType == kSubTypeServiceDescription)
        return kServiceFieldDescription;
    return "";
}

const char* TaskFieldOf(int subType) {
    switch (subType) {
        case kSubTypeTaskProgram:
            return kTaskFieldProgram;
        case kSubTypeTaskArguments:
            return kTaskFieldArguments;
        case kSubTypeTaskFolder:
            return kTaskFieldFolder;
        default:
            return "";
    }
}

int TaskSubTypeOf(const std::string& field) {
    for (int subType = kSubTypeTaskProgram; subType <= kSubTypeTaskFolder; ++subType)
        if (field == TaskFieldOf(subType))
            return subType;
    return 0;
}

int TaskActionOf(const TReplaceHit& hit) {
    if (!hit.ValueName || hit.ValueName->empty() || hit.ValueName->size() > 6)
        return 0;
    for (char c : *hit.ValueName)
        if (c < '0' || c > '9')
            return 0;
    return std::atoi(hit.ValueName->c_str());
}

bool TServiceKind::RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) {
    return journal.BeforeServiceFields(group, error);
}

TMovixThread* TServiceKind::NewSearch(const TKindSearch& s) {
    return new TSearchServicesThread(KindSvc, s.OldAddress, s.ProgressLabel, s.OnFound);
}

// Each field on its own: the manager changes one setting at a time.
void TServiceKind::Replace(TReplaceGroup& group, TKindReplace& run) {
    while (!group.Hits.empty()) {
        const TReplaceHit hit = group.Hits.front();
        group.Hits.erase(group.Hits.begin());
        TServiceHit target;
        target.ServiceName = group.Key;
        target.Field = ServiceFieldOf(hit.SubType);
        target.Text = hit.Text;
        ReplaceServiceHit(target, run.OldAddress, run.NewAddress, run.Log);
    }
}

// The task's hits together: it is registered again once, as a whole.
void TTaskKind::Replace(TReplaceGroup& group, TKindReplace& run) {
    std::vector<TTaskHit> hits;
    for (const TReplaceHit& hit : group.Hits)
        hits.push_back({group.Key, TaskActionOf(hit), TaskFieldOf(hit.SubType), hit.Text, false});
    group.Hits.clear();
    ReplaceTaskHits(hits, run.OldAddress, run.NewAddress, run.Log);
}

bool TTaskKind::RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) {
    return journal.BeforeTask(group, error);
}

TMovixThread* TTaskKind::NewSearch(const TKindSearch& s) {
    return new TSearchTasksThread(KindTsk, s.OldAddress, s.ProgressLabel, s.OnFound);
}

}  // namespace movix
