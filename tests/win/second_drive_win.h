// A second drive letter for a folder of the test prefix (Wine's dosdevices
// link), so that a test can cross volumes. Each test process takes a letter
// of its own: a named mutex per letter, held while the letter is mapped,
// keeps tests running side by side apart.
#pragma once

#include <windows.h>

#include <string>

#include "unix_path_win.h"

namespace movix_test {

class SecondDrive {
  public:
    // Maps a free letter to `folder`; Letter() is 0 when none could be.
    explicit SecondDrive(const std::string& folder) {
        std::string prefix = UnixPath("C:\\");
        prefix = prefix.substr(0, prefix.find_last_of('/', prefix.size() - 2));
        if (prefix.size() >= 11 && prefix.compare(prefix.size() - 11, 11, "/dosdevices") == 0)
            prefix.resize(prefix.size() - 11);
        if (prefix.empty())
            return;
        for (char l = 'M'; l <= 'Y' && letter_ == 0; ++l) {
            if (::GetLogicalDrives() & (1u << (l - 'A')))
                continue;
            HANDLE mutex = ::CreateMutexA(nullptr, FALSE, (std::string("movix-test-drive-") + l).c_str());
            if (mutex && ::WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0) {
                mutex_ = mutex;
                letter_ = l;
            } else if (mutex) {
                ::CloseHandle(mutex);
            }
        }
        if (letter_ == 0)
            return;
        device_ = prefix + "/dosdevices/" + static_cast<char>(letter_ + 32) + ":";
        // The letter is there once a file of the folder shows through it.
        const std::string marker = folder + "\\second-drive.marker";
        ::CloseHandle(::CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        Run("Z:\\bin\\ln", "ln -sfn \"" + UnixPath(folder) + "\" \"" + device_ + "\"");
        const std::string through = Root() + "second-drive.marker";
        for (int i = 0; i < 400 && ::GetFileAttributesA(through.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
            ::Sleep(50);
        if (::GetFileAttributesA(through.c_str()) == INVALID_FILE_ATTRIBUTES)
            letter_ = 0;
        ::DeleteFileA(marker.c_str());
    }
    ~SecondDrive() {
        if (!device_.empty())
            Run("Z:\\bin\\rm", "rm -f \"" + device_ + "\"");
        for (int i = 0; letter_ && i < 100 && ::GetFileAttributesA(Root().c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
            ::Sleep(50);
        if (mutex_) {
            ::ReleaseMutex(mutex_);
            ::CloseHandle(mutex_);
        }
    }
    SecondDrive(const SecondDrive&) = delete;
    SecondDrive& operator=(const SecondDrive&) = delete;

    char Letter() const { return letter_; }
    std::string Root() const { return std::string(1, letter_) + ":\\"; }

  private:
    // Unix programs started from Wine cannot be waited for: the caller
    // waits for what they do.
    static void Run(const char* program, std::string command) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (::CreateProcessA(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            ::CloseHandle(pi.hThread);
            ::CloseHandle(pi.hProcess);
        }
    }

    char letter_ = 0;
    HANDLE mutex_ = nullptr;
    std::string device_;
};

}  // namespace movix_test
