// Moving a program's folder for the user, on the real file system of the test
// prefix: a rename on one drive; across drives (a second drive letter mapped
// to another folder) a copy with its data, attributes, times and access
// rules, and the source removed only after; and every refusal and stop
// leaving the source as it was and nothing of the move at New.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "targets/folder_move.h"

#include "search_test_support_win.h"
#include "second_drive_win.h"
#include "platform/file_io_win.h"
#include "targets/folder_move_win.h"

using movix_test::Exists;
using movix_test::ReadFileBytes;
using movix_test::RulesOf;
using movix_test::TempTree;
using movix_test::UnixPath;

namespace {

// What a tree holds, to compare: each entry's bytes (or "<folder>"),
// attributes and last-write time.
std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& below = "") {
    std::map<std::string, std::string> entries;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(movix::WideFileName(root + below + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::string name = movix::WideToUtf8(data.cFileName);
        if (name == "." || name == "..")
            continue;
        const std::string rel = below + "\\" + name;
        const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        std::string& entry = entries[rel];
        std::string content = "<folder>";
        if (!folder) {
            const std::string bytes = ReadFileBytes(root + rel);
            movix::TContentHash hash;
            hash.Add(bytes.data(), bytes.size());
            content = std::to_string(bytes.size()) + ":" + std::to_string(hash.Value());
        }
        const std::string rules = RulesOf(root + rel);
        movix::TContentHash rulesHash;
        rulesHash.Add(rules.data(), rules.size());
        entry = content + "|" +
                std::to_string(data.dwFileAttributes & ~FILE_ATTRIBUTE_ARCHIVE) + "|" +
                std::to_string(data.ftLastWriteTime.dwLowDateTime) + "|" + std::to_string(rulesHash.Value());
        if (folder && !link)
            for (const auto& inner : Snapshot(root, rel))
                entries.insert(inner);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
}

void SetTimes(const std::string& name, ULONGLONG when) {
    HANDLE h = CreateFileW(movix::WideFileName(name).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(when);
    t.dwHighDateTime = static_cast<DWORD>(when >> 32);
    SetFileTime(h, &t, &t, &t);
    CloseHandle(h);
}

// A program's folder: nested folders, an empty file, a large one, a
// read-only hidden one, one with access rules of its own, and old times.
void PlantProgram(const TempTree& tree, const std::string& old) {
    tree.Dir(old + "\\bin\\plugins");
    tree.Dir(old + "\\empty");
    tree.File(old + "\\QUILL.EXE", "MZ quill");
    tree.File(old + "\\bin\\empty.dat", "");
    std::string large(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 2654435761u) >> 13);
    tree.File(old + "\\bin\\plugins\\large.bin", large);
    const std::string locked = tree.File(old + "\\bin\\QUILL.INI", "[Quill]\r\nHome=C:\\QUILL\r\n");
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const std::string ruled = tree.File(old + "\\secret.key", "key");
    movix_test::SetEveryoneRules(ruled, GENERIC_READ | GENERIC_WRITE);
    SetTimes(tree / (old + "\\QUILL.EXE"), 125000000000000000ull);
    SetTimes(tree / (old + "\\bin"), 126000000000000000ull);
}

// A second drive letter for a folder of the test prefix: a copy must cross
// volumes to reach it.
class FolderMove : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(0, drive_.Letter()); }
    std::string Drive() const { return drive_.Root(); }

    movix::TMoveReport Move(const std::string& from, const std::string& to, movix::TMoveOptions options = {},
                            const std::atomic<bool>* cancel = nullptr,
                            const std::function<void(const movix::TMoveProgress&)>& progress = nullptr) {
        const movix::TMoveCheck check = movix::CheckFolderMove(from, to, options);
        log_.clear();
        return movix::MoveFolder(check, options, cancel, progress, [&](const std::string& line) { log_ += line + "\n"; });
    }

    TempTree tree_{"move"};
    movix_test::SecondDrive drive_{tree_.Dir("drive")};
    std::string log_;
};

