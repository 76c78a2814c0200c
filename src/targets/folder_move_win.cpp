#include "targets/folder_move_win.h"

#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>
#include <winioctl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/open_below_win.h"
#include "platform/wide_text_win.h"
#include "targets/folder_tree_win.h"

namespace movix {

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

constexpr DWORD kPiece = 1 << 20;
// Files copied side by side: under Wine most of a small file's copy is
// waiting for the server, and several copies wait together.
constexpr int kCopyThreads = 4;
constexpr std::uint64_t kSlackPerFile = 4096;  // a cluster that a file's tail may take

std::string Narrow(const std::wstring& wide) { return WideToUtf8(wide); }


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

DWORD AttributesOf(const std::wstring& path) { return GetFileAttributesW(LongName(path).c_str()); }

// The reparse data of a link, or nothing where the system cannot give it.
std::vector<BYTE> ReparseData(const std::wstring& path, DWORD& error) {
    FileHandle link(CreateFileW(LongName(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    std::vector<BYTE> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD got = 0;
    if (!link || !DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                  static_cast<DWORD>(data.size()), &got, nullptr) ||
        got < 8) {
        error = link ? GetLastError() : GetLastError();
        return {};
    }
    data.resize(got);
    return data;
}

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

bool IsEmptyFolder(const std::wstring& path) {
    std::vector<TreeEntry> entries;
    std::wstring failedAt;
    DWORD error = 0;
    return ListTree(path, entries, failedAt, error) && entries.empty();
}

std::string ProgramsText(const std::vector<TRunningProgram>& programs) {
    std::string text;
    for (const TRunningProgram& p : programs)
        text += (text.empty() ? "" : ", ") + p.name + " (process " + std::to_string(p.processId) + ")";
    return text;
}

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
    constexpr DWORD kFilterOwn = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_OFFLINE | 0x40000 | 0x80000 | 0x100000 |
                                 0x400000;
    basic.FileAttributes &= ~kFilterOwn;
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(to, FileBasicInfo, &basic, sizeof basic)) {
        error = GetLastError();
        return false;
    }
    return true;
}

// Writes the copies through to the disk on threads of their own: each
// flush waits for the disk, and flushes that wait together cost little more
// than one. A copy's handle is handed over once its data is checked; Finish
// waits for every flush, and only then may the source go.
class TFlusher {
  public:
    explicit TFlusher(int threads) {
        for (int i = 0; i < threads; ++i)
            threads_.emplace_back([this] { Work(); });
    }
    ~TFlusher() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_)
            t.join();
        for (auto& item : queue_)
            CloseHandle(item.first);
    }
    TFlusher(const TFlusher&) = delete;
    TFlusher& operator=(const TFlusher&) = delete;

    // Takes the handle over; waits while many are waiting already.
    void Submit(HANDLE file, std::wstring name) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return queue_.size() < kMostWaiting; });
        queue_.emplace_back(file, std::move(name));
        ++pending_;
        wake_.notify_one();
    }
    // Waits until every handle handed over is flushed and closed; false,
    // with the first failure, when any flush failed.
    bool Finish(std::wstring& why) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return pending_ == 0; });
        if (failure_.empty())
            return true;
        why = failure_;
        return false;
    }

  private:
    static constexpr std::size_t kMostWaiting = 128;

    void Work() {
        for (;;) {
            std::pair<HANDLE, std::wstring> item;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                if (queue_.empty())
                    return;
                item = std::move(queue_.front());
                queue_.pop_front();
            }
            const bool flushed = FlushFileBuffers(item.first) != FALSE;
            const DWORD error = GetLastError();
            CloseHandle(item.first);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!flushed && failure_.empty())
                    failure_ = L"The copy " + item.second + L" could not be written to the disk: " +
                               Utf8ToWide(SystemErrorText(error));
                --pending_;
            }
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<std::pair<HANDLE, std::wstring>> queue_;
    std::size_t pending_ = 0;
    bool stop_ = false;
    std::wstring failure_;
    std::vector<std::thread> threads_;
};

class TreeMover {
  public:
    TreeMover(const TMoveCheck& check,
              const TMoveOptions& options,
              const std::atomic<bool>* cancel,
              const std::function<void(const TMoveProgress&)>& progress,
              const std::function<void(const std::string&)>& log)
        : old_(FullName(check.oldFolder)),
          new_(FullName(check.newFolder)),
          options_(options),
          cancel_(cancel),
          progressEvent_(progress),
          log_(log) {
        progress_.filesTotal = check.files;
        progress_.bytesTotal = check.bytes;
    }

