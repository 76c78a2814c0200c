// The shortcut search and replacer on real shortcut files, made through the
// shell's own link objects in the test prefix. Every saved shortcut is read
// back twice: through the shell's link object, and through lnkinfo (liblnk),
// a reader that shares no code with the system's.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "core/strings.h"
#include "platform/com_ptr_win.h"
#include "platform/file_io_win.h"
#include "platform/wide_text_win.h"
#include "search_test_support_win.h"
#include "shortcut_files_win.h"
#include "targets/shortcuts_win.h"

using namespace movix;
using namespace movix_test;

namespace {

using Lines = std::vector<std::string>;

// lnkinfo's report, as "Name: value" pairs. Wine starts a Unix program given
// by its path on drive Z:, but hands back no process to wait for: the shell
// writes the report under one name and renames it when lnkinfo has ended.
std::map<std::string, std::string> Lnkinfo(const std::string& file) {
    std::map<std::string, std::string> fields;
    const std::string unixFile = UnixPath(file);
    const std::string report = file + ".lnkinfo", done = file + ".lnkinfo.done";
    const std::string unixReport = UnixPath(report), unixDone = UnixPath(done);
    ::DeleteFileA(done.c_str());
    if (unixFile.empty() || !RunUnix("Z:\\bin\\sh", "sh -c \"/usr/bin/lnkinfo '" + unixFile + "' >'" + unixReport +
                                                         "' 2>&1; mv '" + unixReport + "' '" + unixDone + "'\"")) {
        ADD_FAILURE() << "cannot start lnkinfo: " << ::GetLastError();
        return fields;
    }
    if (!PumpUntil([&] { return Exists(done); }, 20000)) {
        ADD_FAILURE() << "lnkinfo gave no report for " << file;
        return fields;
    }
    const std::string out = ReadFileBytes(done);
    ::DeleteFileA(done.c_str());
    std::size_t at = 0;
    while (at < out.size()) {
        std::size_t end = out.find('\n', at);
        if (end == std::string::npos)
            end = out.size();
        const std::string line = out.substr(at, end - at);
        at = end + 1;
        const std::size_t colon = line.find(':');
        const std::size_t from = line.find_first_not_of(" \t");
        if (colon == std::string::npos || from >= colon)
            continue;
        const std::size_t valueAt = line.find_first_not_of(" \t", colon + 1);
        const std::size_t keyEnd = line.find_last_not_of(" \t", colon - 1);
        fields[line.substr(from, keyEnd + 1 - from)] =
            valueAt == std::string::npos ? std::string() : line.substr(valueAt);
    }
    fields["<raw>"] = out;
    return fields;
}

// The four fields as lnkinfo reads them from the file.
Fields LnkinfoFields(const std::string& file) {
    std::map<std::string, std::string> info = Lnkinfo(file);
    Fields f;
    f.target = info["Local path"];
    f.args = info["Command line arguments"];
    f.dir = info["Working directory"];
    f.icon = info["Icon location"];
    f.iconIndex = std::atoi(info["Icon index"].c_str());
    return f;
}

// Both independent readings of a saved shortcut.
void ExpectStored(const std::string& file, const Fields& expected) {
    EXPECT_EQ(ShellFields(file), expected) << "through the shell: " << file;
    EXPECT_EQ(LnkinfoFields(file), expected) << "through lnkinfo: " << file;
}

const char kOld[] = "C:\\OLDAPP";
const char kNew[] = "D:\\Apps\\NewApp";

class ShortcutTest : public UiFixture {
  protected:
    void Search(const std::string& folder, const std::string& oldAddress, int mode = 1) {
        auto* thread = new TSearchLNKThread(KindLnk, oldAddress, label_, Collector(), mode);
        thread->SetWindowsDirForTest(folder);
        RunToEnd(thread);
        EXPECT_EQ(fatal_, "");
    }

    // The replacement run's hand-off: one group per file, hits in list order.
    std::vector<TReplaceGroup> GroupsFromHits() const {
        std::vector<TReplaceGroup> groups;
        for (const FoundHit& h : hits_) {
            const std::string key =
                (!h.path.empty() && h.path.back() == '\\') ? h.path + h.item : h.path + "\\" + h.item;
            if (groups.empty() || groups.back().Key != key)
                groups.push_back({key, {}});
            groups.back().Hits.push_back({UpperAscii(h.context), h.subType});
        }
        return groups;
    }

