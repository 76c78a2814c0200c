// The way back of a program's folder that a run moved from Old to New, for
// Restore. The folder is decided about before any reference is touched:
// it goes back whole, with what it holds now, or stays at New, and the
// references go where it goes.
//
// It goes back in two steps, both of which leave the program whole at one
// place: moved as the run moved it (renamed, or copied, checked and then
// removed) to a name beside Old that is the journal's own, then renamed
// into Old on that one volume. Until the last rename nothing stands at Old
// but what the run left there (its junction), so a Restore stopped at any
// point leaves the program whole at New, or whole under that name, and the
// next Restore of the same journal finds it and finishes.
#pragma once

#include <functional>
#include <string>

#include "core/replace_groups.h"
#include "core/undo_journal.h"

namespace movix {

enum class TFolderReturn {
    Back,         // moved back to Old now
    AlreadyBack,  // the program is at Old already (or never left it)
    Stays,        // it stays at New (said with "*****", or a move cut short finished), and so must every reference
};

// The name beside Old that the folder of the journal with this nonce
// passes through on its way back.
std::string FolderReturnStagingName(const std::string& oldFolder, const std::string& journalNonce);

// Brings the folder of the journal's move record `move` back to Old when it
// can go back whole: nothing runs from it, Old is free (nothing there, an
// empty folder, or the junction the run left), the volume has room. Lines
// for the log go to `log`, failures (without their "***** ") to `fail`.
// `what` names the folder in those lines.
// `recordEnd`, where given, adds the end of a move cut short that this
// call finished to its journal (false, with why, when it cannot).
using TRecordMoveEnd = std::function<bool(const std::string& digest, std::string& why)>;
TFolderReturn ReturnMovedFolder(const TUndoEntry& move,
                                const std::string& staging,
                                const std::string& what,
                                const TLogLine& log,
                                const std::function<void(const std::string&)>& fail,
                                const TRecordMoveEnd& recordEnd = nullptr);

}  // namespace movix
