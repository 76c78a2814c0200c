// What the benchmarks share: a clock, and timing one search thread from its
// start to its end with this thread pumping the messages it sends.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

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

// The median of a round's figures (of the two middle ones, for an even count).
inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The arguments every tree benchmark takes: --root FOLDER and --rounds N.
inline void ReadBenchArguments(int argc, char** argv, std::string& root, int& rounds) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--root") && i + 1 < argc)
            root = argv[++i];
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
    }
}

// Writes a file of the generated trees whole; false when it could not.
inline bool WriteWhole(const std::string& name, const std::string& text) {
    HANDLE h = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == text.size();
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
