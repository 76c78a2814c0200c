#include "targets/dde_conversation_win.h"

#include <algorithm>
#include <mutex>

#include <dde.h>

#include "platform/wide_text_win.h"
#include "platform/wine_dde_win.h"
#include "platform/handles.h"

namespace movix {

namespace {

constexpr DWORD kRequestTimeoutMs = 10000;
constexpr DWORD kRetryPauseMs = 100;

// The DDE library's callback carries no pointer of ours, only the
// conversation handle; the live conversations are found through this list.
std::mutex g_liveMutex;
std::vector<TDdeClientConv*>& LiveConversations() {
    static std::vector<TDdeClientConv*> live;
    return live;
}

// Lets other threads' SendMessage calls to this thread through (a starting
// server's DDE library announces itself to every DDE instance) while
// waiting, without dispatching any posted message of the program.
void PauseServingSentMessages(DWORD ms) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= ms)
            return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_SENDMESSAGE);
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// How long to wait for the stray acknowledgement of Wine's library (see
// platform/wine_dde_win.h) after a request's data.
constexpr DWORD kStrayAckWaitMs = 250;

}  // namespace

TDdeClientConv::TDdeClientConv() {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    LiveConversations().push_back(this);
}

TDdeClientConv::~TDdeClientConv() {
    CloseLink();
    {
        std::lock_guard<std::mutex> lock(g_liveMutex);
        auto& live = LiveConversations();
        live.erase(std::remove(live.begin(), live.end(), this), live.end());
    }
    // The members release the string handles and then the instance.
}

void TDdeClientConv::SetLink(const std::string& service, const std::string& topic) {
    if (!OnOwnerThread())
        return;
    CloseLink();
    service_ = service;
    topic_ = topic;
}

bool TDdeClientConv::OnOwnerThread() const {
    return !instance_ || ownerThread_ == ::GetCurrentThreadId();
}

bool TDdeClientConv::EnsureInstance() {
    if (instance_)
        return true;
    ownerThread_ = ::GetCurrentThreadId();
    // No CBF_SKIP_ flags: Wine calls back with XTYP_DISCONNECT only to an
    // instance that filters nothing, and that is how a conversation learns
    // that the server has gone.
    return instance_.Initialize(&TDdeClientConv::Callback, APPCMD_CLIENTONLY) == DMLERR_NO_ERROR;
}

bool TDdeClientConv::TryConnect() {
    conv_.reset(::DdeConnect(instance_.Id(), serviceName_.get(), topicName_.get(), nullptr));
    return Connected();
}

bool TDdeClientConv::ReadyForTransaction() {
    if (completedAsync_ && WineDdeLibrary() && conv_) {
        // The completed execute would block this conversation: talk to the
        // same server over a new one.
        conv_.reset();
        TryConnect();
    }
    completedAsync_ = false;
    return Connected();
}

bool TDdeClientConv::Connected() const {
    if (!conv_)
        return false;
    // The library keeps the state of the conversation; Wine's never reports
    // its end through the callback, so ask it. A server that was killed ends
    // nothing: its window is simply gone.
    CONVINFO info = {};
    info.cb = sizeof info;
    return ::DdeQueryConvInfo(conv_.get(), QID_SYNC, &info) != 0 && (info.wStatus & ST_CONNECTED) != 0 &&
           (!info.hwndPartner || ::IsWindow(info.hwndPartner));
}

bool TDdeClientConv::OpenLink() {
    if (!OnOwnerThread() || Connected())
        return false;
    if (conv_) {
        // The server ended the last conversation. Wine would hand the dead
        // conversation back for the same names: start over with a new
        // instance of the library.
        CloseLink();
        instance_.Reset();
    }
    // An empty name would make a null string handle, which DdeConnect takes
    // as "any service" or "any topic": the program would talk to whichever
    // server answers first.
    if (service_.empty() || topic_.empty() || !EnsureInstance())
        return false;
    serviceName_ = DdeString(instance_.Id(), service_);
    topicName_ = DdeString(instance_.Id(), topic_);
    if (serviceName_ && topicName_) {
        if (TryConnect())
            return true;
        if (StartServer()) {
            // The start may return before the started server has registered
            // its name: try again for a bounded time.
            const DWORD start = ::GetTickCount();
            for (;;) {
                if (TryConnect())
                    return true;
                if (::GetTickCount() - start >= StartWaitMs)
                    break;
                PauseServingSentMessages(kRetryPauseMs);
            }
        }
    }
    serviceName_.Reset();
    topicName_.Reset();
    return false;
}

std::string TDdeClientConv::ServerProgram(const std::string& service) {
    if (service.empty() || service.find_first_of("\\/:*?\"<>|") != std::string::npos || service == "." ||
        service == "..")
        return {};
    // Windows 95 keeps Program Manager in the Windows folder, Windows NT in
    // its system folder; only administrators can write to either.
    char folders[2][MAX_PATH];
    const UINT lengths[2] = {::GetWindowsDirectoryA(folders[0], MAX_PATH), ::GetSystemDirectoryA(folders[1], MAX_PATH)};
    for (int i = 0; i < 2; ++i) {
        if (lengths[i] == 0 || lengths[i] >= MAX_PATH)
            continue;
        std::string path(folders[i], lengths[i]);
        if (path.back() != '\\')
            path += '\\';
        path += service + ".exe";
        const DWORD attributes = ::GetFileAttributesW(WideFileName(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return path;
    }
    return {};
}

bool TDdeClientConv::StartServer() {
    const std::string program = ServerProgram(service_);
    if (program.empty())
        return false;
    // The program is named in full, so CreateProcess looks nowhere else.
    std::string commandLine = "\"" + program + "\" " + topic_;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    // The server runs on its own: neither its thread nor its process is waited on.
    const ObjectHandle thread(pi.hThread), process(pi.hProcess);
    return true;
}

void TDdeClientConv::DiscardStrayAcks(DWORD waitMs) {
    CONVINFO info = {};
    info.cb = sizeof info;
    if (!conv_ || !::DdeQueryConvInfo(conv_.get(), QID_SYNC, &info) || !info.hwnd)
        return;
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        bool found = false;
        while (::PeekMessageA(&msg, info.hwnd, WM_DDE_ACK, WM_DDE_ACK, PM_REMOVE)) {
            // The item atom in it is the one the data already carried and
            // the library has released; only the packed parameter is ours.
            ::FreeDDElParam(WM_DDE_ACK, msg.lParam);
            found = true;
        }
        const DWORD elapsed = ::GetTickCount() - start;
        if (found || elapsed >= waitMs)
            return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs - elapsed, QS_POSTMESSAGE);
    }
}

