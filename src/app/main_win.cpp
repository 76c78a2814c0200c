// Program entry: the platform code, the application, the one main window
// and the message loop.
#include <windows.h>
#include <commctrl.h>

#include "app/main_window_win.h"
#include "platform/platform_code.h"
#include "platform/com_ptr_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    movix::DetectPlatform();

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The folder chooser and the file dialogs need OLE on this thread.
    movix::OleInit ole;

    movix::TForm1* form = movix::TForm1::Create(instance, showCommand);
    if (!form)
        return 1;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (form->Handle() && form->PreTranslateMessage(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // Worker threads still running are ended with the process; nobody waits
    // for them.
    delete form;
    return static_cast<int>(msg.wParam);
}
