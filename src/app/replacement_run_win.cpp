// The replacement run in the window: the log's header, the rows marked Y
// handed to the engine's replacement run (TReplaceRunner), and the log list
// box that its lines fill.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <vector>

#include "platform/wide_text_win.h"
#include "app/main_window_win.h"
#include "app/ui_text_win.h"
#include "app/found_list_win.h"
#include "app/layout_win.h"
#include "engine/replace_runner_win.h"
#include "engine/search_runner_win.h"
#include "engine/replacement_plan.h"
#include "platform/handles.h"
#include "platform/window_dc_win.h"
#include "resource.h"
#include "targets/folder_move.h"
#include "targets/folder_move_cut_win.h"
#include "targets/folder_move_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

void TForm1::AddLogLine(const std::string& line) {
    HWND log = Control(IDC_lbReport);
    // Room for as many lines again whenever the list is full: the list box
    // would otherwise grow its storage a few items at a time.
    const LRESULT count = SendMessageA(log, LB_GETCOUNT, 0, 0);
    if (count >= logReserved_) {
        logReserved_ = count < 1024 ? 1024 : count * 2;
        SendMessageA(log, LB_INITSTORAGE, static_cast<WPARAM>(logReserved_ - count),
                     static_cast<LPARAM>((logReserved_ - count) * 64));
    }
    SendMessageW(log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(line).c_str()));
    // The width is measured once per batch, for the longest line: the log's
    // font has a fixed pitch, so the longest line is the widest.
    if (line.size() > logWidest_.size())
        logWidest_ = line;
    if (!logFlushPosted_) {
        // A batch begins: the list box leaves its scroll bars alone until
        // the batch is measured.
        logFlushPosted_ = PostMessageA(hwnd_, kMsgFlushLog, 0, 0) != FALSE;
        if (logFlushPosted_)
            SendMessageA(log, WM_SETREDRAW, FALSE, 0);
    }
}

void TForm1::FlushLog() {
    HWND log = Control(IDC_lbReport);
    if (logFlushPosted_) {
        logFlushPosted_ = false;
        SendMessageA(log, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(log, nullptr, TRUE);
    }
    if (logWidest_.empty())
        return;
    SIZE size = {};
    {
        const WindowDC windowDC(log);
        HDC dc = windowDC.get();
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(log, WM_GETFONT, 0, 0)));
        const std::wstring widest = Utf8ToWide(logWidest_);
        GetTextExtentPoint32W(dc, widest.c_str(), static_cast<int>(widest.size()), &size);
        SelectObject(dc, old);
    }
    logWidest_.clear();
    if (size.cx > LogExtent) {
        LogExtent = size.cx;
        SendMessageA(log, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(LogExtent), 0);
    }
}

