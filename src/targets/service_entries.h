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
// path, HKLM\SYSTEM\ControlSet001\Services\Agent), holding `text`, is one
// the service manager keeps for a service and the services' search lists:
// its ImagePath, and its Description unless that is an indirect string
// ("@file,-id", which the manager resolves). Only in the control set
// `controlSet` ("ControlSet001"; empty: any ControlSetNNN) or under the name
// CurrentControlSet. Letters compare without regard to case.
bool IsServiceManagerValue(std::string_view keyPath,
                           std::string_view valueName,
                           std::string_view text,
                           std::string_view controlSet);

// The state of one field as the journal keeps it: "=" and the text, or "-"
// when it could not be read.
std::string FieldState(const std::optional<std::string>& text);
// The state of several fields, in order: each field's state with its length
// before it ("5:=text"), so no text can pass for two.
std::string FieldsState(const std::vector<std::optional<std::string>>& texts);
// The texts FieldsState was made of; nothing when `state` is not one it
// makes.
std::optional<std::vector<std::optional<std::string>>> ParseFieldsState(std::string_view state);

}  // namespace movix
