#include "help_viewer_win.h"

namespace movix {

namespace {

constexpr int kPopupMargin = 8;
constexpr int kPopupTextWidth = 320;
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchIntervalMs = 100;

HelpRect WorkAreaAt(POINT pointer) {
    HelpRect area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoA(::MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST), &info))
        area = {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
    return area;
}

bool AnyMouseButtonDown() {
    return (::GetAsyncKeyState(VK_LBUTTON) | ::GetAsyncKeyState(VK_RBUTTON) | ::GetAsyncKeyState(VK_MBUTTON)) & 0x8000;
}

}  // namespace

bool HelpPopupWindow::Register(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DROPSHADOW | CS_SAVEBITS;
    wc.lpfnWndProc = &HelpPopupWindow::Proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = ::GetSysColorBrush(COLOR_INFOBK);
    wc.lpszClassName = kHelpPopupClass;
    return ::RegisterClassExA(&wc) != 0;
}

void HelpPopupWindow::Show(HINSTANCE instance, const std::string& text, POINT pointer, HFONT font) {
    Close();
    text_ = text;
    font_ = font;

    // Measure the wrapped text in the font it is drawn with.
    RECT textRect = {0, 0, kPopupTextWidth, 0};
    if (HDC dc = ::GetDC(nullptr)) {
        HGDIOBJ old = ::SelectObject(dc, font_);
        ::DrawTextA(dc, text_.c_str(), -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        ::SelectObject(dc, old);
        ::ReleaseDC(nullptr, dc);
    }
    RECT frame = {0, 0, textRect.right + 2 * kPopupMargin, textRect.bottom + 2 * kPopupMargin};
    ::AdjustWindowRectEx(&frame, WS_POPUP | WS_BORDER, FALSE, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    int left = 0, top = 0;
    PlacePopup(pointer.x, pointer.y, width, height, WorkAreaAt(pointer), left, top);

    previousForeground_ = ::GetForegroundWindow();
    wasActive_ = false;
    buttonsReleased_ = false;
    // The window's title is its text, so that whoever looks at the popup
    // (a screen reader, a test) can read it.
    HWND hwnd = ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kHelpPopupClass, text_.c_str(),
                                  WS_POPUP | WS_BORDER, left, top, width, height, nullptr, nullptr, instance, this);
    if (!hwnd)
        return;
    hwnd_ = hwnd;
    ::ShowWindow(hwnd, SW_SHOW);
    ::SetForegroundWindow(hwnd);
    ::SetTimer(hwnd, kWatchTimer, kWatchIntervalMs, nullptr);
}

void HelpPopupWindow::Close() {
    if (hwnd_) {
        HWND hwnd = hwnd_;
        hwnd_ = nullptr;
        ::DestroyWindow(hwnd);
    }
}

// Closing by a click or a key hands the activation back to the window that
// had it, so the user goes on where the popup was asked for.
void HelpPopupWindow::Dismiss(HWND hwnd, bool giveBackActivation) {
    HWND previous = previousForeground_;
    if (hwnd == hwnd_)
        Close();
    else
        ::DestroyWindow(hwnd);
    if (giveBackActivation && previous && ::IsWindow(previous))
        ::SetForegroundWindow(previous);
}

LRESULT CALLBACK HelpPopupWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<HelpPopupWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    try {
        return self->OnMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT HelpPopupWindow::OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        RECT rc;
        ::GetClientRect(hwnd, &rc);
        ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_INFOBK));
        ::InflateRect(&rc, -kPopupMargin, -kPopupMargin);
        HGDIOBJ old = ::SelectObject(dc, font_);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(COLOR_INFOTEXT));
        ::DrawTextA(dc, text_.c_str(), -1, &rc, DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        ::SelectObject(dc, old);
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        Dismiss(hwnd, true);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
        else
            wasActive_ = true;
        return 0;
    case WM_TIMER:
        // Should the popup not have received the activation (the system may
        // refuse it), it still goes as soon as the user acts elsewhere.
        if (wParam == kWatchTimer) {
            HWND foreground = ::GetForegroundWindow();
            bool elsewhere = foreground != hwnd && (wasActive_ || foreground != previousForeground_);
            // A button still held from the click that asked for help does not count.
            bool buttonDown = AnyMouseButtonDown();
            bool newClick = !wasActive_ && buttonsReleased_ && buttonDown;
            if (!buttonDown)
                buttonsReleased_ = true;
            if (elsewhere || newClick)
                Dismiss(hwnd, false);
        }
        return 0;
    case WM_CLOSE:
        Dismiss(hwnd, false);
        return 0;
    case WM_DESTROY:
        ::KillTimer(hwnd, kWatchTimer);
        if (hwnd == hwnd_)
            hwnd_ = nullptr;
        return 0;
    case WM_NCDESTROY:
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        break;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace movix
