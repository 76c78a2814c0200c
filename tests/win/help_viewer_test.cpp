// The help viewer movixhlp.exe, started and driven through the program's
// own help requests, with the help file of the build. Needs a display.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/help_file.h"
#include "app/help_protocol.h"
#include "app/help_win.h"
#include "platform/handles.h"
#include "platform/wide_text_win.h"

using namespace movix;

namespace {

std::string ExeFolder() {
    char buffer[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path(buffer, n);
    return path.substr(0, path.find_last_of("\\/"));
}

// The test program runs in <build>\tests; the program, its viewer and its
// help file are in <build>.
std::string BuildFolder() {
    std::string tests = ExeFolder();
    return tests.substr(0, tests.find_last_of("\\/"));
}

bool FileExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RunningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// Under Wine windows need an X display; without one, window tests cannot run.
bool DisplayAvailable() {
    if (RunningUnderWine() && ::GetEnvironmentVariableA("DISPLAY", nullptr, 0) == 0)
        return false;
    HWND probe = ::CreateWindowExA(0, "STATIC", "probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (!probe)
        return false;
    ::DestroyWindow(probe);
    return true;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 8000) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        ::Sleep(25);
    }
}

DWORD ProcessOf(HWND hwnd) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

std::string ClassOf(HWND hwnd) {
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

// Top-level windows of one class (and, when pid is not 0, of one process).
std::vector<HWND> TopLevelWindows(const std::string& cls, DWORD pid, bool visibleOnly = true) {
    struct Search {
        std::string cls;
        DWORD pid;
        bool visibleOnly;
        std::vector<HWND> found;
    } search{cls, pid, visibleOnly, {}};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (ClassOf(hwnd) == s->cls && (!s->pid || ProcessOf(hwnd) == s->pid) &&
                (!s->visibleOnly || ::IsWindowVisible(hwnd)))
                s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Text of a window of another process, asked of the window itself.
std::string TextOf(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &length))
        return "<no answer>";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                               3000, &copied))
        return "<no answer>";
    text.resize(copied);
    return text;
}

// All texts of a message box: its caption and its static texts.
std::string MessageBoxText(HWND box) {
    std::string all = TextOf(box);
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM lp) -> BOOL {
            *reinterpret_cast<std::string*>(lp) += "|" + TextOf(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

class HelpViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DisplayAvailable())
            GTEST_SKIP() << "no display for windows (set DISPLAY to an X server)";
        viewer_ = BuildFolder() + "\\movixhlp.exe";
        const std::string builtHelp = BuildFolder() + "\\MOVIX32.HLP";
        ASSERT_TRUE(FileExists(viewer_)) << viewer_ << " is missing: build the movixhlp target";
        ASSERT_TRUE(FileExists(builtHelp)) << builtHelp << " is missing: build the movix32 target";

        // Each test has a copy of the help file of its own, and so a viewer
        // of its own: tests running side by side do not share one.
        char temp[MAX_PATH];
        ::GetTempPathA(sizeof temp, temp);
        static int counter = 0;
        folder_ = std::string(temp) + "movixhlp_test_" + std::to_string(::GetCurrentProcessId()) + "_" +
                  std::to_string(++counter);
        ::CreateDirectoryA(folder_.c_str(), nullptr);
        helpFile_ = folder_ + "\\MOVIX32.HLP";
        ASSERT_TRUE(::CopyFileA(builtHelp.c_str(), helpFile_.c_str(), FALSE));

        std::string text;
        ASSERT_EQ(ReadHelpFileText(helpFile_, text), HelpFileLoad::Ok);
        file_ = HelpFile::Parse(text);
        ASSERT_NE(file_.FindTopic(2), nullptr);
        ASSERT_NE(file_.FindTopic(3), nullptr);
        ASSERT_NE(file_.FindPopup(23), nullptr);
    }

    void TearDown() override {
        if (helpFile_.empty())
            return;
        if (HWND server = FindHelpViewer(helpFile_)) {
            ObjectHandle process(::OpenProcess(SYNCHRONIZE, FALSE, ProcessOf(server)));
            WinHelpRequestWithViewer(viewer_, nullptr, helpFile_, HELP_QUIT, 0);
            if (process)
                ::WaitForSingleObject(process.get(), 5000);
        }
        for (HWND box : TopLevelWindows("#32770", 0))
            if (TextOf(box) == kHelpMessageCaption)
                ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        ::DeleteFileA(helpFile_.c_str());
        ::RemoveDirectoryA(folder_.c_str());
    }

    bool Request(unsigned command, unsigned long data) {
        return WinHelpRequestWithViewer(viewer_, nullptr, helpFile_, command, data);
    }

    DWORD ViewerProcess() {
        HWND server = FindHelpViewer(helpFile_);
        return server ? ProcessOf(server) : 0;
    }

    HWND WaitForWindow(const std::string& cls, DWORD pid) {
        HWND found = nullptr;
        WaitFor([&] {
            auto all = TopLevelWindows(cls, pid);
            found = all.empty() ? nullptr : all.front();
            return found != nullptr;
        });
        return found;
    }

    static std::string CaptionFor(const HelpTopic* topic) { return kHelpWindowCaptionPrefix + topic->title; }

    std::string viewer_;
    std::string folder_;
    std::string helpFile_;
    HelpFile file_;
};

