// Program entry: the platform code, the application, the one main window
// and the message loop.
#include <windows.h>
#include <commctrl.h>

#include "app/main_window_win.h"
#include "app/unattended_win.h"
#include "core/search_thread_win.h"
#include "platform/platform_code.h"
#include "platform/com_ptr_win.h"
#include "platform/message_pump_win.h"

namespace {

// Search threads still running were asked to stop (the window closed, or
// Ctrl+C), and nothing waits for them on this thread any more. Give them a
// moment to leave: a thread cut off by the end of the process while it holds
// a lock of the system's (the shell's, COM's, the loader's) can leave the
// process hanging invisibly instead of ending. One that does not stop in
// time is ended with the process.
void LetSearchThreadsLeave() {
    for (int waited = 0; movix::TMovixThread::RunningCount() != 0 && waited < 5000; waited += 20)
        Sleep(20);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    movix::DetectPlatform();

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The folder chooser and the file dialogs need OLE on this thread.
    movix::OleInit ole;

    // Switches on the command line run the search without the window.
    int exitCode = 0;
    if (movix::RunFromCommandLine(instance, exitCode)) {
        LetSearchThreadsLeave();
        return exitCode;
    }

    movix::TForm1* form = movix::TForm1::Create(instance, showCommand);
    if (!form)
        return 1;

    // The window's keyboard handling serves every pump of the program, the
    // nested ones of long work included.
    movix::SetMessageFilter(
        [](void* context, MSG& msg) {
            movix::TForm1* f = static_cast<movix::TForm1*>(context);
            return f->Handle() != nullptr && f->PreTranslateMessage(msg);
        },
        form);
    const int result = movix::RunMessageLoop();
    movix::SetMessageFilter(nullptr, nullptr);
    LetSearchThreadsLeave();
    delete form;
    return result;
}
