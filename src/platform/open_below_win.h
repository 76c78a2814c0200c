// Files and folders opened inside a folder already open, by one name: what
// lies at that name is opened itself, never what a path through other
// folders' names might lead to by the time it is read. With the folders of
// a tree held open (and not shared for deletion, so that nobody can rename
// them or put anything in their place), a walk of the tree can never be led
// outside it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace movix {

enum class TBelow { Open, Create, Replace };

// Opens (or creates) the entry `name` of the folder `folder`: a folder when
// `isFolder`, a file otherwise, and either when `either`. A link at the name
// is opened as a link where the system can (it then reports it as one:
// IsLinkHandle). SYNCHRONIZE is added to `access`; the handle reads and
// writes synchronously. An invalid handle on failure, with the reason in
// `error` (a Win32 code). With `content`, a file whose reparse point is no
// link (a compressed or deduplicated file, a cloud placeholder) is opened
// through its filter, for what it holds.
FileHandle OpenBelow(HANDLE folder,
                     const std::wstring& name,
                     DWORD access,
                     DWORD share,
                     TBelow how,
                     bool isFolder,
                     DWORD& error,
                     bool either = false,
                     bool content = false);

// The identity of what a handle is open on within its volume: its file
// index; 0 when the system does not tell.
std::uint64_t FileIdOf(HANDLE file);

// Whether the handle is open on a link itself (a symbolic link or a mount
// point), not on what it leads to.
bool IsLinkHandle(HANDLE file);

// One entry of a folder as the folder lists it.
struct TFolderItem {
    std::wstring name;
    DWORD attributes = 0;
    std::uint64_t size = 0;
    FILETIME lastWrite{};
    std::uint64_t id = 0;  // the file index, as FileIdOf gives it (its low 64 bits)
    DWORD tag = 0;         // the reparse tag of a reparse point, where the system tells it
    // The latest of its times made, last written and changed (a rename
    // changes the last), as a FILETIME count: when it was last touched.
    std::uint64_t touched = 0;
};

// Lists the folder open as `folder` (its handle opened with
// FILE_LIST_DIRECTORY), "." and ".." left out. False on an error, with its
// code in `error`.
bool ListFolder(HANDLE folder, std::vector<TFolderItem>& entries, DWORD& error);

// Marks what the handle is open on for deletion (it goes when the last
// handle closes), read-only lifted first where `mayBeReadOnly`.
bool DeleteByHandle(HANDLE file, DWORD& error, bool mayBeReadOnly = true);

}  // namespace movix
