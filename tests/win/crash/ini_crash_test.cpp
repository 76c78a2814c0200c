// Kills a process in the middle of INI replacements, again and again, and
// checks after each kill that nothing of the user's file is lost: the file
// holds its old or its new text whole, or (between the two steps of the
// exchange, where the file's name is briefly free) its newest backup does.
//
//   movix_ini_crash_test [kills]       the test (100 kills unless told)
//   movix_ini_crash_test child F EVENT replaces in F back and forth until
//                                      killed, after setting the event
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "targets/ini_files_win.h"

using namespace movix;

namespace {

const char kOld[] = "C:\\OLD";
const char kNew[] = "D:\\NEW";

// An INI file over 64 KB (so that the copy goes to disk in more than one
// write), with hit lines here and there, line ends of every kind and a tail
// after a Ctrl-Z. `address` is the one the hit lines hold.
constexpr int kSections = 20;

bool HasHit(int section) {
    return section % 6 == 0;
}

std::string Text(const std::string& address) {
    static const char* const kEnds[] = {"\r\n", "\n", "\r"};
    std::string text;
    for (int section = 0; section < kSections; ++section) {
        text += "[Section" + std::to_string(section) + "]\r\n";
        if (HasHit(section))
            text += "Home=" + address + "\\S" + std::to_string(section) + kEnds[section % 3];
        for (int i = 0; i < 80; ++i)
            text += "Filler" + std::to_string(i) + "=just some text that stays as it is" + kEnds[i % 3];
    }
    text += "Last=" + address + "\\LAST";  // no line end
    text += "\x1A tail with C:\\OLD that is never touched\r\n";
    return text;
}

std::vector<TReplaceHit> HitsFor(const std::string& address) {
    std::vector<TReplaceHit> hits;
    for (int section = 0; section < kSections; ++section)
        if (HasHit(section))
            hits.push_back(
                {"[SECTION" + std::to_string(section) + "]HOME=" + address + "\\S" + std::to_string(section), 6});
    hits.push_back({"[SECTION" + std::to_string(kSections - 1) + "]LAST=" + address + "\\LAST", 6});
    return hits;
}

int RunChild(const std::string& file, const std::string& eventName) {
    TLogLine ignore = [](const std::string&) {};
    HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName.c_str());
    if (ready == nullptr)
        return 2;
    ::SetEvent(ready);
    for (bool forward = true;; forward = !forward) {
        const std::string from = forward ? kOld : kNew;
        const std::string to = forward ? kNew : kOld;
        std::vector<TReplaceGroup> groups = {{file, HitsFor(from)}};
        ReplaceIniFiles(groups, from, to, nullptr, ignore);
    }
}

std::string ReadWhole(const std::string& name, bool& exists) {
    HANDLE h = ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    exists = h != INVALID_HANDLE_VALUE;
    std::string bytes;
    if (!exists)
        return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(h);
    return bytes;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return names;
}

void RemoveFolder(const std::string& folder) {
    for (const std::string& name : Names(folder)) {
        const std::string full = folder + "\\" + name;
        ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(full.c_str());
    }
    ::RemoveDirectoryA(folder.c_str());
}

