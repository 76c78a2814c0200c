// The platform code, detected once at start before any window exists.
#pragma once

namespace movix {

// 0: not Windows NT (the Windows 95 family); 1: Windows NT below version 4;
// 2: Windows NT 4 and later.
extern int PlatformCode;

// The code from a version answer: platform identifier and major version.
int PlatformCodeFor(unsigned long platformId, unsigned long majorVersion);

// Queries the system and sets PlatformCode.
void DetectPlatform();

}  // namespace movix
