// Running code on the UI thread from a worker thread and waiting for it.
//
// The UI thread owns a message-only window; a worker queues a call, posts a
// message to that window and sleeps until the UI thread's message loop has
// run the call. The main window sets this up when it is created and shuts it
// down when it closes: from then on no queued or later call runs, and every
// worker that waits is released at once, so a worker can never hold up the
// end of the program and nothing runs against a window that is gone.
#pragma once

#include <functional>

namespace movix {

class UiDispatcher {
public:
    // Makes the calling thread the UI thread and readies the dispatch window.
    // Clears the shutting-down state, so tests may set it up again.
    static void Init();

    // On the UI thread, when the application is shutting down: marks it so,
    // releases waiting workers without running their calls, and destroys the
    // dispatch window.
    static void Shutdown();

    // Runs `call` on the UI thread and returns once it has returned; on the
    // UI thread itself the call runs at once. An error that `call` raises is
    // raised again here. Returns false, without running `call`, when the
    // dispatcher is shut down or was never set up.
    static bool Run(const std::function<void()>& call);

    // Queues `call` to run on the UI thread after every call queued before
    // it, and returns at once. Dropped when the dispatcher shuts down first;
    // an error it raises is dropped. False when not queued.
    static bool Post(std::function<void()> call);

    static bool IsUiThread();
};

// True once the main window has started to close (UiDispatcher::Shutdown);
// readable on any thread.
bool IsAppShuttingDown();

}  // namespace movix