    TMoveReport Rename();
    TMoveReport Copy();

  private:
    enum class Step { Done, Cancelled, Failed };

    void Log(const std::string& line) {
        if (log_)
            log_(line);
    }
    bool Cancelled() const { return cancel_ && cancel_->load(); }
    // On the calling thread only; the copying threads count under the lock.
    void Report(bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (!progressEvent_ || (!force && now - lastReport_ < std::chrono::milliseconds(options_.progressEveryMs)))
            return;
        lastReport_ = now;
        TMoveProgress progress;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            progress = progress_;
        }
        progress.seconds = std::chrono::duration<double>(now - started_).count();
        progressEvent_(progress);
    }
    // A file (or link) this move made at New, with its identity.
    void Made(std::size_t index, HANDLE file) {
        const std::uint64_t id = FileIdOf(file);
        std::lock_guard<std::mutex> lock(mutex_);
        madeFiles_.emplace_back(index, id);
    }
    // A copying thread's buffers; the calling thread, which copies too,
    // reports progress as it goes.
    struct Buffers {
        std::vector<char> data = std::vector<char>(kPiece), readBack = std::vector<char>(kPiece);
        bool reports = false;
    };

    bool MakeParents(std::wstring& why);
    bool MakeNewRoot(std::wstring& why);
    Step CopyTree(std::wstring& why);
    Step CopyFiles(const std::vector<std::size_t>& files, std::wstring& why);
    Step CopyFileChecked(std::size_t index, Buffers& buffers, std::wstring& why);
    bool CopyLate(const std::vector<TreeEntry>& left, const HeldTree& gone, std::wstring& why);
    void RemoveOld(const std::wstring& leftover, TMoveReport& report);
    Step CopyData(HANDLE in,
                  HANDLE out,
                  const std::wstring& name,
                  std::uint64_t size,
                  Buffers& buffers,
                  std::wstring& why);
    bool CopyLink(std::size_t index, std::wstring& why);
    bool FinishFolders(std::wstring& why);
    void RemoveCreated();
    bool LeaveJunction(std::wstring& why);
    void HandOver(HANDLE file, const std::wstring& name);

    std::wstring old_, new_;
    TMoveOptions options_;
    const std::atomic<bool>* cancel_;
    std::function<void(const TMoveProgress&)> progressEvent_;
    std::function<void(const std::string&)> log_;
    TMoveProgress progress_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastReport_{};
    // The tree copied, as listed; the folders of Old and of New held open
    // (and not shared for deletion) while files go from one to the other,
    // so that nothing can be put in their place.
    std::vector<TreeEntry> entries_;
    HeldTree source_, target_;
    // What this move made at New, in the order made: folders above New (by
    // name), New itself, its folders (by index), and files and links (by
    // index, with their identity).
    std::vector<std::wstring> madeParents_;
    bool madeRoot_ = false;
    std::vector<std::size_t> madeFolders_;
    std::vector<std::pair<std::size_t, std::uint64_t>> madeFiles_;
    TFlusher* flusher_ = nullptr;  // while copying
    bool newExisted_ = false;
    // The copies take their source's owner, while the system lets them.
    std::atomic<bool> ownerToo_{true};
    std::atomic<bool> stopCopying_{false};  // a copying thread failed
    std::mutex mutex_;                      // progress_ and madeFiles_ while files are copied
};

bool TreeMover::MakeParents(std::wstring& why) {
    std::vector<std::wstring> missing;
    for (std::wstring p = ParentOf(new_); !p.empty() && AttributesOf(p) == INVALID_FILE_ATTRIBUTES; p = ParentOf(p))
        missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!CreateDirectoryW(LongName(*it).c_str(), nullptr)) {
            why = L"The folder " + *it + L" could not be made: " + Utf8ToWide(SystemErrorText(GetLastError()));
            return false;
        }
        madeParents_.push_back(*it);
    }
    return true;
}