TEST_F(HelpViewerTest, TopicRequest_OpensTheHelpWindowOnThatTopic) {
    ASSERT_TRUE(Request(HELP_CONTEXT, 2));
    DWORD pid = ViewerProcess();
    ASSERT_NE(pid, 0u);
    HWND window = WaitForWindow(kHelpWindowClass, pid);
    ASSERT_NE(window, nullptr);
    const HelpTopic* topic = file_.FindTopic(2);
    EXPECT_TRUE(WaitFor([&] { return TextOf(window) == CaptionFor(topic); })) << TextOf(window);
    HWND text = ::FindWindowExA(window, nullptr, "Edit", nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(TextOf(text), FormatHelpText(topic->paragraphs, "\r\n"));
    // The server window carries the help file's full path, not shown.
    HWND server = FindHelpViewer(helpFile_);
    EXPECT_FALSE(::IsWindowVisible(server));
}

TEST_F(HelpViewerTest, FurtherRequests_UpdateTheSameWindowOfTheOneViewer) {
    ASSERT_TRUE(Request(HELP_CONTEXT, 2));
    DWORD pid = ViewerProcess();
    HWND window = WaitForWindow(kHelpWindowClass, pid);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitFor([&] { return TextOf(window) == CaptionFor(file_.FindTopic(2)); }));

    ASSERT_TRUE(Request(HELP_CONTEXT, 3));
    EXPECT_TRUE(WaitFor([&] { return TextOf(window) == CaptionFor(file_.FindTopic(3)); })) << TextOf(window);
    HWND text = ::FindWindowExA(window, nullptr, "Edit", nullptr);
    EXPECT_EQ(TextOf(text), FormatHelpText(file_.FindTopic(3)->paragraphs, "\r\n"));

    // The contents, asked for the way older programs did.
    ASSERT_TRUE(Request(HELP_CONTENTS, 0));
    EXPECT_TRUE(WaitFor([&] { return TextOf(window) == CaptionFor(file_.FindTopic(0)); })) << TextOf(window);

    EXPECT_EQ(ViewerProcess(), pid);
    EXPECT_EQ(TopLevelWindows(kHelpWindowClass, pid).size(), 1u);
    EXPECT_EQ(TopLevelWindows(kHelpServerClass, 0, false).size(), 1u);
}