    Lines Replace(std::vector<TReplaceGroup> groups,
                  const std::string& oldAddress = kOld,
                  const std::string& newAddress = kNew) {
        Lines log;
        ReplaceShortcuts(groups, oldAddress, newAddress, label_,
                         [&log](const std::string& line) { log.push_back(line); });
        return log;
    }

    // Hits of one file, in the order reported.
    std::vector<FoundHit> HitsOf(const std::string& item) const {
        std::vector<FoundHit> of;
        for (const FoundHit& h : hits_)
            if (h.item == item)
                of.push_back(h);
        return of;
    }

    OleInit ole_;
};

}  // namespace

TEST_F(ShortcutTest, SearchReportsEachStoredFieldInOrderAndChangesNothing) {
    TempTree tree("lnk");
    const std::string dir = tree.Root();
    MakeShortcut(tree / "All.lnk",
                 {"C:\\OLDAPP\\APP.EXE", "/cfg C:\\OLDAPP\\APP.CFG", "C:\\OLDAPP\\WORK", "C:\\OLDAPP\\APP.ICO", 3});
    MakeShortcut(tree / "Two.lnk", {"C:\\OldApp\\TOOL.EXE", "-quiet", "c:\\oldapp", "C:\\WINDOWS\\SHELL32.DLL", 4});
    MakeShortcut(tree / "Args.LNK", {"C:\\WINDOWS\\NOTEPAD.EXE", "c:\\oldapp\\readme.txt", "", "", 0});
    MakeShortcut(tree / "Other.lnk", {"C:\\ELSEWHERE\\X.EXE", "C:\\OLDAP", "C:\\ELSEWHERE", "", 0});
    // A file named .LNK that is not a shortcut, and a shortcut in a subfolder
    // (walk mode 1 does not go there).
    tree.File("Broken.lnk", "C:\\OLDAPP\\APP.EXE is named here, but this is no shortcut");
    // No icon stored: a resolve would take the target's for it.
    MakeShortcut(tree / "NoIcon.lnk", {"C:\\OLDAPP\\PLAIN.EXE", "", "", "", 0});
    MakeShortcut(tree.Dir("Sub") + "\\Deep.lnk", {"C:\\OLDAPP\\DEEP.EXE", "", "", "", 0});
    const std::string before = ReadFileBytes(tree / "All.lnk");

    Search(dir, kOld);

    const std::vector<FoundHit> all = {
        {"All.lnk", dir, "C:\\OLDAPP\\APP.EXE", KindLnk, kSubTypeCommand},
        {"All.lnk", dir, "/cfg C:\\OLDAPP\\APP.CFG", KindLnk, kSubTypeArgs},
        {"All.lnk", dir, "C:\\OLDAPP\\WORK", KindLnk, kSubTypeDir},
        {"All.lnk", dir, "C:\\OLDAPP\\APP.ICO", KindLnk, kSubTypeIcon},
    };
    EXPECT_EQ(HitsOf("All.lnk"), all);
    const std::vector<FoundHit> two = {
        {"Two.lnk", dir, "C:\\OldApp\\TOOL.EXE", KindLnk, kSubTypeCommand},
        {"Two.lnk", dir, "c:\\oldapp", KindLnk, kSubTypeDir},
    };
    EXPECT_EQ(HitsOf("Two.lnk"), two);
    const std::vector<FoundHit> args = {{"Args.LNK", dir, "c:\\oldapp\\readme.txt", KindLnk, kSubTypeArgs}};
    EXPECT_EQ(HitsOf("Args.LNK"), args);
    const std::vector<FoundHit> noIcon = {{"NoIcon.lnk", dir, "C:\\OLDAPP\\PLAIN.EXE", KindLnk, kSubTypeCommand}};
    EXPECT_EQ(HitsOf("NoIcon.lnk"), noIcon) << "only the fields stored are read";
    EXPECT_EQ(hits_.size(), 8u) << "Other.lnk, Broken.lnk and Sub\\Deep.lnk give nothing";
    EXPECT_EQ(ReadFileBytes(tree / "All.lnk"), before) << "the search never saves a shortcut";
}

