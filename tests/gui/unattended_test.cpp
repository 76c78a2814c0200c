// The unattended mode from outside: movix32.exe started as a child process
// with its standard handles redirected to a pipe or a file, its output and
// exit code read back. The wizard's end-to-end scenarios are repeated through
// the command line with the same files, keys and log lines; a search only
// changes nothing; Ctrl+C stops a search and a replacement; Restore puts a
// run back.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../win/registry_test_support_win.h"
#include "../win/shortcut_files_win.h"
#include "gui_driver.h"
#include "targets/progman_commands.h"

namespace {

struct Result {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // standard output and error output together
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::size_t from = 0;
        while (from < output.size()) {
            std::size_t to = output.find('\n', from);
            if (to == std::string::npos)
                to = output.size();
            std::string line = output.substr(from, to - from);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            from = to + 1;
        }
        return lines;
    }
    bool Has(const std::string& line) const {
        const std::vector<std::string> all = Lines();
        return std::find(all.begin(), all.end(), line) != all.end();
    }
};

// A run of movix32.exe with the arguments; its output goes to a file that
// the test reads while it runs.
class Cli {
  public:
    // `group`: a process group of its own (for Ctrl+C), attached to this
    // process's console.
    explicit Cli(const std::string& arguments, bool group = false) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        outName_ = std::string(temp) + movix_test::UniqueToken("movix_cli_") + ".out";
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE out = CreateFileA(outName_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                nullptr);
        const std::string exe = guitest::ExeDir() + "\\movix32.exe";
        std::string line = "\"" + exe + "\" " + arguments;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in;
        si.hStdOutput = out;
        si.hStdError = out;
        CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, TRUE, group ? CREATE_NEW_PROCESS_GROUP : 0, nullptr,
                       guitest::ExeDir().c_str(), &si, &pi_);
        CloseHandle(out);
        CloseHandle(in);
    }
    ~Cli() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(pi_.hProcess, 99);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
        DeleteFileA(outName_.c_str());
    }
    bool Started() const { return pi_.hProcess != nullptr; }
    DWORD Pid() const { return pi_.dwProcessId; }
    std::string Output() const { return guitest::ReadAll(outName_); }
    bool OutputHas(const std::string& text) const { return Output().find(text) != std::string::npos; }
    Result Wait(int milliseconds = 120000) {
        Result result;
        if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi_.hProcess, &result.exitCode);
        result.output = Output();
        return result;
    }

  private:
    PROCESS_INFORMATION pi_ = {};
    std::string outName_;
};

Result RunCli(const std::string& arguments, int milliseconds = 120000) {
    Cli cli(arguments);
    EXPECT_TRUE(cli.Started());
    return cli.Wait(milliseconds);
}

// The same run with its output to a pipe, read while it runs.
Result RunPiped(const std::string& arguments) {
    Result result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return result;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    const std::string exe = guitest::ExeDir() + "\\movix32.exe";
    std::string line = "\"" + exe + "\" " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write;
    si.hStdError = write;
    PROCESS_INFORMATION pi = {};
    const BOOL started =
        CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(write);
    if (!started) {
        CloseHandle(read);
        return result;
    }
    // Read while it runs, without waiting for the pipe's end: a process the
    // run starts (Wine's services) may hold the writing end open.
    char buffer[4096];
    const DWORD end = GetTickCount() + 60000;
    for (bool exited = false;;) {
        DWORD available = 0, got = 0;
        while (PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
               ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0)
            result.output.append(buffer, got);
        if (exited || static_cast<LONG>(GetTickCount() - end) > 0)
            break;
        exited = WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0;
    }
    CloseHandle(read);
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return result;
}

// The lines of a saved log, and those after its five head lines.
std::vector<std::string> FileLines(const std::string& path) {
    Result r;
    r.output = guitest::ReadAll(path);
    return r.Lines();
}
std::vector<std::string> AfterHead(const std::vector<std::string>& log) {
    return log.size() > 5 ? std::vector<std::string>(log.begin() + 5, log.end()) : std::vector<std::string>();
}

