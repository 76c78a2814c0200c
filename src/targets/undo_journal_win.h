// The undo journal on disk: written ahead of every change a replacement run
// makes, and read back by Restore, which puts the targets of one run back as
// they were. The journal's format and the decisions are in
// engine/undo_journal.h; this module reads and writes the targets themselves.
#pragma once

#include <windows.h>

#include <memory>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "core/undo_journal.h"
#include "targets/folder_move_win.h"

namespace movix {

class TDdeClientConv;

// The folder journals go to when nothing else is named: the user's
// documents folder; empty when the shell names none.
std::string DefaultUndoFolder();

// Writes one run's journal. Every record is written through to the disk
// before the call that made it returns, so that what a run changed is on
// record even when the run ends abruptly.
class TUndoRecorder {
  public:
    // Creates "MOVIX32UNDO-yyyymmdd-hhmmss.TXT" in `folder` (with "-2", "-3"
    // ... when that name is taken) and writes its head, sealed with this
    // user's journal key (the machine's, when the process runs elevated);
    // refused on a drive without access rules. Beside it a folder for the run's copies, under a
    // name no one can foresee, made new for the run with access for this
    // user alone. Null with the reason in `error` when any of it cannot be
    // made or written.
    static std::unique_ptr<TUndoRecorder> Create(const std::string& folder,
                                                 const std::string& oldAddr,
                                                 const std::string& newAddr,
                                                 const std::string& date,
                                                 std::string& error);
    ~TUndoRecorder();
    TUndoRecorder(const TUndoRecorder&) = delete;
    TUndoRecorder& operator=(const TUndoRecorder&) = delete;

    const std::string& FileName() const { return fileName_; }

    // Records what a group's targets hold now, before the replacer is
    // handed the group, by the records its kind chooses
    // (TTargetKind::RecordBefore). False, with the reason in `error`, when
    // the record could not be written: the group must then not be replaced.
    // Each call drops what the last one left open.
    bool Before(int kind, const TReplaceGroup& group, std::string& error);
    // The records a kind makes of its targets:
    // a file rewritten in place, with a backup the replacer keeps beside it
    // ("ini-before"; the backup's name comes with NoteBackup);
    bool BeforeFile(const std::string& file, std::string& error);
    // a file kept whole in the journal's folder of copies ("lnk-before");
    bool BeforeFileCopy(const std::string& file, std::string& error);
    // the lines of the Program Manager items the hits name ("group-before",
    // completed by AfterGroupItems);
    bool BeforeGroupItems(const TReplaceGroup& group, std::string& error);
    // the Registry keys and values the hits name ("key-before", with the
    // values below the key, and "value-before");
    bool BeforeRegistry(const TReplaceGroup& group, std::string& error);
    // the service fields the hits name ("service-before");
    bool BeforeServiceFields(const TReplaceGroup& group, std::string& error);
    // a scheduled task, its definition kept in the journal ("task-before"
    // and a "task-field" for each field the run writes).
    bool BeforeTask(const TReplaceGroup& group, std::string& error);
    // The conversation through which the items of kind 2 (Program Manager
    // groups) are read: Before records the line of each item a hit names,
    // as Program Manager gives it.
    void UseConversation(TDdeClientConv* conversation) { conversation_ = conversation; }
    // Completes the group items' records, once the commands that change
    // them have been sent (After leaves them open).
    void AfterGroupItems();
    // Completes the records of the last Before with what the targets hold
    // after the replacer.
    void After();
    // Records the move of the program's folder from Old to New before it is
    // made (the folder must not be moved when this fails), and completes it
    // with the digest of the tree at New once it is there.
    bool BeforeMove(const std::string& oldFolder, const std::string& newFolder, bool junction, std::string& error);
    void AfterMove(const std::string& digest);
    // The records of the move's way across volumes in between (its options'
    // `journal`): the copy begun, signs of life while it copies, and the
    // point of no return.
    TMoveJournal MoveJournal();
    // The name the file of the last BeforeFile was kept under by its
    // replacer (empty: none was made), for its record's end.
    void NoteBackup(const std::string& backup) { lastBackup_ = backup; }
    // For a caller of the list-based replacers (ReplaceIniFiles): a log
    // callback that passes every line on and notes the backup's name from
    // the replacer's "Backup stored as" line.
    TLogLine WatchLog(const TLogLine& log);

