// The about box.
#include <windows.h>

#include "app/main_window_win.h"

namespace movix {

void TForm1::BtnAboutClick() {
    MessageBoxA(hwnd_, "Movix 32, version 1.01", "About Movix 32", MB_OK | MB_ICONINFORMATION);
}

}  // namespace movix
