#include "platform/save_file_win.h"

#include <algorithm>

#include "platform/file_io_win.h"
#include "platform/wide_text_win.h"
#include "platform/handles.h"
#include "platform/path_names.h"

namespace movix {

namespace {

constexpr DWORD kSettable = kSettableAttributes;

BOOL SetAttributes(const std::wstring& name, DWORD attributes) {
    attributes &= kSettable;
    return SetFileAttributesW(name.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

DWORD SaveFile(const std::string& path, const std::string& content, SaveStage* failedAt, bool keepState) {
    if (failedAt)
        *failedAt = SaveStage::Create;
    const std::wstring target = WideFileName(path);
    const DWORD attrs = GetFileAttributesW(target.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_ACCESS_DENIED;
    // A read-only file is not written over (Windows refuses the replacing
    // move too; not every implementation does), unless it is to keep its
    // state, read-only included.
    const bool existing = attrs != INVALID_FILE_ATTRIBUTES;
    if (existing && (attrs & FILE_ATTRIBUTE_READONLY) && !keepState)
        return ERROR_ACCESS_DENIED;
    // GetTempFileName writes at most MAX_PATH characters: a folder whose name
    // leaves no room for the temporary name fails here, before any write.
    wchar_t temp[MAX_PATH + 16] = {};
    const std::wstring folder = Utf8ToWide(FolderOf(path));
    if (folder.size() >= MAX_PATH - 14)
        return ERROR_FILENAME_EXCED_RANGE;
    if (!GetTempFileNameW(folder.c_str(), L"mvx", 0, temp))
        return GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND;
    DWORD error = ERROR_SUCCESS;
    {
        FileHandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            error = GetLastError();
            DeleteFileW(temp);
            return error;
        }
        if (failedAt)
            *failedAt = SaveStage::Write;
        size_t done = 0;
        while (done < content.size() && error == ERROR_SUCCESS) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1 << 20));
            DWORD written = 0;
            if (!WriteFile(file.get(), content.data() + done, chunk, &written, nullptr) || written != chunk)
                error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
            done += written;
        }
        if (error == ERROR_SUCCESS && !FlushFileBuffers(file.get()))
            error = GetLastError();
        HANDLE raw = file.release();
        if (!CloseHandle(raw) && error == ERROR_SUCCESS)
            error = GetLastError();
    }
    if (error == ERROR_SUCCESS && keepState && existing) {
        // The new content takes the place of the old with the file's access
        // rules and attributes.
        if (!CopyFileSecurity(path, WideToUtf8(temp), error))
            error = error ? error : ERROR_ACCESS_DENIED;
        else if (!SetAttributes(temp, attrs & ~FILE_ATTRIBUTE_READONLY))
            error = GetLastError();
        else if ((attrs & FILE_ATTRIBUTE_READONLY) && !SetAttributes(target, attrs & ~FILE_ATTRIBUTE_READONLY))
            error = GetLastError();
    }
    if (error == ERROR_SUCCESS) {
        if (failedAt)
            *failedAt = SaveStage::Create;
        if (!MoveFileExW(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            error = GetLastError();
    }
    if (error != ERROR_SUCCESS)
        DeleteFileW(temp);
    // Read-only again, whether the content was put in place or not.
    if (keepState && existing && (attrs & FILE_ATTRIBUTE_READONLY))
        SetAttributes(target, attrs);
    return error;
}

}  // namespace

DWORD SaveFileReplacing(const std::string& path, const std::string& content, SaveStage* failedAt) {
    return SaveFile(path, content, failedAt, false);
}

DWORD SaveFileKeepingItsState(const std::string& path, const std::string& content) {
    return SaveFile(path, content, nullptr, true);
}

std::string SaveErrorMessage(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "File access denied";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "Disk full";
        default:
            return "I/O error " + std::to_string(error);
    }
}

}  // namespace movix