// One link object loads every shortcut of the search: nothing of one file
// may show in the next.
TEST_F(ShortcutTest, NothingOfOneShortcutCarriesOverToTheNext) {
    TempTree tree("lnk");
    for (int i = 0; i < 6; ++i) {
        MakeShortcut(tree / ("Full" + std::to_string(i) + ".lnk"),
                     {"C:\\OLDAPP\\A.EXE", "C:\\OLDAPP\\B", "C:\\OLDAPP\\C", "C:\\OLDAPP\\D.ICO", 5});
        MakeShortcut(tree / ("Bare" + std::to_string(i) + ".lnk"), {"C:\\ELSEWHERE\\A.EXE", "", "", "", 0});
        tree.File("Junk" + std::to_string(i) + ".lnk", "not a shortcut");
    }
    Search(tree.Root(), kOld);
    EXPECT_EQ(hits_.size(), 24u);
    for (const FoundHit& h : hits_)
        EXPECT_EQ(h.item.rfind("Full", 0), 0u) << h;
}

TEST_F(ShortcutTest, ReplacementRewritesTheMarkedFieldsKeepsTheIconIndexAndLogsEachStep) {
    TempTree tree("lnk");
    const std::string all = tree / "All.lnk", two = tree / "Two.lnk", args = tree / "Args.lnk";
    MakeShortcut(all,
                 {"C:\\OLDAPP\\APP.EXE", "/cfg C:\\OLDAPP\\APP.CFG", "C:\\OLDAPP\\WORK", "C:\\OLDAPP\\APP.ICO", 3});
    MakeShortcut(two, {"C:\\OldApp\\TOOL.EXE", "-quiet", "c:\\oldapp", "C:\\WINDOWS\\SHELL32.DLL", 4});
    MakeShortcut(args, {"C:\\WINDOWS\\NOTEPAD.EXE", "c:\\oldapp\\readme.txt", "", "", 0});
    const std::string moved = tree / "Moved.lnk";
    MakeShortcut(moved, {"C:\\OLDAPP\\OLD.EXE", "", "C:\\ELSEWHERE", "", 0});
    Search(tree.Root(), kOld);
    ASSERT_EQ(hits_.size(), 8u);
    // Changed since the search: its field is written back as it now is.
    MakeShortcut(moved, {"C:\\ELSEWHERE\\APP.EXE", "", "C:\\ELSEWHERE", "", 0});
    std::vector<TReplaceGroup> groups = GroupsFromHits();
    // The review set the working directory of Two.lnk to N: its row is gone.
    for (TReplaceGroup& g : groups)
        if (g.Key == two)
            g.Hits.pop_back();

    const Lines log = Replace(groups);

    Lines expected;
    for (const TReplaceGroup& g : groups) {
        expected.push_back("");
        expected.push_back("Processing shortcut " + g.Key);
        if (g.Key == all) {
            expected.insert(
                expected.end(),
                {"     command line: C:\\OLDAPP\\APP.EXE", "       changed to: D:\\Apps\\NewApp\\APP.EXE",
                 "        arguments: /cfg C:\\OLDAPP\\APP.CFG", "       changed to: /cfg D:\\Apps\\NewApp\\APP.CFG",
                 "      working dir: C:\\OLDAPP\\WORK", "       changed to: D:\\Apps\\NewApp\\WORK",
                 "    icon location: C:\\OLDAPP\\APP.ICO", "       changed to: D:\\Apps\\NewApp\\APP.ICO"});
        } else if (g.Key == two) {
            expected.insert(expected.end(), {"     command line: C:\\OldApp\\TOOL.EXE",
                                             "       changed to: D:\\Apps\\NewApp\\TOOL.EXE"});
        } else if (g.Key == moved) {
            expected.insert(expected.end(),
                            {"     command line: C:\\ELSEWHERE\\APP.EXE", "       changed to: C:\\ELSEWHERE\\APP.EXE"});
        } else {
            expected.insert(expected.end(), {"        arguments: c:\\oldapp\\readme.txt",
                                             "       changed to: D:\\Apps\\NewApp\\readme.txt"});
        }
        expected.push_back("Successfully updated " + g.Key);
    }
    EXPECT_EQ(log, expected);

    ExpectStored(all, {"D:\\Apps\\NewApp\\APP.EXE", "/cfg D:\\Apps\\NewApp\\APP.CFG", "D:\\Apps\\NewApp\\WORK",
                       "D:\\Apps\\NewApp\\APP.ICO", 3});
    ExpectStored(two, {"D:\\Apps\\NewApp\\TOOL.EXE", "-quiet", "c:\\oldapp", "C:\\WINDOWS\\SHELL32.DLL", 4});
    ExpectStored(args, {"C:\\WINDOWS\\NOTEPAD.EXE", "D:\\Apps\\NewApp\\readme.txt", "", "", 0});
    ExpectStored(moved, {"C:\\ELSEWHERE\\APP.EXE", "", "C:\\ELSEWHERE", "", 0});
    EXPECT_TRUE(Replace({}).empty()) << "an empty hand-off writes nothing";
}

