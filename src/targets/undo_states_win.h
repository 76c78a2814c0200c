// What the undo journal records of a target, read from the target itself:
// the states of files, Registry values and keys, and task fields, as
// core/undo_journal.h describes them. Shared by the journal's records and
// by Restore, which compares them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "core/undo_journal.h"

namespace movix {

// The whole file; false when it does not exist or cannot be read.
bool ReadWholeFile(const std::string& name, std::string& bytes);
// A file's state for the journal; "-" for a file that does not exist,
// "?" for one that exists and cannot be read (which matches no state).
std::string FileState(const std::string& name);

// A full key path as a root and the path below it; false for a path of no
// root.
struct KeyRef {
    HKEY root = nullptr;
    std::string path;  // below the root
};
bool SplitKeyPath(const std::string& full, KeyRef& ref);
// A key path and a name below it.
std::string Join(const std::string& path, const std::string& name);
// A value's state ("-" when it is not there, "?" when it cannot be read).
std::string ValueState(const std::string& fullKey, const std::string& name);
// The state of the subkey `name` of a key: the digest of everything below
// it, with the values as listing lines where `listing` is given.
std::string KeyState(const std::string& fullParent,
                     const std::string& name,
                     std::vector<TUndoEntry::TKeyValue>* listing = nullptr);
// The name of the value a Registry hit is on.
std::string ValueNameOf(const TReplaceHit& hit);
// The state of the fields of a task, as the journal keeps it.
std::string TaskFieldsState(const std::string& taskPath, const std::vector<TUndoEntry::TKeyValue>& fields);

}  // namespace movix
