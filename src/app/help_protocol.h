// What the program and its help viewer (movixhlp.exe) agree on.
//
// The viewer is one process per help file. It owns a hidden window of class
// kHelpServerClass whose title is the help file's full path; the program
// finds it by class and title and sends it requests as WM_COPYDATA with
// dwData kHelpRequestTag and a HelpRequestData as the data. The viewer is
// started as: movixhlp.exe "<full path of the help file>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace movix {

// The commands of the help requests, numbered as the Windows help API
// numbers them, so callers can pass HELP_CONTEXT and friends unchanged.
constexpr unsigned kHelpCommandContext = 1;       // show a topic in the help window
constexpr unsigned kHelpCommandQuit = 2;          // close the viewer
constexpr unsigned kHelpCommandContents = 3;      // the contents topic (context 0)
constexpr unsigned kHelpCommandContextPopup = 8;  // show a popup beside the pointer
constexpr unsigned kHelpCommandFinder = 11;       // the contents topic as well

constexpr unsigned long kHelpContentsContext = 0;

constexpr const char* kHelpServerClass = "MovixHelpServer";
constexpr const char* kHelpWindowClass = "MovixHelpWindow";
constexpr const char* kHelpPopupClass = "MovixHelpPopup";
constexpr const char* kHelpViewerExeName = "movixhlp.exe";
constexpr const char* kHelpWindowCaptionPrefix = "Movix 32 Help - ";
constexpr const char* kHelpMessageCaption = "Movix 32 Help";

// 'MXHL': marks a WM_COPYDATA as ours; anything else is ignored.
constexpr std::uintptr_t kHelpRequestTag = 0x4D58484Cu;

// Fixed-size fields only: the layout is the same in every build of either side.
struct HelpRequestData {
    std::uint32_t command;  // kHelpCommandContext, kHelpCommandContextPopup or kHelpCommandQuit
    std::uint32_t context;
    std::int32_t pointerX;  // pointer position in screen coordinates (popups)
    std::int32_t pointerY;
};

// Reads a received request; false for data of the wrong size or an unknown command.
bool DecodeHelpRequest(const void* data, std::size_t size, HelpRequestData& request);

struct HelpRect {
    int left, top, right, bottom;
};

// Where a popup of the given size goes: centred under the pointer a little
// below it, moved above the pointer when there is no room below, and kept
// inside the work area of the screen the pointer is on.
void PlacePopup(int pointerX, int pointerY, int width, int height, const HelpRect& workArea, int& left, int& top);

// Where the help window goes the first time: beside the wizard, on the side
// with room for it, so that the help and the page it explains are both seen.
// Without room for the full width on either side, the wider side takes a
// narrower window (down to kHelpWindowNarrowest); failing that, the room
// above or below the wizard takes a lower one (down to kHelpWindowLowest);
// only on a screen with room for neither does the window lie over the
// wizard, at the far side of the screen. Never larger than the work area.
constexpr int kHelpWindowNarrowest = 320;
constexpr int kHelpWindowLowest = 200;
HelpRect PlaceHelpWindow(const HelpRect& wizard, const HelpRect& workArea, int width, int height);

// The help file named on the viewer's command line: the first argument
// after the program name, quotes removed. Empty when there is none.
std::string HelpFileArgument(const std::string& commandLine);

}  // namespace movix
