// Plain file reading and writing over the ...A file APIs, with the Win32
// error of the last failure kept for the caller's message.
#pragma once

#include <windows.h>

#include <cstddef>
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
enum class FileOp { Read, Write, Move };
using FileFaultHook = std::function<DWORD(FileOp op, const std::string& name)>;
void SetFileFaultHookForTest(FileFaultHook hook);

// The system's text for a Win32 error, without a trailing line end or period.
std::string SystemErrorText(DWORD error);

// True when the two names are the same text apart from ASCII letter case.
bool SameFileName(const std::string& a, const std::string& b);

// True when something (file or folder) exists under the name.
bool NameExists(const std::string& name);

// MoveFileA (no replacing of an existing target), through the test seam.
// On failure GetLastError() tells why.
bool MoveFileChecked(const std::string& from, const std::string& to);

// A file opened for sequential reading.
class InputFile {
public:
    // `allowWriters`: whether others may keep the file open for writing
    // while it is read. Reading is always shared.
    bool Open(const std::string& name, bool allowWriters);
    // The count of bytes read, 0 at the end, -1 on an error (see Error()).
    long long Read(char* buffer, std::size_t capacity);
    void Close() { file_.reset(); }
    DWORD Error() const { return error_; }

private:
    FileHandle file_;
    std::string name_;
    DWORD error_ = 0;
};

// A file created (or emptied) for writing, written through a buffer.
// A file left unclosed (after an error) is closed without its buffer.
class OutputFile {
public:
    // Creates the file, replacing any file of that name; others may read it.
    bool Create(const std::string& name);
    // Appends `text` and a carriage return with a line feed.
    bool WriteLine(std::string_view text);
    // Writes what is buffered and closes; false when either fails.
    bool Close();
    DWORD Error() const { return error_; }

private:
    bool Append(std::string_view data);
    bool Flush();

    FileHandle file_;
    std::string name_;
    std::vector<char> buffer_;
    DWORD error_ = 0;
};

}  // namespace movix
