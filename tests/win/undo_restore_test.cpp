// The undo journal and Restore against real INI files, shortcuts and
// Registry keys: each target alone and all together are replaced and then
// restored, after which every file must be the same byte for byte and the
// Registry's own export the same line for line as before the run.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/strings.h"
#include "core/undo_journal.h"
#include "platform/file_io_win.h"
#include "platform/seal_key_win.h"
#include "platform/wide_text_win.h"
#include "registry_test_support_win.h"
#include "search_test_support_win.h"
#include "shortcut_files_win.h"
#include "targets/ini_files_win.h"
#include "targets/registry_replace_win.h"
#include "targets/shortcuts_win.h"
#include "targets/undo_journal_win.h"

using namespace movix;
using namespace movix_test;

namespace {

using Lines = std::vector<std::string>;

std::string ReadBytes(const std::string& file) {
    std::string bytes;
    HANDLE h = ::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        bytes.append(buf, got);
    ::CloseHandle(h);
    return bytes;
}

void WriteBytes(const std::string& file, const std::string& bytes) {
    HANDLE h = ::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << file;
    DWORD done = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    ::CloseHandle(h);
}

bool Has(const Lines& log, const std::string& part) {
    for (const std::string& line : log)
        if (line.find(part) != std::string::npos)
            return true;
    return false;
}

int Stars(const Lines& log) {
    int n = 0;
    for (const std::string& line : log)
        n += line.compare(0, 5, "*****") == 0;
    return n;
}

TReplaceHit Hit(const std::string& text, int subType, const char* valueName = nullptr) {
    TReplaceHit h{text, subType};
    if (valueName)
        h.ValueName = std::string(valueName);
    return h;
}

// A journal line of the earlier kind, made by hand: its checksum (32-bit
// FNV-1a of the text) is no secret.
std::string ChecksummedLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += '\t';
        for (char c : fields[i])
            line += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    std::uint32_t h = 2166136261u;
    for (unsigned char c : line)
        h = (h ^ c) * 16777619u;
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08x", h);
    return line + "#" + sum + "\n";
}

// A file's state as the earlier journals gave it: size and 64-bit FNV-1a.
std::string ChecksummedFileState(const std::string& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    char digest[17];
    std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(h));
    return std::to_string(bytes.size()) + ":" + digest;
}

std::vector<std::string> NamesIn(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(data.cFileName);
    while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return names;
}

enum Target { kIni = 1, kLnk = 2, kReg = 4, kAll = 7 };

class UndoRestoreTest : public UiFixture {
  protected:
    void SetUp() override {
        UiFixture::SetUp();
        ::OleInitialize(nullptr);
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + UniqueToken("movix_undo_");
        ASSERT_TRUE(::CreateDirectoryA(dir_.c_str(), nullptr));
        journals_ = dir_ + "\\journals";
        ASSERT_TRUE(::CreateDirectoryA(journals_.c_str(), nullptr));
        old_ = UniqueToken("OldApp");
        new_ = "NewPlace";
    }
    void TearDown() override {
        ::OleUninitialize();
        UiFixture::TearDown();
    }

