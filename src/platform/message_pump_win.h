// Lets the application's pending window messages through once, from work that
// runs long on the UI thread (so that labels repaint).
#pragma once

#include <windows.h>

namespace movix {

// Wide, as the windows are: a character typed meanwhile reaches an edit
// whatever the process code page.
inline void ProcessPendingWindowMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: the message loop must still see it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace movix
