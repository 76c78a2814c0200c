// The release as a Windows user meets it: the installer run silently for all
// users and for the current user alone, the program run from where it was
// installed, and the uninstaller leaving nothing of it behind; and the
// portable zip run from a folder named in scripts other than Latin. The
// release is made and the zip unpacked by package.cmake before these run.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "movix_version.h"

namespace {

const wchar_t* const kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Movix 32";
const wchar_t* const kSettingsKey = L"Software\\Kestrelia\\MOVIX32\\1.0";
const wchar_t* const kSettingsBackupKey = L"Software\\MovixReleaseTest\\SavedSettings";
const wchar_t* const kProbeKey = L"Software\\MovixReleaseTest\\Probe";
const wchar_t* const kProbeValue = L"C:\\release-test\\old\\app.exe";
const char* const kVersionLine = "Movix 32, version " MOVIX_VERSION_TEXT;
// Where package.cmake unpacks the zip: "Программы 移動" (the same name there).
const wchar_t* const kUnpackDir = L"C:\\release-test\\\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b \u79fb\u52d5";

struct Outcome {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs a command line to its end with both outputs in a pipe.
Outcome RunToEnd(std::wstring commandLine) {
    Outcome outcome;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return outcome;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                               nullptr);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = input;
    si.hStdOutput = si.hStdError = write;
    PROCESS_INFORMATION pi = {};
    const BOOL started =
        CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(write);
    CloseHandle(input);
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0)
            outcome.output.append(buffer, got);
        WaitForSingleObject(pi.hProcess, 120000);
        GetExitCodeProcess(pi.hProcess, &outcome.exitCode);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(read);
    return outcome;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring ReadText(HKEY root, const wchar_t* path, const wchar_t* name) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, path, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"";
    return text;
}

DWORD ReadNumber(HKEY root, const wchar_t* path, const wchar_t* name) {
    DWORD number = 0, size = sizeof number;
    RegGetValueW(root, path, name, RRF_RT_REG_DWORD, nullptr, &number, &size);
    return number;
}

std::wstring Folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring ShortcutTarget(const std::wstring& file) {
    std::wstring target;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            wchar_t path[MAX_PATH] = {};
            if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) &&
                SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)))
                target = path;
            persist->Release();
        }
        link->Release();
    }
    return target;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// A dry run from the given program finds the planted value and changes
// nothing; /? names the version.
void ExpectProgramWorksFrom(const std::wstring& exe) {
    const Outcome usage = RunToEnd(Quoted(exe) + L" /?");
    EXPECT_EQ(0u, usage.exitCode) << usage.output;
    EXPECT_NE(std::string::npos, usage.output.find(kVersionLine)) << usage.output;

    const Outcome dry =
        RunToEnd(Quoted(exe) + L" /old:C:\\release-test\\old /new:C:\\release-test\\new /ini:0 /groups:0 /shortcuts:0 "
                          L"/registry:1");
    EXPECT_EQ(1u, dry.exitCode) << dry.output;
    EXPECT_NE(std::string::npos, dry.output.find("MovixReleaseTest\\Probe")) << dry.output;
    EXPECT_EQ(kProbeValue, ReadText(HKEY_CURRENT_USER, kProbeKey, L"Path"));
}

class Release : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The uninstaller may delete the settings: this prefix's are kept
        // aside and put back afterwards.
        HKEY backup = nullptr;
        RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsBackupKey);
        if (KeyExists(HKEY_CURRENT_USER, kSettingsKey) &&
            RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsBackupKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup,
                            nullptr) == ERROR_SUCCESS) {
            HKEY settings = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &settings) == ERROR_SUCCESS) {
                RegCopyTreeW(settings, nullptr, backup);
                RegCloseKey(settings);
            }
            RegCloseKey(backup);
        }
    }
    static void TearDownTestSuite() {
        HKEY backup = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsBackupKey, 0, KEY_READ, &backup) == ERROR_SUCCESS) {
            HKEY settings = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings,
                                nullptr) == ERROR_SUCCESS) {
                RegCopyTreeW(backup, nullptr, settings);
                RegCloseKey(settings);
            }
            RegCloseKey(backup);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\MovixReleaseTest");
    }
    void SetUp() override {
        CoInitialize(nullptr);
        HKEY probe = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kProbeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &probe, nullptr));
        RegSetValueExW(probe, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(kProbeValue),
                       static_cast<DWORD>((wcslen(kProbeValue) + 1) * sizeof(wchar_t)));
        RegCloseKey(probe);
    }
    void TearDown() override { CoUninitialize(); }
};