// New itself, made here (or the empty folder there opened) and held.
bool TreeMover::MakeNewRoot(std::wstring& why) {
    DWORD error = 0;
    if (newExisted_) {
        target_.root = OpenTreeRoot(new_, kMakeAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, error);
        std::vector<TFolderItem> inside;
        if (target_.root && (!ListFolder(target_.root.get(), inside, error) || !inside.empty())) {
            target_.root.reset();
            error = inside.empty() ? error : ERROR_DIR_NOT_EMPTY;
        }
    } else {
        const FileHandle parent = OpenTreeRoot(ParentOf(new_), FILE_ADD_SUBDIRECTORY | FILE_LIST_DIRECTORY,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, error);
        if (parent)
            target_.root = OpenBelow(parent.get(), new_.substr(new_.find_last_of(L'\\') + 1), kMakeAccess,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, TBelow::Create, true, error);
        madeRoot_ = static_cast<bool>(target_.root);
    }
    if (!target_.root) {
        why = L"The folder " + new_ + L" could not be made: " + Utf8ToWide(SystemErrorText(error));
        return false;
    }
    target_.rootId = FileIdOf(target_.root.get());
    target_.folders.clear();
    target_.folders.resize(entries_.size());
    return true;
}

TMoveReport TreeMover::Rename() {
    TMoveReport report;
    std::wstring why;
    newExisted_ = AttributesOf(new_) != INVALID_FILE_ATTRIBUTES;
    if (!MakeParents(why)) {
        Log("***** " + Narrow(why) + "; nothing was moved.");
        RemoveCreated();
        return report;
    }
    // An empty folder at New gives way to the renamed one, and comes back
    // if the rename fails.
    if (newExisted_ && !RemoveDirectoryW(LongName(new_).c_str())) {
        Log("***** The empty folder " + Narrow(new_) + " could not be removed to make way: " +
            SystemErrorText(GetLastError()) + "; nothing was moved.");
        return report;
    }
    if (!MoveFileExW(LongName(old_).c_str(), LongName(new_).c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        if (newExisted_)
            CreateDirectoryW(LongName(new_).c_str(), nullptr);
        RemoveCreated();
        Log("***** The folder " + Narrow(old_) + " could not be renamed to " + Narrow(new_) + ": " +
            SystemErrorText(error) + "; nothing was moved.");
        return report;
    }
    Log("Moved the folder " + Narrow(old_) + " to " + Narrow(new_) + " (renamed on the same drive).");
    if (!HandsDownWhatItHas(ParentOf(new_), new_))
        Log("The folder keeps the access rules it had at " + Narrow(old_) + " (a rename keeps them); " +
            Narrow(ParentOf(new_)) + " hands down other rules, which a copy would have taken: check them if the "
            "folder is meant to have those.");
    report.end = TMoveEnd::Renamed;
    if (options_.leaveJunction && !LeaveJunction(why))
        Log("***** " + Narrow(why));
    return report;
}

TMoveReport TreeMover::Copy() {
    TMoveReport report;
    std::wstring why, failedAt;
    DWORD error = 0;
    if (!ListTree(old_, entries_, failedAt, error, &source_)) {
        Log("***** The folder " + Narrow(failedAt) + " could not be listed: " + SystemErrorText(error) +
            "; nothing was moved.");
        return report;
    }
    newExisted_ = AttributesOf(new_) != INVALID_FILE_ATTRIBUTES;
    if (!MakeParents(why) || !MakeNewRoot(why)) {
        Log("***** " + Narrow(why) + "; nothing was moved.");
        RemoveCreated();
        return report;
    }
    started_ = std::chrono::steady_clock::now();
    Report(true);
    Step step = Step::Done;
    {
        TFlusher flusher(8);
        flusher_ = &flusher;
        step = CopyTree(why);
        if (step == Step::Done && !FinishFolders(why))
            step = Step::Failed;
        std::wstring flushFailure;
        if (!flusher.Finish(flushFailure) && step == Step::Done) {
            why = flushFailure;
            step = Step::Failed;
        }
        flusher_ = nullptr;
    }
    // The source must still be what was copied: a program that wrote in it
    // meanwhile would lose that write.
    std::vector<TreeEntry> after;
    if (step == Step::Done && (!ListTree(old_, after, failedAt, error) || !SameListing(entries_, after))) {
        why = L"Files in " + old_ + L" changed while they were copied";
        step = Step::Failed;
    }
    if (step != Step::Done) {
        RemoveCreated();
        if (step == Step::Cancelled) {
            Log("The move was cancelled; " + Narrow(old_) + " is as it was, and what was copied to " + Narrow(new_) +
                " has been removed.");
            report.end = TMoveEnd::Cancelled;
        } else {
            Log("***** " + Narrow(why) + "; nothing was moved (" + Narrow(old_) + " is as it was).");
        }
        return report;
    }
    Report(true);
    Log("Copied " + std::to_string(progress_.filesDone) + " files (" + ByteCountText(progress_.bytesDone) + ") from " +
        Narrow(old_) + " to " + Narrow(new_) + ", each checked against its source.");

    // The source leaves its place in one rename first, so that a stop at
    // any moment leaves the whole program at Old or at New. Its folders are
    // let go first: a folder with open handles below it is not renamed.
    const std::uint64_t oldId = source_.rootId;
    source_ = HeldTree();
    if (options_.seamForTest)
        options_.seamForTest("renaming", Narrow(old_));
    const std::wstring leftover = old_ + L".movix-" + std::to_wstring(RandomTag());
    if (!MoveFileExW(LongName(old_).c_str(), LongName(leftover).c_str(), MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        RemoveCreated();
        Log("***** The folder " + Narrow(old_) + " could not be taken away (" + SystemErrorText(error) +
            "; is a file in it open?); nothing was moved, and the copy at " + Narrow(new_) + " has been removed.");
        return report;
    }
    report.end = TMoveEnd::Copied;
    source_.rootId = oldId;
    RemoveOld(leftover, report);
    target_ = HeldTree();
    if (options_.leaveJunction && !LeaveJunction(why))
        Log("***** " + Narrow(why));
    return report;
}

// The old tree, renamed aside: held, shut to everyone but the
// administrators and this user, listed again, and removed through its
// handles. What was written into it between the last look and the rename
// is copied to New first; anything that is not as listed is left, and the
// leftover named.
void TreeMover::RemoveOld(const std::wstring& leftover, TMoveReport& report) {
    HeldTree gone;
    std::vector<TreeEntry> left;
    std::wstring failedAt, why;
    DWORD error = 0;
    const bool listed = ListTree(leftover, left, failedAt, error, &gone, kRemoveAccess);
    if (options_.seamForTest)
        options_.seamForTest("removing", Narrow(leftover));
    if (!listed || gone.rootId != source_.rootId) {
        report.leftover = Narrow(leftover);
        Log("***** " + Narrow(listed ? leftover : failedAt) + " is not the folder that was copied, or could not be " +
            "read (" + SystemErrorText(listed ? kNotTheListedFolder : error) + "); the old folder is left under " +
            Narrow(leftover) + ".");
        return;
    }
    DWORD rulesError = ERROR_SUCCESS;
    bool narrowed = NarrowRules(gone.root.get(), rulesError);
    for (std::size_t i = 0; i < left.size(); ++i)
        if (gone.folders[i])
            narrowed = NarrowRules(gone.folders[i].get(), rulesError) && narrowed;
    if (!narrowed)
        Log("***** The access rules of " + Narrow(leftover) + " could not be narrowed before its removal: " +
            SystemErrorText(rulesError) + ".");
    if (!SameListing(entries_, left) && !CopyLate(left, gone, why)) {
        report.leftover = Narrow(leftover);
        Log("***** " + Narrow(why) + "; the old folder is left under " + Narrow(leftover) + ".");
        return;
    }
    if (!RemoveHeldTree(gone, left, leftover, failedAt, error)) {
        report.leftover = Narrow(leftover);
        Log("***** " + Narrow(failedAt) + " could not be removed: " + SystemErrorText(error) +
            "; what is left of the old folder is under " + Narrow(leftover) + ".");
        return;
    }
    Log("Removed the old folder " + Narrow(old_) + ".");
}

// Files written into Old after it was copied and before it was renamed
// aside: copied to New (folders made, files made or replaced), each checked
// as any copy. A link that appeared is not copied: the old folder stays.
bool TreeMover::CopyLate(const std::vector<TreeEntry>& left, const HeldTree& gone, std::wstring& why) {
    std::unordered_map<std::wstring, std::size_t> copied;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        copied.emplace(entries_[i].relative, i);
    std::unordered_map<std::wstring, FileHandle> madeHere;
    const auto newFolder = [&](std::size_t parent) -> HANDLE {
        if (parent == kTreeRoot)
            return target_.root.get();
        const auto was = copied.find(left[parent].relative);
        if (was != copied.end() && target_.folders[was->second])
            return target_.folders[was->second].get();
        const auto made = madeHere.find(left[parent].relative);
        return made == madeHere.end() ? nullptr : made->second.get();
    };
    Buffers buffers;
    int files = 0;
    stopCopying_ = false;  // the copying threads are gone; this one copies alone
    for (const TreeEntry& entry : left) {
        const auto was = copied.find(entry.relative);
        const TreeEntry* before = was == copied.end() ? nullptr : &entries_[was->second];
        if (before != nullptr && SameListing({*before}, {entry}))
            continue;
        if (entry.IsLink() || (before != nullptr && before->IsFolder() != entry.IsFolder())) {
            why = L"The link or folder " + old_ + entry.relative + L" appeared in the old folder while it was moved";
            return false;
        }
        const HANDLE into = newFolder(entry.parent);
        DWORD error = ERROR_PATH_NOT_FOUND;
        if (entry.IsFolder()) {
            if (before != nullptr)
                continue;
            FileHandle made = into ? OpenBelow(into, entry.name, kMakeAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               TBelow::Create, true, error)
                                   : FileHandle();
            if (!made) {
                why = L"The folder " + new_ + entry.relative + L" could not be made: " +
                      Utf8ToWide(SystemErrorText(error));
                return false;
            }
            madeHere.emplace(entry.relative, std::move(made));
            continue;
        }
        FileHandle in = OpenBelow(gone.Folder(entry.parent), entry.name, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                                  TBelow::Open, false, error);
        if (in && FileIdOf(in.get()) != entry.id) {
            in.reset();
            error = kNotTheListedFolder;
        }
        FileHandle out = into && in ? OpenBelow(into, entry.name, GENERIC_READ | GENERIC_WRITE | WRITE_DAC | DELETE, 0,
                                                TBelow::Replace, false, error)
                                    : FileHandle();
        bool ownerToo = false;
        if (!in || !out ||
            CopyData(in.get(), out.get(), old_ + entry.relative, entry.size, buffers, why) != Step::Done ||
            !CopySecurity(in.get(), out.get(), error, ownerToo) || !CopyBasicInfo(in.get(), out.get(), error) ||
            !FlushFileBuffers(out.get())) {
            if (why.empty())
                why = old_ + entry.relative + L", written while the folder was moved, could not be copied to " + new_ +
                      L": " + Utf8ToWide(SystemErrorText(error == ERROR_SUCCESS ? GetLastError() : error));
            return false;
        }
        ++files;
    }
    Log("Copied " + std::to_string(files) + " file(s) written into " + Narrow(old_) +
        " while it was moved, each checked against its source.");
    return true;
}

TreeMover::Step TreeMover::CopyTree(std::wstring& why) {
    std::vector<std::size_t> files;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (Cancelled())
            return Step::Cancelled;
        const TreeEntry& entry = entries_[i];
        if (entry.IsLink()) {
            if (!CopyLink(i, why))
                return Step::Failed;
        } else if (entry.IsFolder()) {
            // Made inside its held parent, and held in turn.
            DWORD error = 0;
            target_.folders[i] = OpenBelow(target_.Folder(entry.parent), entry.name, kMakeAccess,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, TBelow::Create, true, error);
            if (!target_.folders[i]) {
                why = L"The folder " + new_ + entry.relative + L" could not be made: " +
                      Utf8ToWide(SystemErrorText(error));
                return Step::Failed;
            }
            madeFolders_.push_back(i);
        } else {
            files.push_back(i);
        }
    }
    if (options_.seamForTest)
        options_.seamForTest("copying", Narrow(new_));
    return CopyFiles(files, why);
}

// The files are shared out among this thread and a few more, this one
// reporting progress as it goes; the first failure or a cancel stops them
// all.
TreeMover::Step TreeMover::CopyFiles(const std::vector<std::size_t>& files, std::wstring& why) {
    std::atomic<std::size_t> next{0};
    Step result = Step::Done;
    std::condition_variable ended;
    int running = 0;
    auto work = [&](bool reports) {
        Step step = Step::Done;
        std::wstring failure;
        try {
            Buffers buffers;
            buffers.reports = reports;
            while (step == Step::Done && !stopCopying_) {
                const std::size_t i = next++;
                if (i >= files.size())
                    break;
                if (Cancelled()) {
                    step = Step::Cancelled;
                    break;
                }
                step = CopyFileChecked(files[i], buffers, failure);
                if (step == Step::Done) {
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        ++progress_.filesDone;
                    }
                    if (reports)
                        Report(false);
                }
            }
        } catch (const std::exception& e) {
            step = Step::Failed;
            failure = L"Copying failed: " + Utf8ToWide(e.what());
        } catch (...) {
            step = Step::Failed;
            failure = L"Copying failed";
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (step != Step::Done) {
            stopCopying_ = true;
            if (result == Step::Done) {
                result = step;
                why = failure;
            }
        }
        --running;
        ended.notify_all();
    };
    // Whatever leaves this function, the threads are stopped and joined first.
    struct Threads {
        std::vector<std::thread> list;
        std::atomic<bool>& stop;
        ~Threads() {
            stop = true;
            for (std::thread& t : list)
                t.join();
        }
    } threads{{}, stopCopying_};
    for (int t = 1; t < kCopyThreads && static_cast<std::size_t>(t) < files.size(); ++t) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++running;
        }
        try {
            threads.list.emplace_back(work, false);
        } catch (const std::system_error&) {
            std::lock_guard<std::mutex> lock(mutex_);
            --running;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++running;
    }
    work(true);
    const auto every = std::chrono::milliseconds(options_.progressEveryMs > 0 ? options_.progressEveryMs : 10);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (ended.wait_for(lock, every, [&] { return running == 0; }))
                break;
        }
        Report(false);
    }
    return result;
}

