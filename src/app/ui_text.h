// Small text helpers of the window.
#pragma once

#include <string>

#include "core/strings.h"

namespace movix {

// The text with every "&" removed; a doubled "&&" goes whole.
std::string StripAmpersands(const std::string& text);

// "1 file", "2 files": the count and its word in the number it needs.
std::string CountText(long long count, const char* one, const char* many);
// A results count from its plural text (" matches in INI files"): "1 match
// in INI files", "0 matches in INI files".
std::string MatchCountText(int count, const char* counted);

}  // namespace movix
