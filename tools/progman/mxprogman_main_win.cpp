// mxprogman.exe [Topic] [/service:Name] [/topic:Name] [/groups:Folder] [/execdelay:ms] [/requestdelay:ms]
//               [/refuseexecute]
//
// A Program Manager substitute: serves program groups over DDE, as a server
// of the DDE management library, for the tests and the demo.
//
// The service is named after the program file (mxprogman.exe serves
// "mxprogman", a copy named progman.exe serves "progman") unless /service:
// names another; the topic is the first plain argument, else "ProgMan". So
// the start command that a DDE client runs when no server answers, "<service>
// <topic>", starts a server for exactly that service and topic. DDE compares
// names without regard to case.
//
// Requests (CF_TEXT): "Groups" gives the group names, each followed by CR LF;
// a group's name gives the group in Program Manager's reply format. Executes
// carry bracketed commands (see ProgManGroupSet); an execute is carried out
// all or not at all and acknowledged only when it was. The groups live in
// one text file each in the folder /groups: names, by default
// %APPDATA%\mxprogman-groups (beside the program when APPDATA is not set),
// and are saved after every execute. /execdelay: holds every execute that
// long before carrying it out, to stand for a slow server; /requestdelay:
// holds every request for a group's items (not "Groups") that long, to
// stand for a server that does not answer in time. /refuseexecute refuses
// every execute unread, as a server does that cannot carry it out. Group
// names and item titles compare as Program Manager compares them: without
// regard to letter case, for every letter of the system's code page.
//
// One server per service and topic: a second start for the same pair ends at
// once. The server has a hidden window of class "MxProgManWindow" titled
// "MxProgMan <service> <topic>"; WM_CLOSE to it, or the command
// [ExitProgman], ends the server. Exit codes: 0 normal end or another server
// already running, 2 bad command line, 3 the group folder cannot be made,
// 4 the DDE service cannot be registered.
#include <windows.h>

#include <dde.h>
#include <ddeml.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "group_store_win.h"
#include "platform/dde_handles_win.h"
#include "platform/handles.h"
#include "targets/progman_commands.h"

namespace {

using namespace movix;

constexpr char kWindowClass[] = "MxProgManWindow";
// Larger execute texts are refused unread.
constexpr DWORD kMaxExecuteBytes = 1024 * 1024;

struct Options {
    std::string Service;
    std::string Topic = "ProgMan";
    std::string Folder;
    DWORD ExecDelayMs = 0;
    DWORD RequestDelayMs = 0;
    bool RefuseExecute = false;
};

std::string ModuleFileName() {
    char buffer[MAX_PATH * 2];
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return std::string(buffer, n < sizeof buffer ? n : 0);
}

// Splits a command line at blanks; double quotes group blanks into a word.
std::vector<std::string> SplitCommandLine(const char* line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char* p = line; *p; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((*p == ' ' || *p == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += *p;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool StartsWithNoCase(const std::string& s, const char* prefix, std::string& rest) {
    const std::size_t n = std::strlen(prefix);
    if (s.size() < n || _strnicmp(s.c_str(), prefix, n) != 0)
        return false;
    rest = s.substr(n);
    return true;
}

bool ParseOptions(Options& o) {
    const std::string exe = ModuleFileName();
    std::string base = exe.substr(exe.find_last_of("\\/:") + 1);
    const std::size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0)
        base.erase(dot);
    o.Service = base;

    std::vector<std::string> words = SplitCommandLine(::GetCommandLineA());
    bool topicGiven = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        std::string value;
        if (StartsWithNoCase(w, "/service:", value)) {
            o.Service = value;
        } else if (StartsWithNoCase(w, "/topic:", value)) {
            o.Topic = value;
            topicGiven = true;
        } else if (StartsWithNoCase(w, "/groups:", value)) {
            o.Folder = value;
        } else if (StartsWithNoCase(w, "/execdelay:", value) || StartsWithNoCase(w, "/requestdelay:", value)) {
            char* end = nullptr;
            const unsigned long ms = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || ms > 600000)
                return false;
            (w[1] == 'e' || w[1] == 'E' ? o.ExecDelayMs : o.RequestDelayMs) = static_cast<DWORD>(ms);
        } else if (_stricmp(w.c_str(), "/refuseexecute") == 0) {
            o.RefuseExecute = true;
        } else if (!w.empty() && w[0] != '/' && !topicGiven) {
            o.Topic = w;
            topicGiven = true;
        } else {
            return false;
        }
    }
    if (o.Service.empty() || o.Topic.empty())
        return false;
    if (o.Folder.empty()) {
        char appData[MAX_PATH * 2];
        const DWORD n = ::GetEnvironmentVariableA("APPDATA", appData, sizeof appData);
        if (n > 0 && n < sizeof appData)
            o.Folder = std::string(appData, n) + "\\mxprogman-groups";
        else
            o.Folder = exe.substr(0, exe.find_last_of("\\/")) + "\\mxprogman-groups";
    }
    char full[MAX_PATH * 2];
    const DWORD n = ::GetFullPathNameA(o.Folder.c_str(), sizeof full, full, nullptr);
    if (n > 0 && n < sizeof full)
        o.Folder.assign(full, n);
    return true;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Waits while still answering messages that other threads send to this one:
// every DDE client that looks for a server sends to all top-level windows
// and waits for each, so a server that merely slept would hold up every
// other DDE program meanwhile. Posted messages wait for the message loop.
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

// Group names and item titles are in the system's code page.
bool SameNameInCodePage(std::string_view a, std::string_view b) {
    auto wide = [](std::string_view s) {
        const int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
        std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
        if (n > 0)
            ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
        return w;
    };
    const std::wstring wa = wide(a), wb = wide(b);
    return ::CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()),
                                  TRUE) == CSTR_EQUAL;
}

