#include "help_viewer_win.h"
#include "platform/wide_text_win.h"

#include <algorithm>
#include <cstdio>

namespace movix {

namespace {

constexpr UINT WM_APP_NEXT_REQUEST = WM_APP + 1;

enum ControlId : int {
    IDC_HelpContents = 101,
    IDC_HelpBack = 102,
    IDC_HelpTopicList = 103,
    IDC_HelpTitle = 104,
    IDC_HelpText = 105,
};

constexpr int kMargin = 8;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 25;
constexpr int kListWidth = 190;
constexpr int kTitleHeight = 22;

HFONT MessageFont(bool bold) {
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    LOGFONTA font = {};
    if (::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
    } else {
        font.lfHeight = -13;
        lstrcpynA(font.lfFaceName, "Arial", LF_FACESIZE);
    }
    if (bold) {
        font.lfWeight = FW_BOLD;
        font.lfHeight = font.lfHeight * 5 / 4;
    }
    return ::CreateFontIndirectA(&font);
}

}  // namespace

HelpViewer::HelpViewer(HINSTANCE instance, std::string helpPath, HelpFile file)
    : instance_(instance), helpPath_(std::move(helpPath)), file_(std::move(file)) {}

bool HelpViewer::Start() {
    font_.reset(MessageFont(false));
    boldFont_.reset(MessageFont(true));

    // A Unicode class: its title, the file's path, keeps every script.
    const std::wstring serverClass = Utf8ToWide(kHelpServerClass);
    WNDCLASSEXW server = {};
    server.cbSize = sizeof server;
    server.lpfnWndProc = &HelpViewer::ServerProc;
    server.hInstance = instance_;
    server.lpszClassName = serverClass.c_str();
    if (!::RegisterClassExW(&server))
        return false;

    WNDCLASSEXA window = {};
    window.cbSize = sizeof window;
    window.style = CS_HREDRAW | CS_VREDRAW;
    window.lpfnWndProc = &HelpViewer::WindowProc;
    window.hInstance = instance_;
    window.hIcon = ::LoadIconA(instance_, MAKEINTRESOURCEA(1));
    window.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    window.hbrBackground = ::GetSysColorBrush(COLOR_3DFACE);
    window.lpszClassName = kHelpWindowClass;
    if (!::RegisterClassExA(&window) || !HelpPopupWindow::Register(instance_))
        return false;

    // Hidden, never shown: it only carries requests and the file's name.
    // Its title is the help file's full path, by which the program finds it.
    server_ = ::CreateWindowExW(0, serverClass.c_str(), Utf8ToWide(helpPath_).c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, instance_, this);
    return server_ != nullptr;
}

int HelpViewer::Run() {
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (window_ && ::IsDialogMessageA(window_, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return 0;
}

LRESULT CALLBACK HelpViewer::ServerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<HelpViewer*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return self->OnServerMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

LRESULT HelpViewer::OnServerMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COPYDATA: {
        // Answer at once and do the work later from our own queue: the
        // program waits for this answer, and the work may show a message box.
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        HelpRequestData request = {};
        if (!copy || copy->dwData != static_cast<ULONG_PTR>(kHelpRequestTag) ||
            !DecodeHelpRequest(copy->lpData, copy->cbData, request) || quitting_)
            return FALSE;
        if (request.command == kHelpCommandQuit) {
            Quit();
            return TRUE;
        }
        pending_.push_back(request);
        ::PostMessageA(hwnd, WM_APP_NEXT_REQUEST, 0, 0);
        return TRUE;
    }
    case WM_APP_NEXT_REQUEST:
        if (!pending_.empty() && !quitting_) {
            HelpRequestData request = pending_.front();
            pending_.pop_front();
            Handle(request);
        }
        return 0;
    case WM_CLOSE:
        Quit();
        return 0;
    case WM_DESTROY:
        if (hwnd == server_)
            server_ = nullptr;
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void HelpViewer::Handle(const HelpRequestData& request) {
    if (request.command == kHelpCommandContext) {
        ShowTopic(request.context, true);
    } else if (request.command == kHelpCommandContextPopup) {
        std::string text = PopupTextFor(file_, request.context, "\r\n");
        if (text.empty()) {
            ReportNotFound("popup text", request.context);
            return;
        }
        POINT pointer = {request.pointerX, request.pointerY};
        popup_.Show(instance_, text, pointer, static_cast<HFONT>(font_.get()));
    }
}

void HelpViewer::ReportNotFound(const char* what, unsigned long context) {
    char detail[64];
    std::snprintf(detail, sizeof detail, " for context %lu.", context);
    std::string text = "Help topic not found.\r\n\r\nThe help file\r\n" + helpPath_ + "\r\nhas no " + what + detail;
    HWND owner = window_ && ::IsWindowVisible(window_) ? window_ : nullptr;
    ::MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(kHelpMessageCaption).c_str(),
                  MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND | MB_TOPMOST);
}

void HelpViewer::ShowTopic(unsigned long context, bool remember) {
    const HelpTopic* topic = file_.FindTopic(context);
    if (!topic) {
        ReportNotFound("topic", context);
        return;
    }
    if (!EnsureHelpWindow())
        return;
    if (remember && hasCurrent_ && current_ != context)
        history_.push_back(current_);
    current_ = context;
    hasCurrent_ = true;

    std::string caption = std::string(kHelpWindowCaptionPrefix) + topic->title;
    ::SetWindowTextA(window_, caption.c_str());
    ::SetWindowTextA(titleLabel_, topic->title.c_str());
    ::SetWindowTextA(textBox_, FormatHelpText(topic->paragraphs, "\r\n").c_str());
    const int count = static_cast<int>(::SendMessageA(topicList_, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (static_cast<unsigned long>(::SendMessageA(topicList_, LB_GETITEMDATA, i, 0)) == context) {
            ::SendMessageA(topicList_, LB_SETCURSEL, i, 0);
            break;
        }
    }
    ::EnableWindow(backButton_, history_.empty() ? FALSE : TRUE);

    ::ShowWindow(window_, ::IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(window_);
}

void HelpViewer::GoBack() {
    if (history_.empty())
        return;
    unsigned long context = history_.back();
    history_.pop_back();
    ShowTopic(context, false);
}

namespace {

// Where the help window stood when it was last closed: the user's choice of
// place and size outlives the viewer, which ends with the window.
const char kPlaceKey[] = "Software\\Kestrelia\\MOVIX32\\Help Window";
const char* const kPlaceValues[4] = {"Left", "Top", "Width", "Height"};

bool LoadPlace(RECT& place) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kPlaceKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD v[4] = {};
    bool ok = true;
    for (int i = 0; i < 4 && ok; ++i) {
        DWORD type = 0, size = sizeof v[i];
        ok = ::RegQueryValueExA(key, kPlaceValues[i], nullptr, &type, reinterpret_cast<BYTE*>(&v[i]), &size) ==
                 ERROR_SUCCESS &&
             type == REG_DWORD;
    }
    ::RegCloseKey(key);
    const int width = static_cast<int>(v[2]), height = static_cast<int>(v[3]);
    if (!ok || width < 200 || height < 150)
        return false;
    place = {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[0]) + width,
             static_cast<int>(v[1]) + height};
    // Only a place that is still on a screen.
    return ::MonitorFromRect(&place, MONITOR_DEFAULTTONULL) != nullptr;
}

void SavePlace(HWND window) {
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    if (!::GetWindowPlacement(window, &wp))
        return;
    const RECT& r = wp.rcNormalPosition;
    const DWORD v[4] = {static_cast<DWORD>(r.left), static_cast<DWORD>(r.top), static_cast<DWORD>(r.right - r.left),
                        static_cast<DWORD>(r.bottom - r.top)};
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kPlaceKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    for (int i = 0; i < 4; ++i)
        ::RegSetValueExA(key, kPlaceValues[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v[i]), sizeof v[i]);
    ::RegCloseKey(key);
}

// The first time: beside the wizard where the screen has room.
RECT PlaceBesideWizard(int width, int height) {
    RECT place = {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
    HWND wizard = ::FindWindowA("TForm1", nullptr);
    RECT w;
    if (!wizard || !::GetWindowRect(wizard, &w))
        return place;
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoA(::MonitorFromWindow(wizard, MONITOR_DEFAULTTONEAREST), &info))
        return place;
    const RECT& work = info.rcWork;
    const HelpRect at = PlaceHelpWindow(HelpRect{w.left, w.top, w.right, w.bottom},
                                        HelpRect{work.left, work.top, work.right, work.bottom}, width, height);
    return RECT{at.left, at.top, at.right, at.bottom};
}

}  // namespace

bool HelpViewer::EnsureHelpWindow() {
    if (window_)
        return true;
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    RECT place;
    if (!LoadPlace(place))
        place = PlaceBesideWizard(::MulDiv(640, dpi, 96), ::MulDiv(460, dpi, 96));
    const bool chosen = place.left != CW_USEDEFAULT;
    window_ = ::CreateWindowExA(0, kHelpWindowClass, kHelpMessageCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                place.left, place.top, chosen ? place.right - place.left : ::MulDiv(640, dpi, 96),
                                chosen ? place.bottom - place.top : ::MulDiv(460, dpi, 96), nullptr, nullptr,
                                instance_, this);
    return window_ != nullptr;
}

void HelpViewer::CreateChildren(HWND hwnd) {
    auto make = [&](DWORD exStyle, const char* cls, const char* text, DWORD style, int id) {
        HWND child = ::CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(id == IDC_HelpTitle ? boldFont_.get() : font_.get()),
                       FALSE);
        return child;
    };
    contentsButton_ = make(0, "BUTTON", "&Contents", WS_TABSTOP | BS_PUSHBUTTON, IDC_HelpContents);
    backButton_ = make(0, "BUTTON", "&Back", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, IDC_HelpBack);
    topicList_ = make(WS_EX_CLIENTEDGE, "LISTBOX", "",
                      WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, IDC_HelpTopicList);
    titleLabel_ = make(0, "STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, IDC_HelpTitle);
    textBox_ = make(WS_EX_CLIENTEDGE, "EDIT", "",
                    WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, IDC_HelpText);

    for (const HelpTopic& topic : file_.topics()) {
        LRESULT index = ::SendMessageA(topicList_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(topic.title.c_str()));
        if (index >= 0)
            ::SendMessageA(topicList_, LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(topic.context));
    }
}

void HelpViewer::Layout() {
    RECT rc;
    ::GetClientRect(window_, &rc);
    const int width = rc.right, height = rc.bottom;
    const int below = kMargin + kButtonHeight + kMargin;
    ::MoveWindow(contentsButton_, kMargin, kMargin, kButtonWidth, kButtonHeight, TRUE);
    ::MoveWindow(backButton_, kMargin + kButtonWidth + kMargin, kMargin, kButtonWidth, kButtonHeight, TRUE);
    ::MoveWindow(topicList_, kMargin, below, kListWidth, height - below - kMargin, TRUE);
    const int right = kMargin + kListWidth + kMargin;
    const int textWidth = width - right - kMargin;
    ::MoveWindow(titleLabel_, right, below, textWidth, kTitleHeight, TRUE);
    const int textTop = below + kTitleHeight + 4;
    ::MoveWindow(textBox_, right, textTop, textWidth, height - textTop - kMargin, TRUE);
}

LRESULT CALLBACK HelpViewer::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<HelpViewer*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    try {
        return self->OnWindowMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT HelpViewer::OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        window_ = hwnd;
        CreateChildren(hwnd);
        Layout();
        return 0;
    case WM_SIZE:
        if (textBox_)
            Layout();
        return 0;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = 400;
        info->ptMinTrackSize.y = 260;
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        // The text is read-only but should read like a page, not like a
        // disabled field.
        if (reinterpret_cast<HWND>(lParam) == textBox_) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            // Escape closes the help window, as it closes a dialog.
            Quit();
            return 0;
        case IDC_HelpContents:
            if (HIWORD(wParam) == BN_CLICKED)
                ShowTopic(kHelpContentsContext, true);
            return 0;
        case IDC_HelpBack:
            if (HIWORD(wParam) == BN_CLICKED)
                GoBack();
            return 0;
        case IDC_HelpTopicList:
            if (HIWORD(wParam) == LBN_SELCHANGE) {
                LRESULT index = ::SendMessageA(topicList_, LB_GETCURSEL, 0, 0);
                if (index != LB_ERR)
                    ShowTopic(static_cast<unsigned long>(::SendMessageA(topicList_, LB_GETITEMDATA, index, 0)), true);
            }
            return 0;
        }
        return 0;
    case WM_CLOSE:
        // Closing the help window ends the viewer, as the help engine did;
        // the next request starts it again.
        Quit();
        return 0;
    case WM_DESTROY:
        if (hwnd == window_) {
            window_ = nullptr;
            contentsButton_ = backButton_ = topicList_ = titleLabel_ = textBox_ = nullptr;
        }
        return 0;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

namespace {

BOOL CALLBACK EndMessageBox(HWND hwnd, LPARAM) {
    char cls[16] = {};
    if (::GetClassNameA(hwnd, cls, sizeof cls) && lstrcmpA(cls, "#32770") == 0)
        ::EndDialog(hwnd, IDCANCEL);
    return TRUE;
}

}  // namespace

void HelpViewer::Quit() {
    if (quitting_)
        return;
    quitting_ = true;
    pending_.clear();
    popup_.Close();
    if (window_) {
        SavePlace(window_);
        ::DestroyWindow(window_);
    }
    // A "not found" message may still be open; it must not keep the viewer alive.
    ::EnumThreadWindows(::GetCurrentThreadId(), &EndMessageBox, 0);
    if (server_)
        ::DestroyWindow(server_);
    ::PostQuitMessage(0);
}

}  // namespace movix
