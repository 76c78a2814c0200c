// Restore on the last page: puts back what the replacement just done
// changed, from the journal it wrote before changing anything. The restore
// has a log of its own, shown under its own heading; the update's log stays
// in its list and can be shown again.
#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "app/main_window_win.h"
#include "core/undo_journal.h"
#include "platform/message_pump_win.h"
#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/save_file_win.h"
#include "platform/wide_text_win.h"
#include "platform/window_dc_win.h"
#include "resource.h"
#include "engine/restore_run_win.h"
#include "targets/undo_journal_win.h"
#include "targets/undo_names.h"

namespace movix {

namespace {

const char kDoneHeading[] = "DONE";
const char kRestoreHeading[] = "RESTORE LOG";
const char kRestoreIntro[] =
    "Movix 32 has put back what the update changed, from its undo journal. The list below logs the restore and any "
    "problems; it is also stored beside the journal. Update Log shows the log of the update again.";
const char kShowUpdateLog[] = "&Update Log";
const char kShowRestoreLog[] = "Res&tore Log";

// What Restore would put back, by kind, as the journal records it.
std::string RestoreQuestion(const std::string& journalFile) {
    std::string what;
    std::string error;
    const std::optional<TUndoJournal> journal = LoadUndoJournal(journalFile, error);
    if (journal) {
        // One line per kind of target, each by its own name and counted once.
        for (const std::string& line : UndoCountLines(journal->Entries))
            what += "    " + line + "\n";
        if (what.empty())
            what = "    nothing: the update changed nothing\n";
    } else {
        what = "    nothing: " + error + "\n";
    }
    // A journal restored before says so: what that restore put back is as
    // before the update, and a second one puts back only what is not.
    std::string restored;
    const std::string restoreLog = EarlierRestoreLog(journalFile);
    if (!restoreLog.empty())
        restored = "\n\nThis undo journal was restored already (restore log: " + restoreLog +
                   "). What that restore put back is left as it is: restoring it again changes nothing that is "
                   "already as before the update.";
    return "Restore puts back what the update changed, as the undo journal recorded it before each change:\n\n" +
           what + "\nUndo journal:\n" + journalFile + restored +
           "\n\nWhat was changed again since the update is left as it is.\n\nRestore now?";
}

}  // namespace

// Both answer help with the Restore topic, which tells of the two logs.
void TForm1::CreateRestoreControls() {
    HWND page = Control(IDC_PageBase + kPageFinalFinal);
    if (!page)
        return;
    HWND log = CreateControl(page, "LISTBOX", "", WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_HASSTRINGS,
                             WS_EX_CLIENTEDGE, IDC_lbRestoreLog, 88, 80, 437, 160, 60);
    SendMessageA(log, WM_SETFONT, reinterpret_cast<WPARAM>(logFont_.get()), FALSE);
    SendMessageA(log, LB_SETITEMHEIGHT, 0, Px(scale_, 16));
    CreateControl(page, "BUTTON", kShowRestoreLog, WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_btnShowLog, 267, 4, 73, 25, 60);
}

void TForm1::ShowRestoreLog(bool restore) {
    restoreLogShown_ = restore;
    ShowWindow(Control(IDC_lbRestoreLog), restore ? SW_SHOW : SW_HIDE);
    ShowWindow(Control(IDC_lbReport), restore ? SW_HIDE : SW_SHOW);
    SetText(IDC_btnShowLog, restore ? kShowUpdateLog : kShowRestoreLog);
    SetText(IDC_HeadingBase + kPageFinalFinal, restore ? kRestoreHeading : kDoneHeading);
    // The page's text says which log the list shows.
    HWND page = Control(IDC_PageBase + kPageFinalFinal);
    for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(c) != 0)
            continue;
        if (updateIntro_.empty())
            updateIntro_ = WindowTextUtf8(c);
        SetWindowTextUtf8(c, restore ? kRestoreIntro : updateIntro_);
        break;
    }
    RECT r;
    GetWindowRect(hwnd_, &r);
    FitLabels(r.right - r.left);
}

void TForm1::btnShowLogClick() {
    if (!restoreLogs_)
        return;
    ShowRestoreLog(!restoreLogShown_);
    SetFocus(Control(restoreLogShown_ ? IDC_lbRestoreLog : IDC_lbReport));
}

void TForm1::btnRestoreClick() {
    if (undoJournal_.empty() || restoring_)
        return;
    // A close asked for meanwhile waits until the restore has ended.
    restoring_ = true;
    auto endRestoring = ScopeExit([this] {
        restoring_ = false;
        if (closeAfterRestore_)
            PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    });
    // Restore rewrites many things: it asks first, and No is the default.
    const int answer = MessageBoxW(hwnd_, Utf8ToWide(RestoreQuestion(undoJournal_)).c_str(), L"Movix 32",
                                   MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer != IDYES || closeAfterRestore_)
        return;

    // The restore's log has a list of its own; the update's log stays.
    HWND log = Control(IDC_lbRestoreLog);
    SendMessageA(log, LB_RESETCONTENT, 0, 0);
    ++restoreLogs_;
    ShowRestoreLog(true);
    ShowWindow(Control(IDC_btnShowLog), SW_SHOW);
    Enable(IDC_btnRestore, false);
    std::string widest;
    auto add = [&](const std::string& line) {
        SendMessageW(log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(line).c_str()));
        if (line.size() > widest.size())
            widest = line;
    };
    {
        busy_ = true;
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        auto restoreCursor = ScopeExit([this] {
            busy_ = false;
            SetCursor(LoadCursor(nullptr, IDC_ARROW));
        });
        // Between targets the window answers; a close waits for the target
        // in hand and then stops the restore (once a moved folder is back at
        // Old, only after the references have followed it).
        // Each Restore keeps its own log beside the journal.
        RunJournalRestore(undoJournal_, std::string(), add, [this] {
            ProcessPendingWindowMessages();
            return closeAfterRestore_;
        });
    }
    // The horizontal extent follows the widest line (the font has a fixed pitch).
    SIZE size = {};
    {
        const WindowDC dc(log);
        HGDIOBJ old = SelectObject(dc.get(), reinterpret_cast<HFONT>(SendMessageA(log, WM_GETFONT, 0, 0)));
        const std::wstring wide = Utf8ToWide(widest);
        GetTextExtentPoint32W(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &size);
        SelectObject(dc.get(), old);
    }
    SendMessageA(log, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(size.cx), 0);
    Enable(IDC_btnRestore, true);
}

}  // namespace movix
