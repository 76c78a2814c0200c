// The search run in the window: the choices on the pages go to the engine's
// search run (TSearchRunner), whose reports fill the found list and the
// labels.
#include <windows.h>

#include <memory>
#include <vector>

#include "app/found_list_win.h"
#include "app/main_window_win.h"
#include "app/settings_win.h"
#include "app/ui_text.h"
#include "app/ui_text_win.h"
#include "core/found_items.h"
#include "engine/search_runner_win.h"
#include "platform/ui_dispatch_win.h"
#include "resource.h"

namespace movix {

namespace {

void SetBusyCursor(bool busy) {
    // The application-wide cursor: the class cursor is not used while the
    // run goes on, so every window of ours shows the hourglass.
    SetCursor(LoadCursor(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

}  // namespace

TSearchRunner& TForm1::SearchRunner() {
    // One for the window's life: what the steps left out accumulates.
    if (!searchRunner_)
        searchRunner_ = std::make_unique<TSearchRunner>(*this, *DdeClientConv1);
    return *searchRunner_;
}

void TForm1::StartIniSearch() {
    busy_ = true;
    SetBusyCursor(true);
    // A kind left out keeps -1; a step that starts sets its count to 0.
    FoundIni = FoundGroups = FoundShortcuts = FoundRegistry = FoundConfigs = FoundServices = FoundTasks = -1;
    TSearchSettings settings;
    settings.OldAddress = Text(IDC_EditOldAddress);
    settings.ProgressLabel = Control(IDC_lblSearchIn);
    // The option pages' radio groups, by kind code.
    const struct {
        int kind;
        int radio;
    } options[] = {{KindIni, IDC_rgIniFiles}, {KindGrp, IDC_rgGroups},  {KindLnk, IDC_rgShortcuts},
                   {KindReg, IDC_rgRegistry}, {KindCfg, IDC_rgConfigs}, {KindSvc, IDC_rgServices},
                   {KindTsk, IDC_rgTasks}};
    for (const auto& option : options)
        if (const TKindInfo* kind = FindKind(option.kind))
            settings.Modes[option.kind] = kind->ModeForItem(RadioIndex(option.radio));
    // The program is still at Old when the run is to move it there.
    settings.ProgramFolder = Text(Checked(IDC_cbMoveFolder) ? IDC_EditOldAddress : IDC_EditNewAddress);
    settings.ConfigTypes = SavedConfigTypes();
    settings.IgnoreKeys = ListBoxStrings(Control(IDC_lbIgnoreKey));
    SearchRunner().Start(settings);
}

void TForm1::SearchStepStarted(int kind) {
    static int TForm1::*const kCount[] = {nullptr,
                                          &TForm1::FoundIni,
                                          &TForm1::FoundGroups,
                                          &TForm1::FoundShortcuts,
                                          &TForm1::FoundRegistry,
                                          &TForm1::FoundConfigs,
                                          &TForm1::FoundServices,
                                          &TForm1::FoundTasks};
    static const int kLabel[] = {
        0, IDC_lblIni, IDC_lblGroup, IDC_lblShortcut, IDC_lblRegistry, IDC_lblConfigs, IDC_lblServices, IDC_lblTasks};
    if (kind < KindIni || kind > KindTsk)
        return;
    this->*kCount[kind] = 0;
    CurrentCount = &(this->*kCount[kind]);
    SetText(IDC_lblSearchType, "Searching " + Text(kLabel[kind]));
    if (kind != KindIni)
        SetText(IDC_lblSearchIn, "");
}

void TForm1::ShowSearchResults() {
    if (ShuttingDown())
        return;
    CurrentCount = nullptr;
    const TSearchRunner& run = SearchRunner();
    // A count that an error cut short is never shown as complete.
    const struct {
        int label;
        int count;
        int kind;
    } found[] = {{IDC_lblFoundINI, FoundIni, KindIni},
                 {IDC_lblFoundGroup, FoundGroups, KindGrp},
                 {IDC_lblFoundShortcut, FoundShortcuts, KindLnk},
                 {IDC_lblFoundReg, FoundRegistry, KindReg},
                 {IDC_lblFoundCfg, FoundConfigs, KindCfg},
                 {IDC_lblFoundSvc, FoundServices, KindSvc},
                 {IDC_lblFoundTsk, FoundTasks, KindTsk}};
    for (const auto& f : found) {
        const TKindNames& names = *KindNamesOf(f.kind);
        SetText(f.label, KindResultText(names, f.count, run.StepFailed(f.kind)));
    }
    // What was left out or could not be read, in the hint's place.
    std::string notes;
    for (const std::string& note : run.Notes())
        notes += (notes.empty() ? "" : " ") + note;
    SetText(IDC_lblSearchNotes, notes);
    ShowWindow(Control(IDC_lblSearchNotes), notes.empty() ? SW_HIDE : SW_SHOW);
    ShowWindow(Control(IDC_lblFoundHint), notes.empty() ? SW_SHOW : SW_HIDE);
    ShowSubPage(kSubSearchResults);
    // The move of the folder is something to do even where nothing was found.
    Enable(IDC_BtnNext, FoundIni > 0 || FoundGroups > 0 || FoundShortcuts > 0 || FoundRegistry > 0 ||
                            FoundConfigs > 0 || FoundServices > 0 || FoundTasks > 0 ||
                            foundList_->MoveRow() != nullptr);
    Enable(IDC_BtnPrev, false);
    busy_ = false;
    SetBusyCursor(false);
}

void TForm1::RequestStop() {
    if (searchRunner_)
        searchRunner_->RequestStop();
}

void TForm1::OnShutdown() {
    // Releases a search thread waiting for this thread, and keeps every
    // later call from running against a window that is going away.
    UiDispatcher::Shutdown();
}

}  // namespace movix
