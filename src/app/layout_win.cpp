#include "app/layout_win.h"

#include "resource.h"

namespace movix {

const PageSpec kPages[13] = {
    {"FromAndTo", "OLD AND NEW ADDRESS", 2},
    {"IniFiles", "INI FILE OPTIONS", 3},
    {"Groups", "PROGMAN GROUP OPTIONS", 4},
    {"Shortcuts", "SHORTCUT OPTIONS", 5},
    {"RegistryKeys", "REGISTRY OPTIONS", 6},
    {"IgnoreKeys", "REGISTRY KEYS TO IGNORE", 7},
    {"Confirm", "SEARCH OPTIONS SUMMARY", 8},
    {"Search", "", 9},
    {"FinalPage", "SEARCH COMPLETE", 12},
    {"Replacing", "REPLACING", 13},
    {"FinalFinal", "DONE", 14},
    {"ConfigFiles", "CONFIGURATION FILE OPTIONS", 61},
    {"ServicesTasks", "SERVICE AND TASK OPTIONS", 80},
};

const PageSpec kSubPages[3] = {
    {"Searching", "SEARCHING", 9},
    {"SearchResults", "SEARCH RESULTS", 10},
    {"Searched", "SAVE FOUND ITEMS LIST", 11},
};

const RadioSpec kRadioGroups[7] = {
    {IDC_rgIniFiles,
     "Search INI Files",
     {"&No INI files", "&WIN.INI and SYSTEM.INI only", "All INI files &in the Windows folder",
      "All INI files in and &below the Windows folder", "All INI files in &all folders"}},
    {IDC_rgGroups, "Search ProgMan Groups", {"&No groups", "&All groups"}},
    {IDC_rgShortcuts,
     "Search Shortcuts",
     {"&No shortcuts", "Shortcuts &in Start Menu and Desktop only", "All shortcuts in and &below the Windows folder",
      "All shortcuts in &all folders"}},
    {IDC_rgRegistry,
     "Search Registry",
     {"&None of the Registry", "HKC&R and HKCU", "HKCR, HKCU, and HKC&C", "&All of the Registry"}},
    {IDC_rgConfigs,
     "Search Configuration Files",
     {"&No configuration files", "Only in the &New folder", "In the New folder and your &data folders",
      "In the New folder and &every user's data folders", "In &all folders"}},
    {IDC_rgServices, "Search Services", {"&No services", "All services and &drivers"}},
    {IDC_rgTasks, "Search Scheduled Tasks", {"N&o scheduled tasks", "All scheduled &tasks"}},
};

namespace {
const char kSkipCaption[] = "&Skip this page in the future";
}

// Coordinates are pixels at the design size (540 by 312), relative to the
// page (or sub-page) they stand on.
const ControlSpec kControls[] = {
    // Page FromAndTo
    {0, CtlKind::Label, 0,
     "Movix 32 will update your 32-bit Windows system after you move a program to a new drive or directory. "
     "It will search your INI files, ProgMan groups, shortcuts, and the Registry for references to the Old address.",
     88, 32, 432, 44, 0},
    {0, CtlKind::Label, 0,
     "Enter the full path name for Old and New address. A green light button means all is well; yellow means "
     "Movix 32 has a warning; red indicates a possible problem. Press the button for details.",
     120, 84, 400, 44, 0},
    {0, CtlKind::Indicator, IDC_btnInputOk, "", 88, 132, 25, 25, 55},
    {0, CtlKind::Indicator, IDC_btnInputHmm, "", 88, 132, 25, 25, 56},
    {0, CtlKind::Indicator, IDC_btnInputBad, "", 88, 132, 25, 25, 54},
    {0, CtlKind::RightLabel, 0, "&Old:", 30, 164, 54, 17, 0},
    {0, CtlKind::Edit, IDC_EditOldAddress, "", 88, 161, 386, 21, 23},
    {0, CtlKind::Browse, IDC_btnBrowseDirFrom, "0", 476, 162, 24, 24, 36},
    {0, CtlKind::Browse, IDC_btnBrowseFileFrom, "2", 501, 162, 24, 24, 37},
    {0, CtlKind::RightLabel, 0, "&New:", 30, 190, 54, 17, 0},
    {0, CtlKind::Edit, IDC_EditNewAddress, "", 88, 187, 386, 21, 24},
    {0, CtlKind::Browse, IDC_btnBrowseDirTo, "0", 476, 189, 24, 24, 38},
    {0, CtlKind::Browse, IDC_btnBrowseFileTo, "2", 501, 189, 24, 24, 39},
    // Access keys: B and N are taken on some pages ("&below", "&New:"), so
    // Back and Next take K and X.
    {0, CtlKind::Check, IDC_cbShowAll, "&Show all pages", 88, 224, 130, 17, 22},
    {0, CtlKind::Check, IDC_cbMoveFolder, "&Move the folder from Old to New for me", 222, 224, 303, 17, 58},

    // Page IniFiles
    {1, CtlKind::Label, 0,
     "Where should Movix 32 search for INI files? The last option (all folders) is the safest, as many programs "
     "keep INI files in the program folder. However, it also takes the most time.",
     88, 32, 432, 44, 0},
    {1, CtlKind::RadioGroup, IDC_rgIniFiles, "", 88, 84, 330, 124, 26},
    {1, CtlKind::Check, IDC_cbSkipIniFiles, kSkipCaption, 88, 224, 250, 17, 25},

    // Page Groups
    {2, CtlKind::Label, 0,
     "Windows NT 3.51 uses ProgMan groups. Windows 95 and Windows NT 4 do not. As a general rule, you should "
     "always search ProgMan groups under Windows NT 3.51.",
     88, 32, 432, 44, 0},
    {2, CtlKind::RadioGroup, IDC_rgGroups, "", 88, 84, 330, 64, 27},
    {2, CtlKind::Check, IDC_cbSkipGroups, kSkipCaption, 88, 224, 250, 17, 25},

    // Page Shortcuts
    {3, CtlKind::Label, 0,
     "Windows NT 3.51 does not use shortcuts. Under Windows 95 or Windows NT 4, you can choose where Movix 32 "
     "should search for shortcuts. Note that the Start Menu and Desktop are found below the Windows folder.",
     88, 32, 432, 44, 0},
    {3, CtlKind::RadioGroup, IDC_rgShortcuts, "", 88, 84, 330, 104, 28},
    {3, CtlKind::Check, IDC_cbSkipShortcuts, kSkipCaption, 88, 224, 250, 17, 25},

    // Page RegistryKeys
    {4, CtlKind::Label, 0,
     "How much of the Registry should Movix 32 search? Searching the entire Registry is safest, but takes "
     "longest. You may choose to search only the most-used branches of the Registry.",
     88, 32, 432, 44, 0},
    {4, CtlKind::RadioGroup, IDC_rgRegistry, "", 88, 84, 330, 104, 29},
    {4, CtlKind::Check, IDC_cbSkipRegistry, kSkipCaption, 88, 224, 250, 17, 25},

    // Page IgnoreKeys
    {5, CtlKind::Label, 0,
     "The keys listed here will be skipped by Movix 32. To add to this list, you must edit Movix 32's own "
     "Registry data (see the Help).",
     88, 32, 432, 30, 0},
    {5, CtlKind::ListBox, IDC_lbIgnoreKey, "", 88, 64, 436, 118, 31},
    {5, CtlKind::Label, 0,
     "This page is normally hidden: its skip box stays checked and cannot be unchecked. Check Show all pages "
     "on the first page to see it again.",
     88, 188, 432, 30, 0},
    {5, CtlKind::Check, IDC_cbSkipIgnoreKeys, "Skip this page in the future", 88, 224, 250, 17, 30},

    // Page Confirm
    {6, CtlKind::Label, 0,
     "You have chosen the following options for Movix 32. Review them now. If any are incorrect, press Prev "
     "to go back and change them.",
     88, 32, 432, 30, 0},
    {6, CtlKind::Heading, 0,
     "Note that once you press Next to continue from this page, the search begins and you can no longer go "
     "back. However, you can still choose not to make any changes.",
     88, 64, 432, 44, 0},
    // One line a kind below IN:, close enough for all of them to fit.
    {6, CtlKind::Label, 0, "Find:", 88, 110, 86, 15, 0},
    {6, CtlKind::Label, IDC_lblFrom, "", 176, 110, 344, 15, 0},
    {6, CtlKind::Label, IDC_lblReplace, "Replace with:", 88, 125, 86, 15, 0},
    {6, CtlKind::Label, IDC_lblTo, "", 176, 125, 344, 15, 0},
    {6, CtlKind::Label, 0, "IN:", 88, 142, 86, 15, 0},
    {6, CtlKind::Label, IDC_lblIni, "", 176, 142, 344, 15, 0},
    {6, CtlKind::Label, IDC_lblGroup, "", 176, 157, 344, 15, 0},
    {6, CtlKind::Label, IDC_lblShortcut, "", 176, 172, 344, 15, 0},
    {6, CtlKind::Label, IDC_lblRegistry, "", 176, 187, 344, 15, 0},
    {6, CtlKind::Label, IDC_lblConfigs, "", 176, 202, 344, 15, 0},
    // Services and tasks share a line, so that the move has the last one.
    {6, CtlKind::Label, IDC_lblServices, "", 176, 217, 170, 15, 0},
    {6, CtlKind::Label, IDC_lblTasks, "", 350, 217, 170, 15, 0},
    {6, CtlKind::Label, IDC_lblMoveHead, "Move:", 88, 232, 86, 15, 0},
    {6, CtlKind::Label, IDC_lblMove, "", 176, 232, 344, 15, 0},

    // Page Search: the sub-notebook above the found list.
    {7, CtlKind::Notebook, IDC_NotebookSub, "", 88, 0, 440, 100, 9},
    {7, CtlKind::ListView, IDC_lvFound, "", 2, 100, 528, 146, 32},
    {kOnSubPage + 0, CtlKind::Label, IDC_lblSearchType, "Now searching for", 0, 32, 432, 16, 0},
    {kOnSubPage + 0, CtlKind::Label, IDC_lblSearchIn, "in", 0, 52, 432, 30, 0},
    {kOnSubPage + 1, CtlKind::Label, IDC_lblFoundINI, "", 0, 26, 210, 15, 0},
    {kOnSubPage + 1, CtlKind::Label, IDC_lblFoundGroup, "", 0, 40, 210, 15, 0},
    {kOnSubPage + 1, CtlKind::Label, IDC_lblFoundShortcut, "", 216, 26, 216, 15, 0},
    {kOnSubPage + 1, CtlKind::Label, IDC_lblFoundReg, "", 216, 40, 216, 15, 0},
    {kOnSubPage + 1, CtlKind::Label, IDC_lblFoundSvc, "", 0, 54, 210, 15, 0},
    {kOnSubPage + 1, CtlKind::Label, IDC_lblFoundTsk, "", 216, 54, 216, 15, 0},
    // Beside the heading, which is made narrower on this sub-page, level
    // with its top.
    {kOnSubPage + 1, CtlKind::Label, IDC_lblFoundCfg, "", 216, 8, 216, 15, 0},
    {kOnSubPage + 1, CtlKind::Label, IDC_lblFoundHint,
     "To change Y to N or back, double-click item or press space bar. Optionally select multiple items and "
     "right-click.",
     0, 68, 432, 32, 0},
    // In the hint's place when a search left something out (shown then only).
    {kOnSubPage + 1, CtlKind::Label, IDC_lblSearchNotes, "", 0, 68, 432, 32, 0},
    {kOnSubPage + 2, CtlKind::Label, 0,
     "Press the Save List button if you wish to retain a record of the found items list displayed below. The "
     "list will be saved as a table in a Rich Text Format file. Only items marked Y will be saved.",
     0, 32, 432, 54, 0},
    // Beside the heading, as Save Log on the last page: the explanation
    // below it then has the sub-page's whole width.
    {kOnSubPage + 2, CtlKind::Button, IDC_BtnSaveList, "&Save List", 336, 4, 73, 25, 33},

    // Page FinalPage
    {8, CtlKind::Label, 0,
     "If the New address line below is empty, the Next button will be disabled. If it is not empty, pressing "
     "Next will begin replacing the Old address with the New address in every item marked Y.",
     88, 32, 432, 44, 0},
    {8, CtlKind::RightLabel, 0, "Old:", 30, 102, 54, 17, 0},
    {8, CtlKind::Panel, IDC_pnlShowFromString, "", 88, 100, 417, 21, 34},
    {8, CtlKind::RightLabel, 0, "&New:", 30, 130, 54, 17, 0},
    {8, CtlKind::Edit, IDC_EditNewAddressAgain, "", 88, 128, 417, 21, 35},
    // Offered when the folder is moved (its row marked Y).
    {8, CtlKind::Check, IDC_cbLeaveJunction, "Leave a &junction at Old that leads to New", 88, 160, 417, 17, 91},
    // Shown when the folder is moved: how, before anything happens.
    {8, CtlKind::Label, IDC_lblMoveHow, "", 88, 184, 417, 44, 0},

    // Page Replacing
    {9, CtlKind::Label, 0,
     "Movix 32 is now processing the list of matches, replacing each occurrence of the Old address string "
     "with the New address string. ",
     88, 32, 432, 44, 0},
    {9, CtlKind::Label, 0, "Now replacing...", 88, 92, 432, 16, 0},
    {9, CtlKind::Label, IDC_lblRepType, "", 88, 112, 432, 16, 0},
    {9, CtlKind::Label, IDC_lblRepItem, "", 88, 132, 432, 32, 0},
    {9, CtlKind::Progress, IDC_pbMove, "", 88, 172, 432, 18, 92},

    // Page FinalFinal
    {10, CtlKind::Label, 0,
     "Movix 32 has finished updating all relevant Windows elements. The list below logs its activity and any "
     "problems. Please review it now, and press Save Log to save it to a file.",
     88, 32, 432, 44, 0},
    {10, CtlKind::Button, IDC_btnSaveLog, "&Save Log", 427, 4, 73, 25, 53},
    {10, CtlKind::Button, IDC_btnRestore, "&Restore", 347, 4, 73, 25, 60},
    {10, CtlKind::LogBox, IDC_lbReport, "", 88, 80, 437, 160, 52},

    // Page ConfigFiles
    {11, CtlKind::Label, 0,
     "Programs of today also keep their folder in settings files (.json, .xml, .config and the like), in "
     "their own folder and in the data folders. Where should Movix 32 search them?",
     88, 32, 432, 44, 0},
    {11, CtlKind::RadioGroup, IDC_rgConfigs, "", 88, 84, 330, 124, 62},
    {11, CtlKind::Check, IDC_cbSkipConfigs, kSkipCaption, 88, 224, 250, 17, 25},

    // Page ServicesTasks
    {12, CtlKind::Label, 0,
     "Services and scheduled tasks start a program by its path too. Movix 32 reads them from the service "
     "manager and the Task Scheduler and changes them through these. Which should it search?",
     88, 32, 432, 44, 0},
    {12, CtlKind::RadioGroup, IDC_rgServices, "", 88, 80, 330, 64, 81},
    {12, CtlKind::RadioGroup, IDC_rgTasks, "", 88, 150, 330, 64, 82},
    {12, CtlKind::Check, IDC_cbSkipServicesTasks, kSkipCaption, 88, 224, 250, 17, 25},
};

const int kControlCount = static_cast<int>(sizeof kControls / sizeof kControls[0]);

}  // namespace movix
