// A program running from a folder, for the tests of moving that folder: a
// copy of the command interpreter put there, waiting for input that never
// comes until the test ends it.
#pragma once

#include <windows.h>

#include <string>

#include "gui_driver.h"

namespace guitest {

class Waiter {
  public:
    explicit Waiter(const std::string& folder) : file_(folder + "\\WAITER.EXE") {
        char system[MAX_PATH];
        GetSystemDirectoryA(system, MAX_PATH);
        if (!CopyFileA((std::string(system) + "\\cmd.exe").c_str(), file_.c_str(), FALSE))
            return;
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE input = nullptr;
        if (!CreatePipe(&input, &feed_, &inherit, 0))
            return;
        SetHandleInformation(feed_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = input;
        si.hStdOutput = si.hStdError =
            CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
        std::string command = "WAITER.EXE /k";
        // On this test's own console: under Wine, one started with
        // CREATE_NO_WINDOW takes the desktop process down when it ends.
        const bool started =
            CreateProcessA(file_.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi_) != FALSE;
        CloseHandle(input);
        CloseHandle(si.hStdOutput);
        // Running once the system can name its program file.
        running_ = started && WaitFor(
                                  [&] {
                                      char image[MAX_PATH] = {};
                                      DWORD size = MAX_PATH;
                                      return QueryFullProcessImageNameA(pi_.hProcess, 0, image, &size) && size > 0;
                                  },
                                  20000);
    }
    ~Waiter() { End(); }
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    bool Running() const { return running_; }
    DWORD ProcessId() const { return pi_.dwProcessId; }
    void End() {
        if (pi_.hProcess) {
            TerminateProcess(pi_.hProcess, 0);
            WaitForSingleObject(pi_.hProcess, 10000);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
            pi_ = {};
        }
        if (feed_)
            CloseHandle(feed_);
        feed_ = nullptr;
        running_ = false;
        // Its file goes as well, once the process has let go of it.
        WaitFor([&] { return DeleteFileA(file_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; }, 10000);
    }

  private:
    std::string file_;
    HANDLE feed_ = nullptr;
    PROCESS_INFORMATION pi_ = {};
    bool running_ = false;
};

}  // namespace guitest
