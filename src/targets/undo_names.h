// The names Restore gives a journal's records: each target by its own kind's
// name, in the question before a restore and in the restore's log.
#pragma once

#include <string>
#include <vector>

#include "core/undo_journal.h"

namespace movix {

// The noun of one record's target as a log line names it: "INI file",
// "configuration file", "shortcut", "service"... A file record does not say
// which kind of target it was written for (old journals have one record
// type for both), so it is told by the file's type: a .INI file is an INI
// file, any other one a configuration file.
std::string UndoTargetNoun(const TUndoEntry& e);

// What the records would put back, one line a kind of target in the order
// the run changes them, each target counted once: "6 configuration files",
// "1 service". Empty when there are no records.
std::vector<std::string> UndoCountLines(const std::vector<TUndoEntry>& entries);

}  // namespace movix