std::optional<std::string> TDdeClientConv::RequestData(const std::string& item) {
    if (!OnOwnerThread() || !Connected() || waiting_ || item.empty() || !ReadyForTransaction())
        return std::nullopt;
    // Program Manager names its groups in the legacy code page: a name it
    // cannot hold names none of them. The name goes as wide text, which the
    // system turns into the server's code page; bytes in the legacy code
    // page would be read in this process's own, which may be UTF-8.
    std::string itemInCodePage;
    if (!Utf8ToCodePage(LegacyAnsiCodePage(), item, itemInCodePage))
        return std::nullopt;
    DdeString itemName(instance_.Id(), Utf8ToWide(item));
    if (!itemName)
        return std::nullopt;
    DiscardStrayAcks(0);
    DWORD result = 0;
    DdeData data(::DdeClientTransaction(nullptr, 0, conv_.get(), itemName.get(), CF_TEXT, XTYP_REQUEST,
                                        kRequestTimeoutMs, &result));
    if (!data)
        return std::nullopt;
    if (WineDdeLibrary())
        DiscardStrayAcks(kStrayAckWaitMs);
    return CodePageToUtf8(LegacyAnsiCodePage(), DdeDataText(data.get()));
}

bool TDdeClientConv::ExecuteMacroLines(const std::vector<std::string>& lines) {
    if (!OnOwnerThread() || !Connected() || waiting_ || !ReadyForTransaction())
        return false;
    std::string lineText;
    for (const std::string& line : lines) {
        lineText += line;
        lineText += "\r\n";
    }
    std::string text;
    if (!Utf8ToCodePage(LegacyAnsiCodePage(), lineText, text) || text.size() >= 0x7FFFFFFF)
        return false;
    DdeData data(::DdeCreateDataHandle(instance_.Id(), reinterpret_cast<LPBYTE>(&text[0]),
                                       static_cast<DWORD>(text.size() + 1), 0, nullptr, CF_TEXT, 0));
    if (!data)
        return false;
    DiscardStrayAcks(0);
    // The outcome of an earlier execute says nothing of this one.
    lastExecuteAccepted_ = false;
    DWORD transaction = 0;
    // The data handle belongs to the library once it is passed on, whether
    // or not the transaction starts.
    HDDEDATA started = ::DdeClientTransaction(reinterpret_cast<LPBYTE>(data.release()), 0xFFFFFFFF, conv_.get(),
                                              nullptr, CF_TEXT, XTYP_EXECUTE, TIMEOUT_ASYNC, &transaction);
    if (!started)
        return false;
    pendingTransaction_ = transaction;
    waiting_ = true;
    return true;
}

void TDdeClientConv::CloseLink() {
    if (!OnOwnerThread())
        return;
    if (conv_ && waiting_)
        ::DdeAbandonTransaction(instance_.Id(), conv_.get(), pendingTransaction_);
    waiting_ = false;
    pendingTransaction_ = 0;
    completedAsync_ = false;
    conv_.reset();
    serviceName_.Reset();
    topicName_.Reset();
}

TDdeClientConv* TDdeClientConv::FindByConversation(HCONV conv) {
    for (TDdeClientConv* c : LiveConversations())
        if (c->conv_.get() == conv)
            return c;
    return nullptr;
}

HDDEDATA CALLBACK
TDdeClientConv::Callback(UINT type, UINT, HCONV conv, HSZ, HSZ, HDDEDATA data, ULONG_PTR data1, ULONG_PTR) {
    // Nothing may unwind into the DDE library.
    try {
        std::lock_guard<std::mutex> lock(g_liveMutex);
        if (conv)
            if (TDdeClientConv* c = FindByConversation(conv))
                c->OnCallback(type, conv, data, data1);
    } catch (...) {
    }
    return nullptr;
}

void TDdeClientConv::OnCallback(UINT type, HCONV, HDDEDATA data, ULONG_PTR data1) {
    switch (type) {
        case XTYP_XACT_COMPLETE:
            if (waiting_ && static_cast<DWORD>(data1) == pendingTransaction_) {
                // An execute completes with a true data value when the server
                // acknowledged it.
                lastExecuteAccepted_ = data != nullptr;
                waiting_ = false;
                pendingTransaction_ = 0;
                completedAsync_ = true;
            }
            break;
        case XTYP_DISCONNECT:
            // The server ended the conversation (or quit): the handle is dead,
            // and no completion will come for an execute still waiting.
            conv_.release();
            waiting_ = false;
            pendingTransaction_ = 0;
            completedAsync_ = false;
            break;
        default:
            break;
    }
}

}  // namespace movix
