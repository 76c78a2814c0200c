// The about box: the program's version and facts about the running system.
#pragma once

#include <windows.h>

#include <string>

namespace movix {

class TAboutForm {
public:
    // Shows the box modally over `owner` and returns when it is closed. Its
    // design (at 96 DPI) is scaled by `scale`, the owner's.
    static void ShowModal(HINSTANCE instance, HWND owner, double scale = 1.0);

private:
    TAboutForm(HWND dialog, double scale) : hwnd_(dialog), scale_(scale) {}
    int Px(int designPixels) const;
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
    void FormCreate();
    void FormActivate();
    void SetLabel(int id, const std::string& text);
    std::string Label(int id) const;

    HWND hwnd_;
    double scale_ = 1.0;
    HFONT font_ = nullptr;
    HICON icon_ = nullptr;
};

}  // namespace movix
