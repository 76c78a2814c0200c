#include "targets/target_kinds_win.h"

#include <algorithm>

namespace movix {

namespace {

std::vector<TTargetKind*>& Registered() {
    // Made on first use: the kinds register while the program's statics
    // are made, in no set order.
    static std::vector<TTargetKind*> kinds;
    return kinds;
}

}  // namespace

TFoundEvent PlainHits(const TRegFoundEvent& onFound) {
    return [onFound](const std::string& item, const std::string& path, const std::string& context, int kind,
                     int subType) { onFound(item, path, context, kind, subType, std::string()); };
}

const std::vector<TTargetKind*>& TargetKinds() {
    return Registered();
}

TTargetKindRegistration::TTargetKindRegistration(TTargetKind& kind) : kind_(nullptr) {
    std::vector<TTargetKind*>& kinds = Registered();
    for (const TTargetKind* other : kinds)
        if (other->Code() == kind.Code())
            return;
    kind_ = &kind;
    kinds.insert(std::upper_bound(kinds.begin(), kinds.end(), kind_,
                                  [](const TTargetKind* a, const TTargetKind* b) { return a->Code() < b->Code(); }),
                 kind_);
}

TTargetKindRegistration::~TTargetKindRegistration() {
    std::vector<TTargetKind*>& kinds = Registered();
    kinds.erase(std::remove(kinds.begin(), kinds.end(), kind_), kinds.end());
}

}  // namespace movix
