// The unattended mode: the wizard's search and replacement (and Restore)
// started from a command line, with no window, reporting on the console that
// started it and in the files named. See UnattendedUsage for the switches.
#pragma once

#include <windows.h>

namespace movix {

// Runs what the process's command line asks for when it asks for an
// unattended run (or its usage), and gives the exit code; false when the
// command line is for the window (no arguments, or "CleanRegistry").
bool RunFromCommandLine(HINSTANCE instance, int& exitCode);

}  // namespace movix