// A new value longer than the field holds is never stored cut: the field
// stays as it was, an error line names it, and the other fields go on.
TEST_F(ShortcutTest, NewValueTooLongForItsFieldIsLeftAloneWithAnErrorLine) {
    TempTree tree("lnk");
    const std::string both = tree / "Both.lnk", only = tree / "Only.lnk";
    const std::string longNew = "D:\\" + std::string(240, 'n');
    const std::string args = "C:\\OLDAPP\\A.TXT C:\\OLDAPP\\B.TXT";  // grows by twice as much
    MakeShortcut(both, {"C:\\OLDAPP\\APP.EXE", args, "C:\\OLDAPP", "", 0});
    MakeShortcut(only, {"C:\\WINDOWS\\NOTEPAD.EXE", args, "", "", 0});
    const std::string onlyBefore = ReadFileBytes(only);
    std::string grown = args;
    ReplaceAllText(grown, kOld, longNew);

    const Lines log =
        Replace({{both, {{"", kSubTypeArgs}, {"", kSubTypeDir}}}, {only, {{"", kSubTypeArgs}}}}, kOld, longNew);

    const std::string tooLong = "***** New arguments of " + both + " too long (" + std::to_string(grown.size()) +
                                " characters, at most 259): left unchanged";
    EXPECT_EQ(log,
              (Lines{"", "Processing shortcut " + both, "        arguments: " + args, tooLong,
                     "      working dir: C:\\OLDAPP", "       changed to: " + longNew,
                     "***** Partly updated " + both + ": 1 field left unchanged",
                     "", "Processing shortcut " + only, "        arguments: " + args,
                     "***** New arguments of " + only + " too long (" + std::to_string(grown.size()) +
                         " characters, at most 259): left unchanged"}));
    ExpectStored(both, {"C:\\OLDAPP\\APP.EXE", args, longNew, "", 0});
    EXPECT_EQ(ReadFileBytes(only), onlyBefore) << "nothing stored, nothing saved";
}

TEST_F(ShortcutTest, FailuresLeaveTheFileAsItWasWithAnErrorLine) {
    TempTree tree("lnk");
    const std::string broken = tree.File("Broken.lnk", "C:\\OLDAPP\\APP.EXE, but no shortcut");
    const std::string readOnly = tree / "ReadOnly.lnk", held = tree / "Held.lnk", locked = tree / "Locked.lnk";
    const std::string gone = tree / "Gone.lnk";
    for (const std::string& f : {readOnly, held, locked})
        MakeShortcut(f, {"C:\\OLDAPP\\APP.EXE", "", "", "", 0});
    ASSERT_TRUE(::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    std::map<std::string, std::string> before;
    for (const std::string& f : {broken, readOnly, held, locked})
        before[f] = ReadFileBytes(f);
    // Another program reads one (others may read it too) and holds one
    // exclusively.
    HANDLE reading = ::CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE exclusive =
        ::CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reading, INVALID_HANDLE_VALUE);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);

    std::vector<TReplaceGroup> groups;
    for (const std::string& f : {broken, gone, readOnly, held, locked})
        groups.push_back({f, {{"C:\\OLDAPP\\APP.EXE", kSubTypeCommand}}});
    const Lines log = Replace(groups);
    ::CloseHandle(reading);
    ::CloseHandle(exclusive);
    ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::string was = "     command line: C:\\OLDAPP\\APP.EXE";
    const std::string now = "       changed to: D:\\Apps\\NewApp\\APP.EXE";
    EXPECT_EQ(log, (Lines{"", "Processing shortcut " + broken, "***** OLE error updating " + broken, "",
                          "Processing shortcut " + gone, "***** OLE error updating " + gone, "",
                          "Processing shortcut " + readOnly, "***** " + readOnly + " is read-only: not updated", "",
                          "Processing shortcut " + held, was, now, "***** OLE error updating " + held, "",
                          "Processing shortcut " + locked, "***** OLE error updating " + locked}));
    for (const auto& [file, bytes] : before)
        EXPECT_EQ(ReadFileBytes(file), bytes) << file;
    EXPECT_FALSE(Exists(gone));
}

