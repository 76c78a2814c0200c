// Text helpers that need the window system.
#pragma once

#include <windows.h>

#include <string>

#include "app/ui_text.h"

namespace movix {

std::string WindowText(HWND hwnd);
std::string ModuleFileName();
std::string LoadResourceString(HINSTANCE instance, unsigned id);
// The application's standard error box: the error's message, an error icon.
void ShowErrorBox(HWND owner, const std::string& message);

}  // namespace movix
