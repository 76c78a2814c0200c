// The context-help mode of a window's "?" button: the pointer becomes the
// help cursor and the next click names the control to explain. Windows runs
// this mode itself when DefWindowProc receives SC_CONTEXTHELP and then sends
// the control WM_HELP; Wine accepts the command and does nothing, so the
// program runs the mode on its own.
#pragma once

#include <windows.h>

namespace movix {

// Runs the mode for `window` until a click, Esc, a right click or the loss
// of the mouse capture ends it. Returns the deepest visible control of
// `window` under the click, or null when the mode ended another way or the
// click fell outside the window. A WM_QUIT met meanwhile is posted again.
// `clickedAt`, when given, receives the click's point on the screen.
HWND RunContextHelpMode(HWND window, POINT* clickedAt = nullptr);

}  // namespace movix
