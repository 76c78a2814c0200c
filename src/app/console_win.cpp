#include "app/console_win.h"

#include "platform/wide_text_win.h"

namespace movix {

namespace {

bool Usable(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

bool IsConsole(HANDLE h) {
    DWORD mode = 0;
    return GetConsoleMode(h, &mode) != FALSE;
}

}  // namespace

TConsole::TConsole() {
    // The inherited handles are taken before attaching: a redirected output
    // stays redirected, and only a missing one falls back to the console.
    const HANDLE stdOut = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE stdErr = GetStdHandle(STD_ERROR_HANDLE);
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        conout_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    }
    out_ = Pick(stdOut, conout_);
    err_ = Pick(stdErr, conout_);
    if (err_.handle == nullptr)
        err_ = out_;
}

TConsole::~TConsole() {
    ClearProgress();
    if (conout_ != INVALID_HANDLE_VALUE)
        CloseHandle(conout_);
}

TConsole::Stream TConsole::Pick(HANDLE inherited, HANDLE consoleOutput) {
    Stream stream;
    if (Usable(inherited)) {
        stream.handle = inherited;
        stream.console = IsConsole(inherited);
        stream.terminal = GetFileType(inherited) == FILE_TYPE_CHAR;
    } else if (consoleOutput != INVALID_HANDLE_VALUE) {
        stream.handle = consoleOutput;
        stream.console = true;
    }
    return stream;
}

void TConsole::Write(const Stream& stream, const std::string& text) {
    if (stream.handle == nullptr)
        return;
    if (stream.console) {
        const std::wstring wide = Utf8ToWide(text);
        DWORD written = 0;
        if (!wide.empty())
            WriteConsoleW(stream.handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // A file or pipe gets the bytes, written in full (a pipe may take them
    // in parts).
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = left > 65536 ? 65536 : static_cast<DWORD>(left);
        if (!WriteFile(stream.handle, data, chunk, &written, nullptr) || written == 0)
            return;
        data += written;
        left -= written;
    }
}

void TConsole::ClearProgress() {
    if (progressShown_ == 0)
        return;
    Write(out_, "\r" + std::string(progressShown_, ' ') + "\r");
    progressShown_ = 0;
}

void TConsole::Line(const std::string& text) {
    ClearProgress();
    Write(out_, text + (out_.console ? "\n" : "\r\n"));
}

void TConsole::ErrorLine(const std::string& text) {
    ClearProgress();
    Write(err_, text + (err_.console ? "\n" : "\r\n"));
}

void TConsole::Progress(const std::string& text) {
    if (!out_.console && !out_.terminal)
        return;
    // Cut to the console's width, so the line never wraps and the carriage
    // return always goes back to its start.
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    std::size_t width = 79;
    if (out_.console && GetConsoleScreenBufferInfo(out_.handle, &info) && info.dwSize.X > 1)
        width = static_cast<std::size_t>(info.dwSize.X - 1);
    std::wstring wide = Utf8ToWide(text);
    if (wide.size() > width)
        wide = wide.substr(0, width > 3 ? width - 3 : 0) + L"...";
    const std::size_t shown = wide.size();
    if (shown < progressShown_)
        wide.append(progressShown_ - shown, L' ');
    Write(out_, "\r" + WideToUtf8(wide));
    progressShown_ = shown;
}

}  // namespace movix
