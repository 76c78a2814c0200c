#include "platform/open_below_win.h"

#include <winternl.h>

namespace movix {

namespace {

// The native call that opens a name relative to a folder's handle; looked
// up once, so that no import library beyond the system's is needed.
using NtCreateFileFn = LONG(NTAPI*)(PHANDLE,
                                    ACCESS_MASK,
                                    POBJECT_ATTRIBUTES,
                                    PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER,
                                    ULONG,
                                    ULONG,
                                    ULONG,
                                    ULONG,
                                    PVOID,
                                    ULONG);
using StatusToErrorFn = ULONG(NTAPI*)(LONG);

struct Native {
    NtCreateFileFn create = nullptr;
    StatusToErrorFn toError = nullptr;
    Native() {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        if (ntdll == nullptr)
            return;
        create = reinterpret_cast<NtCreateFileFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtCreateFile")));
        toError = reinterpret_cast<StatusToErrorFn>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }
};

const Native& NativeCalls() {
    static const Native native;
    return native;
}

// The native dispositions and options used here.
constexpr ULONG kSupersede = 0, kOpen = 1, kCreate = 2;
constexpr ULONG kDirectoryFile = 0x1, kSequentialOnly = 0x4, kSynchronousIo = 0x20, kNonDirectoryFile = 0x40,
                kOpenReparsePoint = 0x200000, kOpenForBackup = 0x4000;

}  // namespace

FileHandle OpenBelow(HANDLE folder,
                     const std::wstring& name,
                     DWORD access,
                     DWORD share,
                     TBelow how,
                     bool isFolder,
                     DWORD& error,
                     bool either,
                     bool content) {
    const Native& native = NativeCalls();
    if (native.create == nullptr) {
        error = ERROR_CALL_NOT_IMPLEMENTED;
        return FileHandle();
    }
    // One name, nothing that would reach another folder.
    if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/") != std::wstring::npos ||
        name.size() > 32767) {
        error = ERROR_INVALID_NAME;
        return FileHandle();
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    ULONG options = kSynchronousIo | kOpenForBackup | (content ? 0 : kOpenReparsePoint);
    if (!either)
        options |= isFolder ? kDirectoryFile : (kNonDirectoryFile | kSequentialOnly);
    const ULONG disposition = how == TBelow::Open ? kOpen : how == TBelow::Create ? kCreate : kSupersede;
    const LONG status = native.create(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                      isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL, share, disposition,
                                      options, nullptr, 0);
    if (status < 0) {
        error = native.toError != nullptr ? native.toError(status) : ERROR_GEN_FAILURE;
        return FileHandle();
    }
    error = ERROR_SUCCESS;
    return FileHandle(handle);
}

std::uint64_t FileIdOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file, &info))
        return 0;
    return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

bool IsLinkHandle(HANDLE file) {
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    return ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

bool ListFolder(HANDLE folder, std::vector<TFolderItem>& entries, DWORD& error) {
    entries.clear();
    std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                            static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
            error = ::GetLastError();
            if (error == ERROR_NO_MORE_FILES)
                break;
            return false;
        }
        kind = FileIdBothDirectoryInfo;
        const char* at = reinterpret_cast<const char*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            TFolderItem entry;
            entry.name.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (entry.name != L"." && entry.name != L"..") {
                entry.attributes = info->FileAttributes;
                entry.size = static_cast<std::uint64_t>(info->EndOfFile.QuadPart);
                entry.lastWrite.dwLowDateTime = static_cast<DWORD>(info->LastWriteTime.QuadPart);
                entry.lastWrite.dwHighDateTime = static_cast<DWORD>(info->LastWriteTime.QuadPart >> 32);
                entry.id = static_cast<std::uint64_t>(info->FileId.QuadPart);
                for (const LARGE_INTEGER& time : {info->CreationTime, info->LastWriteTime, info->ChangeTime})
                    if (static_cast<std::uint64_t>(time.QuadPart) > entry.touched)
                        entry.touched = static_cast<std::uint64_t>(time.QuadPart);
                // A reparse point's tag stands where its extended attributes' size would.
                if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                    entry.tag = info->EaSize;
                entries.push_back(std::move(entry));
            }
            if (info->NextEntryOffset == 0)
                break;
            at += info->NextEntryOffset;
        }
    }
    error = ERROR_SUCCESS;
    return true;
}

bool DeleteByHandle(HANDLE file, DWORD& error, bool mayBeReadOnly) {
    FILE_DISPOSITION_INFO dispose = {TRUE};
    if (!mayBeReadOnly && ::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose))
        return true;
    FILE_BASIC_INFO basic = {};
    if (::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
        basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
        ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
    }
    if (!::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose)) {
        error = ::GetLastError();
        return false;
    }
    return true;
}

}  // namespace movix
