// The main window: the wizard's eleven pages, the button bar and the page flow.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/run_callback.h"
#include "platform/handles.h"

namespace movix {

class TUndoRecorder;

class TFoundList;
class TSearchRunner;
class TDdeClientConv;
struct TReplaceGroup;

// Page indexes of NotebookMain and NotebookSub.
enum MainPage {
    kPageFromAndTo = 0,
    kPageIniFiles = 1,
    kPageGroups = 2,
    kPageShortcuts = 3,
    kPageRegistryKeys = 4,
    kPageIgnoreKeys = 5,
    kPageConfirm = 6,
    kPageSearch = 7,
    kPageFinalPage = 8,
    kPageReplacing = 9,
    kPageFinalFinal = 10,
    // Shown after the Registry's pages and before Confirm (see kPageOrder).
    kPageConfigFiles = 11,
    // Services and scheduled tasks, after the configuration files.
    kPageServicesTasks = 12,
    kPageCount = 13
};
// The pages in the order Next shows them.
extern const int kPageOrder[kPageCount];
enum SubPage { kSubSearching = 0, kSubSearchResults = 1, kSubSearched = 2, kSubPageCount = 3 };

// Posted to the main window: measure the log lines added since the last time.
constexpr UINT kMsgFlushLog = WM_APP + 0x2A2;

// Help viewer commands.
enum : unsigned { kHelpContext = 1, kHelpQuit = 2, kHelpContextPopup = 8 };

// The runs report to the window through IRunCallback; only the window
// touches its controls.
class TForm1 : public IRunCallback {
public:
    // Registers the window classes, creates the window and shows it.
    static TForm1* Create(HINSTANCE instance, int showCommand);
    ~TForm1();

    HWND Handle() const { return hwnd_; }
    // Key preview and dialog keyboard handling for the message loop; true
    // when the message was consumed.
    bool PreTranslateMessage(MSG& msg);

    // --- Wizard state -------------------------------------------------------
    int CheckResult = 7;
    bool F1Pressed = false;
    bool CleanRegistryMode = false;
    HWND SkipBoxes[kPageCount] = {};

    // --- Event handlers -----------------------------------------------------
    void BtnNextClick();
    void BtnPrevClick();
    void BtnCancelClick();
    void BtnHelpClick();
    void BtnAboutClick();
    void NotebookMainPageChanged();
    void NotebookSubPageChanged();
    void FormKeyDown(WPARAM key, bool shiftStateEmpty);
    void FormResize();
    void EditOldAddressChange();
    void EditToStringAgainChange();
    void cbSkipIgnoreKeysClick();
    void WhatsThis1Click();
    void WhatsThis2Click();
    void btnInputBadClick(HWND button);
    void btnBrowseDirFromClick();
    void btnBrowseDirToClick();
    void btnBrowseFileFromClick();
    void btnBrowseFileToClick();
    void FormClose();
    void BtnSaveListClick();
    void btnSaveLogClick();
    // Puts back what the replacement just done changed, from its undo
    // journal, once the user has agreed; its log goes to a list of its own.
    void btnRestoreClick();
    // Shows the update's log or the last restore's, each under its heading.
    void btnShowLogClick();
    void ShowRestoreLog(bool restore);
    bool Restoring() const { return restoring_; }

    // The application-wide help hook: every help request of the program
    // passes through it before the viewer is called.
    bool ApplicationHelp(unsigned command, unsigned long context, bool& callHelp);
    // Makes a help request through the hook.
    bool HelpCommand(unsigned command, unsigned long context);

