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

// The processor architectures the system reports beside the type.
enum : unsigned { kArchX86 = 0, kArchArm = 5, kArchItanium = 6, kArchX64 = 9, kArchArm64 = 12, kArchUnknown = 0xFFFF };

// "80386", "80486", "Pentium"; for any other type the architecture's name
// ("x64", "ARM64", ...): today's processors report types such as 8664 that
// name no model. "Unknown (n)" when neither is known.
std::string ProcessorName(unsigned long processorType, unsigned architecture = kArchUnknown);

}  // namespace movix
