// The folder and file choosers of the address fields.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "app/main_window_win.h"
#include "app/ui_text_win.h"
#include "core/strings.h"
#include "platform/com_ptr_win.h"
#include "platform/wide_text_win.h"
#include "resource.h"

namespace movix {

namespace {

const int kHelpButtonId = 0x4001;

struct BrowseState {
    TForm1* form;
    std::string start;
    // The tree has shown the start folder selected; till then the
    // selection is asked for again now and then.
    bool settled = false;
    int tries = 0;
};

// Wine's chooser fills its tree as it goes, and a selection asked for while
// the start folder's parents are still being filled can stop at one of
// them. The selection is asked for again every kReselectMs, for as long as
// kReselectTries allow, until the tree reports the start folder selected.
const UINT_PTR kReselectTimer = 0x4D58;
const UINT kReselectMs = 200;
const int kReselectTries = 15;

void AskForStart(HWND dialog, const BrowseState& state) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(Utf8ToWide(state.start).c_str()));
}

LRESULT CALLBACK BrowseDialogSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC original = reinterpret_cast<WNDPROC>(GetPropA(hwnd, "MovixOriginalProc"));
    TForm1* form = reinterpret_cast<TForm1*>(GetPropA(hwnd, "MovixForm"));
    if (msg == WM_TIMER && wParam == kReselectTimer) {
        BrowseState* state = reinterpret_cast<BrowseState*>(GetPropA(hwnd, "MovixBrowseState"));
        if (!state || state->settled || ++state->tries > kReselectTries)
            KillTimer(hwnd, kReselectTimer);
        else
            AskForStart(hwnd, *state);
        return 0;
    }
    if ((msg == WM_COMMAND && LOWORD(wParam) == kHelpButtonId) || msg == WM_HELP) {
        if (form)
            form->HelpCommand(kHelpContext, 1);
        return TRUE;
    }
    if (msg == WM_NCDESTROY) {
        KillTimer(hwnd, kReselectTimer);
        RemovePropA(hwnd, "MovixBrowseState");
        RemovePropA(hwnd, "MovixOriginalProc");
        RemovePropA(hwnd, "MovixForm");
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    }
    return CallWindowProcW(original, hwnd, msg, wParam, lParam);
}

// Adds a Help button beside OK and Cancel, and starts at the given folder.
int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data) {
    BrowseState* state = reinterpret_cast<BrowseState*>(data);
    if (msg == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH] = {};
        if (!state->settled && lParam &&
            SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
            std::string selected = WideToUtf8(path);
            if (selected.size() > 3 && selected.back() == '\\')
                selected.pop_back();
            state->settled = SameFileName(selected, state->start);
        }
        return 0;
    }
    if (msg != BFFM_INITIALIZED)
        return 0;
    if (!state->start.empty()) {
        AskForStart(hwnd, *state);
        if (!state->settled)
            SetTimer(hwnd, kReselectTimer, kReselectMs, nullptr);
    } else {
        state->settled = true;
    }
    // The title last: the dialog is ready once it carries it.
    SetWindowTextA(hwnd, "Select Directory");

    HWND ok = GetDlgItem(hwnd, IDOK);
    if (ok) {
        RECT r;
        GetWindowRect(ok, &r);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        const int width = r.right - r.left;
        HWND help = CreateWindowExA(0, "BUTTON", "&Help", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                    r.left - width - 8 > 0 ? r.left - width - 8 : 4, r.top, width, r.bottom - r.top,
                                    hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHelpButtonId)),
                                    GetModuleHandleA(nullptr), nullptr);
        SendMessageA(help, WM_SETFONT, SendMessageA(ok, WM_GETFONT, 0, 0), FALSE);
    }
    SetPropA(hwnd, "MovixForm", state->form);
    SetPropA(hwnd, "MovixBrowseState", state);
    SetPropA(hwnd, "MovixOriginalProc", reinterpret_cast<HANDLE>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)));
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BrowseDialogSubclass));
    return 0;
}

// The nearest existing folder at or above the text, so the chooser opens
// where it can.
std::string ExistingFolderFor(std::string path) {
    while (!path.empty()) {
        const DWORD attrs = GetFileAttributesW(WideFileName(path).c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
            return path;
        const std::string::size_type slash = path.find_last_of('\\');
        // Nothing left to climb: a drive that is not there, or a bare name.
        if (slash == std::string::npos || (slash == 2 && path.size() <= 3))
            return std::string();
        path.resize(slash);
        if (path.size() == 2 && path[1] == ':')
            path += '\\';
    }
    return path;
}

}  // namespace

void TForm1::BrowseFolder(int editId) {
    BrowseState state{this, ExistingFolderFor(Text(editId))};
    wchar_t display[MAX_PATH] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = hwnd_;
    info.pszDisplayName = display;
    info.lpszTitle = L"Select Directory";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON | BIF_NEWDIALOGSTYLE;
    info.lpfn = &BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&state);
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&info);
    if (!pidl)
        return;  // cancelled: nothing changes
    CoTaskMemPtr<ITEMIDLIST_ABSOLUTE> owned(pidl);
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(pidl, path))
        return;
    std::string chosen = WideToUtf8(path);
    // A drive root such as C:\ keeps its backslash; any longer path loses it.
    if (chosen.size() > 3 && chosen.back() == '\\')
        chosen.pop_back();
    SetText(editId, chosen);
}

void TForm1::BrowseFile(int editId, const char* title) {
    std::vector<wchar_t> file(32768);
    const std::string current = Text(editId);
    const std::wstring wideCurrent = Utf8ToWide(current);
    std::wstring initialDir;
    const DWORD attrs = GetFileAttributesW(WideFileName(current).c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        // A folder: the dialog starts in it with no name. The folder goes in
        // as the name's path too (with its backslash, so the name is empty):
        // Windows prefers a path in the name to the start folder, which it
        // may otherwise replace by the folder last used.
        initialDir = wideCurrent;
        std::wstring inFolder = wideCurrent;
        if (!inFolder.empty() && inFolder.back() != L'\\')
            inFolder += L'\\';
        if (inFolder.size() < file.size())
            inFolder.copy(file.data(), inFolder.size());
    } else if (wideCurrent.size() < file.size()) {
        wideCurrent.copy(file.data(), wideCurrent.size());
    }
    const std::wstring wideTitle = Utf8ToWide(title);

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd_;
    ofn.lpstrFilter = L"All Files\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrTitle = wideTitle.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_SHOWHELP | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    dialogHelpContext_ = 21;
    if (GetOpenFileNameW(&ofn))
        SetText(editId, WideToUtf8(file.data()));
}

void TForm1::btnBrowseDirFromClick() {
    BrowseFolder(IDC_EditOldAddress);
}

void TForm1::btnBrowseDirToClick() {
    BrowseFolder(IDC_EditNewAddress);
}

void TForm1::btnBrowseFileFromClick() {
    BrowseFile(IDC_EditOldAddress, "Filename for Old address");
}

void TForm1::btnBrowseFileToClick() {
    BrowseFile(IDC_EditNewAddress, "Filename for New address");
}

}  // namespace movix
