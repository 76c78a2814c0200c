// Restore on the last page: puts back what the replacement just done
// changed, from the journal it wrote before changing anything.
#include <windows.h>

#include <string>

#include "app/main_window_win.h"
#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/save_file_win.h"
#include "resource.h"
#include "targets/undo_journal_win.h"

namespace movix {

void TForm1::btnRestoreClick() {
    if (undoJournal_.empty())
        return;
    // Restore writes a log of its own: it takes the place of the run's log
    // on this page and is kept beside the journal.
    HWND log = Control(IDC_lbReport);
    SendMessageA(log, LB_RESETCONTENT, 0, 0);
    Enable(IDC_btnRestore, false);
    std::string text;
    {
        busy_ = true;
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        auto restoreCursor = ScopeExit([this] {
            busy_ = false;
            SetCursor(LoadCursor(nullptr, IDC_ARROW));
        });
        RestoreUndoJournal(undoJournal_, [&](const std::string& line) {
            AddLogLine(line);
            text += line + "\r\n";
        });
    }
    // Each Restore keeps its own log: a later one takes the next free name.
    const std::string stem = undoJournal_.substr(0, undoJournal_.size() - 4) + "-RESTORE";
    std::string logName = stem + ".TXT";
    for (int n = 2; NameExists(logName) && n < 1000; ++n)
        logName = stem + "-" + std::to_string(n) + ".TXT";
    const DWORD saved = SaveFileReplacing(logName, text);
    if (saved == ERROR_SUCCESS)
        AddLogLine("Restore log stored as " + logName);
    else
        AddLogLine("***** The restore log could not be stored as " + logName + ": " + SaveErrorMessage(saved));
    FlushLog();
    Enable(IDC_btnRestore, true);
}

}  // namespace movix
