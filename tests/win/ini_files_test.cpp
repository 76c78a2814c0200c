// The INI search and replacer on real files under Wine, failures included:
// each failure is made to happen for real (or through the file layer's test
// seam where nothing else can cause it) and the user's file is checked after.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "core/strings.h"
#include "platform/file_io_win.h"
#include "search_test_support_win.h"
#include "targets/ini_files_win.h"

using namespace movix;
using namespace movix_test;

namespace {

using Lines = std::vector<std::string>;

class IniTest : public UiFixture {
  protected:
    void TearDown() override {
        SetFileFaultHookForTest(nullptr);
        UiFixture::TearDown();
    }

    // Searches `folder` (as the Windows folder) with the given walk mode.
    void Search(const std::string& folder, const std::string& oldAddress, int mode = 1) {
        auto* thread = new TSearchINIThread(KindIni, oldAddress, label_, Collector(), mode);
        thread->SetWindowsDirForTest(folder);
        searching_ = thread;
        RunToEnd(thread);
        searching_ = nullptr;
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

    Lines Replace(std::vector<TReplaceGroup>& groups, const std::string& oldAddress, const std::string& newAddress) {
        Lines log;
        TLogLine logFn = [&log](const std::string& line) { log.push_back(line); };
        ReplaceIniFiles(groups, oldAddress, newAddress, label_, logFn);
        return log;
    }

    // Search and replace in one go, as the wizard does.
    Lines SearchAndReplace(const std::string& folder, const std::string& oldAddress, const std::string& newAddress) {
        hits_.clear();
        Search(folder, oldAddress);
        auto groups = GroupsFromHits();
        return Replace(groups, oldAddress, newAddress);
    }

    TMovixThread* searching_ = nullptr;
};

const char kOld[] = "C:\\OLD";
const char kNew[] = "D:\\NEW";

// An INI file with a hit of each kind in it.
const std::string kSample =
    "; C:\\OLD in a comment\r\n"
    "Top=c:\\old\\top.exe\r\n"
    "[Setup]\r\n"
    "  Path=C:\\Old\\BIN;C:\\OLD\\LIB  \r\n"
    "Other=unrelated\r\n"
    "[C:\\OLD\\Group]\r\n"
    "C:\\OLD\\A.EXE=yes\r\n";

Lines SampleLog(const std::string& file) {
    return {"",
            "Processing INI file " + file,
            "          INI key: Top=c:\\old\\top.exe",
            "       changed to: Top=D:\\NEW\\top.exe",
            "          INI key:   Path=C:\\Old\\BIN;C:\\OLD\\LIB  ",
            "       changed to:   Path=D:\\NEW\\BIN;D:\\NEW\\LIB  ",
            "   section header: [C:\\OLD\\Group]",
            "       changed to: [D:\\NEW\\Group]",
            "          INI key: C:\\OLD\\A.EXE=yes",
            "       changed to: D:\\NEW\\A.EXE=yes",
            "Successfully updated " + file,
            "Backup stored as " + BackupName(file)};
}

const std::string kSampleUpdated =
    "; C:\\OLD in a comment\r\n"
    "Top=D:\\NEW\\top.exe\r\n"
    "[Setup]\r\n"
    "  Path=D:\\NEW\\BIN;D:\\NEW\\LIB  \r\n"
    "Other=unrelated\r\n"
    "[D:\\NEW\\Group]\r\n"
    "D:\\NEW\\A.EXE=yes\r\n";

// Holds a file open as another program would, with the given sharing.
class HeldOpen {
  public:
    HeldOpen(const std::string& name, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING)
        : h_(::CreateFileA(name.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_NE(h_, INVALID_HANDLE_VALUE) << name << " error " << ::GetLastError();
    }
    ~HeldOpen() {
        if (h_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(h_);
    }
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

}  // namespace

// ---- search ---------------------------------------------------------------

TEST_F(IniTest, IniSearch_ReportsHeadersAndKeyLinesOfRealFiles) {
    TempTree tree("inisearch");
    tree.File("APP.INI", kSample +
                             "[C:\\OLD\r\n"           // no closing bracket: the D is lost
                             "[c:\\ol]\r\n"           // a header that matches nothing
                             "k=C:\\OLD\\1\nk=x\r\n"  // a bare line feed ends a line too
                             "same=C:\\OLD\r\n"
                             "same=C:\\OLD\r\n"
                             "\x1A"
                             "after=C:\\OLD\r\n");
    Search(tree.Root(), "c:\\old");
    const std::string folder = tree.Root();
    const std::vector<FoundHit> expected = {
        {"APP.INI", folder, "<no section>Top=c:\\old\\top.exe", KindIni, kSubTypeKey},
        {"APP.INI", folder, "[Setup]Path=C:\\Old\\BIN;C:\\OLD\\LIB", KindIni, kSubTypeKey},
        {"APP.INI", folder, "[C:\\OLD\\Group]", KindIni, kSubTypeSection},
        {"APP.INI", folder, "[C:\\OLD\\Group]C:\\OLD\\A.EXE=yes", KindIni, kSubTypeKey},
        {"APP.INI", folder, "[c:\\ol]k=C:\\OLD\\1", KindIni, kSubTypeKey},
        {"APP.INI", folder, "[c:\\ol]same=C:\\OLD", KindIni, kSubTypeKey},
        {"APP.INI", folder, "[c:\\ol]same=C:\\OLD", KindIni, kSubTypeKey},
    };
    EXPECT_EQ(hits_, expected);
    EXPECT_TRUE(fatal_.empty());
}

TEST_F(IniTest, IniSearch_FileThatCannotBeOpenedIsSkippedInSilence) {
    TempTree tree("inilocked");
    tree.File("A.INI", "a=C:\\OLD\r\n");
    tree.File("B.INI", "b=C:\\OLD\r\n");
    {
        HeldOpen lock(tree / "A.INI", GENERIC_READ, 0);
        Search(tree.Root(), kOld);
    }
    ASSERT_EQ(hits_.size(), 1u);
    EXPECT_EQ(hits_[0].item, "B.INI");
    EXPECT_TRUE(fatal_.empty());
}

TEST_F(IniTest, IniSearch_FileOpenForWritingElsewhereIsStillRead) {
    TempTree tree("iniwriter");
    tree.File("A.INI", "a=C:\\OLD\r\n");
    HeldOpen writer(tree / "A.INI", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    Search(tree.Root(), kOld);
    EXPECT_EQ(hits_.size(), 1u);
}

TEST_F(IniTest, IniSearch_ReadErrorEndsTheFileKeepingEarlierHits) {
    TempTree tree("inireaderr");
    // The first 64 KB hold a hit; reading what follows fails. (Wine does not
    // enforce byte-range locks, so the disk error comes through the seam.)
    std::string text = "[S]\r\nfirst=C:\\OLD\r\n";
    while (text.size() < 70000)
        text += "filler=xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";
    text += "second=C:\\OLD\r\n";
    const std::string big = tree.File("BIG.INI", text);
    tree.File("NEXT.INI", "n=C:\\OLD\r\n");
    int reads = 0;
    SetFileFaultHookForTest([&](FileOp op, const std::string& name) -> DWORD {
        return (op == FileOp::Read && name == big && ++reads >= 2) ? ERROR_CRC : 0;
    });
    Search(tree.Root(), kOld);
    SetFileFaultHookForTest(nullptr);

    std::vector<std::string> contexts;
    for (const auto& h : hits_)
        contexts.push_back(h.item + ":" + h.context);
    std::sort(contexts.begin(), contexts.end());
    EXPECT_EQ(contexts, (Lines{"BIG.INI:[S]first=C:\\OLD", "NEXT.INI:<no section>n=C:\\OLD"}));
    EXPECT_GE(reads, 2);
    EXPECT_TRUE(fatal_.empty());
}

TEST_F(IniTest, IniSearch_CancelStopsBetweenLinesKeepingTheHitsSoFar) {
    TempTree tree("inicancel");
    std::string text = "[S]\r\n";
    for (int i = 0; i < 50; ++i)
        text += "k" + std::to_string(i) + "=C:\\OLD\r\n";
    tree.File("A.INI", text);
    tree.File("B.INI", text);
    onHit_ = [this] {
        if (hits_.size() == 2)
            searching_->Terminate();
    };
    Search(tree.Root(), kOld);
    ASSERT_EQ(hits_.size(), 2u);
    EXPECT_EQ(hits_[1].context, "[S]k1=C:\\OLD");
}

TEST_F(IniTest, IniSearch_ModeFourExaminesWinIniThenSystemIniOnly) {
    TempTree tree("inimode4");
    tree.File("system.ini", "[boot]\r\nshell=C:\\OLD\\SHELL.EXE\r\n");
    tree.File("win.ini", "[windows]\r\nrun=C:\\OLD\\RUN.EXE\r\n");
    tree.File("OTHER.INI", "x=C:\\OLD\r\n");
    Search(tree.Root(), kOld, 4);
    const std::vector<FoundHit> expected = {
        {"WIN.INI", tree.Root(), "[windows]run=C:\\OLD\\RUN.EXE", KindIni, kSubTypeKey},
        {"SYSTEM.INI", tree.Root(), "[boot]shell=C:\\OLD\\SHELL.EXE", KindIni, kSubTypeKey},
    };
    EXPECT_EQ(hits_, expected);
    EXPECT_EQ(LabelText(), "In " + tree.Root());

    // Without the two files there is nothing to find.
    hits_.clear();
    TempTree empty("inimode4e");
    empty.File("OTHER.INI", "x=C:\\OLD\r\n");
    Search(empty.Root(), kOld, 4);
    EXPECT_TRUE(hits_.empty());
}

TEST_F(IniTest, IniSearch_FindsAFileInTheRealWindowsFolder) {
    char windows[MAX_PATH];
    ASSERT_GT(::GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string name = "MOVIXT" + tag + ".INI";
    const std::string full = std::string(windows) + "\\" + name;
    const std::string oldAddress = "C:\\MOVIX_REAL_" + tag;
    WriteFileBytes(full, "[Paths]\r\nHome=" + oldAddress + "\r\n");
    auto* thread = new TSearchINIThread(KindIni, oldAddress, label_, Collector(), 1);
    RunToEnd(thread);
    ::DeleteFileA(full.c_str());
    EXPECT_FALSE(Exists(full));
    const std::vector<FoundHit> expected = {{name, windows, "[Paths]Home=" + oldAddress, KindIni, kSubTypeKey}};
    EXPECT_EQ(hits_, expected);
    EXPECT_EQ(LabelText(), std::string("In ") + windows);
}

// ---- replacement ----------------------------------------------------------

namespace {

// Every name in `folder`, sorted; a temporary file shows as "<temp>".
Lines FilesIn(const std::string& folder) {
    Lines names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(movix::WideFileName(folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = movix::WideToUtf8(data.cFileName);
        if (name == "." || name == "..")
            continue;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".$$$") == 0 && name.find('-') != std::string::npos)
            name = "<temp>";
        names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// The one temporary file the replacer left in `folder` ("" when none).
std::string TempIn(const std::string& folder) {
    std::string found;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*-*.$$$").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return found;
    found = folder + "\\" + data.cFileName;
    EXPECT_FALSE(::FindNextFileA(find, &data)) << "more than one temporary file";
    ::FindClose(find);
    return found;
}

bool IsTempName(const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".$$$") == 0;
}

}  // namespace

TEST_F(IniTest, IniReplace_RewritesHitLinesAndKeepsBackupOfPreviousFile) {
    TempTree tree("inirep");
    const std::string file = tree.File("APP.INI", kSample);
    const Lines log = SearchAndReplace(tree.Root(), kOld, kNew);
    EXPECT_EQ(log, SampleLog(file));
    EXPECT_EQ(ReadFileBytes(file), kSampleUpdated);
    EXPECT_EQ(ReadFileBytes(tree / "APP.BAK"), kSample);
    EXPECT_EQ(FilesIn(tree.Root()), (Lines{"APP.BAK", "APP.INI"}));
    EXPECT_EQ(LabelText(), file);
}

TEST_F(IniTest, IniReplace_KeepsEveryLineEndAndEverythingFromACtrlZOn) {
    struct Case {
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        // A Unix file: the hit line changes, not the whole text.
        {"[S]\nA=C:\\OLD\\1\nB=unrelated\n", "[S]\nA=D:\\NEW\\1\nB=unrelated\n"},
        // Mixed line ends, a lone CR among them, and a last line without one.
        {"[A]\rx=C:\\OLD\r\ny=1\nz=C:\\OLD\n\r\nlast=C:\\OLD", "[A]\rx=D:\\NEW\r\ny=1\nz=D:\\NEW\n\r\nlast=D:\\NEW"},
        // Whatever follows a Ctrl-Z stays, though it is never searched.
        {"a=C:\\OLD\r\n\x1A"
         "tail=C:\\OLD\r\n\x1A",
         "a=D:\\NEW\r\n\x1A"
         "tail=C:\\OLD\r\n\x1A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        TempTree tree("inieol");
        const std::string file = tree.File("E.INI", c.before);
        const Lines log = SearchAndReplace(tree.Root(), kOld, kNew);
        EXPECT_EQ(ReadFileBytes(file), c.after);
        EXPECT_EQ(ReadFileBytes(tree / "E.BAK"), c.before);
        EXPECT_EQ(log.back(), "Backup stored as " + (tree / "E.BAK"));
    }
}

TEST_F(IniTest, IniReplace_ExistingBackupsAreNeverOverwritten) {
    TempTree tree("inibaks");
    const std::string file = tree.File("APP.INI", "[S]\r\na=C:\\OLD\r\n");
    // A second run keeps the first run's backup...
    SearchAndReplace(tree.Root(), kOld, kNew);
    ASSERT_EQ(ReadFileBytes(file), "[S]\r\na=D:\\NEW\r\n");
    Lines log = SearchAndReplace(tree.Root(), kNew, "E:\\NEWER");
    EXPECT_EQ(ReadFileBytes(file), "[S]\r\na=E:\\NEWER\r\n");
    EXPECT_EQ(ReadFileBytes(tree / "APP.BAK"), "[S]\r\na=C:\\OLD\r\n");
    EXPECT_EQ(ReadFileBytes(tree / "APP-1.BAK"), "[S]\r\na=D:\\NEW\r\n");
    EXPECT_EQ(log.back(), "Backup stored as " + (tree / "APP-1.BAK"));

    // ... and a read-only one of the user's, or a folder of that name, is
    // passed over as well.
    ::SetFileAttributesA((tree / "APP.BAK").c_str(), FILE_ATTRIBUTE_READONLY);
    ::CreateDirectoryA((tree / "APP-2.BAK").c_str(), nullptr);
    log = SearchAndReplace(tree.Root(), "E:\\NEWER", kNew);
    EXPECT_EQ(log.back(), "Backup stored as " + (tree / "APP-3.BAK"));
    EXPECT_EQ(ReadFileBytes(tree / "APP-3.BAK"), "[S]\r\na=E:\\NEWER\r\n");
    EXPECT_EQ(ReadFileBytes(tree / "APP.BAK"), "[S]\r\na=C:\\OLD\r\n");
    EXPECT_EQ(FilesIn(tree.Root()), (Lines{"APP-1.BAK", "APP-2.BAK", "APP-3.BAK", "APP.BAK", "APP.INI"}));
}

TEST_F(IniTest, IniReplace_LineChangedSinceTheSearchIsCopiedUnchanged) {
    TempTree tree("inichanged");
    const std::string file = tree.File("APP.INI", "[S]\r\na=C:\\OLD\\1\r\nb=C:\\OLD\\2\r\n");
    Search(tree.Root(), kOld);
    auto groups = GroupsFromHits();
    ASSERT_EQ(groups.size(), 1u);
    // Someone edits line a= between search and replacement.
    WriteFileBytes(file, "[S]\r\na=C:\\OLD\\changed\r\nb=C:\\OLD\\2\r\n");
    const Lines log = Replace(groups, kOld, kNew);
    EXPECT_EQ(ReadFileBytes(file), "[S]\r\na=C:\\OLD\\changed\r\nb=D:\\NEW\\2\r\n");
    EXPECT_EQ(log, (Lines{"", "Processing INI file " + file, "          INI key: b=C:\\OLD\\2",
                          "       changed to: b=D:\\NEW\\2", "***** Not found again in " + file + ": [S]A=C:\\OLD\\1",
                          "Successfully updated " + file, "Backup stored as " + (tree / "APP.BAK")}));
    // The hit that found no line is still outstanding.
    ASSERT_EQ(groups[0].Hits.size(), 1u);
    EXPECT_EQ(groups[0].Hits[0].Text, "[S]A=C:\\OLD\\1");
}

TEST_F(IniTest, IniReplace_FileWithNoHitFoundAgainIsLeftAlone) {
    TempTree tree("ininone");
    const std::string file = tree.File("APP.INI", "[S]\r\na=C:\\OLD\\1\r\n[T]\r\nb=C:\\OLD\\2\r\n");
    Search(tree.Root(), kOld);
    auto groups = GroupsFromHits();
    const std::string edited = "[S]\r\na=C:\\OLD\\one\r\n[U]\r\nb=C:\\OLD\\2\r\n";
    WriteFileBytes(file, edited);
    const Lines log = Replace(groups, kOld, kNew);
    EXPECT_EQ(log, (Lines{"", "Processing INI file " + file, "***** Not found again in " + file + ": [S]A=C:\\OLD\\1",
                          "***** Not found again in " + file + ": [T]B=C:\\OLD\\2"}));
    EXPECT_EQ(ReadFileBytes(file), edited);
    EXPECT_EQ(FilesIn(tree.Root()), (Lines{"APP.INI"}));
}

TEST_F(IniTest, IniReplace_OneFileInTwoGroupsKeepsTheFirstBackup) {
    TempTree tree("initwogroups");
    const std::string original = "[S]\r\na=C:\\OLD\\1\r\nb=C:\\OLD\\2\r\n";
    const std::string file = tree.File("APP.INI", original);
    // The same file under another letter case of its name, and once more
    // with a hit the first group has already applied.
    std::string other = file;
    for (char& c : other)
        c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    std::vector<TReplaceGroup> groups = {{file, {{"[S]A=C:\\OLD\\1", kSubTypeKey}}},
                                         {other, {{"[S]B=C:\\OLD\\2", kSubTypeKey}}},
                                         {file, {{"[S]A=C:\\OLD\\1", kSubTypeKey}}}};
    const Lines log = Replace(groups, kOld, kNew);
    EXPECT_EQ(ReadFileBytes(file), "[S]\r\na=D:\\NEW\\1\r\nb=D:\\NEW\\2\r\n");
    EXPECT_EQ(ReadFileBytes(tree / "APP.BAK"), original);
    EXPECT_EQ(ReadFileBytes(tree / "APP-1.BAK"), "[S]\r\na=D:\\NEW\\1\r\nb=C:\\OLD\\2\r\n");
    EXPECT_EQ(FilesIn(tree.Root()), (Lines{"APP-1.BAK", "APP.BAK", "APP.INI"}));
    EXPECT_EQ(log.back(), "***** Not found again in " + file + ": [S]A=C:\\OLD\\1");
}

TEST_F(IniTest, IniReplace_HitsAreFoundAgainInAnyLetterCaseOfTheLocale) {
    TempTree tree("inicase");
    // The accented letter changed case after the search (the file in the
    // code page, the hit in the program's UTF-8, as the search reports it);
    // a line that differs by a hyphen is another line.
    const std::string file = tree.File("APP.INI",
                                       "[setup]\r\nPATH=c:\\old\\app-x\r\nPATH=C:\\OLD\\APPX\r\n"
                                       "Dir=C:\\OLD\\CAF\xC9\r\n");
    std::vector<TReplaceGroup> groups = {
        {file, {{"[SETUP]PATH=C:\\OLD\\APPX", kSubTypeKey}, {"[SETUP]DIR=C:\\OLD\\CAF\xC3\xA9", kSubTypeKey}}}};
    Replace(groups, kOld, kNew);
    EXPECT_EQ(ReadFileBytes(file), "[setup]\r\nPATH=c:\\old\\app-x\r\nPATH=D:\\NEW\\APPX\r\nDir=D:\\NEW\\CAF\xC9\r\n");
    EXPECT_TRUE(groups[0].Hits.empty());
}

TEST_F(IniTest, IniReplace_KeepsTheFilesAttributesAndAccessRules) {
    TempTree tree("iniattr");
    if (!AttributesStick(tree.Root()))
        GTEST_SKIP() << "this file system keeps no hidden or system attribute";
    ::DeleteFileA((tree / "attr.probe").c_str());
    const std::string file = tree.File("APP.INI", kSample);
    // Access rules of the file's own: everyone may read it, nothing else.
    ASSERT_TRUE(SetEveryoneRules(file, FILE_GENERIC_READ));
    const std::string rules = RulesOf(file);
    // The search passes over hidden files; the file is hidden after it.
    Search(tree.Root(), kOld);
    auto groups = GroupsFromHits();
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    ASSERT_TRUE(::SetFileAttributesA(file.c_str(), attributes));

    const Lines log = Replace(groups, kOld, kNew);
    EXPECT_EQ(log, SampleLog(file));
    EXPECT_EQ(ReadFileBytes(file), kSampleUpdated);
    EXPECT_EQ(::GetFileAttributesA(file.c_str()), attributes | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(RulesOf(file), rules);
    EXPECT_EQ(ReadFileBytes(tree / "APP.BAK"), kSample);
    EXPECT_EQ(::GetFileAttributesA((tree / "APP.BAK").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

TEST_F(IniTest, IniReplace_EmptyGroupListWritesNothing) {
    std::vector<TReplaceGroup> groups;
    EXPECT_TRUE(Replace(groups, kOld, kNew).empty());
}

TEST_F(IniTest, IniReplace_GoesOnWithTheNextFileAfterAFailure) {
    TempTree tree("ininext");
    const std::string missing = tree / "GONE.INI";
    const std::string file = tree.File("HERE.INI", "a=C:\\OLD\r\n");
    std::vector<TReplaceGroup> groups = {{missing, {{"<NO SECTION>A=C:\\OLD", kSubTypeKey}}},
                                         {file, {{"<NO SECTION>A=C:\\OLD", kSubTypeKey}}}};
    const Lines log = Replace(groups, kOld, kNew);
    EXPECT_EQ(log, (Lines{"", "Processing INI file " + missing, "***** Could not open " + missing, "",
                          "Processing INI file " + file, "          INI key: a=C:\\OLD", "       changed to: a=D:\\NEW",
                          "Successfully updated " + file, "Backup stored as " + (tree / "HERE.BAK")}));
    EXPECT_EQ(FilesIn(tree.Root()), (Lines{"HERE.BAK", "HERE.INI"}));
    EXPECT_EQ(ReadFileBytes(file), "a=D:\\NEW\r\n");
}

// ---- failures, each made to happen ----------------------------------------

namespace {

// Sets up APP.INI with kSample and its hits; the test then arranges a failure.
struct Planted {
    explicit Planted(const char* tag) : tree(tag), file(tree.File("APP.INI", kSample)) {}
    TempTree tree;
    std::string file;
    std::string Backup() const { return tree / "APP.BAK"; }
    std::string Temp() const { return TempIn(tree.Root()); }
};

// The log up to and including the copy, before the exchange.
Lines CopyLog(const std::string& file) {
    Lines log = SampleLog(file);
    log.resize(log.size() - 2);
    return log;
}

}  // namespace

TEST_F(IniTest, IniReplace_FileHeldOpenWithoutSharingIsNotTouched) {
    Planted p("failopen");
    Search(p.tree.Root(), kOld);
    auto groups = GroupsFromHits();
    Lines log;
    {
        HeldOpen other(p.file, GENERIC_READ | GENERIC_WRITE, 0);
        log = Replace(groups, kOld, kNew);
    }
    EXPECT_EQ(log, (Lines{"", "Processing INI file " + p.file, "***** Could not open " + p.file}));
    EXPECT_EQ(ReadFileBytes(p.file), kSample);
    EXPECT_EQ(FilesIn(p.tree.Root()), (Lines{"APP.INI"}));
}

TEST_F(IniTest, IniReplace_FileOpenForWritingElsewhereIsNotRewritten) {
    // Another program that may still write the file: rewriting it under that
    // program would lose its writes, so the file counts as not openable.
    Planted p("failwriter");
    Search(p.tree.Root(), kOld);
    auto groups = GroupsFromHits();
    HeldOpen other(p.file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    const Lines log = Replace(groups, kOld, kNew);
    EXPECT_EQ(log.back(), "***** Could not open " + p.file);
    EXPECT_EQ(ReadFileBytes(p.file), kSample);
}

TEST_F(IniTest, IniReplace_NamesPlantedInAdvanceAreNeverUsed) {
    // The old fixed temporary name, as a folder and as a file held open
    // by another program, and a backup name taken by a folder: none of
    // them is written, moved or deleted; the temporary name is a fresh one.
    Planted p("planted");
    ASSERT_TRUE(::CreateDirectoryA((p.tree / "APP.$$$").c_str(), nullptr));
    const std::string planted = p.tree.File("APP-00000000.$$$", "theirs");
    ASSERT_TRUE(::CreateDirectoryA(p.Backup().c_str(), nullptr));
    Lines log;
    Search(p.tree.Root(), kOld);
    auto groups = GroupsFromHits();
    std::string tempSeen;
    SetFileFaultHookForTest([&tempSeen](FileOp op, const std::string& name) -> DWORD {
        if (op == FileOp::Write && IsTempName(name))
            tempSeen = name;
        return 0;
    });
    {
        HeldOpen other(planted, GENERIC_READ | GENERIC_WRITE, 0);
        log = Replace(groups, kOld, kNew);
    }
    EXPECT_EQ(log.back(), "Backup stored as " + (p.tree / "APP-1.BAK"));
    EXPECT_EQ(ReadFileBytes(p.file), kSampleUpdated);
    EXPECT_EQ(ReadFileBytes(planted), "theirs");
    EXPECT_TRUE(::GetFileAttributesA((p.tree / "APP.$$$").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(::GetFileAttributesA(p.Backup().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    // APP-XXXXXXXX.$$$ with eight hexadecimal digits, not the planted one.
    const std::string prefix = p.tree / "APP-";
    ASSERT_EQ(tempSeen.size(), prefix.size() + 12) << tempSeen;
    EXPECT_EQ(tempSeen.compare(0, prefix.size(), prefix), 0);
    EXPECT_NE(tempSeen, planted);
    EXPECT_EQ(FilesIn(p.tree.Root()), (Lines{"<temp>", "APP-1.BAK", "APP.$$$", "APP.BAK", "APP.INI"}));
}

TEST_F(IniTest, IniReplace_LinkPlantedAtTheTempOrBackupNameIsNeverFollowed) {
    // Links under the old fixed temporary name and under the backup name,
    // both to a file of someone else's: that file is neither written nor
    // replaced, and the links stay.
    Planted p("links");
    TempTree elsewhere("linktarget");
    const std::string victim = elsewhere.File("VICTIM.TXT", "precious");
    // (Wine 8 reports success without making the link.)
    if (!::CreateSymbolicLinkA((p.tree / "APP.$$$").c_str(), victim.c_str(), 0) ||
        !::CreateSymbolicLinkA(p.Backup().c_str(), victim.c_str(), 0) || !Exists(p.Backup()))
        GTEST_SKIP() << "no symbolic links here";
    const Lines log = SearchAndReplace(p.tree.Root(), kOld, kNew);
    EXPECT_EQ(log.back(), "Backup stored as " + (p.tree / "APP-1.BAK"));
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_EQ(ReadFileBytes(p.file), kSampleUpdated);
    EXPECT_EQ(ReadFileBytes(p.tree / "APP-1.BAK"), kSample);
    EXPECT_EQ(FilesIn(p.tree.Root()), (Lines{"APP-1.BAK", "APP.$$$", "APP.BAK", "APP.INI"}));
}

TEST_F(IniTest, IniReplace_FileThatLinksElsewhereIsLeftAsItIs) {
    // APP.INI links to another program's file (a Unix link, which Wine shows
    // as the file itself): the search reads Old through it, and the
    // replacement changes neither the link nor the file it leads to.
    TempTree tree("filelink");
    TempTree elsewhere("filelinktarget");
    const std::string target = elsewhere.File("THEIRS.INI", kSample);
    const std::string link = tree / "APP.INI";
    const bool made = (::CreateSymbolicLinkA(link.c_str(), target.c_str(), 0) && Exists(link)) ||
                      (!UnixPath(link).empty() &&
                       RunUnix("Z:\\bin\\ln", "ln -s \"" + UnixPath(target) + "\" \"" + UnixPath(link) + "\"") &&
                       PumpUntil([&link] { return Exists(link); }, 10000));
    if (!made)
        GTEST_SKIP() << "no file links can be made here";
    const Lines log = SearchAndReplace(tree.Root(), kOld, kNew);
    EXPECT_EQ(log, (Lines{"", "Processing INI file " + link, "***** " + link + " is a link to another file: not updated"}));
    EXPECT_EQ(ReadFileBytes(target), kSample);
    EXPECT_EQ(FilesIn(tree.Root()), (Lines{"APP.INI"}));
    EXPECT_EQ(FilesIn(elsewhere.Root()), (Lines{"THEIRS.INI"}));
    // Still the link: what is written to the file shows through it.
    WriteFileBytes(target, "[S]\r\n");
    EXPECT_EQ(ReadFileBytes(link), "[S]\r\n");
}

TEST_F(IniTest, IniReplace_TempThatCannotBeCreatedLeavesTheFileUnchanged) {
    // A file whose name is only just short enough: the temporary name, nine
    // characters longer, is not a valid name (a name's last part holds at
    // most 255 characters, with or without the long-name prefix).
    TempTree tree("failtemp");
    const std::string name = std::string(246, 'N') + ".INI";
    const std::string file = tree.File(name, "a=C:\\OLD\r\n");
    ASSERT_EQ(ReadFileBytes(file), "a=C:\\OLD\r\n");
    std::vector<TReplaceGroup> groups = {{file, {{"<NO SECTION>A=C:\\OLD", kSubTypeKey}}}};
    const Lines log = Replace(groups, kOld, kNew);
    ASSERT_EQ(log.size(), 3u);
    const std::string prefix = "***** Could not create " + file.substr(0, file.size() - 4) + "-";
    EXPECT_EQ(log[2].compare(0, prefix.size(), prefix), 0) << log[2];
    EXPECT_TRUE(IsTempName(log[2]));
    EXPECT_EQ(ReadFileBytes(file), "a=C:\\OLD\r\n");
    EXPECT_EQ(FilesIn(tree.Root()), (Lines{name}));
}

TEST_F(IniTest, IniReplace_ReadErrorLeavesTheFileUnchangedAndNoPartialTemp) {
    TempTree tree("failread");
    std::string text = "[S]\r\nfirst=C:\\OLD\r\n";
    while (text.size() < 70000)
        text += "filler=xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";
    text += "second=C:\\OLD\r\n";
    const std::string file = tree.File("BIG.INI", text);
    std::vector<TReplaceGroup> groups = {
        {file, {{"[S]FIRST=C:\\OLD", kSubTypeKey}, {"[S]SECOND=C:\\OLD", kSubTypeKey}}}};
    // Reading fails after the first 64 KB.
    int reads = 0;
    SetFileFaultHookForTest([&](FileOp op, const std::string& name) -> DWORD {
        return (op == FileOp::Read && name == file && ++reads >= 2) ? ERROR_CRC : 0;
    });
    const Lines log = Replace(groups, kOld, kNew);
    SetFileFaultHookForTest(nullptr);

    // The file is read whole before any line is rewritten: no change is
    // logged for a file that is not changed.
    EXPECT_EQ(log, (Lines{"", "Processing INI file " + file,
                          "***** Error \"" + SystemErrorText(ERROR_CRC) + "\" updating " + file}));
    EXPECT_EQ(ReadFileBytes(file), text);
    EXPECT_EQ(FilesIn(tree.Root()), (Lines{"BIG.INI"}));
}

TEST_F(IniTest, IniReplace_WriteErrorLeavesTheFileUnchangedAndNoPartialTemp) {
    Planted p("failwrite");
    Search(p.tree.Root(), kOld);
    auto groups = GroupsFromHits();
    // The disk fills up while the copy is written.
    SetFileFaultHookForTest([](FileOp op, const std::string& name) -> DWORD {
        return (op == FileOp::Write && IsTempName(name)) ? ERROR_DISK_FULL : 0;
    });
    const Lines log = Replace(groups, kOld, kNew);
    SetFileFaultHookForTest(nullptr);
    Lines expected = CopyLog(p.file);
    expected.push_back("***** Error \"" + SystemErrorText(ERROR_DISK_FULL) + "\" updating " + p.file);
    EXPECT_EQ(log, expected);
    EXPECT_EQ(ReadFileBytes(p.file), kSample);
    EXPECT_EQ(FilesIn(p.tree.Root()), (Lines{"APP.INI"}));
}

TEST_F(IniTest, IniReplace_FileChangedByAnotherProgramIsLeftAlone) {
    // What another program does while the copy is being written (the hook
    // runs when the copy goes to disk, after F has been read).
    struct Case {
        const char* what;
        std::function<void(const std::string& file)> act;
        std::string fileAfter;
    };
    const std::string theirs = "[Setup]\r\nTheirs=C:\\OLD\\xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";
    bool failReads = false;
    const Case cases[] = {
        {"puts another file in its place",
         [&](const std::string& file) {
             EXPECT_TRUE(::MoveFileA(file.c_str(), (file + ".old").c_str()));
             WriteFileBytes(file, theirs);
         },
         theirs},
        {"sets its last-write time",
         [](const std::string& file) {
             HeldOpen other(file, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
             FILETIME t = {0x12345678, 0x01D00000};
             EXPECT_TRUE(::SetFileTime(other.get(), nullptr, nullptr, &t));
         },
         kSample},
        {"makes it unreadable", [&failReads](const std::string&) { failReads = true; }, kSample},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        failReads = false;
        Planted p("changed");
        hits_.clear();
        Search(p.tree.Root(), kOld);
        auto groups = GroupsFromHits();
        bool acted = false;
        SetFileFaultHookForTest([&](FileOp op, const std::string& name) -> DWORD {
            if (op == FileOp::Write && IsTempName(name) && !acted) {
                acted = true;
                c.act(p.file);
            }
            return (op == FileOp::Read && failReads && name == p.file) ? ERROR_CRC : 0;
        });
        const Lines log = Replace(groups, kOld, kNew);
        SetFileFaultHookForTest(nullptr);
        Lines expected = CopyLog(p.file);
        expected.push_back("***** Changed by another program, left as it is: " + p.file);
        EXPECT_EQ(log, expected);
        EXPECT_EQ(ReadFileBytes(p.file), c.fileAfter);
        EXPECT_FALSE(Exists(p.Backup()));
        EXPECT_EQ(p.Temp(), "");
    }
}

TEST_F(IniTest, IniReplace_FileThatCannotBeRenamedKeepsTheUpdateInTemp) {
    Planted p("failrenold");
    WriteFileBytes(p.Backup(), "old backup");
    Search(p.tree.Root(), kOld);
    auto groups = GroupsFromHits();
    Lines log;
    {
        // Another program reads the file and does not let it be renamed.
        HeldOpen reader(p.file, GENERIC_READ, FILE_SHARE_READ);
        log = Replace(groups, kOld, kNew);
    }
    const std::string temp = p.Temp();
    Lines expected = CopyLog(p.file);
    expected.push_back("***** Unable to rename old " + p.file);
    expected.push_back("***** Update stored as " + temp);
    EXPECT_EQ(log, expected);
    EXPECT_EQ(ReadFileBytes(p.file), kSample);
    EXPECT_EQ(ReadFileBytes(temp), kSampleUpdated);
    EXPECT_EQ(ReadFileBytes(p.Backup()), "old backup");
    // The backup name set aside for the exchange is given up again.
    EXPECT_EQ(FilesIn(p.tree.Root()), (Lines{"<temp>", "APP.BAK", "APP.INI"}));
}

TEST_F(IniTest, IniReplace_TempThatCannotBeRenamedPutsTheFileBack) {
    Planted p("failrentemp");
    Search(p.tree.Root(), kOld);
    auto groups = GroupsFromHits();
    // The exchange moves the file to the backup name, then fails to move
    // the update to the file's name.
    SetFileFaultHookForTest([](FileOp op, const std::string& name) -> DWORD {
        return (op == FileOp::Move && IsTempName(name)) ? ERROR_ACCESS_DENIED : 0;
    });
    const Lines log = Replace(groups, kOld, kNew);
    SetFileFaultHookForTest(nullptr);
    const std::string temp = p.Temp();
    Lines expected = CopyLog(p.file);
    expected.push_back("***** Unable to rename temp " + temp);
    expected.push_back("***** Update stored as " + temp);
    EXPECT_EQ(log, expected);
    EXPECT_EQ(ReadFileBytes(p.file), kSample);
    EXPECT_EQ(ReadFileBytes(temp), kSampleUpdated);
    EXPECT_EQ(FilesIn(p.tree.Root()), (Lines{"<temp>", "APP.INI"}));
}

TEST_F(IniTest, IniReplace_FailedPutBackSaysWhereThePreviousFileIs) {
    Planted p("failrestore");
    Search(p.tree.Root(), kOld);
    auto groups = GroupsFromHits();
    // Both the update and the way back fail to be renamed.
    SetFileFaultHookForTest([&p](FileOp op, const std::string& name) -> DWORD {
        return (op == FileOp::Move && (IsTempName(name) || name == p.Backup())) ? ERROR_ACCESS_DENIED : 0;
    });
    const Lines log = Replace(groups, kOld, kNew);
    SetFileFaultHookForTest(nullptr);
    const std::string temp = p.Temp();
    Lines expected = CopyLog(p.file);
    expected.push_back("***** Unable to rename temp " + temp);
    expected.push_back("***** Update stored as " + temp);
    expected.push_back("***** Previous file stored as " + p.Backup());
    EXPECT_EQ(log, expected);
    // Nothing is lost: the previous text is in the backup, the update in T.
    EXPECT_EQ(ReadFileBytes(p.Backup()), kSample);
    EXPECT_EQ(ReadFileBytes(temp), kSampleUpdated);
}

TEST_F(IniTest, IniReplace_FileNamedLikeItsBackupOrTempIsNeverLost) {
    // A file that itself carries the backup or the temporary extension is
    // updated like any other, its backup under a name of its own.
    TempTree tree("failnames");
    const std::string bak = tree.File("SETUP.BAK", "a=C:\\OLD\r\n");
    const std::string tmp = tree.File("SETUP2.$$$", "a=C:\\OLD\r\n");
    std::vector<TReplaceGroup> groups = {{bak, {{"<NO SECTION>A=C:\\OLD", kSubTypeKey}}},
                                         {tmp, {{"<NO SECTION>A=C:\\OLD", kSubTypeKey}}}};
    const Lines log = Replace(groups, kOld, kNew);
    EXPECT_EQ(ReadFileBytes(bak), "a=D:\\NEW\r\n");
    EXPECT_EQ(ReadFileBytes(tmp), "a=D:\\NEW\r\n");
    EXPECT_EQ(ReadFileBytes(tree / "SETUP-1.BAK"), "a=C:\\OLD\r\n");
    EXPECT_EQ(ReadFileBytes(tree / "SETUP2.BAK"), "a=C:\\OLD\r\n");
    EXPECT_EQ(log[5], "Backup stored as " + (tree / "SETUP-1.BAK"));
    EXPECT_EQ(log[11], "Backup stored as " + (tree / "SETUP2.BAK"));
}

TEST_F(IniTest, IniReplace_NoWriteBetweenTheLastCheckAndTheExchangeIsLost) {
    // Another program writes the file just before it is exchanged (the hook
    // runs as the exchange begins): its write must not go to the backup
    // while the update takes the file's place.
    struct Case {
        const char* what;
        DWORD disposition;
    };
    const Case cases[] = {{"appends a line", OPEN_EXISTING}, {"writes it anew", TRUNCATE_EXISTING}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Planted p("gapwrite");
        hits_.clear();
        Search(p.tree.Root(), kOld);
        auto groups = GroupsFromHits();
        bool asked = false;
        DWORD refused = 0;
        SetFileFaultHookForTest([&](FileOp op, const std::string& name) -> DWORD {
            if (op != FileOp::Move || name != p.file || asked)
                return 0;
            asked = true;
            HANDLE h = ::CreateFileA(p.file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, c.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) {
                refused = ::GetLastError();
                return 0;
            }
            ::SetFilePointer(h, 0, nullptr, FILE_END);
            DWORD written = 0;
            ::WriteFile(h, "Theirs=1\r\n", 10, &written, nullptr);
            ::CloseHandle(h);
            return 0;
        });
        const Lines log = Replace(groups, kOld, kNew);
        SetFileFaultHookForTest(nullptr);
        EXPECT_TRUE(asked);
        EXPECT_EQ(refused, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(log, SampleLog(p.file));
        EXPECT_EQ(ReadFileBytes(p.file), kSampleUpdated);
        EXPECT_EQ(ReadFileBytes(p.Backup()), kSample);
    }
}

TEST_F(IniTest, IniReplace_FileWithoutAMarkIsUtf8OnlyOnEvidence) {
    // "D:\Bücher" and "Müller": UTF-8 and the ANSI code page of the test run.
    const std::string bucherUtf8 = "D:\\B\xC3\xBC" "cher";
    const std::string bucherAnsi = "D:\\B\xFC" "cher";
    struct Case {
        const char* what;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"plain ASCII is ANSI", "[Setup]\r\nPath=C:\\OLD\\bin\r\n", "[Setup]\r\nPath=" + bucherAnsi + "\\bin\r\n"},
        {"ANSI letters", "[M\xFCller]\r\nPath=C:\\OLD\r\n", "[M\xFCller]\r\nPath=" + bucherAnsi + "\r\n"},
        {"bytes the code page lacks", "[Setup]\r\n;\x81\x8D\x8F\r\nPath=C:\\OLD\r\n",
         "[Setup]\r\n;\x81\x8D\x8F\r\nPath=" + bucherAnsi + "\r\n"},
        {"UTF-8 letters", "[M\xC3\xBCller]\r\nPath=C:\\OLD\r\n", "[M\xC3\xBCller]\r\nPath=" + bucherUtf8 + "\r\n"},
        // UTF-8 far into the file does not make an ANSI letter at the end UTF-8.
        {"UTF-8 lookalike then ANSI", "[M\xC3\xBCller]\r\n" + std::string(70000, 'x') + "\r\nPath=C:\\OLD\r\n;\xFC\r\n",
         "[M\xC3\xBCller]\r\n" + std::string(70000, 'x') + "\r\nPath=" + bucherAnsi + "\r\n;\xFC\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempTree tree("ansi");
        const std::string file = tree.File("APP.INI", c.before);
        hits_.clear();
        Search(tree.Root(), kOld);
        ASSERT_EQ(hits_.size(), 1u);
        auto groups = GroupsFromHits();
        const Lines log = Replace(groups, kOld, bucherUtf8);
        ASSERT_GE(log.size(), 4u);
        // The log is UTF-8 whatever the file's encoding.
        EXPECT_EQ(log[3].substr(0, 24 + bucherUtf8.size()), "       changed to: Path=" + bucherUtf8);
        EXPECT_EQ(ReadFileBytes(file), c.after);
    }
}

TEST_F(IniTest, IniReplace_NewTheCodePageCannotHoldLeavesTheFileWithoutChangeLines) {
    Planted p("ansifail");
    Search(p.tree.Root(), kOld);
    auto groups = GroupsFromHits();
    const Lines log = Replace(groups, kOld, "D:\\\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xB5");  // Cyrillic
    EXPECT_EQ(log, (Lines{"", "Processing INI file " + p.file,
                          "***** The new text has characters the file's code page cannot hold; left as it is: " +
                              p.file}));
    EXPECT_EQ(ReadFileBytes(p.file), kSample);
    EXPECT_EQ(FilesIn(p.tree.Root()), (Lines{"APP.INI"}));
}
