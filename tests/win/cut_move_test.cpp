// A move across drives cut short at its steps (the test seam throws where a
// kill would stop the process, leaving the journal as written through):
// Restore of its journal undoes it before the point of no return and
// finishes it after; a new move offers to undo it first; and a folder at
// New that the move did not make is left alone, with a message that says
// what stands there.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "search_test_support_win.h"
#include "second_drive_win.h"
#include "targets/folder_move_cut_win.h"
#include "targets/folder_move_win.h"
#include "targets/undo_journal_win.h"

using movix_test::Exists;
using movix_test::ReadFileBytes;
using movix_test::TempTree;

namespace {

const std::map<std::string, std::string> kProgram = {
    {"QUILL.EXE", std::string(70000, 'q')},
    {"bin\\QUILL.DLL", "dll"},
    {"bin\\data\\a.txt", "a"},
    {"bin\\data\\b.txt", std::string(3 << 20, 'b')},
};

bool Whole(const std::string& folder) {
    for (const auto& [name, bytes] : kProgram)
        if (!Exists(folder + "\\" + name) || ReadFileBytes(folder + "\\" + name) != bytes)
            return false;
    return true;
}

// Any name beside `folder` that begins with its name and ".movix-".
bool LeftoverBeside(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + ".movix-*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

struct Cut : std::runtime_error {
    Cut() : std::runtime_error("cut") {}
};

class CutMove : public ::testing::Test {
  public:  // for the cases' changes
    void SetUp() override {
        ASSERT_NE(0, drive_.Letter());
        PlantOld();
        old_ = tree_ / "Old";
        new_ = drive_.Root() + "Apps\\Quill";  // "Apps" made by the move too
        journals_ = tree_.Dir("journals");
    }

    void PlantOld() {
        for (const auto& [name, bytes] : kProgram) {
            const std::size_t slash = name.rfind('\\');
            tree_.Dir("Old" + (slash == std::string::npos ? std::string() : "\\" + name.substr(0, slash)));
            tree_.File("Old\\" + name, bytes);
        }
    }

    // Moves Old to New with a journal, stopped at the seam `point`; the
    // journal's name.
    std::string MoveCutAt(const std::string& point) {
        std::string error;
        auto journal = movix::TUndoRecorder::Create(journals_, old_, new_, "today", error);
        EXPECT_TRUE(journal && journal->BeforeMove(old_, new_, false, error)) << error;
        if (!journal)
            return std::string();
        movix::TMoveOptions options;
        options.journal = journal->MoveJournal();
        options.seamForTest = [point](const std::string& at, const std::string&) {
            if (at == point)
                throw Cut();
        };
        const movix::TMoveCheck check = movix::CheckFolderMove(old_, new_, options);
        EXPECT_EQ(check.problem, "");
        EXPECT_THROW(movix::MoveFolder(check, options, nullptr, nullptr, nullptr), Cut);
        return journal->FileName();
    }

    int Restore(const std::string& journal) {
        log_.clear();
        return movix::RestoreUndoJournal(journal, [this](const std::string& line) { log_ += line + "\n"; });
    }

    void MoveAgain() {
        const movix::TMoveCheck check = movix::CheckFolderMove(old_, new_);
        ASSERT_EQ(check.problem, "");
        EXPECT_EQ(movix::MoveFolder(check, {}, nullptr, nullptr, nullptr).end, movix::TMoveEnd::Copied);
        EXPECT_TRUE(Whole(new_));
        EXPECT_FALSE(Exists(old_));
    }

    TempTree tree_{"cutmove"};
    movix_test::SecondDrive drive_{tree_.Dir("drive")};
    std::string old_, new_, journals_, log_;
};

TEST_F(CutMove, RestoreUndoesBeforeThePointOfNoReturnAndFinishesAfter) {
    const struct {
        const char* point;
        bool finished;  // past the point of no return
        const char* said;
    } cases[] = {
        {"copying", false, "the interrupted move was undone: the folder is at Old"},
        {"renaming", false, "the interrupted move was undone: the folder is at Old"},
        {"removing", true, "the interrupted move was finished: the program is at "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.point);
        const std::string journal = MoveCutAt(c.point);
        EXPECT_TRUE(Exists(new_)) << "the cut move left something at New";
        EXPECT_EQ(Restore(journal), 0) << log_;
        EXPECT_NE(log_.find(c.said), std::string::npos) << log_;
        EXPECT_FALSE(LeftoverBeside(old_)) << "no rest of Old is left";
        if (c.finished) {
            EXPECT_TRUE(Whole(new_));
            EXPECT_FALSE(Exists(old_));
            // The move's end is on record now: Restore again undoes it.
            EXPECT_NE(log_.find("restore this journal again"), std::string::npos) << log_;
            EXPECT_EQ(Restore(journal), 0) << log_;
            EXPECT_NE(log_.find("Moved back the folder " + new_), std::string::npos) << log_;
        }
        EXPECT_TRUE(Whole(old_));
        EXPECT_FALSE(Exists(new_));
        EXPECT_FALSE(Exists(drive_.Root() + "Apps")) << "the folder the move made above New is gone too";
        if (!c.finished) {
            EXPECT_EQ(Restore(journal), 0) << "a second Restore finds nothing left to do: " << log_;
            EXPECT_TRUE(Whole(old_));
        }
        MoveAgain();
        // The program back at Old for the next case.
        movix_test::RemoveTree(drive_.Root() + "Apps");
        movix_test::RemoveTree(old_);
        PlantOld();
    }
}

// The program ran from Old after the cut and rewrote a file: the copy the
// run made of it is still the run's, and goes.
TEST_F(CutMove, AFileTheProgramRewroteAtOldSinceDoesNotKeepTheFragment) {
    const std::string journal = MoveCutAt("renaming");
    const std::string dll = old_ + "\\bin\\QUILL.DLL";
    tree_.File("Old\\bin\\QUILL.DLL", "DLL");
    // Written later than the run's last sign of life and its grace.
    FILETIME later;
    GetSystemTimeAsFileTime(&later);
    ULARGE_INTEGER at = {{later.dwLowDateTime, later.dwHighDateTime}};
    at.QuadPart += 3600ull * 10000000ull;
    later = {at.LowPart, at.HighPart};
    HANDLE h = CreateFileA(dll.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(h, nullptr, nullptr, &later);
    CloseHandle(h);
    EXPECT_EQ(Restore(journal), 0) << log_;
    EXPECT_NE(log_.find("the interrupted move was undone: the folder is at Old"), std::string::npos) << log_;
    EXPECT_FALSE(Exists(new_));
    EXPECT_EQ(ReadFileBytes(dll), "DLL");
}

TEST_F(CutMove, ANewMoveFindsTheJournalAndUndoesTheCutMoveFirst) {
    const std::string journal = MoveCutAt("copying");
    movix::TMoveCheck check = movix::CheckFolderMove(old_, new_);
    EXPECT_TRUE(check.newTaken);
    movix::LookForCutMove(check, {journals_, ""});
    EXPECT_EQ(check.cutJournal, journal);
    EXPECT_NE(check.problem.find("/restore:\"" + journal + "\""), std::string::npos) << check.problem;
    std::string lines;
    movix::UndoCutMoveFirst(check, [&lines](const std::string& line) { lines += line + "\n"; });
    EXPECT_NE(lines.find("the interrupted move was undone"), std::string::npos) << lines;
    EXPECT_EQ(check.problem, "");
    MoveAgain();
}

// After the cut, New is replaced by another folder of the same name, gets
// a file of someone else's, or has something in it touched after the run.
TEST_F(CutMove, WhatTheJournalCannotProveTheMoveMadeIsLeftAlone) {
    const struct {
        const char* what;
        void (*change)(CutMove& test);
        const char* name;     // below New: what must still be there
        const char* because;  // what the message says of it
    } cases[] = {
        {"another folder in New's place",
         [](CutMove& t) {
             movix_test::RemoveTree(t.new_);
             t.tree_.Dir("drive\\Apps\\Quill");
             t.tree_.File("drive\\Apps\\Quill\\mine.txt", "not the program's");
         },
         "\\mine.txt", nullptr},
        {"a file of someone else's in the fragment",
         [](CutMove& t) { t.tree_.File("drive\\Apps\\Quill\\bin\\mine.txt", "not the program's"); },
         "\\bin\\mine.txt", "\\bin\\mine.txt is no copy of what "},
        {"a folder of the fragment touched after the run",
         [](CutMove& t) {
             FILETIME later;
             GetSystemTimeAsFileTime(&later);
             ULARGE_INTEGER at = {{later.dwLowDateTime, later.dwHighDateTime}};
             at.QuadPart += 3600ull * 10000000ull;
             later = {at.LowPart, at.HighPart};
             HANDLE h = CreateFileA((t.new_ + "\\bin\\data").c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
             SetFileTime(h, nullptr, nullptr, &later);
             CloseHandle(h);
         },
         "\\bin\\data", "\\bin\\data was made or written after the run."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string journal = MoveCutAt("copying");
        c.change(*this);
        movix::TMoveCheck check = movix::CheckFolderMove(old_, new_);
        movix::LookForCutMove(check, {journals_});
        EXPECT_EQ(check.cutJournal, "") << "no journal proves that the move made what stands at New";
        EXPECT_NE(check.problem.find("already holds something ("), std::string::npos) << check.problem;

        EXPECT_EQ(Restore(journal), 1) << log_;
        EXPECT_NE(log_.find("***** The run was stopped while it copied the folder " + old_ + " to " + new_ +
                            "; the program is whole at Old (" + old_ + "), but what stands at " + new_ +
                            " is not what the move made, so it is left as it is: "),
                  std::string::npos)
            << log_;
        // (Wine may give a folder made again the file index of the one
        // removed: then what it holds tells it from the move's own.)
        if (c.because == nullptr) {
            EXPECT_TRUE(log_.find(new_ + " is another folder than the one the move made there (volume ") !=
                            std::string::npos ||
                        log_.find(new_ + "\\mine.txt is no copy of what " + old_ + " holds.") != std::string::npos)
                << log_;
        } else {
            EXPECT_NE(log_.find(new_ + c.because), std::string::npos) << log_;
        }
        EXPECT_TRUE(Exists(new_ + c.name));
        EXPECT_TRUE(Whole(old_));
        movix_test::RemoveTree(drive_.Root() + "Apps");
    }
}

}  // namespace
