#include "group_store_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/handles.h"

namespace movix {

namespace {

// Larger files are not group files of ours.
constexpr DWORD kMaxGroupFileSize = 8 * 1024 * 1024;

bool ReadWholeFile(const std::string& name, std::string& text) {
    FileHandle file(::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxGroupFileSize)
        return false;
    text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!text.empty() &&
        (!::ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &got, nullptr) || got != text.size()))
        return false;
    return true;
}

bool WriteWholeFile(const std::string& name, const std::string& text) {
    FileHandle file(
        ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        return false;
    return ::FlushFileBuffers(file.get()) != 0;
}

// The number of a name "group<digits>.txt", 0 for any other name.
unsigned GroupFileNumber(const std::string& name) {
    const std::size_t n = name.size();
    if (n < 10 || _strnicmp(name.c_str(), "group", 5) != 0 || _stricmp(name.c_str() + n - 4, ".txt") != 0)
        return 0;
    unsigned value = 0;
    for (std::size_t i = 5; i < n - 4; ++i) {
        const char c = name[i];
        if (c < '0' || c > '9' || value > 100000000u)
            return 0;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

}  // namespace

GroupStore::GroupStore(std::string folder) : folder_(std::move(folder)) {
    while (folder_.size() > 3 && (folder_.back() == '\\' || folder_.back() == '/'))
        folder_.pop_back();
}

bool GroupStore::Load(ProgManGroupSet& groups) {
    if (!::CreateDirectoryA(folder_.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    std::vector<std::pair<unsigned, std::string>> files;
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA((folder_ + "\\group*.txt").c_str(), &data));
    if (find) {
        do {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const unsigned number = GroupFileNumber(data.cFileName);
            if (number != 0)
                files.emplace_back(number, data.cFileName);
        } while (::FindNextFileA(find.get(), &data));
    }
    std::sort(files.begin(), files.end());
    for (const auto& [number, name] : files) {
        nextNumber_ = std::max(nextNumber_, number + 1);
        std::string text;
        if (!ReadWholeFile(folder_ + "\\" + name, text))
            continue;
        std::optional<ProgManGroup> group = ParseGroupFile(text);
        if (!group)
            continue;
        group->FileName = name;
        groups.Load(std::move(*group));
    }
    return true;
}

std::string GroupStore::NewFileName() {
    for (;;) {
        char name[32];
        std::snprintf(name, sizeof name, "group%04u.txt", nextNumber_++);
        if (::GetFileAttributesA((folder_ + "\\" + name).c_str()) == INVALID_FILE_ATTRIBUTES)
            return name;
    }
}

bool GroupStore::WriteGroup(ProgManGroup& group) {
    if (group.FileName.empty())
        group.FileName = NewFileName();
    const std::string target = folder_ + "\\" + group.FileName;
    const std::string temp = target + ".tmp";
    if (!WriteWholeFile(temp, FormatGroupFile(group))) {
        ::DeleteFileA(temp.c_str());
        return false;
    }
    if (!::MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileA(temp.c_str());
        return false;
    }
    group.Dirty = false;
    return true;
}

bool GroupStore::Save(ProgManGroupSet& groups) {
    bool ok = true;
    std::vector<std::string> left;
    for (const std::string& name : groups.RemovedFiles()) {
        const std::string full = folder_ + "\\" + name;
        if (!::DeleteFileA(full.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
            left.push_back(name);
            ok = false;
        }
    }
    groups.RemovedFiles() = std::move(left);
    for (ProgManGroup& g : groups.Groups())
        if (g.Dirty && !WriteGroup(g))
            ok = false;
    return ok;
}

}  // namespace movix
