#include "app/search_choices.h"

namespace movix {

int IniWalkModeForItem(int index) {
    switch (index) {
        case 0:
            return -1;
        case 1:
            return 4;  // WIN.INI and SYSTEM.INI
        case 2:
            return 1;  // the Windows folder
        case 3:
            return 2;  // the Windows folder and below
        case 4:
            return 3;  // all fixed drives
        default:
            return 0;  // no item selected: a walk that examines nothing
    }
}

int ShortcutWalkModeForItem(int index) {
    switch (index) {
        case 0:
            return -1;
        case 1:
            return 4;  // Start Menu and Desktop
        case 2:
            return 2;  // the Windows folder and below
        case 3:
            return 3;  // all fixed drives
        default:
            return 0;  // no item selected: a walk that examines nothing
    }
}

int RegistryScopeForItem(int index) {
    if (index == 0)
        return -1;
    return index >= 1 && index <= 3 ? index + 4 : 0;
}

int ConfigWalkModeForItem(int index) {
    // The modes of the configuration-file thread: 5 the New folder, 6 with
    // this user's data folders, 7 with every user's, 3 all fixed drives.
    static const int kModes[] = {-1, 5, 6, 7, 3};
    return index >= 0 && index < 5 ? kModes[index] : 0;
}

}  // namespace movix
