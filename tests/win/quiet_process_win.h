// Starting a program from a test with the null device as its standard
// handles, not the test's output: a program that outlived the test while
// holding CTest's pipe would keep CTest waiting for it.
#pragma once

#include <windows.h>

#include <string>

// CreateProcessA with the null device as standard input, output and error.
// The caller owns the handles in `pi` when it returns true.
inline bool StartQuietly(const char* program, std::string commandLine, PROCESS_INFORMATION& pi) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = ::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    if (nul != INVALID_HANDLE_VALUE) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = si.hStdOutput = si.hStdError = nul;
    }
    pi = {};
    const BOOL started = ::CreateProcessA(program, &commandLine[0], nullptr, nullptr, nul != INVALID_HANDLE_VALUE, 0,
                                          nullptr, nullptr, &si, &pi);
    if (nul != INVALID_HANDLE_VALUE)
        ::CloseHandle(nul);
    return started != FALSE;
}
