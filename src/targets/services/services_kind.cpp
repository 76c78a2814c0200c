// Services and drivers: the descriptor: its names, what its option's items mean, the help of its
// rows, and what makes a row one target and one hit.
#include "core/found_items.h"
#include "core/kinds.h"

namespace movix {

namespace {

const char* const kScopes[] = {"", "all services and drivers"};
const TKindNames kNames = {
    KindSvc,    "SVC", "services", "Services", "Service", " matches in services", "No services searched",
    "services", 2,     kScopes,    "Services", 1};

class TServiceInfo final : public TKindInfo {
  public:
    TServiceInfo() : TKindInfo(kNames) {}
    int HelpContext(int subType) const override {
        if (subType == kSubTypeServiceCommand || subType == kSubTypeServiceDescription)
            return 84 + (subType - kSubTypeServiceCommand);  // cmd 84, desc 85
        return 0;
    }
    // A service by its name (the Path shows its display name).
    std::string TargetKey(const TFoundItem& row) const override { return row.Item; }
};

}  // namespace

MOVIX_REGISTER_KIND(TServiceInfo)

}  // namespace movix
