// The about box: the program's version and facts about the running system.
#pragma once

#include <windows.h>

#include <string>

namespace movix {

class TAboutForm {
public:
    // Shows the box modally over `owner` and returns when it is closed.
    static void ShowModal(HINSTANCE instance, HWND owner);

private:
    explicit TAboutForm(HWND dialog) : hwnd_(dialog) {}
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
    void FormCreate();
    void FormActivate();
    void SetLabel(int id, const std::string& text);
    std::string Label(int id) const;

    HWND hwnd_;
    HFONT font_ = nullptr;
};

}  // namespace movix
