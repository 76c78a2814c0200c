// The unattended mode from outside: movix32.exe started as a child process
// with its standard handles redirected to a pipe or a file, its output and
// exit code read back. The wizard's end-to-end scenarios run through the
// command line with the same files, keys and log lines; a search only changes
// nothing; Restore puts a run back; Ctrl+C stops a search and a replacement.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "../win/registry_test_support_win.h"
#include "../win/search_test_support_win.h"
#include "../win/second_drive_win.h"
#include "../win/shortcut_files_win.h"
#include "../win/unix_path_win.h"
#include "gui_driver.h"
#include "waiter_process_win.h"
#include "platform/wide_text_win.h"

using movix_test::Fields;

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t from = 0, to; from < text.size(); from = to + 1) {
        to = std::min(text.find('\n', from), text.size());
        lines.push_back(text.substr(from, to - from - (to > from && text[to - 1] == '\r' ? 1 : 0)));
    }
    return lines;
}

struct Result {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // the standard output and error output together
    bool Has(const std::string& line) const {
        const std::vector<std::string> all = SplitLines(output);
        return std::find(all.begin(), all.end(), line) != all.end();
    }
};

// movix32.exe with both outputs redirected: to a pipe, or to a file that can
// be read while it runs, in a process group of its own that shares this
// process's console (so that Ctrl+C can be sent to it alone).
class Cli {
  public:
    Cli(const std::string& arguments, bool pipe) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE out = nullptr;
        if (pipe) {
            CreatePipe(&read_, &out, &inherit, 0);
            SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        } else {
            outName_ = guitest::ScratchDir("cli_out") + "\\OUT.TXT";
            out = CreateFileA(outName_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              CREATE_ALWAYS, 0, nullptr);
        }
        const std::string exe = guitest::ExeDir() + "\\movix32.exe";
        // Wide: the arguments may name folders past ASCII (UTF-8 here).
        std::wstring line = movix::Utf8ToWide("\"" + exe + "\" " + arguments);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = out;
        CreateProcessW(movix::Utf8ToWide(exe).c_str(), &line[0], nullptr, nullptr, TRUE,
                       pipe ? 0 : CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi_);
        CloseHandle(out);
    }
    ~Cli() {
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
        if (read_)
            CloseHandle(read_);
    }
    std::string Output() {
        if (!read_)
            return guitest::ReadAll(outName_);
        // Only what is there: a service the run starts may hold the pipe open.
        DWORD available = 0, got = 0;
        char buffer[4096];
        while (PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
               ReadFile(read_, buffer, sizeof buffer, &got, nullptr) && got > 0)
            piped_.append(buffer, got);
        return piped_;
    }
    bool CtrlC() { return GenerateConsoleCtrlEvent(CTRL_C_EVENT, pi_.dwProcessId) != FALSE; }
    Result Wait(int milliseconds = 180000) {
        const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
        while (WaitForSingleObject(pi_.hProcess, 20) == WAIT_TIMEOUT && static_cast<LONG>(GetTickCount() - end) < 0)
            Output();
        Result result;
        GetExitCodeProcess(pi_.hProcess, &result.exitCode);
        result.output = Output();
        return result;
    }

  private:
    PROCESS_INFORMATION pi_ = {};
    HANDLE read_ = nullptr;
    std::string outName_, piped_;
};

Result RunCli(const std::string& arguments, bool pipe = false) {
    return Cli(arguments, pipe).Wait();
}

std::vector<std::string> LogAfterHead(const std::string& file) {
    const std::vector<std::string> log = SplitLines(guitest::ReadAll(file));
    return log.size() > 5 ? std::vector<std::string>(log.begin() + 5, log.end()) : log;
}

std::string JournalOf(const std::string& logFile) {
    const std::vector<std::string> log = SplitLines(guitest::ReadAll(logFile));
    return log.size() > 4 && log[4].rfind("Undo journal: ", 0) == 0 ? log[4].substr(14) : std::string();
}

void SetSz(const std::string& path, const char* name, const std::string& data) {
    RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), name, REG_SZ, data.c_str(), static_cast<DWORD>(data.size() + 1));
}

std::string GetSz(const std::string& path, const char* name) {
    char buffer[512] = {};
    DWORD size = sizeof buffer;
    return RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) == ERROR_SUCCESS
               ? buffer
               : "<missing>";
}

// HKEY_CURRENT_USER\Software as reg.exe exports it, without Wine's own keys
// (Wine's programs, reg.exe itself, update them as they please) and without
// the key of the user's undo journals (made by the first replacement).
std::vector<std::string> SoftwareExport() {
    std::vector<std::string> kept;
    bool wine = false;
    for (const std::string& line : movix_test::RegExportLines("HKEY_CURRENT_USER\\Software")) {
        if (!line.empty() && line[0] == '[')
            wine = line.rfind("[HKEY_CURRENT_USER\\Software\\Wine", 0) == 0 ||
                   line == "[HKEY_CURRENT_USER\\Software\\Kestrelia\\MOVIX32\\Undo]";
        if (!wine)
            kept.push_back(line);
    }
    return kept;
}

const char kIni[] =
    "Before=C:\\MVXOLD_CLI\\FIRST.EXE\r\n"
    "[Paths]\r\n"
    "  Home = c:\\mvxold_cli  \r\n"
    "[C:\\MVXOLD_CLI\\PLUG]\r\n"
    "\x1a"
    "Tail=C:\\MVXOLD_CLI\\AFTER_EOF\r\n";

}  // namespace

TEST(Unattended, EveryBadArgumentStopsWithOneLineAndCode3BeforeAnything) {
    const std::string scratch = guitest::ScratchDir("cli_bad");
    const std::string kept = scratch + "\\KEPT.TXT";
    guitest::WriteFile(kept, "user data");
    SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string notJournal = scratch + "\\J.TXT";
    guitest::WriteFile(notJournal, "more user data");
    const std::string run = "/old:C:\\MVXBAD /new:C:\\MVXBAD2 /apply ";
    // Each line as it begins (the system's own error texts follow some).
    const std::pair<std::string, std::string> cases[] = {
        // Every parse error is one of the portable tests' table; two here.
        {run + "/bogus", "Unknown switch \"/bogus\"; movix32 /? lists the switches."},
        {run + "/ini:7", "The number of /ini must be from 0 to 4, not \"7\"."},
        // Choices the option pages do not offer on this system (Windows 10).
        {run + "/registry:2", "/registry:2 (HKCR, HKCU and HKCC) is not available on Windows NT"},
        {run + "/groups:1", "/groups:1: Program Manager groups are searched on Windows NT 3.51 only."},
        {run + "\"/list:" + scratch + "\\NO\\F.RTF\"", "The file cannot be written: " + scratch + "\\NO\\F.RTF: "},
        {run + "\"/log:" + scratch + "\"", "The file cannot be written: " + scratch + " is a folder."},
        {run + "\"/log:" + kept + "\"", "The file cannot be written: " + kept + " is read-only."},
        // A red address check: only one address begins with a drive letter,
        // and only the one that does exists.
        {"/old:C:\\windows /new:Apps\\MVXBAD /apply", "Possible error:  One of the addresses starts with a drive"},
        {"\"/restore:" + scratch + "\\GONE.TXT\"", "The undo journal cannot be found: " + scratch + "\\GONE.TXT."},
        // A file that is no journal; the journal as its own log, spelled
        // otherwise; the list and the log in one file, spelled otherwise.
        {"\"/restore:" + notJournal + "\"", "The file is not a Movix 32 undo journal."},
        {"\"/restore:" + notJournal + "\" \"/log:" + scratch + "\\.\\j.txt\"",
         "The log cannot be saved in the undo journal " + notJournal + "."},
        {run + "\"/list:" + scratch + "\\L.RTF\" \"/log:" + scratch + "\\NO\\..\\l.rtf\"",
         "The list and the log cannot be saved in the same file " + scratch + "\\L.RTF."},
    };
    for (const auto& c : cases) {
        const Result r = RunCli(c.first, true);
        EXPECT_EQ(r.exitCode, 3u) << c.first << "\n" << r.output;
        EXPECT_EQ(SplitLines(r.output).size(), 1u) << c.first << "\n" << r.output;
        EXPECT_EQ(r.output.rfind(c.second, 0), 0u) << c.first << "\n" << r.output;
    }
    EXPECT_EQ(guitest::ReadAll(kept), "user data");
    EXPECT_FALSE(guitest::Exists(scratch + "\\NO"));
    EXPECT_EQ(guitest::ReadAll(notJournal), "more user data");
    EXPECT_FALSE(guitest::Exists(scratch + "\\J-RESTORE.TXT"));  // a refused restore writes no log
    SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
    guitest::RemoveTree(scratch);
    const Result help = RunCli("/?", true);
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_TRUE(help.Has("  4  cancelled by Ctrl+C; the log is written")) << help.output;
}

