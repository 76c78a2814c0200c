// The search thread framework against real threads, a real message loop and
// real folder trees under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/search_thread_win.h"
#include "core/strings.h"
#include "platform/ui_dispatch_win.h"
#include "search_test_support_win.h"
#include "targets/ini_files_win.h"

using namespace movix;
using namespace movix_test;

namespace {

// A thread whose body is given by the test.
class LambdaThread : public TMovixThread {
public:
    LambdaThread(std::function<void(LambdaThread&)> body,
                 TFoundEvent onFound = nullptr,
                 HWND label = nullptr,
                 std::atomic<bool>* destroyed = nullptr)
        : TMovixThread(KindIni, "c:\\Old", label, std::move(onFound)), body_(std::move(body)), destroyed_(destroyed) {}
    ~LambdaThread() override {
        if (destroyed_)
            *destroyed_ = true;
    }

    using TMovixThread::Context;
    using TMovixThread::Item;
    using TMovixThread::Matches;
    using TMovixThread::Path;
    using TMovixThread::ReportHit;
    using TMovixThread::SearchUpper;
    using TMovixThread::ShowProgress;
    using TMovixThread::SubType;
    using TMovixThread::Synchronize;

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(LambdaThread&)> body_;
    std::atomic<bool>* destroyed_;
};

// Records every file the walk hands to ProcessFile, as folder\name.
class RecordingWalk : public TMovixFileThread {
public:
    RecordingWalk(int mode, std::vector<std::string>* seen, HWND label = nullptr)
        : TMovixFileThread(KindIni, "x", label, nullptr, mode), seen_(seen) {}

