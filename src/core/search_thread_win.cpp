#include "core/search_thread_win.h"

#include <cassert>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/strings.h"
#include "platform/handles.h"
#include "platform/letter_case_win.h"
#include "platform/message_pump_win.h"
#include "platform/ui_dispatch_win.h"
#include "platform/wide_text_win.h"

namespace movix {

namespace {

// A handle of every thread made and not yet seen ended. The count of
// running threads is read from these, not kept by the threads themselves: a
// thread that counted itself out would still be on its way out (freeing its
// object, detaching from the libraries) when the count said it was gone, and
// a program that ended on that word could cut it off in the middle.
SRWLOCK g_liveLock = SRWLOCK_INIT;
std::vector<HANDLE>* g_live = nullptr;  // made on first use, never freed

void AddLive(HANDLE thread) {
    HANDLE own = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), thread, ::GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0))
        throw std::runtime_error("Thread creation error: " + std::to_string(::GetLastError()));
    ::AcquireSRWLockExclusive(&g_liveLock);
    try {
        if (!g_live)
            g_live = new std::vector<HANDLE>();
        g_live->push_back(own);
    } catch (...) {
        ::ReleaseSRWLockExclusive(&g_liveLock);
        ::CloseHandle(own);
        throw;
    }
    ::ReleaseSRWLockExclusive(&g_liveLock);
}

// The Windows program compares letter case as the system does, for every
// script. Every search thread and every replacer lives in a file that links
// this one, so the upper-casing is in place before main() runs, before any
// search string is upper-cased.
const bool g_systemLetterCase = (SetUpperCase(&SystemUpperCase), true);

// The volume-label attribute of old file systems; no current SDK names it.
constexpr DWORD kVolumeLabelAttribute = 0x8;
constexpr DWORD kSkippedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | kVolumeLabelAttribute;

bool HasExtension(const std::string& name, const std::string& dotExtension) {
    const std::size_t n = name.size();
    if (n < dotExtension.size())
        return false;
    const char* tail = name.data() + (n - dotExtension.size());
    for (std::size_t i = 0; i < dotExtension.size(); ++i)
        if (UpperAscii(tail[i]) != dotExtension[i])
            return false;
    return true;
}

bool IsDotEntry(const std::string& name) {
    return name == "." || name == "..";
}

// Whether this process holds an administrator's rights (a member of the
// Administrators group whose token is not filtered).
bool RunsAsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &admins))
        return false;
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, admins, &member))
        member = FALSE;
    ::FreeSid(admins);
    return member != FALSE;
}

// Under Wine, the drive letter ('Z') whose folder is the Unix root "/", or 0.
// Such a drive holds the whole Unix tree: other drives, the prefix and
// /proc among them.
char UnixRootDrive(const char* roots) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    const auto unixName =
        kernel
            ? reinterpret_cast<UnixName>(reinterpret_cast<void*>(::GetProcAddress(kernel, "wine_get_unix_file_name")))
            : nullptr;
    if (unixName == nullptr)
        return 0;
    for (const char* root = roots; *root != '\0'; root += std::strlen(root) + 1) {
        const wchar_t wide[] = {static_cast<wchar_t>(root[0]), L':', L'\\', L'\0'};
        char* name = unixName(wide);
        if (name == nullptr)
            continue;
        std::string path = name;
        ::HeapFree(::GetProcessHeap(), 0, name);
        while (!path.empty() && (path.back() == '/' || path.back() == '.'))
            path.pop_back();
        if (path.empty())
            return UpperAscii(root[0]);
    }
    return 0;
}

// The name that opens a folder: a drive named "C:" alone is its root.
std::string OpenableFolder(const std::string& folder) {
    if (!folder.empty() && folder.back() == ':')
        return folder + "\\";
    return folder;
}