// A red check stops the run unless /ignorecheck is given, which goes on
// past it as the wizard does; one place named twice is red as well.
TEST(Unattended, RedCheckStopsUnlessIgnored) {
    const std::string none = " /ini:0 /groups:0 /shortcuts:0 /registry:0 /services:0 /tasks:0";
    const std::string samePlace = "Possible error:  The Old address and the New address name the same place";
    const std::string driveLetter = "Possible error:  One of the addresses starts with a drive letter";
    const struct {
        std::string arguments;
        unsigned exitCode;
        std::string firstLine;
    } cases[] = {
        {"/old:C:\\windows \"/new:C:\\WINDOWS\\\\\"" + none, 3, samePlace},
        {"/old:C:\\Windows /new:c:\\windows" + none + " /apply", 3, samePlace},
        {"/old:C:\\windows /new:c:\\WINDOWS" + none + " /ignorecheck", 0, samePlace},
        {"/old:C:\\windows /new:Apps\\MVXBAD" + none + " /IgnoreCheck", 0, driveLetter},
    };
    for (const auto& c : cases) {
        const Result r = RunCli(c.arguments, true);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments << "\n" << r.output;
        EXPECT_EQ(r.output.rfind(c.firstLine, 0), 0u) << c.arguments << "\n" << r.output;
        const bool stopped = c.exitCode == 3;
        EXPECT_EQ(SplitLines(r.output).size() == 1, stopped) << c.arguments << "\n" << r.output;
        EXPECT_EQ(r.output.find("/ignorecheck goes on past this check") != std::string::npos, stopped)
            << c.arguments << "\n" << r.output;
    }
}

// The wizard's INI, Registry and shortcut scenarios in one run: first a
// search only, which changes nothing; then /apply, with the wizard's log
// lines; then /restore, which puts every file, key and shortcut back.
TEST(Unattended, SearchOnlyThenApplyThenRestore) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const std::string ini = guitest::WindowsDir() + "\\MVXCLI.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXCLI.BAK";
    const std::string lnk = movix_test::SpecialFolderPath(CSIDL_DESKTOPDIRECTORY) + "\\MvxCli.lnk";
    const std::string key = "Software\\MvxCli";
    struct Cleanup {
        std::vector<std::string> files;
        ~Cleanup() {
            for (const std::string& f : files)
                DeleteFileA(f.c_str());
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MvxCli");
            guitest::ClearSettings();
            CoUninitialize();
        }
    } cleanup{{ini, bak, lnk}};
    guitest::WriteFile(ini, kIni);
    const Fields lnkBefore = {"C:\\MVXOLD_CLI\\EDIT.EXE", "/new", "C:\\MvxOld_Cli\\DOCS", "C:\\W\\SHELL32.DLL", 12};
    movix_test::MakeShortcut(lnk, lnkBefore);
    SetSz(key, "Path", "C:\\MVXOLD_CLI\\BIN");
    SetSz(key + "\\Ignored", "X", "C:\\MVXOLD_CLI is not looked at here");
    guitest::ClearSettings();
    // The saved ignore list counts as in the wizard.
    SetSz("Software\\Kestrelia\\MOVIX32\\1.0\\Registry Keys To Ignore", "hkcu\\software\\MVXCLI\\ignored", "");
    const std::vector<std::string> exportBefore = SoftwareExport();
    const std::string scratch = guitest::ScratchDir("cli_run");
    const std::string list = scratch + "\\FOUND.RTF", log = scratch + "\\LOG.TXT";
    const std::string args =
        "/old:C:\\MVXOLD_CLI /new:D:\\MVXNEW_CLI /ini:2 /shortcuts:1 /registry:1 /services:0 /tasks:0 ";

    const Result dry = RunCli(args + "\"/list:" + list + "\" \"/log:" + log + "\"");
    EXPECT_EQ(dry.exitCode, 1u) << dry.output;
    for (const char* line : {"3 matches in INI files", "No Groups searched", "2 matches in Shortcuts",
                             "1 match in the Registry", "Search only: 6 hits found, nothing was changed."})
        EXPECT_TRUE(dry.Has(line)) << line << "\n" << dry.output;
    EXPECT_TRUE(dry.Has("Y\tMVXCLI.INI\t" + guitest::WindowsDir() + "\tINI\tsec\t[C:\\MVXOLD_CLI\\PLUG]"));
    EXPECT_TRUE(dry.Has("Y\tMvxCli\tHKCU\\Software\\MvxCli\tREG\tdat\tPath=C:\\MVXOLD_CLI\\BIN"));
    EXPECT_NE(guitest::ReadAll(list).find("[C:\\\\MVXOLD_CLI\\\\PLUG]\\cell"), std::string::npos);
    EXPECT_EQ(guitest::ReadAll(ini), kIni);
    EXPECT_FALSE(guitest::Exists(bak));
    EXPECT_EQ(movix_test::ShellFields(lnk), lnkBefore);
    EXPECT_EQ(SoftwareExport(), exportBefore) << "a search only stores nothing, not even the choices";

    const Result applied = RunCli(args + "/apply \"/log:" + log + "\"");
    EXPECT_EQ(applied.exitCode, 0u) << applied.output;
    EXPECT_EQ(guitest::ReadAll(ini),
              "Before=D:\\MVXNEW_CLI\\FIRST.EXE\r\n[Paths]\r\n  Home = D:\\MVXNEW_CLI  \r\n[D:\\MVXNEW_CLI\\PLUG]\r\n"
              "\x1aTail=C:\\MVXOLD_CLI\\AFTER_EOF\r\n");
    EXPECT_EQ(guitest::ReadAll(bak), kIni);
    EXPECT_EQ(movix_test::ShellFields(lnk),
              (Fields{"D:\\MVXNEW_CLI\\EDIT.EXE", "/new", "D:\\MVXNEW_CLI\\DOCS", "C:\\W\\SHELL32.DLL", 12}));
    EXPECT_EQ(GetSz(key, "Path"), "D:\\MVXNEW_CLI\\BIN");
    EXPECT_EQ(GetSz(key + "\\Ignored", "X"), "C:\\MVXOLD_CLI is not looked at here");
    const std::vector<std::string> expected = {
        "",
        "Processing INI file " + ini,
        "          INI key: Before=C:\\MVXOLD_CLI\\FIRST.EXE",
        "       changed to: Before=D:\\MVXNEW_CLI\\FIRST.EXE",
        "          INI key:   Home = c:\\mvxold_cli  ",
        "       changed to:   Home = D:\\MVXNEW_CLI  ",
        "   section header: [C:\\MVXOLD_CLI\\PLUG]",
        "       changed to: [D:\\MVXNEW_CLI\\PLUG]",
        "Successfully updated " + ini,
        "Backup stored as " + bak,
        "",
        "Processing shortcut " + lnk,
        "     command line: C:\\MVXOLD_CLI\\EDIT.EXE",
        "       changed to: D:\\MVXNEW_CLI\\EDIT.EXE",
        "      working dir: C:\\MvxOld_Cli\\DOCS",
        "       changed to: D:\\MVXNEW_CLI\\DOCS",
        "Successfully updated " + lnk,
        "",
        "Updating Registry",
        "KEY: HKCU\\Software\\MvxCli",
        "   old data: Path=C:\\MVXOLD_CLI\\BIN",
        "   new data: D:\\MVXNEW_CLI\\BIN",
    };
    EXPECT_EQ(LogAfterHead(log), expected);
    for (const std::string& line : expected)
        EXPECT_TRUE(applied.Has(line)) << "on the console too: " << line;
    // The undo journal is made beside the log.
    const std::string journal = JournalOf(log);
    EXPECT_EQ(journal.rfind(scratch + "\\MOVIX32UNDO-", 0), 0u) << journal;

    const Result restored = RunCli("\"/restore:" + journal + "\" \"/log:" + scratch + "\\RESTORE.TXT\"");
    EXPECT_EQ(restored.exitCode, 0u) << restored.output;
    EXPECT_TRUE(restored.Has("Undo journal: " + journal));
    EXPECT_EQ(guitest::ReadAll(ini), kIni);
    EXPECT_EQ(movix_test::ShellFields(lnk), lnkBefore);
    EXPECT_EQ(SoftwareExport(), exportBefore);
    EXPECT_EQ(guitest::ReadAll(scratch + "\\RESTORE.TXT").rfind("Restore by Movix 32 on ", 0), 0u);
    guitest::RemoveTree(scratch);
}