    std::string WindowsFolder() const { return WindowsDir; }
    // Stops the walk from the worker once this many files were seen.
    std::size_t stopAfter = 0;

protected:
    void ProcessFile(const std::string& name) override {
        seen_->push_back(Path + "\\" + name);
        if (stopAfter != 0 && seen_->size() >= stopAfter)
            Terminate();
    }
    void SearchOwnList() override { seen_->push_back("<own list>"); }

private:
    std::vector<std::string>* seen_;
};

// The walk as two listings per folder ("*.INI" for the files, "*.*" for the
// folders), the reference for the order of the results.
void ReferenceWalk(const std::string& folder, bool tree, std::vector<std::string>& out) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*.INI").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY)))
                out.push_back(folder + "\\" + data.cFileName);
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    if (!tree)
        return;
    find = ::FindFirstFileA((folder + "\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::string> dirs;
    do {
        const std::string name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) && name != "." && name != "..")
            dirs.push_back(name);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    for (const auto& d : dirs)
        ReferenceWalk(folder + "\\" + d, true, out);
}

// The folders of a tree in walk order.
void ReferenceFolders(const std::string& folder, std::vector<std::string>& out) {
    out.push_back(folder);
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::string> dirs;
    do {
        const std::string name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
            dirs.push_back(name);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    for (const auto& d : dirs)
        ReferenceFolders(folder + "\\" + d, out);
}

class SearchThreadTest : public UiFixture {};

}  // namespace

TEST_F(SearchThreadTest, ThreadIsCreatedSuspendedAndRunsOnlyAfterResume) {
    std::atomic<bool> ran{false};
    auto* thread = new LambdaThread([&ran](LambdaThread&) { ran = true; });
    EXPECT_TRUE(thread->FreeOnTerminate);
    EXPECT_FALSE(thread->Terminated);
    ::Sleep(100);
    EXPECT_FALSE(ran);
    RunToEnd(thread);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(fatal_.empty());
}

TEST_F(SearchThreadTest, OnTerminateRunsOnUiThreadThenObjectFreesItself) {
    std::atomic<bool> destroyed{false};
    std::atomic<bool> destroyedBeforeTerminate{false};
    auto* thread = new LambdaThread([](LambdaThread&) {}, nullptr, nullptr, &destroyed);
    thread->OnTerminate = [&](TMovixThread* sender) {
        EXPECT_EQ(sender, thread);
        EXPECT_EQ(::GetCurrentThreadId(), uiThread_);
        destroyedBeforeTerminate = destroyed.load();
        terminated_ = true;
    };
    thread->Resume();
    ASSERT_TRUE(PumpUntil([this] { return terminated_; }));
    ASSERT_TRUE(PumpUntil([] { return TMovixThread::RunningCount() == 0; }));
    EXPECT_FALSE(destroyedBeforeTerminate);
    EXPECT_TRUE(destroyed);
}

// Destroyed when its thread leaves, after the thread's object has freed
// itself: the last thing a search thread does before the system ends it.
std::atomic<bool> g_threadLocalGone{false};
struct SlowToLeave {
    ~SlowToLeave() {
        ::Sleep(300);
        g_threadLocalGone = true;
    }
};
thread_local SlowToLeave t_slowToLeave;

TEST_F(SearchThreadTest, ThreadCountsAsRunningUntilItHasLeftEntirely) {
    // A program that ends once the count is 0 must not cut off a thread
    // still detaching from the libraries.
    g_threadLocalGone = false;
    auto* thread = new LambdaThread([](LambdaThread&) { (void)&t_slowToLeave; });
    thread->OnTerminate = [this](TMovixThread*) { terminated_ = true; };
    thread->Resume();
    ASSERT_TRUE(PumpUntil([] { return TMovixThread::RunningCount() == 0; }));
    EXPECT_TRUE(g_threadLocalGone);
}

TEST_F(SearchThreadTest, NeverResumedThreadCanBeDeletedWithoutRunning) {
    std::atomic<bool> ran{false};
    bool terminatedCalled = false;
    auto* thread = new LambdaThread([&ran](LambdaThread&) { ran = true; });
    thread->OnTerminate = [&](TMovixThread*) { terminatedCalled = true; };
    delete thread;
    PumpUntil([] { return false; }, 50);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(terminatedCalled);
    EXPECT_EQ(TMovixThread::RunningCount(), 0);
}

TEST_F(SearchThreadTest, SynchronizeRunsOnUiThreadAndBlocksTheWorker) {
    std::vector<int> order;  // touched by both threads, in turn
    DWORD ranOn = 0;
    auto* thread = new LambdaThread([&](LambdaThread& self) {
        for (int i = 0; i < 50; ++i) {
            self.Synchronize([&, i] {
                ranOn = ::GetCurrentThreadId();
                ::Sleep(i == 0 ? 50 : 0);  // a slow UI call is still waited for
                order.push_back(i);
            });
            // The call has fully returned before the worker goes on.
            order.push_back(1000 + i);
        }
    });
    RunToEnd(thread);
    EXPECT_EQ(ranOn, uiThread_);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[2 * i], i);
        EXPECT_EQ(order[2 * i + 1], 1000 + i);
    }
}

