// Kills a process in the middle of moving a program's folder to another
// drive (recording its way in an undo journal, as a run does), again and
// again, and checks after each kill that the program is whole somewhere: at
// Old, every file as it was (whatever the copy at New holds), or, once the
// move had checked its copy and taken the source away, at New, every file
// as it was at Old. Then a Restore of the journal must leave it whole at
// Old with nothing at New (cut before the point of no return) or whole at
// New with no rest of Old (cut after it), and the same move then succeeds.
//
// In its second mode it kills Restores of such a move (the program at New
// on the other drive, references to it in the Registry), runs Restore
// again after each kill, and checks that the program is then whole at Old
// with every reference at Old: nothing stands in the way back, so the
// second Restore must finish whatever the first left.
//
//   movix_move_crash_test [kills]        the test (50 kills unless told)
//   movix_move_crash_test child OLD NEW JOURNALS EVENT
//                                        moves OLD to NEW after setting the event,
//                                        with its journal in JOURNALS
//   movix_move_crash_test restore [kills]
//                                        the test of Restores
//   movix_move_crash_test restore-child JOURNAL EVENT
//                                        restores the journal after setting the event
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/kinds.h"
#include "targets/folder_move_win.h"
#include "targets/undo_journal_win.h"
#include "../second_drive_win.h"

using namespace movix;

namespace {

// The program: a few large files and many small ones in three folders.
struct PlannedFile {
    std::string name;
    std::size_t size;
};

std::vector<PlannedFile> Plan() {
    std::vector<PlannedFile> files;
    for (int i = 0; i < 3; ++i)
        files.push_back({"lib\\big" + std::to_string(i) + ".dll", 1024 * 1024 + 4096 * i});
    for (int i = 0; i < 60; ++i)
        files.push_back({(i % 2 ? "data\\" : "data\\more\\") + std::string("f") + std::to_string(i) + ".txt",
                         static_cast<std::size_t>(100 + 37 * i)});
    files.push_back({"QUILL.EXE", 20000});
    return files;
}

std::string Content(const PlannedFile& file) {
    std::string bytes(file.size, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 131 + file.name.size() * 7 + file.size) >> 2);
    return bytes;
}

bool WriteWhole(const std::string& name, const std::string& bytes) {
    HANDLE h = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    ::CloseHandle(h);
    return ok;
}