// Nobody reviews an unattended run: a hit where the Old address may begin a
// longer folder name starts as N, is printed with "!" and named in the log,
// and is replaced only with /flagged.
TEST(Unattended, FlaggedHitsAreLeftUnchangedUnlessAskedFor) {
    const std::string key = "Software\\MvxFlag";
    struct Cleanup {
        ~Cleanup() {
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MvxFlag");
            guitest::ClearSettings();
        }
    } cleanup;
    const struct {
        const char* name;
        const char* before;
        bool flagged;
    } values[] = {
        {"Bin", "C:\\MVXFLAG\\BIN\\x.exe", false},  {"Switch", "C:\\MVXFLAG /S", false},
        {"Icon", "C:\\MVXFLAG,0", false},            {"X86", "C:\\MVXFLAG (x86)\\App", true},
        {"Plus", "C:\\MVXFLAG++\\np.exe", true},      {"Two", "C:\\MVXFLAG 2", true},
    };
    for (const auto& v : values)
        SetSz(key, v.name, v.before);
    guitest::ClearSettings();
    const std::string scratch = guitest::ScratchDir("cli_flag");
    const std::string log = scratch + "\\LOG.TXT";
    const std::string args = "/old:C:\\MVXFLAG /new:D:\\MVXFLAG /ini:0 /shortcuts:0 /registry:1 \"/log:" + log + "\" ";
    auto line = [&](const char* mark, const char* name, const std::string& data) {
        return std::string(mark) + "\tMvxFlag\tHKCU\\Software\\MvxFlag\tREG\tdat\t" + name + "=" + data;
    };
    auto newText = [](const char* before) { return "D" + std::string(before).substr(1); };

    const Result applied = RunCli(args + "/apply");
    EXPECT_EQ(applied.exitCode, 0u) << applied.output;
    EXPECT_TRUE(applied.Has("3 hits are flagged N!: the Old address may begin a longer folder name there. They are "
                            "left unchanged; /flagged replaces them too."))
        << applied.output;
    const std::string logText = guitest::ReadAll(log);
    for (const auto& v : values) {
        EXPECT_TRUE(applied.Has(line(v.flagged ? "N!" : "Y", v.name, v.before))) << v.name << "\n" << applied.output;
        EXPECT_EQ(GetSz(key, v.name), v.flagged ? v.before : newText(v.before)) << v.name;
        EXPECT_EQ(logText.find("Left unchanged, may name a longer folder (/flagged replaces it): REG "
                               "HKCU\\Software\\MvxFlag: " +
                               std::string(v.name) + "=" + v.before + "\r\n") != std::string::npos,
                  v.flagged)
            << v.name << "\n" << logText;
    }

    // Only flagged hits are left: /apply alone changes nothing.
    const Result again = RunCli(args + "/apply");
    EXPECT_EQ(again.exitCode, 1u) << again.output;
    EXPECT_TRUE(again.Has("No hit is marked Y: nothing was changed.")) << again.output;
    EXPECT_EQ(GetSz(key, "X86"), "C:\\MVXFLAG (x86)\\App");

    const Result flagged = RunCli(args + "/apply /flagged");
    EXPECT_EQ(flagged.exitCode, 0u) << flagged.output;
    for (const auto& v : values) {
        if (!v.flagged)
            continue;
        EXPECT_TRUE(flagged.Has(line("Y!", v.name, v.before))) << v.name << "\n" << flagged.output;
        EXPECT_EQ(GetSz(key, v.name), newText(v.before)) << v.name;
    }
    guitest::RemoveTree(scratch);
}

// A list of folders (REG_MULTI_SZ) and a text through %SystemDrive%
// (REG_EXPAND_SZ) through the whole run: listed as "msz" and "env",
// rewritten with their types kept, put back by /restore.
TEST(Unattended, ListStringsAndVariableTextsThenRestore) {
    const std::string key = "Software\\MvxSpellCli";
    struct Cleanup {
        ~Cleanup() {
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MvxSpellCli");
            guitest::ClearSettings();
        }
    } cleanup;
    using movix_test::Utf16Sz;
    const auto list = [](const char* plug) {
        return Utf16Sz("D:\\Shared") + Utf16Sz(plug) + Utf16Sz("C:\\MVXSPELLPRO") + Utf16Sz("");
    };
    const auto value = [&](const char* name) { return movix_test::GetRaw(HKEY_CURRENT_USER, key, name); };
    movix_test::SetRaw(HKEY_CURRENT_USER, key, "Plugins", REG_MULTI_SZ, list("C:\\MVXSPELL\\PLUG"));
    movix_test::SetRaw(HKEY_CURRENT_USER, key, "Help", REG_EXPAND_SZ, Utf16Sz("%SystemDrive%\\MVXSPELL\\A.HLP"));
    guitest::ClearSettings();
    const std::string scratch = guitest::ScratchDir("cli_spell"), log = scratch + "\\LOG.TXT";
    const Result applied =
        RunCli("/old:C:\\MVXSPELL /new:C:\\MVXSPELL2 /ini:0 /shortcuts:0 /registry:1 /apply \"/log:" + log + "\"");
    EXPECT_EQ(applied.exitCode, 0u) << applied.output;
    const std::string row = "Y\tMvxSpellCli\tHKCU\\Software\\MvxSpellCli\tREG\t";
    EXPECT_TRUE(applied.Has(row + "env\tHelp=%SystemDrive%\\MVXSPELL\\A.HLP")) << applied.output;
    EXPECT_TRUE(applied.Has(row + "msz\tPlugins=C:\\MVXSPELL\\PLUG")) << applied.output;
    EXPECT_EQ(value("Plugins"), std::make_pair(DWORD(REG_MULTI_SZ), list("C:\\MVXSPELL2\\PLUG")));
    EXPECT_EQ(value("Help"), std::make_pair(DWORD(REG_EXPAND_SZ), Utf16Sz("%SystemDrive%\\MVXSPELL2\\A.HLP")));

    EXPECT_EQ(RunCli("\"/restore:" + JournalOf(log) + "\"").exitCode, 0u);
    EXPECT_EQ(value("Plugins"), std::make_pair(DWORD(REG_MULTI_SZ), list("C:\\MVXSPELL\\PLUG")));
    EXPECT_EQ(value("Help"), std::make_pair(DWORD(REG_EXPAND_SZ), Utf16Sz("%SystemDrive%\\MVXSPELL\\A.HLP")));
    guitest::RemoveTree(scratch);
}

