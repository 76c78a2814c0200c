// Shared by the DDE tests: the Program Manager substitute of the build,
// started and ended by a test, and the message loop and file helpers they
// use around it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "platform/handles.h"
#include "quiet_process_win.h"

namespace movix_dde_test {

using movix::FileHandle;
using movix::ObjectHandle;

inline std::string ExeFolder() {
    char buffer[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path(buffer, n);
    return path.substr(0, path.find_last_of("\\/"));
}

// The test program runs in <build>\tests; the substitute sits in <build>.
inline std::string BuildFolder() {
    std::string tests = ExeFolder();
    return tests.substr(0, tests.find_last_of("\\/"));
}

inline std::string SubstitutePath() {
    return BuildFolder() + "\\mxprogman.exe";
}

inline std::string Pid() {
    return std::to_string(::GetCurrentProcessId());
}

// Runs the message loop for `ms`, or until `done` holds.
inline bool Pump(
    DWORD ms,
    const std::function<bool()>& done = [] { return false; }) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (::GetTickCount() - start >= ms)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 10000) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        ::Sleep(25);
    }
    return true;
}

inline std::string ReadFileText(const std::string& name) {
    FileHandle h(::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        return "<missing>";
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(h.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

inline void RemoveFolder(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ::DeleteFileA((folder + "\\" + data.cFileName).c_str());
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

inline std::string TempFolder(const std::string& name) {
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + name + "-" + Pid();
    RemoveFolder(folder);
    return folder;
}

inline HWND ServerWindow(const std::string& service, const std::string& topic) {
    return ::FindWindowA("MxProgManWindow", ("MxProgMan " + service + " " + topic).c_str());
}

// Ends the server behind the window and waits until its process is gone.
inline bool EndServer(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    ObjectHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    if (!process)
        return false;
    if (::WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0)
        return true;
    ::TerminateProcess(process.get(), 1);
    return false;
}

// One substitute started for a test, ended when the test ends.
class Substitute {
  public:
    Substitute(std::string service, std::string topic, std::string folder, const std::string& extra = "")
        : service_(std::move(service)), topic_(std::move(topic)), folder_(std::move(folder)) {
        std::string command = "\"" + SubstitutePath() + "\" \"" + topic_ + "\" /service:" + service_ +
                              " \"/groups:" + folder_ + "\" " + extra;
        // Quietly: a server that outlives the test must not hold its output.
        PROCESS_INFORMATION pi;
        if (!StartQuietly(nullptr, command, pi))
            return;
        process_.reset(pi.hProcess);
        ::CloseHandle(pi.hThread);
        WaitFor([&] { return ServerWindow(service_, topic_) != nullptr || Exited(); });
    }
    ~Substitute() { End(); }

    bool Running() const { return process_ && !Exited() && ServerWindow(service_, topic_) != nullptr; }
    bool Exited() const { return !process_ || ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        if (process_)
            ::GetExitCodeProcess(process_.get(), &code);
        return code;
    }
    void Kill() {
        if (process_) {
            ::TerminateProcess(process_.get(), 9);
            ::WaitForSingleObject(process_.get(), 10000);
            process_.reset();
        }
    }
    void End() {
        if (!process_)
            return;
        if (HWND w = ServerWindow(service_, topic_))
            ::PostMessageA(w, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0)
            ::TerminateProcess(process_.get(), 1);
        process_.reset();
    }

  private:
    std::string service_;
    std::string topic_;
    std::string folder_;
    ObjectHandle process_;
};

inline std::string WindowsFolder() {
    char buffer[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryA(buffer, MAX_PATH);
    return std::string(buffer, n);
}

// A copy of the substitute under another name, which makes it serve the
// service of that name; removed at the end of the test.
class SubstituteCopy {
  public:
    explicit SubstituteCopy(std::string path) : path_(std::move(path)) {
        copied_ = ::CopyFileA(SubstitutePath().c_str(), path_.c_str(), FALSE) != 0;
    }
    ~SubstituteCopy() {
        // A server started from it may still be ending.
        WaitFor(
            [&] {
                return ::DeleteFileA(path_.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND ||
                       ::GetLastError() == ERROR_PATH_NOT_FOUND;
            },
            10000);
    }
    SubstituteCopy(const SubstituteCopy&) = delete;
    SubstituteCopy& operator=(const SubstituteCopy&) = delete;
    bool Copied() const { return copied_; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    bool copied_ = false;
};

}  // namespace movix_dde_test
