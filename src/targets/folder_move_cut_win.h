// A move across volumes cut short (the process killed, the power gone) is
// finished or undone from what its undo journal recorded of its way: the
// copy begun with the identity of the folder it made at New, signs of life
// while it copied, and the point of no return before Old was renamed aside.
//
// Before that point Old is whole and New holds a fragment: the fragment is
// removed, through handles and never through a link, and only when it is
// still the folder the move made (same volume and file index, nothing in it
// made, written or changed later than the run's last sign of life). After
// it the copy at New is the whole program, checked: what is left of Old
// goes, and only what New holds as well. Anything the journal cannot prove
// the move made stays, and the log says what stands there.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "core/undo_journal.h"
#include "targets/folder_move_win.h"
#include "targets/folder_return_win.h"

namespace movix {

// Whether the journal's move record `move` is a move across volumes that
// the run did not record as ended.
bool IsCutMove(const TUndoEntry& move);

// Finishes or undoes the cut move `move` (IsCutMove): AlreadyBack when the
// program is whole at Old (the fragment removed, or left with a failure
// that says what stands at New), Stays when it is whole at New (the move
// finished: the rest of Old removed, and its end recorded through
// `recordEnd`, so that a later Restore brings the folder back as after any
// move). Lines for the log go to `log`, failures (without their "***** ")
// to `fail`.
TFolderReturn ResolveCutMove(const TUndoEntry& move,
                             const TLogLine& log,
                             const std::function<void(const std::string&)>& fail,
                             const TRecordMoveEnd& recordEnd = nullptr);

// The folders a move across volumes made above New go again, from New's
// parent up to the highest it made, each only while it is empty.
void RemoveMadeParents(const TUndoEntry& move);

// The journal, among those of this user in `folders`, whose move to
// `newFolder` was cut short before its point of no return and whose
// fragment still stands there as the move made it; empty when there is
// none. `journalFolders` may name a folder twice or not at all.
std::string JournalOfCutMoveTo(const std::string& newFolder, const std::vector<std::string>& journalFolders);

// For a move whose New is taken (`check.newTaken`): when a journal of this
// user in `journalFolders` says that a move cut short made what stands at
// New, names it in `check.cutJournal` and says so in `check.problem`.
void LookForCutMove(TMoveCheck& check, const std::vector<std::string>& journalFolders);

// The window's question whether to undo the move cut short that
// `check.cutJournal` names before moving afresh.
std::string CutMoveQuestion(const TMoveCheck& check);

// Restores the journal `check.cutJournal` names (its lines to `log`,
// indented) and looks at the move again, into `check`.
void UndoCutMoveFirst(TMoveCheck& check, const TLogLine& log, const TMoveOptions& options = TMoveOptions());

}  // namespace movix
