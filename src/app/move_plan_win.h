// Which way a move would go, from the drives of Old and New.
#pragma once

#include <string>

#include "app/move_plan.h"

namespace movix {

// Old's volume against the volume of New's nearest folder that exists
// (New itself is made by the move). Reads no folder's contents.
TMoveWay MoveWayOf(const std::string& oldFolder, const std::string& newFolder);

}  // namespace movix

namespace movix {
class TForm1;
// The summary page's "Move:" line, shown when the first page asks for the
// move.
void ShowMoveSummary(TForm1& form);
// The Search Complete page's sentence on the move, shown while the move's
// row is marked Y; it follows the New address typed there.
void ShowMoveNotice(TForm1& form);
}  // namespace movix
