// A modal message box with OK and Help buttons whose Help reaches the
// caller. (The system's box cannot be relied on for its Help button: Wine's
// draws it and does nothing when it is pressed, where Windows sends the
// owner WM_HELP.)
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace movix {

enum class BoxIcon { Information, Warning, Error };

// Shows the box and returns when it is closed (IDOK or IDCANCEL). The text
// control has the identifier 0xFFFF, the buttons IDOK and IDHELP, like the
// system's box. `onHelp` runs while the box stays open.
int HelpMessageBox(HWND owner, const std::string& text, const std::string& caption, BoxIcon icon,
                   const std::function<void()>& onHelp);

}  // namespace movix
