// Saving the found list as an RTF table and the activity log as text.
#include <windows.h>

#include "app/main_window_win.h"

namespace movix {

void TForm1::BtnSaveListClick() {}

void TForm1::btnSaveLogClick() {}

}  // namespace movix
