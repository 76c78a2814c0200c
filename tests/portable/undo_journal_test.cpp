#include "core/undo_journal.h"

#include <gtest/gtest.h>

#include <random>

#include "targets/progman_undo.h"
#include "targets/undo_names.h"

using namespace movix;

namespace {

// A keyed stand-in for the MAC (the reader only compares seals).
TUndoSeal KeyedSeal(const std::string& key) {
    return [key](std::string_view text) {
        std::uint64_t h = 1469598103934665603ull;
        for (unsigned char c : key + "|" + std::string(text)) {
            h ^= c;
            h *= 1099511628211ull;
        }
        return std::to_string(h);
    };
}

const TUndoSeal kSeal = KeyedSeal("the user's key");

std::optional<TUndoJournal> Parse(const std::string& text, std::string& error) {
    return ParseUndoJournal(text, kSeal, error);
}

// The journal's lines as the sealer makes them, the header first.
std::vector<std::string> SampleLines(const TUndoSeal& seal = kSeal, const std::string& nonce = "n0nce") {
    TUndoLineSealer sealer(seal, nonce);
    return {sealer.Header(),
            sealer.Line({"run", "C:\\OLD\tX", "C:\\NEW\r\n", "Monday", "C:\\J-1a2b.FILES"}),
            sealer.Line({"ini-before", "1", "C:\\W\\A.INI", "10:00000000000000aa"}),
            sealer.Line({"value-before", "2", "HKCU\\S", "", "-"}),
            sealer.Line({"key-before", "3", "HKCU\\S", "C:\\OLD", "C:\\NEW", "d1", "-"}),
            sealer.Line({"key-value", "3", "sub", "v", "3:0a0b0"}),
            sealer.Line({"lnk-before", "4", "C:\\A.LNK", "5:ff", "C:\\J.FILES\\4.LNK"}),
            sealer.Line({"value-after", "2", "1:6100"}),
            sealer.Line({"ini-after", "1", "9:bb", "C:\\W\\A.BAK"}),
            sealer.Line({"key-after", "3", "-", "d1"})};
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line;
    return text;
}

std::string Sample() {
    return Joined(SampleLines());
}

// The sample with more records sealed after its last line.
std::string SampleAnd(const std::vector<std::vector<std::string>>& records) {
    TUndoLineSealer sealer(kSeal, "n0nce");
    std::string text;
    for (const std::string& line : SampleLines()) {
        text += line;
        sealer.Line({});  // counts the sample's lines
    }
    for (const auto& fields : records)
        text += sealer.Line(fields);
    return text;
}

}  // namespace

TEST(UndoJournal, ReadsBackWhatWasWritten) {
    std::string error;
    const auto j = Parse(Sample(), error);
    ASSERT_TRUE(j) << error;
    EXPECT_TRUE(j->Issues.empty());
    EXPECT_EQ(j->Version, 2);
    EXPECT_EQ(j->CopyFolder, "C:\\J-1a2b.FILES");
    EXPECT_EQ(j->OldAddress, "C:\\OLD\tX");
    EXPECT_EQ(j->NewAddress, "C:\\NEW\r\n");
    ASSERT_EQ(j->Entries.size(), 4u);
    const TUndoEntry& ini = j->Entries[0];
    EXPECT_EQ(ini.Kind, TUndoKind::Ini);
    EXPECT_EQ(ini.Before, "10:00000000000000aa");
    EXPECT_EQ(ini.After.value_or(""), "9:bb");
    EXPECT_EQ(ini.Saved, "C:\\W\\A.BAK");
    EXPECT_EQ(j->Entries[1].Name, "");  // the default value
    EXPECT_EQ(j->Entries[1].After.value_or(""), "1:6100");
    const TUndoEntry& key = j->Entries[2];
    EXPECT_EQ(key.NewName, "C:\\NEW");
    EXPECT_EQ(key.AfterNew.value_or(""), "d1");
    ASSERT_EQ(key.Listing.size(), 1u);
    EXPECT_EQ(key.Listing[0].Path, "sub");
    EXPECT_FALSE(j->Entries[3].After);  // the run ended before its end was recorded
    EXPECT_EQ(j->Entries[3].Saved, "C:\\J.FILES\\4.LNK");
}

