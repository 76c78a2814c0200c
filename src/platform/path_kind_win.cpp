#include "platform/path_kind.h"

#include <windows.h>

#include "platform/wide_text_win.h"
#include "platform/handles.h"

namespace movix {

PathKind ProbePathKind(const std::string& name) {
    if (name.empty())
        return PathKind::Nothing;
    const DWORD attrs = ::GetFileAttributesW(WideFileName(name).c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
        return PathKind::Folder;
    // Wildcards would make the directory search find something else.
    if (name.find_first_of("*?") != std::string::npos)
        return PathKind::Nothing;
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW(WideFileName(name).c_str(), &data));
    if (find && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return PathKind::File;
    return PathKind::Nothing;
}

}  // namespace movix