// The wizard's Program Manager scenario under Windows NT 3.51, against the
// substitute serving the demo's groups; then /restore, twice.
TEST(Unattended, ProgManGroupsUnderNT351AndTheirRestore) {
    const std::string groups = guitest::ScratchDir("cli_groups");
    std::string demo = std::string("Z:") + MOVIX_DEMO_GROUPS_DIR;
    std::replace(demo.begin(), demo.end(), '/', '\\');
    for (const char* name : {"group0001.txt", "group0002.txt"})
        ASSERT_TRUE(CopyFileA((demo + "\\" + name).c_str(), (groups + "\\" + name).c_str(), FALSE)) << demo;
    const std::string before = guitest::ReadAll(groups + "\\group0001.txt");
    auto server = [] { return FindWindowA("MxProgManWindow", "MxProgMan ProgMan ProgMan"); };
    ASSERT_TRUE(guitest::WaitFor([&] { return server() == nullptr; }, 15000));
    const std::string exe = guitest::ExeDir() + "\\mxprogman.exe";
    std::string line = "\"" + exe + "\" ProgMan /service:ProgMan \"/groups:" + groups + "\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    struct End {
        PROCESS_INFORMATION& pi;
        HWND (*window)();
        ~End() {
            if (HWND w = window())
                PostMessageA(w, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(pi.hProcess, 1);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    } end{pi, server};
    ASSERT_TRUE(guitest::WaitFor([&] { return server() != nullptr; }, 10000));
    const std::string log = guitest::ScratchDir("cli_groups_log") + "\\LOG.TXT";
    Result r;
    {
        // The saved choices on this version: all groups, no shortcuts.
        guitest::WindowsVersion version("nt351");
        guitest::ClearSettings();
        r = RunCli("/old:C:\\QUILL /new:C:\\Apps\\Quillpad /ini:0 /registry:0 /services:0 /tasks:0 /apply \"/log:" +
                   log + "\"");
    }
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    EXPECT_TRUE(r.Has("11 matches in Groups")) << r.output;
    EXPECT_TRUE(r.Has("Y\tQuillpad\tQuillpad\tGRP\tcmd\tC:\\QUILL\\QUILL.EXE"));
    const std::vector<std::string> expected = {
        "",
        "Updating ProgMan Group Quillpad",
        "             item: \"Quillpad\",\"C:\\QUILL\\QUILL.EXE\",C:\\QUILL\\DOCS,C:\\QUILL\\QUILL.EXE,16,16,0,0,0,0",
        "       changed to: C:\\Apps\\Quillpad\\QUILL.EXE,Quillpad,C:\\Apps\\Quillpad\\QUILL.EXE,0,16,16,"
        "C:\\Apps\\Quillpad\\DOCS,0,0,0",
        "             item: \"Quillpad Templates\",\"C:\\QUILL\\QUILL.EXE /t C:\\QUILL\\TEMPLATES\",C:\\QUILL,"
        "C:\\QUILL\\QUILL.EXE,91,16,1,0,0,0",
        "       changed to: C:\\Apps\\Quillpad\\QUILL.EXE /t C:\\Apps\\Quillpad\\TEMPLATES,Quillpad Templates,"
        "C:\\Apps\\Quillpad\\QUILL.EXE,1,91,16,C:\\Apps\\Quillpad,0,0,0",
        "             item: \"Read Me\",\"C:\\WINDOWS\\NOTEPAD.EXE C:\\QUILL\\README.TXT\",C:\\QUILL,,166,16,0,0,0,0",
        "       changed to: C:\\WINDOWS\\NOTEPAD.EXE C:\\Apps\\Quillpad\\README.TXT,Read Me,,0,166,16,"
        "C:\\Apps\\Quillpad,0,0,0",
        "             item: \"Quillpad (Safe Mode)\",\"C:\\QUILL\\QUILL.EXE /safe\",C:\\QUILL,C:\\QUILL\\QUILL.EXE,"
        "241,16,0,1617,0,0",
        "       changed to: C:\\Apps\\Quillpad\\QUILL.EXE /safe,\"Quillpad (Safe Mode)\",C:\\Apps\\Quillpad\\QUILL.EXE,"
        "0,241,16,C:\\Apps\\Quillpad,1617,0,0",
        "Successfully updated Quillpad",
    };
    EXPECT_EQ(LogAfterHead(log), expected);
    EXPECT_TRUE(guitest::WaitFor(
        [&] { return guitest::ReadAll(groups + "\\group0001.txt").find("C:\\QUILL") == std::string::npos; }, 10000));
    // Without /log, each restore's log goes beside the journal.
    for (const char* counts : {"4 restored, 0 already", "0 restored, 4 already"}) {
        const Result restore = RunCli("\"/restore:" + JournalOf(log) + "\"");
        EXPECT_EQ(restore.exitCode, 0u) << restore.output;
        EXPECT_NE(restore.output.find(counts), std::string::npos) << restore.output;
        EXPECT_NE(restore.output.find("-RESTORE"), std::string::npos) << restore.output;
        EXPECT_TRUE(guitest::WaitFor([&] { return guitest::ReadAll(groups + "\\group0001.txt") == before; }, 10000));
    }
}

// Ctrl+C to a run that shares this process's console, in a process group of
// its own: during the search (a walk of every fixed drive, Wine's whole Unix
// file system included) and during the replacement (1500 Registry keys).
TEST(Unattended, CtrlCStopsTheSearchAndTheReplacementWritesTheLogAndExits4) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << GetLastError();
    SetConsoleCtrlHandler(nullptr, TRUE);  // not this process
    struct Free {
        ~Free() {
            FreeConsole();
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MvxCliStop");
        }
    } free;
    {
        // Without redirected handles the run writes to the console, UTF-16
        // through WriteConsoleW: the screen shows the text as it was typed.
        const std::wstring exe = movix::Utf8ToWide(guitest::ExeDir() + "\\movix32.exe");
        std::wstring line = L"\"" + exe + L"\" /old:C:\\X /new:C:\\Y /ini:\u00e7\u4e2d";
        STARTUPINFOW si = {sizeof si};
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        WaitForSingleObject(pi.hProcess, 30000);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        EXPECT_EQ(code, 3u);
        std::wstring screen(80 * 25, L' ');
        DWORD got = 0;
        ReadConsoleOutputCharacterW(GetStdHandle(STD_OUTPUT_HANDLE), &screen[0], static_cast<DWORD>(screen.size()),
                                    {0, 0}, &got);
        EXPECT_NE(screen.find(L"The number of /ini must be from 0 to 4, not \"\u00e7\u4e2d\"."), std::wstring::npos)
            << movix::WideToUtf8(screen);
    }
    const std::string log = guitest::ScratchDir("cli_cancel") + "\\LOG.TXT";
    {
        Cli cli(
            "/old:Z:\\MVX_CLI_STOP /new:Z:\\MVX_CLI_NEW /ini:4 /shortcuts:0 /registry:0 /apply \"/log:" + log + "\"",
            false);
        ASSERT_TRUE(guitest::WaitFor([&] { return cli.Output().find("Searching INI") != std::string::npos; }, 20000));
        Sleep(1000);
        ASSERT_TRUE(cli.CtrlC()) << GetLastError();
        const Result r = cli.Wait(30000);
        EXPECT_EQ(r.exitCode, 4u) << r.output;
        const std::vector<std::string> lines = SplitLines(guitest::ReadAll(log));
        ASSERT_GE(lines.size(), 4u) << r.output;
        EXPECT_EQ(lines[2], "Old address: Z:\\MVX_CLI_STOP");
        EXPECT_EQ(lines.back(), "***** The search was stopped because Ctrl+C was pressed: nothing was changed.");
    }
    constexpr int kKeys = 1500;
    for (int i = 0; i < kKeys; ++i)
        SetSz("Software\\MvxCliStop\\K" + std::to_string(i), "p", "C:\\MVXSTOP_OLD\\x");
    guitest::ClearSettings();
    Cli cli("/old:C:\\MVXSTOP_OLD /new:C:\\MVXSTOP_NEW /ini:0 /shortcuts:0 /registry:1 /apply \"/log:" + log + "\"",
            false);
    ASSERT_TRUE(guitest::WaitFor([&] { return cli.Output().find("Updating Registry") != std::string::npos; }, 120000));
    ASSERT_TRUE(cli.CtrlC()) << GetLastError();
    EXPECT_EQ(cli.Wait(60000).exitCode, 4u);
    // The log lists what was not done; exactly those keys are unchanged.
    const std::vector<std::string> lines = SplitLines(guitest::ReadAll(log));
    const auto stopped = std::find(lines.begin(), lines.end(), "***** The run was stopped because Ctrl+C was pressed.");
    ASSERT_TRUE(stopped != lines.end() && stopped + 1 != lines.end());
    std::vector<std::string> notDone;
    for (auto it = stopped + 2; it != lines.end(); ++it)
        notDone.push_back(it->substr(it->rfind('\\') + 1));
    EXPECT_GT(notDone.size(), 0u) << "the run ended before Ctrl+C came";
    EXPECT_EQ(*(stopped + 1), "***** Not done (" + std::to_string(notDone.size()) + "):");
    for (int i = 0; i < kKeys; ++i) {
        const std::string name = "K" + std::to_string(i);
        const bool left = std::find(notDone.begin(), notDone.end(), name) != notDone.end();
        EXPECT_EQ(GetSz("Software\\MvxCliStop\\" + name, "p"), left ? "C:\\MVXSTOP_OLD\\x" : "C:\\MVXSTOP_NEW\\x");
    }
}

namespace {

// A program's folder with a file below a folder of its own, and an INI file
// in the Windows folder that names it.
struct PlantedProgram {
    std::string old, ini;
    PlantedProgram(const std::string& folder, const std::string& iniName)
        : old(folder), ini(guitest::WindowsDir() + "\\" + iniName) {
        guitest::RemoveTree(old);
        CreateDirectoryA(old.c_str(), nullptr);
        CreateDirectoryA((old + "\\DATA").c_str(), nullptr);
        guitest::WriteFile(old + "\\QUILL.EXE", "MZ quill");
        guitest::WriteFile(old + "\\DATA\\WORDS.DAT", std::string(100000, 'w'));
        guitest::WriteFile(ini, IniText());
    }
    ~PlantedProgram() {
        DeleteFileA(ini.c_str());
        DeleteFileA((ini.substr(0, ini.size() - 3) + "BAK").c_str());
        guitest::RemoveTree(old);
    }
    std::string IniText() const { return "[Quill]\r\nHome=" + old + "\\QUILL.EXE\r\n"; }
    bool WholeAt(const std::string& folder) const {
        return guitest::ReadAll(folder + "\\QUILL.EXE") == "MZ quill" &&
               guitest::ReadAll(folder + "\\DATA\\WORDS.DAT") == std::string(100000, 'w');
    }
};

}  // namespace

