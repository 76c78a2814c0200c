#include "engine/search_thread_win.h"

#include <cstring>
#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

#include "engine/strings.h"
#include "platform/handles.h"
#include "platform/ui_dispatch_win.h"

namespace movix {

namespace {

std::atomic<int> g_running{0};

// The volume-label attribute of old file systems; no current SDK names it.
constexpr DWORD kVolumeLabelAttribute = 0x8;
constexpr DWORD kSkippedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | kVolumeLabelAttribute;

bool HasExtension(const char* name, const std::string& dotExtension) {
    const std::size_t n = std::strlen(name);
    if (n < dotExtension.size())
        return false;
    const char* tail = name + (n - dotExtension.size());
    for (std::size_t i = 0; i < dotExtension.size(); ++i)
        if (UpperAscii(tail[i]) != dotExtension[i])
            return false;
    return true;
}

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
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
      SearchUpper(UpperAscii(search)),
      OnFound(std::move(onFound)),
      progress_(std::make_shared<ProgressSlot>()) {
    handle_ = ::CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &threadId_);
    if (handle_ == nullptr)
        throw std::runtime_error("Thread creation error: " + std::to_string(::GetLastError()));
    ++g_running;
}

TMovixThread::~TMovixThread() {
    if (handle_ == nullptr)
        return;
    if (::GetCurrentThreadId() != threadId_) {
        // Deleted by its owner: a thread that never ran is let go without
        // running its body; a running one is asked to stop and waited for.
        if (!resumed_) {
            abandoned_ = true;
            ::ResumeThread(handle_);
        } else {
            Terminated = true;
        }
        WaitFor();
    }
    ::CloseHandle(handle_);
}

void TMovixThread::Resume() {
    if (resumed_)
        return;
    resumed_ = true;
    ::ResumeThread(handle_);
}

bool TMovixThread::WaitFor(DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD spent = ::GetTickCount() - start;
            if (spent >= timeoutMs)
                return ::WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
            left = timeoutMs - spent;
        }
        // On the UI thread the body may be waiting in Synchronize for this
        // very thread, so keep the messages flowing.
        const DWORD r = ::MsgWaitForMultipleObjects(1, &handle_, FALSE, left, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return true;
        if (r != WAIT_OBJECT_0 + 1)
            return ::WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

int TMovixThread::RunningCount() {
    return g_running;
}

DWORD WINAPI TMovixThread::ThreadProc(void* param) {
    static_cast<TMovixThread*>(param)->RunBody();
    --g_running;
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
        ::SetWindowTextA(ProgressLabel, ("In " + Path).c_str());
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
        ::SetWindowTextA(label, caption.c_str());
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
    const UINT n = ::GetWindowsDirectoryA(WindowsDir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        WindowsDir[0] = '\0';
}

void TMovixFileThread::SetWindowsDirForTest(const std::string& folder) {
    const std::size_t n = folder.size() < MAX_PATH ? folder.size() : MAX_PATH - 1;
    std::memcpy(WindowsDir, folder.data(), n);
    WindowsDir[n] = '\0';
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

void TMovixFileThread::SearchFolder(const std::string& folder) {
    Walk(folder, false);
}

void TMovixFileThread::SearchTree(const std::string& folder) {
    Walk(folder, true);
}

void TMovixFileThread::Walk(const std::string& folder, bool intoSubfolders) {
    Path = folder;
    QueueProgress();
    Item.clear();

    std::vector<std::string> subfolders;
    {
        WIN32_FIND_DATAA data;
        FindHandle find(::FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!find)
            return;
        do {
            if (Terminated)
                return;
            const DWORD attrs = data.dwFileAttributes;
            if (attrs & kSkippedAttributes)
                continue;
            if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
                if (intoSubfolders && !IsDotEntry(data.cFileName))
                    subfolders.emplace_back(data.cFileName);
            } else if (HasExtension(data.cFileName, extension_)) {
                ProgressTick();
                ProcessFile(data.cFileName);
            }
        } while (::FindNextFileA(find.get(), &data));
    }
    for (const std::string& sub : subfolders) {
        if (Terminated)
            return;
        Walk(folder + "\\" + sub, true);
    }
}

void TMovixFileThread::SearchFixedDrives() {
    char roots[128];
    const DWORD n = ::GetLogicalDriveStringsA(sizeof roots, roots);
    if (n == 0 || n >= sizeof roots)
        return;
    for (const char* root = roots; *root != '\0' && !Terminated; root += std::strlen(root) + 1) {
        if (::GetDriveTypeA(root) == DRIVE_FIXED)
            SearchTree(std::string(root, 2));
    }
}

}  // namespace movix