namespace {

// Files planted in the prefix's own special folders, removed at the end.
class Planted {
  public:
    ~Planted() {
        for (auto it = files_.rbegin(); it != files_.rend(); ++it)
            ::DeleteFileA(it->c_str());
        for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it)
            ::RemoveDirectoryA(it->c_str());
    }
    std::string Dir(const std::string& path) {
        if (::CreateDirectoryA(path.c_str(), nullptr))
            dirs_.push_back(path);
        return path;
    }
    void Shortcut(const std::string& file, const Fields& f) {
        files_.push_back(file);
        MakeShortcut(file, f);
    }

  private:
    std::vector<std::string> files_, dirs_;
};

// The search of mode 4 with special folders of the test's choosing.
class ChosenFoldersThread : public TSearchLNKThread {
  public:
    ChosenFoldersThread(const std::string& search, TFoundEvent onFound, std::map<int, std::string> folders)
        : TSearchLNKThread(KindLnk, search, nullptr, std::move(onFound), 4), folders_(std::move(folders)) {}

  protected:
    bool SpecialFolder(int csidl, std::string& folder) override {
        asked_.push_back(csidl);
        const auto it = folders_.find(csidl);
        if (it == folders_.end()) {
            folder = notLocatedPath_;
            return false;
        }
        folder = it->second;
        return true;
    }

  public:
    std::map<int, std::string> folders_;
    std::string notLocatedPath_;
    std::vector<int> asked_;
};

}  // namespace

// Desktop: its own shortcuts only. Start Menu: the whole tree. Both for the
// user and for all users, where an install "for all users" puts them.
TEST_F(ShortcutTest, StartMenuAndDesktopOfTheUserAndOfAllUsers) {
    const std::string desktop = SpecialFolderPath(CSIDL_DESKTOPDIRECTORY);
    const std::string startMenu = SpecialFolderPath(CSIDL_STARTMENU);
    const std::string commonDesktop = SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY);
    const std::string commonStartMenu = SpecialFolderPath(CSIDL_COMMON_STARTMENU);
    for (const std::string& f : {desktop, startMenu, commonDesktop, commonStartMenu})
        ASSERT_FALSE(f.empty());
    const Fields target = {"C:\\MVXLNK_MODE4\\APP.EXE", "", "", "", 0};
    Planted planted;
    planted.Shortcut(desktop + "\\Mode4 Top.lnk", target);
    planted.Shortcut(planted.Dir(desktop + "\\Mode4 Folder") + "\\Mode4 Deep.lnk", target);
    const std::string menuDir = planted.Dir(planted.Dir(startMenu + "\\Programs") + "\\Mode4 Folder");
    planted.Shortcut(menuDir + "\\Mode4 Menu.lnk", target);
    planted.Shortcut(commonDesktop + "\\Mode4 Common.lnk", target);
    const std::string commonMenuDir = planted.Dir(planted.Dir(commonStartMenu + "\\Programs") + "\\Mode4 Folder");
    planted.Shortcut(commonMenuDir + "\\Mode4 Common Menu.lnk", target);

    auto* thread = new TSearchLNKThread(KindLnk, "c:\\mvxlnk_mode4", label_, Collector(), 4);
    RunToEnd(thread);

    std::vector<std::string> found;
    for (const FoundHit& h : hits_)
        found.push_back(h.path + " | " + h.item);
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected = {desktop + " | Mode4 Top.lnk", menuDir + " | Mode4 Menu.lnk",
                                         commonDesktop + " | Mode4 Common.lnk",
                                         commonMenuDir + " | Mode4 Common Menu.lnk"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected) << "Mode4 Deep.lnk lies in a folder of the Desktop: not searched";
}

