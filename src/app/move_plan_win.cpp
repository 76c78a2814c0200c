#include "app/move_plan_win.h"

#include <windows.h>

#include <vector>

#include "platform/handles.h"
#include "platform/wide_text_win.h"

namespace movix {

namespace {

// The volume's name ("\\?\Volume{...}\") of the nearest existing folder at
// or above `path`; empty when none can be told.
std::wstring VolumeOf(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    for (;;) {
        if (path.empty())
            return std::wstring();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            break;
        const std::size_t slash = path.find_last_of(L"\\/");
        if (slash == std::wstring::npos)
            return std::wstring();
        path.resize(slash);
        if (path.size() == 2 && path[1] == L':')
            path += L'\\';
    }
    // Told as the move tells it: the volume's name, else the serial number
    // of the volume that holds the folder.
    std::vector<wchar_t> mount(MAX_PATH + path.size() + 2, L'\0');
    wchar_t volume[MAX_PATH] = {};
    if (GetVolumePathNameW(path.c_str(), mount.data(), static_cast<DWORD>(mount.size())) &&
        GetVolumeNameForVolumeMountPointW(mount.data(), volume, MAX_PATH))
        return volume;
    const FileHandle folder(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder)
        return std::wstring();
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool known = GetFileInformationByHandle(folder.get(), &info) != FALSE;
    return known ? L"serial:" + std::to_wstring(info.dwVolumeSerialNumber) : std::wstring();
}

}  // namespace

TMoveWay MoveWayOf(const std::string& oldFolder, const std::string& newFolder) {
    const std::wstring from = VolumeOf(Utf8ToWide(oldFolder)), to = VolumeOf(Utf8ToWide(newFolder));
    if (from.empty() || to.empty())
        return TMoveWay::Unknown;
    return from == to ? TMoveWay::Rename : TMoveWay::Copy;
}

}  // namespace movix

#include "app/found_list_win.h"
#include "app/main_window_win.h"
#include "resource.h"

namespace movix {

void ShowMoveSummary(TForm1& form) {
    const bool moving = form.Checked(IDC_cbMoveFolder);
    ShowWindow(form.Control(IDC_lblMoveHead), moving ? SW_SHOW : SW_HIDE);
    form.SetText(IDC_lblMove, moving ? MoveSummaryText(MoveWayOf(form.Text(IDC_EditOldAddress),
                                                                 form.Text(IDC_EditNewAddress)))
                                     : std::string());
}

void ShowMoveNotice(TForm1& form) {
    const TFoundItem* moveRow = form.FoundList() ? form.FoundList()->MoveRow() : nullptr;
    const bool moving = form.Checked(IDC_cbMoveFolder) && moveRow != nullptr && moveRow->Mark == MarkY;
    const std::string newAddress = form.Text(IDC_EditNewAddressAgain);
    form.SetText(IDC_lblMoveHow, moving && !newAddress.empty()
                                     ? MoveNoticeText(MoveWayOf(form.Text(IDC_EditOldAddress), newAddress))
                                     : std::string());
}

}  // namespace movix
