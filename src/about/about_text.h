// The about box's texts, apart from the system queries.
#pragma once

#include <string>

namespace movix {

struct AboutPlatform {
    const char* name;        // "Windows 95", "Windows NT" or "UNKNOWN"
    const char* heading;     // the owner heading, or null to keep the initial text
    const char* versionKey;  // under HKEY_LOCAL_MACHINE; empty for an unknown platform
};

AboutPlatform AboutPlatformFor(unsigned long platformId);

// "%s, version %d.%.2d": Windows NT, version 3.51.
std::string PlatformLine(const char* name, unsigned long major, unsigned long minor);

// "80386", "80486", "Pentium", or "Unknown (n)".
std::string ProcessorName(unsigned long processorType);

}  // namespace movix
