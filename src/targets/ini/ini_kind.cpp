// INI files: the descriptor: its names, what its option's items mean, the help of its
// rows, and what makes a row one target and one hit.
#include "core/found_items.h"
#include "core/kinds.h"
#include "core/strings.h"
#include "targets/kind_rows.h"

namespace movix {

namespace {

const char* const kScopes[] = {"", "WIN.INI and SYSTEM.INI", "the Windows folder", "the Windows folder and below",
                               "all fixed drives"};
const TKindNames kNames = {
    KindIni, "INI", "INI files", "INI files", "INI file", " matches in INI files", "No INI files searched",
    "ini",   5,     kScopes,     "INI Files", 2};

class TIniInfo final : public TKindInfo {
  public:
    TIniInfo() : TKindInfo(kNames) {}
    // The INI search's walk modes: 4 WIN.INI and SYSTEM.INI, 1 the Windows
    // folder, 2 and below, 3 all fixed drives; no item selected, a walk
    // that examines nothing.
    int ModeForItem(int item) const override {
        static const int kModes[] = {-1, 4, 1, 2, 3};
        return item >= 0 && item < 5 ? kModes[item] : 0;
    }
    int HelpContext(int subType) const override {
        if (subType == kSubTypeSection)
            return 40;
        return subType == kSubTypeKey ? 41 : 0;
    }
    std::string TargetKey(const TFoundItem& row) const override { return FileOfRow(row); }
    // The line upper-cased, as the replacer compares it.
    TReplaceHit HitOf(const TFoundItem& row) const override { return UpperHit(row); }
    // The closing bracket of a section header ends the name before it
    // surely; the header is rewritten whole, so all else is judged.
    void JudgeRow(TFoundItem& row, std::string_view oldUpper, std::string_view) const override {
        std::string_view judged = row.Context;
        if (row.SubType == kSubTypeSection && !judged.empty() && judged.back() == ']')
            judged.remove_suffix(1);
        row.MaybeLonger = !oldUpper.empty() && MaybeLongerName(judged, oldUpper);
    }
    bool NamesFiles() const override { return true; }
};

}  // namespace

MOVIX_REGISTER_KIND(TIniInfo)

}  // namespace movix
