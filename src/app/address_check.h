// The advisory check of the Old and New addresses on the first page.
#pragma once

#include <functional>
#include <string>

#include "platform/path_kind.h"

namespace movix {

// Tells what a name refers to on disk. The window passes the real probe
// (ProbePathKind); tests pass their own.
using PathKindProbe = std::function<PathKind(const std::string&)>;

// Old and New name one place (letter case and ending backslashes aside).
constexpr int kCheckSamePlace = 14;

// With the folder to be moved for the user: Old is no existing folder, or
// New already holds something (a file, or a folder that is not empty).
constexpr int kCheckMoveNoOldFolder = 15;
constexpr int kCheckMoveNewNotEmpty = 16;

// Classifies the pair; the result 0..14 picks message 10 + result from the
// string table. Texts are taken as typed, neither trimmed nor case-folded,
// except where the two are compared with each other for kCheckSamePlace.
int CheckAddresses(const std::string& oldAddress, const std::string& newAddress, const PathKindProbe& probe);

// The same while the folder is to be moved from Old to New: the move's own
// needs come after the checks of what was typed. `emptyFolder` tells
// whether an existing folder holds nothing.
int CheckAddressesForMove(const std::string& oldAddress,
                          const std::string& newAddress,
                          const PathKindProbe& probe,
                          const std::function<bool(const std::string&)>& emptyFolder);

// The extension of an address: from the last period after the last backslash
// or colon to the end, period included; empty without such a period.
std::string AddressExtension(const std::string& address);

// Which light goes with a result.
enum class Indicator { Green, Yellow, Red };
Indicator IndicatorForResult(int result);

}  // namespace movix
