// Restore's ways of putting a target back as the journal recorded it, each
// only while the target holds what the run left; false with the reason in
// `why` otherwise.
#pragma once

#include <string>

#include "core/undo_journal.h"

namespace movix {

class TDdeClientConv;

// An INI or configuration file from the backup its run kept beside it: the
// very file it was (the run's exchange moved it to the backup's name), with
// its owner, streams and creation time, once its content is checked.
bool PutBackupBack(const std::string& file,
                   const std::string& backup,
                   const std::string& before,
                   const std::string& now,
                   std::string& why);
// A file's content from a copy, written to a new file of a name no one can
// foresee in the file's folder, which then takes the target's place.
bool PutBytesBack(const std::string& file, const std::string& bytes, const std::string& now, std::string& why);
// Whether the saved copy an entry names is one its run made of that very
// target.
bool SavedByTheRun(const TUndoJournal& journal, const TUndoEntry& e);
// A Registry value, a key moved to its new name, a Program Manager item.
bool PutValueBack(const TUndoEntry& e, std::string& why);
bool PutKeyBack(const TUndoEntry& e, std::string& why);
bool PutGroupItemBack(TDdeClientConv& conversation, const TUndoEntry& e, std::string& why);

}  // namespace movix
