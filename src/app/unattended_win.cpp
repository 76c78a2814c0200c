// The unattended mode: the command line parsed (app/command_line.h), the
// saved choices read as the wizard reads them, the address check, then the
// engine's search run and, with /apply, its replacement run, driven through
// IRunCallback exactly as the window drives them: the same search threads,
// hit rows, log lines, undo journal, list and log files.
#include "app/unattended_win.h"

#include <shellapi.h>

#include <atomic>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_win.h"
#include "app/settings.h"
#include "app/settings_win.h"
#include "app/ui_text.h"
#include "app/ui_text_win.h"
#include "app/address_check.h"
#include "core/found_items.h"
#include "core/strings.h"
#include "engine/replace_runner_win.h"
#include "engine/replacement_plan.h"
#include "engine/restore_run_win.h"
#include "engine/rtf_report.h"
#include "engine/run_callback.h"
#include "engine/search_runner_win.h"
#include "app/found_sort_win.h"
#include "platform/file_io_win.h"
#include "platform/message_pump_win.h"
#include "platform/path_kind.h"
#include "platform/platform_code.h"
#include "platform/save_file_win.h"
#include "platform/ui_dispatch_win.h"
#include "platform/wide_text_win.h"
#include "resource.h"
#include "targets/dde_conversation_win.h"
#include "targets/folder_move.h"
#include "targets/folder_move_cut_win.h"
#include "targets/folder_move_win.h"
#include "platform/registry_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

namespace {

// Set by Ctrl+C (or Ctrl+Break) on the console's own thread; read by the run
// on the main thread at the same points where the wizard reads its Cancel.
std::atomic<bool> g_cancelled{false};
DWORD g_mainThread = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    g_cancelled = true;
    // Wakes the main thread if it waits for messages.
    PostThreadMessageW(g_mainThread, WM_NULL, 0, 0);
    return TRUE;
}

std::vector<std::string> CommandLineArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(WideToUtf8(argv[i]));
    LocalFree(argv);
    return arguments;
}

// --- The saved choices, as the wizard's pages start with them ---------------

struct TChoices {
    // The item of each kind's option, by kind code.
    std::map<int, int> Item;
    std::vector<std::string> IgnoreKeys;
    std::string ConfigTypes;
};

int ReadSavedInteger(const char* name, int defaultValue) {
    TRegistry reg(KEY_READ);
    if (!reg.OpenKey(std::string("\\") + kSettingsKey + "\\" + kSettingsSubkey, false) || !reg.ValueExists(name))
        return defaultValue;
    return ParseStoredInteger(reg.ReadString(name), defaultValue);
}

// Read only: an unattended run stores nothing under the settings key.
TChoices ReadSavedChoices() {
    TChoices choices;
    // The saved items with the platform's rules, as the option pages start.
    choices.Item = SavedOptionChoices(ReadSavedInteger, PlatformCode).Item;
    choices.ConfigTypes = SavedConfigTypes();

    // The ignore list: the keys the user added, and the system's own.
    {
        TRegistry reg(KEY_READ);
        if (reg.OpenKey(std::string("\\") + kSettingsKey + "\\" + kIgnoreKeysSubkey, false))
            choices.IgnoreKeys = reg.GetValueNames();
    }
    for (const std::string& entry : SystemIgnoreKeys())
        choices.IgnoreKeys.insert(choices.IgnoreKeys.begin(), entry);
    return choices;
}

// A choice the option page would not offer on this system, or "".
std::string UnavailableChoice(const TCommandLine& line) {
    if (line.Registry == 2 && PlatformCode != 0)
        return "/registry:2 (HKCR, HKCU and HKCC) is not available on Windows NT; use /registry:1 or /registry:3.";
    if (line.Groups > 0 && PlatformCode != 1)
        return "/groups:" + std::to_string(line.Groups) +
               ": Program Manager groups are searched on Windows NT 3.51 only.";
    if (line.Shortcuts > 0 && PlatformCode == 1)
        return "/shortcuts:" + std::to_string(line.Shortcuts) + ": shortcuts are not searched on Windows NT 3.51.";
    return std::string();
}

