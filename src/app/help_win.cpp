#include "app/help_win.h"

#include "app/help_protocol.h"
#include "platform/handles.h"
#include "platform/wide_text_win.h"
#include "platform/path_names.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace movix {

namespace {

// A viewer that starts slower than this under a loaded machine is taken as
// failed; the caller's window is unresponsive while we wait, so keep it short.
constexpr DWORD kViewerStartTimeoutMs = 8000;
// A live viewer answers a request at once: it only queues it.
constexpr UINT kSendTimeoutMs = 5000;
constexpr UINT kQuitTimeoutMs = 2000;

std::string FullPath(const std::string& path) {
    const std::wstring wide = Utf8ToWide(path);
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
    if (n >= buffer.size()) {
        buffer.resize(n);
        n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
    }
    if (n == 0 || n >= buffer.size())
        return path;
    buffer.resize(n);
    return WideToUtf8(buffer);
}

bool IsExistingFile(const std::string& path) {
    DWORD attributes = ::GetFileAttributesW(WideFileName(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct StartedViewer {
    ObjectHandle process;
    DWORD processId = 0;
};

// Starts movixhlp.exe "<help file>" in the viewer's own folder.
bool StartViewer(const std::string& viewerExe, const std::string& helpFile, StartedViewer& started) {
    const std::wstring commandLine = Utf8ToWide("\"" + viewerExe + "\" \"" + helpFile + "\"");
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    const std::wstring folder = Utf8ToWide(FolderOf(viewerExe));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(Utf8ToWide(viewerExe).c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return false;
    const ObjectHandle viewerThread(pi.hThread);  // not waited on
    started.process.reset(pi.hProcess);
    started.processId = pi.dwProcessId;
    // The viewer may need the foreground for a message box or its window.
    ::AllowSetForegroundWindow(pi.dwProcessId);
    return true;
}

// Waits until the started viewer's server window exists. Gives up when the
// viewer ends first (it could not read the file, or another instance won).
HWND WaitForViewer(const StartedViewer& started, const std::string& helpFile) {
    const DWORD start = ::GetTickCount();
    auto elapsed = [&]() { return ::GetTickCount() - start; };
    ::WaitForInputIdle(started.process.get(), kViewerStartTimeoutMs);
    for (;;) {
        if (HWND server = FindHelpViewer(helpFile))
            return server;
        if (::WaitForSingleObject(started.process.get(), 0) == WAIT_OBJECT_0) {
            // Another viewer for the same file may have been starting at the same time.
            return FindHelpViewer(helpFile);
        }
        if (elapsed() >= kViewerStartTimeoutMs)
            return nullptr;
        ::Sleep(20);
    }
}

bool SendRequest(HWND server, const HelpRequestData& request, UINT timeoutMs) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(server, &processId);
    if (processId)
        ::AllowSetForegroundWindow(processId);
    COPYDATASTRUCT copy = {};
    copy.dwData = static_cast<ULONG_PTR>(kHelpRequestTag);
    copy.cbData = sizeof request;
    copy.lpData = const_cast<HelpRequestData*>(&request);
    DWORD_PTR answer = 0;
    LRESULT sent = ::SendMessageTimeoutW(server, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy),
                                         SMTO_ABORTIFHUNG | SMTO_NORMAL, timeoutMs, &answer);
    return sent != 0 && answer != 0;
}

// A server window found just as its viewer was closing refuses or misses
// the request; wait (briefly) until it is gone, so a fresh viewer can start.
void WaitUntilGone(HWND server) {
    const DWORD start = ::GetTickCount();
    while (::IsWindow(server) && ::GetTickCount() - start < 2000)
        ::Sleep(20);
}

// The place given for the next popup, if any (only the UI thread sets and
// takes it).
bool g_popupPositionSet = false;
POINT g_popupPosition = {};

// Where a request's popup goes: the place given for it, or else the mouse
// pointer. UI thread only: a popup takes the given place with it.
POINT TakeRequestPoint(unsigned command) {
    POINT at = {};
    if (command == kHelpCommandContextPopup && g_popupPositionSet) {
        at = g_popupPosition;
        g_popupPositionSet = false;
    } else {
        ::GetCursorPos(&at);
    }
    return at;
}

// Delivers one request to the viewer, starting it when none runs. `at` is
// where a popup goes; null takes it now (on the UI thread).
bool DeliverRequest(const std::string& viewerExe, const std::string& helpFile, unsigned command,
                    unsigned long data, const POINT* at) {
    const std::string fullPath = FullPath(helpFile);

    HelpRequestData request = {};
    switch (command) {
    case kHelpCommandContext:
    case kHelpCommandContextPopup:
        request.command = command;
        request.context = static_cast<std::uint32_t>(data);
        break;
    case kHelpCommandContents:
    case kHelpCommandFinder:
        request.command = kHelpCommandContext;
        request.context = static_cast<std::uint32_t>(kHelpContentsContext);
        break;
    case kHelpCommandQuit:
        request.command = kHelpCommandQuit;
        break;
    default:
        return false;
    }

    if (request.command == kHelpCommandQuit) {
        HWND server = FindHelpViewer(fullPath);
        if (!server)
            return true;
        // A viewer that does not answer is asked once more through its queue;
        // the program closing must never wait on it.
        if (!SendRequest(server, request, kQuitTimeoutMs))
            ::PostMessageA(server, WM_CLOSE, 0, 0);
        return true;
    }

    const POINT pointer = at != nullptr ? *at : TakeRequestPoint(command);
    request.pointerX = pointer.x;
    request.pointerY = pointer.y;

    if (!IsExistingFile(fullPath)) {
        // The viewer tells the user, as the help engine always has; we do
        // not wait for it, since it only shows a message and ends.
        StartedViewer reporter;
        StartViewer(viewerExe, fullPath, reporter);
        return false;
    }

    for (int attempt = 0; attempt < 2; ++attempt) {
        HWND server = FindHelpViewer(fullPath);
        if (!server) {
            StartedViewer started;
            if (!StartViewer(viewerExe, fullPath, started))
                return false;
            server = WaitForViewer(started, fullPath);
            if (!server)
                return false;
        }
        if (SendRequest(server, request, kSendTimeoutMs))
            return true;
        WaitUntilGone(server);
        if (::IsWindow(server))
            return false;  // alive but not answering: starting another would not help
    }
    return false;
}

// The requests handed on by WinHelpRequestInBackground, delivered in order
// by one worker thread. Made once and never freed: the worker may still be
// waiting for a viewer while the program ends.
struct BackgroundHelp {
    struct Request {
        std::string viewer, helpFile;
        unsigned command;
        unsigned long data;
        POINT at;  // where the popup goes, taken when it was asked for
    };
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Request> queue;
    bool busy = false;  // the worker holds a request now
    bool started = false;

    void Run() {
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            changed.wait(hold, [this] { return !queue.empty(); });
            Request request = std::move(queue.front());
            queue.pop_front();
            busy = true;
            hold.unlock();
            DeliverRequest(request.viewer, request.helpFile, request.command, request.data, &request.at);
            hold.lock();
            busy = false;
            changed.notify_all();
        }
    }
};

BackgroundHelp& Background() {
    static BackgroundHelp* help = new BackgroundHelp;
    return *help;
}

}  // namespace

bool WinHelpRequestInBackground(HWND owner, const std::string& helpFile, unsigned command, unsigned long data) {
    const std::string viewer = DefaultHelpViewerPath();
    BackgroundHelp& help = Background();
    if (command == kHelpCommandQuit) {
        // What was not yet delivered is dropped; a viewer being started now
        // is waited for (briefly), so that the quit reaches it too.
        std::unique_lock<std::mutex> hold(help.lock);
        help.queue.clear();
        help.changed.wait_for(hold, std::chrono::milliseconds(kViewerStartTimeoutMs + kSendTimeoutMs),
                              [&help] { return !help.busy; });
        hold.unlock();
        return WinHelpRequestWithViewer(viewer, owner, helpFile, command, data);
    }
    switch (command) {
    case kHelpCommandContext:
    case kHelpCommandContextPopup:
    case kHelpCommandContents:
    case kHelpCommandFinder:
        break;
    default:
        return false;
    }
    if (!IsExistingFile(FullPath(helpFile)))
        return WinHelpRequestWithViewer(viewer, owner, helpFile, command, data);
    std::lock_guard<std::mutex> hold(help.lock);
    if (!help.started) {
        std::thread([&help] { help.Run(); }).detach();
        help.started = true;
    }
    help.queue.push_back({viewer, helpFile, command, data, TakeRequestPoint(command)});
    help.changed.notify_all();
    return true;
}

void SetHelpPopupPosition(POINT screenPoint) {
    g_popupPosition = screenPoint;
    g_popupPositionSet = true;
}

std::string DefaultHelpViewerPath() {
    wchar_t buffer[32768];
    DWORD n = ::GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(sizeof buffer / sizeof buffer[0]));
    if (n == 0 || n >= sizeof buffer / sizeof buffer[0])
        return kHelpViewerExeName;
    return InFolder(FolderOf(WideToUtf8(std::wstring_view(buffer, n))), kHelpViewerExeName);
}

HWND FindHelpViewer(const std::string& helpFile) {
    return ::FindWindowExW(nullptr, nullptr, Utf8ToWide(kHelpServerClass).c_str(),
                           Utf8ToWide(FullPath(helpFile)).c_str());
}

bool WinHelpRequest(HWND owner, const std::string& helpFile, unsigned command, unsigned long data) {
    return WinHelpRequestWithViewer(DefaultHelpViewerPath(), owner, helpFile, command, data);
}

bool WinHelpRequestWithViewer(const std::string& viewerExe, HWND owner, const std::string& helpFile,
                              unsigned command, unsigned long data) {
    (void)owner;
    return DeliverRequest(viewerExe, helpFile, command, data, nullptr);
}

}  // namespace movix
