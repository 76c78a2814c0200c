// movixhlp.exe "<help file>": the help viewer of Movix 32. One instance per
// help file serves every request of the program until told to quit.
#include <windows.h>

#include <string>

#include "app/help_file.h"
#include "app/help_protocol.h"
#include "help_viewer_win.h"
#include "platform/handles.h"
#include "platform/wide_text_win.h"

namespace {

// Paths and messages go through the wide functions: the help file may lie in
// a folder named in any script, whatever the code page of this program.
std::string FullPath(const std::string& path) {
    const std::wstring wide = movix::Utf8ToWide(path);
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
    if (n >= buffer.size()) {
        buffer.resize(n);
        n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
    }
    if (n == 0 || n >= buffer.size())
        return path;
    buffer.resize(n);
    return movix::WideToUtf8(buffer);
}

void Tell(const std::string& text) {
    ::MessageBoxW(nullptr, movix::Utf8ToWide(text).c_str(), movix::Utf8ToWide(movix::kHelpMessageCaption).c_str(),
                  MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND | MB_TOPMOST);
}

// The whole help file, as ReadHelpFileText reads it, but opened by its wide
// name.
movix::HelpFileLoad ReadHelpFile(const std::string& path, std::string& text) {
    using movix::HelpFileLoad;
    text.clear();
    movix::FileHandle file(::CreateFileW(movix::WideFileName(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? HelpFileLoad::Missing
                                                                              : HelpFileLoad::Unreadable;
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size))
        return HelpFileLoad::Unreadable;
    if (static_cast<unsigned long long>(size.QuadPart) > movix::kMaxHelpFileBytes)
        return HelpFileLoad::TooLarge;
    text.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD done = 0;
    if (!text.empty() && (!::ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &done, nullptr) ||
                          done != text.size())) {
        text.clear();
        return HelpFileLoad::Unreadable;
    }
    return HelpFileLoad::Ok;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace movix;
    std::string argument = HelpFileArgument(WideToUtf8(::GetCommandLineW()));
    if (argument.empty()) {
        Tell("No help file was named.\r\n\r\nThe help viewer is started by Movix 32 with the full path of its help "
             "file.");
        return 2;
    }
    const std::string path = FullPath(argument);

    std::string text;
    switch (ReadHelpFile(path, text)) {
    case HelpFileLoad::Ok:
        break;
    case HelpFileLoad::Missing:
        Tell("Cannot find the help file\r\n" + path + "\r\n\r\nHelp is not available.");
        return 1;
    case HelpFileLoad::Unreadable:
        Tell("Cannot read the help file\r\n" + path + "\r\n\r\nHelp is not available.");
        return 1;
    case HelpFileLoad::TooLarge:
        Tell("The file\r\n" + path + "\r\nis too large to be a help file.\r\n\r\nHelp is not available.");
        return 1;
    }

    // Two requests at the same moment may start two viewers; the lock makes
    // the look-up and the creation of the server window one step, so only
    // one of them serves the file and the other ends.
    ObjectHandle lock(::CreateMutexA(nullptr, FALSE, "Local\\MovixHelpViewerStart"));
    if (lock)
        ::WaitForSingleObject(lock.get(), 5000);
    if (::FindWindowExW(nullptr, nullptr, Utf8ToWide(kHelpServerClass).c_str(), Utf8ToWide(path).c_str())) {
        if (lock)
            ::ReleaseMutex(lock.get());
        return 0;
    }
    HelpViewer viewer(instance, path, HelpFile::Parse(text));
    bool started = viewer.Start();
    if (lock)
        ::ReleaseMutex(lock.get());
    if (!started)
        return 3;
    return viewer.Run();
}
