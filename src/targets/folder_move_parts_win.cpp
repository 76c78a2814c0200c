#include "targets/folder_move_parts_win.h"

#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/handles.h"
#include "targets/folder_tree_win.h"

namespace movix {
namespace move_parts {

namespace {

// The layout of a mount point's (directory junction's) reparse data.
struct MountPointReparseBuffer {
    DWORD ReparseTag;
    WORD ReparseDataLength;
    WORD Reserved;
    WORD SubstituteNameOffset;
    WORD SubstituteNameLength;
    WORD PrintNameOffset;
    WORD PrintNameLength;
    WCHAR PathBuffer[1];
};

// The access rules a copy gets, as a copy made by the system gets them: the
// entries its source was given itself (its explicit ones), then those its
// new parent hands down, which the copy took when it was made here. The
// entries the source took from its own parent stay behind: a program moved
// into a protected folder does not bring in what its old parent let
// everyone do. A source shielded from inheritance keeps its rules as they
// are. Built from the two handles and set as it is, without asking the
// system to read the parent's rules again for every file.
std::vector<BYTE> CopyRules(PACL source, bool shielded, HANDLE to) {
    std::vector<const ACE_HEADER*> aces;
    PSECURITY_DESCRIPTOR made = nullptr;
    PACL inherited = nullptr;
    if (!shielded && GetSecurityInfo(to, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &inherited,
                                     nullptr, &made) != ERROR_SUCCESS)
        inherited = nullptr, made = nullptr;
    std::unique_ptr<void, decltype(&LocalFree)> owned(made, &LocalFree);
    DWORD size = sizeof(ACL);
    const auto take = [&](PACL acl, bool wantInherited) {
        for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(acl, i, &ace))
                continue;
            const auto* header = static_cast<const ACE_HEADER*>(ace);
            if (((header->AceFlags & INHERITED_ACE) != 0) == wantInherited || shielded) {
                aces.push_back(header);
                size += header->AceSize;
            }
        }
    };
    take(source, false);
    if (!shielded)
        take(inherited, true);
    std::vector<BYTE> acl(size);
    if (!InitializeAcl(reinterpret_cast<PACL>(acl.data()), size, ACL_REVISION_DS))
        return {};
    for (const ACE_HEADER* ace : aces)
        if (!AddAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION_DS, MAXDWORD, const_cast<ACE_HEADER*>(ace),
                    ace->AceSize))
            return {};
    return acl;
}

// The entries of an access list by who they are for and what they allow,
// with `flag` set (INHERITED_ACE: taken from a parent; CONTAINER_INHERIT_ACE:
// handed down to folders).
std::vector<std::string> EntriesWith(PACL acl, BYTE flag) {
    std::vector<std::string> entries;
    for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace) || (static_cast<ACE_HEADER*>(ace)->AceFlags & flag) == 0)
            continue;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
            continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        LPWSTR text = nullptr;
        if (!ConvertSidToStringSidW(sid, &text))
            continue;
        // The creator's entries become the owner's when taken; generic
        // rights are compared as the file rights they stand for.
        const std::wstring who = text;
        LocalFree(text);
        if (who == L"S-1-3-0" || who == L"S-1-3-1")
            continue;
        DWORD mask = allowed->Mask;
        GENERIC_MAPPING files = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
        MapGenericMask(&mask, &files);
        entries.push_back(std::to_string(header->AceType) + ":" + std::to_string(mask) + ":" + Narrow(who));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace

std::wstring FullName(const std::string& name) {
    const std::wstring wide = Utf8ToWide(name);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return wide;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
    full.resize(n);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    return full;
}

// True when `path` is `folder` or lies below it, letter case aside.
bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder) {
    if (path.size() < folder.size())
        return false;
    if (CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                             static_cast<int>(folder.size()), TRUE) != CSTR_EQUAL)
        return false;
    return path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\';
}

std::wstring ParentOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return std::wstring();
    return path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
}

DWORD AttributesOf(const std::wstring& path) {
    return GetFileAttributesW(LongName(path).c_str());
}

