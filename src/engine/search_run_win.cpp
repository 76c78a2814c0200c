// The search run: one search thread per kind of target, one after another,
// each started by the termination handler of the one before it on the main
// thread, so the main thread never waits for a thread.
#include <windows.h>

#include "app/main_window_win.h"
#include "engine/search_thread_win.h"
#include "platform/ui_dispatch_win.h"
#include "resource.h"
#include "targets/ini_files_win.h"

namespace movix {

namespace {

// The walk mode of a file search from the item index of its radio group.
int IniWalkMode(int index) {
    switch (index) {
    case 1:
        return 4;  // WIN.INI and SYSTEM.INI
    case 2:
        return 1;  // the Windows folder
    case 3:
        return 2;  // the Windows folder and below
    case 4:
        return 3;  // all fixed drives
    default:
        return 0;  // no item selected: a walk that examines nothing
    }
}

void SetBusyCursor(bool busy) {
    // The application-wide cursor: the class cursor is not used while the
    // run goes on, so every window of ours shows the hourglass.
    SetCursor(LoadCursor(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

}  // namespace

void TForm1::StartIniSearch() {
    busy_ = true;
    SetBusyCursor(true);
    if (RadioIndex(IDC_rgIniFiles) == 0) {
        FoundIni = -1;
        StartGroupSearch();
        return;
    }
    FoundIni = 0;
    CurrentCount = &FoundIni;
    SetText(IDC_lblSearchType, "Searching " + Text(IDC_lblIni));
    const int mode = IniWalkMode(RadioIndex(IDC_rgIniFiles));
    TSearchINIThread* thread = new TSearchINIThread(
        1, Text(IDC_EditOldAddress), Control(IDC_lblSearchIn),
        [this](const std::string& item, const std::string& path, const std::string& context, int kind,
               int subType) { AddFoundItem(item, path, context, kind, subType); },
        mode);
    CurrentSearch = thread;
    thread->OnTerminate = [this](TMovixThread*) { StartGroupSearch(); };
    thread->Resume();
}

void TForm1::StartGroupSearch() {
    if (ShuttingDown())
        return;
    // Program Manager groups are not searched yet.
    FoundGroups = -1;
    StartShortcutSearch();
}

void TForm1::StartShortcutSearch() {
    if (ShuttingDown())
        return;
    // Shortcuts are not searched yet.
    FoundShortcuts = -1;
    StartRegistrySearch();
}

void TForm1::StartRegistrySearch() {
    if (ShuttingDown())
        return;
    // The Registry is not searched yet.
    FoundRegistry = -1;
    ShowSearchResults();
}

void TForm1::ShowSearchResults() {
    if (ShuttingDown())
        return;
    CurrentSearch = nullptr;
    CurrentCount = nullptr;
    auto caption = [](int count, const char* none, const char* some) {
        if (count < 0)
            return std::string(none);
        return std::to_string(count) + some;
    };
    SetText(IDC_lblFoundINI, caption(FoundIni, "No INI files searched", " matches in INI files"));
    SetText(IDC_lblFoundGroup, caption(FoundGroups, "No Groups searched", " matches in Groups"));
    SetText(IDC_lblFoundShortcut, caption(FoundShortcuts, "No Shortcuts searched", " matches in Shortcuts"));
    SetText(IDC_lblFoundReg, caption(FoundRegistry, "No Registry entries searched", " matches in the Registry"));
    ShowSubPage(kSubSearchResults);
    Enable(IDC_BtnNext, FoundIni > 0 || FoundGroups > 0 || FoundShortcuts > 0 || FoundRegistry > 0);
    Enable(IDC_BtnPrev, false);
    busy_ = false;
    SetBusyCursor(false);
}

void TForm1::RequestStop(TMovixThread* thread) {
    thread->Terminate();
}

void TForm1::OnShutdown() {
    // Releases a search thread waiting for this thread, and keeps every
    // later call from running against a window that is going away.
    UiDispatcher::Shutdown();
}

}  // namespace movix