// A folder the shell cannot locate is left out (no walk of some other
// folder), and a folder that is both the user's and all users' is walked once.
TEST_F(ShortcutTest, FolderNotLocatedIsSkippedAndNoFolderIsWalkedTwice) {
    TempTree tree("lnk");
    MakeShortcut(tree.Dir("Programs") + "\\Menu.lnk", {"C:\\MVXLNK_SEAM\\APP.EXE", "", "", "", 0});
    std::string otherCase = tree.Root();
    for (char& c : otherCase)
        c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    // Where the Desktop is not located, a path is still at hand (the last
    // one): it must not be walked.
    TempTree elsewhere("lnk");
    MakeShortcut(elsewhere / "Elsewhere.lnk", {"C:\\MVXLNK_SEAM\\APP.EXE", "", "", "", 0});
    auto* thread = new ChosenFoldersThread("C:\\MVXLNK_SEAM", Collector(),
                                           {{CSIDL_STARTMENU, tree.Root()}, {CSIDL_COMMON_STARTMENU, otherCase}});
    thread->notLocatedPath_ = elsewhere.Root();
    // Kept past its end, to read what it asked.
    thread->FreeOnTerminate = false;
    RunToEnd(thread);
    const std::vector<int> asked = thread->asked_;
    delete thread;
    EXPECT_EQ(asked, (std::vector<int>{CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_COMMON_DESKTOPDIRECTORY,
                                       CSIDL_COMMON_STARTMENU}));
    ASSERT_EQ(hits_.size(), 1u) << "the Start Menu once, though located twice";
    EXPECT_EQ(hits_[0].path, tree.Root() + "\\Programs");
}

// The shell declines some values without an error (a target path with a
// quote in it): that is no success, and nothing is saved.
TEST_F(ShortcutTest, ValueTheShellDeclinesIsNotReportedAsChanged) {
    TempTree tree("lnk");
    const std::string file = tree / "Quote.lnk";
    MakeShortcut(file, {"C:\\OLDAPP\\APP.EXE", "C:\\OLDAPP\\DOC.TXT", "", "", 0});
    const std::string before = ReadFileBytes(file);
    const std::string odd = "D:\\Odd\"Name";
    const Lines log = Replace({{file, {{"", kSubTypeArgs}, {"", kSubTypeCommand}}}}, kOld, odd);
    EXPECT_EQ(log, (Lines{"", "Processing shortcut " + file, "        arguments: C:\\OLDAPP\\DOC.TXT",
                          "       changed to: D:\\Odd\"Name\\DOC.TXT", "     command line: C:\\OLDAPP\\APP.EXE",
                          "***** The shell did not take the new command line of " + file +
                              " (it reads C:\\OLDAPP\\APP.EXE): shortcut left unchanged"}));
    EXPECT_EQ(ReadFileBytes(file), before);
}

namespace {

// Makes `link` a Unix symbolic link to `target` (Wine shows it as the file
// it leads to); false when that is not possible here.
bool UnixFileLink(const std::string& target, const std::string& link) {
    const std::string unixTarget = UnixPath(target), unixLink = UnixPath(link);
    return !unixTarget.empty() && !unixLink.empty() &&
           RunUnix("Z:\\bin\\ln", "ln -sf \"" + unixTarget + "\" \"" + unixLink + "\"") &&
           PumpUntil([&link] { return Exists(link); }, 10000);
}

// The names in a folder, "." and ".." left out.
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::string(data.cFileName) != "." && std::string(data.cFileName) != "..")
            names.push_back(data.cFileName);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

struct FaultHookGuard {
    ~FaultHookGuard() { SetFileFaultHookForTest(nullptr); }
};

}  // namespace