// An export of HKEY_CURRENT_USER\Software without Wine's own keys, which
// Wine's programs (reg.exe itself) update as they please.
std::vector<std::string> SoftwareExport() {
    std::vector<std::string> kept;
    bool wine = false;
    for (const std::string& line : movix_test::RegExportLines("HKEY_CURRENT_USER\\Software")) {
        if (!line.empty() && line[0] == '[')
            wine = line.rfind("[HKEY_CURRENT_USER\\Software\\Wine", 0) == 0;
        if (!wine)
            kept.push_back(line);
    }
    return kept;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

struct FileCleanup {
    std::vector<std::string> names;
    ~FileCleanup() {
        for (const std::string& name : names)
            DeleteFileA(name.c_str());
    }
};

struct KeyCleanup {
    std::vector<std::pair<HKEY, std::string>> keys;
    ~KeyCleanup() {
        for (const auto& key : keys)
            RegDeleteTreeA(key.first, key.second.c_str());
    }
};

void SetSz(HKEY root, const std::string& path, const char* name, const std::string& data, DWORD type = REG_SZ) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

std::string GetSz(HKEY root, const std::string& path, const char* name) {
    char buffer[512] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
        return "<missing>";
    return buffer;
}

const char kIni[] =
    "Before=C:\\MVXOLD_CLI\\FIRST.EXE\r\n"
    "; C:\\MVXOLD_CLI in a comment stays\r\n"
    "[Paths]\r\n"
    "  Home = c:\\mvxold_cli  \r\n"
    "Other=C:\\ELSEWHERE\r\n"
    "[C:\\MVXOLD_CLI\\PLUG]\r\n"
    "Spell=C:\\MVXOLD_CLI\\PLUG\\SPELL.DLL;C:\\MVXOLD_CLI\\X\r\n"
    "\x1a"
    "Tail=C:\\MVXOLD_CLI\\AFTER_EOF\r\n";

}  // namespace

TEST(Unattended, EveryBadArgumentStopsWithOneLineAndCode3BeforeAnything) {
    const std::string scratch = guitest::ScratchDir("cli_bad");
    const std::string existing = scratch + "\\KEPT.TXT";
    guitest::WriteFile(existing, "user data");
    SetFileAttributesA(existing.c_str(), FILE_ATTRIBUTE_READONLY);
    const struct {
        std::string arguments;
        std::string line;
    } cases[] = {
        {"/old:C:\\MVXBAD /new:C:\\MVXBAD2 /bogus", "Unknown switch \"/bogus\"; movix32 /? lists the switches."},
        {"/old /new:C:\\MVXBAD2", "The switch /old needs a value: /old:PATH."},
        {"/old:C:\\MVXBAD /new:C:\\MVXBAD2 /ini:7", "The number of /ini must be from 0 to 4, not \"7\"."},
        {"/old:C:\\MVXBAD /new:C:\\MVXBAD2 stray", "Unexpected argument \"stray\": every argument is a switch such as "
                                                  "/old:PATH."},
        {"/new:C:\\MVXBAD2 /apply", "The Old address is missing: give it as /old:PATH."},
        // Choices the option pages do not offer on this system (Windows 10 here).
        {"/old:C:\\MVXBAD /new:C:\\MVXBAD2 /registry:2",
         "/registry:2 (HKCR, HKCU and HKCC) is not available on Windows NT; use /registry:1 or /registry:3."},
        {"/old:C:\\MVXBAD /new:C:\\MVXBAD2 /groups:1",
         "/groups:1: Program Manager groups are searched on Windows NT 3.51 only."},
        // Files that cannot be written; an existing one is left as it is.
        {"/old:C:\\MVXBAD /new:C:\\MVXBAD2 \"/list:" + scratch + "\\NO\\SUCH\\F.RTF\" /apply",
         "The file cannot be written: " + scratch + "\\NO\\SUCH\\F.RTF: "},
        {"/old:C:\\MVXBAD /new:C:\\MVXBAD2 \"/log:" + scratch + "\" /apply",
         "The file cannot be written: " + scratch + " is a folder."},
        {"/old:C:\\MVXBAD /new:C:\\MVXBAD2 \"/log:" + existing + "\" /apply",
         "The file cannot be written: " + existing + " is read-only."},
        // A red address check: one address begins with a drive letter, the
        // other does not, and only the first exists.
        {"/old:C:\\windows /new:Apps\\MVXBAD /apply",
         "Possible error:  One of the addresses starts with a drive letter; the other does not."},
        {"\"/restore:" + scratch + "\\MOVIX32UNDO-MISSING.TXT\"",
         "The undo journal cannot be found: " + scratch + "\\MOVIX32UNDO-MISSING.TXT."},
    };
    for (const auto& c : cases) {
        const Result r = RunPiped(c.arguments);
        EXPECT_EQ(r.exitCode, 3u) << c.arguments << "\n" << r.output;
        // The system's text of an error may differ: the line begins as given.
        ASSERT_EQ(r.Lines().size(), 1u) << c.arguments << "\n" << r.output;
        EXPECT_EQ(r.Lines()[0].substr(0, c.line.size()), c.line) << c.arguments;
    }
    EXPECT_EQ(guitest::ReadAll(existing), "user data");
    SetFileAttributesA(existing.c_str(), FILE_ATTRIBUTE_NORMAL);
    guitest::RemoveTree(scratch);

    // /? prints the switches and the exit codes, to a pipe as well.
    const Result help = RunPiped("/?");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_TRUE(help.Has("  4  cancelled by Ctrl+C; the log is written")) << help.output;
}

