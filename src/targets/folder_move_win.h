// Moving a program's folder from Old to New for the user, so that nothing
// is lost on the way. On one volume the folder is renamed. Across volumes
// the tree is copied (data, attributes, times, access rules, alternate
// streams; a link copied as a link, never followed), each file checked
// against its source, and only then is the source removed, again never
// through a link. A failure or a cancel before that point leaves the source
// as it was and removes only what the move made at New.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "targets/folder_move.h"

namespace movix {

// A process whose program file or one of whose loaded modules lies in the
// folder.
struct TRunningProgram {
    std::string name;  // the program file's name, e.g. "QUILL.EXE"
    DWORD processId = 0;
};

std::vector<TRunningProgram> ProgramsRunningFrom(const std::string& folder);

// What the look before a move found. `problem` is empty when the move can
// go ahead; otherwise it says why nothing may be done.
struct TMoveCheck {
    std::string oldFolder;  // full names, without a trailing backslash
    std::string newFolder;
    bool sameVolume = false;
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
    std::uint64_t links = 0;
    std::uint64_t bytes = 0;
    std::uint64_t freeBytes = 0;  // at New, for a move across volumes
    std::vector<std::string> unreadable;
    std::vector<TRunningProgram> running;
    std::string problem;
    // New holds something (the problem then says so).
    bool newTaken = false;
    // The undo journal of a move cut short that made what stands at New
    // (LookForCutMove), or empty.
    std::string cutJournal;
};

// New as a move across volumes made it, for the undo journal: what later
// tells the folder this move made from anything else put there.
struct TMoveCopyMark {
    std::uint32_t volume = 0;  // New's volume serial number
    std::uint64_t index = 0;   // New's file index
    bool madeNew = false;      // the move made New (else it was an empty folder)
    std::string madeFrom;      // the highest folder above New the move made, or empty
};

// What a move across volumes tells the undo journal on its way, each
// written through before the step it announces. A refusal stops the move
// there, with New as it was.
struct TMoveJournal {
    // Before the first folder or file is copied into New.
    std::function<bool(const TMoveCopyMark& mark, std::string& error)> copyBegun;
    // Every few seconds while the copy goes on: how late the run was alive.
    std::function<void()> stillCopying;
    // Before Old is renamed aside to `aside`: the point after which the copy
    // at New is the program.
    std::function<bool(const std::string& aside, std::uint64_t oldIndex, std::string& error)> goingAside;
};

struct TMoveOptions {
    // Leave a directory junction at Old that leads to New.
    bool leaveJunction = false;
    // How often progress is reported while files are copied.
    unsigned progressEveryMs = 250;
    // Test seam: the free bytes at a folder, in place of the system's answer.
    std::function<std::uint64_t(const std::wstring& folder)> freeSpaceForTest;
    // Test seam: called at fixed points of a move across volumes with the
    // folder concerned: "copying" once New's folders are made and before the
    // first file is copied (with New), "renaming" once the copy is checked
    // and before Old is renamed aside (with Old), "removing" once the old
    // tree, renamed aside, has been listed for removal (with its name then).
    std::function<void(const std::string& point, const std::string& folder)> seamForTest;
    // Where the move records its way (left empty: nowhere).
    TMoveJournal journal;
};

TMoveCheck CheckFolderMove(const std::string& oldFolder, const std::string& newFolder,
                           const TMoveOptions& options = TMoveOptions());

enum class TMoveEnd {
    Renamed,    // one rename on the same volume
    Copied,     // copied, checked, and the source removed
    Cancelled,  // stopped before the source was touched; New as it was
    Failed,     // nothing moved (New as it was), or see the log
};

struct TMoveReport {
    TMoveEnd end = TMoveEnd::Failed;
    // Set when the copy at New is whole and checked but the source could
    // not be removed entirely: what is left of it lies under this name.
    std::string leftover;
};

// Log lines go to `log` ("*****" begins a failure); progress to `progress`
// (on the calling thread, at most every few hundred milliseconds and at the
// end). `cancel` is read between files and between pieces of a file.
TMoveReport MoveFolder(const TMoveCheck& check,
                       const TMoveOptions& options,
                       const std::atomic<bool>* cancel,
                       const std::function<void(const TMoveProgress&)>& progress,
                       const std::function<void(const std::string&)>& log);

// A digest of what a folder holds: the name, attributes, size and last
// write of every entry below it (a link as a link, never followed), as 16
// hex digits; empty when the folder cannot be read. It tells whether a
// moved folder is still as the move left it.
std::string FolderTreeDigest(const std::string& folder);

// Makes a directory junction at `at` (a new folder) that leads to the
// folder `to`; false, with the reason in `why`, when it cannot be made
// (nothing is then left at `at`).
bool MakeJunction(const std::string& at, const std::string& to, std::string& why);

}  // namespace movix