    // What each target holds, planted with the Old address in it.
    void Plant(int targets) {
        if (targets & kIni) {
            ini_ = dir_ + "\\APP.INI";
            // Mixed line ends, a line with no end, a comment and text after a
            // Ctrl-Z: the replacer rewrites these, Restore must bring them back.
            WriteBytes(ini_, "; C:\\" + old_ + " stays\r\n[Paths]\r\nHome=C:\\" + old_ + "\\bin\nOther=1\r\n" +
                                 "[C:\\" + old_ + "]\r\nx=y\x1a after the end");
            files_.push_back(ini_);
        }
        if (targets & kLnk) {
            lnk_ = dir_ + "\\APP.LNK";
            MakeShortcut(lnk_, {"C:\\" + old_ + "\\app.exe", "/x", "C:\\" + old_, "C:\\" + old_ + "\\app.ico", 2});
            files_.push_back(lnk_);
        }
        if (targets & kReg) {
            key_ = std::make_unique<PlantedKey>(HKEY_CURRENT_USER, "Software", "MovixUndo");
            const PlantedKey& k = *key_;
            // The key that moves holds a value of every type, empty and odd-length data, the
            // default value and subkeys; one of its values is rewritten before it moves.
            const std::string moved = k / ("S " + old_);
            SetSz(k.Root(), moved, "", "default of the moved key");
            SetRaw(k.Root(), moved, "bin", REG_BINARY, std::string("\x00\x01\xFF\x00", 4));
            SetRaw(k.Root(), moved, "bin empty", REG_BINARY, "");
            SetDword(k.Root(), moved, "dword", 0x80000001u);
            SetRaw(k.Root(), moved, "qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
            SetRaw(k.Root(), moved, "sz odd", REG_SZ, std::string("a\0b\0c", 5));
            SetRaw(k.Root(), moved, "sz empty", REG_SZ, "");
            SetRaw(k.Root(), moved, "multi", REG_MULTI_SZ, Utf16Sz("one") + Utf16Sz("two") + Utf16Sz(""));
            SetRaw(k.Root(), moved, "none", REG_NONE, "");
            SetSz(k.Root(), moved, "p", "C:\\" + old_);
            SetSz(k.Root(), moved + "\\L1\\L2", "deep", "3");
            // The key's own values: renamed and rewritten, the default value, an expandable text.
            SetSz(k.Root(), k.Path(), "v " + old_, "C:\\" + old_ + "\\x");
            SetSz(k.Root(), k.Path(), "", "C:\\" + old_);
            SetSz(k.Root(), k.Path(), "e", "%X%;C:\\" + old_, REG_EXPAND_SZ);
            SetRaw(k.Root(), k.Path(), "odd", REG_BINARY, std::string("\x05", 1));
        }
        for (const std::string& f : files_)
            before_[f] = ReadBytes(f);
        if (key_)
            export_ = RegExportLines("HKEY_CURRENT_USER\\" + key_->Path());
    }

    std::vector<TReplaceGroup> Groups(int kind) const {
        const std::string oldUp = UpperAscii(old_);
        if (kind == 1 && !ini_.empty())
            return {{ini_, {Hit("[PATHS]HOME=C:\\" + oldUp + "\\BIN", 6), Hit("[C:\\" + oldUp + "]", 1)}}};
        if (kind == 3 && !lnk_.empty())
            return {
                {lnk_,
                 {Hit("C:\\" + oldUp + "\\APP.EXE", 2), Hit("C:\\" + oldUp, 4), Hit("C:\\" + oldUp + "\\APP.ICO", 3)}}};
        if (kind == 4 && key_) {
            const std::string K = "HKCU\\" + key_->Path();
            const std::string v = "v " + old_;
            return {{K,
                     {Hit("S " + old_, 6), Hit(v, 7, v.c_str()), Hit(v + "=C:\\" + old_ + "\\x", 8, v.c_str()),
                      Hit("(default)=C:\\" + old_, 8, ""), Hit("e=%X%;C:\\" + old_, 9, "e")}},
                    {K + "\\S " + old_, {Hit("p=C:\\" + old_, 8, "p")}}};
        }
        return {};
    }

    // The replacement run's steps for these targets: each group recorded,
    // replaced alone and completed, the Registry's from the last to the
    // first. Returns the journal's name.
    std::string ReplaceWithJournal() {
        std::string error;
        std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(journals_, old_, new_, "today", error);
        EXPECT_TRUE(journal) << error;
        if (!journal)
            return std::string();
        const TLogLine log = [this](const std::string& line) { runLog_.push_back(line); };
        for (int kind : {1, 3, 4}) {
            std::vector<TReplaceGroup> groups = Groups(kind);
            for (std::size_t n = 0; n < groups.size(); ++n) {
                TReplaceGroup& group = groups[kind == 4 ? groups.size() - 1 - n : n];
                EXPECT_TRUE(journal->Before(kind, group, error)) << error;
                std::vector<TReplaceGroup> one{group};
                if (kind == 1)
                    ReplaceIniFiles(one, old_, new_, label_, journal->WatchLog(log));
                else if (kind == 3)
                    ReplaceShortcuts(one, old_, new_, label_, log);
                else
                    ReplaceRegistry(one, old_, new_, label_, log);
                journal->After();
            }
        }
        return journal->FileName();
    }

    int Restore(const std::string& journal, Lines& log) {
        log.clear();
        const int problems = RestoreUndoJournal(journal, [&log](const std::string& line) { log.push_back(line); });
        for (const std::string& line : log)
            if (line.compare(0, 5, "*****") == 0)
                std::printf("restore: %s\n", line.c_str());
        return problems;
    }

    void ExpectAllAsBefore(const std::string& what) {
        for (const std::string& f : files_)
            EXPECT_EQ(ReadBytes(f), before_[f]) << what << ": " << f;
        if (key_)
            EXPECT_EQ(RegExportLines("HKEY_CURRENT_USER\\" + key_->Path()), export_) << what;
    }

    void ExpectAllChanged() {
        for (const std::string& f : files_)
            EXPECT_NE(ReadBytes(f), before_[f]) << "the run did not change " << f;
        if (key_)
            EXPECT_NE(RegExportLines("HKEY_CURRENT_USER\\" + key_->Path()), export_);
    }

    std::string dir_, journals_, old_, new_;
    std::string ini_, lnk_;
    std::unique_ptr<PlantedKey> key_;
    std::vector<std::string> files_;
    std::map<std::string, std::string> before_;
    Lines export_, runLog_;
};

TEST_F(UndoRestoreTest, EachTargetAndAllTogetherComeBackExactly) {
    for (int targets : {kIni, kLnk, kReg, kAll}) {
        SCOPED_TRACE("targets " + std::to_string(targets));
        files_.clear();
        before_.clear();
        ini_.clear();
        lnk_.clear();
        key_.reset();
        Plant(targets);
        const std::string journal = ReplaceWithJournal();
        EXPECT_EQ(Stars(runLog_), 0) << runLog_.back();
        ExpectAllChanged();
        Lines log;
        EXPECT_EQ(Restore(journal, log), 0) << (log.empty() ? "" : log.back());
        EXPECT_TRUE(Has(log, "Undo journal: " + journal));
        ExpectAllAsBefore("after Restore");
        // A second Restore finds everything as it was and changes nothing.
        EXPECT_EQ(Restore(journal, log), 0);
        EXPECT_TRUE(Has(log, "0 restored")) << log.back();
        ExpectAllAsBefore("after a second Restore");
    }
}

TEST_F(UndoRestoreTest, WhatTheUserChangedSinceIsListedAndLeft) {
    Plant(kAll);
    const std::string journal = ReplaceWithJournal();
    SetSz(key_->Root(), key_->Path(), "e", "the user's own text", REG_EXPAND_SZ);
    WriteBytes(ini_, "[Paths]\r\nHome=edited by the user\r\n");
    Lines log;
    EXPECT_EQ(Restore(journal, log), 2);
    EXPECT_TRUE(Has(log, "***** Changed since the run, left as it is: value HKCU\\" + key_->Path() + " e"));
    EXPECT_TRUE(Has(log, "***** Changed since the run, left as it is: INI file " + ini_));
    EXPECT_EQ(GetSz(key_->Root(), key_->Path(), "e"), "the user's own text");
    EXPECT_EQ(ReadBytes(ini_), "[Paths]\r\nHome=edited by the user\r\n");
    // Everything else is back.
    EXPECT_EQ(ReadBytes(lnk_), before_[lnk_]);
    SetSz(key_->Root(), key_->Path(), "e", "%X%;C:\\" + old_, REG_EXPAND_SZ);
    EXPECT_EQ(RegExportLines("HKEY_CURRENT_USER\\" + key_->Path()), export_);
    // Run again: the INI file the user changed is listed again and still left.
    EXPECT_EQ(Restore(journal, log), 1);
    EXPECT_EQ(ReadBytes(ini_), "[Paths]\r\nHome=edited by the user\r\n");
}

// A close during a Restore: the target in hand is finished, the rest is
// named and left as the run made it; a later Restore puts it back.
TEST_F(UndoRestoreTest, AStopBetweenTargetsFinishesTheOneInHandAndNamesTheRest) {
    Plant(kAll);
    const std::string journal = ReplaceWithJournal();
    Lines log;
    int asked = 0;
    const int problems = RestoreUndoJournal(
        journal, [&log](const std::string& line) { log.push_back(line); }, [&asked] { return ++asked > 1; });
    EXPECT_EQ(2, asked);
    EXPECT_TRUE(Has(log, "***** The restore was stopped because the window was asked to close. Not restored:"));
    std::size_t restored = 0, named = 0;
    for (const std::string& line : log) {
        restored += line.rfind("Restored ", 0) == 0;
        named += line.rfind("    ", 0) == 0;
    }
    EXPECT_EQ(1u, restored);
    EXPECT_GE(named, 3u);
    EXPECT_EQ(static_cast<int>(named), problems);
    EXPECT_EQ(Restore(journal, log), 0) << (log.empty() ? "" : log.back());
    ExpectAllAsBefore("after the second Restore");
}

// Restore puts the content back into the file the user has: a read-only,
// hidden INI file with access rules of its own stays so.
TEST_F(UndoRestoreTest, AFileComesBackWithItsAttributesAndAccessRules) {
    Plant(kIni);
    ASSERT_TRUE(SetEveryoneRules(ini_, FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE));
    const std::string journal = ReplaceWithJournal();
    ExpectAllChanged();
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(::SetFileAttributesA(ini_.c_str(), attributes));
    if (::GetFileAttributesA(ini_.c_str()) != attributes)
        GTEST_SKIP() << "this file system keeps no hidden attribute";
    // The rules as the file has them now (under Wine, read-only shows in them).
    const std::string rules = RulesOf(ini_);
    ASSERT_NE(rules, "<none>");

    Lines log;
    EXPECT_EQ(Restore(journal, log), 0) << (log.empty() ? "" : log.back());
    ExpectAllAsBefore("after Restore");
    EXPECT_EQ(::GetFileAttributesA(ini_.c_str()), attributes);
    EXPECT_EQ(RulesOf(ini_), rules);
    ::SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Restore runs elevated for an administrator: a journal someone else wrote,
// however well its checksums are made, must not drive any write. This one
// would put an attacker's bytes into a file of the system folder and a
// value of its own into HKLM.
TEST_F(UndoRestoreTest, AForgedJournalIsRefusedAndNothingIsTouched) {
    char system[MAX_PATH];
    ::GetSystemDirectoryA(system, MAX_PATH);
    const std::string target = std::string(system) + "\\" + UniqueToken("mvxsys") + ".DLL";
    const std::string evil = dir_ + "\\EVIL.BIN";
    WriteBytes(target, "the system's own bytes");
    WriteBytes(evil, "the attacker's bytes");
    PlantedKey hklm(HKEY_LOCAL_MACHINE, "Software", "MovixForged");
    SetRaw(hklm.Root(), hklm.Path(), "v", REG_BINARY, "safe");
    const std::string valueKey = "HKLM\\" + hklm.Path();
    const std::vector<std::vector<std::string>> records = {
        {"run", "C:\\A", "C:\\B", "today"},
        {"ini-before", "1", target, ChecksummedFileState("the attacker's bytes")},
        {"ini-after", "1", ChecksummedFileState("the system's own bytes"), evil},
        {"value-before", "2", valueKey, "v", "3:6576696c"},  // "evil"
        {"value-after", "2", "3:73616665"},                  // "safe", as it is now
    };
    std::string oldKind = ChecksummedLine({"MOVIX32-UNDO", "1"});
    std::string madeUpSeals = "MOVIX32-UNDO\t2\tn0nce#" + std::string(64, '0') + "\n";
    for (const auto& r : records) {
        oldKind += ChecksummedLine(r);
        std::string line = ChecksummedLine(r);
        madeUpSeals += line.substr(0, line.find('#')) + "#" + std::string(64, 'a') + "\n";
    }
    // A genuine journal's head with the forged records after it.
    const std::string genuine = ReadBytes(ReplaceWithJournal());
    std::string grafted = genuine.substr(0, genuine.find('\n') + 1);
    grafted += madeUpSeals.substr(madeUpSeals.find('\n') + 1);
    const struct {
        const char* what;
        std::string text;
    } cases[] = {{"checksums of the earlier kind", oldKind},
                 {"seals made up", madeUpSeals},
                 {"a genuine head, forged records", grafted}};
    for (const auto& c : cases) {
        const std::string file = dir_ + "\\FORGED.TXT";
        WriteBytes(file, c.text);
        Lines log;
        EXPECT_GE(Restore(file, log), 1) << c.what;
        EXPECT_EQ(ReadBytes(target), "the system's own bytes") << c.what;
        EXPECT_EQ(GetRaw(hklm.Root(), hklm.Path(), "v").second, "safe") << c.what;
        EXPECT_FALSE(Has(log, "Restored ")) << c.what;
    }
    ::DeleteFileA(target.c_str());
}

// The run's folder of copies is its own: when others may write in it, or
// it is gone, nothing of the journal is used.
TEST_F(UndoRestoreTest, AJournalWhoseFolderOthersMayWriteIsRefused) {
    const struct {
        const char* what;
        void (*tamper)(const std::string& folder);
    } cases[] = {
        {"others may write", [](const std::string& folder) { ASSERT_TRUE(SetEveryoneRules(folder, FILE_ALL_ACCESS)); }},
        {"gone",
         [](const std::string& folder) {
             for (const std::string& name : NamesIn(folder + "\\*.LNK"))
                 ::DeleteFileA((folder + "\\" + name).c_str());
             ASSERT_TRUE(::RemoveDirectoryA(folder.c_str()));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        files_.clear();
        before_.clear();
        key_.reset();
        Plant(kAll);
        const std::string journal = ReplaceWithJournal();
        const std::string stem = journal.substr(journal.rfind('\\') + 1, journal.size() - journal.rfind('\\') - 5);
        // Its own folder is the stem, "-" and a tag of 16 digits: a journal
        // of the same second ("-2") must not take the one before it, whose
        // tag may begin with "2".
        std::vector<std::string> folders;
        for (const std::string& name : NamesIn(journals_ + "\\" + stem + "-*.FILES"))
            if (name.size() == stem.size() + 1 + 16 + 6)
                folders.push_back(name);
        ASSERT_EQ(folders.size(), 1u);
        c.tamper(journals_ + "\\" + folders[0]);
        Lines log;
        EXPECT_GE(Restore(journal, log), 1);
        EXPECT_TRUE(Has(log, "***** The undo journal is not used, nothing is restored")) << log.back();
        ExpectAllChanged();
    }
}

// An INI file comes back as the very file it was (its owner, streams and
// creation time with it): the run's backup goes back in its place, so runs
// and restores one after the other leave no backup behind, and one from
// before them is left alone.
TEST_F(UndoRestoreTest, AnIniFileComesBackAsTheFileItWasLeavingNoBackup) {
    for (const DWORD attributes :
         {DWORD(FILE_ATTRIBUTE_ARCHIVE), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)}) {
        SCOPED_TRACE("attributes " + std::to_string(attributes));
        files_.clear();
        before_.clear();
        Plant(kIni);
        WriteBytes(dir_ + "\\APP.BAK", "an earlier backup");
        ASSERT_TRUE(::SetFileAttributesA(ini_.c_str(), attributes));
        FileIdentity original;
        ASSERT_TRUE(IdentityOfName(ini_, original));
        for (int round = 1; round <= 3; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            const std::string journal = ReplaceWithJournal();
            ExpectAllChanged();
            Lines log;
            EXPECT_EQ(Restore(journal, log), 0);
            ExpectAllAsBefore("after Restore");
            EXPECT_TRUE(Has(log, "(its backup " + dir_ + "\\APP-1.BAK is back in its place)")) << log.back();
            EXPECT_EQ(NamesIn(dir_ + "\\*.BAK"), std::vector<std::string>{"APP.BAK"});
            EXPECT_EQ(ReadBytes(dir_ + "\\APP.BAK"), "an earlier backup");
            // Marked as changed since the last backup copy, as the run left it.
            EXPECT_EQ(::GetFileAttributesA(ini_.c_str()), attributes | FILE_ATTRIBUTE_ARCHIVE);
            FileIdentity now;
            ASSERT_TRUE(IdentityOfName(ini_, now));
            EXPECT_TRUE(now.SameFile(original));
        }
        ::SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(UndoRestoreTest, AJournalThatCannotBeMadeIsReportedAndNothingIsWritten) {
    Plant(kIni);
    std::string error;
    EXPECT_FALSE(TUndoRecorder::Create(dir_ + "\\no such folder", old_, new_, "today", error));
    EXPECT_NE(error.find("The undo journal could not be created in " + dir_ + "\\no such folder"), std::string::npos)
        << error;
}

TEST_F(UndoRestoreTest, ATargetTheJournalCannotRecordIsNotChanged) {
    Plant(kIni | kLnk);
    std::string error;
    std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(journals_, old_, new_, "today", error);
    ASSERT_TRUE(journal) << error;
    const std::string head = ReadBytes(journal->FileName());
    SetUndoJournalFaultHookForTest([]() -> DWORD { return ERROR_DISK_FULL; });
    for (int kind : {1, 3}) {
        error.clear();
        EXPECT_FALSE(journal->Before(kind, Groups(kind)[0], error));
        EXPECT_EQ(error, SystemErrorText(ERROR_DISK_FULL));
    }
    SetUndoJournalFaultHookForTest(nullptr);
    // The run leaves such a group alone; the journal holds no part of it.
    EXPECT_EQ(ReadBytes(journal->FileName()), head);
    ExpectAllAsBefore("nothing changed");
    // What is recorded after the failed writes is sealed in its place and
    // comes back.
    std::vector<TReplaceGroup> ini = Groups(1);
    ASSERT_TRUE(journal->Before(1, ini[0], error)) << error;
    ReplaceIniFiles(ini, old_, new_, label_, journal->WatchLog([](const std::string&) {}));
    journal->After();
    EXPECT_NE(ReadBytes(ini_), before_[ini_]);
    Lines log;
    EXPECT_EQ(Restore(journal->FileName(), log), 0);
    EXPECT_TRUE(Has(log, "1 restored")) << log.back();
    ExpectAllAsBefore("after Restore");
}

TEST_F(UndoRestoreTest, AJournalCutShortByACrashRestoresWhatItCompleted) {
    Plant(kIni | kReg);
    const std::string journal = ReplaceWithJournal();
    std::string text = ReadBytes(journal);
    // The run ended while it was writing its last record: the torn line is
    // left out and the Registry change it was completing is left as it is.
    text.resize(text.size() - 5);
    WriteBytes(journal, text);
    Lines log;
    EXPECT_GE(Restore(journal, log), 2);
    EXPECT_TRUE(Has(log, "***** Journal line")) << log[3];
    EXPECT_TRUE(Has(log, "***** The run did not record its change, left as it is"));
    EXPECT_EQ(ReadBytes(ini_), before_[ini_]);
}

// A run stopped while it moved the program's folder recorded only the
// move's beginning, and rewrote no reference. The program is whole where
// the move left it, and Restore brings it to Old (or leaves it there).
TEST_F(UndoRestoreTest, AMoveTheRunDidNotRecordTheEndOfEndsAtOld) {
    const struct {
        const char* what;
        bool moved;
    } cases[] = {
        {"stopped once the folder was at New", true},
        {"stopped while it copied", false},
    };
    const std::string program = dir_ + "\\Program", moved = dir_ + "\\Moved";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(::CreateDirectoryA(program.c_str(), nullptr));
        WriteBytes(program + "\\APP.EXE", "MZ app");
        std::string error;
        std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(journals_, old_, new_, "today", error);
        ASSERT_TRUE(journal && journal->BeforeMove(program, moved, false, error)) << error;
        if (c.moved) {
            ASSERT_TRUE(::MoveFileA(program.c_str(), moved.c_str()));
        } else {  // the start of a copy
            ASSERT_TRUE(::CreateDirectoryA(moved.c_str(), nullptr));
            WriteBytes(moved + "\\APP.EXE", "MZ");
        }
        Lines log;
        EXPECT_EQ(Restore(journal->FileName(), log), 0) << log.back();
        EXPECT_EQ(ReadBytes(program + "\\APP.EXE"), "MZ app");
        EXPECT_EQ(ReadBytes(moved + "\\APP.EXE"), c.moved ? "<missing>" : "MZ");
        ::DeleteFileA((program + "\\APP.EXE").c_str());
        ::DeleteFileA((moved + "\\APP.EXE").c_str());
        ::RemoveDirectoryA(program.c_str());
        ::RemoveDirectoryA(moved.c_str());
    }
}

TEST_F(UndoRestoreTest, NotAJournalSaysSo) {
    WriteBytes(dir_ + "\\x.txt", "just text\r\n");
    Lines log;
    EXPECT_EQ(Restore(dir_ + "\\x.txt", log), 1);
    EXPECT_TRUE(Has(log, "***** The file is not a Movix 32 undo journal."));
    EXPECT_EQ(Restore(dir_ + "\\missing.txt", log), 1);
    EXPECT_TRUE(Has(log, "***** The undo journal cannot be read"));
}

// A Run value that begins with Old unquoted is written in quotes when New
// holds a blank, as the system starts it (else C:\Program.exe first); a
// value of no known command line keeps the text as it was rewritten
// before. Restore puts back the bytes of both.
TEST_F(UndoRestoreTest, ARunValueIsQuotedForANewWithABlankAndComesBack) {
    const std::string oldAddr = "C:\\" + old_;
    const std::string newAddr = "C:\\Program Files\\M\xC3\xBCller Tools";
    key_ = std::make_unique<PlantedKey>(HKEY_CURRENT_USER, "Software", "MovixRun");
    const std::string run = key_->Path() + "\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string other = key_->Path() + "\\Other";
    const std::string text = oldAddr + "\\quill.exe -tray";
    SetSz(HKEY_CURRENT_USER, run, "Quill", text);
    SetSz(HKEY_CURRENT_USER, other, "Quill", text);
    export_ = RegExportLines("HKEY_CURRENT_USER\\" + key_->Path());

    std::string error;
    std::unique_ptr<TUndoRecorder> journal = TUndoRecorder::Create(journals_, oldAddr, newAddr, "today", error);
    ASSERT_TRUE(journal) << error;
    const TLogLine log = [this](const std::string& line) { runLog_.push_back(line); };
    for (const std::string& key : {run, other}) {
        TReplaceGroup group{"HKCU\\" + key, {Hit("Quill=" + text, kSubTypeData, "Quill")}};
        EXPECT_TRUE(journal->Before(KindReg, group, error)) << error;
        std::vector<TReplaceGroup> one{group};
        ReplaceRegistry(one, oldAddr, newAddr, label_, log);
        journal->After();
    }
    EXPECT_EQ(Stars(runLog_), 0) << runLog_.back();
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, run, "Quill"), "\"" + newAddr + "\\quill.exe\" -tray");
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, other, "Quill"), newAddr + "\\quill.exe -tray");
    Lines restoreLog;
    EXPECT_EQ(Restore(journal->FileName(), restoreLog), 0) << (restoreLog.empty() ? "" : restoreLog.back());
    EXPECT_EQ(RegExportLines("HKEY_CURRENT_USER\\" + key_->Path()), export_);
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, run, "Quill"), text);
}

