#include "platform/ui_dispatch_win.h"

#include <windows.h>

#include <atomic>
#include <deque>
#include <exception>
#include <utility>

namespace movix {

namespace {

constexpr UINT kDrainMessage = WM_APP + 0x2A1;
constexpr char kWindowClass[] = "Movix32UiDispatch";

struct Call {
    // A waited call borrows the caller's function; a posted one owns its own.
    const std::function<void()>* borrowed = nullptr;
    std::function<void()> owned;
    std::exception_ptr error;
    enum class State { Pending, Done, Dropped } state = State::Pending;
};

// Shared by the UI thread and the workers. Never destroyed: a worker may
// still be running while the program's static objects are torn down at exit.
struct DispatchState {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE finished = CONDITION_VARIABLE_INIT;
    HWND window = nullptr;
    DWORD uiThreadId = 0;
    bool messagePosted = false;
    std::deque<Call*> queue;
    std::atomic<bool> shuttingDown{false};
};

DispatchState& State() {
    static DispatchState* state = new DispatchState;
    return *state;
}

class Lock {
public:
    explicit Lock(DispatchState& s) : s_(s) { ::AcquireSRWLockExclusive(&s_.lock); }
    ~Lock() { ::ReleaseSRWLockExclusive(&s_.lock); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    DispatchState& s_;
};

// Ends a call: a waited one wakes its worker, a posted one is freed.
// Called with the lock held.
void Finish(DispatchState& s, Call* call, Call::State state) {
    if (call->borrowed != nullptr) {
        call->state = state;
        ::WakeAllConditionVariable(&s.finished);
    } else {
        delete call;
    }
}

// Runs every queued call in order, each outside the lock.
void Drain() {
    DispatchState& s = State();
    {
        Lock lock(s);
        s.messagePosted = false;
    }
    for (;;) {
        Call* call;
        {
            Lock lock(s);
            if (s.queue.empty() || s.shuttingDown)
                return;
            call = s.queue.front();
            s.queue.pop_front();
        }
        // Nothing may unwind through the window procedure: the error goes
        // back to the worker that waits for this call.
        try {
            if (call->borrowed != nullptr)
                (*call->borrowed)();
            else
                call->owned();
        } catch (...) {
            call->error = std::current_exception();
        }
        Lock lock(s);
        Finish(s, call, Call::State::Done);
    }
}

LRESULT CALLBACK DispatchWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kDrainMessage) {
        Drain();
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

// Queues a call and makes sure a drain message is on its way. False when the
// dispatcher does not run; the call is then not queued.
bool Enqueue(DispatchState& s, Call* call) {
    if (s.shuttingDown || s.window == nullptr)
        return false;
    if (!s.messagePosted) {
        if (!::PostMessageA(s.window, kDrainMessage, 0, 0))
            return false;
        s.messagePosted = true;
    }
    s.queue.push_back(call);
    return true;
}

}  // namespace

void UiDispatcher::Init() {
    DispatchState& s = State();
    static const bool registered = [] {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DispatchWindowProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kWindowClass;
        return ::RegisterClassExA(&wc) != 0;
    }();
    (void)registered;
    HWND window = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    HWND old;
    {
        Lock lock(s);
        old = s.window;
        s.window = window;
        s.uiThreadId = ::GetCurrentThreadId();
        s.messagePosted = false;
        s.shuttingDown = false;
    }
    if (old != nullptr)
        ::DestroyWindow(old);
}

void UiDispatcher::Shutdown() {
    DispatchState& s = State();
    HWND window;
    {
        Lock lock(s);
        s.shuttingDown = true;
        for (Call* call : s.queue)
            Finish(s, call, Call::State::Dropped);
        s.queue.clear();
        window = s.window;
        s.window = nullptr;
    }
    if (window != nullptr)
        ::DestroyWindow(window);
}

bool UiDispatcher::Run(const std::function<void()>& call) {
    DispatchState& s = State();
    if (IsUiThread()) {
        if (s.shuttingDown || s.window == nullptr)
            return false;
        call();
        return true;
    }
    Call waited;
    waited.borrowed = &call;
    {
        Lock lock(s);
        if (!Enqueue(s, &waited))
            return false;
        while (waited.state == Call::State::Pending)
            ::SleepConditionVariableSRW(&s.finished, &s.lock, INFINITE, 0);
    }
    if (waited.state == Call::State::Dropped)
        return false;
    if (waited.error)
        std::rethrow_exception(waited.error);
    return true;
}

bool UiDispatcher::Post(std::function<void()> call) {
    DispatchState& s = State();
    Call* posted = new Call;
    posted->owned = std::move(call);
    Lock lock(s);
    if (!Enqueue(s, posted)) {
        delete posted;
        return false;
    }
    return true;
}

bool UiDispatcher::IsUiThread() {
    DispatchState& s = State();
    Lock lock(s);
    return s.window != nullptr && s.uiThreadId == ::GetCurrentThreadId();
}

bool IsAppShuttingDown() {
    return State().shuttingDown;
}

}  // namespace movix
