// The found-items list as the main window hosts it.
#include <windows.h>
#include <commctrl.h>

#include "app/layout_win.h"
#include "app/main_window_win.h"
#include "app/found_list_win.h"
#include "platform/ui_dispatch_win.h"
#include "resource.h"

namespace movix {

void TForm1::CreateFoundList(HWND parent, const ControlSpec& spec) {
    foundList_ = std::make_unique<TFoundList>();
    RECT rc = {Px(scale_, spec.x), Px(scale_, spec.y), Px(scale_, spec.x + spec.w), Px(scale_, spec.y + spec.h)};
    foundList_->Create(parent, rc);
    HWND list = foundList_->Handle();
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SetWindowContextHelpId(list, spec.helpContext);
    controls_[spec.id] = list;
    designRects_[list] = RECT{spec.x, spec.y, spec.x + spec.w, spec.y + spec.h};
    // First in the page's Tab order: the list is what the page is for.
    SetWindowPos(list, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    foundList_->SetShuttingDownCheck([this] { return shuttingDown_; });
    // "What's This" on a row: a popup request through the help hook.
    foundList_->onWhatsThis = [this](int context) {
        popupAnchor_ = foundList_->Handle();
        listAnchorPoint_ = foundList_->LastMouseUp();
        HelpCommand(kHelpContextPopup, context);
    };
}

void TForm1::AddFoundItem(const std::string& item, const std::string& path, const std::string& context, int kind,
                          int subType, const std::string& valueName) {
    foundList_->SetCurrentCount(CurrentCount);
    foundList_->AddFoundItem(item, path, context, kind, subType, valueName);
}

LRESULT TForm1::OnNotify(NMHDR* header) {
    LRESULT result = 0;
    if (foundList_ && foundList_->HandleNotify(header, result))
        return result;
    return 0;
}

bool TForm1::OnFoundListCommand(int id) {
    return foundList_ && foundList_->HandleCommand(id);
}

int TForm1::FoundItemHelpContext(POINT pt) {
    return foundList_ ? foundList_->FoundItemHelpContext(pt) : 32;
}

void TForm1::WhatsThis2Click() {
    if (foundList_)
        foundList_->WhatsThis2Click();
}

}  // namespace movix
