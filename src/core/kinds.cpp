#include "core/kinds.h"

#include <algorithm>

#include "core/found_items.h"
#include "core/strings.h"

namespace movix {

namespace {

std::vector<const TKindInfo*>& Registered() {
    // Made on first use: the kinds register while the program's statics
    // are made, in no set order.
    static std::vector<const TKindInfo*> kinds;
    return kinds;
}

}  // namespace

std::string TKindInfo::TargetKey(const TFoundItem& row) const {
    return row.Path;
}

TReplaceHit TKindInfo::HitOf(const TFoundItem& row) const {
    TReplaceHit hit;
    hit.Text = row.Context;
    hit.SubType = row.SubType;
    return hit;
}

void TKindInfo::JudgeRow(TFoundItem& row, std::string_view oldUpper, std::string_view newAddr) const {
    (void)newAddr;
    row.MaybeLonger = !oldUpper.empty() && MaybeLongerName(row.Context, oldUpper);
}

const std::vector<const TKindInfo*>& Kinds() {
    return Registered();
}

const TKindInfo* FindKind(int code) {
    for (const TKindInfo* kind : Registered())
        if (kind->Code() == code)
            return kind;
    return nullptr;
}

const TKindNames* KindNamesOf(int code) {
    const TKindInfo* kind = FindKind(code);
    return kind != nullptr ? &kind->Names() : nullptr;
}

TKindRegistration::TKindRegistration(const TKindInfo& kind) : kind_(nullptr) {
    std::vector<const TKindInfo*>& kinds = Registered();
    if (FindKind(kind.Code()) != nullptr)
        return;
    kind_ = &kind;
    kinds.insert(std::upper_bound(kinds.begin(), kinds.end(), kind_,
                                  [](const TKindInfo* a, const TKindInfo* b) { return a->Code() < b->Code(); }),
                 kind_);
}

TKindRegistration::~TKindRegistration() {
    std::vector<const TKindInfo*>& kinds = Registered();
    kinds.erase(std::remove(kinds.begin(), kinds.end(), kind_), kinds.end());
}

}  // namespace movix
