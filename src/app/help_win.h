// The program's side of help: requests to the help viewer movixhlp.exe,
// which shows topics and popups of the help file (see app/help_file.h for
// the file, app/help_protocol.h for what travels between the two).
#pragma once

#include <windows.h>

#include <string>

namespace movix {

// Shaped like the Windows help call. command: HELP_CONTEXT (1) shows the
// topic of context `data` in the help window, HELP_CONTEXTPOPUP (8) shows
// its popup beside the mouse pointer, HELP_QUIT (2) closes the viewer;
// HELP_CONTENTS (3) and HELP_FINDER (11) show the contents topic.
// A viewer already serving the same help file takes the request; otherwise
// movixhlp.exe is started from the running program's folder and waited for
// (a few seconds at most). A context the file lacks is reported by the
// viewer to the user, and the request still counts as delivered.
// Returns false when the help file does not exist (the viewer is started
// all the same, to tell the user), when the viewer cannot be started or
// does not answer, and for unknown commands. HELP_QUIT never starts the
// viewer and returns at once when none is running. `owner` is accepted for
// the shape of the call; the viewer's windows are its own.
bool WinHelpRequest(HWND owner, const std::string& helpFile, unsigned command, unsigned long data);

// The same without waiting: the request is handed to a worker thread that
// starts the viewer when needed, so the calling window keeps answering
// meanwhile. Requests are delivered in the order made. True when the request
// was handed on. HELP_QUIT drops what was not yet delivered and is made at
// once (waiting briefly for a viewer being started, so that it quits too).
bool WinHelpRequestInBackground(HWND owner, const std::string& helpFile, unsigned command, unsigned long data);
// The same with the viewer program named explicitly.
bool WinHelpRequestWithViewer(const std::string& viewerExe, HWND owner, const std::string& helpFile,
                              unsigned command, unsigned long data);

// movixhlp.exe in the folder of the running program.
std::string DefaultHelpViewerPath();

// The next popup request shows its popup at this screen point (below a
// control, say) instead of at the mouse pointer; used once.
void SetHelpPopupPosition(POINT screenPoint);

// The viewer now serving a help file (its hidden server window), or null.
HWND FindHelpViewer(const std::string& helpFile);

}  // namespace movix