TEST_F(HelpViewerTest, ContentsAndBackButtons_MoveBetweenTopics) {
    ASSERT_TRUE(Request(HELP_CONTEXT, 2));
    HWND window = WaitForWindow(kHelpWindowClass, ViewerProcess());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitFor([&] { return TextOf(window) == CaptionFor(file_.FindTopic(2)); }));
    HWND contents = ::FindWindowExA(window, nullptr, "Button", "&Contents");
    HWND back = ::FindWindowExA(window, nullptr, "Button", "&Back");
    ASSERT_NE(contents, nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(back));

    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(contents, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 3000, &ignored);
    EXPECT_TRUE(WaitFor([&] { return TextOf(window) == CaptionFor(file_.FindTopic(0)); })) << TextOf(window);
    EXPECT_TRUE(::IsWindowEnabled(back));

    ::SendMessageTimeoutA(back, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 3000, &ignored);
    EXPECT_TRUE(WaitFor([&] { return TextOf(window) == CaptionFor(file_.FindTopic(2)); })) << TextOf(window);
    EXPECT_FALSE(::IsWindowEnabled(back));

    // The list names every topic of the file.
    HWND list = ::FindWindowExA(window, nullptr, "ListBox", nullptr);
    ASSERT_NE(list, nullptr);
    DWORD_PTR count = 0;
    ::SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 3000, &count);
    EXPECT_EQ(count, file_.topics().size());
}

TEST_F(HelpViewerTest, PopupRequest_ShowsTheTextInATopmostPopupBesideThePointer) {
    ::SetCursorPos(400, 300);
    POINT pointer = {};
    ::GetCursorPos(&pointer);
    ASSERT_TRUE(Request(HELP_CONTEXTPOPUP, 23));
    DWORD pid = ViewerProcess();
    HWND popup = WaitForWindow(kHelpPopupClass, pid);
    ASSERT_NE(popup, nullptr);

    char text[4096] = {};
    ::GetWindowTextA(popup, text, sizeof text);
    EXPECT_EQ(std::string(text), PopupTextFor(file_, 23, "\r\n"));
    EXPECT_TRUE(::GetWindowLongA(popup, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NE(::GetWindowLongA(popup, GWL_STYLE) & WS_CAPTION, WS_CAPTION) << "a popup has no title bar";
    RECT rc = {};
    ::GetWindowRect(popup, &rc);
    const LONG dx = pointer.x < rc.left ? rc.left - pointer.x : pointer.x > rc.right ? pointer.x - rc.right : 0;
    const LONG dy = pointer.y < rc.top ? rc.top - pointer.y : pointer.y > rc.bottom ? pointer.y - rc.bottom : 0;
    EXPECT_LE(dx, 40) << "popup at " << rc.left << "," << rc.top << " pointer " << pointer.x << "," << pointer.y;
    EXPECT_LE(dy, 40) << "popup at " << rc.left << "," << rc.top << " pointer " << pointer.x << "," << pointer.y;
    // No help window for a popup.
    EXPECT_TRUE(TopLevelWindows(kHelpWindowClass, pid).empty());

    // A second popup takes the place of the first.
    ASSERT_TRUE(Request(HELP_CONTEXTPOPUP, 24));
    ASSERT_TRUE(WaitFor([&] {
        auto all = TopLevelWindows(kHelpPopupClass, pid);
        if (all.size() != 1)
            return false;
        char t[4096] = {};
        ::GetWindowTextA(all.front(), t, sizeof t);
        return std::string(t) == PopupTextFor(file_, 24, "\r\n");
    }));

    // A key closes it.
    HWND second = TopLevelWindows(kHelpPopupClass, pid).front();
    ::PostMessageA(second, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(second); }));

    // And so does a click.
    ASSERT_TRUE(Request(HELP_CONTEXTPOPUP, 55));
    HWND third = WaitForWindow(kHelpPopupClass, pid);
    ASSERT_NE(third, nullptr);
    ::PostMessageA(third, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(third); }));
    // The viewer stays for the next request.
    EXPECT_EQ(ViewerProcess(), pid);
}