// /move: the folder goes to New (here another drive) before its references
// are rewritten, and Restore puts both back, the folder first, with what
// the program wrote into it since. While a program runs from New the folder
// cannot go back, and the references stay at New with it until a later
// Restore. Without /apply the move is only described.
TEST(Unattended, MoveTheFolderThenRestoreBoth) {
    const std::string scratch = guitest::ScratchDir("cli_move");
    movix_test::SecondDrive drive(guitest::ScratchDir("cli_move_drive"));
    ASSERT_NE(0, drive.Letter());
    guitest::ClearSettings();
    const struct {
        const char* what;
        std::string newFolder;
        bool changeAfter;
        bool runningFromNew;
        const char* more;
    } cases[] = {
        {"across drives, written into since", drive.Root() + "MVXMOVE_NEW", true, false, ""},
        {"on one drive, written into since", "C:\\MVXMOVE_NEW", true, false, ""},
        {"a junction left at Old", drive.Root() + "MVXMOVE_NEW", false, false, " /junction"},
        {"a program running from New", "C:\\MVXMOVE_NEW", false, true, ""},
    };
    for (const auto& c : cases) {
        PlantedProgram program("C:\\MVXMOVE_OLD", "MVXMOVE.INI");
        const std::string log = scratch + "\\LOG.TXT";
        const std::string args = "/old:" + program.old + " /new:" + c.newFolder +
                                 " /ini:2 /shortcuts:0 /registry:0 /move \"/log:" + log + "\"" + c.more;
        const Result dry = RunCli(args);
        EXPECT_EQ(dry.exitCode, 1u) << c.what << dry.output;
        EXPECT_TRUE(dry.Has("The folder is moved only with /apply.")) << c.what << dry.output;
        EXPECT_NE(dry.output.find("The move of " + program.old + " to " + c.newFolder + ": 2 files, 1 folder"),
                  std::string::npos)
            << dry.output;
        EXPECT_TRUE(program.WholeAt(program.old) && !guitest::Exists(c.newFolder)) << c.what;
        // The move is the list's first row, ahead of the search.
        const std::string moveRow =
            "Y\tMVXMOVE_OLD\t" + program.old + "\tMOV\tdir\t" + program.old + " -> " + c.newFolder;
        EXPECT_TRUE(dry.Has(moveRow)) << dry.output;
        EXPECT_LT(dry.output.find(moveRow), dry.output.find("Searching INI files")) << dry.output;

        const Result applied = RunCli(args + " /apply");
        // A file system without junctions (as some of Wine's) gets none: the
        // run says so with an error line, and the move stands.
        const bool noJunction = applied.output.find("***** No junction was left at " + program.old) != std::string::npos;
        EXPECT_EQ(applied.exitCode, noJunction ? 2u : 0u) << c.what << applied.output;
        const DWORD atOld = GetFileAttributesA(program.old.c_str());
        if (*c.more && !noJunction)
            EXPECT_TRUE(atOld != INVALID_FILE_ATTRIBUTES && (atOld & FILE_ATTRIBUTE_REPARSE_POINT)) << applied.output;
        else
            EXPECT_EQ(atOld, INVALID_FILE_ATTRIBUTES) << c.what;
        EXPECT_TRUE(program.WholeAt(c.newFolder)) << c.what;
        EXPECT_EQ(guitest::ReadAll(program.ini), "[Quill]\r\nHome=" + c.newFolder + "\\QUILL.EXE\r\n") << c.what;
        // The move is the log's first group, ahead of the references.
        const std::string text = guitest::ReadAll(log);
        const std::size_t moved = text.find(c.newFolder.rfind("C:", 0) == 0 ? "Moved the folder " : "Copied 2 files");
        EXPECT_LT(moved, text.find("Processing INI file")) << text;
        EXPECT_EQ(text.find("\n*****") == std::string::npos, !noJunction) << text;

        // The program ran: it wrote a file of its own and changed one.
        const std::string words(100001, 'c');
        if (c.changeAfter) {
            guitest::WriteFile(c.newFolder + "\\DATA\\NOTES.TXT", "the program's own");
            guitest::WriteFile(c.newFolder + "\\DATA\\WORDS.DAT", words);
        }
        std::unique_ptr<guitest::Waiter> waiter;
        if (c.runningFromNew) {
            waiter = std::make_unique<guitest::Waiter>(c.newFolder);
            ASSERT_TRUE(waiter->Running());
        }
        const std::string restoreLog = scratch + "\\RESTORE.TXT";
        const std::string restoreArgs = "\"/restore:" + JournalOf(log) + "\" \"/log:" + restoreLog + "\"";
        const Result restored = RunCli(restoreArgs);
        if (c.runningFromNew) {
            // Nothing is restored: the folder and the INI file stay at New.
            EXPECT_EQ(restored.exitCode, 2u) << restored.output;
            EXPECT_NE(
                restored.output.find("***** Could not move back the folder " + c.newFolder + " (moved there from " +
                                     program.old + "): Programs are running from " + c.newFolder),
                std::string::npos)
                << restored.output;
            EXPECT_NE(restored.output.find("; the folder stays at " + c.newFolder + ", and every reference with it."),
                      std::string::npos)
                << restored.output;
            EXPECT_TRUE(program.WholeAt(c.newFolder) && !guitest::Exists(program.old)) << restored.output;
            EXPECT_EQ(guitest::ReadAll(program.ini), "[Quill]\r\nHome=" + c.newFolder + "\\QUILL.EXE\r\n");
            // Once it has ended, a second Restore brings both back.
            waiter->End();
            const Result again = RunCli(restoreArgs);
            EXPECT_EQ(again.exitCode, 0u) << again.output;
        } else {
            EXPECT_EQ(restored.exitCode, 0u) << restored.output;
        }
        EXPECT_EQ(guitest::ReadAll(program.ini), program.IniText()) << c.what;
        EXPECT_EQ(guitest::ReadAll(program.old + "\\QUILL.EXE"), "MZ quill") << c.what;
        EXPECT_TRUE(guitest::ReadAll(program.old + "\\DATA\\WORDS.DAT") ==
                    (c.changeAfter ? words : std::string(100000, 'w')))
            << c.what;
        if (c.changeAfter)
            EXPECT_EQ(guitest::ReadAll(program.old + "\\DATA\\NOTES.TXT"), "the program's own");
        EXPECT_FALSE(GetFileAttributesA(program.old.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) << c.what;
        EXPECT_FALSE(guitest::Exists(c.newFolder)) << c.what;
        // The folder is decided about, and moved, ahead of the references.
        const std::string restoreText = guitest::ReadAll(restoreLog);
        EXPECT_LT(restoreText.find("Moved back the folder"), restoreText.find("Restored INI file")) << restoreText;
        guitest::RemoveTree(c.newFolder);
        guitest::RemoveTree(scratch);
        CreateDirectoryA(scratch.c_str(), nullptr);
    }
}

// The program's own settings files lie in the folder it moves: the run
// rewrites them at New, and Restore, once the folder is back at Old, puts
// them back there (across drives and on one drive alike).
TEST(Unattended, MoveThenRestoreTheSettingsFilesInsideTheFolder) {
    const std::string scratch = guitest::ScratchDir("cli_move_own");
    movix_test::SecondDrive drive(guitest::ScratchDir("cli_move_own_drive"));
    ASSERT_NE(0, drive.Letter());
    guitest::ClearSettings();
    for (const std::string& newFolder : {drive.Root() + "MVXOWN_NEW", std::string("C:\\MVXOWN_NEW")}) {
        PlantedProgram program("C:\\MVXOWN_OLD", "MVXOWN.INI");
        const auto settingsOf = [](const std::string& folder) {
            std::string json;
            for (const char ch : folder) {
                json += ch;
                if (ch == '\\')
                    json += ch;
            }
            return "{\"home\": \"" + json + "\\\\QUILL.EXE\"}\r\n";
        };
        guitest::WriteFile(program.old + "\\SETTINGS.JSON", settingsOf(program.old));
        const std::string log = scratch + "\\LOG.TXT";
        const Result applied =
            RunCli("/old:" + program.old + " /new:" + newFolder +
                   " /ini:0 /groups:0 /shortcuts:0 /registry:0 /configs:1 /services:0 /tasks:0 /move /apply "
                   "\"/log:" +
                   log + "\"");
        EXPECT_EQ(applied.exitCode, 0u) << newFolder << applied.output;
        EXPECT_EQ(guitest::ReadAll(newFolder + "\\SETTINGS.JSON"), settingsOf(newFolder)) << applied.output;

        const Result restored = RunCli("\"/restore:" + JournalOf(log) + "\" \"/log:" + scratch + "\\RESTORE.TXT\"");
        EXPECT_EQ(restored.exitCode, 0u) << newFolder << restored.output;
        EXPECT_TRUE(program.WholeAt(program.old)) << restored.output;
        EXPECT_EQ(guitest::ReadAll(program.old + "\\SETTINGS.JSON"), settingsOf(program.old)) << restored.output;
        EXPECT_FALSE(guitest::Exists(newFolder)) << restored.output;
        guitest::RemoveTree(newFolder);
        guitest::RemoveTree(scratch);
        CreateDirectoryA(scratch.c_str(), nullptr);
    }
}

// A program running from Old stops a run with /move before anything is
// changed, and is named with its process id.
TEST(Unattended, MoveRefusedWhileTheProgramRunsChangesNothing) {
    PlantedProgram program("C:\\MVXMOVE_RUN", "MVXMOVERUN.INI");
    guitest::Waiter waiter(program.old);
    ASSERT_TRUE(waiter.Running());
    const std::string log = guitest::ScratchDir("cli_move_run") + "\\LOG.TXT";
    const Result r = RunCli("/old:" + program.old + " /new:C:\\MVXMOVE_RUN2 /ini:2 /shortcuts:0 /registry:0 /move /apply \"/log:" +
                            log + "\"");
    EXPECT_EQ(r.exitCode, 3u) << r.output;
    EXPECT_TRUE(r.Has("    running: WAITER.EXE (process id " + std::to_string(waiter.ProcessId()) + ")")) << r.output;
    EXPECT_NE(r.output.find("***** Programs are running from " + program.old), std::string::npos) << r.output;
    waiter.End();
    EXPECT_TRUE(program.WholeAt(program.old));
    EXPECT_FALSE(guitest::Exists("C:\\MVXMOVE_RUN2"));
    EXPECT_EQ(guitest::ReadAll(program.ini), program.IniText());
    EXPECT_EQ(guitest::ReadAll(log).find("Undo journal:"), std::string::npos) << "no replacement was begun";
    guitest::RemoveTree(guitest::ScratchDir("cli_move_run"));
}

// Configuration files in the New folder, one for each spelling and
// encoding: found, listed with their spelling, rewritten so that JSON and
// XML still parse (read back by Python), a neighbour folder left alone in
// every spelling, a binary file passed over and counted, and the journal's
// Restore bringing every file back byte for byte.
TEST(Unattended, ConfigurationFilesInEverySpellingThenRestore) {
    const std::string root = guitest::ScratchDir("cli_configs");
    const std::string oldDir = root + "\\Acme Tools", newDir = root + "\\Neue Acme";
    ASSERT_TRUE(CreateDirectoryA(newDir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    // The Old address as each spelling holds it, and New as it must come back.
    std::string oldJson = oldDir, newJson = newDir, oldSlash = oldDir, newSlash = newDir;
    for (std::string* s : {&oldJson, &newJson}) {
        std::string doubled;
        for (char c : *s)
            doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
        *s = doubled;
    }
    for (std::string* s : {&oldSlash, &newSlash})
        std::replace(s->begin(), s->end(), '\\', '/');
    auto urlOf = [](std::string s) {
        std::replace(s.begin(), s.end(), '\\', '/');
        std::string url = "file:///";
        for (char c : s)
            url += c == ' ' ? std::string("%20") : std::string(1, c);
        return url;
    };
    auto xmlOf = [](const std::string& s) {
        std::string xml;
        for (char c : s)
            xml += c == ' ' ? std::string("&#32;") : std::string(1, c);
        return xml;
    };
    struct File {
        const char* name;
        std::string before, after;
        const char* subType;
    };
    const std::string utf16Bom = std::string("\xFF\xFE", 2);
    auto utf16 = [](const std::string& ascii) {
        std::string wide;
        for (char c : ascii)
            wide += std::string(1, c) + std::string(1, '\0');
        return wide;
    };
    const std::vector<File> files = {
        {"settings.json",
         "{\n  \"exe\": \"" + oldJson + "\\\\app.exe\",\n  \"pro\": \"" + oldJson + "Pro\\\\x.exe\",\n  \"help\": \"" +
             urlOf(oldDir) + "/help.html\"\n}\n",
         "{\n  \"exe\": \"" + newJson + "\\\\app.exe\",\n  \"pro\": \"" + oldJson + "Pro\\\\x.exe\",\n  \"help\": \"" +
             urlOf(newDir) + "/help.html\"\n}\n",
         "json"},
        {"app.config",
         "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<c>\r\n  <add key=\"path\" value=\"" + xmlOf(oldDir) +
             "\\data\"/>\r\n  <add key=\"pro\" value=\"" + xmlOf(oldDir) + "Pro\"/>\r\n</c>\r\n",
         "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<c>\r\n  <add key=\"path\" value=\"" + xmlOf(newDir) +
             "\\data\"/>\r\n  <add key=\"pro\" value=\"" + xmlOf(oldDir) + "Pro\"/>\r\n</c>\r\n",
         "xml"},
        {"launch.bat", "@echo off\nstart \"\" \"" + oldSlash + "/app.exe\" %*\nrem " + oldSlash + "Pro\n",
         "@echo off\nstart \"\" \"" + newSlash + "/app.exe\" %*\nrem " + oldSlash + "Pro\n", "slash"},
        {"prefs.yaml", utf16Bom + utf16("home: " + oldDir + "\r\nother: " + oldDir + "Pro\r\n"),
         utf16Bom + utf16("home: " + newDir + "\r\nother: " + oldDir + "Pro\r\n"), "plain"},
        {"blob.json", std::string("{\"p\": \"") + oldJson + std::string("\"}\0\x01", 7),
         std::string("{\"p\": \"") + oldJson + std::string("\"}\0\x01", 7), nullptr},
    };
    for (const File& f : files)
        guitest::WriteFile(newDir + "\\" + f.name, f.before);
    const std::string log = root + "\\LOG.TXT";
    const std::string args = "\"/old:" + oldDir + "\" \"/new:" + newDir +
                             "\" /ini:0 /groups:0 /shortcuts:0 /registry:0 /configs:1 /ignorecheck ";

    const Result dry = RunCli(args);
    EXPECT_EQ(dry.exitCode, 1u) << dry.output;
    EXPECT_TRUE(dry.Has("5 matches in configuration files")) << dry.output;
    EXPECT_TRUE(dry.Has("Configuration files: 1 file that is not text passed over.")) << dry.output;
    for (const File& f : files)
        if (f.subType != nullptr)
            EXPECT_NE(dry.output.find(std::string("\t") + f.name + "\t" + newDir + "\tCFG\t" + f.subType + "\t"),
                      std::string::npos)
                << f.name << "\n" << dry.output;

    const Result applied = RunCli(args + "/apply \"/log:" + log + "\"");
    EXPECT_EQ(applied.exitCode, 0u) << applied.output;
    for (const File& f : files)
        EXPECT_EQ(guitest::ReadAll(newDir + "\\" + f.name), f.after) << f.name;

    // Python's own readers: the JSON and the XML still parse, with New in them.
    const std::string script = root + "\\check.py", report = root + "\\report.txt", done = report + ".done";
    guitest::WriteFile(script,
                       "import json, sys, xml.etree.ElementTree as ET\n"
                       "d = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                       "x = ET.parse(sys.argv[2]).getroot()\n"
                       "print(d['exe']); print(d['pro']); print(d['help'])\n"
                       "for a in x: print(a.get('value'))\n");
    DeleteFileA(done.c_str());
    ASSERT_TRUE(movix_test::RunUnix(
        "Z:\\bin\\sh", "sh -c \"python3 '" + movix_test::UnixPath(script) + "' '" +
                           movix_test::UnixPath(newDir + "\\settings.json") + "' '" +
                           movix_test::UnixPath(newDir + "\\app.config") + "' >'" + movix_test::UnixPath(report) +
                           "' 2>&1; mv '" + movix_test::UnixPath(report) + "' '" + movix_test::UnixPath(done) + "'\""));
    ASSERT_TRUE(guitest::WaitFor([&] { return guitest::Exists(done); }, 30000));
    EXPECT_EQ(SplitLines(guitest::ReadAll(done)),
              (std::vector<std::string>{newDir + "\\app.exe", oldDir + "Pro\\x.exe", urlOf(newDir) + "/help.html",
                                        newDir + "\\data", oldDir + "Pro"}));

    const std::string journal = JournalOf(log);
    ASSERT_FALSE(journal.empty()) << guitest::ReadAll(log);
    const Result restored = RunCli("\"/restore:" + journal + "\"");
    EXPECT_EQ(restored.exitCode, 0u) << restored.output;
    for (const File& f : files)
        EXPECT_EQ(guitest::ReadAll(newDir + "\\" + f.name), f.before) << f.name;
}

// The places of the configuration-file search: the New folder only, then
// this user's AppData and ProgramData, then every profile's AppData.
TEST(Unattended, ConfigurationFilesInTheDataFolders) {
    const std::string tag = std::to_string(GetCurrentProcessId());
    const std::string oldDir = "C:\\MvxCfgOld" + tag, newDir = guitest::ScratchDir("cli_cfgplaces");
    const std::string roaming = movix_test::SpecialFolderPath(CSIDL_APPDATA) + "\\MvxCfg" + tag;
    const std::string common = movix_test::SpecialFolderPath(CSIDL_COMMON_APPDATA) + "\\MvxCfg" + tag;
    struct Cleanup {
        std::vector<std::string> trees;
        ~Cleanup() {
            for (const std::string& t : trees)
                guitest::RemoveTree(t);
        }
    } cleanup{{roaming, common}};
    for (const std::string& dir : {roaming, common}) {
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
        guitest::WriteFile(dir + "\\state.json", "{\"dir\": \"" + std::string("C:\\\\MvxCfgOld") + tag + "\"}\n");
    }
    const std::string args = "/old:" + oldDir + " \"/new:" + newDir +
                             "\" /ini:0 /groups:0 /shortcuts:0 /registry:0 /ignorecheck /configs:";
    const struct {
        int item;
        const char* found;
    } cases[] = {{1, "0 matches in configuration files"},
                 {2, "2 matches in configuration files"},
                 {3, "2 matches in configuration files"}};
    for (const auto& c : cases) {
        const Result run = RunCli(args + std::to_string(c.item));
        EXPECT_TRUE(run.Has(c.found)) << c.item << "\n" << run.output;
    }
}

namespace {

// A service made afresh in the prefix's service manager (one a run before
// left behind is deleted first), with `path` as its binary path.
SC_HANDLE FreshService(SC_HANDLE scm, const wchar_t* name, const wchar_t* display, const std::string& path) {
    if (SC_HANDLE stale = OpenServiceW(scm, name, DELETE)) {
        DeleteService(stale);
        CloseServiceHandle(stale);
    }
    return CreateServiceW(scm, name, display, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                          SERVICE_ERROR_NORMAL, movix::Utf8ToWide(path).c_str(), nullptr, nullptr, nullptr, nullptr,
                          nullptr);
}

}  // namespace

// A service of the moved program, made in the prefix's service manager:
// found by the command line in its path and its description, listed once
// (the Registry search leaves its ImagePath to the services' search, and
// lists it when services are not searched), rewritten through the manager
// (read back through the manager's own call), and set back by /restore.
TEST(Unattended, ServiceFoundReplacedAndRestoredThroughTheManager) {
    const std::string root = guitest::ScratchDir("cli_service");
    const std::string oldDir = "C:\\MVXSVC Old", newDir = "D:\\MVXSVC New";
    const std::string name = "MovixCliAgent";
    const std::string path = "\"" + oldDir + "\\bin\\agent.exe\" /service";
    const std::string description = "Runs the agent of " + oldDir;
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm, nullptr);
    SC_HANDLE service = FreshService(scm, L"MovixCliAgent", L"Movix CLI Agent", path);
    ASSERT_NE(service, nullptr) << GetLastError();
    std::wstring wideDescription = movix::Utf8ToWide(description);
    SERVICE_DESCRIPTIONW d{&wideDescription[0]};
    ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &d));
    struct Cleanup {
        SC_HANDLE scm, service;
        ~Cleanup() {
            DeleteService(service);
            CloseServiceHandle(service);
            CloseServiceHandle(scm);
        }
    } cleanup{scm, service};
    // Both fields as the manager gives them now.
    auto fields = [service] {
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        std::vector<std::string> texts;
        if (QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                static_cast<DWORD>(buffer.size()), &needed))
            texts.push_back(
                movix::WideToUtf8(reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data())->lpBinaryPathName));
        if (QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(), static_cast<DWORD>(buffer.size()),
                                 &needed))
            texts.push_back(
                movix::WideToUtf8(reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription));
        return texts;
    };
    ASSERT_EQ(fields(), (std::vector<std::string>{path, description}));

    const std::string args = "\"/old:" + oldDir + "\" \"/new:" + newDir +
                             "\" /ini:0 /groups:0 /shortcuts:0 /registry:3 /configs:0 /tasks:0 /ignorecheck ";
    // Without the services' search the Registry lists the ImagePath value;
    // with it, the service's row takes its place.
    const Result registryOnly = RunCli(args + "/services:0");
    EXPECT_EQ(registryOnly.exitCode, 1u) << registryOnly.output;
    EXPECT_NE(registryOnly.output.find(name + "\tREG\tdat"), std::string::npos) << registryOnly.output;
    const Result dry = RunCli(args + "/services:1");
    EXPECT_EQ(dry.exitCode, 1u) << dry.output;
    EXPECT_TRUE(dry.Has("2 matches in services")) << dry.output;
    EXPECT_NE(dry.output.find("\t" + name + "\tMovix CLI Agent\tSVC\tcmd\t" + path), std::string::npos) << dry.output;
    EXPECT_NE(dry.output.find("\t" + name + "\tMovix CLI Agent\tSVC\tdesc\t" + description), std::string::npos)
        << dry.output;
    EXPECT_EQ(dry.output.find(name + "\tREG\tdat"), std::string::npos) << "ImagePath listed twice\n" << dry.output;

    const std::string log = root + "\\LOG.TXT";
    const Result applied = RunCli(args + "/services:1 /apply \"/log:" + log + "\"");
    EXPECT_EQ(applied.exitCode, 0u) << applied.output;
    EXPECT_EQ(fields(), (std::vector<std::string>{"\"" + newDir + "\\bin\\agent.exe\" /service",
                                                  "Runs the agent of " + newDir}));
    EXPECT_NE(guitest::ReadAll(log).find("SERVICE: " + name + "   old path: " + path), std::string::npos)
        << guitest::ReadAll(log);

    const std::string journal = JournalOf(log);
    ASSERT_FALSE(journal.empty()) << guitest::ReadAll(log);
    const Result restored = RunCli("\"/restore:" + journal + "\"");
    EXPECT_EQ(restored.exitCode, 0u) << restored.output;
    EXPECT_EQ(fields(), (std::vector<std::string>{path, description}));
    guitest::RemoveTree(root);
}

