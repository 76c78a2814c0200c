#include "app/move_plan.h"

namespace movix {

std::string MoveSummaryText(TMoveWay way) {
    switch (way) {
    case TMoveWay::Rename:
        return "the folder, renamed from Old to New (one drive)";
    case TMoveWay::Copy:
        return "the folder, copied to New, verified, then removed at Old";
    case TMoveWay::Unknown:
        break;
    }
    return "the folder from Old to New (renamed or copied: told when it starts)";
}

std::string MoveNoticeText(TMoveWay way) {
    const std::string first = "Before anything is replaced, Movix 32 will move the folder from Old to New: ";
    switch (way) {
    case TMoveWay::Rename:
        return first + "it is renamed, since both lie on one drive.";
    case TMoveWay::Copy:
        return first + "it is copied to the other drive, every file is verified, and only then is the folder "
                       "removed at Old.";
    case TMoveWay::Unknown:
        break;
    }
    return first + "renamed on one drive; across drives copied, verified, and only then removed at Old.";
}

}  // namespace movix
