#include "targets/folder_move_cut_win.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/open_below_win.h"
#include "platform/wide_text_win.h"
#include "targets/folder_move_parts_win.h"
#include "targets/folder_tree_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

using namespace move_parts;

namespace {

// How long after its last sign of life a run may still have made something
// at New: the signs come every few seconds, and a file open may wait.
constexpr std::uint64_t kSignGrace = 10ull * 10000000ull;  // 10 s in FILETIME counts

using TFail = std::function<void(const std::string&)>;

bool Stands(const std::wstring& name) {
    return AttributesOf(name) != INVALID_FILE_ATTRIBUTES;
}

bool IsPlainFolderAt(const std::wstring& name) {
    const DWORD attributes = AttributesOf(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::uint64_t TouchedOf(HANDLE handle) {
    FILE_BASIC_INFO basic = {};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        return UINT64_MAX;
    std::uint64_t touched = 0;
    for (const LARGE_INTEGER& time : {basic.CreationTime, basic.LastWriteTime, basic.ChangeTime})
        if (static_cast<std::uint64_t>(time.QuadPart) > touched)
            touched = static_cast<std::uint64_t>(time.QuadPart);
    return touched;
}

// Whether the file `name` of the held folder `a` holds the first bytes of
// the file of that name in the held folder `b`, all of them.
bool IsPrefixOf(HANDLE a, HANDLE b, const std::wstring& name, std::uint64_t size) {
    DWORD error = 0;
    FileHandle part = OpenBelow(a, name, GENERIC_READ, FILE_SHARE_READ, TBelow::Open, false, error);
    FileHandle whole = OpenBelow(b, name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, TBelow::Open, false, error);
    if (!part || !whole || IsLinkHandle(part.get()) || IsLinkHandle(whole.get()))
        return false;
    std::vector<char> x(1 << 16), y(1 << 16);
    for (std::uint64_t done = 0; done < size;) {
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(x.size(), size - done));
        DWORD gotX = 0, gotY = 0;
        if (!ReadFile(part.get(), x.data(), want, &gotX, nullptr) ||
            !ReadFile(whole.get(), y.data(), want, &gotY, nullptr) || gotX != want || gotY != want ||
            std::memcmp(x.data(), y.data(), want) != 0)
            return false;
        done += want;
    }
    return true;
}

// Whether every entry of the fragment is a copy, whole or begun, of the
// entry of the same name at Old (a folder of a folder, a link of a link, a
// file of the first bytes of its source): removing it loses nothing. A
// source written since the run (`runEnded`) is compared by kind alone: the
// program ran from Old, and the copy at New, made by the run, holds what it
// has replaced.
bool CopiesOfOld(const TUndoEntry& move,
                 const HeldTree& fragment,
                 const std::vector<TreeEntry>& entries,
                 std::uint64_t runEnded,
                 std::string& instead) {
    HeldTree old;
    std::vector<TreeEntry> sources;
    std::wstring failedAt;
    DWORD error = 0;
    if (!ListTree(FullName(move.Target), sources, failedAt, error, &old)) {
        instead = Narrow(failedAt) + " cannot be read to compare";
        return false;
    }
    std::map<std::wstring, std::size_t> byName;
    for (std::size_t i = 0; i < sources.size(); ++i)
        byName[sources[i].relative] = i;
    for (const TreeEntry& entry : entries) {
        const auto it = byName.find(entry.relative);
        const TreeEntry* source = it == byName.end() ? nullptr : &sources[it->second];
        if (source == nullptr || source->IsLink() != entry.IsLink() || source->IsFolder() != entry.IsFolder() ||
            (!entry.IsFolder() && !entry.IsLink() && source->touched <= runEnded &&
             (entry.size > source->size ||
              !IsPrefixOf(fragment.Folder(entry.parent), old.Folder(source->parent), entry.name, entry.size)))) {
            instead = Narrow(FullName(move.NewName) + entry.relative) + " is no copy of what " + move.Target + " holds";
            return false;
        }
    }
    return true;
}

// New, listed and held for removal, when it is the folder the cut move
// made; otherwise false with what stands there in `instead`. With
// `copiesOnly`, all it holds must be copies of what Old holds as well.
bool HoldFragment(const TUndoEntry& move,
                  HeldTree& held,
                  std::vector<TreeEntry>& entries,
                  std::string& instead,
                  bool copiesOnly = true) {
    const std::wstring fragment = FullName(move.NewName);
    std::wstring failedAt;
    DWORD error = 0;
    if (!ListTree(fragment, entries, failedAt, error, &held, kRemoveAccess)) {
        instead =
            Narrow(failedAt) + (error == kNotTheListedFolder ? " is a link or not the folder listed"
                                                             : " cannot be read (" + SystemErrorText(error) + ")");
        return false;
    }
    // A volume serial of 0 is one the system did not tell (Wine, at times,
    // for a drive it has just mapped): the file index and what the folder
    // holds still decide.
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool gotInfo = GetFileInformationByHandle(held.root.get(), &info) != FALSE;
    const std::string volume = std::to_string(info.dwVolumeSerialNumber);
    if (!gotInfo || (volume != move.Trail.Volume && volume != "0" && move.Trail.Volume != "0") ||
        std::to_string(held.rootId) != move.Trail.Index) {
        instead = Narrow(fragment) + " is another folder than the one the move made there (volume " +
                  std::to_string(info.dwVolumeSerialNumber) + ", file " + std::to_string(held.rootId) +
                  "; the journal names volume " + move.Trail.Volume + ", file " + move.Trail.Index + ")";
        return false;
    }
    const std::uint64_t runEnded = move.Trail.LastSign + kSignGrace;
    if (TouchedOf(held.root.get()) > runEnded) {
        instead = Narrow(fragment) + " itself was changed after the run";
        return false;
    }
    for (const TreeEntry& entry : entries)
        if (entry.touched > runEnded) {
            instead = Narrow(fragment + entry.relative) + " was made or written after the run";
            return false;
        }
    return !copiesOnly || CopiesOfOld(move, held, entries, runEnded, instead);
}

}  // namespace

void RemoveMadeParents(const TUndoEntry& move) {
    if (move.Trail.MadeFrom.empty())
        return;
    const std::wstring top = FullName(move.Trail.MadeFrom);
    for (std::wstring folder = ParentOf(FullName(move.NewName)); IsAtOrBelow(folder, top); folder = ParentOf(folder))
        if (!RemoveDirectoryW(LongName(folder).c_str()))
            return;
}

namespace {

// Before the point of no return: Old is whole, and what stands at New is
// the fragment, removed when the journal proves the move made it.
TFolderReturn UndoFragment(const TUndoEntry& move, const TLogLine& log, const TFail& fail) {
    const std::string stopped = "The run was stopped while it copied the folder " + move.Target + " to " + move.NewName;
    const std::wstring fragment = FullName(move.NewName);
    if (!Stands(fragment)) {
        RemoveMadeParents(move);
        log(stopped + ": the interrupted move was undone: the folder is at Old (" + move.Target + "), and nothing of " +
            "it is left at " + move.NewName + ".");
        return TFolderReturn::AlreadyBack;
    }
    HeldTree held;
    std::vector<TreeEntry> entries;
    std::string instead;
    if (!HoldFragment(move, held, entries, instead)) {
        fail(stopped + "; the program is whole at Old (" + move.Target + "), but what stands at " + move.NewName +
             " is not what the move made, so it is left as it is: " + instead + ".");
        return TFolderReturn::AlreadyBack;
    }
    std::wstring failedAt;
    DWORD error = 0;
    if (!RemoveHeldTree(held, entries, fragment, failedAt, error, !move.Trail.MadeNew)) {
        fail(stopped + "; the program is whole at Old (" + move.Target + "), but " + Narrow(failedAt) +
             ", copied there by the move, could not be removed: " + SystemErrorText(error) + ".");
        return TFolderReturn::AlreadyBack;
    }
    RemoveMadeParents(move);
    log(stopped + ": the interrupted move was undone: the folder is at Old (" + move.Target + "), and the " +
        std::to_string(entries.size()) + " file(s) and folder(s) it had copied to " + move.NewName + " were removed.");
    return TFolderReturn::AlreadyBack;
}

// Whether every entry of the rest of Old stands at New as it stands there
// (a file of the same size and last write, a folder, a link); otherwise the
// first that does not, in `missing`.
bool NewHoldsAll(const std::wstring& newFolder, const std::vector<TreeEntry>& rest, std::wstring& missing) {
    std::vector<TreeEntry> copied;
    std::wstring failedAt;
    DWORD error = 0;
    if (!ListTree(newFolder, copied, failedAt, error)) {
        missing = failedAt;
        return false;
    }
    std::map<std::wstring, const TreeEntry*> byName;
    for (const TreeEntry& entry : copied)
        byName[entry.relative] = &entry;
    for (const TreeEntry& entry : rest) {
        const auto it = byName.find(entry.relative);
        const TreeEntry* at = it == byName.end() ? nullptr : it->second;
        if (at == nullptr || at->IsLink() != entry.IsLink() || at->IsFolder() != entry.IsFolder() ||
            (!entry.IsFolder() && !entry.IsLink() &&
             (at->size != entry.size || CompareFileTime(&at->lastWrite, &entry.lastWrite) != 0))) {
            missing = entry.relative;
            return false;
        }
    }
    return true;
}

// After the point of no return: the copy at New is the program, checked;
// the rest of Old goes where New holds all of it.
TFolderReturn FinishMove(const TUndoEntry& move, const TLogLine& log, const TFail& fail,
                         const TRecordMoveEnd& recordEnd) {
    const std::string stopped = "The run was stopped after it had copied the folder " + move.Target + " to " +
                                move.NewName + ", checked the copy and taken " + move.Target + " away";
    const std::wstring newFolder = FullName(move.NewName), rest = FullName(move.Trail.Aside);
    HeldTree program;
    std::vector<TreeEntry> entries;
    std::string instead;
    // The program itself is only looked at: the times in it may be newer.
    TUndoEntry asMade = move;
    asMade.Trail.LastSign = UINT64_MAX - kSignGrace;
    if (!HoldFragment(asMade, program, entries, instead, false)) {
        fail(stopped + ", but " + instead + "; the rest of Old is left" +
             (Stands(rest) ? " under " + move.Trail.Aside : std::string()) + ".");
        return TFolderReturn::Stays;
    }
    program = HeldTree();
    if (Stands(rest)) {
        HeldTree gone;
        std::vector<TreeEntry> left;
        std::wstring failedAt, missing;
        DWORD error = 0;
        if (!ListTree(rest, left, failedAt, error, &gone, kRemoveAccess) ||
            std::to_string(gone.rootId) != move.Trail.OldIndex) {
            fail(stopped + "; what stands under " + move.Trail.Aside +
                 " is not the rest of Old, or cannot be read: " + "it is left as it is.");
            return TFolderReturn::Stays;
        }
        if (!NewHoldsAll(newFolder, left, missing)) {
            fail(stopped + "; " + Narrow(rest + missing) + " is not at " + move.NewName + " as it is there, so the " +
                 "rest of Old is left under " + move.Trail.Aside + ".");
            return TFolderReturn::Stays;
        }
        DWORD rulesError = ERROR_SUCCESS;
        NarrowRules(gone.root.get(), rulesError);
        if (!RemoveHeldTree(gone, left, rest, failedAt, error)) {
            fail(stopped + "; " + Narrow(failedAt) + " could not be removed (" + SystemErrorText(error) +
                 "): what is left of Old is under " + move.Trail.Aside + ".");
            return TFolderReturn::Stays;
        }
    }
    std::wstring why;
    if (move.Junction && !Stands(FullName(move.Target)) && !MakeJunctionW(FullName(move.Target), newFolder, why))
        fail(Narrow(why));
    // Its end recorded, a later Restore takes the move as any other and
    // brings the folder back.
    std::string recordWhy;
    const bool ended = recordEnd && recordEnd(FolderTreeDigest(move.NewName), recordWhy);
    log(stopped + ": the interrupted move was finished: the program is at " + move.NewName +
        ", and the rest of Old is removed. The references still name " + move.Target +
        ": a run from Old to New without the move rewrites them" +
        (ended ? "; to undo the move instead, restore this journal again (the folder then goes back to Old)."
               : ", and a run that moves the folder from New to Old undoes the move" +
                     (recordWhy.empty() ? std::string(".") : " (its end could not be recorded: " + recordWhy + ").")));
    return TFolderReturn::Stays;
}

// Whether a journal file records a move's copy at all, read without its
// seals: most journals do not, and are passed over before they are checked.
// The move is the first thing a run records, so its lines stand in the
// journal's first megabyte.
bool RecordsACopy(const std::wstring& name) {
    FileHandle file(CreateFileW(LongName(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (file && text.size() < (1u << 20) && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text.find("\nmove-copy\t") != std::string::npos;
}

// Whether the move got past its point of no return: Old was renamed aside
// (or is gone while the name it was to take was recorded).
bool PastNoReturn(const TUndoEntry& move) {
    return !move.Trail.Aside.empty() && (Stands(FullName(move.Trail.Aside)) || !Stands(FullName(move.Target)));
}

}  // namespace

bool IsCutMove(const TUndoEntry& move) {
    return move.Kind == TUndoKind::FolderMove && !move.After && move.Trail.CopyBegun;
}

TFolderReturn ResolveCutMove(const TUndoEntry& move,
                             const TLogLine& log,
                             const TFail& fail,
                             const TRecordMoveEnd& recordEnd) {
    if (PastNoReturn(move))
        return FinishMove(move, log, fail, recordEnd);
    if (!IsPlainFolderAt(FullName(move.Target))) {
        fail("The run was stopped while it copied the folder " + move.Target + " to " + move.NewName + ", and " +
             move.Target + " is no folder now: what was copied to " + move.NewName + " is left as it is.");
        return TFolderReturn::Stays;
    }
    return UndoFragment(move, log, fail);
}

std::string JournalOfCutMoveTo(const std::string& newFolder, const std::vector<std::string>& journalFolders) {
    const std::wstring wanted = FullName(newFolder);
    std::vector<std::wstring> seen;
    for (const std::string& folderName : journalFolders) {
        if (folderName.empty())
            continue;
        const std::wstring folder = FullName(folderName);
        bool again = false;
        for (const std::wstring& s : seen)
            again = again || (IsAtOrBelow(s, folder) && s.size() == folder.size());
        if (again)
            continue;
        seen.push_back(folder);
        WIN32_FIND_DATAW found;
        FindHandle find(FindFirstFileW((LongName(folder) + L"\\MOVIX32UNDO-*.TXT").c_str(), &found));
        if (!find)
            continue;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            if (!RecordsACopy(folder + L"\\" + found.cFileName))
                continue;
            const std::string name = Narrow(folder + L"\\" + found.cFileName);
            std::string error;
            const std::optional<TUndoJournal> journal = LoadUndoJournal(name, error);
            if (!journal)
                continue;
            for (const TUndoEntry& move : journal->Entries) {
                const std::wstring to = FullName(move.NewName);
                if (!IsCutMove(move) || PastNoReturn(move) || to.size() != wanted.size() || !IsAtOrBelow(to, wanted))
                    continue;
                HeldTree held;
                std::vector<TreeEntry> entries;
                std::string instead;
                if (HoldFragment(move, held, entries, instead))
                    return name;
            }
        } while (FindNextFileW(find.get(), &found));
    }
    return std::string();
}

void LookForCutMove(TMoveCheck& check, const std::vector<std::string>& journalFolders) {
    if (!check.newTaken)
        return;
    check.cutJournal = JournalOfCutMoveTo(check.newFolder, journalFolders);
    if (!check.cutJournal.empty())
        check.problem = "The New address " + check.newFolder + " holds what a move cut short copied there (undo " +
                        "journal " + check.cutJournal + "). Restore that journal to undo that move first (movix32 " +
                        "/restore:\"" + check.cutJournal + "\"), then move the folder again.";
}

std::string CutMoveQuestion(const TMoveCheck& check) {
    return "The New address " + check.newFolder + " holds what a move cut short copied there, as its undo journal " +
           check.cutJournal + " records.\n\nUndo that move first (what it copied to New is removed; the program is " +
           "whole at " + check.oldFolder + "), then move the folder afresh?";
}

void UndoCutMoveFirst(TMoveCheck& check, const TLogLine& log, const TMoveOptions& options) {
    if (check.cutJournal.empty())
        return;
    const std::string journal = check.cutJournal;
    log("The move cut short that the undo journal " + journal + " records is undone first:");
    const int problems = RestoreUndoJournal(journal, [&log](const std::string& line) { log("    " + line); });
    check = CheckFolderMove(check.oldFolder, check.newFolder, options);
    if (problems > 0 && check.problem.empty())
        check.problem = "The Restore of " + journal + " wrote error lines (above).";
}

}  // namespace movix