bool TForm1::MoveFolderFirst(TUndoRecorder& journal, const std::string& oldAddress, const std::string& newAddress) {
    AddLogLine("");
    TMoveCheck check = CheckFolderMove(oldAddress, newAddress);
    // Programs running from Old: the user closes them and tries again.
    while (!check.running.empty()) {
        std::string names;
        for (const TRunningProgram& program : check.running)
            names += "    " + program.name + " (process id " + std::to_string(program.processId) + ")\n";
        const int answer = MessageBoxW(hwnd_,
                                       Utf8ToWide("These programs are running from " + check.oldFolder + ":\n\n" +
                                                  names + "\nClose them, then press Retry. Cancel moves nothing and "
                                                          "changes nothing.")
                                           .c_str(),
                                       L"Move the folder", MB_RETRYCANCEL | MB_ICONWARNING);
        if (answer != IDRETRY)
            break;
        check = CheckFolderMove(oldAddress, newAddress);
    }
    // What a move cut short left at New is undone first, when the user says so.
    LookForCutMove(check, {undoFolder_, DefaultUndoFolder()});
    if (!check.cutJournal.empty() && MessageBoxW(hwnd_, Utf8ToWide(CutMoveQuestion(check)).c_str(), L"Move the folder",
                                                 MB_YESNO | MB_ICONQUESTION) == IDYES)
        UndoCutMoveFirst(check, [this](const std::string& line) { AddLogLine(line); });
    if (!check.problem.empty()) {
        AddLogLine("***** " + check.problem);
        AddLogLine("***** The folder was not moved, and no reference to it was rewritten.");
        ShowErrorBox(hwnd_, check.problem + "\n\nThe folder was not moved, and nothing was changed.");
        return false;
    }
    const bool junction = Checked(IDC_cbLeaveJunction) && IsWindowEnabled(Control(IDC_cbLeaveJunction));
    std::string error;
    if (!journal.BeforeMove(check.oldFolder, check.newFolder, junction, error)) {
        AddLogLine("***** The undo journal could not record the move: " + error);
        AddLogLine("***** The folder was not moved, and no reference to it was rewritten.");
        return false;
    }
    // The move runs here; its progress shows on the page, and Cancel (or a
    // close) stops it with the folder at Old as it was.
    SetText(IDC_lblRepType, "moving the folder");
    moveCancelled_ = false;
    SetText(IDC_BtnCancel, "Cancel");
    Enable(IDC_BtnCancel, true);
    TMoveOptions options;
    options.progressEveryMs = 100;
    options.leaveJunction = junction;
    options.journal = journal.MoveJournal();
    // The bar follows the bytes (the files, where the folder holds only
    // empty ones); a rename shows no bar.
    HWND bar = Control(IDC_pbMove);
    SendMessageA(bar, PBM_SETPOS, 0, 0);
    if (!check.sameVolume)
        ShowWindow(bar, SW_SHOW);
    const TMoveReport report = MoveFolder(
        check, options, &moveCancelled_,
        [this, bar](const TMoveProgress& progress) {
            SetText(IDC_lblRepItem, MoveProgressText(progress));
            SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(MoveProgressSteps(progress, kMoveProgressSteps)), 0);
            ProcessPendingMessages();
        },
        [this](const std::string& line) { AddLogLine(line); });
    ShowWindow(bar, SW_HIDE);
    Enable(IDC_BtnCancel, false);
    SetText(IDC_BtnCancel, "Close");
    SetText(IDC_lblRepItem, "");
    if (report.end == TMoveEnd::Renamed || report.end == TMoveEnd::Copied) {
        journal.AfterMove(FolderTreeDigest(check.newFolder));
        return true;
    }
    AddLogLine(std::string("***** ") +
               (report.end == TMoveEnd::Cancelled ? "The move was cancelled" : "The folder could not be moved") +
               ": the program is still at " + check.oldFolder + ", and no reference to it was rewritten.");
    return false;
}

