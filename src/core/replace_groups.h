// The hand-off from the replacement run to each replacer: one ordered list of
// groups per kind of target, and the log line callback.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace movix {

// One hit to apply within its target. `Text` identifies it there: for INI
// files and shortcuts the hit's Context upper-cased, for groups the item
// title, for the Registry the Context as it was found.
struct TReplaceHit {
    std::string Text;
    int SubType = 0;
    // Registry hits on a value (sub-types 7 to 9): the value's own name, the
    // default value's being empty. The Text alone cannot tell a name that
    // holds "=" or reads "(default)" from the default value; without it the
    // replacer falls back to reading the name out of the Text.
    // Scheduled-task hits: the number of the exec action, from 1.
    std::optional<std::string> ValueName = std::nullopt;
};

// One target: the full file name (INI, LNK), the group name (GRP), the full
// key path (REG), the service's name (SVC) or the task's full path (TSK),
// with its hits in list order. Replacers consume hits from
// `Hits` as they apply them.
struct TReplaceGroup {
    std::string Key;
    std::vector<TReplaceHit> Hits;
};

// Appends one line to the activity log; an empty line is a blank separator.
using TLogLine = std::function<void(const std::string&)>;

}  // namespace movix