void Trace(const std::string& text) {
    ::OutputDebugStringA(("mxprogman: " + text + "\n").c_str());
}

// The one server of this process. The DDE library's callback has no pointer
// of ours, so it finds the server here.
class Server {
  public:
    Server(Options options) : options_(std::move(options)), store_(options_.Folder), groups_(&SameNameInCodePage) {}

    int Run(HINSTANCE instance);

  private:
    static HDDEDATA CALLBACK DdeCallback(UINT type,
                                         UINT format,
                                         HCONV conv,
                                         HSZ hsz1,
                                         HSZ hsz2,
                                         HDDEDATA data,
                                         ULONG_PTR data1,
                                         ULONG_PTR data2);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    HDDEDATA OnConnect(HSZ topic, HSZ service) const;
    HDDEDATA OnWildConnect(HSZ topic, HSZ service) const;
    HDDEDATA OnRequest(UINT format, HSZ item) const;
    HDDEDATA OnExecute(HDDEDATA data);
    void EndConversations();

    Options options_;
    GroupStore store_;
    ProgManGroupSet groups_;
    DdeInstance dde_;
    DdeString serviceName_;
    DdeString topicName_;
    HWND window_ = nullptr;
    std::vector<HCONV> conversations_;

    static Server* current_;
};

Server* Server::current_ = nullptr;

HDDEDATA CALLBACK
Server::DdeCallback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    Server* s = current_;
    if (!s)
        return nullptr;
    // Nothing may unwind into the DDE library: a failure refuses the
    // transaction.
    try {
        switch (type) {
            case XTYP_CONNECT:
                return s->OnConnect(hsz1, hsz2);
            case XTYP_WILDCONNECT:
                return s->OnWildConnect(hsz1, hsz2);
            case XTYP_REQUEST:
                return s->OnRequest(format, hsz2);
            case XTYP_EXECUTE:
                return s->OnExecute(data);
            case XTYP_CONNECT_CONFIRM:
                s->conversations_.push_back(conv);
                return nullptr;
            case XTYP_DISCONNECT: {
                auto& c = s->conversations_;
                c.erase(std::remove(c.begin(), c.end(), conv), c.end());
                return nullptr;
            }
            default:
                return nullptr;
        }
    } catch (...) {
        return type == XTYP_EXECUTE ? reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED) : nullptr;
    }
}

HDDEDATA Server::OnConnect(HSZ topic, HSZ service) const {
    const bool ours =
        ::DdeCmpStringHandles(topic, topicName_.get()) == 0 && ::DdeCmpStringHandles(service, serviceName_.get()) == 0;
    return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(ours ? TRUE : FALSE));
}

HDDEDATA Server::OnWildConnect(HSZ topic, HSZ service) const {
    const bool topicOk = !topic || ::DdeCmpStringHandles(topic, topicName_.get()) == 0;
    const bool serviceOk = !service || ::DdeCmpStringHandles(service, serviceName_.get()) == 0;
    if (!topicOk || !serviceOk)
        return nullptr;
    HSZPAIR pairs[2] = {{serviceName_.get(), topicName_.get()}, {nullptr, nullptr}};
    return ::DdeCreateDataHandle(dde_.Id(), reinterpret_cast<LPBYTE>(pairs), sizeof pairs, 0, nullptr, CF_TEXT, 0);
}

