#include "platform/save_file_win.h"

#include <aclapi.h>

#include <algorithm>
#include <cstdint>

#include "platform/hex_text.h"
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

// A name in `folder` that no one can foresee, for the file being saved.
std::string TempNameIn(const std::string& folder) {
    std::string hex;
    AppendHex(hex, RandomTag(), 8, true, true);
    return folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + "mvx" + hex + ".tmp";
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
    // The content goes to a new file under a name no one can foresee, which
    // is from then on reached by its handle alone, up to and through its move
    // into place: nothing put under its name meanwhile (a link to some other
    // file) is ever written, given rules or moved.
    const std::string folder = FolderOf(path);
    FileHandle file;
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < 16 && !file && IsNameTaken(error); ++attempt) {
        file.reset(CreateFileW(WideFileName(TempNameIn(folder)).c_str(),
                               GENERIC_WRITE | DELETE | WRITE_DAC | FILE_WRITE_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        error = file ? ERROR_SUCCESS : GetLastError();
    }
    if (!file)
        return error;
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
    if (error == ERROR_SUCCESS && keepState && existing) {
        // The new content takes the place of the old with the file's access
        // rules and attributes.
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (GetNamedSecurityInfoW(target.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &sd) == ERROR_SUCCESS) {
            error =
                SetSecurityInfo(file.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
            LocalFree(sd);
        }
        FILE_BASIC_INFO basic{};  // zero times: left as they are
        const DWORD wanted = attrs & kSettable & ~FILE_ATTRIBUTE_READONLY;
        basic.FileAttributes = wanted ? wanted : FILE_ATTRIBUTE_NORMAL;
        if (error == ERROR_SUCCESS && !SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic))
            error = GetLastError();
        else if (error == ERROR_SUCCESS && (attrs & FILE_ATTRIBUTE_READONLY) &&
                 !SetAttributes(target, attrs & ~FILE_ATTRIBUTE_READONLY))
            error = GetLastError();
    }
    if (error == ERROR_SUCCESS) {
        if (failedAt)
            *failedAt = SaveStage::Create;
        if (!RenameOpenFile(file.get(), path, true))
            error = GetLastError();
    }
    // Read-only again, whether the content was put in place (the file
    // under the handle) or not (the file as it was).
    const bool readOnlyAgain = keepState && existing && (attrs & FILE_ATTRIBUTE_READONLY);
    if (error != ERROR_SUCCESS) {
        FILE_DISPOSITION_INFO gone{TRUE};
        SetFileInformationByHandle(file.get(), FileDispositionInfo, &gone, sizeof gone);
        if (readOnlyAgain)
            SetAttributes(target, attrs);
    } else if (readOnlyAgain) {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = attrs & kSettable;
        SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
    }
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
