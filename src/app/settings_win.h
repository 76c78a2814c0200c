// The user's security identifier as text, for the ignore list on Windows NT.
#pragma once

#include <string>
#include <vector>

namespace movix {

// Status 0 and the text on success; 1 when the user name cannot be had,
// 2 when it cannot be looked up, 3 and 4 when the identifier's authority or
// count cannot be read, 5 + i when its sub-authority i cannot be read.
int GetUserSidText(std::string& text);

// The keys the system's own ignore list holds on this Windows, in the order
// they are put on top of the list (each one above those before it): the
// classes alias, then the current user and configuration (Windows 95) or the
// user's own hive and the machine's hardware and security keys (NT).
std::vector<std::string> SystemIgnoreKeys();

// The types of configuration files the user keeps under the settings key
// ("Configuration Types", extensions separated by semicolons); empty when
// none are kept, and the search then takes its own list.
std::string SavedConfigTypes();

}  // namespace movix