std::string ReadWhole(const std::string& name, bool& exists) {
    HANDLE h = ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    exists = h != INVALID_HANDLE_VALUE;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (exists && ::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    if (exists)
        ::CloseHandle(h);
    return bytes;
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string full = folder + "\\" + name;
            ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                ::DeleteFileA(full.c_str());
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

// True when the folder holds the program whole: every planned file with its
// content, and nothing else.
bool Whole(const std::string& folder) {
    std::size_t count = 0;
    for (const PlannedFile& file : Plan()) {
        bool exists = false;
        if (ReadWhole(folder + "\\" + file.name, exists) != Content(file) || !exists)
            return false;
        ++count;
    }
    return count == Plan().size();
}

bool Exists(const std::string& name) { return ::GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Removes what a move or Restore stopped midway set aside in `folder` under
// names that match `pattern`; true when there was any.
bool RemoveSetAside(const std::string& folder, const std::string& pattern) {
    bool any = false;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        any = true;
        RemoveTree(folder + "\\" + data.cFileName);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return any;
}

int RunChild(const std::string& from,
             const std::string& to,
             const std::string& journals,
             const std::string& eventName) {
    HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName.c_str());
    if (ready == nullptr)
        return 2;
    std::string error;
    std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(journals, from, to, "today", error);
    if (!journal || !journal->BeforeMove(from, to, false, error))
        return 2;
    TMoveOptions options;
    options.journal = journal->MoveJournal();
    const TMoveCheck check = CheckFolderMove(from, to, options);
    ::SetEvent(ready);
    const TMoveReport report = MoveFolder(check, options, nullptr, nullptr, nullptr);
    if (report.end != TMoveEnd::Copied)
        return 3;
    journal->AfterMove(FolderTreeDigest(to));
    return 0;
}

// The one journal a child wrote into `folder`, or empty.
std::string JournalIn(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\MOVIX32UNDO-*.TXT").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return std::string();
    ::FindClose(find);
    return folder + "\\" + data.cFileName;
}

bool IsEmptyFolder(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool empty = true;
    do
        empty = empty && (std::string(data.cFileName) == "." || std::string(data.cFileName) == "..");
    while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return empty;
}

// After a killed move: its journal restored, the program where the issue
// wants it, and the same move run again when it is at Old. The outcome, or
// empty (with the reason printed) when anything is amiss.
std::string RestoreKilledMove(int round,
                              const std::string& journals,
                              const std::string& work,
                              const std::string& old,
                              const std::string& to) {
    const std::string journal = JournalIn(journals);
    if (journal.empty()) {
        std::printf("round %d: the child wrote no journal\n", round);
        return std::string();
    }
    std::vector<std::string> log;
    int problems = RestoreUndoJournal(journal, [&log](const std::string& line) { log.push_back(line); });
    // A line the kill tore is left out and named; it recorded nothing done.
    for (const std::string& line : log)
        if (line.rfind("***** Journal line ", 0) == 0 && line.find(": incomplete (left out)") != std::string::npos)
            --problems;
    const auto said = [&log](const char* text) {
        for (const std::string& line : log)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    };
    const bool rest = RemoveSetAside(work, "Old" + std::to_string(round) + ".movix-*");
    std::string outcome;
    if (problems == 0 && !rest && Whole(old) && !Exists(to))
        outcome = said("the interrupted move was undone: the folder is at Old")
                      ? "cut before the point of no return: undone, whole at Old, nothing at New"
                  : said("Moved back") ? "ended: moved back by Restore, whole at Old, nothing at New"
                                       : "cut before the copy began: whole at Old, nothing at New";
    else if (problems == 0 && !rest && Whole(old) && IsEmptyFolder(to))
        outcome = "cut before the copy began: whole at Old, an empty folder at New (left: not proven the move's)";
    else if (problems == 0 && !rest && Whole(to) && !Exists(old) && said("the interrupted move was finished")) {
        // Its end recorded by that Restore, the next one moves it back.
        outcome = "cut after the point of no return: finished, whole at New, no rest of Old";
        if (!said("restore this journal again") ||
            RestoreUndoJournal(journal, [&log](const std::string& line) { log.push_back(line); }) != 0 ||
            !Whole(old) || Exists(to))
            outcome.clear();
        else
            outcome += "; restored again: whole at Old";
    }
    if (outcome.empty()) {
        for (const std::string& line : log)
            std::printf("round %d: %s\n", round, line.c_str());
        std::printf(
            "round %d: after Restore the program is not whole at Old with nothing at New, nor whole at New "
            "with no rest of Old\n",
            round);
        return std::string();
    }
    const TMoveCheck check = CheckFolderMove(old, to);
    const bool moved = check.problem.empty() &&
                       MoveFolder(check, TMoveOptions(), nullptr, nullptr, nullptr).end == TMoveEnd::Copied &&
                       Whole(to) && !Exists(old);
    if (!moved) {
        std::printf("round %d: the same move failed after Restore: %s\n", round, check.problem.c_str());
        return std::string();
    }
    return outcome + "; moved again";
}

int RunRestoreChild(const std::string& journal, const std::string& eventName) {
    HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName.c_str());
    if (ready == nullptr)
        return 2;
    ::SetEvent(ready);
    return RestoreUndoJournal(journal, [](const std::string&) {}) == 0 ? 0 : 3;
}

// The references of a round: Registry values that name the program's file.
constexpr int kReferences = 12;
const std::string kReferenceKey = "Software\\MovixRestoreCrash";

std::string ReferenceName(int round, int n) {
    return "R" + std::to_string(round) + "-" + std::to_string(n);
}

void SetReference(const std::string& name, const std::string& folder) {
    const std::string data = folder + "\\QUILL.EXE";
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kReferenceKey.c_str(), name.c_str(), REG_SZ, data.c_str(),
                      static_cast<DWORD>(data.size() + 1));
}

