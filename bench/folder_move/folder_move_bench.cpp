// A program's folder (many small files and a few large ones) moved to a
// second drive by the move (the checks, copy, read back and compare, write
// through, remove the source) beside a bare move by hand of the same tree,
// in alternating rounds: a CopyFileExW loop copying it to the same drive,
// then DeleteFileW and RemoveDirectoryW removing the source. The move is
// set against the copy alone and against the copy and the removal; the
// medians of the rounds' ratios.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "../bench_support_win.h"
#include "second_drive_win.h"
#include "targets/folder_move_win.h"

namespace {

constexpr int kRounds = 5;
constexpr int kFolders = 40;
constexpr int kSmallFiles = 1200;
constexpr int kLargeFiles = 3;
constexpr std::size_t kLargeSize = 16u << 20;

void Write(const std::string& name, std::size_t size, unsigned salt) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 2654435761u + salt) >> 11);
    HANDLE h = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
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
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                ::DeleteFileA(full.c_str());
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

// The tree's folders and files, relative, folders first.
void List(const std::string& root, const std::string& below, std::vector<std::string>& folders,
          std::vector<std::string>& files) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((root + below + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders.push_back(below + "\\" + name);
            List(root, below + "\\" + name, folders, files);
        } else {
            files.push_back(below + "\\" + name);
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

// Copies the tree, then removes the source, files first, then the folders
// deepest first. The time of each part.
void BareMove(const std::string& from, const std::string& to, double& copyMs, double& removeMs) {
    const double start = NowMs();
    std::vector<std::string> folders, files;
    List(from, "", folders, files);
    ::CreateDirectoryA(to.c_str(), nullptr);
    for (const std::string& f : folders)
        ::CreateDirectoryA((to + f).c_str(), nullptr);
    for (const std::string& f : files)
        ::CopyFileExA((from + f).c_str(), (to + f).c_str(), nullptr, nullptr, nullptr, COPY_FILE_FAIL_IF_EXISTS);
    copyMs = NowMs() - start;
    const double removing = NowMs();
    for (const std::string& f : files)
        ::DeleteFileA((from + f).c_str());
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        ::RemoveDirectoryA((from + *it).c_str());
    ::RemoveDirectoryA(from.c_str());
    removeMs = NowMs() - removing;
}

double Move(const std::string& from, const std::string& to, bool& ok, double* checkMs = nullptr) {
    const double start = NowMs();
    const movix::TMoveCheck check = movix::CheckFolderMove(from, to);
    if (checkMs != nullptr)
        *checkMs = NowMs() - start;
    const movix::TMoveReport report = movix::MoveFolder(check, movix::TMoveOptions(), nullptr, nullptr, nullptr);
    ok = report.end == movix::TMoveEnd::Copied;
    return NowMs() - start;
}

}  // namespace

int main() {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string work = std::string(temp) + "movix_move_bench";
    RemoveTree(work);
    ::CreateDirectoryA(work.c_str(), nullptr);
    ::CreateDirectoryA((work + "\\drive").c_str(), nullptr);
    movix_test::SecondDrive drive(work + "\\drive");
    if (drive.Letter() == 0) {
        std::printf("no second drive could be mapped\n");
        return 1;
    }
    const std::string source = work + "\\Program";
    ::CreateDirectoryA(source.c_str(), nullptr);
    std::size_t bytes = 0;
    for (int d = 0; d < kFolders; ++d)
        ::CreateDirectoryA((source + "\\dir" + std::to_string(d)).c_str(), nullptr);
    for (int i = 0; i < kSmallFiles; ++i) {
        const std::size_t size = 512 + (i * 7919u) % 16384;
        Write(source + "\\dir" + std::to_string(i % kFolders) + "\\file" + std::to_string(i) + ".dat", size, i);
        bytes += size;
    }
    for (int i = 0; i < kLargeFiles; ++i) {
        Write(source + "\\large" + std::to_string(i) + ".bin", kLargeSize, 77 + i);
        bytes += kLargeSize;
    }
    std::printf("tree: %d files in %d folders, %.1f MB; second drive %c:\n", kSmallFiles + kLargeFiles, kFolders,
                bytes / 1048576.0, drive.Letter());

    const std::string moved = drive.Root() + "Moved";
    std::vector<double> toCopy, toCopyAndRemove;
    for (int round = 0; round < kRounds; ++round) {
        bool ok = false;
        double check = 0;
        const double move = Move(source, moved, ok, &check);
        if (!ok) {
            std::printf("round %d: the move failed\n", round);
            return 1;
        }
        // Back for the next round, untimed.
        Move(moved, source, ok);
        if (!ok) {
            std::printf("round %d: the move back failed\n", round);
            return 1;
        }
        // The bare move by hand takes the tree to the second drive and back
        // again untimed, as the move's own round does.
        double bare = 0, removal = 0;
        BareMove(source, moved, bare, removal);
        Move(moved, source, ok);
        if (!ok) {
            std::printf("round %d: moving the tree back after the bare move failed\n", round);
            return 1;
        }
        const double byHand = bare + removal;
        toCopy.push_back(move / bare);
        toCopyAndRemove.push_back(move / byHand);
        std::printf("round %d: move %.0f ms (%.1f MB/s; the checks before it %.0f ms); bare CopyFileExW loop %.0f ms, "
                    "ratio %.2f; then removing the source %.0f ms, ratio %.2f\n",
                    round, move, bytes / 1048576.0 / (move / 1000), check, bare, move / bare, removal,
                    move / byHand);
    }
    std::printf("median ratio move / bare copy: %.2f (target <= 1.15)\n", Median(toCopy));
    std::printf("median ratio move / bare copy then removal of the source: %.2f\n", Median(toCopyAndRemove));
    RemoveTree(work);
    return 0;
}
