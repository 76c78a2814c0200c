// Services and scheduled tasks as kinds of target: their search threads and
// their replacement, through the service manager and the Task Scheduler.
#pragma once

#include "targets/target_kinds_win.h"

namespace movix {

// One row per field of a service that names the Old address: Item the
// service's name, Path its display name, Context the field's text,
// sub-type kSubTypeServiceCommand or kSubTypeServiceDescription.
class TServiceKind final : public TTargetKind {
  public:
    TServiceKind() : TTargetKind(KindSvc) {}
    TMovixThread* NewSearch(const TKindSearch& search) override;
    bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) override;
    void Replace(TReplaceGroup& group, TKindReplace& run) override;
};

// One row per field of an exec action of a task: Item the task's full path,
// Path its folder, Context the field's text, the action's number as the
// row's value name; sub-types kSubTypeTaskProgram to kSubTypeTaskFolder.
class TTaskKind final : public TTargetKind {
  public:
    TTaskKind() : TTargetKind(KindTsk) {}
    TMovixThread* NewSearch(const TKindSearch& search) override;
    bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) override;
    void Replace(TReplaceGroup& group, TKindReplace& run) override;
};

// The field names of the services and tasks modules for a sub-type code,
// and back; empty or 0 for a code or name of neither.
const char* ServiceFieldOf(int subType);
const char* TaskFieldOf(int subType);
int TaskSubTypeOf(const std::string& field);

// The action number a task hit carries (ValueName); 0 when it has none.
int TaskActionOf(const TReplaceHit& hit);

}  // namespace movix