TEST_F(FolderMove, OnOneDriveTheFolderIsRenamedNotCopied) {
    PlantProgram(tree_, "Old");
    const auto before = Snapshot(tree_ / "Old");
    movix::FileIdentity exeBefore, exeAfter;
    ASSERT_TRUE(movix::IdentityOfName(tree_ / "Old\\QUILL.EXE", exeBefore));

    EXPECT_EQ(movix::TMoveEnd::Renamed, Move(tree_ / "Old", tree_ / "Apps\\Quillpad").end) << log_;
    EXPECT_FALSE(Exists(tree_ / "Old"));
    EXPECT_EQ(before, Snapshot(tree_ / "Apps\\Quillpad"));
    ASSERT_TRUE(movix::IdentityOfName(tree_ / "Apps\\Quillpad\\QUILL.EXE", exeAfter));
    EXPECT_TRUE(exeAfter.SameFile(exeBefore)) << "the file was copied, not renamed";
}

TEST_F(FolderMove, AcrossDrivesEveryFileIsCopiedWithItsStateAndTheSourceRemoved) {
    PlantProgram(tree_, "Old");
    const auto before = Snapshot(tree_ / "Old");
    // New's parent hands down rules of its own: the copies keep their
    // source's rules all the same.
    ASSERT_TRUE(CreateDirectoryA((Drive() + "Apps").c_str(), nullptr));
    PSECURITY_DESCRIPTOR handedDown = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;GRGWGX;;;WD)(A;OICI;GA;;;SY)",
                                                                     SDDL_REVISION_1, &handedDown, nullptr));
    const BOOL handed = SetFileSecurityA((Drive() + "Apps").c_str(), DACL_SECURITY_INFORMATION, handedDown);
    LocalFree(handedDown);
    ASSERT_TRUE(handed);
    std::vector<movix::TMoveProgress> seen;
    const movix::TMoveReport report = Move(tree_ / "Old", Drive() + "Apps\\Quillpad", {}, nullptr,
                                           [&](const movix::TMoveProgress& p) { seen.push_back(p); });
    ASSERT_EQ(movix::TMoveEnd::Copied, report.end) << log_;
    EXPECT_TRUE(report.leftover.empty());
    EXPECT_FALSE(Exists(tree_ / "Old"));
    EXPECT_EQ(before, Snapshot(Drive() + "Apps\\Quillpad"));
    // Nothing of the source is left beside where it was.
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((tree_ / "Old*").c_str(), &data);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find) << data.cFileName;
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(5u, seen.back().filesDone);
    EXPECT_EQ(seen.back().bytesTotal, seen.back().bytesDone);
    EXPECT_NE(std::string::npos, log_.find("Removed the old folder")) << log_;
}

