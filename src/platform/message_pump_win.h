// The program's one message pump. The main loop and every place where long
// work on the UI thread lets pending messages through (so that labels
// repaint and the window answers) hand each message on the same way: through
// the main window's keyboard handling, then to its window.
#pragma once

#include <windows.h>

namespace movix {

// The main window's key preview and dialog keyboard handling: true when it
// has consumed the message. Set while the window lives, cleared after.
using MessageFilter = bool (*)(void* context, MSG& msg);

struct MessagePumpState {
    MessageFilter filter = nullptr;
    void* context = nullptr;
};

inline MessagePumpState& PumpState() {
    static MessagePumpState state;
    return state;
}

inline void SetMessageFilter(MessageFilter filter, void* context) {
    PumpState().filter = filter;
    PumpState().context = context;
}

// Hands one message (not WM_QUIT) to the filter and then to its window.
// Wide, as the windows are: a character typed meanwhile reaches an edit
// whatever the process code page.
inline void DispatchWindowMessage(MSG& msg) {
    const MessagePumpState& state = PumpState();
    if (state.filter && state.filter(state.context, msg))
        return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

// Lets the pending messages through once. WM_QUIT is not ours to take: it
// is posted again for the loop that owns it, and the answer is false (the
// program is ending; no more messages are let through here).
inline bool ProcessPendingWindowMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        DispatchWindowMessage(msg);
    }
    return true;
}

// The program's main loop: runs until WM_QUIT and returns its exit code.
inline int RunMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            return 1;
        DispatchWindowMessage(msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace movix