// Copies the data of `in` to `out`, reads the copy back and compares. The
// listing's size ends the reading: the read that would only find the end
// is left out (a file that has grown since the listing is caught when the
// source is listed again before it is removed).
TreeMover::Step TreeMover::CopyData(HANDLE in,
                                    HANDLE out,
                                    const std::wstring& name,
                                    std::uint64_t size,
                                    Buffers& buffers,
                                    std::wstring& why) {
    TContentHash source, copy;
    std::uint64_t copied = 0;
    while (copied < size) {
        if (Cancelled())
            return Step::Cancelled;
        if (stopCopying_)
            return Step::Failed;
        DWORD got = 0, put = 0;
        if (!ReadFile(in, buffers.data.data(), kPiece, &got, nullptr)) {
            why = L"Reading " + name + L" failed: " + Utf8ToWide(SystemErrorText(GetLastError()));
            return Step::Failed;
        }
        if (got == 0)
            break;
        source.Add(buffers.data.data(), got);
        if (!WriteFile(out, buffers.data.data(), got, &put, nullptr) || put != got) {
            why = L"Writing the copy of " + name + L" failed: " + Utf8ToWide(SystemErrorText(GetLastError()));
            return Step::Failed;
        }
        copied += got;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            progress_.bytesDone += got;
        }
        if (buffers.reports)
            Report(false);
    }
    // The copy read back and compared, then written through to the disk.
    LARGE_INTEGER zero = {};
    if (copied > 0 && !SetFilePointerEx(out, zero, nullptr, FILE_BEGIN)) {
        why = L"The copy of " + name + L" could not be read back";
        return Step::Failed;
    }
    for (std::uint64_t readBack = 0; readBack < copied;) {
        DWORD got = 0;
        if (!ReadFile(out, buffers.readBack.data(), kPiece, &got, nullptr)) {
            why = L"The copy of " + name + L" could not be read back: " +
                  Utf8ToWide(SystemErrorText(GetLastError()));
            return Step::Failed;
        }
        if (got == 0)
            break;
        readBack += got;
        copy.Add(buffers.readBack.data(), got);
    }
    if (copy.Value() != source.Value()) {
        why = L"The copy of " + name + L" differs from its source";
        return Step::Failed;
    }
    return Step::Done;
}