// A link, or another file, put under the shortcut's name after the search
// (before the replacement loads it, or while it writes the new shortcut) is
// never written through: the file it leads to stays as it was.
TEST_F(ShortcutTest, LinkOrOtherFilePlantedAtTheNameIsNotWrittenThrough) {
    const Fields old = {"C:\\OLDAPP\\APP.EXE", "", "C:\\OLDAPP", "", 0};
    enum class Plant { LinkBeforeLoad, LinkWhileSaving, FileWhileSaving };
    for (Plant plant : {Plant::LinkBeforeLoad, Plant::LinkWhileSaving, Plant::FileWhileSaving}) {
        SCOPED_TRACE(static_cast<int>(plant));
        TempTree tree("lnkplant"), elsewhere("lnkvictim");
        const std::string file = tree / "App.lnk", moved = tree / "Moved.lnk", victim = elsewhere / "Victim.lnk";
        MakeShortcut(file, old);
        MakeShortcut(victim, old);
        const std::string victimBytes = ReadFileBytes(victim);
        const std::vector<TReplaceGroup> groups = {{file, {{"", kSubTypeCommand}, {"", kSubTypeDir}}}};
        std::string plantedBytes;
        auto swap = [&] {
            // The searched file goes elsewhere, a link or another file
            // takes its name.
            EXPECT_TRUE(::MoveFileA(file.c_str(), moved.c_str()));
            if (plant == Plant::FileWhileSaving) {
                MakeShortcut(file, {"C:\\OLDAPP\\OTHER.EXE", "", "", "", 0});
                plantedBytes = ReadFileBytes(file);
            } else if (!UnixFileLink(victim, file)) {
                ADD_FAILURE() << "no link can be made here";
            }
        };
        if (plant == Plant::LinkBeforeLoad)
            swap();
        FaultHookGuard unhook;
        bool planted = false;
        SetFileFaultHookForTest([&](FileOp op, const std::string& name) -> DWORD {
            if (op == FileOp::Write && plant != Plant::LinkBeforeLoad && !planted && name != file) {
                planted = true;
                swap();
            }
            return 0;
        });
        const Lines log = Replace(groups);
        SetFileFaultHookForTest(nullptr);

        EXPECT_EQ(ReadFileBytes(victim), victimBytes) << "written through the link";
        ExpectStored(victim, old);
        if (plant == Plant::LinkBeforeLoad) {
            EXPECT_EQ(log, (Lines{"", "Processing shortcut " + file,
                                  "***** " + file + " is a link, not a shortcut file: not updated"}));
            continue;
        }
        EXPECT_TRUE(planted);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "***** Changed by another program, left as it is: " + file);
        ExpectStored(moved, old);
        if (plant == Plant::FileWhileSaving)
            EXPECT_EQ(ReadFileBytes(file), plantedBytes);
        EXPECT_EQ(NamesIn(tree.Root()), (std::vector<std::string>{"App.lnk", "Moved.lnk"})) << "nothing left over";
    }
}

