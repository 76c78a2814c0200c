#include "platform/path_names.h"

namespace movix {

std::string FolderOf(const std::string& path) {
    const std::string::size_type slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    if (slash == 2 && path.size() > 1 && path[1] == ':')
        return path.substr(0, 3);
    return path.substr(0, slash);
}

std::string InFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/')
        return folder + name;
    return folder + "\\" + name;
}

}  // namespace movix
