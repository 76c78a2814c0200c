// The search run and the replacement run through the engine's own interface,
// with no window at all: a planted Registry key is found, its hits go through
// the replacement run, and the callback receives the steps, the hits and the
// log lines the window would show.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/found_items.h"
#include "core/strings.h"
#include "engine/replace_runner_win.h"
#include "engine/search_runner_win.h"
#include "plain_callback_win.h"
#include "registry_test_support_win.h"
#include "search_test_support_win.h"
#include "targets/dde_conversation_win.h"

using namespace movix;
using namespace movix_test;

namespace {


class EngineRunTest : public UiFixture {};

TEST_F(EngineRunTest, SearchAndReplacementRunWithoutAWindow) {
    const std::string old = UniqueToken("EngOld");
    const std::string now = UniqueToken("EngNew");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixEngine");
    SetSz(k.Root(), k.Path(), "app", "C:\\" + old + "\\app.exe");
    const std::string key = "HKCU\\" + k.Path();

    TDdeClientConv progMan;
    PlainCallback callback;
    TSearchRunner search(callback, progMan);
    TSearchSettings settings;
    settings.OldAddress = "C:\\" + old;
    settings.Modes[KindReg] = 5;  // HKCR and HKCU; every other kind left out
    search.Start(settings);
    ASSERT_TRUE(PumpUntil([&] { return callback.runsEnded == 1; }, 300000));
    EXPECT_FALSE(search.Searching());
    EXPECT_EQ(callback.started, std::vector<int>{KindReg});
    EXPECT_EQ(callback.ended, std::vector<int>{KindReg});
    EXPECT_FALSE(search.StepFailed(KindReg));

    std::vector<TFoundItem> rows;
    for (const TFoundItem& row : callback.rows)
        if (row.Path == key)
            rows.push_back(row);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Kind, KindReg);
    EXPECT_EQ(rows[0].ValueName, "app");

    callback.started.clear();
    callback.ended.clear();
    TReplaceRunner(callback, progMan, nullptr).Run(rows, "C:\\" + old, "C:\\" + now);
    EXPECT_EQ(callback.runsEnded, 2);
    // Every step runs, in order, whether it has groups or not.
    EXPECT_EQ(callback.started, (std::vector<int>{KindIni, KindGrp, KindLnk, KindReg, KindCfg, KindSvc, KindTsk}));
    EXPECT_EQ(callback.ended, (std::vector<int>{KindIni, KindGrp, KindLnk, KindReg, KindCfg, KindSvc, KindTsk}));
    const std::vector<std::string> expected = {
        "",
        "Updating Registry",
        "KEY: " + key,
        "   old data: app=C:\\" + old + "\\app.exe",
        "   new data: C:\\" + now + "\\app.exe",
    };
    EXPECT_EQ(callback.log, expected);
    EXPECT_EQ(GetSz(k.Root(), k.Path(), "app"), "C:\\" + now + "\\app.exe");
}

TEST_F(EngineRunTest, AStopBetweenGroupsIsLoggedWithWhatWasNotDone) {
    const std::string old = UniqueToken("EngStop");
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixEngineStop");
    SetSz(k.Root(), k.Path(), "app", "C:\\" + old + "\\app.exe");
    TFoundItem row;
    row.Item = "app";
    row.Path = "HKCU\\" + k.Path();
    row.Kind = KindReg;
    row.SubType = kSubTypeData;
    row.Context = "app=C:\\" + old + "\\app.exe";
    row.ValueName = "app";

    TDdeClientConv progMan;
    PlainCallback callback;
    callback.stop = true;
    TReplaceRunner(callback, progMan, nullptr).Run({row}, "C:\\" + old, "C:\\New");
    const std::vector<std::string> expected = {
        "",
        "***** The run was stopped because the window was asked to close.",
        "***** Not done (1):",
        "*****   Registry key HKCU\\" + k.Path(),
    };
    EXPECT_EQ(callback.log, expected);
    EXPECT_EQ(callback.runsEnded, 1);
    EXPECT_EQ(GetSz(k.Root(), k.Path(), "app"), "C:\\" + old + "\\app.exe");
}

}  // namespace

// The file walks of a run share their listings: the INI files and the
// configuration files of the Windows folder's tree, walked with each kind
// listing for itself, with one shared listing, and with one to three threads
// listing ahead, give the same hits in the same order; a stop at any moment
// ends the run with every listing thread gone.
TEST_F(EngineRunTest, SharedListingsGiveTheSameHitsInTheSameOrder) {
    const std::string old = "C:\\" + UniqueToken("WalkOld");
    char windows[MAX_PATH];
    ASSERT_GT(::GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string tree = std::string(windows) + "\\temp\\" + UniqueToken("walk");
    struct Cleanup {
        std::string tree;
        ~Cleanup() { RemoveTree(tree); }
    } cleanup{tree};
    ASSERT_TRUE(::CreateDirectoryA(tree.c_str(), nullptr));
    std::string slashed = old;
    for (char& c : slashed)
        if (c == '\\')
            c = '/';
    for (int a = 0; a < 6; ++a) {
        const std::string one = tree + "\\A" + std::to_string(a);
        ASSERT_TRUE(::CreateDirectoryA(one.c_str(), nullptr));
        for (int b = 0; b < 5; ++b) {
            const std::string two = one + "\\B" + std::to_string(b);
            ASSERT_TRUE(::CreateDirectoryA(two.c_str(), nullptr));
            const std::string n = std::to_string(a * 5 + b);
            WriteFileBytes(two + "\\s" + n + ".json", "{\"p\": \"" + slashed + "/x" + n + "\"}\n");
            WriteFileBytes(two + "\\w" + n + ".ini", "[x]\r\np=" + old + "\\y" + n + "\r\n");
            WriteFileBytes(two + "\\n" + n + ".txt", old);
        }
    }
    auto run = [&](bool shared, int workers, int stopAfterMs) {
        TDdeClientConv progMan;
        PlainCallback callback;
        TSearchRunner search(callback, progMan);
        TSearchSettings settings;
        settings.OldAddress = old;
        settings.ProgramFolder = windows;
        settings.Modes[KindIni] = 2;  // the Windows folder and below
        settings.Modes[KindCfg] = 5;  // the New folder: here the same tree
        settings.SharedListings = shared;
        settings.ListingWorkers = workers;
        search.Start(settings);
        if (stopAfterMs >= 0) {
            PumpUntil([] { return false; }, static_cast<DWORD>(stopAfterMs));
            callback.stop = true;
            search.RequestStop();
            EXPECT_TRUE(PumpUntil([&] { return !search.Searching() && TMovixThread::RunningCount() == 0; }, 60000))
                << "stopped after " << stopAfterMs << " ms";
            return std::vector<std::string>();
        }
        EXPECT_TRUE(PumpUntil([&] { return callback.runsEnded == 1; }, 120000));
        std::vector<std::string> hits;
        for (const TFoundItem& row : callback.rows)
            if (row.Path.rfind(tree, 0) == 0)
                hits.push_back(std::to_string(row.Kind) + "|" + row.Path + "|" + row.Item + "|" +
                               std::to_string(row.SubType) + "|" + row.Context);
        return hits;
    };
    const std::vector<std::string> separate = run(false, 0, -1);
    ASSERT_EQ(separate.size(), 60u);
    for (int workers : {0, 1, 3})
        EXPECT_EQ(run(true, workers, -1), separate) << workers << " listing threads";
    for (int stopAfterMs : {0, 3, 17, 60, 150})
        run(true, 3, stopAfterMs);
}