TEST(Unattended, SearchOnlyChangesNothingAndReportsTheHitsAndTheList) {
    const std::string ini = guitest::WindowsDir() + "\\MVXCLIDRY.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXCLIDRY.BAK";
    FileCleanup files{{ini, bak}};
    KeyCleanup keys{{{HKEY_CURRENT_USER, "Software\\MvxCliDry"}}};
    guitest::WriteFile(ini, kIni);
    SetSz(HKEY_CURRENT_USER, "Software\\MvxCliDry\\Tools_MVXOLD_CLI", "Path", "C:\\MVXOLD_CLI\\BIN");
    guitest::ClearSettings();
    const std::string scratch = guitest::ScratchDir("cli_dry");
    const std::vector<std::string> exportBefore = SoftwareExport();
    ASSERT_FALSE(exportBefore.empty());

    const std::string list = scratch + "\\FOUND.RTF";
    const std::string log = scratch + "\\LOG.TXT";
    const Result r = RunCli("/old:C:\\MVXOLD_CLI /new:D:\\MVXNEW_CLI /ini:2 /shortcuts:0 /registry:1 \"/list:" + list +
                         "\" \"/log:" + log + "\"");
    EXPECT_EQ(r.exitCode, 1u) << r.output;
    // The rows as the found list shows them, tab-separated, marked Y.
    EXPECT_TRUE(r.Has("Y\tMVXCLIDRY.INI\t" + guitest::WindowsDir() + "\tINI\tsec\t[C:\\MVXOLD_CLI\\PLUG]")) << r.output;
    EXPECT_TRUE(r.Has("Y\tTools_MVXOLD_CLI\tHKCU\\Software\\MvxCliDry\\Tools_MVXOLD_CLI\tREG\tdat\tPath=C:\\MVXOLD_CLI\\BIN"))
        << r.output;
    EXPECT_TRUE(r.Has("4 matches in INI files")) << r.output;
    EXPECT_TRUE(r.Has("No Groups searched"));
    EXPECT_TRUE(r.Has("No Shortcuts searched"));
    EXPECT_TRUE(r.Has("List saved as " + list));

    // Nothing changed: the file, no backup, the Registry (the settings key
    // included: a run from the command line stores no choices).
    EXPECT_EQ(guitest::ReadAll(ini), kIni);
    EXPECT_FALSE(guitest::Exists(bak));
    EXPECT_EQ(SoftwareExport(), exportBefore);
    // The list holds the rows; the log says that nothing was changed.
    const std::string rtf = guitest::ReadAll(list);
    EXPECT_NE(rtf.find("{\\info{\\title Items containing \"C:\\\\MVXOLD_CLI\"}"), std::string::npos);
    EXPECT_NE(rtf.find("[C:\\\\MVXOLD_CLI\\\\PLUG]"), std::string::npos);
    const std::vector<std::string> logLines = FileLines(log);
    ASSERT_GE(logLines.size(), 4u);
    EXPECT_EQ(logLines[2], "Old address: C:\\MVXOLD_CLI");
    EXPECT_EQ(logLines.back(), "Search only: 5 hits found, nothing was changed.");
    guitest::RemoveTree(scratch);
}

