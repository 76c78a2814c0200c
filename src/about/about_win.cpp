#include "about/about_win.h"

#include <vector>

#include "about/about_text.h"
#include "app/main_window_win.h"
#include "app/ui_text_win.h"
#include "movix_version.h"
#include "resource.h"
#include "platform/registry_win.h"

namespace movix {

namespace {

struct LabelSpec {
    int id;
    const char* text;
    int x, y, w, h;
    DWORD style;
};

// Positions in the dialog's client area (360 by 305 pixels).
const LabelSpec kLabels[] = {
    {IDC_LabelICVersion, "", 64, 16, 287, 17, SS_LEFT},
    {IDC_LabelCopyOf, "This copy of Windows ?? is licensed to:", 64, 136, 287, 17, SS_LEFT},
    {IDC_LabelUserName, "", 64, 152, 287, 17, SS_LEFT},
    {IDC_LabelCompName, "", 64, 168, 287, 17, SS_LEFT},
    {IDC_LabelProductID, "", 64, 184, 287, 17, SS_LEFT},
    {0, "Physical Memory: ", 64, 208, 185, 17, SS_LEFT},
    {IDC_PhysMemory, "", 256, 208, 95, 17, SS_RIGHT},
    {IDC_LabelPlatform, "", 64, 232, 287, 17, SS_LEFT},
    {IDC_LabelCPU, "", 64, 256, 287, 17, SS_LEFT},
};

}  // namespace

void TAboutForm::ShowModal(HINSTANCE instance, HWND owner, double scale) {
    // An empty dialog template; the controls are made when it opens.
    std::vector<WORD> tmpl(64, 0);
    DLGTEMPLATE* dlg = reinterpret_cast<DLGTEMPLATE*>(tmpl.data());
    dlg->style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    DialogBoxIndirectParamA(instance, dlg, owner, DialogProc, reinterpret_cast<LPARAM>(&scale));
}

int TAboutForm::Px(int designPixels) const {
    return movix::Px(scale_, designPixels);
}

INT_PTR CALLBACK TAboutForm::DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    TAboutForm* self = reinterpret_cast<TAboutForm*>(GetWindowLongPtrA(dialog, DWLP_USER));
    try {
        switch (msg) {
        case WM_INITDIALOG: {
            const double scale = lParam ? *reinterpret_cast<const double*>(lParam) : 1.0;
            self = new TAboutForm(dialog, scale > 0 ? scale : 1.0);
            SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            self->FormCreate();
            return TRUE;
        }
        case WM_ACTIVATE:
            if (self && LOWORD(wParam) != WA_INACTIVE)
                self->FormActivate();
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            break;
        case WM_NCDESTROY:
            if (self) {
                DeleteObject(self->font_);
                if (self->icon_)
                    DestroyIcon(self->icon_);
                delete self;
                SetWindowLongPtrA(dialog, DWLP_USER, 0);
            }
            break;
        }
    } catch (const std::exception& e) {
        ShowErrorBox(dialog, e.what());
    }
    return FALSE;
}

void TAboutForm::SetLabel(int id, const std::string& text) {
    SetDlgItemTextA(hwnd_, id, text.c_str());
}

std::string TAboutForm::Label(int id) const {
    return WindowText(GetDlgItem(hwnd_, id));
}

