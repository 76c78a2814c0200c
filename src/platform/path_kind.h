// What a name refers to on disk, for the address check.
#pragma once

#include <string>

namespace movix {

// What a name refers to on disk.
enum class PathKind { Nothing, File, Folder };

// An existing folder when the name has file attributes with the folder
// attribute among them; otherwise an existing file when a directory search
// for the name finds an entry; otherwise nothing. A name that cannot be read
// counts as nothing.
PathKind ProbePathKind(const std::string& name);

}  // namespace movix
