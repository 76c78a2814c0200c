// Creation of the main window's controls from the layout table, and the
// drawing of the owner-drawn buttons.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <map>
#include <vector>

#include "platform/wide_text_win.h"
#include "app/layout_win.h"
#include "app/main_window_win.h"
#include "app/found_list_win.h"
#include "resource.h"
#include "platform/window_dc_win.h"

namespace movix {

namespace {

HFONT MakeFont(double scale, const char* face, int pixels, int weight, BYTE charset = DEFAULT_CHARSET,
               BYTE pitchAndFamily = DEFAULT_PITCH | FF_DONTCARE) {
    return CreateFontA(-Px(scale, pixels), 0, 0, 0, weight, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily, face);
}

int CALLBACK FontFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FontInstalled(const char* face) {
    LOGFONTA lf = {};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(lf.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    const WindowDC screen(nullptr);
    EnumFontFamiliesExA(screen.get(), &lf, FontFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// The open-folder and document symbols drawn with lines, where the symbol
// font is not installed (as under a bare Wine).
void DrawSymbol(HDC dc, const RECT& r, bool folder, COLORREF color) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = r.left + w / 5, y = r.top + h / 4, sw = w * 3 / 5, sh = h / 2;
    HPEN pen = CreatePen(PS_SOLID, 2, color);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    if (folder) {
        POINT back[] = {{x, y + sh}, {x, y}, {x + sw / 3, y}, {x + sw / 2, y + 2}, {x + sw, y + 2}, {x + sw, y + sh / 3}};
        Polyline(dc, back, 6);
        POINT front[] = {{x, y + sh}, {x + sw / 5, y + sh / 3}, {x + sw + 2, y + sh / 3}, {x + sw * 4 / 5, y + sh},
                         {x, y + sh}};
        Polyline(dc, front, 5);
    } else {
        const int dx = r.left + w / 3, dw = w / 3 + 1, dy = r.top + h / 5, dh = h * 3 / 5;
        POINT page[] = {{dx, dy}, {dx + dw - 3, dy}, {dx + dw, dy + 3}, {dx + dw, dy + dh}, {dx, dy + dh}, {dx, dy}};
        Polyline(dc, page, 6);
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

}  // namespace

HWND TForm1::CreateControl(HWND parent, const char* cls, const char* text, DWORD style, DWORD exStyle, int id, int x,
                           int y, int w, int h, int helpContext) {
    const double s = scale_;
    HWND c = CreateWindowExW(exStyle, Utf8ToWide(cls).c_str(), Utf8ToWide(text ? text : "").c_str(), WS_CHILD | style,
                             Px(s, x), Px(s, y), Px(s, w), Px(s, h), parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    designRects_[c] = RECT{x, y, x + w, y + h};
    if (helpContext)
        SetWindowContextHelpId(c, helpContext);
    if (id)
        controls_[id] = c;
    return c;
}

void TForm1::MakeFonts() {
    font_.reset(MakeFont(scale_, "Arial", 13, FW_NORMAL));
    boldFont_.reset(MakeFont(scale_, "Arial", 13, FW_BOLD));
    symbolFont_.reset(MakeFont(scale_, "Wingdings", 17, FW_BOLD, SYMBOL_CHARSET));
    // Fixed pitch asked for outright: where Courier New is missing the
    // stand-in must still line the log's columns up.
    logFont_.reset(MakeFont(scale_, "Courier New", 13, FW_NORMAL, DEFAULT_CHARSET, FIXED_PITCH | FF_MODERN));
}

// One control of the pages' table, made on `parent`; a notebook of sub-pages
// fills `subPages`.
void TForm1::CreateFromSpec(HWND parent, const ControlSpec& spec, HWND* subPages) {
    const DWORD container = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    HWND c = nullptr;
    switch (spec.kind) {
        case CtlKind::Heading:
            c = CreateControl(parent, "STATIC", spec.text, WS_VISIBLE | SS_LEFT, 0, spec.id, spec.x, spec.y, spec.w,
                              spec.h, spec.helpContext);
            SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), FALSE);
            wrapLabels_.push_back({c, &spec});
            break;
        case CtlKind::Label:
            c = CreateControl(parent, "STATIC", spec.text, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, spec.id, spec.x,
                              spec.y, spec.w, spec.h, spec.helpContext);
            wrapLabels_.push_back({c, &spec});
            break;
        case CtlKind::RightLabel:
            CreateControl(parent, "STATIC", spec.text, WS_VISIBLE | SS_RIGHT, 0, spec.id, spec.x, spec.y, spec.w,
                          spec.h, spec.helpContext);
            break;
        case CtlKind::Panel:
            CreateControl(parent, "STATIC", spec.text, WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_SUNKEN, 0,
                          spec.id, spec.x, spec.y, spec.w, spec.h, spec.helpContext);
            break;
        case CtlKind::Edit:
            CreateControl(parent, "EDIT", spec.text, WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                          spec.id, spec.x, spec.y, spec.w, spec.h, spec.helpContext);
            break;
        case CtlKind::Button:
            CreateControl(parent, "BUTTON", spec.text, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, spec.id, spec.x,
                          spec.y, spec.w, spec.h, spec.helpContext);
            break;
        case CtlKind::DefaultButton:
            CreateControl(parent, "BUTTON", spec.text, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, spec.id, spec.x,
                          spec.y, spec.w, spec.h, spec.helpContext);
            break;
        case CtlKind::Check:
            CreateControl(parent, "BUTTON", spec.text, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, spec.id, spec.x,
                          spec.y, spec.w, spec.h, spec.helpContext);
            break;
        case CtlKind::RadioGroup: {
            const RadioSpec* radio = nullptr;
            for (const RadioSpec& r : kRadioGroups) {
                if (r.groupId == spec.id)
                    radio = &r;
            }
            // Not clipping its children: the group box paints no background
            // of its own, so the panel must erase beneath it.
            HWND group = CreateControl(parent, "MovixPanel", "", WS_VISIBLE | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
                                       spec.id, spec.x, spec.y, spec.w, spec.h, spec.helpContext);
            CreateControl(group, "BUTTON", radio->caption, WS_VISIBLE | BS_GROUPBOX, 0, 0, 0, 0, spec.w, spec.h, 0);
            for (int item = 0; item < 5 && radio->items[item]; ++item) {
                CreateControl(group, "BUTTON", radio->items[item],
                              WS_VISIBLE | BS_AUTORADIOBUTTON | (item == 0 ? WS_GROUP | WS_TABSTOP : 0), 0,
                              spec.id + 1 + item, 12, 20 + item * 20, spec.w - 24, 18, 0);
            }
            break;
        }
        case CtlKind::ListBox:
            CreateControl(parent, "LISTBOX", "",
                          WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | LBS_HASSTRINGS,
                          WS_EX_CLIENTEDGE, spec.id, spec.x, spec.y, spec.w, spec.h, spec.helpContext);
            break;
        case CtlKind::LogBox:
            // Whole lines only: a last line cut in half by the frame or the
            // scroll bar is a line the user cannot read.
            c = CreateControl(parent, "LISTBOX", "",
                              WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_HASSTRINGS,
                              WS_EX_CLIENTEDGE, spec.id, spec.x, spec.y, spec.w, spec.h, spec.helpContext);
            SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(logFont_.get()), FALSE);
            SendMessageA(c, LB_SETITEMHEIGHT, 0, Px(scale_, 16));
            break;
        case CtlKind::ListView:
            CreateFoundList(parent, spec);
            break;
        case CtlKind::Progress:
            c = CreateControl(parent, PROGRESS_CLASSA, "", PBS_SMOOTH, 0, spec.id, spec.x, spec.y, spec.w, spec.h,
                              spec.helpContext);
            SendMessageA(c, PBM_SETRANGE32, 0, kMoveProgressSteps);
            break;
        case CtlKind::Indicator:
            c = CreateControl(parent, "BUTTON", spec.text, WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, spec.id, spec.x,
                              spec.y, spec.w, spec.h, spec.helpContext);
            // The tag: 2 for the green and yellow lights, 0 for the red one.
            SetWindowLongPtrA(c, GWLP_USERDATA, spec.id == IDC_btnInputBad ? 0 : 2);
            break;
        case CtlKind::Browse:
            CreateControl(parent, "BUTTON", spec.text, WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, spec.id, spec.x,
                          spec.y, spec.w, spec.h, spec.helpContext);
            break;
        case CtlKind::Notebook: {
            HWND sub = CreateControl(parent, "MovixPanel", "", WS_VISIBLE | container, WS_EX_CONTROLPARENT, spec.id,
                                     spec.x, spec.y, spec.w, spec.h, spec.helpContext);
            for (int p = 0; p < kSubPageCount; ++p) {
                subPages[p] = CreateControl(sub, "MovixPanel", kSubPages[p].name, container, WS_EX_CONTROLPARENT,
                                            IDC_SubPageBase + p, 0, 0, spec.w, spec.h, kSubPages[p].helpContext);
                HWND heading = CreateControl(subPages[p], "STATIC", kSubPages[p].heading, WS_VISIBLE | SS_LEFT, 0,
                                             IDC_SubHeadingBase + p, 0, 8, p == kSubSearchResults ? 210 : 432, 18, 0);
                SendMessageA(heading, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), FALSE);
            }
            break;
        }
    }
}

void TForm1::CreateControls() {
    MakeFonts();
    haveSymbolFont_ = FontInstalled("Wingdings");
    const DWORD container = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;

    // The logo stands on top of the notebook at the top left.
    HWND panel1 = CreateControl(hwnd_, "MovixPanel", "", WS_VISIBLE | WS_CLIPSIBLINGS, 0, IDC_Panel1, 8, 8, 64, 64, 0);
    HWND image1 = CreateControl(panel1, "STATIC", "", WS_VISIBLE | SS_ICON | SS_CENTERIMAGE | SS_NOTIFY, 0,
                                IDC_Image1, 0, 0, 64, 64, 0);
    icon_ = static_cast<HICON>(
        LoadImageA(instance_, MAKEINTRESOURCEA(IDI_MOVIX32), IMAGE_ICON, Px(scale_, 48), Px(scale_, 48), 0));
    SendMessageA(image1, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);

    HWND notebook = CreateControl(hwnd_, "MovixPanel", "", WS_VISIBLE | container, WS_EX_CONTROLPARENT,
                                  IDC_NotebookMain, 0, 0, 532, 248, kPages[0].helpContext);
    HWND pages[kPageCount];
    for (int p = 0; p < kPageCount; ++p) {
        pages[p] = CreateControl(notebook, "MovixPanel", kPages[p].name, container, WS_EX_CONTROLPARENT,
                                 IDC_PageBase + p, 0, 0, 532, 248, kPages[p].helpContext);
        if (p != kPageSearch)
            CreateControl(pages[p], "STATIC", kPages[p].heading, WS_VISIBLE | SS_LEFT, 0, IDC_HeadingBase + p, 88, 8,
                          432, 18, 0);
        SendMessageA(Control(IDC_HeadingBase + p), WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), FALSE);
    }

