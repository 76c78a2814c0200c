// Drives the real movix32.exe window from a second process: starts the
// program, finds its controls by identifier, clicks, types and reads them
// back, and saves screenshots.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace guitest {

// Skips the test without a display; fails it when the window did not open.
#define REQUIRE_APP(app)                                      \
    if (!guitest::HaveDisplay())                              \
        GTEST_SKIP() << "no display: the window cannot open"; \
    ASSERT_TRUE((app).Started()) << "movix32.exe did not open its window"

std::string WindowsDir();
std::string ReadAll(const std::string& path);
bool Exists(const std::string& path);

std::string ExeDir();
// A folder of its own under the temporary folder, emptied first.
std::string ScratchDir(const std::string& name);
void RemoveTree(const std::string& dir);
void WriteFile(const std::string& path, const std::string& content);
std::string WindowTextOf(HWND hwnd);
std::string ArtifactDir();
// True when windows can be shown (an X display is there).
bool HaveDisplay();
// Removes the program's key under HKEY_CURRENT_USER.
void ClearSettings();

// Runs `fn` until it returns true or the time is up; true when it did.
template <typename F>
bool WaitFor(F fn, int milliseconds = 5000) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    for (;;) {
        if (fn())
            return true;
        if (static_cast<LONG>(GetTickCount() - end) > 0)
            return false;
        Sleep(20);
    }
}

// Top-level windows of a process with a class name (and caption, if given).
HWND FindProcessWindow(DWORD pid, const char* className, const char* caption = nullptr);

// Wine presents the program this Windows version while the object lives
// (its per-program "Version" setting).
class WindowsVersion {
public:
    explicit WindowsVersion(const char* version);
    ~WindowsVersion();
    WindowsVersion(const WindowsVersion&) = delete;
    WindowsVersion& operator=(const WindowsVersion&) = delete;
};

class App {
public:
    // Starts movix32.exe with the arguments and waits for its main window.
    // The program's stored settings are removed first, so that every test
    // starts from the defaults, unless the test keeps them.
    enum Settings { FreshSettings, KeepSettings };
    explicit App(const std::string& arguments = std::string(), Settings settings = FreshSettings,
                 bool waitForWindow = true);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    bool Started() const { return main_ != nullptr; }
    HWND Main() const { return main_; }
    DWORD Pid() const { return pi_.dwProcessId; }
    // Waits for the process to end; true when it did.
    bool WaitExit(int milliseconds = 10000);
    DWORD ExitCode();

    HWND Control(int id) const;
    std::string Text(int id) const;
    void SetText(int id, const std::string& text);
    void Click(int id);
    // Clicks without waiting: for buttons that open a modal box or dialog.
    void ClickAsync(int id);
    // A top-level window of the program with this class and caption.
    HWND WaitWindow(const char* className, const char* caption, int milliseconds = 5000) const;
    bool Enabled(int id) const;
    bool Visible(int id) const;
    bool Checked(int id) const;
    void SetChecked(int id, bool checked);
    // The visible page of NotebookMain (and of NotebookSub), or -1.
    int Page() const;
    int SubPage() const;
    // Position and size of a control in its parent's client coordinates.
    RECT RectInParent(int id) const;
    SIZE OuterSize() const;
    void Resize(int width, int height);
    // Lets the program process everything sent so far.
    void Sync() const;
    // Puts the pointer at a screen point and waits until it stays there once
    // the program has processed its input: under Wine the program's own
    // pointer events from before may still move the system's idea of it back.
    bool PutPointer(int x, int y) const;
    // Posts a key press to a control, as the keyboard would deliver it.
    void PressKey(HWND target, WPARAM key);
    // Real key presses through the system's input queue (SendInput), to
    // whatever has the keyboard in the program; its window is brought to
    // the foreground first. Each key is pressed and released in turn, with
    // the modifiers (VK_MENU, VK_SHIFT, VK_CONTROL) held around them.
    void SendKeys(const std::vector<WORD>& keys, const std::vector<WORD>& modifiers = {});
    // Real key presses to a top-level window of the program, such as a
    // message box, brought to the foreground first.
    void SendKeysTo(HWND window, const std::vector<WORD>& keys);
    // Types the characters of a text as real key presses.
    void TypeText(const std::string& text);
    // Brings the program's window to the foreground; true when it is there.
    bool Activate();
    // The program's window that has the keyboard focus, or null.
    HWND Focus() const;
    // A row's rectangle in the list view's client coordinates (LVIR_*).
    RECT ListViewItemRect(int id, int row, int part) const;
    // Index of the list view's focused row, or -1.
    int ListViewFocused(int id) const;
    // Saves the window as a BMP file in the artifact folder.
    void Screenshot(const std::string& name) const;
    // Rows of a list view in the program: cell texts and image index.
    int ListViewCount(int id) const;
    std::string ListViewText(int id, int row, int column) const;
    int ListViewImage(int id, int row) const;
    // Selects exactly the given rows of a list view.
    void ListViewSelect(int id, const std::vector<int>& rows);
    // Skips every option page and chooses the INI, Registry, shortcut,
    // configuration-file, service and task scopes (item indexes; shortcuts,
    // configuration files, services and tasks are off unless asked for),
    // types the addresses and starts the search; waits until the summary
    // shows.
    bool SearchWith(int iniItem, int registryItem, const std::string& oldAddress, const std::string& newAddress,
                    int timeoutMs = 60000, int shortcutItem = 0, int configItem = 0, int serviceItem = 0,
                    int taskItem = 0);
    // The list box's strings.
    std::vector<std::string> ListBoxItems(int id) const;

private:
    PROCESS_INFORMATION pi_ = {};
    HWND main_ = nullptr;
};

// Presses `button`, which asks in a message box, and answers with a real key
// press; returns the question's text.
std::string PressAndAnswer(App& app, int button, WORD key);
// The user's documents folder, as the shell names it.
std::string DocumentsDir();
// The file name box of a common file dialog (the edit inside the combo box
// cmb13, or edt1), once it shows; null when it does not.
HWND FileNameBox(HWND dialog);
// Presses `button`, types `name` into the save dialog titled `title` and
// confirms it; true once the file `savedAs` (by default `name`) exists.
// `proposed` receives the name the dialog offered.
bool SaveThroughDialog(App& app, int button, const char* title, const std::string& name,
                       std::string* proposed = nullptr, const std::string& savedAs = std::string());

}  // namespace guitest