std::wstring ReleaseFile(const wchar_t* pattern) {
    const std::wstring dir = MOVIX_RELEASE_DIR_W;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\" + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return L"";
    FindClose(find);
    return dir + L"\\" + found.cFileName;
}

// The quiet uninstall command with more switches: they go before "_?=",
// which must come last.
std::wstring WithSwitches(const std::wstring& quiet, const std::wstring& switches) {
    const std::size_t inPlace = quiet.find(L" _?=");
    if (inPlace == std::wstring::npos)
        return quiet + switches;
    return quiet.substr(0, inPlace) + switches + quiet.substr(inPlace);
}

struct InstallMode {
    const wchar_t* option;       // the installer's and uninstaller's switch
    HKEY root;                   // where the uninstall entry goes
    int programsFolder;          // where the Start Menu shortcut goes
    int installParent;           // a folder the install lies below
    const wchar_t* uninstallOptions;
    bool settingsRemoved;
};

TEST_F(Release, InstallerInstallsRunsAndUninstallsLeavingNothingBehind) {
    const std::wstring setup = ReleaseFile(L"Movix32-" MOVIX_VERSION_TEXT_W L"-win64-setup.exe");
    ASSERT_FALSE(setup.empty()) << "no installer in " << std::wstring(MOVIX_RELEASE_DIR_W);
    const InstallMode modes[] = {
        {L"/AllUsers", HKEY_LOCAL_MACHINE, CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAM_FILES, L"", false},
        {L"/CurrentUser", HKEY_CURRENT_USER, CSIDL_PROGRAMS, CSIDL_LOCAL_APPDATA, L" /REMOVESETTINGS", true},
    };
    for (const InstallMode& mode : modes) {
        SCOPED_TRACE(testing::Message() << (mode.root == HKEY_LOCAL_MACHINE ? "all users" : "current user"));
        ASSERT_EQ(0u, RunToEnd(Quoted(setup) + L" /S " + mode.option).exitCode);

        // The uninstall entry, as Apps & Features and Programs and Features read it.
        const std::wstring dir = ReadText(mode.root, kUninstallKey, L"InstallLocation");
        ASSERT_FALSE(dir.empty());
        const std::wstring parent = Folder(mode.installParent);
        EXPECT_TRUE(SameText(parent, dir.substr(0, parent.size()))) << "installed in the wrong place";
        EXPECT_EQ(L"Movix 32", ReadText(mode.root, kUninstallKey, L"DisplayName"));
        EXPECT_EQ(MOVIX_VERSION_TEXT_W, ReadText(mode.root, kUninstallKey, L"DisplayVersion"));
        EXPECT_EQ(L"Kestrelia", ReadText(mode.root, kUninstallKey, L"Publisher"));
        EXPECT_EQ(dir + L"\\movix32.exe,0", ReadText(mode.root, kUninstallKey, L"DisplayIcon"));
        EXPECT_GT(ReadNumber(mode.root, kUninstallKey, L"EstimatedSize"), 1000u);  // kilobytes
        const std::wstring quiet = ReadText(mode.root, kUninstallKey, L"QuietUninstallString");
        ASSERT_FALSE(quiet.empty());
        for (const wchar_t* name : {L"movix32.exe", L"movixhlp.exe", L"MOVIX32.HLP", L"README.txt", L"LICENSE.txt"})
            EXPECT_TRUE(Exists(dir + L"\\" + name)) << "not installed: " << name;

        const std::wstring shortcut = Folder(mode.programsFolder) + L"\\Movix 32.lnk";
        EXPECT_TRUE(SameText(dir + L"\\movix32.exe", ShortcutTarget(shortcut)));

        ExpectProgramWorksFrom(dir + L"\\movix32.exe");

        // Settings of the user: kept unless the uninstaller is asked to remove them.
        for (const wchar_t* key : {L"Software\\Kestrelia\\MOVIX32\\1.0\\Settings", L"Software\\Kestrelia\\MOVIX32\\Undo"}) {
            HKEY settings = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                     &settings, nullptr));
            RegCloseKey(settings);
        }

        // The quiet uninstall runs in place and returns its exit code; a
        // copy of it removes the uninstaller and the folder afterwards.
        EXPECT_NE(std::wstring::npos, quiet.find(L" _?=")) << "the quiet uninstall would not wait";
        EXPECT_EQ(0u, RunToEnd(WithSwitches(quiet, mode.uninstallOptions)).exitCode);
        for (int i = 0; i < 600 && Exists(dir); ++i)
            Sleep(100);
        EXPECT_FALSE(Exists(dir)) << "the install folder is still there";
        EXPECT_FALSE(KeyExists(mode.root, kUninstallKey));
        EXPECT_FALSE(Exists(shortcut));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
        EXPECT_EQ(!mode.settingsRemoved, KeyExists(HKEY_CURRENT_USER, kSettingsKey));
        EXPECT_EQ(!mode.settingsRemoved, KeyExists(HKEY_CURRENT_USER, L"Software\\Kestrelia\\MOVIX32\\Undo"));
    }
}