// Whether a file can be written where named, found out without changing
// anything that is there: an existing file is opened for writing and left
// as it is, a new one is made and removed again.
bool CanWriteFile(const std::string& name, std::string& error) {
    const std::wstring wide = Utf8ToWide(name);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = name + " is a folder";
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = name + " is read-only";
        return false;
    }
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = name + ": " + SystemErrorText(GetLastError());
        return false;
    }
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    CloseHandle(h);
    if (!existed)
        DeleteFileW(wide.c_str());
    return true;
}

// The volume and file index of what a name leads to (file or folder);
// false when nothing is there.
bool IdentityOf(const std::string& name, std::pair<DWORD, ULONGLONG>& identity) {
    FileHandle h(CreateFileW(WideFileName(name).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!h || !GetFileInformationByHandle(h.get(), &info))
        return false;
    identity = {info.dwVolumeSerialNumber, (ULONGLONG(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

// Whether two names lead to one file, however each is spelled (letter
// case, "." and "..", a short name, a link): by the file itself where it
// exists, else by its folder and its name.
bool SameFileByIdentity(const std::string& a, const std::string& b) {
    std::pair<DWORD, ULONGLONG> ia, ib;
    const bool hasA = IdentityOf(a, ia), hasB = IdentityOf(b, ib);
    if (hasA || hasB)
        return hasA && hasB && ia == ib;
    const std::string folderA = FullFolderOf(a), folderB = FullFolderOf(b);
    if (folderA.empty() || folderB.empty())
        return false;
    auto nameOf = [](const std::string& name) {
        std::wstring full(MAX_PATH * 4, L'\0');
        LPWSTR filePart = nullptr;
        const DWORD n =
            GetFullPathNameW(Utf8ToWide(name).c_str(), static_cast<DWORD>(full.size()), &full[0], &filePart);
        return n == 0 || n >= full.size() || filePart == nullptr ? std::string() : WideToUtf8(filePart);
    };
    const bool sameFolder =
        IdentityOf(folderA, ia) && IdentityOf(folderB, ib) ? ia == ib : SameFileName(folderA, folderB);
    return sameFolder && SameFileName(nameOf(a), nameOf(b));
}

// One hit as one line of tab-separated fields: a tab or line end inside a
// field (a Registry name may hold one) is shown as a blank. A flagged hit
// (the Old address may begin a longer name there) has "!" after its mark.
std::string HitLine(const TFoundItem& row) {
    std::string line = row.Mark == MarkY ? "Y" : "N";
    if (IsFlagged(row))
        line += '!';
    for (std::string field :
         {row.Item, row.Path, std::string(KindText(row.Kind)), std::string(SubTypeText(row.SubType)), row.Context}) {
        for (char& c : field)
            if (c == '\t' || c == '\r' || c == '\n')
                c = ' ';
        line += "\t" + field;
    }
    return line;
}

// --- The run's reports --------------------------------------------------------

class TUnattendedRun final : public IRunCallback {
  public:
    TUnattendedRun(TConsole& console,
                   HWND label,
                   const std::string& oldAddress,
                   const std::string& newAddress,
                   bool flaggedToo)
        : console_(console),
          label_(label),
          oldUpper_(UpperText(oldAddress)),
          new_(newAddress),
          flaggedToo_(flaggedToo) {}

    void StepStarted(int kind) override {
        kind_ = kind;
        if (!replacing_ && KindNamesOf(kind) != nullptr) {
            counts_[kind] = 0;
            console_.Line("Searching " + std::string(KindNamesOf(kind)->Title) + " (" + scope_[kind] + ")");
        }
    }
    void StepEnded(int) override {}
    void Hit(const std::string& item,
             const std::string& path,
             const std::string& context,
             int kind,
             int subType,
             const std::string& valueName) override {
        // The row as the found list makes it.
        TFoundItem row = MakeFoundItem(item, path, context, kind, subType, valueName, oldUpper_, new_);
        // Nobody looks at the rows before the replacement: a hit that may
        // name a longer folder is never rewritten unless asked for.
        if (IsFlagged(row) && !flaggedToo_)
            row.Mark = MarkN;
        if (KindNamesOf(kind) != nullptr)
            ++counts_[kind];
        console_.Line(HitLine(row));
        rows_.push_back(std::move(row));
    }
    void LogLine(const std::string& line) override {
        log_.push_back(line);
        console_.Line(line);
    }
    void RunEnded() override { ended_ = true; }
    void KeepResponsive() override {
        ProcessPendingWindowMessages();
        ShowProgress();
    }
    bool StopRequested() override {
        if (!g_cancelled)
            return false;
        stopSeen_ = true;
        return true;
    }

    void ShowProgress() {
        const DWORD now = GetTickCount();
        if (now - lastProgress_ < 250 || KindNamesOf(kind_) == nullptr)
            return;
        lastProgress_ = now;
        const std::string where = WindowTextUtf8(label_);
        const std::string title = KindNamesOf(kind_)->Title;
        if (replacing_)
            console_.Progress("Replacing in " + title + (where.empty() ? "" : ": " + where));
        else
            console_.Progress(title + ": " + std::to_string(counts_[kind_]) + " found" +
                              (where.empty() ? "" : " - " + where));
    }

    int Count(int kind) const {
        const auto it = counts_.find(kind);
        return it != counts_.end() ? it->second : -1;
    }
    std::vector<TFoundItem>& Rows() { return rows_; }
    std::vector<std::string>& Log() { return log_; }
    bool Ended() const { return ended_; }
    bool StopSeen() const { return stopSeen_; }
    void BeginReplacing() {
        replacing_ = true;
        kind_ = KindNone;
    }
    std::map<int, std::string> scope_;

  private:
    TConsole& console_;
    HWND label_;
    std::string oldUpper_;
    std::string new_;
    bool flaggedToo_;
    int kind_ = KindNone;
    // By kind code; a kind left out has none.
    std::map<int, int> counts_;
    std::vector<TFoundItem> rows_;
    std::vector<std::string> log_;
    bool ended_ = false;
    bool stopSeen_ = false;
    bool replacing_ = false;
    DWORD lastProgress_ = 0;
};

int ErrorLineCount(const std::vector<std::string>& lines) {
    int count = 0;
    for (const std::string& line : lines)
        if (line.rfind("*****", 0) == 0)
            ++count;
    return count;
}

// Saves the log where /log names it; false (said on the console) when it
// could not be.
bool SaveLogFile(TConsole& console, const std::string& name, const std::vector<std::string>& lines) {
    if (name.empty())
        return true;
    const DWORD error = SaveFileReplacing(name, LogFileText(lines));
    if (error == ERROR_SUCCESS) {
        console.Line("Log saved as " + name);
        return true;
    }
    console.ErrorLine("***** The log could not be saved as " + name + ": " + SaveErrorMessage(error));
    return false;
}

// What a move of the folder would do, as /move without /apply says it.
std::string MoveSummary(const TMoveCheck& check) {
    return "The move of " + check.oldFolder + " to " + check.newFolder + ": " +
           CountText(static_cast<long long>(check.files), "file", "files") + ", " +
           CountText(static_cast<long long>(check.folders), "folder", "folders") + ", " +
           CountText(static_cast<long long>(check.links), "link", "links") + ", " +
           ByteCountText(check.bytes) +
           (check.sameVolume ? std::string(", on one drive (renamed)")
                             : ", to another drive (copied; " + ByteCountText(check.freeBytes) + " free there)");
}

int RunSearch(HINSTANCE instance, TConsole& console, const TCommandLine& line) {
    // Every check before anything is searched or changed.
    const std::string unavailable = UnavailableChoice(line);
    if (!unavailable.empty()) {
        console.ErrorLine(unavailable);
        return kExitBadArguments;
    }
    if (!line.ListFile.empty() && !line.LogFile.empty() && SameFileByIdentity(line.ListFile, line.LogFile)) {
        console.ErrorLine("The list and the log cannot be saved in the same file " + line.ListFile + ".");
        return kExitBadArguments;
    }
    for (const std::string* file : {&line.ListFile, &line.LogFile}) {
        std::string error;
        if (!file->empty() && !CanWriteFile(*file, error)) {
            console.ErrorLine("The file cannot be written: " + error + ".");
            return kExitBadArguments;
        }
    }
    // The journal's folder must keep access rules (Restore trusts no
    // journal whose copies anyone could change): said before the search.
    if (line.Apply) {
        const std::string journalFolder = line.LogFile.empty() ? DefaultUndoFolder() : FullFolderOf(line.LogFile);
        std::string error;
        if (!journalFolder.empty() && !UndoFolderHoldsAccessRules(journalFolder, error)) {
            console.ErrorLine(error);
            return kExitBadArguments;
        }
    }
    const int check = CheckAddresses(line.OldAddress, line.NewAddress, ProbePathKind);
    const Indicator light = IndicatorForResult(check);
    if (light != Indicator::Green) {
        const std::string message = LoadResourceString(instance, IDS_CHECK_BASE + check);
        if (light == Indicator::Red && !line.IgnoreCheck) {
            console.ErrorLine(message + "  Nothing was searched; /ignorecheck goes on past this check.");
            return kExitBadArguments;
        }
        console.ErrorLine(message);
    }

    TChoices choices = ReadSavedChoices();
    for (const auto& given : line.Items())
        if (given.second >= 0)
            choices.Item[given.first] = given.second;

    UiDispatcher::Init();
    // The search threads show where they are in a label; this one is never
    // shown, the progress line reads it.
    const HWND label = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    TUnattendedRun run(console, label, line.OldAddress, line.NewAddress, line.Flagged);
    for (const TKindInfo* kind : Kinds()) {
        const TKindNames& names = kind->Names();
        const int index = choices.Item[names.Code];
        run.scope_[names.Code] = index >= 0 && index < names.Items ? std::string(names.Scopes[index]) : "nothing";
    }

    console.Line(std::string(line.Apply ? "Search and replace" : "Search only (nothing is changed without /apply)"));
    console.Line("Old address: " + line.OldAddress);
    console.Line("New address: " + line.NewAddress);
    // The move of the folder is the list's first row, as in the window; it
    // is no hit and no target.
    const TFoundItem moveRow = MoveRowItem(line.OldAddress, line.NewAddress);
    if (line.Move)
        console.Line(HitLine(moveRow));

    TSearchSettings settings;
    settings.OldAddress = line.OldAddress;
    settings.ProgressLabel = label;
    for (const TKindInfo* kind : Kinds())
        settings.Modes[kind->Code()] = kind->ModeForItem(choices.Item[kind->Code()]);
    // The program is still at Old when the run is to move it there.
    settings.ProgramFolder = line.Move ? line.OldAddress : line.NewAddress;
    settings.ConfigTypes = choices.ConfigTypes;
    settings.IgnoreKeys = choices.IgnoreKeys;

    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string reportDate = LogDateText(now);
    const std::vector<std::string> head = {"Report generated by Movix 32 on " + reportDate,
                                           "(Error lines begin with *****)", "Old address: " + line.OldAddress,
                                           "New address: " + line.NewAddress};

    TDdeClientConv progMan;
    TSearchRunner search(run, progMan);
    search.Start(settings);
    DWORD stopAskedAt = 0;
    while (!run.Ended() && !run.StopSeen()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        run.KeepResponsive();
        if (!g_cancelled || run.Ended() || run.StopSeen())
            continue;
        // The thread in hand stops at its next check, as on the wizard's
        // Cancel; its end then starts no further step. One that does not
        // end in time is left to end with the process, as the window
        // leaves it.
        if (stopAskedAt == 0) {
            search.RequestStop();
            stopAskedAt = GetTickCount() | 1;
        } else if (GetTickCount() - stopAskedAt > 10000) {
            break;
        }
    }
    if (!run.Ended()) {
        UiDispatcher::Shutdown();
        std::vector<std::string> log = head;
        log.push_back("");
        for (const std::string& text : search.LogLines())
            log.push_back(text);
        log.push_back("***** The search was stopped because Ctrl+C was pressed: nothing was changed.");
        console.Line(log.back());
        SaveLogFile(console, line.LogFile, log);
        return kExitCancelled;
    }

    for (const std::string& note : search.Notes())
        console.Line(note);
    for (const TKindInfo* kind : Kinds()) {
        const TKindNames& names = kind->Names();
        const int count = run.Count(names.Code);
        console.Line(KindResultText(names, count, search.StepFailed(names.Code)));
    }

    int exitCode = kExitDone;
    if (!line.ListFile.empty()) {
        std::vector<TFoundItem> listed;
        if (line.Move) {
            listed.reserve(run.Rows().size() + 1);
            listed.push_back(moveRow);
            listed.insert(listed.end(), run.Rows().begin(), run.Rows().end());
        }
        const DWORD error =
            SaveFileReplacing(line.ListFile, FoundListRtf(line.OldAddress, line.Move ? listed : run.Rows()));
        if (error == ERROR_SUCCESS) {
            console.Line("List saved as " + line.ListFile);
        } else {
            console.ErrorLine("***** The list could not be saved as " + line.ListFile + ": " + SaveErrorMessage(error));
            exitCode = kExitErrorLines;
        }
    }
    const std::size_t hits = run.Rows().size();
    std::size_t marked = 0;
    std::vector<const TFoundItem*> leftOut;
    for (const TFoundItem& row : run.Rows()) {
        if (row.Mark == MarkY)
            ++marked;
        else
            leftOut.push_back(&row);
    }
    bool unquoted = false;  // some row left out for the New address's blank alone
    for (const TFoundItem* row : leftOut)
        unquoted = unquoted || !row->MaybeLonger;
    if (!leftOut.empty())
        console.Line(std::to_string(leftOut.size()) + (leftOut.size() == 1 ? " hit is" : " hits are") +
                     " flagged N!: the Old address may begin a longer folder name there" +
                     (unquoted ? ", or stands unquoted before more text while the New address holds a blank" : "") +
                     ". They are left unchanged; /flagged replaces them too.");

    // The folder is looked at before anything is changed; what stops its
    // move stops the run.
    std::vector<std::string> moveLines;
    TMoveCheck moveCheck;
    if (line.Move) {
        moveCheck = CheckFolderMove(line.OldAddress, line.NewAddress);
        LookForCutMove(moveCheck,
                       {line.LogFile.empty() ? DefaultUndoFolder() : FullFolderOf(line.LogFile), DefaultUndoFolder()});
        moveLines.push_back(MoveSummary(moveCheck));
        for (const TRunningProgram& program : moveCheck.running)
            moveLines.push_back("    running: " + program.name + " (process id " +
                                std::to_string(program.processId) + ")");
        if (!moveCheck.problem.empty())
            moveLines.push_back("***** " + moveCheck.problem + " The folder is not moved" +
                                (line.Apply ? ", and nothing is replaced." : "."));
        else if (!line.Apply)
            moveLines.push_back("The folder is moved only with /apply.");
        for (const std::string& text : moveLines)
            console.Line(text);
        if (line.Apply && !moveCheck.problem.empty()) {
            std::vector<std::string> log = head;
            log.push_back("");
            log.insert(log.end(), moveLines.begin(), moveLines.end());
            SaveLogFile(console, line.LogFile, log);
            return kExitBadArguments;
        }
    }

    if (!line.Apply || (marked == 0 && !line.Move)) {
        std::vector<std::string> log = head;
        if (!search.LogLines().empty()) {
            log.push_back("");
            for (const std::string& text : search.LogLines())
                log.push_back(text);
        }
        if (!moveLines.empty()) {
            log.push_back("");
            log.insert(log.end(), moveLines.begin(), moveLines.end());
        }
        log.push_back("");
        log.push_back(hits == 0     ? std::string("Nothing was found: nothing was changed.")
                      : line.Apply ? std::string("No hit is marked Y: nothing was changed.")
                                   : "Search only: " + std::to_string(hits) + (hits == 1 ? " hit" : " hits") +
                                         " found, nothing was changed.");
        console.Line(log.back());
        // What could not be searched or read is an error line, as in the
        // replacement's log.
        if (!SaveLogFile(console, line.LogFile, log) || ErrorLineCount(search.LogLines()) > 0)
            exitCode = kExitErrorLines;
        if (exitCode == kExitDone && hits > 0)
            exitCode = kExitHitsFound;
        return exitCode;
    }

    // The replacement, as the wizard's Next on its last page starts it: the
    // undo journal first (beside the log when one is named), the log's head,
    // what the search could not read, then the rows in the fixed order.
    run.BeginReplacing();
    std::string journalError;
    const std::string journalFolder = line.LogFile.empty() ? DefaultUndoFolder() : FullFolderOf(line.LogFile);
    std::unique_ptr<TUndoRecorder> journal =
        TUndoRecorder::Create(journalFolder, line.OldAddress, line.NewAddress, reportDate, journalError);
    for (const std::string& text : head)
        run.LogLine(text);
    run.LogLine(journal ? "Undo journal: " + journal->FileName() : std::string("Undo journal: none"));
    if (!journal) {
        run.LogLine("");
        run.LogLine("***** " + journalError);
        run.LogLine("***** The replacement did not start: nothing was changed.");
        SaveLogFile(console, line.LogFile, run.Log());
        return kExitErrorLines;
    }
    // The move is the first thing the journal records and the log shows:
    // the references are rewritten only once the program is at New.
    if (line.Move) {
        run.LogLine("");
        run.LogLine(moveLines.front());
        std::string error;
        if (!journal->BeforeMove(moveCheck.oldFolder, moveCheck.newFolder, line.Junction, error)) {
            run.LogLine("***** The undo journal could not record the move: " + error);
            run.LogLine("***** The folder was not moved and nothing was replaced.");
            SaveLogFile(console, line.LogFile, run.Log());
            return kExitErrorLines;
        }
        TMoveOptions options;
        options.leaveJunction = line.Junction;
        options.journal = journal->MoveJournal();
        const TMoveReport report = MoveFolder(
            moveCheck, options, &g_cancelled,
            [&console](const TMoveProgress& progress) { console.Progress(MoveProgressText(progress)); },
            [&run](const std::string& text) { run.LogLine(text); });
        if (report.end == TMoveEnd::Renamed || report.end == TMoveEnd::Copied) {
            journal->AfterMove(FolderTreeDigest(moveCheck.newFolder));
        } else {
            const bool cancelled = report.end == TMoveEnd::Cancelled;
            run.LogLine(std::string("***** ") +
                        (cancelled ? "The move was stopped because Ctrl+C was pressed"
                                   : "The folder could not be moved") +
                        ": the program is still at " + moveCheck.oldFolder +
                        ", and no reference to it was rewritten.");
            journal.reset();
            SaveLogFile(console, line.LogFile, run.Log());
            return cancelled ? kExitCancelled : kExitErrorLines;
        }
    }
    if (!search.LogLines().empty()) {
        run.LogLine("");
        for (const std::string& text : search.LogLines())
            run.LogLine(text);
    }
    if (!leftOut.empty()) {
        run.LogLine("");
        for (const TFoundItem* row : leftOut)
            run.LogLine(std::string(row->MaybeLonger     ? "Left unchanged, may name a longer folder"
                                    : row->Kind == KindCfg ? "Left unchanged, New cannot be written into the line as it is"
                                                           : "Left unchanged, Old unquoted before more text") +
                        " (/flagged replaces it): " + std::string(KindText(row->Kind)) + " " + TargetKey(*row) + ": " +
                        row->Context);
    }
    // Only the rows marked Y, as the wizard deletes the others first.
    std::vector<TFoundItem> rows;
    rows.reserve(marked);
    for (std::size_t index : SortedOrderLocale(run.Rows(), -1, false))
        if (run.Rows()[index].Mark == MarkY)
            rows.push_back(run.Rows()[index]);
    TReplaceRunner replacer(run, progMan, label);
    replacer.SetJournal(journal.get());
    replacer.SetStopReason("Ctrl+C was pressed");
    // Files the search found inside the folder are at New now.
    if (line.Move)
        RebaseMovedFiles(rows, line.OldAddress, line.NewAddress);
    if (!rows.empty()) {
        replacer.Run(rows, line.OldAddress, line.NewAddress);
    } else {
        run.LogLine("");
        run.LogLine("No hit is marked Y: no reference was rewritten.");
    }
    journal.reset();
    if (!SaveLogFile(console, line.LogFile, run.Log()))
        exitCode = kExitErrorLines;
    if (run.StopSeen())
        return kExitCancelled;
    if (ErrorLineCount(run.Log()) > 0)
        exitCode = kExitErrorLines;
    return exitCode;
}

int RunRestore(TConsole& console, const TCommandLine& line) {
    if (!NameExists(line.RestoreFile)) {
        console.ErrorLine("The undo journal cannot be found: " + line.RestoreFile + ".");
        return kExitBadArguments;
    }
    // The restore's log never takes the journal's place.
    if (!line.LogFile.empty() && SameFileByIdentity(line.LogFile, line.RestoreFile)) {
        console.ErrorLine("The log cannot be saved in the undo journal " + line.RestoreFile + ".");
        return kExitBadArguments;
    }
    std::string error;
    if (!line.LogFile.empty() && !CanWriteFile(line.LogFile, error)) {
        console.ErrorLine("The file cannot be written: " + error + ".");
        return kExitBadArguments;
    }
    // A file that is no journal this user's run wrote is refused before
    // anything is written, the restore's log included.
    if (!CheckUndoJournal(line.RestoreFile, error)) {
        console.ErrorLine(error);
        return kExitBadArguments;
    }
    // The same Restore as the button on the wizard's last page. It cannot
    // stop half way; a Ctrl+C meanwhile is answered once it is done.
    // Each restore keeps its own log beside the journal, as the button's,
    // unless /log names one.
    const TRestoreOutcome outcome = RunJournalRestore(line.RestoreFile, line.LogFile, [&](const std::string& text) {
        if (text.rfind("***** The restore log could not be stored", 0) == 0)
            console.ErrorLine(text);
        else
            console.Line(text);
    });
    if (g_cancelled)
        return kExitCancelled;
    return outcome.Problems > 0 || outcome.SaveError != ERROR_SUCCESS ? kExitErrorLines : kExitDone;
}

}  // namespace

bool RunFromCommandLine(HINSTANCE instance, int& exitCode) {
    const TCommandLine line = ParseCommandLine(CommandLineArguments());
    if (line.RunMode == TCommandLine::Mode::Wizard)
        return false;
    TConsole console;
    g_mainThread = GetCurrentThreadId();
    // A process started in a group of its own has Ctrl+C switched off; the
    // run answers it.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    switch (line.RunMode) {
        case TCommandLine::Mode::Help:
            if (console.HasOutput())
                console.Line(UnattendedUsage());
            else
                MessageBoxW(nullptr, Utf8ToWide(UnattendedUsage()).c_str(), L"Movix 32", MB_OK | MB_ICONINFORMATION);
            exitCode = kExitDone;
            break;
        case TCommandLine::Mode::BadArguments:
            if (console.HasOutput())
                console.ErrorLine(line.Error);
            else
                MessageBoxW(nullptr, Utf8ToWide(line.Error).c_str(), L"Movix 32", MB_OK | MB_ICONERROR);
            exitCode = kExitBadArguments;
            break;
        default:
            // An error no step caught ends the run with its message, as the
            // window's standard error box ends the event that raised it.
            try {
                exitCode = line.RunMode == TCommandLine::Mode::Restore ? RunRestore(console, line)
                                                                       : RunSearch(instance, console, line);
            } catch (const std::exception& e) {
                console.ErrorLine(std::string("***** ") + e.what());
                exitCode = kExitErrorLines;
            }
            break;
    }
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    return true;
}

}  // namespace movix