// The new shortcut is written beside the old one and takes its place in one
// exchange: stopped at any step, the shortcut is the old one, whole, or
// nothing is lost (both kept, and the log says where). Saved, it keeps its
// attributes and access rules.
TEST_F(ShortcutTest, SaveStoppedAtAnyStepLosesNothing) {
    struct Case {
        const char* name;
        FileOp op;
        const char* failing;  // which name fails: "temp", "file", "temp+backup"; "" for none
        bool saved;
    };
    const Case cases[] = {
        {"saved", FileOp::Write, "", true},
        {"disk full writing the new shortcut", FileOp::Write, "temp", false},
        {"old shortcut cannot be moved", FileOp::Move, "file", false},
        {"new shortcut cannot be moved in, the old one goes back", FileOp::Move, "temp", false},
        {"neither can be moved back", FileOp::Move, "temp+backup", false},
    };
    const Fields before = {"C:\\OLDAPP\\APP.EXE", "-x", "C:\\OLDAPP", "C:\\OLDAPP\\APP.ICO", 2};
    const Fields after = {"D:\\Apps\\NewApp\\APP.EXE", "-x", "D:\\Apps\\NewApp", "C:\\OLDAPP\\APP.ICO", 2};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree("lnksave");
        const bool attributesStick = AttributesStick(tree.Root());
        const std::string file = tree / "App.lnk";
        MakeShortcut(file, before);
        const std::string bytes = ReadFileBytes(file);
        const DWORD attributes = attributesStick ? FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM : 0;
        if (attributes != 0)
            ASSERT_TRUE(::SetFileAttributesA(file.c_str(), attributes));
        ASSERT_TRUE(SetEveryoneRules(file, FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE));
        const std::string rules = RulesOf(file);
        const std::string failing = c.failing;
        FaultHookGuard unhook;
        SetFileFaultHookForTest([&](FileOp op, const std::string& name) -> DWORD {
            const bool isFile = name == file;
            const bool isTemp = name.size() > 4 && name.substr(name.size() - 4) == ".$$$";
            const bool isBackup = !isFile && name.size() > 4 && name.substr(name.size() - 4) == ".BAK";
            const bool fails = (failing == "file" && isFile) ||
                               (failing.rfind("temp", 0) == 0 && isTemp) ||
                               (failing == "temp+backup" && isBackup);
            return op == c.op && fails ? (op == FileOp::Write ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED) : 0;
        });
        const Lines log = Replace({{file, {{"", kSubTypeCommand}, {"", kSubTypeDir}}}});
        SetFileFaultHookForTest(nullptr);

        ASSERT_GE(log.size(), 6u);
        const std::vector<std::string> names = NamesIn(tree.Root());
        if (c.saved) {
            EXPECT_EQ(log.back(), "Successfully updated " + file);
            ExpectStored(file, after);
            EXPECT_EQ(::GetFileAttributesA(file.c_str()), attributes | FILE_ATTRIBUTE_ARCHIVE);
            EXPECT_EQ(RulesOf(file), rules);
            EXPECT_EQ(names, std::vector<std::string>{"App.lnk"});
        } else if (failing != "temp+backup") {
            EXPECT_EQ(log.back(), "***** OLE error updating " + file);
            EXPECT_EQ(ReadFileBytes(file), bytes);
            EXPECT_EQ(names, std::vector<std::string>{"App.lnk"}) << "nothing left over";
        } else {
            // The old shortcut under a name of its own, the new one under
            // another, both named in the log.
            ASSERT_EQ(names.size(), 2u);
            EXPECT_FALSE(Exists(file));
            const std::string temp = tree / (names[0].find(".$$$") != std::string::npos ? names[0] : names[1]);
            const std::string backup = tree / (names[0].find(".BAK") != std::string::npos ? names[0] : names[1]);
            EXPECT_EQ(Lines(log.end() - 3, log.end()),
                      (Lines{"***** OLE error updating " + file, "***** Update stored as " + temp,
                             "***** Previous file stored as " + backup}));
            EXPECT_EQ(ReadFileBytes(backup), bytes);
            ExpectStored(temp, after);
        }
    }
}

// The Desktop of the prefix is a link to the home folder (as a Desktop
// moved elsewhere is on Windows): the walks in and below the Windows folder
// and of all fixed drives take in the Desktop and the Start Menu, of the
// user and of all users, wherever they lie, and find each shortcut once.
TEST_F(ShortcutTest, WiderWalksTakeInTheDesktopAndStartMenuWhereverTheyLie) {
    const std::string desktop = SpecialFolderPath(CSIDL_DESKTOPDIRECTORY);
    const std::string startMenu = SpecialFolderPath(CSIDL_STARTMENU);
    const std::string commonDesktop = SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY);
    for (const std::string& f : {desktop, startMenu, commonDesktop})
        ASSERT_FALSE(f.empty());
    const Fields target = {"C:\\MVXLNK_WIDE\\APP.EXE", "", "", "", 0};
    Planted planted;
    planted.Shortcut(desktop + "\\Wide Top.lnk", target);
    const std::string desktopSub = planted.Dir(desktop + "\\Wide Folder");
    planted.Shortcut(desktopSub + "\\Wide Deep.lnk", target);
    const std::string menuDir = planted.Dir(planted.Dir(startMenu + "\\Programs") + "\\Wide Folder");
    planted.Shortcut(menuDir + "\\Wide Menu.lnk", target);
    planted.Shortcut(commonDesktop + "\\Wide Common.lnk", target);
    const std::map<std::string, std::string> expected = {{"Wide Top.lnk", desktop},
                                                         {"Wide Deep.lnk", desktopSub},
                                                         {"Wide Menu.lnk", menuDir},
                                                         {"Wide Common.lnk", commonDesktop}};
    for (int mode : {3, 2}) {
        SCOPED_TRACE(mode);
        hits_.clear();
        RunToEnd(new TSearchLNKThread(KindLnk, "c:\\mvxlnk_wide", label_, Collector(), mode), 600000);
        EXPECT_EQ(fatal_, "");
        std::map<std::string, std::string> found;
        for (const FoundHit& h : hits_)
            EXPECT_TRUE(found.emplace(h.item, h.path).second) << "found twice: " << h;
        EXPECT_EQ(found, expected);
    }
}
