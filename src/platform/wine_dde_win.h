// The DDE library choice: whether this process talks DDE through Wine's
// library, which differs from Windows' in ways a conversation must work
// around (the conversation asks here, once, and takes the Wine path then):
// - As a server it follows the data it sends for every request with a
//   positive WM_DDE_ACK that no transaction asked for; the client's library
//   takes that for the answer to its next transaction, and from then on every
//   answer arrives one transaction late.
// - As a client it keeps a completed asynchronous transaction at the head of
//   the conversation's queue, where it swallows the replies of every later
//   transaction; only a fresh conversation is free of it.
#pragma once

#include <windows.h>

namespace movix {

inline bool WineDdeLibrary() {
    static const bool wine = [] {
        HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
    }();
    return wine;
}

}  // namespace movix