  private:
    TUndoRecorder() = default;
    // Seals and writes the records through (after the journal's head when
    // `head`); a record that is sealed is never written again.
    bool Write(const std::vector<std::vector<std::string>>& records, std::string& error, bool head = false);

    struct Pending {
        // The record's name without "-before": "ini", "lnk", "group", "key",
        // "value", "service", "task".
        std::string record;
        std::string id;
        std::string target, name, newName;
        // A task's fields the run rewrites (action, field, text written).
        std::vector<TUndoEntry::TKeyValue> fields;
    };
    // The steps of the Before records: what the last group left open goes;
    // a target recorded once per group (null the second time); a refusal
    // with its reason; the records written, or the group's left open.
    void BeginGroup();
    Pending* Add(const char* record, const std::string& target, const std::string& name, const std::string& newName);
    bool Refuse(const std::string& why, std::string& error);
    bool WriteBefore(const std::vector<std::vector<std::string>>& records, std::string& error);
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<TUndoLineSealer> sealer_;
    unsigned long long size_ = 0;  // what is on the disk
    bool broken_ = false;
    std::string fileName_;
    std::string copyFolder_;
    int nextId_ = 1;
    std::vector<Pending> pending_;
    std::vector<Pending> groupPending_;
    TDdeClientConv* conversation_ = nullptr;
    std::string lastBackup_;
    std::string old_, new_;
    std::string moveId_;
};

// Whether the folder's drive keeps access rules, as the journal's folder of
// copies needs (a FAT or exFAT stick keeps none: Restore would refuse every
// journal there). False with a message that says so in `error`; asked when
// a run starts, before anything is changed.
bool UndoFolderHoldsAccessRules(const std::string& folder, std::string& error);
// Test seam standing in for the drive's flags (GetVolumeInformationW) of a
// folder. Never set by the program itself.
void SetVolumeFlagsHookForTest(DWORD (*hook)(const std::string& folder));

// Test seam: called with a file's name once Restore holds it open and has
// checked it, before it is exchanged. Never set by the program itself.
void SetHeldTargetHookForTest(void (*hook)(const std::string& target));

// Test seam for a journal that stops taking writes (a full disk, a removed
// medium): when set, it is asked before each write and returns the Win32
// error to fail with, or 0. Never set by the program itself.
void SetUndoJournalFaultHookForTest(DWORD (*hook)());

// Puts back everything the journal `journalFile` records, in the reverse
// order of the run: a target that is as the run left it gets its state
// before the run; one that is already as it was is left in silence; one
// that was changed since is left as it is and listed with "*****". Writes a
// log of its own through `log`, beginning with a head that names the
// journal. Returns the number of "*****" lines written (0: all put back).
// For the unattended switch as well as the button on the last page.
//
// Only a journal that a run of this user wrote is used (its seal; run
// elevated, only one an elevated run sealed with the machine's key), with
// its folder of copies still this user's alone; an INI file comes back as the
// very file the run kept as its backup, a shortcut from the run's own copy
// of it. Anything else is refused before anything is touched.
//
// A folder the run moved is decided about first (folder_return_win.h): when
// it goes back, or is back already, the references are put back after it;
// when it cannot go back whole, every reference stays at New with it. Run
// again after a Restore that was stopped at any point, it finishes.
// `stop`, where given, is asked before each target until the folder is at
// Old: when it says so, the restore ends there and names what it did not
// put back.
int RestoreUndoJournal(const std::string& journalFile, const TLogLine& log,
                       const std::function<bool()>& stop = nullptr);

// Reads and checks a journal as Restore does before it changes anything;
// false, with the reason in `error`, when Restore would refuse it.
bool CheckUndoJournal(const std::string& journalFile, std::string& error);

// The journal as Restore reads it, checked as Restore checks it; nothing,
// with the reason in `error`, when Restore would refuse it.
std::optional<TUndoJournal> LoadUndoJournal(const std::string& journalFile, std::string& error);

}  // namespace movix
