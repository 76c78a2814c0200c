#include "platform/registry_key_path.h"

#include <cstring>

namespace movix {

std::string ResolveKeyPath(std::string_view current, std::string_view path) {
    if (!path.empty() && path[0] == '\\')
        return std::string(path.substr(1));
    if (path.empty())
        return std::string(current);
    if (current.empty())
        return std::string(path);
    std::string result(current);
    result += '\\';
    result += path;
    return result;
}

std::string_view TextUpToNul(const char* data, std::size_t size) {
    if (data == nullptr)
        return {};
    const void* nul = std::memchr(data, '\0', size);
    return std::string_view(data, nul != nullptr ? static_cast<const char*>(nul) - data : size);
}

}  // namespace movix
