#include "platform/platform_code.h"

#include <windows.h>

namespace movix {

void DetectPlatform() {
    // The answer is taken as it comes: a failed query leaves the record
    // zeroed, which reads as the Windows 95 family.
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;  // 148 bytes
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    ::GetVersionExA(&info);
    PlatformCode = PlatformCodeFor(info.dwPlatformId, info.dwMajorVersion);
}

}  // namespace movix
