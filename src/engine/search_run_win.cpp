// The search run: one search thread per kind of target, chained through the
// threads' termination handlers on the main thread.
#include <windows.h>

#include "app/main_window_win.h"
#include "resource.h"

namespace movix {

void TForm1::StartIniSearch() {
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    FoundIni = -1;  // no INI search yet
    StartGroupSearch();
}

void TForm1::StartGroupSearch() {
    if (ShuttingDown())
        return;
    FoundGroups = -1;  // no group search yet
    StartShortcutSearch();
}

void TForm1::StartShortcutSearch() {
    if (ShuttingDown())
        return;
    FoundShortcuts = -1;  // no shortcut search yet
    StartRegistrySearch();
}

void TForm1::StartRegistrySearch() {
    if (ShuttingDown())
        return;
    FoundRegistry = -1;  // no Registry search yet
    ShowSearchResults();
}

void TForm1::ShowSearchResults() {
    if (ShuttingDown())
        return;
    CurrentSearch = nullptr;
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
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
}

void TForm1::RequestStop(TMovixThread*) {}

void TForm1::OnShutdown() {}

}  // namespace movix