TEST_F(SearchThreadTest, ErrorInSynchronizedMethodIsRaisedAgainInTheWorker) {
    std::string caught;
    bool afterwards = false;
    auto* thread = new LambdaThread([&](LambdaThread& self) {
        try {
            self.Synchronize([] { throw std::runtime_error("label is gone"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        self.Synchronize([&] { afterwards = true; });
    });
    RunToEnd(thread);
    EXPECT_EQ(caught, "label is gone");
    EXPECT_TRUE(afterwards);
    EXPECT_TRUE(fatal_.empty());
}

TEST_F(SearchThreadTest, ErrorEscapingTheBodyEndsTheStepLikeACancel) {
    auto* thread = new LambdaThread(
        [](LambdaThread& self) {
            self.Item = "A.INI";
            self.Path = "C:\\X";
            self.Context = "k=C:\\OLD";
            self.SubType = kSubTypeKey;
            self.Synchronize([&self] { self.ReportHit(); });
            throw std::runtime_error("disk went away");
        },
        Collector());
    RunToEnd(thread);
    // The hit stays, the run goes on, and the error is known.
    ASSERT_EQ(hits_.size(), 1u);
    EXPECT_EQ(hits_[0], (FoundHit{"A.INI", "C:\\X", "k=C:\\OLD", KindIni, kSubTypeKey}));
    EXPECT_EQ(fatal_, "disk went away");

    // Also for something that is not a standard exception.
    auto* odd = new LambdaThread([](LambdaThread&) { throw 42; });
    RunToEnd(odd);
    EXPECT_FALSE(fatal_.empty());
}

TEST_F(SearchThreadTest, ErrorInOnTerminateDoesNotEndTheProgram) {
    auto* thread = new LambdaThread([](LambdaThread&) {});
    thread->OnTerminate = [this](TMovixThread*) {
        terminated_ = true;
        throw std::runtime_error("next step failed");
    };
    thread->Resume();
    ASSERT_TRUE(PumpUntil([this] { return terminated_; }));
    ASSERT_TRUE(PumpUntil([] { return TMovixThread::RunningCount() == 0; }));
}

TEST_F(SearchThreadTest, ReportHitPassesFieldsInOrderFound) {
    auto* thread = new LambdaThread(
        [](LambdaThread& self) {
            for (int i = 0; i < 300; ++i) {
                self.Item = "F" + std::to_string(i) + ".INI";
                self.Path = "C:\\D" + std::to_string(i % 7);
                self.Context = "[S]k" + std::to_string(i) + "=C:\\OLD";
                self.SubType = (i % 2) ? kSubTypeKey : kSubTypeSection;
                self.Synchronize([&self] { self.ReportHit(); });
            }
        },
        Collector());
    RunToEnd(thread);
    ASSERT_EQ(hits_.size(), 300u);
    for (int i = 0; i < 300; ++i) {
        const FoundHit expected = {"F" + std::to_string(i) + ".INI", "C:\\D" + std::to_string(i % 7),
                                   "[S]k" + std::to_string(i) + "=C:\\OLD", KindIni,
                                   (i % 2) ? kSubTypeKey : kSubTypeSection};
        EXPECT_EQ(hits_[i], expected);
    }
}

TEST_F(SearchThreadTest, ShowProgressWritesInAndPathOnTheLabel) {
    auto* thread = new LambdaThread(
        [](LambdaThread& self) {
            self.Path = "C:\\WINDOWS\\SYSTEM";
            self.Synchronize([&self] { self.ShowProgress(); });
        },
        nullptr, label_);
    RunToEnd(thread);
    EXPECT_EQ(LabelText(), "In C:\\WINDOWS\\SYSTEM");
}

TEST_F(SearchThreadTest, MatchRuleUsesTheSearchStringUpperCasedOnce) {
    LambdaThread thread([](LambdaThread&) {});
    EXPECT_EQ(thread.SearchUpper, "C:\\OLD");
    EXPECT_EQ(thread.Kind, KindIni);
    EXPECT_EQ(thread.SubType, 0);
    EXPECT_TRUE(thread.Path.empty() && thread.Item.empty() && thread.Context.empty());
    EXPECT_TRUE(thread.Matches("Path=C:\\Old\\A.EXE"));
    EXPECT_TRUE(thread.Matches("c:\\old"));
    EXPECT_FALSE(thread.Matches("C:\\OL"));
    // The thread was never resumed: deleting it here is allowed.
}

TEST_F(SearchThreadTest, ShutdownReleasesAWorkerWaitingInSynchronize) {
    std::atomic<bool> waiting{false};
    std::atomic<bool> released{false};
    std::atomic<bool> methodRan{false};
    std::atomic<bool> terminatedAfter{false};
    bool onTerminateRan = false;
    auto* thread = new LambdaThread([&](LambdaThread& self) {
        waiting = true;
        self.Synchronize([&] { methodRan = true; });
        terminatedAfter = self.Terminated.load();
        released = true;
        // The body goes on as a stopped search would; later calls return at once.
        self.Synchronize([&] { methodRan = true; });
    });
    thread->OnTerminate = [&](TMovixThread*) { onTerminateRan = true; };
    thread->Resume();
    // The UI thread does not pump: the worker stays blocked until the
    // window closes.
    while (!waiting)
        ::Sleep(1);
    ::Sleep(100);
    EXPECT_FALSE(released);
    thread->Terminate();
    UiDispatcher::Shutdown();
    EXPECT_TRUE(IsAppShuttingDown());
    for (int i = 0; i < 1000 && TMovixThread::RunningCount() != 0; ++i)
        ::Sleep(5);
    EXPECT_EQ(TMovixThread::RunningCount(), 0);
    EXPECT_TRUE(released);
    EXPECT_TRUE(terminatedAfter);
    // Nothing runs against a closed window, not even the termination handler.
    PumpUntil([] { return false; }, 100);
    EXPECT_FALSE(methodRan);
    EXPECT_FALSE(onTerminateRan);
    UiDispatcher::Init();
    EXPECT_FALSE(IsAppShuttingDown());
}

TEST_F(SearchThreadTest, PostedCallsRunInOrderWithWaitedOnes) {
    std::vector<int> order;
    auto* thread = new LambdaThread([&](LambdaThread& self) {
        for (int i = 0; i < 20; ++i) {
            UiDispatcher::Post([&order, i] { order.push_back(2 * i); });
            self.Synchronize([&order, i] { order.push_back(2 * i + 1); });
        }
    });
    RunToEnd(thread);
    ASSERT_EQ(order.size(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(order[i], i);
}

TEST_F(SearchThreadTest, FileThreadKnowsTheWindowsFolder) {
    char windows[MAX_PATH];
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    std::vector<std::string> seen;
    RecordingWalk walk(1, &seen);
    EXPECT_EQ(walk.WindowsFolder(), windows);
    walk.SetWindowsDirForTest("C:\\elsewhere");
    EXPECT_EQ(walk.WindowsFolder(), "C:\\elsewhere");
}

TEST_F(SearchThreadTest, WalkModesOutsideOneToFourExamineNothing) {
    TempTree tree("modes");
    tree.File("A.INI", "x");
    for (int mode : {0, 5, 7, -1}) {
        SCOPED_TRACE(mode);
        std::vector<std::string> seen;
        auto* walk = new RecordingWalk(mode, &seen, label_);
        walk->SetWindowsDirForTest(tree.Root());
        RunToEnd(walk);
        EXPECT_TRUE(terminated_);
        EXPECT_TRUE(seen.empty());
    }
}

namespace {

// A folder tree with INI files, other files, and hidden and system entries.
void PlantTree(const TempTree& tree, bool attributes) {
    tree.File("ONE.INI", "a");
    tree.File("two.ini", "a");
    tree.File("readme.txt", "a");
    tree.File("ini", "a");
    tree.File("three.Ini", "a");
    tree.Dir("sub1\\deep");
    tree.File("sub1\\S1.INI", "a");
    tree.File("sub1\\deep\\D.INI", "a");
    tree.File("sub1\\deep\\D.LNK", "a");
    tree.Dir("sub2");
    tree.File("sub2\\S2.INI", "a");
    tree.Dir("sub2.INI");  // a folder named like an INI file
    tree.File("sub2.INI\\IN.INI", "a");
    if (!attributes)
        return;
    tree.File("HIDDEN.INI", "a");
    ::SetFileAttributesA((tree / "HIDDEN.INI").c_str(), FILE_ATTRIBUTE_HIDDEN);
    tree.File("SYSTEM.INI", "a");
    ::SetFileAttributesA((tree / "SYSTEM.INI").c_str(), FILE_ATTRIBUTE_SYSTEM);
    tree.File("RO.INI", "a");
    ::SetFileAttributesA((tree / "RO.INI").c_str(), FILE_ATTRIBUTE_READONLY);
    tree.Dir("hiddendir");
    tree.File("hiddendir\\H.INI", "a");
    ::SetFileAttributesA((tree / "hiddendir").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    tree.Dir("sysdir");
    tree.File("sysdir\\Y.INI", "a");
    ::SetFileAttributesA((tree / "sysdir").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

TEST_F(SearchThreadTest, ModeOneExaminesTheWindowsFolderOnly) {
    TempTree tree("mode1");
    const bool attributes = AttributesStick(tree.Root());
    PlantTree(tree, attributes);
    std::vector<std::string> seen;
    auto* walk = new RecordingWalk(1, &seen, label_);
    walk->SetWindowsDirForTest(tree.Root());
    RunToEnd(walk);

    std::vector<std::string> expected = {tree / "ONE.INI", tree / "two.ini", tree / "three.Ini"};
    if (attributes)
        expected.push_back(tree / "RO.INI");  // read-only is an ordinary file
    EXPECT_EQ(Sorted(seen), Sorted(expected));
    std::vector<std::string> reference;
    ReferenceWalk(tree.Root(), false, reference);
    EXPECT_EQ(seen, reference);
    EXPECT_EQ(LabelText(), "In " + tree.Root());
    if (!attributes)
        GTEST_SKIP() << "the file system does not keep the hidden and system attributes";
}

TEST_F(SearchThreadTest, ModeTwoWalksTheTreeDepthFirstFilesBeforeSubfolders) {
    TempTree tree("mode2");
    const bool attributes = AttributesStick(tree.Root());
    PlantTree(tree, attributes);
    std::vector<std::string> seen;
    auto* walk = new RecordingWalk(2, &seen, label_);
    walk->SetWindowsDirForTest(tree.Root());
    RunToEnd(walk);

    std::vector<std::string> expected = {tree / "ONE.INI",         tree / "two.ini",           tree / "three.Ini",
                                         tree / "sub1\\S1.INI",    tree / "sub1\\deep\\D.INI", tree / "sub2\\S2.INI",
                                         tree / "sub2.INI\\IN.INI"};
    if (attributes)
        expected.push_back(tree / "RO.INI");
    EXPECT_EQ(Sorted(seen), Sorted(expected));
    // The same order as listing each folder's INI files, then its folders.
    std::vector<std::string> reference;
    ReferenceWalk(tree.Root(), true, reference);
    EXPECT_EQ(seen, reference);
    // Each folder's own files come before anything below it.
    auto pos = [&seen](const std::string& s) { return std::find(seen.begin(), seen.end(), s) - seen.begin(); };
    EXPECT_LT(pos(tree / "sub1\\S1.INI"), pos(tree / "sub1\\deep\\D.INI"));
    EXPECT_LT(pos(tree / "ONE.INI"), pos(tree / "sub2\\S2.INI"));
    if (!attributes)
        GTEST_SKIP() << "the file system does not keep the hidden and system attributes";
}

TEST_F(SearchThreadTest, ModeFourUsesTheOwnList) {
    TempTree tree("mode4");
    tree.File("A.INI", "a");
    std::vector<std::string> seen;
    auto* walk = new RecordingWalk(4, &seen, label_);
    walk->SetWindowsDirForTest(tree.Root());
    RunToEnd(walk);
    EXPECT_EQ(seen, std::vector<std::string>{"<own list>"});
}

TEST_F(SearchThreadTest, MissingFolderYieldsNothing) {
    std::vector<std::string> seen;
    auto* walk = new RecordingWalk(2, &seen, label_);
    walk->SetWindowsDirForTest("C:\\no such folder\\really not");
    RunToEnd(walk);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(fatal_.empty());
}

TEST_F(SearchThreadTest, TerminateInTheMiddleOfAWalkEntersNoFurtherFolder) {
    TempTree tree("cancel");
    for (int i = 0; i < 20; ++i) {
        tree.Dir("d" + std::to_string(i) + "\\inner");
        tree.File("d" + std::to_string(i) + "\\A.INI", "a");
        tree.File("d" + std::to_string(i) + "\\B.INI", "a");
        tree.File("d" + std::to_string(i) + "\\inner\\C.INI", "a");
    }
    std::vector<std::string> seen;
    auto* walk = new RecordingWalk(2, &seen, label_);
    walk->SetWindowsDirForTest(tree.Root());
    walk->stopAfter = 5;
    RunToEnd(walk);
    // The walk stopped right after the fifth file: not the rest of its folder,
    // and no further folder was shown or entered.
    ASSERT_EQ(seen.size(), 5u);
    const std::string lastFolder = seen.back().substr(0, seen.back().rfind('\\'));
    EXPECT_EQ(LabelText(), "In " + lastFolder);
    std::vector<std::string> reference;
    ReferenceWalk(tree.Root(), true, reference);
    EXPECT_TRUE(std::equal(seen.begin(), seen.end(), reference.begin()));
}

TEST_F(SearchThreadTest, CancelFromTheUiThreadStopsTheWalk) {
    TempTree tree("uicancel");
    for (int i = 0; i < 30; ++i) {
        tree.Dir("d" + std::to_string(i));
        tree.File("d" + std::to_string(i) + "\\A.INI", "k=C:\\OLD\r\n");
    }
    auto* thread = new TSearchINIThread(KindIni, "C:\\OLD", label_, Collector(), 2);
    thread->SetWindowsDirForTest(tree.Root());
    // The wizard's Cancel: sets the flag on the UI thread.
    onHit_ = [this, thread] {
        if (hits_.size() == 3)
            thread->Terminate();
    };
    RunToEnd(thread);
    EXPECT_EQ(hits_.size(), 3u);
    EXPECT_EQ(LabelText(), "In " + hits_.back().path);
}

TEST_F(SearchThreadTest, EveryHitArrivesWithItsFolderOnTheLabel) {
    // The walk shows folders without waiting for the UI thread, but never
    // lets a hit reach the list beside an older folder.
    TempTree tree("progress");
    for (int i = 0; i < 40; ++i) {
        tree.Dir("d" + std::to_string(i) + "\\e");
        if (i % 3 == 0)
            tree.File("d" + std::to_string(i) + "\\e\\A.INI", "k=C:\\OLD\r\n");
    }
    std::vector<std::string> labelAtHit;
    auto* thread = new TSearchINIThread(KindIni, "C:\\OLD", label_, Collector(), 2);
    thread->SetWindowsDirForTest(tree.Root());
    onHit_ = [this, &labelAtHit] { labelAtHit.push_back(LabelText()); };
    RunToEnd(thread);
    ASSERT_EQ(hits_.size(), 14u);
    for (std::size_t i = 0; i < hits_.size(); ++i)
        EXPECT_EQ(labelAtHit[i], "In " + hits_[i].path);
    // When the search ends, the label names the last folder walked: the
    // deepest folder of the last branch.
    std::vector<std::string> folders;
    ReferenceFolders(tree.Root(), folders);
    EXPECT_EQ(LabelText(), "In " + folders.back());
}

namespace {

// Walks every fixed drive but stops once the walk leaves drive C: (the test
// prefix maps Z: to the whole Unix file system): the label reports each new
// place, and no file off C: is examined.
TMovixThread* g_driveWalk = nullptr;
WNDPROC g_labelProc = nullptr;
std::vector<std::string> g_progress;

LRESULT CALLBACK StopAfterDriveC(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETTEXT && lp != 0) {
        const std::string text = reinterpret_cast<const char*>(lp);
        g_progress.push_back(text);
        if (text.compare(0, 5, "In C:") != 0 && g_driveWalk != nullptr)
            g_driveWalk->Terminate();
    }
    return ::CallWindowProcA(g_labelProc, hwnd, msg, wp, lp);
}

class DriveCOnlySearch : public TSearchINIThread {
public:
    using TSearchINIThread::TSearchINIThread;

protected:
    void ProcessFile(const std::string& name) override {
        if (Path.compare(0, 2, "C:") != 0) {
            Terminate();
            return;
        }
        TSearchINIThread::ProcessFile(name);
    }
};

}  // namespace

TEST_F(SearchThreadTest, ModeThreeWalksFixedDrivesFromTheirRoots) {
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string oldAddress = "C:\\MOVIX_OLD_" + tag;
    const std::string rootFile = "C:\\MOVIXROOT" + tag + ".INI";
    const std::string folder = "C:\\movix_drive_" + tag;
    WriteFileBytes(rootFile, "[Run]\r\nexe=" + oldAddress + "\\A.EXE\r\n");
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ::CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
    WriteFileBytes(folder + "\\sub\\deep.ini", "x=" + oldAddress + "\r\n");

    g_labelProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(label_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StopAfterDriveC)));
    g_progress.clear();
    auto* thread = new DriveCOnlySearch(KindIni, oldAddress, label_, Collector(), 3);
    g_driveWalk = thread;
    RunToEnd(thread, 600000);
    g_driveWalk = nullptr;
    ::SetWindowLongPtrA(label_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_labelProc));
    ::DeleteFileA(rootFile.c_str());
    RemoveTree(folder);
    EXPECT_FALSE(Exists(rootFile));

    // The drive's own files carry the drive alone as their folder; no path
    // has a doubled backslash.
    const std::vector<FoundHit> expected = {
        {"MOVIXROOT" + tag + ".INI", "C:", "[Run]exe=" + oldAddress + "\\A.EXE", KindIni, kSubTypeKey},
        {"deep.ini", folder + "\\sub", "<no section>x=" + oldAddress, KindIni, kSubTypeKey},
    };
    EXPECT_EQ(hits_, expected);
    ASSERT_FALSE(g_progress.empty());
    EXPECT_EQ(g_progress[0].compare(0, 5, "In C:"), 0);
    for (const auto& text : g_progress)
        EXPECT_EQ(text.find("\\\\"), std::string::npos) << text;
}

namespace {

// The child half of the exit tests: a worker keeps calling the UI thread
// while the program ends without waiting for it.
void RunExitChild(const std::string& how) {
    UiDispatcher::Init();
    HWND label = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 100, 20, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
    std::atomic<long> calls{0};
    // A body that pays no heed to Terminated: the worst case.
    auto* thread = new LambdaThread(
        [&calls](LambdaThread& self) {
            for (;;) {
                self.Path = "C:\\X" + std::to_string(calls.load());
                self.Synchronize([&self] { self.ShowProgress(); });
                ++calls;
            }
        },
        nullptr, label);
    thread->Resume();
    movix_test::PumpUntil([&calls] { return calls > 100; }, 20000);
    if (how == "cancel") {
        // The wizard's Cancel: stop flag, window closes, program ends.
        thread->Terminate();
        UiDispatcher::Shutdown();
    }
    // "blocked": the window went away without shutting the dispatcher down;
    // the worker waits in Synchronize for a UI thread that never pumps again.
    std::exit(calls > 100 ? 0 : 3);
}

int RunSelf(const std::string& how) {
    char exe[MAX_PATH];
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string cmd = std::string("\"") + exe + "\" --gtest_filter=SearchThreadExit.ChildProcess";
    ::SetEnvironmentVariableA("MOVIX_EXIT_CHILD", how.c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const BOOL started = ::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    ::SetEnvironmentVariableA("MOVIX_EXIT_CHILD", nullptr);
    if (!started)
        return -1;
    DWORD code = 0;
    if (::WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
        ::TerminateProcess(pi.hProcess, 99);
        code = 98;  // hung
    } else {
        ::GetExitCodeProcess(pi.hProcess, &code);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

}  // namespace

TEST(SearchThreadExit, ChildProcess) {
    char how[32];
    if (::GetEnvironmentVariableA("MOVIX_EXIT_CHILD", how, sizeof how) == 0)
        GTEST_SKIP() << "runs only as the child of the exit tests";
    RunExitChild(how);
}

TEST(SearchThreadExit, ProgramEndsAfterCancelWhileAWorkerIsBusy) {
    EXPECT_EQ(RunSelf("cancel"), 0);
}

TEST(SearchThreadExit, ProgramEndsWhileAWorkerWaitsInSynchronize) {
    EXPECT_EQ(RunSelf("blocked"), 0);
}

TEST_F(SearchThreadTest, EntryWhoseNameDoesNotLeadBackToItIsCountedNotRead) {
    // Wine lists a Unix name that is not UTF-8 with U+FFFD for its stray
    // bytes, so two such names read alike and open as one of them (on
    // Windows, a name with an unpaired surrogate has no UTF-8 form at all).
    // Each entry is read as itself or counted as not read, never read twice
    // in place of another.
    TempTree tree("inexact");
    const std::string unixRoot = UnixPath(tree.Root());
    if (unixRoot.empty())
        GTEST_SKIP() << "needs Wine's Unix names";
    tree.File("plain.ini", "");
    const std::string script =
        tree.File("make.sh", "cd '" + unixRoot +
                                 "' && mkdir \"$(printf 'd\\377')\" \"$(printf 'd\\376')\" && touch \"$(printf "
                                 "'a\\377.ini')\" \"$(printf 'a\\376.ini')\" \"$(printf 'd\\377/one.ini')\" "
                                 "\"$(printf 'd\\376/two.ini')\" && touch made\n");
    // Names the Windows side cannot make are made, and removed, from the Unix side.
    struct UnixRemoval {
        std::string root, unixRoot;
        ~UnixRemoval() {
            if (RunUnix("Z:\\bin\\rm", "rm -rf \"" + unixRoot + "\""))
                PumpUntil([this] { return !Exists(root); }, 20000);
        }
    } removal{tree.Root(), unixRoot};
    ASSERT_TRUE(RunUnix("Z:\\bin\\sh", "sh \"" + UnixPath(script) + "\""));
    ASSERT_TRUE(PumpUntil([&] { return Exists(tree / "made"); }, 20000));

    std::vector<std::string> seen;
    std::unique_ptr<RecordingWalk> walk(new RecordingWalk(2, &seen));
    walk->SetWindowsDirForTest(tree.Root());
    walk->FreeOnTerminate = false;
    RunToEnd(walk.get());
    const std::string fffd = "\xEF\xBF\xBD";
    std::sort(seen.begin(), seen.end());
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], tree / ("a" + fffd + ".ini"));
    EXPECT_TRUE(seen[1] == tree / ("d" + fffd + "\\one.ini") || seen[1] == tree / ("d" + fffd + "\\two.ini"))
        << seen[1];
    EXPECT_EQ(seen[2], tree / "plain.ini");
    std::vector<std::string> unread = walk->UnreadableNames();
    std::sort(unread.begin(), unread.end());
    EXPECT_EQ(unread,
              (std::vector<std::string>{"file " + tree / ("a" + fffd + ".ini"), "folder " + tree / ("d" + fffd)}));
    EXPECT_EQ(walk->UnreadableCount(TMovixThread::Unreadable::File), 1);
    EXPECT_EQ(walk->UnreadableCount(TMovixThread::Unreadable::Folder), 1);
}
