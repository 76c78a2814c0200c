#include "targets/folder_tree_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/open_below_win.h"
#include "platform/wide_text_win.h"
#include "platform/handles.h"

namespace movix {

std::wstring LongName(const std::wstring& full) {
    if (full.size() < MAX_PATH - 12 || full.compare(0, 4, L"\\\\?\\") == 0)
        return full;
    if (full.size() > 2 && full[0] == L'\\' && full[1] == L'\\')
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

FileHandle OpenTreeRoot(const std::wstring& root, DWORD access, DWORD share, DWORD& error) {
    FileHandle handle(CreateFileW(LongName(root).c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle)
        error = GetLastError();
    else if (IsLinkHandle(handle.get()))
        error = kNotTheListedFolder, handle.reset();
    return handle;
}

bool ListTree(const std::wstring& root,
              std::vector<TreeEntry>& entries,
              std::wstring& failedAt,
              DWORD& error,
              HeldTree* held,
              DWORD access) {
    entries.clear();
    HeldTree local;
    HeldTree& tree = held != nullptr ? *held : local;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (held != nullptr ? 0 : FILE_SHARE_DELETE);
    tree.folders.clear();
    tree.root = OpenTreeRoot(root, access, share, error);
    if (!tree.root) {
        failedAt = root;
        return false;
    }
    tree.rootId = FileIdOf(tree.root.get());
    std::vector<std::size_t> stack = {kTreeRoot};
    std::vector<TFolderItem> listed;
    while (!stack.empty()) {
        const std::size_t at = stack.back();
        stack.pop_back();
        const HANDLE folder = tree.Folder(at);
        const std::wstring prefix = at == kTreeRoot ? std::wstring() : entries[at].relative;
        if (!ListFolder(folder, listed, error)) {
            failedAt = root + prefix;
            return false;
        }
        std::vector<std::size_t> below;
        for (TFolderItem& e : listed) {
            TreeEntry entry;
            entry.relative = prefix + L"\\" + e.name;
            entry.name = std::move(e.name);
            entry.parent = at;
            entry.attributes = e.attributes;
            entry.size = e.size;
            entry.lastWrite = e.lastWrite;
            entry.id = e.id;
            entry.tag = e.tag;
            entry.touched = e.touched;
            entries.push_back(std::move(entry));
            tree.folders.emplace_back();
            if (entries.back().IsPlainFolder())
                below.push_back(entries.size() - 1);
        }
        // Each folder opened inside the one that listed it, and taken only
        // if it is what was listed.
        for (const std::size_t index : below) {
            FileHandle opened = OpenBelow(folder, entries[index].name, access, share, TBelow::Open, true, error);
            if (opened && (FileIdOf(opened.get()) != entries[index].id || IsLinkHandle(opened.get()))) {
                opened.reset();
                error = kNotTheListedFolder;
            }
            if (!opened) {
                failedAt = root + entries[index].relative;
                return false;
            }
            tree.folders[index] = std::move(opened);
        }
        if (held == nullptr && at != kTreeRoot)
            tree.folders[at].reset();
        // Taken from the back: reversed, so that folders are listed in the
        // order the system gave them.
        stack.insert(stack.end(), below.rbegin(), below.rend());
    }
    return true;
}

bool SameListing(const std::vector<TreeEntry>& a, const std::vector<TreeEntry>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].relative != b[i].relative || a[i].attributes != b[i].attributes || a[i].size != b[i].size ||
            a[i].id != b[i].id || CompareFileTime(&a[i].lastWrite, &b[i].lastWrite) != 0)
            return false;
    return true;
}

bool NarrowRules(HANDLE folder, DWORD& error) {
    // Full control for the administrators, the system and the owner of this
    // process's token, to the folder and everything made in it.
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        error = GetLastError();
        return false;
    }
    const ObjectHandle token(raw);
    std::vector<BYTE> user(256);
    DWORD size = 0;
    const bool gotUser =
        GetTokenInformation(token.get(), TokenUser, user.data(), static_cast<DWORD>(user.size()), &size) != FALSE;
    if (!gotUser) {
        error = GetLastError();
        return false;
    }
    LPWSTR sid = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        error = GetLastError();
        return false;
    }
    const std::wstring sddl = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FA;;;" + std::wstring(sid) + L")";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        error = GetLastError();
        return false;
    }
    std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    error = SetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, dacl, nullptr);
    return error == ERROR_SUCCESS || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

bool RemoveHeldTree(HeldTree& tree,
                    const std::vector<TreeEntry>& entries,
                    const std::wstring& root,
                    std::wstring& failedAt,
                    DWORD& error,
                    bool keepRoot) {
    std::vector<DWORD> errors(entries.size(), ERROR_SUCCESS);
    ForEachOnThreads(entries.size(), kTreeThreads, kTreeEntriesPerThread, [&](std::size_t i) {
        const TreeEntry& entry = entries[i];
        if (entry.IsPlainFolder())
            return;
        DWORD failure = ERROR_SUCCESS;
        FileHandle item = OpenBelow(
            tree.Folder(entry.parent), entry.name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, TBelow::Open, false, failure, entry.IsLink());
        // A link is removed only where the handle is the link's own: a
        // system that opens what it leads to would remove that instead.
        if (item && (FileIdOf(item.get()) != entry.id || (entry.IsLink() && !IsLinkHandle(item.get()))))
            failure = kNotTheListedFolder;
        else if (item && !DeleteByHandle(item.get(), failure, (entry.attributes & FILE_ATTRIBUTE_READONLY) != 0))
            failure = failure == ERROR_SUCCESS ? ERROR_GEN_FAILURE : failure;
        errors[i] = item ? failure : (failure == ERROR_SUCCESS ? ERROR_GEN_FAILURE : failure);
    });
    bool whole = true;
    const auto note = [&](DWORD failure, const std::wstring& where) {
        if (whole) {
            whole = false;
            error = failure;
            failedAt = where;
        }
    };
    for (std::size_t i = entries.size(); i-- > 0;) {
        const TreeEntry& entry = entries[i];
        if (entry.IsPlainFolder() && tree.folders[i]) {
            DWORD failure = ERROR_SUCCESS;
            if (!DeleteByHandle(tree.folders[i].get(), failure, (entry.attributes & FILE_ATTRIBUTE_READONLY) != 0))
                errors[i] = failure;
            tree.folders[i].reset();
        }
        if (errors[i] != ERROR_SUCCESS)
            note(errors[i], root + entry.relative);
    }
    DWORD failure = ERROR_SUCCESS;
    if (!keepRoot && !DeleteByHandle(tree.root.get(), failure))
        note(failure, root);
    tree.root.reset();
    // Some systems take a folder's deletion without a word and keep it when
    // something is still in it: what is left is looked at.
    if (whole && !keepRoot && GetFileAttributesW(LongName(root).c_str()) != INVALID_FILE_ATTRIBUTES)
        note(ERROR_DIR_NOT_EMPTY, root);
    return whole;
}

}  // namespace movix