bool EndsWith(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// The number of a backup name: WIN.BAK 0, WIN-7.BAK 7; -1 for other names.
int BackupNumber(const std::string& name) {
    if (name == "WIN.BAK")
        return 0;
    if (name.rfind("WIN-", 0) != 0 || !EndsWith(name, ".BAK"))
        return -1;
    const std::string digits = name.substr(4, name.size() - 8);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::atoi(digits.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "child")
        return RunChild(argv[2], argv[3]);

    const int kills = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    char tempDir[MAX_PATH];
    ::GetTempPathA(MAX_PATH, tempDir);
    const unsigned seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::mt19937 random(seed);
    std::printf("seed %u, %d kills\n", seed, kills);

    const std::string oldText = Text(kOld);
    const std::string newText = Text(kNew);
    std::map<std::string, int> outcomes;
    int failures = 0;
    int killed = 0;
    for (int round = 0; round < kills; ++round) {
        const std::string folder = std::string(tempDir) + "movix_crash_" + std::to_string(::GetCurrentProcessId()) +
                                   "_" + std::to_string(round);
        RemoveFolder(folder);
        ::CreateDirectoryA(folder.c_str(), nullptr);
        const std::string file = folder + "\\WIN.INI";
        {
            HANDLE h =
                ::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD written = 0;
            ::WriteFile(h, oldText.data(), static_cast<DWORD>(oldText.size()), &written, nullptr);
            ::CloseHandle(h);
        }
        const std::string eventName =
            "movix_crash_ready_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(round);
        HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
        std::string command = "\"" + std::string(self) + "\" child \"" + file + "\" " + eventName;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessA(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            std::printf("round %d: cannot start the child (error %lu)\n", round, ::GetLastError());
            return 1;
        }
        HANDLE waitFor[2] = {ready, pi.hProcess};
        if (::WaitForMultipleObjects(2, waitFor, FALSE, 60000) != WAIT_OBJECT_0) {
            std::printf("round %d: the child did not start its replacements\n", round);
            ::TerminateProcess(pi.hProcess, 1);
            return 1;
        }
        // A random point in the replacements: up to 60 ms (two or three rounds of
        // replacing, most of it spent writing through to the disk), to the microsecond.
        const auto delay = std::chrono::microseconds(std::uniform_int_distribution<int>(0, 60000)(random));
        const auto until = std::chrono::steady_clock::now() + delay;
        while (std::chrono::steady_clock::now() < until) {
        }
        DWORD code = 0;
        if (::GetExitCodeProcess(pi.hProcess, &code) && code == STILL_ACTIVE && ::TerminateProcess(pi.hProcess, 9))
            ++killed;
        ::WaitForSingleObject(pi.hProcess, 60000);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(ready);

        // Every file left is whole, or a temporary copy, or an empty
        // backup name set aside for an exchange that did not come.
        bool exists = false;
        const std::string text = ReadWhole(file, exists);
        std::string outcome;
        bool whole = true;
        int newestBackup = -1;
        std::string newestBackupText;
        int temps = 0;
        int placeholders = 0;
        for (const std::string& name : Names(folder)) {
            if (name == "WIN.INI")
                continue;
            if (name.rfind("WIN-", 0) == 0 && EndsWith(name, ".$$$")) {
                ++temps;
                continue;
            }
            const int number = BackupNumber(name);
            bool there = false;
            const std::string backup = ReadWhole(folder + "\\" + name, there);
            if (number < 0 || (!backup.empty() && backup != oldText && backup != newText)) {
                std::printf("round %d: %s is neither a backup nor whole\n", round, name.c_str());
                whole = false;
                continue;
            }
            if (backup.empty())
                ++placeholders;
            if (number > newestBackup && !backup.empty()) {
                newestBackup = number;
                newestBackupText = backup;
            }
        }
        if (exists) {
            if (text == oldText || text == newText)
                outcome = text == oldText ? "file holds the old text" : "file holds the new text";
            else
                whole = false;
        } else if (newestBackup >= 0) {
            outcome = "file between the two steps, its text in the newest backup";
        } else {
            whole = false;
        }
        if (temps > 0)
            outcome += ", a temporary file left";
        if (placeholders > 0)
            outcome += ", an empty backup name set aside";
        if (!whole) {
            ++failures;
            std::printf("round %d: the user's file is not whole (%s, %zu bytes)\n", round,
                        exists ? "present" : "missing", text.size());
        } else {
            ++outcomes[outcome];
            RemoveFolder(folder);
        }
    }
    std::printf("%d of %d rounds killed in the middle of replacing; %d with a file not whole\n", killed, kills,
                failures);
    for (const auto& [what, count] : outcomes)
        std::printf("  %3d  %s\n", count, what.c_str());
    return failures == 0 && killed == kills ? 0 : 1;
}