    // --- Search run and replacement run ------------------------------------
    void StartIniSearch();
    void ShowSearchResults();
    void RunReplacement();
    // Appends one line to the activity log; an empty line is a blank one.
    // The horizontal extent follows when the window next processes its
    // messages, or at FlushLog.
    void AddLogLine(const std::string& line);
    // Widens the log's horizontal extent for the lines added so far.
    void FlushLog();
    int LogExtent = 0;
    // The undo journal of the replacement run (empty before it, or when it
    // could not be made), and where journals go (empty: the documents folder).
    std::string undoJournal_;
    std::string undoFolder_;
    // True while the replacement run writes; a close asked for meanwhile
    // waits for the group in hand and stops the run (stopRequested_).
    bool Replacing() const { return replacing_; }
    // Moves the folder from Old to New before the replacement, when the
    // first page asks for it; false when the references must not be
    // rewritten (the move did not happen).
    bool MoveFolderFirst(TUndoRecorder& journal, const std::string& oldAddress, const std::string& newAddress);
    void SaveFoundListAsRtf(const std::string& fileName);
    void SaveLog(const std::string& fileName);
    int FoundIni = -1, FoundGroups = -1, FoundShortcuts = -1, FoundRegistry = -1, FoundConfigs = -1,
        FoundServices = -1, FoundTasks = -1;
    int* CurrentCount = nullptr;

    // A hit from a search thread (through the synchronised call): a new row
    // marked Y, counted for the search now running.
    void AddFoundItem(const std::string& item, const std::string& path, const std::string& context, int kind,
                      int subType, const std::string& valueName = std::string());
    TFoundList* FoundList() const { return foundList_.get(); }

    // Help context of the lvFound row at a point; 32 without a row.
    int FoundItemHelpContext(POINT pt);

    // --- Controls -----------------------------------------------------------
    HWND Control(int id) const;
    int PageIndex() const { return page_; }
    int SubPageIndex() const { return subPage_; }
    void ShowPage(int index);
    void ShowSubPage(int index);
    std::string Text(int id) const;
    void SetText(int id, const std::string& text);
    bool Checked(int id) const;
    void Enable(int id, bool enabled);
    int RadioIndex(int groupId) const;
    void SetRadioIndex(int groupId, int index);
    std::string RadioCaption(int groupId) const;
    bool ShuttingDown() const { return shuttingDown_; }

    // Lets the application process its pending messages once.
    static void ProcessPendingMessages();

private:
    TForm1() = default;
    LRESULT OnNotify(NMHDR* header);
    bool CleanRegistryCommand();
    void LoadSettings();
    void ApplyPlatformRestrictions();
    void SaveSettings();
    void OnShutdown();
    // Asks the search thread in hand, if any, to stop.
    void RequestStop();
    TSearchRunner& SearchRunner();
    // A search step begins: its count starts at 0 and the labels say what
    // is searched.
    void SearchStepStarted(int kind);
    bool OnFoundListCommand(int id);
    void CreateFoundList(HWND parent, const struct ControlSpec& spec);
    void CreateRestoreControls();
    HWND CreateControl(HWND parent, const char* cls, const char* text, DWORD style, DWORD exStyle, int id, int x,
                       int y, int w, int h, int helpContext);
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void FormCreate();
    void CreateControls();
    void CreateFromSpec(HWND parent, const struct ControlSpec& spec, HWND* subPages);
    void OnCommand(int id, int code, HWND control);
    void OnHelp(const HELPINFO* info);
    void OnContextMenu(HWND source, POINT screen);
    void EnterContextHelpMode();
    void ShowIndicator(int result);
    void DrawOwnerButton(const DRAWITEMSTRUCT* draw);
    void BrowseFolder(int editId);
    void BrowseFile(int editId, const char* title);
    unsigned long ControlHelpContext(HWND control) const;
    void FocusRadioGroup(int groupId);
    // Dialog keyboard handling in a window that is not a dialog: the focus
    // moves of WM_NEXTDLGCTL (Tab, a label's access key), the default-button
    // look that follows the focus, and the focus kept across activation.
    void NextDialogControl(WPARAM wParam, LPARAM lParam);
    void FocusChanged(HWND focus);
    void RestoreFocus();
    HWND EntryFocus() const;
    void KeepFocusOnPage();
    // After the list is saved the way on is Next: Enter must not open the
    // save dialog again.
    void FocusNextAfterSave();
    // Left and Right (Ctrl: by a column or a page) scroll the found list and
    // the log sideways; true when the key was one of them.
    bool ScrollSideways(const MSG& msg);
    // The edits' own menu: the edit commands and "What's This?".
    void SubclassEditMenus();
    static LRESULT CALLBACK EditMenuProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void ShowEditMenu(HWND edit, POINT screen);
    // Where the next help popup goes: below the control (or a part of it).
    void PopupBelow(HWND control, const RECT* partInControl = nullptr);
    // IRunCallback: the runs' reports, shown in the window's controls.
    void StepStarted(int kind) override;
    void StepEnded(int kind) override;
    void Hit(const std::string& item, const std::string& path, const std::string& context, int kind, int subType,
             const std::string& valueName) override;
    void LogLine(const std::string& line) override;
    void RunEnded() override;
    void KeepResponsive() override;
    bool StopRequested() override;


