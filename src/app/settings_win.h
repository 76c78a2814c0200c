// The user's security identifier as text, for the ignore list on Windows NT.
#pragma once

#include <string>

namespace movix {

// Status 0 and the text on success; 1 when the user name cannot be had,
// 2 when it cannot be looked up, 3 and 4 when the identifier's authority or
// count cannot be read, 5 + i when its sub-authority i cannot be read.
int GetUserSidText(std::string& text);

}  // namespace movix
