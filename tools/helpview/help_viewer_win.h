// The help viewer's windows: a hidden server window that takes requests
// from the program, the help window that shows one topic at a time, and the
// popup that shows a control's note beside the mouse pointer.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "app/help_file.h"
#include "app/help_protocol.h"
#include "platform/handles.h"

namespace movix {

// At most one popup at a time. It closes on a click, on a key, and when it
// loses the activation; showing another replaces it.
class HelpPopupWindow {
public:
    static bool Register(HINSTANCE instance);
    void Show(HINSTANCE instance, const std::string& text, POINT pointer, HFONT font);
    void Close();
    HWND hwnd() const { return hwnd_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Dismiss(HWND hwnd, bool giveBackActivation);

    HWND hwnd_ = nullptr;
    HWND previousForeground_ = nullptr;
    bool wasActive_ = false;
    bool buttonsReleased_ = false;
    HFONT font_ = nullptr;
    std::string text_;
};

class HelpViewer {
public:
    HelpViewer(HINSTANCE instance, std::string helpPath, HelpFile file);
    HelpViewer(const HelpViewer&) = delete;
    HelpViewer& operator=(const HelpViewer&) = delete;

    // Registers the window classes and creates the server window, the sign
    // for the program that the viewer is ready.
    bool Start();
    int Run();

private:
    static LRESULT CALLBACK ServerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnServerMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    void Handle(const HelpRequestData& request);
    void ShowTopic(unsigned long context, bool remember);
    void GoBack();
    bool EnsureHelpWindow();
    void CreateChildren(HWND hwnd);
    void Layout();
    void ReportNotFound(const char* what, unsigned long context);
    void Quit();

    HINSTANCE instance_;
    std::string helpPath_;
    HelpFile file_;
    HWND server_ = nullptr;
    HWND window_ = nullptr;
    HWND contentsButton_ = nullptr;
    HWND backButton_ = nullptr;
    HWND topicList_ = nullptr;
    HWND titleLabel_ = nullptr;
    HWND textBox_ = nullptr;
    GdiObject font_;
    GdiObject boldFont_;
    std::deque<HelpRequestData> pending_;
    std::vector<unsigned long> history_;
    unsigned long current_ = 0;
    bool hasCurrent_ = false;
    bool quitting_ = false;
    HelpPopupWindow popup_;
};

}  // namespace movix
