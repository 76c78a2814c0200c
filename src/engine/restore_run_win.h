// Restore as a run, for the window and the command line alike: the journal's
// targets put back, and the restore's own log kept beside the journal.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "core/replace_groups.h"

namespace movix {

struct TRestoreOutcome {
    int Problems = 0;              // "*****" lines of the restore itself
    std::string LogName;           // where its log was stored, or was to be
    DWORD SaveError = ERROR_SUCCESS;  // why it could not be, if it could not
};

// The name a restore's log gets beside its journal when none is given:
// the journal's name without its extension, "-RESTORE", and ".TXT"; a later
// restore of the same journal takes "-RESTORE-2.TXT", "-3" and so on.
std::string RestoreLogName(const std::string& journalFile);
// The log of the first restore of the journal, when one is beside it (the
// journal was restored before); otherwise "".
std::string EarlierRestoreLog(const std::string& journalFile);

// Puts back what the journal records (RestoreUndoJournal), passing every
// line of the restore's log to `log`; then stores that log as `logName`, or
// under RestoreLogName when it is empty, and passes one more line, which
// says where it went or that it could not be stored. `stop` as for
// RestoreUndoJournal.
TRestoreOutcome RunJournalRestore(const std::string& journalFile,
                           const std::string& logName,
                           const TLogLine& log,
                           const std::function<bool()>& stop = nullptr);

}  // namespace movix
