// The look at a folder before it is moved, and what tells a moved folder
// later: its tree's digest.
#include "targets/folder_move_win.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>

#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/wide_text_win.h"
#include "targets/folder_move_parts_win.h"
#include "targets/folder_tree_win.h"

namespace movix {

using namespace move_parts;

namespace {

constexpr std::uint64_t kSlackPerFile = 4096;  // a cluster that a file's tail may take

// A volume's identity: its GUID name where the system has one, else the
// serial number of the folder's volume.
std::wstring VolumeOf(const std::wstring& existing) {
    wchar_t mount[MAX_PATH + 1] = {}, guid[MAX_PATH + 1] = {};
    if (GetVolumePathNameW(existing.c_str(), mount, MAX_PATH) &&
        GetVolumeNameForVolumeMountPointW(mount, guid, MAX_PATH))
        return guid;
    FileHandle folder(CreateFileW(LongName(existing).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (folder && GetFileInformationByHandle(folder.get(), &info))
        return L"serial:" + std::to_wstring(info.dwVolumeSerialNumber);
    return L"?" + existing;
}

std::wstring NearestExisting(std::wstring path) {
    while (!path.empty() && AttributesOf(path) == INVALID_FILE_ATTRIBUTES)
        path = ParentOf(path);
    return path;
}

// What stands at New, said for the user: empty when it is nothing or an
// empty folder.
std::string WhatStandsAt(const std::wstring& path, DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::string();
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return "it is a link";
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return "it is a file";
    std::vector<TreeEntry> entries;
    std::wstring failedAt;
    DWORD error = 0;
    if (!ListTree(path, entries, failedAt, error))
        return "it cannot be read";
    if (entries.empty())
        return std::string();
    return std::to_string(entries.size()) + " file(s) and folder(s), for example " + Narrow(path + entries[0].relative);
}

std::string ProgramsText(const std::vector<TRunningProgram>& programs) {
    std::string text;
    for (const TRunningProgram& p : programs)
        text += (text.empty() ? "" : ", ") + p.name + " (process " + std::to_string(p.processId) + ")";
    return text;
}

}  // namespace

std::vector<TRunningProgram> ProgramsRunningFrom(const std::string& folderName) {
    std::vector<TRunningProgram> running;
    const std::wstring folder = FullName(folderName);
    FileHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W process = {};
    process.dwSize = sizeof process;
    if (!processes || !Process32FirstW(processes.get(), &process))
        return running;
    const DWORD self = GetCurrentProcessId();
    do {
        if (process.th32ProcessID == self || process.th32ProcessID == 0)
            continue;
        bool inside = false;
        ObjectHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.th32ProcessID));
        wchar_t image[32768];
        DWORD size = 32768;
        if (handle && QueryFullProcessImageNameW(handle.get(), 0, image, &size))
            inside = IsAtOrBelow(image, folder);
        if (!inside) {
            FileHandle modules(
                CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, process.th32ProcessID));
            MODULEENTRY32W module = {};
            module.dwSize = sizeof module;
            if (modules && Module32FirstW(modules.get(), &module)) {
                do
                    inside = IsAtOrBelow(module.szExePath, folder);
                while (!inside && Module32NextW(modules.get(), &module));
            }
        }
        if (inside)
            running.push_back({Narrow(process.szExeFile), process.th32ProcessID});
    } while (Process32NextW(processes.get(), &process));
    return running;
}