bool ReferencesName(int round, const std::string& folder) {
    for (int n = 0; n < kReferences; ++n) {
        char data[MAX_PATH] = {};
        DWORD size = sizeof data;
        if (::RegGetValueA(HKEY_CURRENT_USER, kReferenceKey.c_str(), ReferenceName(round, n).c_str(), RRF_RT_REG_SZ,
                           nullptr, data, &size) != ERROR_SUCCESS ||
            folder + "\\QUILL.EXE" != data)
            return false;
    }
    return true;
}

// The journal of a run that moved the program from `old` to `to` (planted
// there whole) and then rewrote each reference, one group at a time.
std::string JournalOfAMove(const std::string& folder, int round, const std::string& old, const std::string& to) {
    std::string error;
    std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(folder, old, to, "today", error);
    if (!journal || !journal->BeforeMove(old, to, false, error)) {
        std::printf("round %d: no journal: %s\n", round, error.c_str());
        return std::string();
    }
    journal->AfterMove(FolderTreeDigest(to));
    for (int n = 0; n < kReferences; ++n) {
        const std::string name = ReferenceName(round, n);
        SetReference(name, old);
        TReplaceGroup group{"HKCU\\" + kReferenceKey, {{name + "=" + old, 8, name}}};
        if (!journal->Before(KindReg, group, error)) {
            std::printf("round %d: %s\n", round, error.c_str());
            return std::string();
        }
        SetReference(name, to);
        journal->After();
    }
    return journal->FileName();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "child")
        return RunChild(argv[2], argv[3], argv[4], argv[5]);
    if (argc == 4 && std::string(argv[1]) == "restore-child")
        return RunRestoreChild(argv[2], argv[3]);
    const bool restores = argc > 1 && std::string(argv[1]) == "restore";
    if (restores) {
        --argc;
        ++argv;
    }

    const int kills = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    char self[MAX_PATH], tempDir[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    ::GetTempPathA(MAX_PATH, tempDir);
    const std::string work = std::string(tempDir) + "movix_move_crash_" + std::to_string(::GetCurrentProcessId());
    RemoveTree(work);
    ::CreateDirectoryA(work.c_str(), nullptr);
    const std::string driveFolder = work + "\\drive";
    ::CreateDirectoryA(driveFolder.c_str(), nullptr);
    const movix_test::SecondDrive drive(driveFolder);
    const char letter = drive.Letter();
    if (letter == 0) {
        std::printf("no second drive could be mapped\n");
        return 1;
    }
    const unsigned seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::mt19937 random(seed);
    std::printf("seed %u, %d kills, second drive %c:\n", seed, kills, letter);

    std::map<std::string, int> outcomes;
    int failures = 0, killed = 0;
    double longest = 0.01;  // seconds a whole move (or Restore) took, as measured
    for (int round = 0; round <= kills; ++round) {
        // Round 0 runs to its end and measures how long a move takes.
        const std::string old = work + "\\Old" + std::to_string(round);
        const std::string to = std::string(1, letter) + ":\\New" + std::to_string(round);
        // A move begins with the program at Old, a Restore with it at New.
        const std::string plantAt = restores ? to : old;
        for (const char* folder : {"", "\\lib", "\\data", "\\data\\more"})
            ::CreateDirectoryA((plantAt + folder).c_str(), nullptr);
        for (const PlannedFile& file : Plan())
            if (!WriteWhole(plantAt + "\\" + file.name, Content(file))) {
                std::printf("round %d: cannot plant %s\n", round, file.name.c_str());
                return 1;
            }
        const std::string journals = work + "\\journals" + std::to_string(round);
        ::CreateDirectoryA(journals.c_str(), nullptr);
        const std::string journal = restores ? JournalOfAMove(journals, round, old, to) : std::string();
        if (restores && journal.empty())
            return 1;
        const std::string eventName = "movix_move_crash_" + std::to_string(::GetCurrentProcessId()) + "_" +
                                      std::to_string(round);
        HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
        std::string command = "\"" + std::string(self) + "\" " +
                              (restores ? "restore-child \"" + journal + "\" "
                                        : "child \"" + old + "\" \"" + to + "\" \"" + journals + "\" ") +
                              eventName;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessA(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            std::printf("round %d: cannot start the child (error %lu)\n", round, ::GetLastError());
            return 1;
        }
        HANDLE waitFor[2] = {ready, pi.hProcess};
        if (::WaitForMultipleObjects(2, waitFor, FALSE, 60000) != WAIT_OBJECT_0) {
            std::printf("round %d: the child did not start its move\n", round);
            ::TerminateProcess(pi.hProcess, 1);
            return 1;
        }
        const auto started = std::chrono::steady_clock::now();
        if (round == 0) {
            ::WaitForSingleObject(pi.hProcess, 120000);
            longest = std::max(longest, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            std::printf("a whole %s took %.2f s\n", restores ? "Restore" : "move", longest);
        } else {
            const auto delay = std::chrono::microseconds(
                std::uniform_int_distribution<long long>(0, static_cast<long long>(longest * 1.1e6))(random));
            while (std::chrono::steady_clock::now() < started + delay) {
            }
            DWORD code = 0;
            if (::GetExitCodeProcess(pi.hProcess, &code) && code == STILL_ACTIVE && ::TerminateProcess(pi.hProcess, 9))
                ++killed;
            ::WaitForSingleObject(pi.hProcess, 60000);
        }
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(ready);
        if (round == 0 && code != 0) {
            std::printf("the unbroken %s failed (exit code %lu)\n", restores ? "Restore" : "move", code);
            return 1;
        }

        std::string outcome;
        if (restores) {
            // Restore again, and once more: the second finishes, the third
            // finds nothing left to do.
            std::vector<std::string> log;
            const TLogLine keep = [&log](const std::string& line) { log.push_back(line); };
            const int second = RestoreUndoJournal(journal, keep);
            const int third = RestoreUndoJournal(journal, keep);
            const bool atOld = Whole(old) && ReferencesName(round, old) && !Exists(to);
            const bool atNew = Whole(to) && ReferencesName(round, to) && !Exists(old);
            if (atOld && second == 0 && third == 0 && log.back().rfind("0 restored", 0) == 0) {
                outcome = "whole at Old with its references";
                if (RemoveSetAside(work, "Old" + std::to_string(round) + ".movix-back-*"))
                    outcome += ", a copy cut short set aside";
                if (RemoveSetAside(std::string(1, letter) + ":", "New" + std::to_string(round) + ".movix-*"))
                    outcome += ", the rest of New set aside";
            } else {
                for (const std::string& line : log)
                    if (line.rfind("*****", 0) == 0)
                        std::printf("round %d: %s\n", round, line.c_str());
                std::printf("round %d: %s\n", round,
                            atNew ? "left whole at New with its references, though nothing stands in the way"
                                  : "the program is not whole at Old with its references");
            }
        } else if ((Exists(old) && Whole(old)) || (!Exists(old) && Whole(to))) {
            outcome = RestoreKilledMove(round, journals, work, old, to);
        } else {
            std::printf("round %d: the program is whole neither at Old nor at New\n", round);
        }
        if (outcome.empty()) {
            ++failures;
        } else {
            ++outcomes[outcome];
            RemoveTree(old);
            RemoveTree(to);
        }
    }
    std::printf("%d of %d rounds killed in the middle of %s; %d left the program not whole%s\n", killed, kills,
                restores ? "restoring" : "moving", failures,
                restores ? " at Old with its references" : ", or not as its Restore must leave it");
    for (const auto& [what, count] : outcomes)
        std::printf("  %3d  %s\n", count, what.c_str());
    if (restores)
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kReferenceKey.c_str());
    if (failures == 0)
        RemoveTree(work);
    return failures == 0 ? 0 : 1;
}