// A quiet uninstall while the installed program runs fails with a non-zero
// exit code and changes nothing; once the program has ended it goes through.
TEST_F(Release, QuietUninstallWhileTheProgramRunsFailsAndChangesNothing) {
    const std::wstring setup = ReleaseFile(L"Movix32-" MOVIX_VERSION_TEXT_W L"-win64-setup.exe");
    ASSERT_FALSE(setup.empty());
    ASSERT_EQ(0u, RunToEnd(Quoted(setup) + L" /S /CurrentUser").exitCode);
    const std::wstring dir = ReadText(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation");
    const std::wstring quiet = ReadText(HKEY_CURRENT_USER, kUninstallKey, L"QuietUninstallString");
    ASSERT_FALSE(dir.empty());
    ASSERT_FALSE(quiet.empty());

    // The wizard, as a user leaves it open.
    std::wstring command = Quoted(dir + L"\\movix32.exe");
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForInputIdle(pi.hProcess, 30000);
    Sleep(1000);
    ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(pi.hProcess, 0)) << "the program did not stay open";

    const Outcome refused = RunToEnd(quiet);
    EXPECT_NE(0u, refused.exitCode) << "the uninstall went on while the program ran";
    for (const wchar_t* name : {L"movix32.exe", L"movixhlp.exe", L"MOVIX32.HLP", L"README.txt", L"Uninstall.exe"})
        EXPECT_TRUE(Exists(dir + L"\\" + name)) << "removed while the program ran: " << name;
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_TRUE(Exists(Folder(CSIDL_PROGRAMS) + L"\\Movix 32.lnk"));

    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(0u, RunToEnd(quiet).exitCode);
    for (int i = 0; i < 600 && Exists(dir); ++i)
        Sleep(100);
    EXPECT_FALSE(Exists(dir)) << "the install folder is still there";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
}

TEST_F(Release, ZipRunsFromAFolderNamedInOtherScripts) {
    const std::wstring exe = std::wstring(kUnpackDir) + L"\\Movix32-" MOVIX_VERSION_TEXT_W L"-win64\\movix32.exe";
    ASSERT_TRUE(Exists(exe));
    for (const wchar_t* name : {L"movixhlp.exe", L"MOVIX32.HLP", L"README.txt", L"LICENSE.txt"})
        EXPECT_TRUE(Exists(exe.substr(0, exe.rfind(L'\\') + 1) + name)) << "not in the zip: " << name;
    // The README for Windows users, not the developers' one.
    std::string readme;
    HANDLE file = CreateFileW((exe.substr(0, exe.rfind(L'\\') + 1) + L"README.txt").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            readme.append(buffer, got);
        CloseHandle(file);
    }
    EXPECT_NE(std::string::npos, readme.find("movix32 /restore:")) << readme.substr(0, 200);
    EXPECT_EQ(std::string::npos, readme.find("scripts/run.sh")) << "the developers' README";
    ExpectProgramWorksFrom(exe);
}

}  // namespace
