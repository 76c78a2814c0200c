#include "platform/platform_code.h"

namespace movix {

int PlatformCode = 0;

int PlatformCodeFor(unsigned long platformId, unsigned long majorVersion) {
    const unsigned long kWin32Nt = 2;  // VER_PLATFORM_WIN32_NT
    if (platformId != kWin32Nt)
        return 0;
    return majorVersion >= 4 ? 2 : 1;
}

}  // namespace movix
