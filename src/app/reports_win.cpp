// Saving the found list as an RTF table and the activity log as text.
#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "app/main_window_win.h"
#include "app/ui_text_win.h"
#include "app/found_list_win.h"
#include "engine/rtf_report.h"
#include "platform/save_file_win.h"
#include "platform/wide_text_win.h"
#include "resource.h"

namespace movix {

namespace {

// The Help button of a save dialog: the dialog sends the registered help
// message to its owner, which the main window answers with `context`.
bool RunSaveDialog(HWND owner, const char* title, const char* filter, const char* defaultExt,
                   const std::string& initialDir, std::string& fileName) {
    std::vector<wchar_t> buffer(32768, L'\0');
    const std::wstring wideName = Utf8ToWide(fileName);
    wideName.copy(buffer.data(), std::min(wideName.size(), buffer.size() - 1));
    // The filter is pairs of texts, each ended by a NUL, and a NUL after the last.
    std::size_t filterLength = 0;
    while (filter[filterLength] != '\0' || filter[filterLength + 1] != '\0')
        ++filterLength;
    const std::wstring wideFilter = Utf8ToWide(std::string_view(filter, filterLength + 2));
    const std::wstring wideTitle = Utf8ToWide(title), wideExt = Utf8ToWide(defaultExt),
                       wideDir = Utf8ToWide(initialDir);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = wideFilter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = wideDir.empty() ? nullptr : wideDir.c_str();
    ofn.lpstrTitle = wideTitle.c_str();
    ofn.lpstrDefExt = wideExt.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_SHOWHELP | OFN_PATHMUSTEXIST |
                OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn))
        return false;
    fileName = WideToUtf8(buffer.data());
    return true;
}

}  // namespace

void TForm1::BtnSaveListClick() {
    // As Save Log: a name proposed in the Documents folder.
    std::string fileName = DocumentsFolder() + "\\MOVIX32LIST.RTF";
    dialogHelpContext_ = 11;
    const bool confirmed = RunSaveDialog(hwnd_, "Save as Rich Text File", "Rich Text files\0*.RTF\0", "RTF",
                                         rtfStartFolder_, fileName);
    if (confirmed)
        SaveFoundListAsRtf(fileName);
}

void TForm1::SaveFoundListAsRtf(const std::string& fileName) {
    std::vector<TFoundItem> rows;
    for (int i = 0; i < foundList_->RowCount(); ++i)
        rows.push_back(foundList_->Row(i));
    const DWORD error = SaveFileReplacing(fileName, FoundListRtf(Text(IDC_EditOldAddress), rows));
    if (error != ERROR_SUCCESS)
        ShowErrorBox(hwnd_, SaveErrorMessage(error));
    else
        FocusNextAfterSave();
}

void TForm1::btnSaveLogClick() {
    // The log shown: the update's, or the restore's under its own name.
    std::string fileName = DocumentsFolder() + (restoreLogShown_ ? "\\MOVIX32RESTORELOG.TXT" : "\\MOVIX32LOG.TXT");
    dialogHelpContext_ = 14;
    if (!RunSaveDialog(hwnd_, "Save Log File", "Text Files\0*.TXT\0", "TXT", std::string(), fileName))
        return;
    SaveLog(fileName);
}

void TForm1::SaveLog(const std::string& fileName) {
    const std::vector<std::string> lines = ListBoxStrings(Control(restoreLogShown_ ? IDC_lbRestoreLog : IDC_lbReport));
    SaveStage failedAt = SaveStage::Create;
    const DWORD error = SaveFileReplacing(fileName, LogFileText(lines), &failedAt);
    if (error == ERROR_SUCCESS)
        return;
    ShowErrorBox(hwnd_, failedAt == SaveStage::Create ? "Cannot create file " + fileName : SaveErrorMessage(error));
}

}  // namespace movix
