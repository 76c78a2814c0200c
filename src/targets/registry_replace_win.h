// The Registry replacer: renames subkeys and values and rewrites value texts
// that hold the Old address, logging every action.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/replace_groups.h"

namespace movix {

class TRegistry;

// What a key move or value rename came to.
enum class TRenameOutcome {
    Done,             // it now lives under the new name only
    NotFound,         // nothing of the old name opens with full access (or exists)
    TargetExists,     // something of the new name is there already: both left as they were
    Incomplete,       // (keys) a subkey below it does not open with full access: nothing moved
    OldRemains,       // copied to the new name, but the old one could not be deleted
    InvalidName,      // (keys) the new name holds a backslash, which would make it a path
    LinkInside,       // (keys) it is, or holds, a Registry link: nothing moved
    SecurityNotKept,  // (keys) a copy could not be given its original's security: nothing moved
};

// Moves the subkey `oldName` of the accessor's open key (the root when none
// is open) with its values and subkeys to `newName` beside it: values keep
// their types and bytes exactly, the default value and empty data included,
// and every key keeps its owner, group and access list. The old key is
// deleted only once all of it has been copied; when a key of it does not
// open for reading and deleting, or is a Registry link (which would carry
// the move, and the deletion, into the key it points to), nothing is made;
// when a copy step fails, the partial copy is removed again and the old key
// stays as it was. Never merges into an existing key. `refusedKey`, when
// given, receives the path (below the open key) of the key that stopped a
// refused move. Raises ERegistryException ("Failed to create key %s",
// "Failed to get data for '%s'", "Failed to set data for '%s'") after
// removing the partial copy.
TRenameOutcome MoveRegistryKey(TRegistry& reg,
                               const std::string& oldName,
                               const std::string& newName,
                               std::string* refusedKey = nullptr);

// The key the accessor has open: its current key, or its root.
HKEY OpenKeyOf(TRegistry& reg);
// Whether a subkey of the name is there at all, whatever access it grants;
// a link counts as there, whether or not what it points to is.
bool SubkeyPresent(HKEY parent, const std::wstring& name);

// Gives the value `oldName` of the open key the name `newName`, with its
// type and bytes unchanged, when no value of that name exists yet. The new
// value is written before the old one is deleted, so a failed write loses
// nothing. Raises ERegistryException as the accessor's raw read and write do.
TRenameOutcome RenameRegistryValue(TRegistry& reg, const std::string& oldName, const std::string& newName);

// Applies the Registry groups (Key: a full key path; hits: sub-type 6 subkey
// name, 7 value name, 8 / 9 REG_SZ / REG_EXPAND_SZ text, 10 a string of a
// REG_MULTI_SZ list, 11 an expandable text through variables, Text the hit's
// Context) from the last group to the first, so that every key's own hits
// are applied before the key itself moves with its parent's group. Within a
// group value texts are written before names change. Shows each Key on
// `itemLabel` (may be null) and processes pending window messages once per
// group. Writes every action to `log`; failures are lines that begin with
// "*****". A value's text is written only while the value still holds
// the text the search found (read again just before); otherwise, and when
// the write fails, a "*****" line names the value and it stays as it is.
// Only a text's part before its first NUL is rewritten; the data after the
// NUL goes back byte for byte. A REG_MULTI_SZ list (10) has the strings
// found rewritten and keeps every other byte; a REG_EXPAND_SZ text found
// through environment variables (11) keeps a variable where New still lies
// in its folder and has New written as it is elsewhere; both keep their
// type, and a part that cannot be rewritten so gets a "*****" line. A text, value name or subkey name that holds
// an unpaired surrogate (read with U+FFFD in its place) is never rewritten
// nor renamed: a "*****" line says so.
// An error of a key move or value rename is not caught: it leaves the call.
//
// Each group's key opens with what its hits need and no more: reading, and
// setting values or making subkeys only when a hit does that. The log's
// part opens with a blank line and "Updating Registry" unless `withHead` is
// false (a caller that hands the groups over in several calls).
void ReplaceRegistry(std::vector<TReplaceGroup>& groups,
                     const std::string& oldAddr,
                     const std::string& newAddr,
                     HWND itemLabel,
                     const TLogLine& log,
                     bool withHead = true);

}  // namespace movix
