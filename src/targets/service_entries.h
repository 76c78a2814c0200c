// What the services and scheduled tasks need that no Windows call does: the
// Registry value the service manager keeps a service's binary path in, and
// the texts the undo journal keeps of a field.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace movix {

// Whether the Registry value `valueName` of the key `keyPath` (a full key
// path, HKLM\SYSTEM\ControlSet001\Services\Agent) is a service's ImagePath
// in the control set `controlSet` ("ControlSet001"; empty: in any
// ControlSetNNN). Letters compare without regard to case.
bool IsServiceImagePath(std::string_view keyPath, std::string_view valueName, std::string_view controlSet);

// The state of one field as the journal keeps it: "=" and the text, or "-"
// when it could not be read.
std::string FieldState(const std::optional<std::string>& text);
// The state of several fields, in order: each field's state with its length
// before it ("5:=text"), so no text can pass for two.
std::string FieldsState(const std::vector<std::optional<std::string>>& texts);

}  // namespace movix
