#include "about/about_text.h"

#include <cstdio>

namespace movix {

AboutPlatform AboutPlatformFor(unsigned long platformId) {
    switch (platformId) {
    case 1:
        return {"Windows 95", "This copy of Windows 95 is licensed to:", "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion"};
    case 2:
        return {"Windows NT", "This copy of Windows NT is licensed to:",
                "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"};
    default:
        return {"UNKNOWN", nullptr, ""};
    }
}

std::string PlatformLine(const char* name, unsigned long major, unsigned long minor) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s, version %lu.%.2lu", name, major, minor);
    return buffer;
}

std::string ProcessorName(unsigned long processorType, unsigned architecture) {
    switch (processorType) {
    case 386:
        return "80386";
    case 486:
        return "80486";
    case 586:
        return "Pentium";
    default:
        break;
    }
    switch (architecture) {
    case kArchX86:
        return "x86";
    case kArchX64:
        return "x64";
    case kArchArm:
        return "ARM";
    case kArchArm64:
        return "ARM64";
    case kArchItanium:
        return "Itanium";
    default:
        return "Unknown (" + std::to_string(processorType) + ")";
    }
}

}  // namespace movix
