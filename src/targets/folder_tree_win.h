// A program's folder as a tree of entries, listed, held and removed through
// handles: each folder is opened inside its parent's handle and taken only
// when it is the very folder its parent listed, so that a link put in a
// folder's place, at any depth and at any moment, is never entered. The
// folder move copies from and into held trees and removes the old one
// through them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/work_threads.h"

namespace movix {

// The index of a tree's root among its entries' parents.
constexpr std::size_t kTreeRoot = static_cast<std::size_t>(-1);

// One entry of a tree, named relative to the tree's root ("\bin\x.dll").
struct TreeEntry {
    std::wstring relative;
    std::wstring name;  // its own name, the last part of `relative`
    std::size_t parent = kTreeRoot;
    DWORD attributes = 0;
    std::uint64_t size = 0;
    FILETIME lastWrite{};
    std::uint64_t id = 0;  // the file index
    DWORD tag = 0;         // the reparse tag, 0 where the system did not tell it
    std::uint64_t touched = 0;  // when it was last made, written or changed (TFolderItem)

    // Only symbolic links and mount points are links; a reparse point whose
    // tag the system does not tell is taken for one too. Any other (a
    // compressed or deduplicated file, a cloud placeholder) is an entry like
    // any other, copied through its content.
    bool IsLink() const {
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
               (tag == 0 || tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT);
    }
    bool HasContentFilter() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !IsLink(); }
    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool IsPlainFolder() const { return IsFolder() && !IsLink(); }
};

// The folders of a tree held open: the root, and each folder entry by its
// index (empty for the other entries).
struct HeldTree {
    FileHandle root;
    std::uint64_t rootId = 0;
    std::vector<FileHandle> folders;

    HANDLE Folder(std::size_t index) const { return index == kTreeRoot ? root.get() : folders[index].get(); }
};

// What a folder of a listed tree is opened with, and what one to be
// removed or made is opened with.
constexpr DWORD kListAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr DWORD kRemoveAccess = kListAccess | DELETE | FILE_WRITE_ATTRIBUTES | WRITE_DAC;
constexpr DWORD kMakeAccess = kRemoveAccess | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;

// The error of a folder that is not the one its parent listed (a link or
// another folder put in its place).
constexpr DWORD kNotTheListedFolder = ERROR_CANT_ACCESS_FILE;

// The name that opens a full name of any length (with the long-name
// prefix where it needs one).
std::wstring LongName(const std::wstring& full);

// Opens a tree's root itself (never what a link there leads to).
FileHandle OpenTreeRoot(const std::wstring& root, DWORD access, DWORD share, DWORD& error);

// Lists everything below `root`, each folder before what it holds; a link
// (any reparse point) is listed, never entered. With `held`, every folder
// stays open with `access` and is not shared for deletion: nobody can
// rename it or put anything in its place until it is let go.
bool ListTree(const std::wstring& root,
              std::vector<TreeEntry>& entries,
              std::wstring& failedAt,
              DWORD& error,
              HeldTree* held = nullptr,
              DWORD access = kListAccess);

// Whether two listings hold the same entries in the same state.
bool SameListing(const std::vector<TreeEntry>& a, const std::vector<TreeEntry>& b);

// Narrows the access rules of a held folder to the administrators, the
// system and this user, shielded from what its parent hands down: nobody
// else can put anything into what is about to be removed.
bool NarrowRules(HANDLE folder, DWORD& error);

// Removes a held tree as it was listed: files and links opened inside their
// held folders and deleted only when each is the entry listed (a link only
// where it can be opened as the link itself), then the folders, deepest
// first, then the root. What was not listed, or is not what was listed,
// stays, and so do the folders around it. True when all of it went;
// otherwise the first entry left and why. With `keepRoot` the root itself
// stays (emptied).
bool RemoveHeldTree(HeldTree& tree,
                    const std::vector<TreeEntry>& entries,
                    const std::wstring& root,
                    std::wstring& failedAt,
                    DWORD& error,
                    bool keepRoot = false);

// Under Wine each open or delete waits for the server, and several waits
// overlap: a tree's entries are opened and deleted on this many threads (one
// for every so many entries), this one among them.
constexpr int kTreeThreads = 4;
constexpr std::size_t kTreeEntriesPerThread = 16;

}  // namespace movix
