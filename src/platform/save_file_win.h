// Saving a whole text file so that a failure never leaves a half-written
// file where the user's file was.
#pragma once

#include <windows.h>

#include <string>

namespace movix {

// Where a save failed: making the file (the temporary one, or putting it in
// place of the target) or writing its content.
enum class SaveStage { Create, Write };

// Writes `content` to a temporary file in the target's folder and then puts
// it in place of the target (replacing an existing file). On any failure
// the target is as it was, the temporary file is removed, and the result is
// the Win32 error; ERROR_SUCCESS when saved.
DWORD SaveFileReplacing(const std::string& path, const std::string& content, SaveStage* failedAt = nullptr);

// The same for putting back an existing file's earlier content: the file
// keeps its access rules and attributes, read-only included (which the
// plain save refuses to write over).
DWORD SaveFileKeepingItsState(const std::string& path, const std::string& content);

// The message of a failed save: "File access denied", "Disk full" or
// "I/O error %d".
std::string SaveErrorMessage(DWORD error);

}  // namespace movix
