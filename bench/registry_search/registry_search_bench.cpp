// The whole-Registry search (mode 7: HKCR, HKCU, HKLM, HKUS, no ignore list)
// timed beside the peer, Wine's own reg.exe exporting the same four roots one
// after another, in the same run and in alternating order. Prints the size of
// the Registry walked, each round's times and the ratio of the medians.
//
//   registry_search_bench.exe [--rounds 5] [--old TEXT]
#include <windows.h>

#include "../bench_support_win.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/search_thread_win.h"
#include "core/strings.h"
#include "platform/ui_dispatch_win.h"
#include "targets/registry_search_win.h"

using namespace movix;

namespace {

struct Counts {
    long keys = 0, values = 0, fullAccessKeys = 0;
};

// Counts keys and values below `key` (which is counted by the caller).
void CountTree(HKEY key, Counts& c) {
    DWORD subkeys = 0, values = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return;
    c.values += values;
    wchar_t name[256];
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD n = 256;
        if (::RegEnumKeyExW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        HKEY child = nullptr;
        if (::RegOpenKeyExW(key, name, 0, KEY_ALL_ACCESS, &child) == ERROR_SUCCESS)
            ++c.fullAccessKeys;
        else if (::RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        ++c.keys;
        CountTree(child, c);
        ::RegCloseKey(child);
    }
}

const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
const char* const kRootNames[] = {"HKCR", "HKCU", "HKLM", "HKU"};

int RunProgram(const std::string& commandLine) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;
    if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return -1;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// The peer: reg.exe export of each root in turn, into a file of its own.
double RunPeer(const std::string& folder, long long& bytes) {
    bytes = 0;
    const double start = NowMs();
    for (const char* root : kRootNames) {
        const std::string file = folder + "\\movix_bench_" + root + ".reg";
        if (RunProgram("reg.exe export " + std::string(root) + " \"" + file + "\" /y") != 0)
            std::printf("  reg.exe export %s failed\n", root);
    }
    const double ms = NowMs() - start;
    for (const char* root : kRootNames) {
        const std::string file = folder + "\\movix_bench_" + root + ".reg";
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data))
            bytes += (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        ::DeleteFileA(file.c_str());
    }
    return ms;
}

// Ours: the real search thread with a UI thread pumping messages.
double RunOurs(const std::string& old, HWND label, const std::vector<std::string>& ignore, long& hits) {
    hits = 0;
    auto* thread = new TSearchRegThread(
        KindReg, old, label, [&hits](const std::string&, const std::string&, const std::string&, int, int) { ++hits; },
        ignore, 7);
    const double ms = TimeSearch(thread);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    // Found nowhere: every name and text is examined and none reported.
    std::string old = "C:\\Movix Bench\\No Such Folder";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--old") && i + 1 < argc)
            old = argv[++i];
    }
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    std::string folder = temp;
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();

    Counts counts;
    for (HKEY root : kRoots) {
        ++counts.keys;
        CountTree(root, counts);
    }
    std::printf("Code page %u\n", ::GetACP());
    std::printf("Registry of this prefix: %ld keys (%ld below the roots open with full access), %ld values\n",
                counts.keys, counts.fullAccessKeys, counts.values);

    UiDispatcher::Init();
    HWND label = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 400, 20, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
    // Warm both once: the first reg.exe start and the first walk pay for
    // loading what later runs find ready.
    long long exportBytes = 0;
    long hits = 0;
    RunPeer(folder, exportBytes);
    RunOurs(old, label, {}, hits);

    std::vector<double> peer, ours, ratios;
    for (int r = 0; r < rounds; ++r) {
        double p, o;
        if (r % 2 == 0) {
            p = RunPeer(folder, exportBytes);
            o = RunOurs(old, label, {}, hits);
        } else {
            o = RunOurs(old, label, {}, hits);
            p = RunPeer(folder, exportBytes);
        }
        peer.push_back(p);
        ours.push_back(o);
        ratios.push_back(o / p);
        std::printf("round %d: reg export %.0f ms, search %.0f ms, ratio %.2f (%ld hits)\n", r + 1, p, o, o / p, hits);
    }
    const double peerMedian = Median(peer), ourMedian = Median(ours);
    std::printf("All of the Registry (HKCR, HKCU, HKLM, HKUS), search string \"%s\"\n", old.c_str());
    std::printf("  reg.exe export of the four roots: median %.0f ms, best %.0f ms (%lld bytes exported)\n", peerMedian,
                *std::min_element(peer.begin(), peer.end()), exportBytes);
    std::printf("  search thread, mode 7:            median %.0f ms, best %.0f ms\n", ourMedian,
                *std::min_element(ours.begin(), ours.end()));
    std::printf("  ratio of medians %.2f, median of the rounds' ratios %.2f  (target <= 0.85)\n",
                ourMedian / peerMedian, Median(ratios));

    // For reference: with the default ignore entries of Windows NT, which
    // leave out the branches met twice.
    std::vector<std::string> ntDefaults = {"HKLM\\SAM", "HKLM\\Security", "HKLM\\Hardware", "HKLM\\SOFTWARE\\CLASSES"};
    char user[256];
    DWORD n = sizeof user;
    HKEY users = nullptr;
    if (::RegOpenKeyExA(HKEY_USERS, "", 0, KEY_READ, &users) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            n = sizeof user;
            if (::RegEnumKeyExA(users, i, user, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (std::strncmp(user, "S-1-5-21-", 9) == 0 && std::strstr(user, "_Classes") == nullptr)
                ntDefaults.push_back(std::string("HKUS\\") + user);
        }
        ::RegCloseKey(users);
    }
    const double withDefaults = RunOurs(old, label, ntDefaults, hits);
    std::printf("  search thread, mode 7 with the default ignore entries: %.0f ms\n", withDefaults);

    ::DestroyWindow(label);
    UiDispatcher::Shutdown();
    return 0;
}
