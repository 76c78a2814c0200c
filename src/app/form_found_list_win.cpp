// The found-items list as the main window hosts it.
#include <windows.h>
#include <commctrl.h>

#include "app/layout_win.h"
#include "app/main_window_win.h"
#include "resource.h"

namespace movix {

void TForm1::CreateFoundList(HWND parent, const ControlSpec& spec) {
    HWND list = CreateControl(parent, WC_LISTVIEWA, "",
                              WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE, spec.id,
                              spec.x, spec.y, spec.w, spec.h, spec.helpContext);
    const char* columns[] = {"Item", "Path", "Type", "SubType", "Context"};
    for (int i = 0; i < 5; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<char*>(columns[i]);
        column.cx = 80;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

LRESULT TForm1::OnNotify(NMHDR*) {
    return 0;
}

bool TForm1::OnFoundListCommand(int) {
    return false;
}

bool TForm1::OnFoundListSpace() {
    return false;
}

int TForm1::FoundItemHelpContext(POINT) {
    return 32;
}

void TForm1::WhatsThis2Click() {
    HelpCommand(kHelpContextPopup, FoundItemHelpContext(POINT{0, 0}));
}

}  // namespace movix
