// What the benchmarks share: a clock, and timing one search thread from its
// start to its end with this thread pumping the messages it sends.
#pragma once

#include <windows.h>

#include <functional>

#include "core/search_thread_win.h"

inline double NowMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Starts a suspended, self-freeing search thread and returns the
// milliseconds until its OnTerminate ran; `onMessage` sees every message
// pumped meanwhile. Returns once the thread has gone, so rounds never overlap.
inline double TimeSearch(movix::TMovixThread* thread, const std::function<void(const MSG&)>& onMessage = {}) {
    bool done = false;
    thread->OnTerminate = [&done](movix::TMovixThread*) { done = true; };
    const double start = NowMs();
    thread->Resume();
    MSG msg;
    while (!done && ::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (onMessage)
            onMessage(msg);
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    const double ms = NowMs() - start;
    while (movix::TMovixThread::RunningCount() != 0)
        ::Sleep(1);
    return ms;
}
