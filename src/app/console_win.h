// Text output of the unattended mode. movix32.exe is a window program: it
// has no console of its own. It writes to the handles it inherited when they
// lead to a file or a pipe (UTF-8 bytes), and otherwise to the console of the
// program that started it (UTF-16 through WriteConsoleW, so every character
// shows whatever the console's code page).
#pragma once

#include <windows.h>

#include <string>

namespace movix {

class TConsole {
  public:
    // Attaches to the parent's console when there is one (which also lets
    // Ctrl+C reach this process) and picks where each stream goes.
    TConsole();
    ~TConsole();
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    // One line (UTF-8) to the standard output, or to the error output.
    void Line(const std::string& text);
    void ErrorLine(const std::string& text);
    // A line that shows the progress in place of the previous one; only on
    // a console or a terminal, where it is overwritten (a file or pipe gets
    // none of it).
    void Progress(const std::string& text);
    // True when the output reaches anything at all.
    bool HasOutput() const { return out_.handle != nullptr; }

  private:
    struct Stream {
        HANDLE handle = nullptr;  // null: nowhere
        bool console = false;     // a console: WriteConsoleW; else bytes
        bool terminal = false;    // a character device (under Wine, a Unix terminal)
    };
    static Stream Pick(HANDLE inherited, HANDLE consoleOutput);
    void Write(const Stream& stream, const std::string& text);
    void ClearProgress();

    Stream out_, err_;
    HANDLE conout_ = INVALID_HANDLE_VALUE;  // the attached console's screen
    std::size_t progressShown_ = 0;         // characters of the progress line now shown
};

}  // namespace movix