// The reparse data of a link, or nothing where the system cannot give it.
std::vector<BYTE> ReparseData(const std::wstring& path, DWORD& error) {
    FileHandle link(CreateFileW(LongName(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
    std::vector<BYTE> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD got = 0;
    if (!link ||
        !DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(), static_cast<DWORD>(data.size()),
                         &got, nullptr) ||
        got < 8) {
        error = link ? GetLastError() : GetLastError();
        return {};
    }
    data.resize(got);
    return data;
}

// Whether the folder `renamed` holds, as taken from a parent, what `parent`
// hands down to folders; true where either cannot be read.
bool HandsDownWhatItHas(const std::wstring& parent, const std::wstring& renamed) {
    PACL handed = nullptr, taken = nullptr;
    PSECURITY_DESCRIPTOR a = nullptr, b = nullptr;
    if (GetNamedSecurityInfoW(LongName(parent).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &handed, nullptr, &a) != ERROR_SUCCESS)
        return true;
    std::unique_ptr<void, decltype(&LocalFree)> ownedA(a, &LocalFree);
    if (GetNamedSecurityInfoW(LongName(renamed).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &taken, nullptr, &b) != ERROR_SUCCESS)
        return true;
    std::unique_ptr<void, decltype(&LocalFree)> ownedB(b, &LocalFree);
    return EntriesWith(handed, CONTAINER_INHERIT_ACE) == EntriesWith(taken, INHERITED_ACE);
}

// Gives `to` the access rules a copy of `from` takes (CopyRules), and the
// owner of `from` where the system lets this user set it: `ownerToo` says
// whether to try, and is cleared once the system has refused (it refuses
// every file alike).
bool CopySecurity(HANDLE from, HANDLE to, DWORD& error, bool& ownerToo) {
    PACL dacl = nullptr;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    error = GetSecurityInfo(from, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION, &owner,
                            nullptr, &dacl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;  // a volume without security
    std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    const bool shielded = (control & SE_DACL_PROTECTED) != 0;
    SECURITY_DESCRIPTOR rules;
    std::vector<BYTE> acl;
    if (dacl != nullptr) {
        acl = CopyRules(dacl, shielded, to);
        if (acl.empty()) {
            error = ERROR_INVALID_ACL;
            return false;
        }
    }
    InitializeSecurityDescriptor(&rules, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&rules, TRUE, dacl != nullptr ? reinterpret_cast<PACL>(acl.data()) : nullptr, FALSE);
    SetSecurityDescriptorControl(&rules, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED,
                                 (shielded ? SE_DACL_PROTECTED : 0) | (control & SE_DACL_AUTO_INHERITED));
    if (ownerToo && owner != nullptr) {
        SetSecurityDescriptorOwner(&rules, owner, FALSE);
        if (SetKernelObjectSecurity(to, DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION, &rules))
            return true;
        ownerToo = false;
    }
    if (SetKernelObjectSecurity(to, DACL_SECURITY_INFORMATION, &rules))
        return true;
    error = GetLastError();
    return false;
}

// Attributes and times of `from` onto `to` (a link's own reparse attribute
// is the system's to set).
bool CopyBasicInfo(HANDLE from, HANDLE to, DWORD& error) {
    FILE_BASIC_INFO basic = {};
    if (!GetFileInformationByHandleEx(from, FileBasicInfo, &basic, sizeof basic)) {
        error = GetLastError();
        return false;
    }
    basic.ChangeTime.QuadPart = 0;
    // The reparse point and what a content filter keeps of its own
    // (offline, recall, pinning) are not the copy's: it holds the content.
    // (recall on open 0x40000, pinned 0x80000, unpinned 0x100000, recall on
    // data access 0x400000: named in newer headers only).
    constexpr DWORD kFilterOwn =
        FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_OFFLINE | 0x40000 | 0x80000 | 0x100000 | 0x400000;
    basic.FileAttributes &= ~kFilterOwn;
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(to, FileBasicInfo, &basic, sizeof basic)) {
        error = GetLastError();
        return false;
    }
    return true;
}

bool MakeJunctionW(const std::wstring& at, const std::wstring& to, std::wstring& why) {
    if (!CreateDirectoryW(LongName(at).c_str(), nullptr)) {
        why = L"No junction was left at " + at + L": " + Utf8ToWide(SystemErrorText(GetLastError()));
        return false;
    }
    const std::wstring substitute = L"\\??\\" + to + L"\\", print = to;
    std::vector<BYTE> data(offsetof(MountPointReparseBuffer, PathBuffer) +
                           (substitute.size() + print.size() + 2) * sizeof(WCHAR));
    auto* reparse = reinterpret_cast<MountPointReparseBuffer*>(data.data());
    reparse->ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
    reparse->ReparseDataLength = static_cast<WORD>(data.size() - 8);
    reparse->SubstituteNameOffset = 0;
    reparse->SubstituteNameLength = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
    reparse->PrintNameOffset = static_cast<WORD>((substitute.size() + 1) * sizeof(WCHAR));
    reparse->PrintNameLength = static_cast<WORD>(print.size() * sizeof(WCHAR));
    std::memcpy(reparse->PathBuffer, substitute.c_str(), (substitute.size() + 1) * sizeof(WCHAR));
    std::memcpy(reparse->PathBuffer + substitute.size() + 1, print.c_str(), (print.size() + 1) * sizeof(WCHAR));
    FileHandle junction(CreateFileW(LongName(at).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD got = 0;
    if (!junction || !DeviceIoControl(junction.get(), FSCTL_SET_REPARSE_POINT, data.data(),
                                      static_cast<DWORD>(data.size()), nullptr, 0, &got, nullptr)) {
        const DWORD error = GetLastError();
        junction.reset();
        RemoveDirectoryW(LongName(at).c_str());
        why = L"No junction was left at " + at + L": " + Utf8ToWide(SystemErrorText(error));
        return false;
    }
    return true;
}

}  // namespace move_parts
}  // namespace movix