// A program installed in a folder named in another script: the viewer is
// found, started and serves the help file there, whatever the code page.
TEST_F(HelpViewerTest, HelpFileInAFolderNamedInAnyScriptIsServed) {
    const std::wstring folder = Utf8ToWide(folder_) + L"\\\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b \u65e5\u672c";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring help = folder + L"\\MOVIX32.HLP";
    ASSERT_TRUE(::CopyFileW(Utf8ToWide(helpFile_).c_str(), help.c_str(), FALSE));
    const std::string helpUtf8 = WideToUtf8(help);
    ASSERT_TRUE(WinHelpRequestWithViewer(viewer_, nullptr, helpUtf8, HELP_CONTEXT, 2));
    HWND server = FindHelpViewer(helpUtf8);
    ASSERT_NE(server, nullptr) << "no viewer serves the file";
    HWND window = WaitForWindow(kHelpWindowClass, ProcessOf(server));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(window), CaptionFor(file_.FindTopic(2)));
    ObjectHandle process(::OpenProcess(SYNCHRONIZE, FALSE, ProcessOf(server)));
    EXPECT_TRUE(WinHelpRequestWithViewer(viewer_, nullptr, helpUtf8, HELP_QUIT, 0));
    if (process)
        ::WaitForSingleObject(process.get(), 5000);
    ::DeleteFileW(help.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST_F(HelpViewerTest, Quit_ClosesEveryWindowAndEndsTheViewer) {
    ASSERT_TRUE(Request(HELP_CONTEXT, 2));
    DWORD pid = ViewerProcess();
    ASSERT_NE(WaitForWindow(kHelpWindowClass, pid), nullptr);
    ASSERT_TRUE(Request(HELP_CONTEXTPOPUP, 23));
    ASSERT_NE(WaitForWindow(kHelpPopupClass, pid), nullptr);
    ObjectHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ASSERT_TRUE(process);

    EXPECT_TRUE(Request(HELP_QUIT, 0));
    EXPECT_EQ(::WaitForSingleObject(process.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(FindHelpViewer(helpFile_), nullptr);
    EXPECT_TRUE(TopLevelWindows(kHelpWindowClass, pid, false).empty());
    EXPECT_TRUE(TopLevelWindows(kHelpPopupClass, pid, false).empty());
}

TEST_F(HelpViewerTest, Quit_WithoutARunningViewer_ReturnsAtOnceAndStartsNone) {
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(Request(HELP_QUIT, 0));
    EXPECT_LT(::GetTickCount() - start, 1000u);
    ::Sleep(300);
    EXPECT_EQ(FindHelpViewer(helpFile_), nullptr);

    // A viewer killed from outside leaves nothing to wait for either.
    ASSERT_TRUE(Request(HELP_CONTEXT, 2));
    DWORD pid = ViewerProcess();
    ObjectHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    ASSERT_TRUE(process);
    ::TerminateProcess(process.get(), 9);
    ::WaitForSingleObject(process.get(), 5000);
    ASSERT_TRUE(WaitFor([&] { return FindHelpViewer(helpFile_) == nullptr; }));
    const DWORD again = ::GetTickCount();
    EXPECT_TRUE(Request(HELP_QUIT, 0));
    EXPECT_LT(::GetTickCount() - again, 1000u);
}

TEST_F(HelpViewerTest, UnknownContext_IsReportedByTheViewerWhichStaysReady) {
    ASSERT_TRUE(Request(HELP_CONTEXT, 999));
    DWORD pid = ViewerProcess();
    ASSERT_NE(pid, 0u);
    HWND box = WaitForWindow("#32770", pid);
    ASSERT_NE(box, nullptr);
    std::string text = MessageBoxText(box);
    EXPECT_NE(text.find(kHelpMessageCaption), std::string::npos) << text;
    EXPECT_NE(text.find("Help topic not found"), std::string::npos) << text;
    EXPECT_NE(text.find("999"), std::string::npos) << text;
    EXPECT_TRUE(TopLevelWindows(kHelpWindowClass, pid).empty());
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));

    // A popup for a context with neither popup nor topic, likewise.
    ASSERT_TRUE(Request(HELP_CONTEXTPOPUP, 998));
    box = WaitForWindow("#32770", pid);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(MessageBoxText(box).find("Help topic not found"), std::string::npos);
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));

    ASSERT_TRUE(Request(HELP_CONTEXT, 3));
    HWND window = WaitForWindow(kHelpWindowClass, pid);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitFor([&] { return TextOf(window) == CaptionFor(file_.FindTopic(3)); }));
    EXPECT_EQ(ViewerProcess(), pid);
}

