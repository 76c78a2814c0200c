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

// What the results page and the console say of one kind: `count` < 0, the
// kind was left out ("No services searched"); a search that an error ended
// before it found anything, "Services: not searched" (never "0 matches");
// one that an error cut short after some hits, the count and "(incomplete)".
struct TKindNames;
std::string KindResultText(const TKindNames& names, int count, bool failed);

}  // namespace movix
