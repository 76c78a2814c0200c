#include "engine/restore_run_win.h"

#include <vector>

#include "engine/rtf_report.h"
#include "platform/file_io_win.h"
#include "platform/save_file_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

namespace {

std::string RestoreLogStem(const std::string& journalFile) {
    const std::size_t dot = journalFile.find_last_of('.');
    const std::size_t slash = journalFile.find_last_of("\\/:");
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? journalFile.substr(0, dot) : journalFile) + "-RESTORE";
}

}  // namespace

std::string EarlierRestoreLog(const std::string& journalFile) {
    const std::string name = RestoreLogStem(journalFile) + ".TXT";
    return NameExists(name) ? name : std::string();
}

std::string RestoreLogName(const std::string& journalFile) {
    const std::string stem = RestoreLogStem(journalFile);
    std::string name = stem + ".TXT";
    for (int n = 2; NameExists(name) && n < 1000; ++n)
        name = stem + "-" + std::to_string(n) + ".TXT";
    return name;
}

TRestoreOutcome RunJournalRestore(const std::string& journalFile,
                           const std::string& logName,
                           const TLogLine& log,
                           const std::function<bool()>& stop) {
    TRestoreOutcome outcome;
    std::vector<std::string> lines;
    outcome.Problems = RestoreUndoJournal(
        journalFile,
        [&](const std::string& line) {
            lines.push_back(line);
            log(line);
        },
        stop);
    // Each restore keeps its own log: a later one takes the next free name.
    outcome.LogName = logName.empty() ? RestoreLogName(journalFile) : logName;
    outcome.SaveError = SaveFileReplacing(outcome.LogName, LogFileText(lines));
    if (outcome.SaveError == ERROR_SUCCESS)
        log("Restore log stored as " + outcome.LogName);
    else
        log("***** The restore log could not be stored as " + outcome.LogName + ": " +
            SaveErrorMessage(outcome.SaveError));
    return outcome;
}

}  // namespace movix