TEST(Unattended, IniFilesReplacedWithTheWizardsFilesAndLogLines) {
    const std::string ini = guitest::WindowsDir() + "\\MVXCLIE2E.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXCLIE2E.BAK";
    FileCleanup files{{ini, bak}};
    DeleteFileA(bak.c_str());
    guitest::WriteFile(ini, kIni);
    const std::string scratch = guitest::ScratchDir("cli_ini");
    const std::string log = scratch + "\\LOG.TXT";
    const Result r = RunCli("/old:C:\\MVXOLD_CLI /new:D:\\MVXNEW_CLI /ini:2 /shortcuts:0 /registry:0 /apply \"/log:" +
                         log + "\"");
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    EXPECT_EQ(guitest::ReadAll(ini),
              "Before=D:\\MVXNEW_CLI\\FIRST.EXE\r\n"
              "; C:\\MVXOLD_CLI in a comment stays\r\n"
              "[Paths]\r\n"
              "  Home = D:\\MVXNEW_CLI  \r\n"
              "Other=C:\\ELSEWHERE\r\n"
              "[D:\\MVXNEW_CLI\\PLUG]\r\n"
              "Spell=D:\\MVXNEW_CLI\\PLUG\\SPELL.DLL;D:\\MVXNEW_CLI\\X\r\n"
              "\x1a"
              "Tail=C:\\MVXOLD_CLI\\AFTER_EOF\r\n");
    EXPECT_EQ(guitest::ReadAll(bak), kIni);
    const std::vector<std::string> lines = FileLines(log);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0].rfind("Report generated by Movix 32 on ", 0), 0u);
    EXPECT_EQ(lines[1], "(Error lines begin with *****)");
    EXPECT_EQ(lines[2], "Old address: C:\\MVXOLD_CLI");
    EXPECT_EQ(lines[3], "New address: D:\\MVXNEW_CLI");
    // The undo journal is made beside the log.
    EXPECT_EQ(lines[4].rfind("Undo journal: " + scratch + "\\MOVIX32UNDO-", 0), 0u) << lines[4];
    const std::vector<std::string> expected = {
        "",
        "Processing INI file " + ini,
        "          INI key: Before=C:\\MVXOLD_CLI\\FIRST.EXE",
        "       changed to: Before=D:\\MVXNEW_CLI\\FIRST.EXE",
        "          INI key:   Home = c:\\mvxold_cli  ",
        "       changed to:   Home = D:\\MVXNEW_CLI  ",
        "   section header: [C:\\MVXOLD_CLI\\PLUG]",
        "       changed to: [D:\\MVXNEW_CLI\\PLUG]",
        "          INI key: Spell=C:\\MVXOLD_CLI\\PLUG\\SPELL.DLL;C:\\MVXOLD_CLI\\X",
        "       changed to: Spell=D:\\MVXNEW_CLI\\PLUG\\SPELL.DLL;D:\\MVXNEW_CLI\\X",
        "Successfully updated " + ini,
        "Backup stored as " + bak,
    };
    EXPECT_EQ(AfterHead(lines), expected);
    // The console got the same lines.
    for (const std::string& line : lines)
        EXPECT_TRUE(r.Has(line)) << line;
    guitest::RemoveTree(scratch);
}

