// The search run: one search thread per kind of target, one after another,
// each started by the termination handler of the one before it on the main
// thread, so the main thread never waits for a thread.
#include <windows.h>

#include <vector>

#include "app/main_window_win.h"
#include "app/ui_text_win.h"
#include "core/search_thread_win.h"
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
    TakeSearchStepNotes();
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
    TakeSearchStepNotes();
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
    TakeSearchStepNotes();
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
    TakeSearchStepNotes();
    // Closed at the end of every run that gets here, searched or not.
    DdeClientConv1->CloseLink();
    CurrentSearch = nullptr;
    CurrentCount = nullptr;
    // A count that an error cut short is never shown as complete.
    auto caption = [this](int count, int kind, const char* none, const char* some) {
        if (count < 0)
            return std::string(none);
        return std::to_string(count) + some + (stepFailed_[kind] ? " (incomplete)" : "");
    };
    SetText(IDC_lblFoundINI, caption(FoundIni, 1, "No INI files searched", " matches in INI files"));
    SetText(IDC_lblFoundGroup, caption(FoundGroups, 2, "No Groups searched", " matches in Groups"));
    SetText(IDC_lblFoundShortcut, caption(FoundShortcuts, 3, "No Shortcuts searched", " matches in Shortcuts"));
    SetText(IDC_lblFoundReg, caption(FoundRegistry, 4, "No Registry entries searched", " matches in the Registry"));
    // What was left out or could not be read, in the hint's place.
    std::string notes;
    for (const std::string& note : searchNotes_)
        notes += (notes.empty() ? "" : " ") + note;
    SetText(IDC_lblSearchNotes, notes);
    ShowWindow(Control(IDC_lblSearchNotes), notes.empty() ? SW_HIDE : SW_SHOW);
    ShowWindow(Control(IDC_lblFoundHint), notes.empty() ? SW_SHOW : SW_HIDE);
    ShowSubPage(kSubSearchResults);
    Enable(IDC_BtnNext, FoundIni > 0 || FoundGroups > 0 || FoundShortcuts > 0 || FoundRegistry > 0);
    Enable(IDC_BtnPrev, false);
    busy_ = false;
    SetBusyCursor(false);
}

void TForm1::TakeSearchStepNotes() {
    // Called by the step that follows a search thread, within that thread's
    // OnTerminate: the object is still there, and is gone right after.
    TMovixThread* thread = CurrentSearch;
    CurrentSearch = nullptr;
    if (thread == nullptr || thread->Kind < 1 || thread->Kind > 4)
        return;
    static const char* const kWhat[] = {"", "INI files", "Groups", "Shortcuts", "the Registry"};
    static const char* const kTitle[] = {"", "INI files", "Groups", "Shortcuts", "Registry"};
    const std::string what = kWhat[thread->Kind];
    if (!thread->FatalError().empty()) {
        stepFailed_[thread->Kind] = true;
        searchNotes_.push_back("The search of " + what + " ended by an error: " + thread->FatalError() + ".");
        searchLog_.push_back("***** The search of " + what +
                             " ended by an error, its count is not complete: " + thread->FatalError());
    }
    using U = TMovixThread::Unreadable;
    std::string counts;
    auto count = [&counts](int n, const char* one, const char* many) {
        if (n > 0)
            counts += (counts.empty() ? "" : ", ") + std::to_string(n) + (n == 1 ? one : many);
    };
    count(thread->UnreadableCount(U::Folder), " folder", " folders");
    count(thread->UnreadableCount(U::File), " file", " files");
    count(thread->UnreadableCount(U::Key), " key", " keys");
    if (!counts.empty()) {
        const int total =
            thread->UnreadableCount(U::Folder) + thread->UnreadableCount(U::File) + thread->UnreadableCount(U::Key);
        std::string note = kTitle[thread->Kind] + (": " + counts) + " could not be read";
        if (thread->AdministratorCouldRead())
            note += " (an administrator may be able to read them)";
        searchNotes_.push_back(note + ".");
        searchLog_.push_back(
            "***** In the search of " + what + ", " + counts + " could not be read" +
            (thread->AdministratorCouldRead() ? " (an administrator may be able to read them)" : std::string()) + ":");
        for (const std::string& name : thread->UnreadableNames())
            searchLog_.push_back("*****   " + name);
        if (static_cast<std::size_t>(total) > thread->UnreadableNames().size())
            searchLog_.push_back("*****   and " + std::to_string(total - thread->UnreadableNames().size()) + " more");
    }
    if (!thread->LeftOut.empty()) {
        searchNotes_.push_back("Drive " + thread->LeftOut + ", the whole Unix file system, was not searched.");
        searchLog_.push_back("Drive " + thread->LeftOut +
                             ", which holds the whole Unix file system, was left out "
                             "of the search of " +
                             what + ".");
    }
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