TMoveCheck CheckFolderMove(const std::string& oldFolder, const std::string& newFolder, const TMoveOptions& options) {
    TMoveCheck check;
    const std::wstring old = FullName(oldFolder), to = FullName(newFolder);
    check.oldFolder = Narrow(old);
    check.newFolder = Narrow(to);
    const DWORD oldAttributes = AttributesOf(old);
    const DWORD newAttributes = AttributesOf(to);
    if (oldAttributes == INVALID_FILE_ATTRIBUTES || !(oldAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        check.problem = "The Old address " + check.oldFolder + " is not a folder that exists.";
        return check;
    }
    if (oldAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        check.problem = "The Old address " + check.oldFolder + " is a link to a folder, not the folder itself.";
        return check;
    }
    if (old.size() <= 3 || ParentOf(old).empty()) {
        check.problem = "The Old address " + check.oldFolder + " is a whole drive; a drive cannot be moved.";
        return check;
    }
    if (IsAtOrBelow(to, old) || IsAtOrBelow(old, to)) {
        check.problem = "The New address " + check.newFolder + " and the Old address " + check.oldFolder +
                        " lie one inside the other.";
        return check;
    }
    const std::string atNew = WhatStandsAt(to, newAttributes);
    if (!atNew.empty()) {
        check.newTaken = true;
        check.problem = "The New address " + check.newFolder + " already holds something (" + atNew +
                        "); the folder is moved only to a place that does not exist yet or is an empty folder.";
        return check;
    }
    const std::wstring newVolumeFolder = NearestExisting(to);
    check.sameVolume = VolumeOf(old) == VolumeOf(newVolumeFolder);

    std::vector<TreeEntry> entries;
    std::wstring failedAt;
    DWORD error = 0;
    if (!ListTree(old, entries, failedAt, error)) {
        check.problem = "The folder " + Narrow(failedAt) + " could not be read: " + SystemErrorText(error) + ".";
        return check;
    }
    std::vector<std::string> linksNotReadable, encrypted;
    for (const TreeEntry& entry : entries) {
        // A copy to another drive through the file's content would not be
        // encrypted any more.
        if (!check.sameVolume && (entry.attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0 && !entry.IsLink())
            encrypted.push_back(Narrow(old + entry.relative));
        if (entry.IsLink()) {
            ++check.links;
            if (!check.sameVolume && ReparseData(old + entry.relative, error).empty())
                linksNotReadable.push_back(Narrow(old + entry.relative));
        } else if (entry.IsFolder()) {
            ++check.folders;
        } else {
            ++check.files;
            check.bytes += entry.size;
        }
    }
    // Every file must open for reading; tried side by side, named in the
    // listing's order.
    std::vector<DWORD> openErrors(entries.size(), ERROR_SUCCESS);
    ForEachOnThreads(entries.size(), kTreeThreads, kTreeEntriesPerThread, [&](std::size_t i) {
        if (entries[i].IsFolder() || entries[i].IsLink())
            return;
        try {
            FileHandle file(CreateFileW(LongName(old + entries[i].relative).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING,
                                        entries[i].HasContentFilter() ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!file)
                openErrors[i] = GetLastError();
        } catch (const std::exception&) {
            openErrors[i] = ERROR_NOT_ENOUGH_MEMORY;
        }
    });
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (openErrors[i] != ERROR_SUCCESS)
            check.unreadable.push_back(Narrow(old + entries[i].relative) + " (" + SystemErrorText(openErrors[i]) + ")");
    check.running = ProgramsRunningFrom(check.oldFolder);
    if (!check.sameVolume) {
        ULARGE_INTEGER available = {};
        if (options.freeSpaceForTest)
            check.freeBytes = options.freeSpaceForTest(newVolumeFolder);
        else if (GetDiskFreeSpaceExW(newVolumeFolder.c_str(), &available, nullptr, nullptr))
            check.freeBytes = available.QuadPart;
    }

    if (!check.running.empty())
        check.problem = "Programs are running from " + check.oldFolder + ": " + ProgramsText(check.running) +
                        ". Close them, then try again.";
    else if (!check.unreadable.empty())
        check.problem = std::to_string(check.unreadable.size()) + " file(s) in " + check.oldFolder +
                        " cannot be opened for reading, for example " + check.unreadable.front() + ".";
    else if (!encrypted.empty())
        check.problem = std::to_string(encrypted.size()) + " file(s) or folder(s) in " + check.oldFolder +
                        " are encrypted, for example " + encrypted.front() +
                        "; a copy to another drive would not be encrypted, so the folder is not moved.";
    else if (!linksNotReadable.empty())
        check.problem = "The link " + linksNotReadable.front() +
                        " cannot be copied as a link to another drive, and a link is never followed.";
    else if (!check.sameVolume && check.freeBytes < check.bytes + check.files * kSlackPerFile)
        check.problem = "The drive of " + check.newFolder + " has " + ByteCountText(check.freeBytes) +
                        " free; the folder needs " + ByteCountText(check.bytes + check.files * kSlackPerFile) + ".";
    return check;
}

std::string FolderTreeDigest(const std::string& folder) {
    std::vector<TreeEntry> entries;
    std::wstring failedAt;
    DWORD error = 0;
    const std::wstring root = FullName(folder);
    const DWORD attributes = AttributesOf(root);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !ListTree(root, entries, failedAt, error))
        return std::string();
    // In name order, so that the order the system lists them in does not
    // count; a folder's own time changes with what it holds and is left out.
    std::sort(entries.begin(), entries.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.relative < b.relative; });
    TContentHash hash;
    for (const TreeEntry& entry : entries) {
        const std::string name = Narrow(entry.relative);
        const std::uint64_t fields[] = {
            name.size(), entry.attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), entry.size,
            entry.IsFolder() && !entry.IsLink()
                ? 0
                : (static_cast<std::uint64_t>(entry.lastWrite.dwHighDateTime) << 32) | entry.lastWrite.dwLowDateTime};
        hash.Add(fields, sizeof fields);
        hash.Add(name.data(), name.size());
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash.Value()));
    return text;
}

bool MakeJunction(const std::string& at, const std::string& to, std::string& why) {
    std::wstring wideWhy;
    if (MakeJunctionW(FullName(at), FullName(to), wideWhy))
        return true;
    why = Narrow(wideWhy);
    return false;
}

}  // namespace movix
