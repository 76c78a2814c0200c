// Cancel at any moment of a search: a hundred searches, INI files and the
// Registry in turn, each told to stop after a random wait. Every one ends
// promptly through its OnTerminate, and no thread outlives its search.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/search_thread_win.h"
#include "core/strings.h"
#include "search_test_support_win.h"
#include "targets/ini_files_win.h"
#include "targets/registry_search_win.h"

using namespace movix;
using namespace movix_test;

namespace {

class CancelTest : public UiFixture {};

}  // namespace

TEST_F(CancelTest, AHundredCancelsAtRandomMomentsEndEverySearchPromptly) {
    TempTree tree("cancels");
    const std::string old = "C:\\MVXCANCEL_" + std::to_string(::GetCurrentProcessId());
    for (int i = 0; i < 40; ++i) {
        const std::string dir = "d" + std::to_string(i) + "\\e";
        tree.Dir(dir);
        for (int f = 0; f < 4; ++f)
            tree.File(dir + "\\F" + std::to_string(f) + ".INI", "[S]\r\nk=" + old + "\r\nj=" + old + "\\x\r\n");
    }
    // The Registry search finds something too: hits keep the worker and the
    // window trading synchronised calls when the cancel comes.
    HKEY key = nullptr;
    const std::string keyPath = "Software\\MvxCancel" + std::to_string(::GetCurrentProcessId());
    ASSERT_EQ(
        ::RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    for (int v = 0; v < 50; ++v) {
        const std::string data = old + "\\" + std::to_string(v);
        ::RegSetValueExA(key, ("v" + std::to_string(v)).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>(data.size() + 1));
    }
    ::RegCloseKey(key);
    struct Cleanup {
        std::string path;
        ~Cleanup() { ::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()); }
    } cleanup{keyPath};

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> waitMs(0, 60);
    int slowest = 0;
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        hits_.clear();
        TMovixThread* thread = nullptr;
        if (round % 2 == 0) {
            auto* ini = new TSearchINIThread(KindIni, old, label_, Collector(), 2);
            ini->SetWindowsDirForTest(tree.Root());
            thread = ini;
        } else {
            thread = new TSearchRegThread(KindReg, old, label_, Collector(), {}, 5);
        }
        terminated_ = false;
        thread->OnTerminate = [this](TMovixThread*) { terminated_ = true; };
        thread->Resume();
        const DWORD wait = static_cast<DWORD>(waitMs(random));
        // The window's thread goes on pumping until the moment comes.
        PumpUntil([] { return false; }, wait);
        if (terminated_)
            continue;  // ended before the cancel: nothing to stop
        const DWORD cancelled = ::GetTickCount();
        thread->Terminate();
        ASSERT_TRUE(PumpUntil([this] { return terminated_; }, 5000)) << "no end within 5 s of the cancel";
        slowest = std::max(slowest, static_cast<int>(::GetTickCount() - cancelled));
        ASSERT_TRUE(PumpUntil([] { return TMovixThread::RunningCount() == 0; }, 5000));
    }
    RecordProperty("slowest_end_after_cancel_ms", slowest);
    EXPECT_LT(slowest, 1000) << "ms from a cancel to the end of its search";
}
