#include "targets/folder_move_win.h"

#include <algorithm>
#include <unordered_map>

#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/open_below_win.h"
#include "platform/wide_text_win.h"
#include "targets/folder_mover_win.h"
#include "targets/folder_tree_win.h"

namespace movix {

using namespace move_parts;

namespace move_parts {

bool TreeMover::MakeParents(std::wstring& why) {
    std::vector<std::wstring> missing;
    for (std::wstring p = ParentOf(new_); !p.empty() && AttributesOf(p) == INVALID_FILE_ATTRIBUTES; p = ParentOf(p))
        missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!CreateDirectoryW(LongName(*it).c_str(), nullptr)) {
            why = L"The folder " + *it + L" could not be made: " + Utf8ToWide(SystemErrorText(GetLastError()));
            return false;
        }
        madeParents_.push_back(*it);
    }
    return true;
}

// New itself, made here (or the empty folder there opened) and held.
bool TreeMover::MakeNewRoot(std::wstring& why) {
    DWORD error = 0;
    if (newExisted_) {
        target_.root = OpenTreeRoot(new_, kMakeAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, error);
        std::vector<TFolderItem> inside;
        if (target_.root && (!ListFolder(target_.root.get(), inside, error) || !inside.empty())) {
            target_.root.reset();
            error = inside.empty() ? error : ERROR_DIR_NOT_EMPTY;
        }
    } else {
        const FileHandle parent = OpenTreeRoot(ParentOf(new_), FILE_ADD_SUBDIRECTORY | FILE_LIST_DIRECTORY,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, error);
        if (parent)
            target_.root = OpenBelow(parent.get(), new_.substr(new_.find_last_of(L'\\') + 1), kMakeAccess,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, TBelow::Create, true, error);
        madeRoot_ = static_cast<bool>(target_.root);
    }
    if (!target_.root) {
        why = L"The folder " + new_ + L" could not be made: " + Utf8ToWide(SystemErrorText(error));
        return false;
    }
    target_.rootId = FileIdOf(target_.root.get());
    target_.folders.clear();
    target_.folders.resize(entries_.size());
    return true;
}

// Before anything is copied into New, the journal learns which folder the
// move made there: only that folder is ever taken back by a later run.
bool TreeMover::RecordCopyBegun(std::wstring& why) {
    if (!options_.journal.copyBegun)
        return true;
    TMoveCopyMark mark;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileInformationByHandle(target_.root.get(), &info))
        mark.volume = info.dwVolumeSerialNumber;
    mark.index = target_.rootId;
    mark.madeNew = madeRoot_;
    mark.madeFrom = madeParents_.empty() ? std::string() : Narrow(madeParents_.front());
    std::string error;
    if (options_.journal.copyBegun(mark, error))
        return true;
    why = L"The undo journal could not record the copy to " + new_ + L": " + Utf8ToWide(error);
    return false;
}