namespace {

std::wstring W(const std::string& utf8) {
    return movix::Utf8ToWide(utf8);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ReadBytes(const std::string& path) {
    HANDLE h = CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (h != INVALID_HANDLE_VALUE && ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

std::string Doubled(const std::string& path) {
    std::string out;
    for (char c : path)
        out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

std::string InCodePage(UINT codePage, const std::string& utf8) {
    const std::wstring wide = W(utf8);
    std::string out(wide.size() * 4, '\0');
    out.resize(static_cast<std::size_t>(WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                                            &out[0], static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

}  // namespace

// A program moved to a folder whose name has a blank, a letter past ASCII
// and an &: each settings file still parses with its own format's reader
// (Python's json, xml.etree, tomllib, PyYAML, and Java's rules for
// .properties) and names New; the batch file's unquoted path is quoted and
// its SET line, where & would end the command, is flagged and left as it is;
// a PowerShell script without a mark is not given letters past ASCII; and
// Restore puts every byte back.
TEST(Unattended, SettingsFilesStayReadableByTheirOwnParsers) {
    const std::string root = guitest::ScratchDir("cli_formats");
    const std::string oldDir = root + "\\QUILL", newDir = root + "\\M\xC3\xBCller & Co Tools";
    ASSERT_TRUE(CreateDirectoryW(W(newDir).c_str(), nullptr));
    std::string oldSlash = oldDir, newSlash = newDir;
    std::replace(oldSlash.begin(), oldSlash.end(), '\\', '/');
    std::replace(newSlash.begin(), newSlash.end(), '\\', '/');
    const std::string newOem = InCodePage(CP_OEMCP, newDir), newUtf8Bom = "\xEF\xBB\xBF";
    struct File {
        const char* name;
        std::string before, after;  // after: empty when the readers judge it
    };
    const std::vector<File> files = {
        {"settings.json", "{\n  \"exe\": \"" + Doubled(oldDir) + "\\\\quill.exe\",\n  \"dir\": \"" + oldSlash +
                              "/data\"\n}\n"},
        {"app.config", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<c>\r\n  <add key=\"a\" value=\"" + oldDir +
                           "\\x.dll\"/>\r\n  <item path='\r\n     " + oldDir + "\\y.dat'/>\r\n"
                           "  <script><![CDATA[run \"" + oldDir + "\\z.exe\" & exit]]></script>\r\n  <dir>" +
                           oldDir + "</dir>\r\n</c>\r\n"},
        {"legacy.xml", "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<l home=\"" + oldDir + "\\bin\"/>\n",
         "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<l home=\"" + root +
             "\\M&#252;ller &amp; Co Tools\\bin\"/>\n"},
        {"config.toml", "exe = \"" + Doubled(oldDir) + "\\\\quill.exe\"\ndata = '" + oldDir + "\\data'\n"},
        {"prefs.yaml", "home: " + oldDir + "\nquoted: '" + oldDir + "\\x'\ndq: \"" + Doubled(oldDir) +
                           "\\\\y\"\nlist: [" + oldDir + "\\a, b]\n"},
        {"app.properties", "# paths\nhome=" + Doubled(oldDir) + "\\\\bin\n"},
        {"start.bat", "@echo off\r\n\"" + oldDir + "\\quill.exe\" -a\r\n" + oldDir + "\\quill.exe -b\r\nset QHOME=" +
                          oldDir + "\r\n",
         "@echo off\r\n\"" + newOem + "\\quill.exe\" -a\r\n\"" + newOem + "\\quill.exe\" -b\r\nset QHOME=" + oldDir +
             "\r\n"},
        {"run.ps1", "& '" + oldDir + "\\quill.exe' -a\n", "& '" + oldDir + "\\quill.exe' -a\n"},
        {"run8.ps1", newUtf8Bom + oldDir + "\\quill.exe -a\n$d = \"" + oldDir + "\\data\"\n",
         newUtf8Bom + "& '" + newDir + "\\quill.exe' -a\n$d = \"" + newDir + "\\data\"\n"},
    };
    for (const File& f : files)
        WriteBytes(newDir + "\\" + f.name, f.before);
    // Its service and its Run value, each a command line that starts with
    // the program's path, unquoted.
    const std::string servicePath = oldDir + "\\quillsvc.exe -run", runValue = oldDir + "\\quill.exe -tray";
    const std::string runKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm, nullptr);
    SC_HANDLE service = FreshService(scm, L"MovixFormatsSvc", L"Movix Formats", servicePath);
    ASSERT_NE(service, nullptr) << GetLastError();
    SetSz(runKey, "MovixFormats", runValue);
    struct Cleanup {
        SC_HANDLE scm, service;
        std::string key;
        ~Cleanup() {
            DeleteService(service);
            CloseServiceHandle(service);
            CloseServiceHandle(scm);
            RegDeleteKeyValueA(HKEY_CURRENT_USER, key.c_str(), "MovixFormats");
        }
    } cleanup{scm, service, runKey};
    const auto binaryPath = [service] {
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        return QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                   static_cast<DWORD>(buffer.size()), &needed)
                   ? movix::WideToUtf8(reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data())->lpBinaryPathName)
                   : std::string("<unreadable>");
    };
    const auto runValueNow = [&runKey] {
        std::wstring value(1024, L'\0');
        DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (RegGetValueW(HKEY_CURRENT_USER, W(runKey).c_str(), L"MovixFormats", RRF_RT_REG_SZ, nullptr, &value[0],
                         &size) != ERROR_SUCCESS)
            return std::string("<missing>");
        value.resize(wcslen(value.c_str()));
        return movix::WideToUtf8(value);
    };
    const std::string log = root + "\\LOG.TXT";
    const Result applied = RunCli("\"/old:" + oldDir + "\" \"/new:" + newDir +
                                  "\" /ini:0 /groups:0 /shortcuts:0 /registry:1 /services:1 /tasks:0 /configs:1 "
                                  "/ignorecheck /apply \"/log:" + log + "\"");
    // Quoted, so that Windows does not try C:\...\M\xC3\xBCller.exe first.
    EXPECT_EQ(binaryPath(), "\"" + newDir + "\\quillsvc.exe\" -run") << applied.output;
    EXPECT_EQ(runValueNow(), "\"" + newDir + "\\quill.exe\" -tray") << applied.output;
    // The script left as it was makes it a run with "*****" lines.
    EXPECT_EQ(applied.exitCode, 2u) << applied.output;
    const std::string logText = guitest::ReadAll(log);
    // The SET line's row was flagged when it was found, and is left as it is.
    EXPECT_NE(logText.find("Left unchanged, New cannot be written into the line as it is (/flagged replaces it): CFG " +
                           newDir + "\\start.bat: set QHOME=" + oldDir),
              std::string::npos)
        << logText;
    EXPECT_NE(logText.find("***** A PowerShell script without a byte-order mark is read as ANSI by one PowerShell and "
                           "as UTF-8 by the other, so only ASCII is written into it, and the new text is not ASCII; "
                           "left as it is: " + newDir + "\\run.ps1"),
              std::string::npos)
        << logText;
    for (const File& f : files)
        if (!f.after.empty())
            EXPECT_EQ(ReadBytes(newDir + "\\" + f.name), f.after) << f.name;
    // JSON is UTF-8 whatever its bytes were: the ü is two bytes.
    EXPECT_NE(ReadBytes(newDir + "\\settings.json").find("M\xC3\xBCller"), std::string::npos);
    // .properties is ISO-8859-1: the ü is one byte.
    EXPECT_NE(ReadBytes(newDir + "\\app.properties").find("M\xFCller"), std::string::npos);

    // The readers, each value as the program reading it will see it.
    const std::string expected = root + "\\expected.json", script = root + "\\check.py";
    std::string list;
    for (const std::string& value :
         {newDir + "\\quill.exe", newSlash + "/data", newDir + "\\x.dll", newDir + "\\y.dat",
          "run \"" + newDir + "\\z.exe\" & exit", newDir, newDir + "\\bin", newDir + "\\quill.exe", newDir + "\\data",
          newDir, newDir + "\\x", newDir + "\\y", newDir + "\\a", newDir + "\\bin"})
    {
        std::string escaped = Doubled(value);
        for (std::size_t at = escaped.find('"'); at != std::string::npos; at = escaped.find('"', at + 2))
            escaped.insert(at, 1, '\\');
        list += (list.empty() ? "\"" : ", \"") + escaped + "\"";
    }
    WriteBytes(expected, "{\"folder\": \"M\xC3\xBCller & Co Tools\", \"values\": [" + list + "]}");
    WriteBytes(script,
               "import json, re, sys, tomllib, yaml, xml.etree.ElementTree as ET\n"
               "root = sys.argv[1]\n"
               "exp = json.load(open(root + '/expected.json', encoding='utf-8'))\n"
               "d = root + '/' + exp['folder']\n"
               "def unescape(s):\n"
               "    s = re.sub(r'\\\\(u[0-9a-fA-F]{4}|.)', lambda m: chr(int(m.group(1)[1:], 16)) if len(m.group(1)) == 5"
               " else {'t': '\\t', 'n': '\\n', 'r': '\\r', 'f': '\\f'}.get(m.group(1), m.group(1)), s)\n"
               "    return s.encode('utf-16', 'surrogatepass').decode('utf-16')\n"
               "def properties(text):\n"
               "    out = {}\n"
               "    for line in text.splitlines():\n"
               "        line = line.lstrip()\n"
               "        if not line or line[0] in '#!': continue\n"
               "        m = re.match(r'((?:\\\\.|[^=: \\t])*)[ \\t]*[=:]?[ \\t]*(.*)', line)\n"
               "        out[unescape(m.group(1))] = unescape(m.group(2))\n"
               "    return out\n"
               "j = json.load(open(d + '/settings.json', encoding='utf-8'))\n"
               "x = ET.parse(d + '/app.config').getroot()\n"
               "l = ET.parse(d + '/legacy.xml').getroot()\n"
               "t = tomllib.load(open(d + '/config.toml', 'rb'))\n"
               "y = yaml.safe_load(open(d + '/prefs.yaml', encoding='utf-8'))\n"
               "p = properties(open(d + '/app.properties', encoding='latin-1').read())\n"
               "got = [j['exe'], j['dir'], x.find('add').get('value'), x.find('item').get('path').strip(),\n"
               "       x.find('script').text, x.find('dir').text, l.get('home'), t['exe'], t['data'],\n"
               "       y['home'], y['quoted'], y['dq'], y['list'][0], p['home']]\n"
               "if y['list'][1] != 'b' or len(y) != 4 or len(j) != 2: got.append('structure changed')\n"
               "print('OK' if got == exp['values'] else 'DIFFERENT ' + ascii(got) + ' ' + ascii(exp['values']))\n");
    const std::string report = root + "\\report.txt", done = report + ".done";
    ASSERT_TRUE(movix_test::RunUnix(
        "Z:\\bin\\sh", "sh -c \"/usr/bin/python3 '" + movix_test::UnixPath(script) + "' '" + movix_test::UnixPath(root) +
                           "' >'" + movix_test::UnixPath(report) + "' 2>&1; mv '" + movix_test::UnixPath(report) +
                           "' '" + movix_test::UnixPath(done) + "'\""));
    ASSERT_TRUE(guitest::WaitFor([&] { return guitest::Exists(done); }, 30000));
    EXPECT_EQ(guitest::ReadAll(done), "OK\n");

    const std::string journal = JournalOf(log);
    ASSERT_FALSE(journal.empty()) << logText;
    const Result restored = RunCli("\"/restore:" + journal + "\"");
    EXPECT_EQ(restored.exitCode, 0u) << restored.output;
    for (const File& f : files)
        EXPECT_EQ(ReadBytes(newDir + "\\" + f.name), f.before) << f.name;
    EXPECT_EQ(binaryPath(), servicePath);
    EXPECT_EQ(runValueNow(), runValue);
}
