// Shortcut files: the descriptor: its names, what its option's items mean, the help of its
// rows, and what makes a row one target and one hit.
#include "core/found_items.h"
#include "core/kinds.h"
#include "targets/kind_rows.h"

namespace movix {

namespace {

const char* const kScopes[] = {"", "Start Menu and Desktop", "the Windows folder and below", "all fixed drives"};
const TKindNames kNames = {
    KindLnk,     "LNK", "Shortcuts", "Shortcuts", "Shortcut", " matches in Shortcuts", "No Shortcuts searched",
    "shortcuts", 4,     kScopes,     "Shortcuts", 1};

class TShortcutInfo final : public TKindInfo {
  public:
    TShortcutInfo() : TKindInfo(kNames) {}
    // The shortcut search's walk modes: 4 Start Menu and Desktop, 2 the
    // Windows folder and below, 3 all fixed drives; no item selected, a
    // walk that examines nothing.
    int ModeForItem(int item) const override {
        static const int kModes[] = {-1, 4, 2, 3};
        return item >= 0 && item < 4 ? kModes[item] : 0;
    }
    // Windows NT 3.51 has no shortcuts.
    int ItemOnPlatform(int item, int platformCode) const override { return platformCode == 1 ? 0 : item; }
    int HelpContext(int subType) const override {
        if (subType >= kSubTypeCommand && subType <= kSubTypeArgs)
            return 45 + (subType - kSubTypeCommand);  // cmd 45, ico 46, dir 47, arg 48
        return 0;
    }
    std::string TargetKey(const TFoundItem& row) const override { return FileOfRow(row); }
    TReplaceHit HitOf(const TFoundItem& row) const override { return UpperHit(row); }
    bool NamesFiles() const override { return true; }
};

}  // namespace

MOVIX_REGISTER_KIND(TShortcutInfo)

}  // namespace movix