// Whether the listed entry `wide` of `folder`, named in UTF-8 as `name`,
// opens under that name as itself (`listedId` is its file index from the
// listing). A name with an unpaired surrogate has no UTF-8 form. A name with
// U+FFFD may be one the system made up for a name it could not show (Wine
// lists a Unix name that is not UTF-8 so): two such names read alike, and
// either opens as the same one of them, or none; such a name must open as
// the entry listed. A file system without file indexes gives 0: nothing to
// compare.
bool NameLeadsBack(const std::string& folder, const TListedEntry& entry) {
    if (!entry.Exact)
        return false;
    if (entry.Name.find(kReplacementCharUtf8) == std::string::npos)
        return true;
    FileHandle opened(::CreateFileW(WideFileName(folder + "\\" + entry.Name).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (entry.FileId == 0 || !::GetFileInformationByHandle(opened.get(), &info))
        return true;
    const ULONGLONG id = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return id == 0 || id == entry.FileId;
}

// One listing of a folder through its handle: every subfolder, and the files
// `keepFile` keeps (all when it is empty), in the order the system lists
// them. `buffer` is reused between calls.
TFolderListing ListFolder(const std::string& folder,
                          const std::function<bool(const std::string&)>& keepFile,
                          std::vector<char>& buffer) {
    TFolderListing listing;
    // A folder whose full name runs past MAX_PATH opens through the
    // long-name prefix, so that nothing below it is passed over.
    FileHandle dir(::CreateFileW(WideFileName(OpenableFolder(folder)).c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!dir) {
        listing.Error = ::GetLastError();
        return listing;
    }
    if (buffer.empty())
        buffer.resize(64 * 1024);
    FILE_INFO_BY_HANDLE_CLASS listClass = FileIdBothDirectoryRestartInfo;
    bool listed = false;
    while (::GetFileInformationByHandleEx(dir.get(), listClass, buffer.data(), static_cast<DWORD>(buffer.size()))) {
        listClass = FileIdBothDirectoryInfo;
        listed = true;
        const char* at = buffer.data();
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            const std::wstring_view wide(entry->FileName, entry->FileNameLength / sizeof(WCHAR));
            TListedEntry item;
            item.Name = WideToUtf8(wide);
            item.Attributes = entry->FileAttributes;
            item.FileId = static_cast<ULONGLONG>(entry->FileId.QuadPart);
            const bool isFolder = (item.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (isFolder ? !IsDotEntry(item.Name) : (!keepFile || keepFile(item.Name))) {
                item.Exact = ConvertsExactly(wide);
                listing.Entries.push_back(std::move(item));
            }
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
    const DWORD error = ::GetLastError();
    if (!listed && error != ERROR_NO_MORE_FILES)
        listing.Error = error;
    return listing;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_NOT_READY;
}

}  // namespace

// The latest queued progress caption, and whether a call to show it is on
// its way to the UI thread.
struct TMovixThread::ProgressSlot {
    SRWLOCK lock = SRWLOCK_INIT;
    std::string caption;
    bool queued = false;
};

TMovixThread::TMovixThread(int kind, const std::string& search, HWND progressLabel, TFoundEvent onFound)
    : Kind(kind),
      ProgressLabel(progressLabel),
      SearchUpper(UpperText(search)),
      OnFound(std::move(onFound)),
      progress_(std::make_shared<ProgressSlot>()) {
    handle_ = ::CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &threadId_);
    if (handle_ == nullptr)
        throw std::runtime_error("Thread creation error: " + std::to_string(::GetLastError()));
    try {
        AddLive(handle_);
    } catch (...) {
        // Not counted, so it must not outlive this constructor: let it go
        // without running its body.
        abandoned_ = true;
        ::ResumeThread(handle_);
        ::WaitForSingleObject(handle_, INFINITE);
        ::CloseHandle(handle_);
        throw;
    }
}

TMovixThread::~TMovixThread() {
    if (handle_ == nullptr)
        return;
    if (::GetCurrentThreadId() != threadId_) {
        if (!resumed_) {
            // Deleted before it ever ran: let go without running its body.
            // The thread touches only this base part on its way out.
            abandoned_ = true;
            ::ResumeThread(handle_);
            ::WaitForSingleObject(handle_, INFINITE);
        } else if (::WaitForSingleObject(handle_, 0) != WAIT_OBJECT_0) {
            // The owner must call StopAndJoin before deleting: here the
            // subclass's parts, which the body uses, are already gone.
            assert(!"a running search thread was deleted; call StopAndJoin first");
            StopAndJoin();
        }
    }
    ::CloseHandle(handle_);
}

void TMovixThread::StopAndJoin() {
    Terminated = true;
    if (resumed_)
        WaitFor();
}

void TMovixThread::Resume() {
    if (resumed_)
        return;
    resumed_ = true;
    ::ResumeThread(handle_);
}

bool TMovixThread::WaitFor(DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    bool quitSeen = false;
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD spent = ::GetTickCount() - start;
            if (spent >= timeoutMs)
                return ::WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
            left = timeoutMs - spent;
        }
        // On the UI thread the body may be waiting in Synchronize for this
        // very thread, so keep the messages flowing, until the program is
        // ending: then the dispatcher no longer holds the thread up, and a
        // WM_QUIT put back for the main loop would wake this wait at once.
        if (quitSeen)
            return ::WaitForSingleObject(handle_, left) == WAIT_OBJECT_0;
        const DWORD r = ::MsgWaitForMultipleObjects(1, &handle_, FALSE, left, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return true;
        if (r != WAIT_OBJECT_0 + 1)
            return ::WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
        quitSeen = !ProcessPendingWindowMessages();
    }
}

int TMovixThread::RunningCount() {
    ::AcquireSRWLockExclusive(&g_liveLock);
    int count = 0;
    if (g_live) {
        std::vector<HANDLE>& live = *g_live;
        std::size_t kept = 0;
        for (HANDLE h : live) {
            if (::WaitForSingleObject(h, 0) == WAIT_OBJECT_0)
                ::CloseHandle(h);
            else
                live[kept++] = h;
        }
        live.resize(kept);
        count = static_cast<int>(kept);
    }
    ::ReleaseSRWLockExclusive(&g_liveLock);
    return count;
}

DWORD WINAPI TMovixThread::ThreadProc(void* param) {
    static_cast<TMovixThread*>(param)->RunBody();
    return 0;
}

void TMovixThread::RunBody() {
    if (abandoned_)
        return;
    // Nothing may unwind out of the thread: an error ends the search as a
    // cancel would, and the run still moves on through OnTerminate.
    try {
        Execute();
    } catch (const std::exception& e) {
        fatalError_ = (e.what() != nullptr && *e.what() != '\0') ? e.what() : "error";
        Terminated = true;
    } catch (...) {
        fatalError_ = "unknown error";
        Terminated = true;
    }
    try {
        if (progressPending_)
            PostProgress();
        if (OnTerminate)
            UiDispatcher::Run([this] { OnTerminate(this); });
    } catch (...) {
        // The next step failed on the UI thread; this thread has nobody to
        // tell and ends regardless.
    }
    if (FreeOnTerminate)
        delete this;
}

bool TMovixThread::Matches(std::string_view s) const {
    return ContainsUpper(s, SearchUpper);
}

void TMovixThread::Synchronize(const std::function<void()>& method) {
    // A caption still waiting goes first: calls run in the order queued.
    if (progressPending_)
        PostProgress();
    if (!UiDispatcher::Run(method))
        Terminated = true;
}

void TMovixThread::ReportHit() {
    if (OnFound)
        OnFound(Item, Path, Context, Kind, SubType);
}

void TMovixThread::ShowProgress() {
    if (ProgressLabel != nullptr)
        SetWindowTextUtf8(ProgressLabel, "In " + Path);
}

void TMovixThread::NoteUnreadable(Unreadable what, const std::string& name, DWORD error) {
    if (IsMissing(error))
        return;
    ++unreadable_[static_cast<int>(what)];
    if (unreadableNames_.size() < kMaxUnreadableNames) {
        static const char* const kWhat[] = {"folder ", "file ", "key "};
        unreadableNames_.push_back(kWhat[static_cast<int>(what)] + name);
    }
    if (error == ERROR_ACCESS_DENIED && !deniedWithoutAdmin_) {
        static const bool admin = RunsAsAdministrator();
        deniedWithoutAdmin_ = !admin;
    }
}

void TMovixThread::QueueProgress() {
    if (ProgressLabel == nullptr)
        return;
    pendingCaption_ = "In " + Path;
    progressPending_ = true;
    ProgressTick();
}

void TMovixThread::ProgressTick() {
    if (progressPending_ && ::GetTickCount64() - lastProgressPost_ >= kProgressIntervalMs)
        PostProgress();
}

void TMovixThread::PostProgress() {
    progressPending_ = false;
    lastProgressPost_ = ::GetTickCount64();
    ProgressSlot& slot = *progress_;
    ::AcquireSRWLockExclusive(&slot.lock);
    slot.caption.swap(pendingCaption_);
    const bool alreadyQueued = slot.queued;
    slot.queued = true;
    ::ReleaseSRWLockExclusive(&slot.lock);
    if (alreadyQueued)
        return;  // the call on its way shows the newer caption
    std::shared_ptr<ProgressSlot> shared = progress_;
    HWND label = ProgressLabel;
    const bool queued = UiDispatcher::Post([shared, label] {
        std::string caption;
        ::AcquireSRWLockExclusive(&shared->lock);
        caption.swap(shared->caption);
        shared->queued = false;
        ::ReleaseSRWLockExclusive(&shared->lock);
        SetWindowTextUtf8(label, caption);
    });
    if (!queued) {
        // Shutting down: nothing is shown any more, and the search stops.
        Terminated = true;
        ::AcquireSRWLockExclusive(&slot.lock);
        slot.queued = false;
        ::ReleaseSRWLockExclusive(&slot.lock);
    }
}

TMovixFileThread::TMovixFileThread(int kind,
                                   const std::string& search,
                                   HWND progressLabel,
                                   TFoundEvent onFound,
                                   int mode)
    : TMovixThread(kind, search, progressLabel, std::move(onFound)),
      Mode(mode),
      extension_(std::string(".") + KindExtension(kind)) {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
    if (n != 0 && n < MAX_PATH)
        WindowsDir = WideToUtf8(std::wstring_view(windows, n));
}

void TMovixFileThread::SetWindowsDirForTest(const std::string& folder) {
    WindowsDir = folder;
}

void TMovixFileThread::Execute() {
    switch (Mode) {
        case 1:
            SearchFolder(WindowsDir);
            break;
        case 2:
            SearchTree(WindowsDir);
            break;
        case 3:
            SearchFixedDrives();
            break;
        case 4:
            SearchOwnList();
            break;
        default:
            break;
    }
}

bool TMovixFileThread::WantsFile(const std::string& name) const {
    return HasExtension(name, extension_);
}

void TMovixFileThread::SearchFolder(const std::string& folder) {
    Walk(folder, false, kWalkStart);
}

void TMovixFileThread::SearchTree(const std::string& folder) {
    Walk(folder, true, kWalkStart);
}

void TMovixFileThread::Walk(const std::string& folder, bool intoSubfolders, ULONGLONG fileId) {
    Path = folder;
    QueueProgress();
    Item.clear();

    // A folder is known by its volume serial and file index, so that one
    // reached again (through a link that shows as a plain folder, or a mount
    // of the same tree) is walked once. The start of a walk is asked for
    // both; below it the parent's listing gave the index. The serial is asked
    // for once per walk: under Wine it costs a round trip to the mount
    // manager, several times the listing itself, and the volume cannot change
    // below the start without a mount point, which is a link and not
    // followed.
    if (fileId == kWalkStart) {
        fileId = 0;
        FileHandle dir(::CreateFileW(WideFileName(OpenableFolder(folder)).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!dir) {
            NoteUnreadable(Unreadable::Folder, folder, ::GetLastError());
            return;
        }
        BY_HANDLE_FILE_INFORMATION id;
        if (::GetFileInformationByHandle(dir.get(), &id)) {
            volumeSerial_ = id.dwVolumeSerialNumber;
            fileId = (static_cast<ULONGLONG>(id.nFileIndexHigh) << 32) | id.nFileIndexLow;
        }
    }
    // A file system without file indexes gives 0: nothing to compare.
    if (fileId != 0 && !visited_.emplace(volumeSerial_, fileId).second)
        return;

    // The run's shared listing where there is one, else a listing of this
    // walk's own, of the files of its kind only.
    std::shared_ptr<const TFolderListing> shared;
    TFolderListing own;
    if (listings_) {
        shared = listings_->Get(folder);
    } else {
        own = ListFolder(
            folder, [this](const std::string& name) { return WantsFile(name); }, listing_);
    }
    const TFolderListing& listing = shared ? *shared : own;
    if (listing.Error != ERROR_SUCCESS) {
        NoteUnreadable(Unreadable::Folder, folder, listing.Error);
        return;
    }
    // Files of the kind are examined as they come, subfolders are walked
    // afterwards, which gives the same order as listing files and folders
    // separately.
    std::vector<const TListedEntry*> subfolders;
    for (const TListedEntry& entry : listing.Entries) {
        if (Terminated)
            return;
        const DWORD attrs = entry.Attributes;
        const bool isFolder = (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // Directory links lead elsewhere (or back up): never followed.
        const bool wanted = !entry.Name.empty() && !(attrs & kSkippedAttributes) &&
                            (isFolder ? intoSubfolders && !(attrs & FILE_ATTRIBUTE_REPARSE_POINT)
                                      : WantsFile(entry.Name));
        if (!wanted)
            continue;
        if (!NameLeadsBack(folder, entry)) {
            // Opened by its name it would be another entry, or none: not
            // read, and counted as such.
            NoteUnreadable(isFolder ? Unreadable::Folder : Unreadable::File, folder + "\\" + entry.Name,
                           ERROR_NO_UNICODE_TRANSLATION);
        } else if (isFolder) {
            subfolders.push_back(&entry);
        } else {
            ProgressTick();
            ProcessFile(entry.Name);
        }
    }
    if (listings_ && !subfolders.empty()) {
        std::vector<std::string> names;
        for (const TListedEntry* sub : subfolders)
            names.push_back(sub->Name);
        listings_->Prefetch(folder, names);
    }
    for (const TListedEntry* sub : subfolders) {
        if (Terminated)
            return;
        Walk(folder + "\\" + sub->Name, true, sub->FileId);
    }
}

// ------------------------------------------------------- shared listings

struct TFolderListings::Slot {
    enum class State { Queued, Listing, Ready } state = State::Queued;
    std::shared_ptr<const TFolderListing> listing;
};

TFolderListings::TFolderListings(std::function<bool(const std::string& name)> keepFile, int workers)
    : keepFile_(std::move(keepFile)) {
    for (int i = 0; i < workers; ++i)
        if (!workers_.Start([this] { Work(); }))
            break;  // fewer workers: the walks list the rest themselves
}

TFolderListings::~TFolderListings() {
    Stop();
    workers_.Join();
}

std::shared_ptr<const TFolderListing> TFolderListings::List(const std::string& folder,
                                                            std::vector<char>& buffer) const {
    return std::make_shared<const TFolderListing>(ListFolder(folder, keepFile_, buffer));
}

std::shared_ptr<const TFolderListing> TFolderListings::Get(const std::string& folder) {
    ::AcquireSRWLockExclusive(&lock_);
    for (;;) {
        Slot& slot = slots_[folder];
        if (slot.state == Slot::State::Ready) {
            std::shared_ptr<const TFolderListing> listing = slot.listing;
            ::ReleaseSRWLockExclusive(&lock_);
            return listing;
        }
        if (slot.state == Slot::State::Listing) {
            // A worker has it in hand.
            ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            continue;
        }
        // New, or still waiting for a worker: listed here and now.
        slot.state = Slot::State::Listing;
        ::ReleaseSRWLockExclusive(&lock_);
        std::vector<char> buffer;
        std::shared_ptr<const TFolderListing> listing;
        try {
            listing = List(folder, buffer);
        } catch (...) {
            // The slot goes back, so that no one waits for it for ever.
            ::AcquireSRWLockExclusive(&lock_);
            slots_.erase(folder);
            ::ReleaseSRWLockExclusive(&lock_);
            ::WakeAllConditionVariable(&changed_);
            throw;
        }
        ::AcquireSRWLockExclusive(&lock_);
        Slot& done = slots_[folder];
        done.state = Slot::State::Ready;
        done.listing = listing;
        ::ReleaseSRWLockExclusive(&lock_);
        ::WakeAllConditionVariable(&changed_);
        return listing;
    }
}

void TFolderListings::Prefetch(const std::string& folder, const std::vector<std::string>& names) {
    if (workers_.Count() == 0)
        return;
    ::AcquireSRWLockExclusive(&lock_);
    if (!stopping_) {
        // The first subfolder on top: the walk enters it first.
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            const std::string path = folder + "\\" + *it;
            if (slots_.emplace(path, Slot()).second)
                queue_.push_back(path);
        }
    }
    ::ReleaseSRWLockExclusive(&lock_);
    ::WakeAllConditionVariable(&changed_);
}

void TFolderListings::Stop() {
    ::AcquireSRWLockExclusive(&lock_);
    stopping_ = true;
    queue_.clear();
    ::ReleaseSRWLockExclusive(&lock_);
    ::WakeAllConditionVariable(&changed_);
}

void TFolderListings::Work() {
    std::vector<char> buffer;
    ::AcquireSRWLockExclusive(&lock_);
    for (;;) {
        while (!stopping_ && queue_.empty())
            ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
        if (stopping_)
            break;
        const std::string folder = std::move(queue_.back());
        queue_.pop_back();
        auto it = slots_.find(folder);
        if (it == slots_.end() || it->second.state != Slot::State::Queued)
            continue;  // a walk took it meanwhile
        it->second.state = Slot::State::Listing;
        ::ReleaseSRWLockExclusive(&lock_);
        std::shared_ptr<const TFolderListing> listing;
        try {
            listing = List(folder, buffer);
        } catch (...) {
            // Out of memory: the slot is given back, and a walk lists it.
        }
        ::AcquireSRWLockExclusive(&lock_);
        Slot& slot = slots_[folder];
        if (listing) {
            slot.state = Slot::State::Ready;
            slot.listing = std::move(listing);
        } else {
            slot.state = Slot::State::Queued;
        }
        ::WakeAllConditionVariable(&changed_);
    }
    ::ReleaseSRWLockExclusive(&lock_);
}

void TMovixFileThread::SearchFixedDrives() {
    char roots[128];
    const DWORD n = ::GetLogicalDriveStringsA(sizeof roots, roots);
    if (n == 0 || n >= sizeof roots)
        return;
    // Under Wine one drive holds the whole Unix tree, the other drives
    // within it: walked only when the search string lies on it.
    char unixRoot = UnixRootDrive(roots);
    if (unixRoot != 0 && SearchUpper.size() >= 2 && SearchUpper[0] == unixRoot && SearchUpper[1] == ':')
        unixRoot = 0;
    if (unixRoot != 0)
        LeftOut = std::string(1, unixRoot) + ":";
    for (const char* root = roots; *root != '\0' && !Terminated; root += std::strlen(root) + 1) {
        if (::GetDriveTypeA(root) != DRIVE_FIXED || (unixRoot != 0 && UpperAscii(root[0]) == unixRoot))
            continue;
        SearchTree(std::string(root, 2));
    }
}

}  // namespace movix