    std::map<int, HWND> controls_;
    std::unique_ptr<TFoundList> foundList_;
    // The conversation with Program Manager, used on this thread only.
    std::unique_ptr<TDdeClientConv> DdeClientConv1;
    HWND hwnd_ = nullptr;
    HINSTANCE instance_ = nullptr;
    int page_ = -1;
    int subPage_ = -1;
    bool shuttingDown_ = false;
    bool newAgainAttached_ = false;
    std::string helpFile_;
    HWND popupComponent_ = nullptr;
    UINT helpMessage_ = 0;
    HMENU pmWhatsThis_ = nullptr;
    std::vector<std::pair<HWND, const struct ControlSpec*>> wrapLabels_;
    void FitLabels(int outerWidth);
    // A label that wraps to more lines than at the design's DPI pushes the
    // controls below it down; the window grows where a page would overflow.
    void PushBelowLabels(int outerHeight);
    int labelGrowth_ = 0;        // what the window needs beyond the design height
    bool growingForLabels_ = false;
    // Every control made by CreateControl, with its place at the design's
    // 96 DPI: the controls are placed anew from it when the DPI changes.
    std::map<HWND, RECT> designRects_;
    void MakeFonts();
    void OnDpiChanged(int dpi, const RECT& suggested);
    // The smallest window: the design size at the current DPI, within the
    // work area of the screen that holds the given place.
    void UpdateMinSize(const RECT& onScreen);
    HWND lastFocus_ = nullptr;      // the control that had the focus last
    HWND defaultLook_ = nullptr;    // the push button drawn as the default
    HWND labelAnchor_ = nullptr;    // a label whose access key was pressed
    WNDPROC editProc_ = nullptr;
    HWND popupAnchor_ = nullptr;    // the control the next popup explains
    int helpDepth_ = 0;             // help requests now inside HelpCommand
    POINT listAnchorPoint_ = {-1, -1};  // a list row's point; negative: the pointer's
    void AnchorPopup();
    GdiObject font_, boldFont_, symbolFont_, logFont_;
    HICON icon_ = nullptr;
    double scale_ = 1.0;
    SIZE minSize_ = {540, 312};  // the design size at this DPI, within the screen
    bool haveSymbolFont_ = false;
    bool busy_ = false;  // the hourglass shows while a run is busy
    // The search run; it also keeps what the steps left out or could not
    // read, for the results page and the log of the replacement run.
    std::unique_ptr<TSearchRunner> searchRunner_;
    bool replacing_ = false;
    bool stopRequested_ = false;
    // Set by Cancel (or a close) while the folder is being moved.
    std::atomic<bool> moveCancelled_{false};
    bool restoring_ = false;          // Restore asks or runs; a close waits for its end
    bool closeAfterRestore_ = false;  // the window was asked to close meanwhile
    bool restoreLogShown_ = false;
    int restoreLogs_ = 0;             // restores run so far
    std::string updateIntro_;         // the page's text for the update's log
    std::string logWidest_;  // the longest log line not yet measured
    bool logFlushPosted_ = false;
    LRESULT logReserved_ = 0;     // lines the log has room for
    int dialogHelpContext_ = 21;  // the Help of the file dialog now open
    std::string rtfStartFolder_;
};

// Scales a design coordinate (96 dots per inch) to the screen.
int Px(double scale, int designPixels);

}  // namespace movix
