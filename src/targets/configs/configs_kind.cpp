// Configuration files: the descriptor: its names, what its option's items mean, the help of its
// rows, and what makes a row one target and one hit.
#include "core/found_items.h"
#include "core/kinds.h"
#include "core/path_spellings.h"
#include "targets/kind_rows.h"

namespace movix {

namespace {

const char* const kScopes[] = {"", "the New folder", "the New folder and the data folders",
                               "the New folder and every user's data folders", "all fixed drives"};
const TKindNames kNames = {KindCfg,
                           "CFG",
                           "configuration files",
                           "Configuration files",
                           "Configuration file",
                           " matches in configuration files",
                           "No configuration files searched",
                           "configs",
                           5,
                           kScopes,
                           "Configuration Files",
                           2};

class TConfigInfo final : public TKindInfo {
  public:
    TConfigInfo() : TKindInfo(kNames) {}
    // The configuration-file search's walk modes: 5 the New folder, 6 with
    // this user's data folders, 7 with every user's, 3 all fixed drives.
    int ModeForItem(int item) const override {
        static const int kModes[] = {-1, 5, 6, 7, 3};
        return item >= 0 && item < 5 ? kModes[item] : 0;
    }
    int HelpContext(int subType) const override {
        if (subType >= kSubTypeSpellingFirst && subType <= kSubTypeSpellingLast)
            return 65 + (subType - kSubTypeSpellingFirst);  // plain 65, slash 66, json 67, xml 68, url 69
        return 0;
    }
    std::string TargetKey(const TFoundItem& row) const override { return FileOfRow(row); }
    // A configuration line may hold Old escaped or as a URL: judged in
    // each spelling, as the search found it. A line New cannot be written
    // into as it reads is flagged too (and left as it is).
    void JudgeRow(TFoundItem& row, std::string_view oldUpper, std::string_view newAddr) const override {
        row.MaybeLonger = false;
        if (!oldUpper.empty())
            for (const TSpelledOccurrence& at : FindSpelledOccurrences(row.Context, oldUpper))
                row.MaybeLonger = row.MaybeLonger || at.boundary == TBoundary::Doubtful;
        const TConfigLineRefused refused = ConfigLineRefusal();
        row.UnquotedBlank = !oldUpper.empty() && !newAddr.empty() && refused != nullptr &&
                            refused(row.Item, row.Context, oldUpper, newAddr);
    }
    bool NamesFiles() const override { return true; }
};

}  // namespace

MOVIX_REGISTER_KIND(TConfigInfo)

}  // namespace movix