TEST(Unattended, RegistryReplacedAsTheWizardDoes) {
    KeyCleanup keys{{{HKEY_CURRENT_USER, "Software\\MvxCliReg"}, {HKEY_LOCAL_MACHINE, "Software\\MvxCliReg"}}};
    SetSz(HKEY_CURRENT_USER, "Software\\MvxCliReg\\Tools_MVXREG_OLD", "Kept", "inside the moved key");
    SetSz(HKEY_CURRENT_USER, "Software\\MvxCliReg", "Path", "C:\\mvxreg_old\\BIN");
    SetSz(HKEY_CURRENT_USER, "Software\\MvxCliReg\\Ignored", "X", "MVXREG_OLD is not looked at here");
    SetSz(HKEY_LOCAL_MACHINE, "Software\\MvxCliReg", "Home", "C:\\MVXREG_OLD");
    guitest::ClearSettings();
    // The saved choices count where no switch is given: the ignore list and
    // "All of the Registry".
    SetSz(HKEY_CURRENT_USER, "Software\\Kestrelia\\MOVIX32\\1.0\\Registry Keys To Ignore",
          "hkcu\\software\\MVXCLIREG\\ignored", "");
    SetSz(HKEY_CURRENT_USER, "Software\\Kestrelia\\MOVIX32\\1.0\\Settings", "Registry", "3");
    const Result r = RunCli("/old:MVXREG_OLD /new:MVXREG_NEW /ini:0 /shortcuts:0 /apply", 180000);
    guitest::ClearSettings();
    EXPECT_TRUE(r.Has("3 matches in the Registry")) << r.output;
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\MvxCliReg\\Tools_MVXREG_NEW", "Kept"), "inside the moved key");
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\MvxCliReg", "Path"), "C:\\MVXREG_NEW\\BIN");
    EXPECT_EQ(GetSz(HKEY_LOCAL_MACHINE, "Software\\MvxCliReg", "Home"), "C:\\MVXREG_NEW");
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\MvxCliReg\\Ignored", "X"), "MVXREG_OLD is not looked at here");
    EXPECT_TRUE(r.Has("   new data: C:\\MVXREG_NEW\\BIN")) << r.output;
    EXPECT_TRUE(r.Has("KEY: HKLM\\Software\\MvxCliReg"));
    // Whatever else all of the Registry holds under Wine, the run's error
    // lines decide the code: 0 without, 2 with.
    const bool errors = r.output.find("\n*****") != std::string::npos;
    EXPECT_EQ(r.exitCode, errors ? 2u : 0u) << r.output;
}

TEST(Unattended, ShortcutsReplacedAsTheWizardDoes) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    struct Uninit {
        ~Uninit() { CoUninitialize(); }
    } uninit;
    const std::string desktop = movix_test::SpecialFolderPath(CSIDL_DESKTOPDIRECTORY);
    const std::string onDesktop = desktop + "\\MvxCli E2E.lnk";
    FileCleanup files{{onDesktop}};
    movix_test::MakeShortcut(onDesktop, {"C:\\MVXLNK_CLI\\EDIT.EXE", "/new", "C:\\MvxLnk_CLI\\DOCS",
                                         "C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL", 12});
    ASSERT_FALSE(HasFatalFailure());
    const Result r = RunCli("/old:C:\\MVXLNK_CLI /new:D:\\Apps\\MvxLnk /ini:0 /shortcuts:1 /registry:0 /apply");
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    EXPECT_TRUE(r.Has("2 matches in Shortcuts")) << r.output;
    EXPECT_EQ(movix_test::ShellFields(onDesktop),
              (movix_test::Fields{"D:\\Apps\\MvxLnk\\EDIT.EXE", "/new", "D:\\Apps\\MvxLnk\\DOCS",
                                  "C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL", 12}));
    const std::vector<std::string> expected = {
        "",
        "Processing shortcut " + onDesktop,
        "     command line: C:\\MVXLNK_CLI\\EDIT.EXE",
        "       changed to: D:\\Apps\\MvxLnk\\EDIT.EXE",
        "      working dir: C:\\MvxLnk_CLI\\DOCS",
        "       changed to: D:\\Apps\\MvxLnk\\DOCS",
        "Successfully updated " + onDesktop,
    };
    const std::vector<std::string> out = r.Lines();
    const auto at = std::find(out.begin(), out.end(), "Processing shortcut " + onDesktop);
    ASSERT_NE(at, out.end()) << r.output;
    ASSERT_GE(at - out.begin(), 1);
    EXPECT_EQ(std::vector<std::string>(at - 1, std::min(out.end(), at + 6)), expected) << r.output;
}

