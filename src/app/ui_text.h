// Small text helpers of the window.
#pragma once

#include <string>

namespace movix {

// The text with every "&" removed; a doubled "&&" goes whole.
std::string StripAmpersands(const std::string& text);

// A full file name with its extension replaced (or added where the last
// path component has none).
std::string ChangeExtension(const std::string& fileName, const std::string& extension);

}  // namespace movix
