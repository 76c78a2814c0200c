// Small text helpers of the window.
#pragma once

#include <string>

#include "core/strings.h"

namespace movix {

// The text with every "&" removed; a doubled "&&" goes whole.
std::string StripAmpersands(const std::string& text);

}  // namespace movix
