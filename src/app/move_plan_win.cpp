#include "app/move_plan_win.h"

#include <windows.h>

#include <vector>

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
    std::vector<wchar_t> mount(MAX_PATH + path.size() + 2, L'\0');
    if (!GetVolumePathNameW(path.c_str(), mount.data(), static_cast<DWORD>(mount.size())))
        return std::wstring();
    wchar_t volume[MAX_PATH] = {};
    if (GetVolumeNameForVolumeMountPointW(mount.data(), volume, MAX_PATH))
        return volume;
    // Without a volume name (a network share, or Wine's drives): the mount
    // point itself, in capitals.
    std::wstring name(mount.data());
    CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
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
