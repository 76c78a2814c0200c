#include "platform/context_help_mode_win.h"

#include <windowsx.h>

namespace movix {

namespace {

// The deepest visible child of `top` under the screen point, or `top`.
HWND DeepestChildAt(HWND top, POINT screen) {
    HWND w = top;
    for (;;) {
        POINT local = screen;
        ScreenToClient(w, &local);
        HWND child = ChildWindowFromPointEx(w, local, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        if (!child || child == w)
            return w;
        w = child;
    }
}

}  // namespace

HWND RunContextHelpMode(HWND window, POINT* clickedAt) {
    SetCapture(window);
    SetCursor(LoadCursor(nullptr, IDC_HELP));
    HWND target = nullptr;
    bool done = false;
    MSG msg;
    while (!done && GetCapture() == window && GetMessageW(&msg, nullptr, 0, 0)) {
        switch (msg.message) {
        case WM_LBUTTONDOWN:
        case WM_NCLBUTTONDOWN: {
            POINT pt = {GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
            if (msg.message == WM_LBUTTONDOWN)
                ClientToScreen(msg.hwnd, &pt);
            HWND w = WindowFromPoint(pt);
            if (w == window || IsChild(window, w))
                target = DeepestChildAt(w, pt);
            if (clickedAt != nullptr)
                *clickedAt = pt;
            done = true;
            break;
        }
        case WM_KEYDOWN:
            if (msg.wParam == VK_ESCAPE)
                done = true;
            break;
        case WM_RBUTTONDOWN:
        case WM_NCRBUTTONDOWN:
            done = true;
            break;
        case WM_MOUSEMOVE:
        case WM_NCMOUSEMOVE:
        case WM_SETCURSOR:
            SetCursor(LoadCursor(nullptr, IDC_HELP));
            break;
        case WM_QUIT:
            PostQuitMessage(static_cast<int>(msg.wParam));
            done = true;
            break;
        default:
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            break;
        }
    }
    if (GetCapture() == window)
        ReleaseCapture();
    return target;
}

}  // namespace movix
