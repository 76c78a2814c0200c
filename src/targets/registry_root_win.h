// The predefined key of each Registry root the program names.
#pragma once

#include <windows.h>

#include "targets/registry_paths.h"

namespace movix {

// The predefined key of a root.
inline HKEY RootKeyOf(TRegRoot root) {
    switch (root) {
        case TRegRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case TRegRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case TRegRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case TRegRoot::Users:
            return HKEY_USERS;
        case TRegRoot::CurrentConfig:
            return HKEY_CURRENT_CONFIG;
    }
    return HKEY_CURRENT_USER;
}

}  // namespace movix