// The machine's key of the test's own (tests run side by side, and the
// usual one may be in use), and the elevation the test says; both back as
// they were after.
class MachineKeySeams {
  public:
    MachineKeySeams() : path_(L"SOFTWARE\\Kestrelia\\MOVIX32\\UndoTest-" + std::to_wstring(::GetCurrentProcessId())) {
        SetMachineKeyPathForTest(path_);
    }
    ~MachineKeySeams() {
        SetElevationForTest(-1);
        SetMachineKeyPathForTest(L"");
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), KEY_WOW64_64KEY, 0);
    }
    const std::wstring& Path() const { return path_; }
    // The key's owner and rules in SDDL, as the system reads them back.
    std::string Rules() const {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, READ_CONTROL | KEY_WOW64_64KEY, &key) !=
            ERROR_SUCCESS)
            return "<no key>";
        PSECURITY_DESCRIPTOR sd = nullptr;
        const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        std::string text = "<unreadable>";
        LPWSTR sddl = nullptr;
        if (::GetSecurityInfo(key, SE_REGISTRY_KEY, what, nullptr, nullptr, nullptr, nullptr, &sd) == ERROR_SUCCESS &&
            ::ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, what, &sddl, nullptr)) {
            text = WideToUtf8(sddl);
            ::LocalFree(sddl);
        }
        ::LocalFree(sd);
        ::RegCloseKey(key);
        return text;
    }
    bool SetRules(const wchar_t* sddl) const {
        HKEY key = nullptr;
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, WRITE_DAC | WRITE_OWNER | KEY_WOW64_64KEY, &key) !=
                ERROR_SUCCESS ||
            !::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
            return false;
        const LONG set = ::RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, sd);
        ::LocalFree(sd);
        ::RegCloseKey(key);
        return set == ERROR_SUCCESS;
    }

  private:
    std::wstring path_;
};