TEST(UndoJournal, FolderMoveReadsBackWithItsDigest) {
    std::string error;
    const auto j = Parse(SampleAnd({{"move-before", "9", "C:\\QUILL", "D:\\QUILL\t2", "1"},
                                    {"move-after", "9", "00ff00ff00ff00ff"},
                                    {"move-before", "10", "C:\\B", "D:\\B", "0"}}),
                         error);
    ASSERT_TRUE(j) << error;
    EXPECT_TRUE(j->Issues.empty());
    ASSERT_EQ(j->Entries.size(), 6u);
    const TUndoEntry& moved = j->Entries[4];
    EXPECT_EQ(moved.Kind, TUndoKind::FolderMove);
    EXPECT_EQ(moved.Target, "C:\\QUILL");
    EXPECT_EQ(moved.NewName, "D:\\QUILL\t2");
    EXPECT_TRUE(moved.Junction);
    EXPECT_EQ(moved.After.value_or(""), "00ff00ff00ff00ff");
    EXPECT_FALSE(j->Entries[5].Junction);
    EXPECT_FALSE(j->Entries[5].After);  // the move did not end
}

TEST(UndoJournal, AMoveAcrossVolumesReadsBackItsWay) {
    const std::vector<std::string> begun = {"move-before", "9", "C:\\Q", "D:\\Q", "0"};
    const std::vector<std::string> copy = {"move-copy", "9", "1234", "5678", "1", "D:\\Apps", "100"};
    const std::vector<std::string> copying = {"move-copying", "9", "300"};
    const std::vector<std::string> aside = {"move-aside", "9", "C:\\Q.movix-7", "42", "200"};
    struct Case {
        const char* what;
        std::vector<std::vector<std::string>> records;
        bool copyBegun;
        std::uint64_t lastSign;
        const char* aside;
        const char* issue;  // of the last record, or "" for none
    } cases[] = {
        {"copy begun", {begun, copy}, true, 100, "", ""},
        {"signs of life", {begun, copy, copying, copying}, true, 300, "", ""},
        {"point of no return", {begun, copy, copying, aside}, true, 300, "C:\\Q.movix-7", ""},
        {"only the move's start", {begun}, false, 0, "", ""},
        {"copying before the copy", {begun, copying}, false, 0, "", "out of its order"},
        {"copy twice", {begun, copy, copy}, true, 100, "", "out of its order"},
        {"a sign after the point", {begun, copy, aside, copying}, true, 200, "C:\\Q.movix-7", "out of its order"},
        {"after the end", {begun, {"move-after", "9", "d"}, copy}, false, 0, "", "out of its order"},
        {"for no move", {copy}, false, 0, "", "not begun"},
        {"bad time", {begun, {"move-copying", "9", "12x"}}, false, 0, "", "with a time"},
        {"bad mark", {begun, {"move-copy", "9", "1", "2", "yes", "", "5"}}, false, 0, "", "with a mark"},
        {"no name aside", {begun, copy, {"move-aside", "9", "", "42", "200"}}, true, 100, "", "without a name"},
        {"fields", {begun, {"move-aside", "9", "x", "200"}}, false, 0, "", "with 4 fields"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto j = Parse(SampleAnd(c.records), error);
        ASSERT_TRUE(j) << c.what << ": " << error;
        const TUndoEntry* move = nullptr;
        for (const TUndoEntry& e : j->Entries)
            move = e.Kind == TUndoKind::FolderMove ? &e : move;
        if (std::string(c.issue).empty()) {
            EXPECT_TRUE(j->Issues.empty()) << c.what << ": " << j->Issues.front();
        } else {
            EXPECT_TRUE(!j->Issues.empty() && j->Issues.back().find(c.issue) != std::string::npos) << c.what;
        }
        if (move == nullptr) {
            EXPECT_FALSE(c.copyBegun) << c.what;
            continue;
        }
        EXPECT_EQ(move->Trail.CopyBegun, c.copyBegun) << c.what;
        EXPECT_EQ(move->Trail.LastSign, c.lastSign) << c.what;
        EXPECT_EQ(move->Trail.Aside, c.aside) << c.what;
        if (c.copyBegun) {
            EXPECT_EQ(move->Trail.Volume, "1234");
            EXPECT_EQ(move->Trail.Index, "5678");
            EXPECT_TRUE(move->Trail.MadeNew);
            EXPECT_EQ(move->Trail.MadeFrom, "D:\\Apps");
        }
    }
}

TEST(UndoJournal, DamagedLinesAreNamedAndLeftOut) {
    const std::string good = Sample();
    const std::string last = SampleAnd({{"value-before", "9", "HKCU", "x", "-"}});
    std::string changedLast = last;
    changedLast[changedLast.size() - 20] ^= 1;  // a byte of the last line's seal
    struct Case {
        const char* what;
        std::string text;
        std::size_t entries;
        const char* issue;
    } cases[] = {
        {"torn last line", good + "value-before\t9\tHKCU", 4, "line 11: incomplete"},
        {"changed byte in the last line", changedLast, 4, "line 11: does not match its seal"},
        {"no seal", good + "value-after\t2\t-\n", 4, "does not match its seal"},
        {"zeros after the end", good + std::string(300, '\0') + "\n", 4, "does not match its seal"},
        {"unknown record", SampleAnd({{"later-kind", "1"}}), 4, "unknown record"},
        {"after with no before", SampleAnd({{"value-after", "77", "-"}}), 4, "not begun"},
        {"id twice", SampleAnd({{"value-before", "1", "HKCU", "", "-"}}), 4, "used twice"},
        {"wrong field count", SampleAnd({{"value-before", "8", "HKCU"}}), 4, "fields"},
        {"bad junction mark", SampleAnd({{"move-before", "9", "C:\\A", "D:\\A", "yes"}}), 4, "junction mark"},
        {"second run", SampleAnd({{"run", "C:\\A", "C:\\B", "x", "C:\\F"}}), 4, "second"},
        {"last record sealed, later damage", SampleAnd({{"value-before", "9", "HKCU", "x", "-"}}) + "x#1\n", 5,
         "line 12: does not match"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto j = Parse(c.text, error);
        ASSERT_TRUE(j) << c.what << ": " << error;
        EXPECT_EQ(j->Entries.size(), c.entries) << c.what;
        ASSERT_FALSE(j->Issues.empty()) << c.what;
        EXPECT_NE(j->Issues.back().find(c.issue), std::string::npos) << c.what << ": " << j->Issues.back();
    }
}

TEST(UndoJournal, RefusesWhatIsNoJournalOfThisVersion) {
    const struct {
        std::string text;
        const char* says;
    } cases[] = {
        {"", "not a Movix 32 undo journal"},
        {"hello\n", "not a Movix 32 undo journal"},
        {"MOVIX32-UNDO\t3\tn#1\n", "version 3"},
        {"MOVIX32-UNDO\t02\tn#1\n", "version 02"},
        {Sample().substr(0, 10), "not a Movix 32 undo journal"},
        // A journal of the earlier kind: a checksum anyone can make again.
        {"MOVIX32-UNDO\t1#3f1c8a04\nrun\tC:\\A\tC:\\B\tx#00000000\n", "earlier version of Movix 32"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(Parse(c.text, error)) << c.text;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

// A journal drives writes with the rights of whoever restores it: one that
// this user's key did not seal, line by line in its place, is refused whole.
TEST(UndoJournal, ForgedOrRearrangedJournalsAreRefused) {
    const std::vector<std::string> good = SampleLines();
    std::vector<std::string> swapped = good;
    std::swap(swapped[3], swapped[7]);
    std::vector<std::string> spliced = good;
    spliced[3] = SampleLines(kSeal, "another journal")[3];
    std::vector<std::string> edited = good;
    edited[2].replace(edited[2].find("A.INI"), 5, "B.INI");
    const struct {
        const char* what;
        std::string text;
        const char* says;
    } cases[] = {
        {"another user's key", Joined(SampleLines(KeyedSeal("someone else's key"))), "under this user account"},
        {"no nonce", "MOVIX32-UNDO\t2#" + kSeal("1\t\tMOVIX32-UNDO\t2") + "\n", "under this user account"},
        {"two lines exchanged", Joined(swapped), "changed after its run (line 4"},
        {"a line of another journal", Joined(spliced), "changed after its run (line 4"},
        {"a record edited", Joined(edited), "changed after its run (line 3"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(Parse(c.text, error)) << c.what;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
    }
}

// The first line says whose key sealed the journal, under that seal: a
// journal of the user's key keeps the first line it always had, and the
// mark cannot be taken off or put on without the key.
TEST(UndoJournal, TheFirstLineSaysWhoseKeySealedIt) {
    const TUndoSeal machineSeal = KeyedSeal("the machine's key");
    TUndoLineSealer machine(machineSeal, "n0nce", TUndoKey::Machine);
    std::string sealedByMachine = machine.Header();
    sealedByMachine += machine.Line({"run", "C:\\OLD", "C:\\NEW", "Monday", "C:\\J.FILES"});
    std::string unmarked = sealedByMachine;
    unmarked.erase(unmarked.find("\tmachine"), 8);
    std::string otherMark = sealedByMachine;
    otherMark.replace(otherMark.find("\tmachine") + 1, 7, "service");
    const struct {
        const char* what;
        std::string text;
        TUndoSeal seal;
        std::optional<TUndoKey> named;
        std::optional<TUndoKey> read;  // nothing: refused
    } cases[] = {
        {"the user's", Sample(), kSeal, TUndoKey::User, TUndoKey::User},
        {"the machine's", sealedByMachine, machineSeal, TUndoKey::Machine, TUndoKey::Machine},
        {"the machine's, checked with the user's", sealedByMachine, kSeal, TUndoKey::Machine, std::nullopt},
        {"the mark taken off", unmarked, machineSeal, TUndoKey::User, std::nullopt},
        {"another mark", otherMark, machineSeal, TUndoKey::User, std::nullopt},
        {"no journal", "hello\n", kSeal, std::nullopt, std::nullopt},
    };
    EXPECT_EQ(Sample().substr(0, Sample().find('#')), "MOVIX32-UNDO\t2\tn0nce");
    for (const auto& c : cases) {
        std::string error;
        const std::optional<TUndoJournal> journal = ParseUndoJournal(c.text, c.seal, error);
        EXPECT_EQ(UndoJournalKeyNamed(c.text), c.named) << c.what;
        EXPECT_EQ(journal.has_value(), c.read.has_value()) << c.what << ": " << error;
        if (journal && c.read)
            EXPECT_EQ(journal->Key, *c.read) << c.what;
    }
}

TEST(UndoJournal, ValueStatesKeepEveryByte) {
    const struct {
        std::uint32_t type;
        std::string bytes;
    } cases[] = {
        {1, std::string()}, {3, std::string("\x00\xff\x7f", 3)}, {1, std::string("a\0b", 3)}, {4294967295u, "odd"}};
    for (const auto& c : cases) {
        std::uint32_t type = 0;
        std::string bytes;
        ASSERT_TRUE(ParseUndoValueState(UndoValueState(c.type, c.bytes), type, bytes));
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(bytes, c.bytes);
    }
    for (const char* bad : {"-", "", ":", "1:0", "1:zz", "x:00", "4294967296:", "12345678901:00"}) {
        std::uint32_t type = 0;
        std::string bytes;
        EXPECT_FALSE(ParseUndoValueState(bad, type, bytes)) << bad;
    }
}

TEST(UndoJournal, DecisionFromBeforeAfterAndNow) {
    const struct {
        const char* before;
        std::optional<std::string> after;
        const char* now;
        TUndoAction action;
    } cases[] = {
        {"a", std::string("b"), "b", TUndoAction::PutBack},
        {"a", std::string("b"), "a", TUndoAction::Nothing},  // restored already
        {"a", std::string("b"), "c", TUndoAction::ChangedSince},
        {"a", std::string("a"), "a", TUndoAction::Nothing},  // the run left it alone
        {"a", std::nullopt, "a", TUndoAction::Nothing},
        {"a", std::nullopt, "b", TUndoAction::ChangedSince},  // the run's end is unknown
        {"-", std::string("b"), "b", TUndoAction::PutBack},   // made by the run: removed again
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecideUndo(c.before, c.after, c.now), c.action) << c.before << " " << c.now;
}

TEST(UndoJournal, KeyMoveDecision) {
    TUndoEntry e;
    e.Kind = TUndoKind::KeyMove;
    e.Before = "d1";
    e.BeforeNew = "-";
    e.After = "-";
    e.AfterNew = "d1";
    const struct {
        const char *nowOld, *nowNew;
        TUndoAction action;
    } cases[] = {
        {"-", "d1", TUndoAction::PutBack},       {"d1", "-", TUndoAction::Nothing},
        {"d0", "-", TUndoAction::Nothing},        // back, its values restored after it
        {"-", "d2", TUndoAction::ChangedSince},   // a value below it changed since
        {"d1", "d1", TUndoAction::ChangedSince},  // a key of the old name made again
        {"-", "-", TUndoAction::ChangedSince},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecideKeyMoveUndo(e, c.nowOld, c.nowNew), c.action) << c.nowOld << " " << c.nowNew;
    e.AfterNew.reset();  // the run's end unknown
    EXPECT_EQ(DecideKeyMoveUndo(e, "-", "d1"), TUndoAction::ChangedSince);
}

// Random damage anywhere never crashes the reader and never yields a
// record that was not written whole.
TEST(UndoJournal, RandomDamageIsSurvived) {
    const std::string good = Sample();
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::string text = good;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = rng() % text.size();
            switch (rng() % 3) {
                case 0:
                    text[at] = static_cast<char>(rng());
                    break;
                case 1:
                    text.erase(at, 1 + rng() % 20);
                    break;
                default:
                    text.insert(at, 1, static_cast<char>(rng()));
            }
            if (text.empty())
                break;
        }
        if (round % 5 == 0)
            text.resize(rng() % (text.size() + 1));
        std::string error;
        const auto j = Parse(text, error);
        if (!j)
            continue;
        for (const TUndoEntry& e : j->Entries)
            EXPECT_FALSE(e.Id.empty());
    }
}

TEST(UndoJournal, GroupItemsComeBackFromTheirLines) {
    const std::vector<std::string> reply = {"\"Tools\",C:\\GRP,2", "\"Edit\",\"C:\\OLD\\E.EXE\",C:\\OLD,,1,2,0,0,0,0",
                                            "\"Edit\",\"second of the name\",,,0,0,0,0,0,0"};
    EXPECT_EQ(GroupItemLineNamed(reply, "Edit"), reply[1]);
    EXPECT_EQ(GroupItemLineNamed(reply, "edit"), "-");        // names compare exactly
    EXPECT_EQ(GroupItemLineNamed({reply[0]}, "Tools"), "-");  // the group's own line is no item

    const auto commands =
        GroupItemRestoreCommands("My Tools", "\"A, B\",\"C:\\OLD\\E.EXE /x\",C:\\OLD,C:\\I.ICO,1,2,3,4,1,0");
    ASSERT_TRUE(commands);
    EXPECT_EQ(*commands,
              (std::vector<std::string>{"[CreateGroup(My Tools)]", "[ReplaceItem(\"A, B\")]",
                                        "[AddItem(C:\\OLD\\E.EXE /x,\"A, B\",C:\\I.ICO,3,1,2,C:\\OLD,4,1,0)]"}));
    // Lines that could not be sent back as they were are refused.
    for (const char* line : {"\"A\",\"C:\\E.EXE\",C:\\OLD", "\"\",\"C:\\E.EXE\",,,0,0,0,0,0,0",
                             "\"A\",\"\",,,0,0,0,0,0,0", "\"A\",\"C:\\E.EXE\",C:\\O,LD,,0,0,0,0,0,0"})
        EXPECT_FALSE(GroupItemRestoreCommands("G", line)) << line;
    EXPECT_FALSE(GroupItemRestoreCommands("", "\"A\",\"C:\\E.EXE\",,,0,0,0,0,0,0"));
}

// A service's field and a task are kept by their texts; a task's rewritten
// fields follow its record, and none may come after its end.
TEST(UndoJournal, ServicesAndTasksReadBackWithTheirTexts) {
    const std::string xml = "<?xml version=\"1.0\"?>\r\n<Task>\t<Exec/>\\</Task>";
    std::string error;
    const auto j = Parse(SampleAnd({{"service-before", "9", "Agent", "cmd", "=\"C:\\OLD\\a.exe\" /s"},
                                    {"service-after", "9", "=\"C:\\NEW\\a.exe\" /s"},
                                    {"task-before", "10", "\\Acme\\Update", "3:=ab", xml},
                                    {"task-field", "10", "1", "cmd", "C:\\NEW\\u.exe"},
                                    {"task-field", "10", "2", "dir", "C:\\NEW"},
                                    {"task-after", "10", "3:=cd"},
                                    {"task-field", "10", "3", "arg", "late"},
                                    {"service-after", "10", "=x"}}),
                         error);
    ASSERT_TRUE(j) << error;
    ASSERT_EQ(j->Entries.size(), 6u);
    const TUndoEntry& service = j->Entries[4];
    EXPECT_EQ(service.Kind, TUndoKind::Service);
    EXPECT_EQ(service.Target, "Agent");
    EXPECT_EQ(service.Name, "cmd");
    EXPECT_EQ(service.Before, "=\"C:\\OLD\\a.exe\" /s");
    EXPECT_EQ(service.After.value_or(""), "=\"C:\\NEW\\a.exe\" /s");
    const TUndoEntry& task = j->Entries[5];
    EXPECT_EQ(task.Kind, TUndoKind::Task);
    EXPECT_EQ(task.Target, "\\Acme\\Update");
    EXPECT_EQ(task.Saved, xml);
    EXPECT_EQ(task.Before, "3:=ab");
    EXPECT_EQ(task.After.value_or(""), "3:=cd");
    ASSERT_EQ(task.Listing.size(), 2u);
    EXPECT_EQ(task.Listing[1].Path, "2");
    EXPECT_EQ(task.Listing[1].Name, "dir");
    EXPECT_EQ(task.Listing[1].State, "C:\\NEW");
    // The late field and the service end under a task's id are left out.
    EXPECT_EQ(j->Issues.size(), 2u);
}

// Restore names each record by its own kind: a file record of any type but
// .INI is a configuration file, a service's two fields are one service, and
// each target counts once.
TEST(UndoNames, EachRecordByItsOwnKind) {
    auto entry = [](TUndoKind kind, const std::string& target, const std::string& name = std::string()) {
        TUndoEntry e;
        e.Kind = kind;
        e.Target = target;
        e.Name = name;
        return e;
    };
    const struct {
        TUndoEntry entry;
        const char* noun;
    } nouns[] = {
        {entry(TUndoKind::Ini, "C:\WINDOWS\QUILL.INI"), "INI file"},
        {entry(TUndoKind::Ini, "C:\New\data\quill.ini"), "INI file"},
        {entry(TUndoKind::Ini, "C:\New\settings.json"), "configuration file"},
        {entry(TUndoKind::Ini, "C:\New\app.exe.config"), "configuration file"},
        {entry(TUndoKind::Ini, "C:\New\INI"), "configuration file"},
        {entry(TUndoKind::Shortcut, "C:\Desktop\Quill.lnk"), "shortcut"},
        {entry(TUndoKind::Service, "QUPDATE", "command"), "service"},
        {entry(TUndoKind::Task, "\\Quill Update"), "scheduled task"},
    };
    for (const auto& n : nouns)
        EXPECT_EQ(UndoTargetNoun(n.entry), n.noun) << n.entry.Target;

    const std::vector<TUndoEntry> journal = {
        entry(TUndoKind::Ini, "C:\WINDOWS\QUILL.INI"),
        entry(TUndoKind::Ini, "C:\WINDOWS\QUILL.INI"),  // a second record of the same file
        entry(TUndoKind::Ini, "C:\New\settings.json"),
        entry(TUndoKind::Ini, "C:\New\layout.xml"),
        entry(TUndoKind::Ini, "C:\New\app.exe.config"),
        entry(TUndoKind::Value, "HKCU\Software\Quill", "Home"),
        entry(TUndoKind::Service, "QUPDATE", "command"),
        entry(TUndoKind::Service, "qupdate", "description"),
        entry(TUndoKind::Task, "\\Quill Update"),
        entry(TUndoKind::FolderMove, "C:\Old"),
    };
    EXPECT_EQ(UndoCountLines(journal),
              (std::vector<std::string>{"1 INI file", "3 configuration files", "1 Registry value", "1 service",
                                        "1 scheduled task", "1 moved folder (moved back first)"}));
    EXPECT_TRUE(UndoCountLines({}).empty());
}
