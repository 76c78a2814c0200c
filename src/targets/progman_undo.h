// Putting a Program Manager item back as its line read before a replacement:
// the pieces of Restore that need no DDE.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace movix {

// The line of the first item called `name` (exactly) in a group's reply
// lines, the first of which describes the group; "-" when there is none.
std::string GroupItemLineNamed(const std::vector<std::string>& replyLines, std::string_view name);

// The commands that make the item `name` of `group` again as `line` (ten
// fields, as Program Manager gave it) describes it: CreateGroup (which makes
// the group the active one), ReplaceItem and AddItem. None when the line
// does not have ten fields or a field cannot be sent back unchanged.
std::optional<std::vector<std::string>> GroupItemRestoreCommands(std::string_view group, std::string_view line);

}  // namespace movix
