// Program Manager groups: the descriptor: its names, what its option's items mean, the help of its
// rows, and what makes a row one target and one hit.
#include "core/found_items.h"
#include "core/kinds.h"

namespace movix {

namespace {

const char* const kScopes[] = {"", "all groups"};
const TKindNames kNames = {KindGrp,  "GRP", "Groups", "Groups", "Group", " matches in Groups", "No Groups searched",
                           "groups", 2,     kScopes,  "Groups", 1};

class TGroupInfo final : public TKindInfo {
  public:
    TGroupInfo() : TKindInfo(kNames) {}
    // Program Manager's groups are there only on Windows NT 3.51.
    int ItemOnPlatform(int item, int platformCode) const override { return platformCode == 1 ? item : 0; }
    int HelpContext(int subType) const override {
        if (subType >= kSubTypeCommand && subType <= kSubTypeDir)
            return 42 + (subType - kSubTypeCommand);  // cmd 42, ico 43, dir 44
        return 0;
    }
    // A group by its name (the Path); an item within it by its title.
    TReplaceHit HitOf(const TFoundItem& row) const override {
        TReplaceHit hit;
        hit.Text = row.Item;
        hit.SubType = row.SubType;
        return hit;
    }
};

}  // namespace

MOVIX_REGISTER_KIND(TGroupInfo)

}  // namespace movix
