// The window's controls, given as data: where each one stands at the design
// size, what it says and which help context it carries.
#pragma once

#include <windows.h>

namespace movix {

enum class CtlKind {
    Heading,     // bold title at the top of a page
    Label,       // plain text
    RightLabel,  // text aligned to the right, before an edit field
    Panel,       // sunken read-only text
    Edit,
    Button,
    DefaultButton,
    Check,
    RadioGroup,  // group box holding radio items
    ListBox,
    LogBox,      // fixed-pitch list box with a horizontal scroll bar
    ListView,
    Indicator,   // owner-drawn light
    Browse,      // owner-drawn symbol button
    Notebook,
    Progress,    // progress bar, hidden until used
};

// The range of a progress bar: the move's fraction done, in thousandths.
constexpr int kMoveProgressSteps = 1000;

// Where a control lives: a page of NotebookMain, a page of NotebookSub, or
// the window itself.
constexpr int kOnWindow = -1;
constexpr int kOnSubPage = 100;  // kOnSubPage + sub-page index

struct ControlSpec {
    int parent;
    CtlKind kind;
    int id;
    const char* text;
    int x, y, w, h;
    int helpContext;
};

extern const ControlSpec kControls[];
extern const int kControlCount;

struct RadioSpec {
    int groupId;
    const char* caption;
    const char* items[5];
};
extern const RadioSpec kRadioGroups[7];

// Page facts: caption (identifier), heading and help context.
struct PageSpec {
    const char* name;
    const char* heading;
    int helpContext;
};
extern const PageSpec kPages[13];
extern const PageSpec kSubPages[3];

}  // namespace movix