HDDEDATA Server::OnRequest(UINT format, HSZ item) const {
    if (format != CF_TEXT)
        return nullptr;
    const std::string name = DdeStringText(dde_.Id(), item);
    if (options_.RequestDelayMs && _stricmp(name.c_str(), "Groups") != 0)
        PauseServingSentMessages(options_.RequestDelayMs);
    std::optional<std::string> reply = groups_.Reply(name, store_.Folder());
    if (!reply)
        return nullptr;
    // Returned to the library, which frees it after sending.
    return ::DdeCreateDataHandle(dde_.Id(), reinterpret_cast<LPBYTE>(&(*reply)[0]),
                                 static_cast<DWORD>(reply->size() + 1), 0, item, CF_TEXT, 0);
}

HDDEDATA Server::OnExecute(HDDEDATA data) {
    const HDDEDATA refused = reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    if (options_.RefuseExecute) {
        Trace("execute refused: /refuseexecute");
        return refused;
    }
    const DWORD size = ::DdeGetData(data, nullptr, 0, 0);
    if (size > kMaxExecuteBytes) {
        Trace("execute refused: " + std::to_string(size) + " bytes");
        return refused;
    }
    const std::string text = DdeDataText(data);
    if (options_.ExecDelayMs)
        ::Sleep(options_.ExecDelayMs);
    ProgManGroupSet::Outcome outcome = groups_.Execute(text);
    if (!outcome.Ok) {
        Trace("execute refused: " + outcome.Error);
        return refused;
    }
    // The commands have taken effect for every client; a group whose file
    // cannot be written is written with the next execute or at the end.
    if (!store_.Save(groups_))
        Trace("cannot save the groups in " + store_.Folder());
    if (outcome.Quit)
        ::PostMessageA(window_, WM_CLOSE, 0, 0);
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

// Tells every client that the server is going. Wine's DDE library neither
// disconnects a server's conversation on request nor when the server ends,
// and its clients would go on talking to a window that is gone: there the
// terminate message is posted directly, as the DDE protocol has it.
void Server::EndConversations() {
    const std::vector<HCONV> open = conversations_;
    for (HCONV conv : open) {
        CONVINFO info = {};
        info.cb = sizeof info;
        const bool known = ::DdeQueryConvInfo(conv, QID_SYNC, &info) != 0;
        if (::DdeDisconnect(conv))
            continue;
        if (known && info.hwnd && info.hwndPartner && ::IsWindow(info.hwndPartner))
            ::PostMessageA(info.hwndPartner, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(info.hwnd), 0);
    }
    conversations_.clear();
}

LRESULT CALLBACK Server::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

int Server::Run(HINSTANCE instance) {
    // A second server for the same service and topic ends at once. A
    // server that is still ending lets go of the lock within moments.
    std::string pair = Upper(options_.Service) + ":" + Upper(options_.Topic);
    for (char& c : pair)
        if (c == '\\')
            c = '/';  // a backslash would name a namespace
    const std::string lockName = "Local\\MxProgMan:" + pair;
    ObjectHandle lock(::CreateMutexA(nullptr, FALSE, lockName.c_str()));
    if (lock) {
        const DWORD got = ::WaitForSingleObject(lock.get(), 3000);
        if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED)
            return 0;
    }

    if (!store_.Load(groups_))
        return 3;

    current_ = this;
    // No CBF_ flags: Wine reports XTYP_DISCONNECT only to an instance that
    // filters nothing. Advises and pokes are refused by the callback.
    if (dde_.Initialize(&Server::DdeCallback, APPCLASS_STANDARD) != DMLERR_NO_ERROR)
        return 4;
    serviceName_ = DdeString(dde_.Id(), options_.Service);
    topicName_ = DdeString(dde_.Id(), options_.Topic);

    // The name is registered before the first GetMessage, which is what a
    // starter waiting for this program to become idle waits for, and before
    // the window, which tells others that the server is ready.
    if (!serviceName_ || !topicName_ || !::DdeNameService(dde_.Id(), serviceName_.get(), nullptr, DNS_REGISTER)) {
        current_ = nullptr;
        return 4;
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &Server::WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    ::RegisterClassA(&wc);
    const std::string title = "MxProgMan " + options_.Service + " " + options_.Topic;
    window_ = ::CreateWindowExA(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                                200, nullptr, nullptr, instance, nullptr);
    if (!window_) {
        ::DdeNameService(dde_.Id(), serviceName_.get(), nullptr, DNS_UNREGISTER);
        current_ = nullptr;
        return 4;
    }

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }

    ::DdeNameService(dde_.Id(), serviceName_.get(), nullptr, DNS_UNREGISTER);
    EndConversations();
    store_.Save(groups_);
    serviceName_.Reset();
    topicName_.Reset();
    dde_.Reset();
    current_ = nullptr;
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Options options;
    if (!ParseOptions(options))
        return 2;
    Server server(std::move(options));
    return server.Run(instance);
}
