// Names of files and folders taken apart as text, without asking the system.
#pragma once

#include <string>

namespace movix {

// The folder part of a path: up to its last '\' or '/', the root of a drive
// kept whole ("C:\" for "C:\X.EXE"); "." for a bare name.
std::string FolderOf(const std::string& path);

// `name` in `folder`, with one backslash between them.
std::string InFolder(const std::string& folder, const std::string& name);

}  // namespace movix