// A program running as the user, unelevated, can seal a journal with the
// user's key: an elevated Restore, which writes where that program could
// not, takes only a journal an elevated run sealed with the machine's key,
// and says how to restore the other. Refused, nothing is touched.
TEST_F(UndoRestoreTest, AnElevatedRestoreTakesOnlyAJournalAnElevatedRunSealed) {
    MachineKeySeams seams;
    const struct {
        const char* what;
        int runElevated, restoreElevated;
        const char* says;
    } cases[] = {
        {"the user's journal, restored elevated", 0, 1,
         "written by a run without administrator rights: a Restore run as administrator (elevated) does not use it, "
         "nothing is restored. Run Restore without elevation"},
        {"an elevated run's journal, restored unelevated", 1, 0,
         "written by a run with administrator rights: only a Restore run as administrator (elevated) uses it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        files_.clear();
        before_.clear();
        key_.reset();
        Plant(kAll);
        SetElevationForTest(c.runElevated);
        const std::string journal = ReplaceWithJournal();
        ExpectAllChanged();
        SetElevationForTest(c.restoreElevated);
        std::string error;
        EXPECT_FALSE(CheckUndoJournal(journal, error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        Lines log;
        EXPECT_EQ(Restore(journal, log), 1);
        EXPECT_FALSE(Has(log, "Restored ")) << log.back();
        ExpectAllChanged();
        // As the run was, the journal restores.
        SetElevationForTest(c.runElevated);
        EXPECT_EQ(Restore(journal, log), 0) << log.back();
        ExpectAllAsBefore("restored with the run's own elevation");
    }
}

// The machine's key is made with rules that let only administrators and
// SYSTEM in, and read only while those rules hold: a key others could have
// written or read seals nothing an elevated Restore takes. (Wine keeps the
// rules without enforcing them: they are read back.)
TEST_F(UndoRestoreTest, TheMachineKeyIsTrustedOnlyWhileAdministratorsAloneMayOpenIt) {
    MachineKeySeams seams;
    SetElevationForTest(1);
    std::string error;
    const std::string key = MachineJournalKey(true, error);
    ASSERT_EQ(key.size(), 32u) << error;
    EXPECT_EQ(seams.Rules(), "O:BAD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)");
    EXPECT_EQ(MachineJournalKey(false, error), key);
    Plant(kIni);
    const std::string journal = ReplaceWithJournal();
    const struct {
        const char* what;
        const wchar_t* rules;
    } cases[] = {
        {"the users may read it", L"O:BAD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KR;;;BU)"},
        {"everyone may set its value", L"O:BAD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;;0x2;;;WD)"},
        {"owned by a user", L"O:BUD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)"},
        {"everyone may do anything", L"O:BAD:(A;CI;KA;;;WD)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(seams.SetRules(c.rules));
        error.clear();
        EXPECT_EQ(MachineJournalKey(false, error), "");
        EXPECT_NE(error.find("others than the administrators may read or change it"), std::string::npos) << error;
        Lines log;
        EXPECT_EQ(Restore(journal, log), 1);
        ExpectAllChanged();
        ASSERT_TRUE(seams.SetRules(L"O:BAD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)"));
    }
    // A run makes a new key, with the rules set again: what the old one
    // sealed is not taken.
    ASSERT_TRUE(seams.SetRules(L"O:BAD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KA;;;BU)"));
    const std::string renewed = MachineJournalKey(true, error);
    EXPECT_EQ(renewed.size(), 32u) << error;
    EXPECT_NE(renewed, key);
    EXPECT_EQ(seams.Rules(), "O:BAD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)");
    Lines log;
    EXPECT_EQ(Restore(journal, log), 1);
    ExpectAllChanged();
}

// A journal's folder on a drive that keeps no access rules (FAT, exFAT)
// is refused before a journal is made; Wine reports every drive as one
// that keeps them, so the drive's flags come from the seam.
TEST_F(UndoRestoreTest, AJournalOnADriveWithoutAccessRulesIsRefusedBeforeItIsMade) {
    std::string error;
    EXPECT_TRUE(UndoFolderHoldsAccessRules(journals_, error)) << error;
    SetVolumeFlagsHookForTest([](const std::string&) -> DWORD { return FILE_CASE_PRESERVED_NAMES; });
    EXPECT_FALSE(UndoFolderHoldsAccessRules(journals_, error));
    EXPECT_FALSE(TUndoRecorder::Create(journals_, old_, new_, "today", error));
    SetVolumeFlagsHookForTest(nullptr);
    EXPECT_NE(error.find("The undo journal cannot be kept in " + journals_ +
                         ": its drive (FAT or exFAT) keeps no access rules"),
              std::string::npos)
        << error;
    EXPECT_TRUE(NamesIn(journals_ + "\\*").size() == 2u) << "only . and .. are there";
}

// Restore holds each file from its check through the exchange: another
// program that has it open for writing keeps it as it is, nothing of its
// write lost, and none can open it for writing meanwhile.
TEST_F(UndoRestoreTest, AFileAnotherProgramWritesIsNotOverwritten) {
    for (int target : {kIni, kLnk}) {
        files_.clear();
        before_.clear();
        Plant(target);
        const std::string file = files_.front();
        SCOPED_TRACE(file);
        const std::string journal = ReplaceWithJournal();
        HANDLE other =
            ::CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        Lines log;
        EXPECT_EQ(Restore(journal, log), 1);
        EXPECT_TRUE(Has(log, ": another program has it open, left as it is")) << log.back();
        DWORD done = 0;
        ::SetFilePointer(other, 0, nullptr, FILE_END);
        EXPECT_TRUE(::WriteFile(other, "+theirs", 7, &done, nullptr));
        ::CloseHandle(other);
        const std::string bytes = ReadBytes(file);
        ASSERT_GE(bytes.size(), 7u);
        EXPECT_EQ(bytes.substr(bytes.size() - 7), "+theirs");
        EXPECT_EQ(Restore(journal, log), 1);
        EXPECT_TRUE(Has(log, "***** Changed since the run, left as it is")) << log.back();

        // Once the other program is done, Restore holds the file: no one
        // can open it for writing until it is exchanged.
        WriteBytes(file, bytes.substr(0, bytes.size() - 7));
        static bool refused;
        refused = false;
        SetHeldTargetHookForTest([](const std::string& target) {
            HANDLE h = ::CreateFileW(WideFileName(target).c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                     nullptr);
            refused = h == INVALID_HANDLE_VALUE;
            if (h != INVALID_HANDLE_VALUE)
                ::CloseHandle(h);
        });
        EXPECT_EQ(Restore(journal, log), 0) << log.back();
        SetHeldTargetHookForTest(nullptr);
        EXPECT_TRUE(refused);
        ExpectAllAsBefore("after Restore");
    }
}

}  // namespace