TEST_F(FolderMove, WhatForbidsTheMoveIsFoundBeforeAnythingMoves) {
    struct Case {
        const char* name;
        std::function<void(const std::string& old)> plant;
        const char* problem;
    };
    HANDLE held = INVALID_HANDLE_VALUE, waiterInput = nullptr;
    PROCESS_INFORMATION running = {};
    const Case cases[] = {
        {"a program running from Old",
         [&](const std::string& old) {
             // A copy of the command interpreter, waiting for input that
             // never comes until the test ends it.
             char system[MAX_PATH];
             GetSystemDirectoryA(system, MAX_PATH);
             ASSERT_TRUE(CopyFileA((std::string(system) + "\\cmd.exe").c_str(), (old + "\\waiter.exe").c_str(), FALSE));
             SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
             HANDLE input = nullptr;
             ASSERT_TRUE(CreatePipe(&input, &waiterInput, &inherit, 0));
             SetHandleInformation(waiterInput, HANDLE_FLAG_INHERIT, 0);
             STARTUPINFOA si = {};
             si.cb = sizeof si;
             si.dwFlags = STARTF_USESTDHANDLES;
             si.hStdInput = input;
             si.hStdOutput = si.hStdError = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
             std::string line = "waiter.exe /k";
             ASSERT_TRUE(CreateProcessA((old + "\\waiter.exe").c_str(), &line[0], nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &si, &running));
             CloseHandle(input);
             CloseHandle(si.hStdOutput);
             ASSERT_TRUE(movix_test::PumpUntil([&] { return !movix::ProgramsRunningFrom(old).empty(); }, 20000));
         },
         "(process "},
        {"a file that cannot be read",
         [&](const std::string& old) {
             held = CreateFileA((old + "\\bin\\QUILL.INI").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
             ASSERT_NE(INVALID_HANDLE_VALUE, held);
         },
         "cannot be opened for reading"},
        {"a link in the tree",
         [&](const std::string& old) {
             const std::string outside = tree_.Dir("outside");
             tree_.File("outside\\keep.txt", "keep");
             ASSERT_TRUE(movix_test::RunUnix("Z:\\bin\\ln", "ln -s \"" + UnixPath(outside) + "\" \"" +
                                                                UnixPath(old) + "/shared\""));
             ASSERT_TRUE(movix_test::PumpUntil([&] { return Exists(old + "\\shared"); }, 20000));
         },
         "cannot be copied as a link"},
        {"New holding a file",
         [&](const std::string&) { movix_test::WriteFileBytes(Drive() + "Taken\\x.txt", "x"); },
         "already holds something"},
    };
    CreateDirectoryA((Drive() + "Taken").c_str(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlantProgram(tree_, "Old");
        c.plant(tree_ / "Old");
        const auto before = Snapshot(tree_ / "Old");
        const std::string to = Drive() + (std::string(c.name) == "New holding a file" ? "Taken" : "New");
        const auto newBefore = Snapshot(Drive());
        const movix::TMoveCheck check = movix::CheckFolderMove(tree_ / "Old", to);
        EXPECT_NE(std::string::npos, check.problem.find(c.problem)) << check.problem << " running " << check.running.size() << " files " << check.files;
        EXPECT_EQ(movix::TMoveEnd::Failed, Move(tree_ / "Old", to).end);
        EXPECT_NE(std::string::npos, log_.find("***** ")) << log_;
        EXPECT_EQ(before, Snapshot(tree_ / "Old"));
        EXPECT_EQ(newBefore, Snapshot(Drive()));
        if (running.hProcess) {
            CloseHandle(waiterInput);
            TerminateProcess(running.hProcess, 0);
            WaitForSingleObject(running.hProcess, 10000);
            CloseHandle(running.hProcess);
            CloseHandle(running.hThread);
            running = {};
        }
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        movix_test::RunUnix("Z:\\bin\\rm", "rm -f \"" + UnixPath(tree_ / "Old") + "/shared\"");
        movix_test::PumpUntil([&] { return !Exists(tree_ / "Old\\shared"); }, 20000);
        EXPECT_TRUE(Exists(tree_ / "outside\\keep.txt") || std::string(c.name) != "a link in the tree");
        movix_test::RemoveTree(tree_ / "Old");
    }
}

TEST_F(FolderMove, TooLittleRoomAtNewIsRefused) {
    PlantProgram(tree_, "Old");
    movix::TMoveOptions small;
    small.freeSpaceForTest = [](const std::wstring&) { return std::uint64_t(1024 * 1024); };
    const movix::TMoveCheck check = movix::CheckFolderMove(tree_ / "Old", Drive() + "New", small);
    EXPECT_NE(std::string::npos, check.problem.find("free; the folder needs")) << check.problem;
    EXPECT_EQ(movix::TMoveEnd::Failed, Move(tree_ / "Old", Drive() + "New", small).end);
    EXPECT_FALSE(Exists(Drive() + "New"));
}

TEST_F(FolderMove, ACancelOrAFailureMidCopyLeavesTheSourceAndRemovesTheCopy) {
    for (const bool cancelIt : {true, false}) {
        SCOPED_TRACE(cancelIt ? "cancel" : "failure");
        PlantProgram(tree_, "Old");
        for (int i = 0; i < 40; ++i)
            tree_.File("Old\\bin\\part" + std::to_string(i) + ".dat", std::string(64 * 1024, static_cast<char>(i)));
        const auto before = Snapshot(tree_ / "Old");
        std::atomic<bool> cancel{false};
        std::vector<HANDLE> held;
        movix::TMoveOptions everyFile;
        everyFile.progressEveryMs = 0;
        // Once the copy is under way: Cancel, or the files further on taken
        // away from the move by another program.
        const movix::TMoveReport report =
            Move(tree_ / "Old", Drive() + "Deep\\New", everyFile, &cancel, [&](const movix::TMoveProgress& p) {
                if (p.filesDone == 0)
                    return;
                if (cancelIt)
                    cancel = true;
                else if (held.empty())
                    for (int i = 0; i < 40; ++i)
                        held.push_back(CreateFileA((tree_ / ("Old\\bin\\part" + std::to_string(i) + ".dat")).c_str(),
                                                   GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            });
        for (HANDLE h : held)
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        EXPECT_EQ(cancelIt ? movix::TMoveEnd::Cancelled : movix::TMoveEnd::Failed, report.end) << log_;
        EXPECT_EQ(before, Snapshot(tree_ / "Old"));
        EXPECT_FALSE(Exists(Drive() + "Deep")) << "the move's own folders at New stay";
        movix_test::RemoveTree(tree_ / "Old");
    }
}

}  // namespace

// A link planted inside the tree while the move goes on is never followed: a
// folder of New replaced by a link to a folder elsewhere once New's folders
// are made, and a folder of the old tree replaced so once that tree, renamed
// aside, has been listed for removal. The folder elsewhere holds files of the
// same names. Nothing outside Old and New is written or deleted, and the
// program ends whole at New (or, where the move stopped, at Old).
TEST_F(FolderMove, ALinkPlantedDuringTheMoveIsNeverFollowed) {
    const struct {
        const char* point;
        const char* folder;
    } cases[] = {{"copying", "bin\\plugins"}, {"removing", "bin"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.point);
        PlantProgram(tree_, "Old");
        const std::string outside = tree_.Dir("outside");
        tree_.Dir("outside\\plugins");
        for (const char* name : {"outside\\QUILL.INI", "outside\\empty.dat", "outside\\plugins\\large.bin"})
            tree_.File(name, "not the program's");
        const auto outsideBefore = Snapshot(outside);
        const auto program = Snapshot(tree_ / "Old");
        std::string link;
        movix::TMoveOptions options;
        options.seamForTest = [&](const std::string& point, const std::string& folder) {
            if (point != c.point)
                return;
            const std::string victim = folder + "\\" + c.folder;
            // The folder is taken aside and a link put in its place, where
            // the system lets anyone do so.
            if (!MoveFileW(movix::WideFileName(victim).c_str(), movix::WideFileName(victim + ".aside").c_str()))
                return;
            link = victim;
            ASSERT_TRUE(movix_test::RunUnix("Z:\\bin\\ln", "ln -s \"" + UnixPath(outside) + "\" \"" +
                                                               UnixPath(victim) + "\""));
            ASSERT_TRUE(movix_test::PumpUntil([&] { return Exists(victim); }, 20000));
        };
        const movix::TMoveReport report = Move(tree_ / "Old", Drive() + "New", options);
        EXPECT_EQ(outsideBefore, Snapshot(outside)) << log_;
        if (report.end == movix::TMoveEnd::Copied)
            EXPECT_EQ(program, Snapshot(Drive() + "New")) << log_;
        else
            EXPECT_EQ(program, Snapshot(tree_ / "Old")) << log_;
        if (!link.empty()) {
            movix_test::RunUnix("Z:\\bin\\rm", "rm -f \"" + UnixPath(link) + "\"");
            movix_test::PumpUntil([&] { return !Exists(link); }, 20000);
        }
        WIN32_FIND_DATAW found;
        HANDLE leftovers = FindFirstFileW(movix::WideFileName(tree_ / "Old.movix-*").c_str(), &found);
        if (leftovers != INVALID_HANDLE_VALUE) {
            movix_test::RemoveTree(tree_ / movix::WideToUtf8(found.cFileName));
            FindClose(leftovers);
        }
        for (const std::string& tree : {tree_ / "Old", Drive() + "New", outside})
            movix_test::RemoveTree(tree);
    }
}

// A file written into Old after the copy was checked and before Old was
// renamed aside is not lost with the old folder: it is copied to New too.
TEST_F(FolderMove, AFileWrittenJustBeforeTheRenameIsCopiedNotLost) {
    PlantProgram(tree_, "Old");
    movix::TMoveOptions options;
    options.seamForTest = [&](const std::string& point, const std::string& folder) {
        if (point == "renaming") {
            movix_test::WriteFileBytes(folder + "\\bin\\late.log", "written late");
            movix_test::WriteFileBytes(folder + "\\QUILL.EXE", "MZ quill, changed late");
        }
    };
    EXPECT_EQ(movix::TMoveEnd::Copied, Move(tree_ / "Old", Drive() + "New", options).end) << log_;
    EXPECT_EQ("written late", ReadFileBytes(Drive() + "New\\bin\\late.log")) << log_;
    EXPECT_EQ("MZ quill, changed late", ReadFileBytes(Drive() + "New\\QUILL.EXE")) << log_;
    EXPECT_FALSE(Exists(tree_ / "Old")) << log_;
    EXPECT_EQ(std::string::npos, log_.find("*****")) << log_;
}

// A copy takes the rules a copy made by the system takes: what its source
// was given itself, and what its new parent hands down; never what the old
// parent handed down to the source (here: every signed-in user may change
// it), which would follow the program into a protected folder.
TEST_F(FolderMove, ACopyKeepsItsOwnRulesNotThoseItsOldParentHandedDown) {
    tree_.Dir("Old");
    const std::string exe = tree_.File("Old\\QUILL.EXE", "MZ quill");
    PSECURITY_DESCRIPTOR rules = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:AI(A;;FR;;;WD)(A;ID;0x1301bf;;;AU)",
                                                                     SDDL_REVISION_1, &rules, nullptr));
    HANDLE file = CreateFileA(exe.c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const BOOL set = SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, rules);
    CloseHandle(file);
    LocalFree(rules);
    ASSERT_TRUE(set);
    const auto sddl = [](const std::string& name) {
        DWORD needed = 0;
        GetFileSecurityA(name.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
        std::vector<BYTE> bytes(needed);
        LPSTR text = nullptr;
        if (needed == 0 || !GetFileSecurityA(name.c_str(), DACL_SECURITY_INFORMATION, bytes.data(), needed, &needed) ||
            !ConvertSecurityDescriptorToStringSecurityDescriptorA(bytes.data(), SDDL_REVISION_1,
                                                                  DACL_SECURITY_INFORMATION, &text, nullptr))
            return std::string("<none>");
        std::string out = text;
        LocalFree(text);
        return out;
    };
    const std::string source = sddl(exe);
    if (source.find(";AU)") == std::string::npos)
        GTEST_SKIP() << "the file system here does not keep the access rules set (" << source << ")";
    ASSERT_EQ(movix::TMoveEnd::Copied, Move(tree_ / "Old", Drive() + "Ruled").end) << log_;
    const std::string copy = sddl(Drive() + "Ruled\\QUILL.EXE") + " from " + source;
    EXPECT_NE(std::string::npos, copy.find("(A;;FR;;;WD)")) << copy;
    EXPECT_EQ(std::string::npos, copy.find(";AU)")) << copy;
    movix_test::RemoveTree(Drive() + "Ruled");
}
