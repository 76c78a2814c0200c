// Plain file reading and writing over the ...A file APIs, with the Win32
// error of the last failure kept for the caller's message, and the steps of
// exchanging a file for its rewritten copy without losing either.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles.h"

namespace movix {

// Test seam for failures that a test cannot provoke from outside (a disk
// that fills up, a rename that fails after another one succeeded). When set,
// the hook is asked before each operation and returns the Win32 error to fail
// with, or 0 to let the operation run. Never set by the program itself.
// Move is asked with the name moved away: for an exchange (ReplaceFileChecked)
// first with the file replaced, then with the replacement.
enum class FileOp { Read, Write, Move };
using FileFaultHook = std::function<DWORD(FileOp op, const std::string& name)>;
void SetFileFaultHookForTest(FileFaultHook hook);

// The system's text for a Win32 error, without a trailing line end or period.
std::string SystemErrorText(DWORD error);

// True when something (file or folder) exists under the name.
bool NameExists(const std::string& name);

// True when the error says that the name was taken already.
bool IsNameTaken(DWORD error);

// 32 bits from the system's random source, for names that no one can
// foresee.
std::uint32_t RandomTag();

// The folder a file name lies in, made full (a relative name is taken from
// the current folder), without a closing backslash but for a drive's root;
// empty when the name cannot be made full.
std::string FullFolderOf(const std::string& name);

// The attributes SetFileAttributes can give back.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

// Which file a name or handle leads to, and what it looked like then.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    DWORD attributes = 0;
    ULONGLONG size = 0;
    FILETIME lastWrite{};

    bool SameFile(const FileIdentity& o) const {
        return volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow;
    }
    // The same file, with the same size and last-write time.
    bool Unchanged(const FileIdentity& o) const {
        return SameFile(o) && size == o.size && lastWrite.dwLowDateTime == o.lastWrite.dwLowDateTime &&
               lastWrite.dwHighDateTime == o.lastWrite.dwHighDateTime;
    }
};

// The identity of the file open under a handle.
bool IdentityOfHandle(HANDLE h, FileIdentity& identity);

// The identity of the file now under `name`; false when there is none.
bool IdentityOfName(const std::string& name, FileIdentity& identity);

// True when `opened`, opened by the name `file`, is not the file of that
// name in that folder: the name is a link, though the system may not show
// it as one (Wine shows a Unix link as the file it leads to). The folder
// itself may be reached through a link (a Desktop kept elsewhere).
bool NameLeadsElsewhere(const std::string& file, HANDLE opened);

// MoveFileExA, written through, never replacing an existing target; through
// the test seam. On failure GetLastError() tells why.
bool MoveFileChecked(const std::string& from, const std::string& to);

// Gives `to` the access rules (DACL) of `from`. True also when `from` has
// none to give (a volume without security); false, with `error`, when `to`
// cannot take them.
bool CopyFileSecurity(const std::string& from, const std::string& to, DWORD& error);

// Renames the file open under `h` (opened with DELETE access) to `to`, by
// its handle: nothing put under the file's old name meanwhile is ever moved.
// `replace`: a file at `to` is replaced. On failure GetLastError() tells why.
bool RenameOpenFile(HANDLE h, const std::string& to, bool replace);

// How far an exchange got.
enum class ExchangeResult {
    Done,          // `file` holds the replacement, `backup` the previous file
    NothingMoved,  // `file` as it was; the replacement under its own name
    BackupOnly,    // the previous file moved to `backup`; the replacement not moved
};

// Replaces `file` by `replacement` in one step (ReplaceFileW, written
// through), the previous file becoming `backup`, which may exist (it is
// overwritten) and must be on the same volume. `error` tells why it failed.
// The caller may hold `file` open, sharing reading and deleting only, so that
// no one can write it between its last look at the file and the exchange.
ExchangeResult ReplaceFileChecked(const std::string& file,
                                  const std::string& replacement,
                                  const std::string& backup,
                                  DWORD& error);

// A file opened for sequential reading.
class InputFile {
  public:
    // `allowWriters`: whether others may keep the file open for writing
    // while it is read. `allowRename`: whether others may rename or delete
    // it meanwhile. Reading is always shared.
    bool Open(const std::string& name, bool allowWriters, bool allowRename = false);
    // The count of bytes read, 0 at the end, -1 on an error (see Error()).
    long long Read(char* buffer, std::size_t capacity);
    // Goes back to the first byte.
    bool Rewind();
    bool Identity(FileIdentity& identity) const;
    // The size alone: cheaper than Identity, which asks for the volume too
    // (under Wine a round trip to the mount manager).
    bool Size(unsigned long long& size) const;
    // Whether the name opened is a link to a file elsewhere.
    bool LeadsElsewhere() const;
    void Close() { file_.reset(); }
    DWORD Error() const { return error_; }

  private:
    FileHandle file_;
    std::string name_;
    DWORD error_ = 0;
};

// A file created for writing, written through a buffer.
// A file left unclosed (after an error) is closed without its buffer.
class OutputFile {
  public:
    // Creates the file only where nothing (file, folder or link) has the
    // name yet; `attributes` 0 stands for FILE_ATTRIBUTE_NORMAL. Others may
    // read it.
    bool CreateNew(const std::string& name, DWORD attributes = 0);
    bool Write(std::string_view data);
    // Writes what is buffered, through to the disk, and closes; false when
    // any of it fails.
    bool Close();
    DWORD Error() const { return error_; }

  private:
    bool Flush();

    FileHandle file_;
    std::string name_;
    std::vector<char> buffer_;
    DWORD error_ = 0;
};

}  // namespace movix