void TAboutForm::FormCreate() {
    SetWindowTextA(hwnd_, "About Movix 32");
    HINSTANCE instance = GetModuleHandleA(nullptr);
    font_ = CreateFontA(-Px(13), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial");
    auto make = [&](const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h) {
        HWND c = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, Px(x), Px(y), Px(w), Px(h), hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return c;
    };
    HWND image = make("STATIC", "", SS_ICON, IDC_AboutImage1, 8, 16, 32, 32);
    icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_MOVIX32), IMAGE_ICON, Px(32), Px(32), 0));
    SendMessageA(image, STM_SETICON,
                 reinterpret_cast<WPARAM>(icon_ ? icon_ : LoadIconA(instance, MAKEINTRESOURCEA(IDI_MOVIX32))), 0);
    for (const LabelSpec& l : kLabels)
        make("STATIC", l.text, l.style | SS_NOPREFIX, l.id, l.x, l.y, l.w, l.h);
    make("STATIC", "", SS_ETCHEDHORZ, 0, 64, 128, 287, 2);
    make("STATIC", "", SS_ETCHEDHORZ, 0, 64, 204, 287, 2);
    HWND ok = make("BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, 260, 276, 77, 23);
    SetFocus(ok);

    RECT frame = {0, 0, Px(360), Px(305)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_EXSTYLE)));
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w,
                 h, SWP_NOZORDER);

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    GetVersionExA(&version);
    const AboutPlatform platform = AboutPlatformFor(version.dwPlatformId);
    SetLabel(IDC_LabelICVersion, "Movix 32, version " MOVIX_VERSION_TEXT);
    SetLabel(IDC_LabelPlatform, PlatformLine(platform.name, version.dwMajorVersion, version.dwMinorVersion));
    if (platform.heading)
        SetLabel(IDC_LabelCopyOf, platform.heading);

    SYSTEM_INFO system;
    GetSystemInfo(&system);
    // The machine's own architecture, not the one this program was built
    // for (an x64 build runs on ARM64 too).
    SYSTEM_INFO native = system;
    GetNativeSystemInfo(&native);
    SetLabel(IDC_LabelCPU, ProcessorName(system.dwProcessorType, native.wProcessorArchitecture));

    // Read only: a standard user may read these machine keys but not write them.
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    // The accessor is released however the filling ends; an error (a value
    // of another type than text) stops it and is shown, and the box opens
    // with what was filled before.
    if (reg.OpenKey("\\hardware\\DESCRIPTION\\System\\FloatingPointProcessor", false))
        SetLabel(IDC_LabelCPU, Label(IDC_LabelCPU) + " CPU and math coprocessor");
    else
        SetLabel(IDC_LabelCPU, Label(IDC_LabelCPU) + " CPU, no math coprocessor");
    if (reg.OpenKey(platform.versionKey, false)) {
        SetLabel(IDC_LabelUserName, reg.ReadString("RegisteredOwner"));
        SetLabel(IDC_LabelCompName, reg.ReadString("RegisteredOrganization"));
        if (version.dwPlatformId == 1)
            SetLabel(IDC_LabelProductID, "CD-ROM ID#: " + reg.ReadString("ProductID"));
    }
}

void TAboutForm::FormActivate() {
    MEMORYSTATUS status = {};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    const unsigned long long kilobytes = static_cast<unsigned long long>(status.dwTotalPhys) / 1024;
    // The whole number with the locale's thousands separator, no decimals.
    NUMBERFMTA format = {};
    char decimal[8] = ".", thousand[8] = ",";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, sizeof decimal);
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, sizeof thousand);
    format.NumDigits = 0;
    format.LeadingZero = 0;
    format.Grouping = 3;
    format.lpDecimalSep = decimal;
    format.lpThousandSep = thousand;
    format.NegativeOrder = 1;
    char text[64] = {};
    const std::string digits = std::to_string(kilobytes);
    if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits.c_str(), &format, text, sizeof text) <= 0)
        lstrcpynA(text, digits.c_str(), sizeof text);
    SetLabel(IDC_PhysMemory, std::string(text) + " KB");
}

void TForm1::BtnAboutClick() {
    TAboutForm::ShowModal(instance_, hwnd_, scale_);
    // The About button was only the way in: the keyboard goes back to the
    // button the page expects, so that Enter does not open the box again.
    HWND focus = GetFocus();
    if (focus == nullptr || focus == Control(IDC_BtnAbout) || lastFocus_ == Control(IDC_BtnAbout)) {
        HWND next = Control(IDC_BtnNext);
        HWND target = IsWindowVisible(next) && IsWindowEnabled(next) ? next : EntryFocus();
        if (target) {
            SetFocus(target);
            FocusChanged(target);
        }
    }
}

}  // namespace movix
