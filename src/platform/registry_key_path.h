// Key paths as the Registry accessor follows them, and the text of string
// data, apart from any Windows call.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace movix {

// Where the accessor stands after opening `path` while standing at `current`
// (both without a leading backslash; empty is the root): a path that begins
// with a backslash counts from the root, any other from `current`.
std::string ResolveKeyPath(std::string_view current, std::string_view path);

// A string value's text as the search sees it: its data up to the first NUL.
std::string_view TextUpToNul(const char* data, std::size_t size);

}  // namespace movix
