// movixhlp.exe "<help file>": the help viewer of Movix 32. One instance per
// help file serves every request of the program until told to quit.
#include <windows.h>

#include <string>

#include "app/help_file.h"
#include "app/help_protocol.h"
#include "help_viewer_win.h"
#include "platform/handles.h"

namespace {

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH * 2];
    DWORD n = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(sizeof buffer), buffer, nullptr);
    if (n == 0 || n >= sizeof buffer)
        return path;
    return std::string(buffer, n);
}

void Tell(const std::string& text) {
    ::MessageBoxA(nullptr, text.c_str(), movix::kHelpMessageCaption,
                  MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND | MB_TOPMOST);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace movix;
    std::string argument = HelpFileArgument(::GetCommandLineA());
    if (argument.empty()) {
        Tell("No help file was named.\r\n\r\nThe help viewer is started by Movix 32 with the full path of its help "
             "file.");
        return 2;
    }
    const std::string path = FullPath(argument);

    std::string text;
    switch (ReadHelpFileText(path, text)) {
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
    if (::FindWindowExA(nullptr, nullptr, kHelpServerClass, path.c_str())) {
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
