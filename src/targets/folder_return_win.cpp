#include "targets/folder_return_win.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/seal_key_win.h"
#include "platform/wide_text_win.h"
#include "targets/folder_move_cut_win.h"
#include "targets/folder_move_win.h"

namespace movix {

namespace {

// What stands at a name, as far as the way back is concerned. A folder that
// cannot be listed counts as one that holds something.
enum class TStands { Nothing, EmptyFolder, Folder, Link, Other };

TStands WhatStandsAt(const std::string& name) {
    const DWORD attributes = GetFileAttributesW(WideFileName(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? TStands::Nothing : TStands::Other;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return TStands::Link;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return TStands::Other;
    WIN32_FIND_DATAW found;
    FindHandle find(FindFirstFileW(WideFileName(name + "\\*").c_str(), &found));
    if (!find)
        return TStands::Folder;
    do
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
            return TStands::Folder;
    while (FindNextFileW(find.get(), &found));
    return TStands::EmptyFolder;
}

bool IsFolder(TStands stands) {
    return stands == TStands::Folder || stands == TStands::EmptyFolder;
}

using TFail = std::function<void(const std::string&)>;

class FolderReturn {
  public:
    FolderReturn(const TUndoEntry& move,
                 const std::string& staging,
                 const std::string& what,
                 const TLogLine& log,
                 const TFail& fail,
                 const TRecordMoveEnd& recordEnd)
        : move_(move),
          old_(move.Target),
          new_(move.NewName),
          staging_(staging),
          what_(what),
          stays_("; the folder stays at " + new_ + ", and every reference with it."),
          log_(log),
          fail_(fail),
          recordEnd_(recordEnd) {}

    TFolderReturn Run();

  private:
    TFolderReturn FinishEarlierReturn(TStands atOld);
    TFolderReturn PutInPlace(TStands atOld);
    bool Move(const std::string& from, const std::string& to, std::string& problem);
    // Whether Old may take the program: nothing there, an empty folder, or
    // the junction the run left.
    bool OldIsFree(TStands atOld) const {
        return atOld == TStands::Nothing || atOld == TStands::EmptyFolder || RunsJunction(atOld);
    }
    bool RunsJunction(TStands atOld) const { return atOld == TStands::Link && move_.Junction; }

    const TUndoEntry& move_;
    const std::string old_, new_, staging_, what_, stays_;
    const TLogLine& log_;
    const TFail& fail_;
    const TRecordMoveEnd& recordEnd_;
};

TFolderReturn FolderReturn::Run() {
    // A move across volumes cut short is finished or undone from what the
    // journal recorded of its way.
    if (IsCutMove(move_))
        return ResolveCutMove(move_, log_, fail_, recordEnd_);
    const TStands atOld = WhatStandsAt(old_), atNew = WhatStandsAt(new_);
    // What an earlier Restore of this journal left beside Old when it was
    // stopped. A move keeps its source whole under its name until its copy
    // is complete and checked: with New still there, that is an unfinished
    // copy; with New gone, it is the program.
    if (IsFolder(WhatStandsAt(staging_))) {
        if (!IsFolder(atNew))
            return FinishEarlierReturn(atOld);
        const std::string aside = staging_ + ".cut-" + std::to_string(RandomTag());
        if (!MoveFileExW(WideFileName(staging_).c_str(), WideFileName(aside).c_str(), MOVEFILE_WRITE_THROUGH)) {
            fail_("The unfinished copy " + staging_ + " of an earlier Restore could not be set aside (" +
                  SystemErrorText(GetLastError()) + "); not moved back: " + what_ + stays_);
            return TFolderReturn::Stays;
        }
        log_("An earlier Restore was stopped while it copied the folder back: its unfinished copy is set aside as " +
             aside + " (the program is whole at " + new_ + "; the copy may be deleted).");
    }

    // Where the program is. When both places hold a folder, a move the run
    // did not record as ended copied at most part of it to New (its source
    // stays whole until then); a move it recorded left Old free, so what
    // stands there now is someone else's.
    const bool atOldAlready = IsFolder(atOld) && (!IsFolder(atNew) || atNew == TStands::EmptyFolder ||
                                                  (atOld == TStands::Folder && !move_.After));
    if (atOldAlready) {
        if (!move_.After && atNew == TStands::Folder)
            log_("The run was stopped while it moved the folder: the program is whole at " + old_ + ", and what it " +
                 "had copied to " + new_ + " is left there as it is.");
        return TFolderReturn::AlreadyBack;
    }
    if (!IsFolder(atNew)) {
        fail_("Could not move back " + what_ + ": it is at neither place" + stays_);
        return TFolderReturn::Stays;
    }

    // The program is at New: it goes back only if it can go back whole.
    if (!OldIsFree(atOld)) {
        fail_("Could not move back " + what_ + ": " + old_ + " holds something else now" + stays_);
        return TFolderReturn::Stays;
    }
    // A program started through the junction is named by the junction's
    // path, not by New's.
    const std::vector<TRunningProgram> throughJunction =
        RunsJunction(atOld) ? ProgramsRunningFrom(old_) : std::vector<TRunningProgram>();
    if (!throughJunction.empty()) {
        fail_("Could not move back " + what_ + ": programs are running from it through " + old_ + ", for example " +
              throughJunction.front().name + " (process " + std::to_string(throughJunction.front().processId) + ")" +
              stays_);
        return TFolderReturn::Stays;
    }
    if (!move_.After)
        log_("The run was stopped before it recorded the end of its move; the program is at " + new_ +
             " and goes back.");
    else if (FolderTreeDigest(new_) != *move_.After)
        log_("The folder has changed since the run; it goes back with what it holds now.");
    std::string problem;
    if (!Move(new_, staging_, problem)) {
        fail_("Could not move back " + what_ + (problem.empty() ? std::string() : ": " + problem) + stays_);
        return TFolderReturn::Stays;
    }
    return PutInPlace(atOld);
}

TFolderReturn FolderReturn::FinishEarlierReturn(TStands atOld) {
    if (!OldIsFree(atOld)) {
        fail_("An earlier Restore left the program at " + staging_ + ", and " + old_ +
              " holds something else now; the program is left at " + staging_ + ", and every reference at " + new_ +
              ".");
        return TFolderReturn::Stays;
    }
    log_("An earlier Restore was stopped after it had moved the folder to " + staging_ + "; it goes on to " + old_ +
         ".");
    return PutInPlace(atOld);
}

// The last step: the program, whole beside Old, takes Old's name. Should Old
// not take it, it goes on to New again, where the references still name it.
TFolderReturn FolderReturn::PutInPlace(TStands atOld) {
    const bool junction = RunsJunction(atOld);
    DWORD error = ERROR_SUCCESS;
    if (atOld != TStands::Nothing && !RemoveDirectoryW(WideFileName(old_).c_str()))
        error = GetLastError();
    if (error == ERROR_SUCCESS &&
        MoveFileExW(WideFileName(staging_).c_str(), WideFileName(old_).c_str(), MOVEFILE_WRITE_THROUGH))
        return TFolderReturn::Back;
    if (error == ERROR_SUCCESS)
        error = GetLastError();
    const std::string why = old_ + " did not take it (" + SystemErrorText(error) + ")";
    std::string problem;
    if (!Move(staging_, new_, problem)) {
        fail_("Could not move back " + what_ + ": " + why + ", nor could it go back to " + new_ +
              (problem.empty() ? std::string() : " (" + problem + ")") + "; the program is whole at " + staging_ +
              ", and every reference is left at " + new_ + ".");
        return TFolderReturn::Stays;
    }
    // What stood at Old stands there again.
    std::string junctionWhy;
    if (junction && WhatStandsAt(old_) == TStands::Nothing && !MakeJunction(old_, new_, junctionWhy))
        fail_(junctionWhy);
    else if (atOld == TStands::EmptyFolder)
        CreateDirectoryW(WideFileName(old_).c_str(), nullptr);
    fail_("Could not move back " + what_ + ": " + why + stays_);
    return TFolderReturn::Stays;
}

// Moves a folder as the run moved it; its "*****" lines become failures.
bool FolderReturn::Move(const std::string& from, const std::string& to, std::string& problem) {
    const TMoveCheck check = CheckFolderMove(from, to);
    problem = check.problem;
    if (!problem.empty() && problem.back() == '.')
        problem.pop_back();  // the line goes on
    if (!problem.empty()) {
        // On the way back the name beside Old stands for Old, which the
        // user knows: same volume, same room.
        for (std::size_t at = to == staging_ ? problem.find(staging_) : std::string::npos; at != std::string::npos;
             at = problem.find(staging_, at + old_.size()))
            problem.replace(at, staging_.size(), old_);
        return false;
    }
    const TMoveReport report = MoveFolder(check, TMoveOptions(), nullptr, nullptr, [this](const std::string& line) {
        if (line.rfind("*****", 0) != 0) {
            log_(line);
            return;
        }
        const std::size_t text = line.find_first_not_of("* ");
        fail_(text == std::string::npos ? std::string() : line.substr(text));
    });
    return report.end == TMoveEnd::Renamed || report.end == TMoveEnd::Copied;
}

}  // namespace

std::string FolderReturnStagingName(const std::string& oldFolder, const std::string& journalNonce) {
    return oldFolder + ".movix-back-" + Sha256Hex(journalNonce).substr(0, 8);
}

TFolderReturn ReturnMovedFolder(const TUndoEntry& move,
                                const std::string& staging,
                                const std::string& what,
                                const TLogLine& log,
                                const TFail& fail,
                                const TRecordMoveEnd& recordEnd) {
    const TFolderReturn folder = FolderReturn(move, staging, what, log, fail, recordEnd).Run();
    if (folder == TFolderReturn::Back)
        RemoveMadeParents(move);
    return folder;
}

}  // namespace movix
