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
// Where the saved reports start: the user's documents folder, as for the
// undo journal (the program's folder is seldom writable); the program's
// folder where the shell names none.
std::string DocumentsFolder();
// Every string of a list box, in order.
std::vector<std::string> ListBoxStrings(HWND listBox);
std::string LoadResourceString(HINSTANCE instance, unsigned id);
// The application's standard error box: the error's message, an error icon.
void ShowErrorBox(HWND owner, const std::string& message);
// The date and time that head a log, the window's and the command line's
// alike: the locale's full day and month names, read wide, so that names
// outside ASCII come out right whatever the process code page.
std::string LogDateText(const SYSTEMTIME& now, const wchar_t* locale = LOCALE_NAME_USER_DEFAULT);

}  // namespace movix