void TForm1::RunReplacement() {
    HWND log = Control(IDC_lbReport);
    SendMessageA(log, LB_RESETCONTENT, 0, 0);
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string oldAddress = Text(IDC_EditOldAddress);
    const std::string newAddress = Text(IDC_EditNewAddressAgain);
    // The undo journal is made and its head written through before anything
    // changes; without it the replacement does not start.
    const std::string reportDate = LogDateText(now);
    std::string journalError;
    std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(
        undoFolder_.empty() ? DefaultUndoFolder() : undoFolder_, oldAddress, newAddress, reportDate, journalError);
    undoJournal_ = journal ? journal->FileName() : std::string();
    // The header goes straight into the list: it does not count for the
    // horizontal extent.
    for (const std::string& line :
         {"Report generated by Movix 32 on " + reportDate, std::string("(Error lines begin with *****)"),
          "Old address: " + oldAddress, "New address: " + newAddress,
          journal ? "Undo journal: " + journal->FileName() : std::string("Undo journal: none")})
        SendMessageW(log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(line).c_str()));
    if (!journal) {
        AddLogLine("");
        AddLogLine("***** " + journalError);
        AddLogLine("***** The replacement did not start: nothing was changed.");
        FlushLog();
        Enable(IDC_BtnCancel, true);
        Enable(IDC_btnRestore, false);
        ShowPage(kPageFinalFinal);
        ShowErrorBox(hwnd_, journalError + "\n\nThe replacement did not start: nothing was changed.");
        return;
    }
    // The folder is moved first: the references are rewritten only once the
    // program is at New. Its row marked N leaves the folder where it is, and
    // the run is the one the box unchecked would have made.
    const TFoundItem* moveRow = foundList_->MoveRow();
    if (moveRow != nullptr && moveRow->Mark != MarkY) {
        AddLogLine("");
        AddLogLine("The folder " + oldAddress + " was not moved: its row in the list is marked N.");
    }
    bool moved = false;
    if (Checked(IDC_cbMoveFolder) && moveRow != nullptr && moveRow->Mark == MarkY) {
        {
            replacing_ = true;
            auto endReplacing = ScopeExit([this] { replacing_ = false; });
            moved = MoveFolderFirst(*journal, oldAddress, newAddress);
        }
        if (!moved) {
            FlushLog();
            Enable(IDC_BtnCancel, true);
            Enable(IDC_btnRestore, false);
            ShowPage(kPageFinalFinal);
            return;
        }
        stopRequested_ = false;
    }
    // What the search could not read or left out comes first.
    if (searchRunner_ && !searchRunner_->LogLines().empty()) {
        AddLogLine("");
        for (const std::string& line : searchRunner_->LogLines())
            AddLogLine(line);
    }

    {
        busy_ = true;
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        auto restoreCursor = ScopeExit([this] {
            busy_ = false;
            SetCursor(LoadCursor(nullptr, IDC_ARROW));
        });

        foundList_->DeleteRowsMarkedN();
        foundList_->SortFixedOrder();
        std::vector<TFoundItem> rows;
        rows.reserve(static_cast<size_t>(foundList_->RowCount()));
        for (int i = 0; i < foundList_->RowCount(); ++i)
            if (!IsMoveRow(foundList_->Row(i)))
                rows.push_back(foundList_->Row(i));
        // Files the search found inside the folder are at New now.
        if (moved)
            RebaseMovedFiles(rows, oldAddress, newAddress);

        replacing_ = true;
        auto endReplacing = ScopeExit([this] { replacing_ = false; });
        TReplaceRunner runner(*this, *DdeClientConv1, Control(IDC_lblRepItem));
        runner.SetJournal(journal.get());
        runner.Run(rows, oldAddress, newAddress);
    }
    FlushLog();
    Enable(IDC_BtnCancel, true);
    Enable(IDC_btnRestore, true);
    ShowPage(kPageFinalFinal);
}

// The runs' reports (IRunCallback): the search run's fill the found list and
// the search page, the replacement run's the log and the replacing page.
void TForm1::StepStarted(int kind) {
    if (!replacing_)
        SearchStepStarted(kind);
    else if (const TKindNames* names = KindNamesOf(kind))
        SetText(IDC_lblRepType, std::string("in ") + names->Title);
}

void TForm1::StepEnded(int) {}

void TForm1::Hit(const std::string& item,
                 const std::string& path,
                 const std::string& context,
                 int kind,
                 int subType,
                 const std::string& valueName) {
    AddFoundItem(item, path, context, kind, subType, valueName);
}

void TForm1::LogLine(const std::string& line) {
    AddLogLine(line);
}

void TForm1::RunEnded() {
    if (!replacing_)
        ShowSearchResults();
}

void TForm1::KeepResponsive() {
    ProcessPendingMessages();
}

bool TForm1::StopRequested() {
    // A close asked for while replacing; once the window closes, no search
    // step starts any more.
    return stopRequested_ || shuttingDown_;
}

}  // namespace movix