namespace {

HWND SubstituteWindow() {
    return FindWindowA("MxProgManWindow", "MxProgMan ProgMan ProgMan");
}

}  // namespace

TEST(Unattended, ProgManGroupsUnderNT351AndRestoredFromTheJournal) {
    const std::string groups = guitest::ScratchDir("cli_groups");
    std::string demo = std::string("Z:") + MOVIX_DEMO_GROUPS_DIR;
    std::replace(demo.begin(), demo.end(), '/', '\\');
    for (const char* name : {"group0001.txt", "group0002.txt"})
        ASSERT_TRUE(CopyFileA((demo + "\\" + name).c_str(), (groups + "\\" + name).c_str(), FALSE)) << demo;
    const std::string quillpadBefore = guitest::ReadAll(groups + "\\group0001.txt");
    ASSERT_TRUE(guitest::WaitFor([] { return SubstituteWindow() == nullptr; }, 15000));
    const std::string exe = guitest::ExeDir() + "\\mxprogman.exe";
    std::string line = "\"" + exe + "\" ProgMan /service:ProgMan \"/groups:" + groups + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION server = {};
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &server));
    struct End {
        PROCESS_INFORMATION& pi;
        ~End() {
            if (HWND w = SubstituteWindow())
                PostMessageA(w, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(pi.hProcess, 1);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    } end{server};
    ASSERT_TRUE(guitest::WaitFor([] { return SubstituteWindow() != nullptr; }, 10000));

    const std::string scratch = guitest::ScratchDir("cli_groups_log");
    const std::string log = scratch + "\\LOG.TXT";
    Result r;
    {
        guitest::WindowsVersion version("nt351");
        // The saved choices on this version: the Groups page searches all
        // groups, shortcuts are not searched.
        guitest::ClearSettings();
        r = RunCli("/old:C:\\QUILL /new:C:\\Apps\\Quillpad /ini:0 /registry:0 /apply \"/log:" + log + "\"");
    }
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    EXPECT_TRUE(r.Has("11 matches in Groups")) << r.output;
    EXPECT_TRUE(r.Has("Y\tQuillpad\tQuillpad\tGRP\tcmd\tC:\\QUILL\\QUILL.EXE")) << r.output;
    const std::vector<std::string> lines = FileLines(log);
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
    EXPECT_EQ(AfterHead(lines), expected) << Joined(lines);
    ASSERT_TRUE(guitest::WaitFor(
        [&] { return guitest::ReadAll(groups + "\\group0001.txt").find("C:\\QUILL") == std::string::npos; }, 10000));

    // /restore with the journal the log names: the group as it was, byte
    // for byte; a second restore changes nothing.
    ASSERT_GE(lines.size(), 5u);
    ASSERT_EQ(lines[4].rfind("Undo journal: ", 0), 0u);
    const std::string journal = lines[4].substr(14);
    for (const char* round : {"first", "second"}) {
        const Result restore = RunCli("\"/restore:" + journal + "\"");
        EXPECT_EQ(restore.exitCode, 0u) << round << "\n" << restore.output;
        EXPECT_NE(restore.output.find(std::string(round) == "first" ? "4 restored, 0 already" : "0 restored, 4 already"),
                  std::string::npos)
            << restore.output;
        EXPECT_TRUE(restore.output.find("Restore log stored as " + scratch + "\\MOVIX32UNDO-") != std::string::npos)
            << restore.output;
        EXPECT_TRUE(guitest::WaitFor(
            [&] { return guitest::ReadAll(groups + "\\group0001.txt") == quillpadBefore; }, 10000))
            << round;
    }
    guitest::RemoveTree(scratch);
    guitest::RemoveTree(groups);
}

TEST(Unattended, RestoreFromTheCommandLinePutsFilesAndTheRegistryBack) {
    const std::string ini = guitest::WindowsDir() + "\\MVXCLIUNDO.INI";
    const std::string bak = guitest::WindowsDir() + "\\MVXCLIUNDO.BAK";
    FileCleanup files{{ini, bak}};
    KeyCleanup keys{{{HKEY_CURRENT_USER, "Software\\MvxCliUndo"}}};
    guitest::WriteFile(ini, kIni);
    SetSz(HKEY_CURRENT_USER, "Software\\MvxCliUndo\\Tools_MVXOLD_CLI", "Path", "C:\\MVXOLD_CLI\\BIN");
    SetSz(HKEY_CURRENT_USER, "Software\\MvxCliUndo", "Exp", "%X%\\MVXOLD_CLI", REG_EXPAND_SZ);
    const std::vector<std::string> exportBefore = movix_test::RegExportLines("HKEY_CURRENT_USER\\Software\\MvxCliUndo");
    const std::string scratch = guitest::ScratchDir("cli_undo");
    const std::string log = scratch + "\\LOG.TXT";
    guitest::ClearSettings();
    const Result run = RunCli("/old:C:\\MVXOLD_CLI /new:D:\\MVXNEW_CLI /ini:2 /shortcuts:0 /registry:1 /apply \"/log:" +
                           log + "\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    ASSERT_NE(guitest::ReadAll(ini), kIni);
    ASSERT_NE(movix_test::RegExportLines("HKEY_CURRENT_USER\\Software\\MvxCliUndo"), exportBefore);
    const std::vector<std::string> lines = FileLines(log);
    ASSERT_GE(lines.size(), 5u);
    const std::string journal = lines[4].substr(14);

    const std::string restoreLog = scratch + "\\RESTORE.TXT";
    const Result restore = RunCli("\"/restore:" + journal + "\" \"/log:" + restoreLog + "\"");
    EXPECT_EQ(restore.exitCode, 0u) << restore.output;
    EXPECT_EQ(guitest::ReadAll(ini), kIni);
    EXPECT_EQ(movix_test::RegExportLines("HKEY_CURRENT_USER\\Software\\MvxCliUndo"), exportBefore);
    const std::vector<std::string> restoreLines = FileLines(restoreLog);
    ASSERT_GE(restoreLines.size(), 3u);
    EXPECT_EQ(restoreLines[2], "Undo journal: " + journal);
    EXPECT_TRUE(restore.Has("Restore log stored as " + restoreLog));

    // A journal that is not one: its own "*****" line, code 2, nothing done.
    guitest::WriteFile(scratch + "\\NOT-A-JOURNAL.TXT", "hello\n");
    const Result bad = RunCli("\"/restore:" + scratch + "\\NOT-A-JOURNAL.TXT\"");
    EXPECT_EQ(bad.exitCode, 2u) << bad.output;
    EXPECT_NE(bad.output.find("\n*****"), std::string::npos) << bad.output;
    guitest::RemoveTree(scratch);
}

namespace {

// Ctrl+C to a run in a process group of its own that shares this process's
// console. False when the event could not be sent.
bool PressCtrlC(const Cli& cli) {
    return GenerateConsoleCtrlEvent(CTRL_C_EVENT, cli.Pid()) != FALSE;
}

class ConsoleOfOurOwn {
  public:
    ConsoleOfOurOwn() {
        FreeConsole();
        allocated_ = AllocConsole() != FALSE;
        EXPECT_TRUE(allocated_) << GetLastError();
        // This process itself is not stopped by the Ctrl+C it sends.
        SetConsoleCtrlHandler(nullptr, TRUE);
    }
    ~ConsoleOfOurOwn() {
        SetConsoleCtrlHandler(nullptr, FALSE);
        if (allocated_)
            FreeConsole();
    }

  private:
    bool allocated_ = false;
};

}  // namespace

TEST(Unattended, CtrlCDuringTheSearchStopsItWritesTheLogAndExits4) {
    ConsoleOfOurOwn console;
    const std::string scratch = guitest::ScratchDir("cli_cancel_search");
    const std::string log = scratch + "\\LOG.TXT";
    // Every fixed drive, with an Old address on the Unix root's drive: a walk
    // far longer than the test.
    Cli cli("/old:Z:\\MVX_CLI_CANCELLED /new:Z:\\MVX_CLI_NEW /ini:4 /shortcuts:0 /registry:0 /apply \"/log:" + log +
                "\"",
            true);
    ASSERT_TRUE(cli.Started());
    ASSERT_TRUE(guitest::WaitFor([&] { return cli.OutputHas("Searching INI files"); }, 20000)) << cli.Output();
    Sleep(1000);
    ASSERT_TRUE(PressCtrlC(cli)) << GetLastError();
    const Result r = cli.Wait(30000);
    EXPECT_EQ(r.exitCode, 4u) << r.output;
    const std::vector<std::string> lines = FileLines(log);
    ASSERT_FALSE(lines.empty()) << r.output;
    EXPECT_EQ(lines[2], "Old address: Z:\\MVX_CLI_CANCELLED");
    EXPECT_EQ(lines.back(), "***** The search was stopped because Ctrl+C was pressed: nothing was changed.");
    EXPECT_TRUE(r.Has(lines.back()));
    guitest::RemoveTree(scratch);
}

TEST(Unattended, CtrlCDuringTheReplacementStopsBetweenTargetsAndExits4) {
    ConsoleOfOurOwn console;
    KeyCleanup keys{{{HKEY_CURRENT_USER, "Software\\MvxCliStop"}}};
    // Enough keys that the replacement is still going when Ctrl+C comes.
    constexpr int kKeys = 1500;
    for (int i = 0; i < kKeys; ++i)
        SetSz(HKEY_CURRENT_USER, "Software\\MvxCliStop\\K" + std::to_string(10000 + i), "p", "C:\\MVXSTOP_OLD\\x");
    const std::string scratch = guitest::ScratchDir("cli_cancel_replace");
    const std::string log = scratch + "\\LOG.TXT";
    guitest::ClearSettings();
    Cli cli("/old:C:\\MVXSTOP_OLD /new:C:\\MVXSTOP_NEW /ini:0 /shortcuts:0 /registry:1 /apply \"/log:" + log + "\"",
            true);
    ASSERT_TRUE(cli.Started());
    ASSERT_TRUE(guitest::WaitFor([&] { return cli.OutputHas("Updating Registry"); }, 120000)) << cli.Output();
    ASSERT_TRUE(PressCtrlC(cli)) << GetLastError();
    const Result r = cli.Wait(60000);
    EXPECT_EQ(r.exitCode, 4u) << r.output.substr(r.output.size() > 2000 ? r.output.size() - 2000 : 0);
    const std::vector<std::string> lines = FileLines(log);
    const auto stopped = std::find(lines.begin(), lines.end(), "***** The run was stopped because Ctrl+C was pressed.");
    ASSERT_NE(stopped, lines.end());
    ASSERT_NE(stopped + 1, lines.end());
    // Every key the log lists as not done is unchanged; every other one was
    // replaced.
    int notDone = 0;
    for (auto it = stopped + 2; it != lines.end(); ++it) {
        const std::string prefix = "*****   Registry key HKCU\\Software\\MvxCliStop\\";
        ASSERT_EQ(it->rfind(prefix, 0), 0u) << *it;
        EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\MvxCliStop\\" + it->substr(prefix.size()), "p"),
                  "C:\\MVXSTOP_OLD\\x");
        ++notDone;
    }
    EXPECT_GT(notDone, 0) << "the run ended before Ctrl+C came";
    EXPECT_EQ(*(stopped + 1), "***** Not done (" + std::to_string(notDone) + "):");
    int replaced = 0;
    for (int i = 0; i < kKeys; ++i)
        if (GetSz(HKEY_CURRENT_USER, "Software\\MvxCliStop\\K" + std::to_string(10000 + i), "p") ==
            "C:\\MVXSTOP_NEW\\x")
            ++replaced;
    EXPECT_EQ(replaced + notDone, kKeys);
    guitest::RemoveTree(scratch);
}
