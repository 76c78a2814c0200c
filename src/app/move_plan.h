// What the window says of a move before it happens: on the summary page and
// on the Search Complete page, once the user has asked for the folder to be
// moved.
#pragma once

#include <string>

namespace movix {

// How the folder will go from Old to New.
enum class TMoveWay {
    Rename,   // Old and New on one drive: one rename
    Copy,     // across drives: copied, verified, then removed at Old
    Unknown,  // a drive that cannot be told yet: decided when the move starts
};

// The summary line beside "Move:".
std::string MoveSummaryText(TMoveWay way);
// The sentence on the Search Complete page.
std::string MoveNoticeText(TMoveWay way);

}  // namespace movix