TMoveReport TreeMover::Rename() {
    TMoveReport report;
    std::wstring why;
    newExisted_ = AttributesOf(new_) != INVALID_FILE_ATTRIBUTES;
    if (!MakeParents(why)) {
        Log("***** " + Narrow(why) + "; nothing was moved.");
        RemoveCreated();
        return report;
    }
    // An empty folder at New gives way to the renamed one, and comes back
    // if the rename fails.
    if (newExisted_ && !RemoveDirectoryW(LongName(new_).c_str())) {
        Log("***** The empty folder " + Narrow(new_) + " could not be removed to make way: " +
            SystemErrorText(GetLastError()) + "; nothing was moved.");
        return report;
    }
    if (!MoveFileExW(LongName(old_).c_str(), LongName(new_).c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        if (newExisted_)
            CreateDirectoryW(LongName(new_).c_str(), nullptr);
        RemoveCreated();
        Log("***** The folder " + Narrow(old_) + " could not be renamed to " + Narrow(new_) + ": " +
            SystemErrorText(error) + "; nothing was moved.");
        return report;
    }
    Log("Moved the folder " + Narrow(old_) + " to " + Narrow(new_) + " (renamed on the same drive).");
    if (!HandsDownWhatItHas(ParentOf(new_), new_))
        Log("The folder keeps the access rules it had at " + Narrow(old_) + " (a rename keeps them); " +
            Narrow(ParentOf(new_)) + " hands down other rules, which a copy would have taken: check them if the "
            "folder is meant to have those.");
    report.end = TMoveEnd::Renamed;
    if (options_.leaveJunction && !LeaveJunction(why))
        Log("***** " + Narrow(why));
    return report;
}

TMoveReport TreeMover::Copy() {
    TMoveReport report;
    std::wstring why, failedAt;
    DWORD error = 0;
    if (!ListTree(old_, entries_, failedAt, error, &source_)) {
        Log("***** The folder " + Narrow(failedAt) + " could not be listed: " + SystemErrorText(error) +
            "; nothing was moved.");
        return report;
    }
    newExisted_ = AttributesOf(new_) != INVALID_FILE_ATTRIBUTES;
    if (!MakeParents(why) || !MakeNewRoot(why) || !RecordCopyBegun(why)) {
        Log("***** " + Narrow(why) + "; nothing was moved.");
        RemoveCreated();
        return report;
    }
    started_ = std::chrono::steady_clock::now();
    Report(true);
    Step step = Step::Done;
    {
        TFlusher flusher(8);
        flusher_ = &flusher;
        step = CopyTree(why);
        if (step == Step::Done && !FinishFolders(why))
            step = Step::Failed;
        std::wstring flushFailure;
        if (!flusher.Finish(flushFailure) && step == Step::Done) {
            why = flushFailure;
            step = Step::Failed;
        }
        flusher_ = nullptr;
    }
    // The source must still be what was copied: a program that wrote in it
    // meanwhile would lose that write.
    std::vector<TreeEntry> after;
    if (step == Step::Done && (!ListTree(old_, after, failedAt, error) || !SameListing(entries_, after))) {
        why = L"Files in " + old_ + L" changed while they were copied";
        step = Step::Failed;
    }
    if (step != Step::Done) {
        RemoveCreated();
        if (step == Step::Cancelled) {
            Log("The move was cancelled; " + Narrow(old_) + " is as it was, and what was copied to " + Narrow(new_) +
                " has been removed.");
            report.end = TMoveEnd::Cancelled;
        } else {
            Log("***** " + Narrow(why) + "; nothing was moved (" + Narrow(old_) + " is as it was).");
        }
        return report;
    }
    Report(true);
    Log("Copied " + std::to_string(progress_.filesDone) + " files (" + ByteCountText(progress_.bytesDone) + ") from " +
        Narrow(old_) + " to " + Narrow(new_) + ", each checked against its source.");

    // The source leaves its place in one rename first, so that a stop at
    // any moment leaves the whole program at Old or at New. Its folders are
    // let go first: a folder with open handles below it is not renamed.
    const std::uint64_t oldId = source_.rootId;
    source_ = HeldTree();
    if (options_.seamForTest)
        options_.seamForTest("renaming", Narrow(old_));
    const std::wstring leftover = old_ + L".movix-" + std::to_wstring(RandomTag());
    std::string journalError;
    if (options_.journal.goingAside && !options_.journal.goingAside(Narrow(leftover), oldId, journalError)) {
        RemoveCreated();
        Log("***** The undo journal could not record that " + Narrow(old_) + " is taken away (" + journalError +
            "); nothing was moved, and the copy at " + Narrow(new_) + " has been removed.");
        return report;
    }
    if (!MoveFileExW(LongName(old_).c_str(), LongName(leftover).c_str(), MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        RemoveCreated();
        Log("***** The folder " + Narrow(old_) + " could not be taken away (" + SystemErrorText(error) +
            "; is a file in it open?); nothing was moved, and the copy at " + Narrow(new_) + " has been removed.");
        return report;
    }
    report.end = TMoveEnd::Copied;
    source_.rootId = oldId;
    RemoveOld(leftover, report);
    target_ = HeldTree();
    if (options_.leaveJunction && !LeaveJunction(why))
        Log("***** " + Narrow(why));
    return report;
}

// The old tree, renamed aside: held, shut to everyone but the
// administrators and this user, listed again, and removed through its
// handles. What was written into it between the last look and the rename
// is copied to New first; anything that is not as listed is left, and the
// leftover named.
void TreeMover::RemoveOld(const std::wstring& leftover, TMoveReport& report) {
    HeldTree gone;
    std::vector<TreeEntry> left;
    std::wstring failedAt, why;
    DWORD error = 0;
    const bool listed = ListTree(leftover, left, failedAt, error, &gone, kRemoveAccess);
    if (options_.seamForTest)
        options_.seamForTest("removing", Narrow(leftover));
    if (!listed || gone.rootId != source_.rootId) {
        report.leftover = Narrow(leftover);
        Log("***** " + Narrow(listed ? leftover : failedAt) + " is not the folder that was copied, or could not be " +
            "read (" + SystemErrorText(listed ? kNotTheListedFolder : error) + "); the old folder is left under " +
            Narrow(leftover) + ".");
        return;
    }
    DWORD rulesError = ERROR_SUCCESS;
    bool narrowed = NarrowRules(gone.root.get(), rulesError);
    for (std::size_t i = 0; i < left.size(); ++i)
        if (gone.folders[i])
            narrowed = NarrowRules(gone.folders[i].get(), rulesError) && narrowed;
    if (!narrowed)
        Log("***** The access rules of " + Narrow(leftover) + " could not be narrowed before its removal: " +
            SystemErrorText(rulesError) + ".");
    if (!SameListing(entries_, left) && !CopyLate(left, gone, why)) {
        report.leftover = Narrow(leftover);
        Log("***** " + Narrow(why) + "; the old folder is left under " + Narrow(leftover) + ".");
        return;
    }
    if (!RemoveHeldTree(gone, left, leftover, failedAt, error)) {
        report.leftover = Narrow(leftover);
        Log("***** " + Narrow(failedAt) + " could not be removed: " + SystemErrorText(error) +
            "; what is left of the old folder is under " + Narrow(leftover) + ".");
        return;
    }
    Log("Removed the old folder " + Narrow(old_) + ".");
}

// Files written into Old after it was copied and before it was renamed
// aside: copied to New (folders made, files made or replaced), each checked
// as any copy. A link that appeared is not copied: the old folder stays.
bool TreeMover::CopyLate(const std::vector<TreeEntry>& left, const HeldTree& gone, std::wstring& why) {
    std::unordered_map<std::wstring, std::size_t> copied;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        copied.emplace(entries_[i].relative, i);
    std::unordered_map<std::wstring, FileHandle> madeHere;
    const auto newFolder = [&](std::size_t parent) -> HANDLE {
        if (parent == kTreeRoot)
            return target_.root.get();
        const auto was = copied.find(left[parent].relative);
        if (was != copied.end() && target_.folders[was->second])
            return target_.folders[was->second].get();
        const auto made = madeHere.find(left[parent].relative);
        return made == madeHere.end() ? nullptr : made->second.get();
    };
    Buffers buffers;
    int files = 0;
    stopCopying_ = false;  // the copying threads are gone; this one copies alone
    for (const TreeEntry& entry : left) {
        const auto was = copied.find(entry.relative);
        const TreeEntry* before = was == copied.end() ? nullptr : &entries_[was->second];
        if (before != nullptr && SameListing({*before}, {entry}))
            continue;
        if (entry.IsLink() || (before != nullptr && before->IsFolder() != entry.IsFolder())) {
            why = L"The link or folder " + old_ + entry.relative + L" appeared in the old folder while it was moved";
            return false;
        }
        const HANDLE into = newFolder(entry.parent);
        DWORD error = ERROR_PATH_NOT_FOUND;
        if (entry.IsFolder()) {
            if (before != nullptr)
                continue;
            FileHandle made = into ? OpenBelow(into, entry.name, kMakeAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               TBelow::Create, true, error)
                                   : FileHandle();
            if (!made) {
                why = L"The folder " + new_ + entry.relative + L" could not be made: " +
                      Utf8ToWide(SystemErrorText(error));
                return false;
            }
            madeHere.emplace(entry.relative, std::move(made));
            continue;
        }
        FileHandle in = OpenBelow(gone.Folder(entry.parent), entry.name, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                                  TBelow::Open, false, error);
        if (in && FileIdOf(in.get()) != entry.id) {
            in.reset();
            error = kNotTheListedFolder;
        }
        FileHandle out = into && in ? OpenBelow(into, entry.name, GENERIC_READ | GENERIC_WRITE | WRITE_DAC | DELETE, 0,
                                                TBelow::Replace, false, error)
                                    : FileHandle();
        bool ownerToo = false;
        if (!in || !out ||
            CopyData(in.get(), out.get(), old_ + entry.relative, entry.size, buffers, why) != Step::Done ||
            !CopySecurity(in.get(), out.get(), error, ownerToo) || !CopyBasicInfo(in.get(), out.get(), error) ||
            !FlushFileBuffers(out.get())) {
            if (why.empty())
                why = old_ + entry.relative + L", written while the folder was moved, could not be copied to " + new_ +
                      L": " + Utf8ToWide(SystemErrorText(error == ERROR_SUCCESS ? GetLastError() : error));
            return false;
        }
        ++files;
    }
    Log("Copied " + std::to_string(files) + " file(s) written into " + Narrow(old_) +
        " while it was moved, each checked against its source.");
    return true;
}

void TreeMover::RemoveCreated() {
    DWORD error = 0;
    const auto failed = [this, &error](const std::wstring& name) {
        Log("***** " + Narrow(name) + ", made by this move, could not be removed: " + SystemErrorText(error));
    };
    for (auto it = madeFiles_.rbegin(); it != madeFiles_.rend(); ++it) {
        const TreeEntry& entry = entries_[it->first];
        FileHandle item = OpenBelow(target_.Folder(entry.parent), entry.name, DELETE | FILE_READ_ATTRIBUTES |
                                    FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    TBelow::Open, false, error, true);
        if (item && FileIdOf(item.get()) != it->second)
            error = kNotTheListedFolder;
        else if (item && DeleteByHandle(item.get(), error))
            continue;
        failed(new_ + entry.relative);
    }
    for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) {
        if (!DeleteByHandle(target_.folders[*it].get(), error))
            failed(new_ + entries_[*it].relative);
        target_.folders[*it].reset();
    }
    if (madeRoot_ && !DeleteByHandle(target_.root.get(), error))
        failed(new_);
    target_ = HeldTree();
    for (auto it = madeParents_.rbegin(); it != madeParents_.rend(); ++it)
        if (!RemoveDirectoryW(LongName(*it).c_str()))
            error = GetLastError(), failed(*it);
    madeFiles_.clear();
    madeFolders_.clear();
    madeParents_.clear();
    madeRoot_ = false;
}

bool TreeMover::LeaveJunction(std::wstring& why) {
    if (!MakeJunctionW(old_, new_, why))
        return false;
    Log("Left a junction at " + Narrow(old_) + " that leads to " + Narrow(new_) + ".");
    return true;
}

}  // namespace move_parts

TMoveReport MoveFolder(const TMoveCheck& check,
                       const TMoveOptions& options,
                       const std::atomic<bool>* cancel,
                       const std::function<void(const TMoveProgress&)>& progress,
                       const std::function<void(const std::string&)>& log) {
    TreeMover mover(check, options, cancel, progress, log);
    if (!check.problem.empty()) {
        if (log)
            log("***** " + check.problem + " Nothing was moved.");
        return TMoveReport();
    }
    return check.sameVolume ? mover.Rename() : mover.Copy();
}

}  // namespace movix
