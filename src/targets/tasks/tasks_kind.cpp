// Scheduled tasks: the descriptor: its names, what its option's items mean, the help of its
// rows, and what makes a row one target and one hit.
#include "core/found_items.h"
#include "core/kinds.h"

namespace movix {

namespace {

const char* const kScopes[] = {"", "all scheduled tasks"};
const TKindNames kNames = {KindTsk,
                           "TSK",
                           "scheduled tasks",
                           "Scheduled tasks",
                           "Scheduled task",
                           " matches in scheduled tasks",
                           "No scheduled tasks searched",
                           "tasks",
                           2,
                           kScopes,
                           "Scheduled Tasks",
                           1};

class TTaskInfo final : public TKindInfo {
  public:
    TTaskInfo() : TKindInfo(kNames) {}
    int HelpContext(int subType) const override {
        if (subType >= kSubTypeTaskProgram && subType <= kSubTypeTaskFolder)
            return 86 + (subType - kSubTypeTaskProgram);  // cmd 86, arg 87, dir 88
        return 0;
    }
    // A task by its full path in the scheduler; a hit carries the number of
    // its exec action.
    std::string TargetKey(const TFoundItem& row) const override { return row.Item; }
    TReplaceHit HitOf(const TFoundItem& row) const override {
        TReplaceHit hit = TKindInfo::HitOf(row);
        hit.ValueName = row.ValueName;
        return hit;
    }
};

}  // namespace

MOVIX_REGISTER_KIND(TTaskInfo)

}  // namespace movix
