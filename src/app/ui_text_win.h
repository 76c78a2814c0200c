// Text helpers that need the window system.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/ui_text.h"

namespace movix {

std::string WindowText(HWND hwnd);
std::string ModuleFileName();
// The folder the program was started from, without a trailing backslash.
std::string ProgramFolder();
// Every string of a list box, in order.
std::vector<std::string> ListBoxStrings(HWND listBox);
std::string LoadResourceString(HINSTANCE instance, unsigned id);
// The application's standard error box: the error's message, an error icon.
void ShowErrorBox(HWND owner, const std::string& message);

}  // namespace movix