TEST_F(HelpViewerTest, QuitWhileANotFoundMessageIsOpen_StillEndsTheViewer) {
    ASSERT_TRUE(Request(HELP_CONTEXT, 999));
    DWORD pid = ViewerProcess();
    ASSERT_NE(WaitForWindow("#32770", pid), nullptr);
    ObjectHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ASSERT_TRUE(process);
    EXPECT_TRUE(Request(HELP_QUIT, 0));
    EXPECT_EQ(::WaitForSingleObject(process.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST_F(HelpViewerTest, MissingHelpFile_ReturnsFalseAndTheViewerTellsTheUser) {
    const std::string missing = folder_ + "\\NOTHERE.HLP";
    EXPECT_FALSE(WinHelpRequestWithViewer(viewer_, nullptr, missing, HELP_CONTEXT, 2));
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        for (HWND candidate : TopLevelWindows("#32770", 0))
            if (MessageBoxText(candidate).find("NOTHERE.HLP") != std::string::npos)
                box = candidate;
        return box != nullptr;
    }));
    std::string text = MessageBoxText(box);
    EXPECT_NE(text.find(kHelpMessageCaption), std::string::npos) << text;
    EXPECT_NE(text.find("Cannot find the help file"), std::string::npos) << text;
    ObjectHandle process(::OpenProcess(SYNCHRONIZE, FALSE, ProcessOf(box)));
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    // The viewer had nothing to serve and ends once the user has read it.
    if (process) {
        EXPECT_EQ(::WaitForSingleObject(process.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    }
    EXPECT_EQ(FindHelpViewer(missing), nullptr);
    // Quit for a missing file has nothing to do.
    EXPECT_TRUE(WinHelpRequestWithViewer(viewer_, nullptr, missing, HELP_QUIT, 0));
}

TEST_F(HelpViewerTest, MissingViewerProgram_ReturnsFalse) {
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(WinHelpRequestWithViewer(folder_ + "\\nothere.exe", nullptr, helpFile_, HELP_CONTEXT, 2));
    EXPECT_LT(::GetTickCount() - start, 2000u);
    EXPECT_FALSE(WinHelpRequestWithViewer(viewer_, nullptr, helpFile_, 77, 2)) << "unknown command";
    EXPECT_EQ(FindHelpViewer(helpFile_), nullptr);
}

TEST_F(HelpViewerTest, ClosingTheHelpWindow_EndsTheViewerAndTheNextRequestStartsAnother) {
    ASSERT_TRUE(Request(HELP_CONTEXT, 2));
    DWORD pid = ViewerProcess();
    HWND window = WaitForWindow(kHelpWindowClass, pid);
    ASSERT_NE(window, nullptr);
    ObjectHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));

    ASSERT_TRUE(Request(HELP_CONTEXT, 3));
    DWORD second = ViewerProcess();
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, pid);
    HWND again = WaitForWindow(kHelpWindowClass, second);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(WaitFor([&] { return TextOf(again) == CaptionFor(file_.FindTopic(3)); }));
}

// The program's own call looks for the viewer beside the running program;
// here that is the test program, so the viewer is put beside it.
TEST_F(HelpViewerTest, WinHelpRequest_UsesTheViewerBesideTheRunningProgram) {
    const std::string beside = ExeFolder() + "\\" + kHelpViewerExeName;
    EXPECT_EQ(DefaultHelpViewerPath(), beside);
    if (!::CopyFileA(viewer_.c_str(), beside.c_str(), FALSE)) {
        ASSERT_TRUE(FileExists(beside)) << "cannot put the viewer beside the test program";
    }

    ASSERT_TRUE(WinHelpRequest(nullptr, helpFile_, HELP_CONTEXT, 0));
    DWORD pid = ViewerProcess();
    HWND window = WaitForWindow(kHelpWindowClass, pid);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitFor([&] { return TextOf(window) == CaptionFor(file_.FindTopic(0)); }));

    ObjectHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    EXPECT_TRUE(WinHelpRequest(nullptr, helpFile_, HELP_QUIT, 0));
    EXPECT_EQ(::WaitForSingleObject(process.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    ::DeleteFileA(beside.c_str());
}

}  // namespace
