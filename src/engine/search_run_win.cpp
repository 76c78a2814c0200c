// The search run: one search thread per kind of target, one after another,
// each started by the termination handler of the one before it on the main
// thread, so the main thread never waits for a thread.
#include <windows.h>

#include <vector>

#include "app/main_window_win.h"
#include "app/ui_text_win.h"
#include "engine/search_thread_win.h"
#include "platform/ui_dispatch_win.h"
#include "resource.h"
#include "targets/dde_conversation_win.h"
#include "targets/ini_files_win.h"
#include "targets/progman_groups_win.h"
#include "targets/registry_search_win.h"
#include "targets/shortcuts_win.h"

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

// The walk mode of the shortcut search from the item index of rgShortcuts.
int ShortcutWalkMode(int index) {
    switch (index) {
    case 1:
        return 4;  // Start Menu and Desktop
    case 2:
        return 2;  // the Windows folder and below
    case 3:
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
    if (RadioIndex(IDC_rgGroups) == 0) {
        FoundGroups = -1;
        StartShortcutSearch();
        return;
    }
    FoundGroups = 0;
    CurrentCount = &FoundGroups;
    SetText(IDC_lblSearchType, "Searching " + Text(IDC_lblGroup));
    SetText(IDC_lblSearchIn, "");
    // Opened here, on this thread, which owns it; the thread only asks
    // through it, and ShowSearchResults closes it. A conversation that did
    // not open gives the thread empty replies.
    DdeClientConv1->SetLink("ProgMan", "ProgMan");
    DdeClientConv1->OpenLink();
    TSearchGrpThread* thread = new TSearchGrpThread(
        2, Text(IDC_EditOldAddress), Control(IDC_lblSearchIn),
        [this](const std::string& item, const std::string& path, const std::string& context, int kind,
               int subType) { AddFoundItem(item, path, context, kind, subType); },
        DdeClientConv1.get());
    CurrentSearch = thread;
    thread->OnTerminate = [this](TMovixThread*) { StartShortcutSearch(); };
    thread->Resume();
}

void TForm1::StartShortcutSearch() {
    if (ShuttingDown())
        return;
    const int index = RadioIndex(IDC_rgShortcuts);
    if (index == 0) {
        FoundShortcuts = -1;
        StartRegistrySearch();
        return;
    }
    FoundShortcuts = 0;
    CurrentCount = &FoundShortcuts;
    SetText(IDC_lblSearchType, "Searching " + Text(IDC_lblShortcut));
    SetText(IDC_lblSearchIn, "");
    TSearchLNKThread* thread = new TSearchLNKThread(
        3, Text(IDC_EditOldAddress), Control(IDC_lblSearchIn),
        [this](const std::string& item, const std::string& path, const std::string& context, int kind,
               int subType) { AddFoundItem(item, path, context, kind, subType); },
        ShortcutWalkMode(index));
    CurrentSearch = thread;
    thread->OnTerminate = [this](TMovixThread*) { StartRegistrySearch(); };
    thread->Resume();
}

void TForm1::StartRegistrySearch() {
    if (ShuttingDown())
        return;
    const int index = RadioIndex(IDC_rgRegistry);
    if (index == 0) {
        FoundRegistry = -1;
        ShowSearchResults();
        return;
    }
    FoundRegistry = 0;
    CurrentCount = &FoundRegistry;
    SetText(IDC_lblSearchType, "Searching " + Text(IDC_lblRegistry));
    SetText(IDC_lblSearchIn, "");
    // Scope 5: HKCR and HKCU; 6: with HKCC; 7: every root.
    const int mode = index >= 1 && index <= 3 ? index + 4 : 0;
    std::vector<std::string> ignore = ListBoxStrings(Control(IDC_lbIgnoreKey));
    TSearchRegThread* thread = new TSearchRegThread(
        4, Text(IDC_EditOldAddress), Control(IDC_lblSearchIn),
        [this](const std::string& item, const std::string& path, const std::string& context, int kind,
               int subType) { AddFoundItem(item, path, context, kind, subType); },
        std::move(ignore), mode);
    thread->OnFoundValue = [this](const std::string& item, const std::string& path, const std::string& context,
                                  int kind, int subType, const std::string& valueName) {
        AddFoundItem(item, path, context, kind, subType, valueName);
    };
    CurrentSearch = thread;
    thread->OnTerminate = [this](TMovixThread*) { ShowSearchResults(); };
    thread->Resume();
}

void TForm1::ShowSearchResults() {
    if (ShuttingDown())
        return;
    // Closed at the end of every run that gets here, searched or not.
    DdeClientConv1->CloseLink();
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