TreeMover::Step TreeMover::CopyFileChecked(std::size_t index, Buffers& buffers, std::wstring& why) {
    const TreeEntry& entry = entries_[index];
    const std::wstring from = old_ + entry.relative, to = new_ + entry.relative;
    const std::uint64_t size = entry.size;
    // Both opened inside their held folders: the source only if it is the
    // file listed, the copy made where nothing was.
    DWORD error = 0;
    FileHandle in = OpenBelow(source_.Folder(entry.parent), entry.name, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                              TBelow::Open, false, error, false, entry.HasContentFilter());
    if (in && FileIdOf(in.get()) != entry.id) {
        in.reset();
        error = kNotTheListedFolder;
    }
    if (!in) {
        why = from + L" could not be opened for reading: " + Utf8ToWide(SystemErrorText(error));
        return Step::Failed;
    }
    // The owner is asked for while the system grants it; once it has not,
    // the copies are made without asking again.
    FileHandle out;
    const HANDLE into = target_.Folder(entry.parent);
    if (ownerToo_)
        out = OpenBelow(into, entry.name, GENERIC_READ | GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, 0, TBelow::Create,
                        false, error);
    if (!out && (!ownerToo_ || error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD)) {
        out = OpenBelow(into, entry.name, GENERIC_READ | GENERIC_WRITE | WRITE_DAC, 0, TBelow::Create, false, error);
        if (out)
            ownerToo_ = false;
    }
    if (!out) {
        why = L"The copy " + to + L" could not be made: " + Utf8ToWide(SystemErrorText(error));
        return Step::Failed;
    }
    Made(index, out.get());
    Step step = CopyData(in.get(), out.get(), from, size, buffers, why);
    if (step != Step::Done)
        return step;

    // Alternate data streams, where the volume has them.
    WIN32_FIND_STREAM_DATA stream;
    FindHandle streams(FindFirstStreamW(LongName(from).c_str(), FindStreamInfoStandard, &stream, 0));
    if (streams) {
        do {
            if (_wcsicmp(stream.cStreamName, L"::$DATA") == 0)
                continue;
            std::wstring name = stream.cStreamName;  // ":name:$DATA"
            const std::size_t type = name.rfind(L':');
            if (type != std::wstring::npos && type > 0)
                name.resize(type);
            FileHandle streamIn(CreateFileW(LongName(from + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            FileHandle streamOut(CreateFileW(LongName(to + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                             CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (!streamIn || !streamOut) {
                why = L"The stream " + from + name + L" could not be copied: " +
                      Utf8ToWide(SystemErrorText(GetLastError()));
                return Step::Failed;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                progress_.bytesTotal += static_cast<std::uint64_t>(stream.StreamSize.QuadPart);
            }
            // A stream is read to its end: no listing has its size.
            step = CopyData(streamIn.get(), streamOut.get(), from + name, UINT64_MAX, buffers, why);
            if (step != Step::Done)
                return step;
            HandOver(streamOut.release(), to + name);
        } while (FindNextStreamW(streams.get(), &stream));
    }

    bool ownerToo = ownerToo_;
    const bool secured = CopySecurity(in.get(), out.get(), error, ownerToo);
    if (!ownerToo)
        ownerToo_ = false;
    if (!secured) {
        why = L"The access rules of " + from + L" could not be given to its copy: " +
              Utf8ToWide(SystemErrorText(error));
        return Step::Failed;
    }
    if (!CopyBasicInfo(in.get(), out.get(), error)) {
        why = L"The attributes and times of " + from + L" could not be given to its copy: " +
              Utf8ToWide(SystemErrorText(error));
        return Step::Failed;
    }
    HandOver(out.release(), to);
    return Step::Done;
}

// The copy's handle goes to the flushing threads, which close it.
void TreeMover::HandOver(HANDLE file, const std::wstring& name) {
    if (flusher_)
        flusher_->Submit(file, name);
    else if (!FlushFileBuffers(file) || !CloseHandle(file))
        CloseHandle(file);
}

bool TreeMover::CopyLink(std::size_t index, std::wstring& why) {
    const TreeEntry& entry = entries_[index];
    const std::wstring from = old_ + entry.relative, to = new_ + entry.relative;
    DWORD error = 0;
    std::vector<BYTE> data = ReparseData(from, error);
    if (data.empty()) {
        why = L"The link " + from + L" could not be read as a link: " + Utf8ToWide(SystemErrorText(error));
        return false;
    }
    FileHandle link = OpenBelow(target_.Folder(entry.parent), entry.name, GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0,
                                TBelow::Create, entry.IsFolder(), error);
    if (link)
        Made(index, link.get());
    DWORD got = 0;
    if (!link || !DeviceIoControl(link.get(), FSCTL_SET_REPARSE_POINT, data.data(), static_cast<DWORD>(data.size()),
                                  nullptr, 0, &got, nullptr)) {
        why = L"The link " + to + L" could not be made: " +
              Utf8ToWide(SystemErrorText(link ? GetLastError() : error));
        return false;
    }
    return true;
}

bool TreeMover::FinishFolders(std::wstring& why) {
    // Deepest first, and the root last: setting a folder's times is undone by
    // what is made in it afterwards. Both sides through their held handles.
    std::vector<std::size_t> folders;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].IsPlainFolder())
            folders.push_back(i);
    std::reverse(folders.begin(), folders.end());
    folders.push_back(kTreeRoot);
    for (const std::size_t i : folders) {
        DWORD error = 0;
        bool ownerToo = false;  // the handle is not opened to set it
        if (!CopySecurity(source_.Folder(i), target_.Folder(i), error, ownerToo) ||
            !CopyBasicInfo(source_.Folder(i), target_.Folder(i), error)) {
            const std::wstring relative = i == kTreeRoot ? std::wstring() : entries_[i].relative;
            why = L"The folder " + new_ + relative + L" could not take the access rules, attributes and times of " +
                  old_ + relative + L": " + Utf8ToWide(SystemErrorText(error));
            return false;
        }
    }
    return true;
}

// What this move made at New goes again, through the held folders, newest
// first: a file only if it is the one made.
void TreeMover::RemoveCreated() {
    DWORD error = 0;
    const auto failed = [this, &error](const std::wstring& name) {
        Log("***** " + Narrow(name) + ", made by this move, could not be removed: " + SystemErrorText(error));
    };
    for (auto it = madeFiles_.rbegin(); it != madeFiles_.rend(); ++it) {
        const TreeEntry& entry = entries_[it->first];
        FileHandle item = OpenBelow(target_.Folder(entry.parent), entry.name, DELETE | FILE_READ_ATTRIBUTES |
                                    FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    TBelow::Open, false, error, true);
        if (item && FileIdOf(item.get()) != it->second)
            error = kNotTheListedFolder;
        else if (item && DeleteByHandle(item.get(), error))
            continue;
        failed(new_ + entry.relative);
    }
    for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) {
        if (!DeleteByHandle(target_.folders[*it].get(), error))
            failed(new_ + entries_[*it].relative);
        target_.folders[*it].reset();
    }
    if (madeRoot_ && !DeleteByHandle(target_.root.get(), error))
        failed(new_);
    target_ = HeldTree();
    for (auto it = madeParents_.rbegin(); it != madeParents_.rend(); ++it)
        if (!RemoveDirectoryW(LongName(*it).c_str()))
            error = GetLastError(), failed(*it);
    madeFiles_.clear();
    madeFolders_.clear();
    madeParents_.clear();
    madeRoot_ = false;
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

bool TreeMover::LeaveJunction(std::wstring& why) {
    if (!MakeJunctionW(old_, new_, why))
        return false;
    Log("Left a junction at " + Narrow(old_) + " that leads to " + Narrow(new_) + ".");
    return true;
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
    if (newAttributes != INVALID_FILE_ATTRIBUTES &&
        (!(newAttributes & FILE_ATTRIBUTE_DIRECTORY) || (newAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
         !IsEmptyFolder(to))) {
        check.problem = "The New address " + check.newFolder + " already holds something; the folder is moved only "
                        "to a place that does not exist yet or is an empty folder.";
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
    ForEachOnThreads(entries.size(), [&](std::size_t i) {
        if (entries[i].IsFolder() || entries[i].IsLink())
            return;
        try {
            FileHandle file(CreateFileW(LongName(old + entries[i].relative).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING,
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

TMoveReport MoveFolder(const TMoveCheck& check,
                       const TMoveOptions& options,
                       const std::atomic<bool>* cancel,
                       const std::function<void(const TMoveProgress&)>& progress,
                       const std::function<void(const std::string&)>& log) {
    TreeMover mover(check, options, cancel, progress, log);
    if (!check.problem.empty()) {
        if (log)
            log("***** " + check.problem + " Nothing was moved.");
        return TMoveReport();
    }
    return check.sameVolume ? mover.Rename() : mover.Copy();
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
