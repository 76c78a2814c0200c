// The Registry: the descriptor: its names, what its option's items mean, the help of its
// rows, and what makes a row one target and one hit.
#include "core/found_items.h"
#include "core/command_lines.h"
#include "core/kinds.h"
#include "core/strings.h"

namespace movix {

namespace {

const char* const kScopes[] = {"", "HKCR and HKCU", "HKCR, HKCU and HKCC", "all of the Registry"};
const TKindNames kNames = {KindReg,
                           "REG",
                           "the Registry",
                           "Registry",
                           "Registry key",
                           " matches in the Registry",
                           "No Registry entries searched",
                           "registry",
                           4,
                           kScopes,
                           "Registry",
                           2};

class TRegistryInfo final : public TKindInfo {
  public:
    TRegistryInfo() : TKindInfo(kNames) {}
    // The Registry search's scopes: 5 HKCR and HKCU, 6 with HKCC, 7 every
    // root; no item selected, a search that examines nothing.
    int ModeForItem(int item) const override {
        if (item == 0)
            return -1;
        return item >= 1 && item <= 3 ? item + 4 : 0;
    }
    // Windows NT has no HKCC.
    int ItemOnPlatform(int item, int platformCode) const override { return platformCode != 0 && item == 2 ? 1 : item; }
    int HelpContext(int subType) const override {
        switch (subType) {
            case kSubTypeKey:
                return 49;
            case kSubTypeValueName:
                return 50;
            case kSubTypeData:
            case kSubTypeExpandData:
                return 51;
            case kSubTypeMultiString:
                return 70;
            case kSubTypeEnvData:
                return 71;
            default:
                return 0;
        }
    }
    // A value's text is judged as the search found it: through its
    // variables expanded for kSubTypeEnvData (the Context is the value's
    // shown name, "=" and the text; the name stays as it is). It is flagged
    // UnquotedBlank when it holds Old unquoted with more after it and New
    // holds a blank, unless the replacer quotes it as a command line.
    void JudgeRow(TFoundItem& row, std::string_view oldUpper, std::string_view newAddr) const override {
        const std::string& context = row.Context;
        const int subType = row.SubType;
        std::string_view judged = context;
        std::string expanded;
        const bool valueText = subType == kSubTypeData || subType == kSubTypeExpandData ||
                               subType == kSubTypeMultiString || subType == kSubTypeEnvData;
        const std::string shown = (row.ValueName.empty() ? std::string("(default)") : row.ValueName) + "=";
        const std::size_t text = valueText && context.compare(0, shown.size(), shown) == 0 ? shown.size() : 0;
        const TTextExpansion expand = TextExpansion();
        if (subType == kSubTypeEnvData && expand != nullptr) {
            expanded = context.substr(0, text) + expand(row.Path, std::string_view(context).substr(text));
            judged = expanded;
        }
        const TCommandLineValue isCommandLine = CommandLineValues();
        const bool quoted = (subType == kSubTypeData || subType == kSubTypeExpandData) && isCommandLine != nullptr &&
                            isCommandLine(row.Path, row.ValueName);
        row.UnquotedBlank = valueText && !quoted && !oldUpper.empty() && HoldsBlank(newAddr) &&
                            UnquotedFollowedByMore(judged.substr(text), oldUpper);
        row.MaybeLonger = !oldUpper.empty() && MaybeLongerName(judged, oldUpper);
    }
    // A key by its full path; a hit on a value carries the value's name.
    TReplaceHit HitOf(const TFoundItem& row) const override {
        TReplaceHit hit = TKindInfo::HitOf(row);
        if (row.SubType >= kSubTypeValueName)
            hit.ValueName = row.ValueName;
        return hit;
    }
};

}  // namespace

MOVIX_REGISTER_KIND(TRegistryInfo)

}  // namespace movix