    HWND subPages[kSubPageCount] = {};
    for (int i = 0; i < kControlCount; ++i) {
        const ControlSpec& spec = kControls[i];
        HWND parent = hwnd_;
        if (spec.parent >= kOnSubPage)
            parent = subPages[spec.parent - kOnSubPage];
        else if (spec.parent >= 0)
            parent = pages[spec.parent];
        CreateFromSpec(parent, spec, subPages);
    }
    SendMessageA(Control(IDC_cbSkipIgnoreKeys), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(Control(IDC_EditOldAddress), EM_LIMITTEXT, 0, 0);
    SendMessageA(Control(IDC_EditNewAddress), EM_LIMITTEXT, 0, 0);
    SendMessageA(Control(IDC_EditNewAddressAgain), EM_LIMITTEXT, 0, 0);
    // Offered once the addresses allow a move (EditOldAddressChange).
    EnableWindow(Control(IDC_cbMoveFolder), FALSE);
    EnableWindow(Control(IDC_cbLeaveJunction), FALSE);

    // The button bar along the bottom, with a line along its top.
    HWND bar = CreateControl(hwnd_, "MovixPanel", "", WS_VISIBLE | container, WS_EX_CONTROLPARENT, IDC_Panel2, 0, 248,
                             532, 33, 0);
    CreateControl(bar, "STATIC", "", WS_VISIBLE | SS_ETCHEDHORZ, 0, IDC_Bevel1, 0, 0, 532, 2, 0);
    CreateControl(bar, "BUTTON", "&About", WS_VISIBLE | WS_TABSTOP, 0, IDC_BtnAbout, 4, 5, 73, 25, 15);
    CreateControl(bar, "BUTTON", "&Help", WS_VISIBLE | WS_TABSTOP, 0, IDC_BtnHelp, 77, 5, 73, 25, 16);
    CreateControl(bar, "BUTTON", "< Bac&k", WS_VISIBLE | WS_TABSTOP, 0, IDC_BtnPrev, 286, 5, 73, 25, 17);
    CreateControl(bar, "BUTTON", "Ne&xt >", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, IDC_BtnNext, 359, 5, 73, 25,
                  18);
    CreateControl(bar, "BUTTON", "Cancel", WS_VISIBLE | WS_TABSTOP, 0, IDC_BtnCancel, 456, 5, 73, 25, 19);

    pmWhatsThis_ = CreatePopupMenu();
    AppendMenuA(pmWhatsThis_, MF_STRING, IDM_WhatsThis1, "What's This?");
}

// Labels that reach the right edge of their page widen with the window, and
// every label that wraps takes the height its text needs in the font it is
// drawn with (and so at any DPI).
void TForm1::FitLabels(int outerWidth) {
    // Negative where the screen holds less than the design size.
    const int grow = outerWidth - Px(scale_, 540);
    for (const auto& label : wrapLabels_) {
        HWND c = label.first;
        const ControlSpec& spec = *label.second;
        const int containerWidth = spec.parent >= kOnSubPage ? 440 : 532;
        int width = Px(scale_, spec.w);
        if (spec.x + spec.w >= containerWidth - 20)
            width += grow;
        int height = Px(scale_, spec.h);
        if (spec.h > 18) {
            const std::wstring text = Utf8ToWide(WindowTextUtf8(c));
            const WindowDC windowDC(c);
            HDC dc = windowDC.get();
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)));
            RECT need = {0, 0, width, 0};
            const UINT prefix = (GetWindowLongA(c, GWL_STYLE) & SS_NOPREFIX) ? DT_NOPREFIX : 0;
            DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | prefix);
            SelectObject(dc, old);
            height = std::max(height, static_cast<int>(need.bottom));
        }
        SetWindowPos(c, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TForm1::PushBelowLabels(int outerHeight) {
    const double s = scale_;
    // The check boxes along a page's foot keep their place above the button
    // bar; everything else on a page stands where the design puts it, lower
    // by what the labels above it needed beyond their design height.
    auto anchored = [](HWND c) {
        const int id = GetDlgCtrlID(c);
        return id == IDC_cbShowAll || id == IDC_cbMoveFolder || (id >= IDC_cbSkipIniFiles && id <= IDC_cbSkipIgnoreKeys);
    };
    const int anchorTop = 224;  // the design top of those check boxes
    const int pageHeight = 248;
    const int gap = Px(s, 4);

    std::map<HWND, std::vector<HWND>> siblings;
    for (const auto& control : designRects_) {
        if (!anchored(control.first))
            siblings[GetParent(control.first)].push_back(control.first);
    }
    std::vector<std::pair<HWND, const ControlSpec*>> labels = wrapLabels_;
    std::sort(labels.begin(), labels.end(),
              [](const auto& a, const auto& b) { return a.second->y < b.second->y; });
    std::map<HWND, int> shift;
    for (const auto& label : labels) {
        HWND c = label.first;
        const RECT& d = designRects_[c];
        // The control right below the label: the first whose design top is
        // at or below the label's design bottom.
        HWND next = nullptr;
        for (HWND other : siblings[GetParent(c)]) {
            const RECT& o = designRects_[other];
            if (other != c && o.top >= d.bottom && (!next || o.top < designRects_[next].top))
                next = other;
        }
        if (!next)
            continue;
        RECT r;
        GetClientRect(c, &r);
        const int bottom = Px(s, d.top) + shift[c] + r.bottom;
        const int nextTop = Px(s, designRects_[next].top) + shift[next];
        if (bottom <= nextTop)
            continue;
        const int push = bottom - nextTop + gap;
        for (HWND other : siblings[GetParent(c)]) {
            if (designRects_[other].top >= designRects_[next].top)
                shift[other] += push;
        }
    }

    // Every control beside a label is placed anew, so that one pushed down
    // at a narrower width comes back up when the window widens.
    int growth = 0;
    std::vector<HWND> containers;
    for (const auto& label : labels)
        if (std::find(containers.begin(), containers.end(), GetParent(label.first)) == containers.end())
            containers.push_back(GetParent(label.first));
    for (HWND container : containers) {
        const int page = GetDlgCtrlID(container) - IDC_PageBase;
        const bool mainPage = page >= 0 && page < kPageCount;
        for (HWND c : siblings[container]) {
            const RECT& d = designRects_[c];
            const int moved = shift[c];
            RECT r;
            GetWindowRect(c, &r);
            MapWindowPoints(nullptr, container, reinterpret_cast<POINT*>(&r), 2);
            const int id = GetDlgCtrlID(c);
            if (id == IDC_lvFound || id == IDC_lbReport) {
                // Its foot stays with the window's: it gives up the height.
                SetWindowPos(c, nullptr, r.left, Px(s, d.top) + moved, r.right - r.left,
                             std::max(Px(s, 40), static_cast<int>(r.bottom - r.top) - moved),
                             SWP_NOZORDER | SWP_NOACTIVATE);
                continue;
            }
            if (r.top != Px(s, d.top) + moved)
                SetWindowPos(c, nullptr, r.left, Px(s, d.top) + moved, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            // A main page's controls must end above its check boxes (or the
            // button bar, below them).
            if (mainPage && moved > 0) {
                const int limit = d.bottom <= anchorTop ? anchorTop : pageHeight;
                growth = std::max(growth, Px(s, d.bottom) + moved + gap - Px(s, limit));
            }
        }
    }
    if (growth == labelGrowth_ || growingForLabels_)
        return;
    labelGrowth_ = growth;
    RECT window;
    GetWindowRect(hwnd_, &window);
    UpdateMinSize(window);
    if (outerHeight < minSize_.cy) {
        growingForLabels_ = true;
        SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left, minSize_.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        growingForLabels_ = false;
    }
}

void TForm1::DrawOwnerButton(const DRAWITEMSTRUCT* draw) {
    if (draw->CtlType != ODT_BUTTON)
        return;
    HDC dc = draw->hDC;
    RECT r = draw->rcItem;
    const bool pressed = (draw->itemState & ODS_SELECTED) != 0;
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    const int id = static_cast<int>(draw->CtlID);

    if (id == IDC_btnInputOk || id == IDC_btnInputHmm || id == IDC_btnInputBad) {
        // A light: a dark rim, the lamp's colour and a small highlight.
        COLORREF lamp = RGB(220, 30, 30);
        if (id == IDC_btnInputOk)
            lamp = RGB(30, 190, 60);
        else if (id == IDC_btnInputHmm)
            lamp = RGB(250, 210, 20);
        const int inset = (r.right - r.left) / 5;
        RECT bulb = {r.left + inset, r.top + inset, r.right - inset, r.bottom - inset};
        if (pressed)
            OffsetRect(&bulb, 1, 1);
        HBRUSH brush = CreateSolidBrush(lamp);
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(60, 60, 60));
        HGDIOBJ oldBrush = SelectObject(dc, brush);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        Ellipse(dc, bulb.left, bulb.top, bulb.right, bulb.bottom);
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        SelectObject(dc, GetStockObject(NULL_PEN));
        const int spot = (bulb.right - bulb.left) / 4;
        Ellipse(dc, bulb.left + spot, bulb.top + spot, bulb.left + 2 * spot, bulb.top + 2 * spot);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(brush);
        DeleteObject(pen);
    } else {
        // The folder buttons show the open-folder symbol in red, the file
        // buttons the document symbol in navy.
        const bool folder = id == IDC_btnBrowseDirFrom || id == IDC_btnBrowseDirTo;
        const COLORREF color = IsWindowEnabled(draw->hwndItem) ? (folder ? RGB(255, 0, 0) : RGB(0, 0, 128))
                                                               : GetSysColor(COLOR_GRAYTEXT);
        if (pressed)
            OffsetRect(&r, 1, 1);
        if (haveSymbolFont_) {
            char glyph[2] = {folder ? '0' : '2', 0};
            HGDIOBJ oldFont = SelectObject(dc, symbolFont_.get());
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, color);
            DrawTextA(dc, glyph, 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            SelectObject(dc, oldFont);
        } else {
            DrawSymbol(dc, r, folder, color);
        }
    }
    if (draw->itemState & ODS_FOCUS) {
        RECT focus = draw->rcItem;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
}

// The window has been moved to a screen of another DPI (or the DPI of its
// screen was changed): everything drawn to the design's measure is made
// anew at the new scale, and the window takes the place Windows suggests,
// which keeps its size on the screen as the user sees it.
void TForm1::OnDpiChanged(int dpi, const RECT& suggested) {
    if (dpi <= 0 || controls_.empty())
        return;
    const double scale = dpi / 96.0;
    if (scale != scale_) {
        const HFONT oldFonts[4] = {static_cast<HFONT>(font_.get()), static_cast<HFONT>(boldFont_.get()),
                                   static_cast<HFONT>(symbolFont_.get()), static_cast<HFONT>(logFont_.get())};
        GdiObject keep[4] = {std::move(font_), std::move(boldFont_), std::move(symbolFont_), std::move(logFont_)};
        scale_ = scale;
        MakeFonts();
        const HFONT newFonts[4] = {static_cast<HFONT>(font_.get()), static_cast<HFONT>(boldFont_.get()),
                                   static_cast<HFONT>(symbolFont_.get()), static_cast<HFONT>(logFont_.get())};
        // The images first: the list measures its columns, the Y/N images
        // among them, when its font arrives.
        if (foundList_)
            foundList_->SetDpi(dpi);
        for (const auto& control : designRects_) {
            HWND c = control.first;
            const RECT& d = control.second;
            SetWindowPos(c, nullptr, Px(scale_, d.left), Px(scale_, d.top), Px(scale_, d.right - d.left),
                         Px(scale_, d.bottom - d.top), SWP_NOZORDER | SWP_NOACTIVATE);
            const HFONT font = reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0));
            for (int i = 0; i < 4; ++i) {
                if (font == oldFonts[i]) {
                    SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(newFonts[i]), TRUE);
                    if (i == 3)
                        SendMessageA(c, LB_SETITEMHEIGHT, 0, Px(scale_, 16));
                    break;
                }
            }
        }
        // Nothing refers to the old fonts any more.
        for (GdiObject& old : keep)
            old.reset();
        HICON icon = static_cast<HICON>(
            LoadImageA(instance_, MAKEINTRESOURCEA(IDI_MOVIX32), IMAGE_ICON, Px(scale_, 48), Px(scale_, 48), 0));
        if (icon) {
            SendMessageA(Control(IDC_Image1), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
            if (icon_)
                DestroyIcon(icon_);
            icon_ = icon;
        }
        UpdateMinSize(suggested);
    }
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    // The same size as before sends no WM_SIZE, yet the controls were just
    // placed at the design's measure.
    FormResize();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

}  // namespace movix
