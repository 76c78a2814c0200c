// Services as a kind of target in the runs: the search run's rows, and a
// replacement the service manager refuses (the refusal made through the
// services module's fault hook, as the test prefix's manager grants every
// access): a "*****" line, the service as it was.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/ui_text.h"
#include "core/found_items.h"
#include "core/kinds.h"
#include "engine/replace_runner_win.h"
#include "engine/search_runner_win.h"
#include "plain_callback_win.h"
#include "platform/wide_text_win.h"
#include "search_test_support_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/services_win.h"
#include "targets/undo_journal_win.h"

using namespace movix;
using namespace movix_test;

namespace {

using Callback = movix_test::PlainCallback;

// A demand-start service made for the test, deleted after it.
class PlantedService {
  public:
    PlantedService(const std::string& name, const std::string& path) : name_(name) {
        scm_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        service_ =
            CreateServiceW(scm_, Utf8ToWide(name).c_str(), Utf8ToWide(name + " Display").c_str(), SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           Utf8ToWide(path).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    ~PlantedService() {
        if (service_) {
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (scm_)
            CloseServiceHandle(scm_);
    }
    bool ok() const { return service_ != nullptr; }

  private:
    std::string name_;
    SC_HANDLE scm_ = nullptr, service_ = nullptr;
};

class ServiceKindTest : public UiFixture {
  protected:
    void TearDown() override {
        SetServiceFaultHookForTest(nullptr);
        UiFixture::TearDown();
    }
};

TEST_F(ServiceKindTest, RefusalsAreErrorLinesAndChangeNothing) {
    const std::string name = "MovixKindAgent";
    const std::string old = "C:\\MVXKIND Old", now = "C:\\MVXKIND New";
    const std::string path = "\"" + old + "\\agent.exe\" /run";
    PlantedService planted(name, path);
    ASSERT_TRUE(planted.ok()) << GetLastError();

    TDdeClientConv progMan;
    Callback search;
    TSearchRunner runner(search, progMan);
    TSearchSettings settings;
    settings.OldAddress = old;
    settings.Modes[KindSvc] = 0;  // every other kind left out
    runner.Start(settings);
    ASSERT_TRUE(PumpUntil([&] { return search.runsEnded == 1; }, 120000));
    EXPECT_EQ(search.started, std::vector<int>{KindSvc});
    ASSERT_EQ(search.rows.size(), 1u);
    EXPECT_EQ(search.rows[0].Item, name);
    EXPECT_EQ(search.rows[0].Path, name + " Display");
    EXPECT_EQ(search.rows[0].SubType, kSubTypeServiceCommand);
    EXPECT_EQ(search.rows[0].Context, path);

    // Which call refuses, and the line that says so.
    const struct {
        TServiceOp op;
        const char* line;
    } refusals[] = {
        {TServiceOp::OpenForChange,
         "***** SERVICE: MovixKindAgent: access denied (changing a service takes an administrator), not updated"},
        {TServiceOp::WriteField,
         "***** SERVICE: MovixKindAgent: the path could not be changed (access denied (changing a service takes an "
         "administrator)), not updated"},
    };
    for (const auto& r : refusals) {
        SetServiceFaultHookForTest([&r, &name](TServiceOp op, const std::string& service) -> unsigned long {
            return op == r.op && service == name ? ERROR_ACCESS_DENIED : 0;
        });
        Callback replace;
        TReplaceRunner(replace, progMan, nullptr).Run(search.rows, old, now);
        EXPECT_EQ(replace.log, std::vector<std::string>{r.line});
        EXPECT_EQ(ReadServiceField(name, kServiceFieldCommand).value_or(""), path);
    }
}

// A run that searches the services only, for `old`, to its end.
bool SearchServicesOnly(TSearchRunner& runner, Callback& search, const std::string& old) {
    TSearchSettings settings;
    settings.OldAddress = old;
    settings.Modes[KindSvc] = 0;
    runner.Start(settings);
    return PumpUntil([&] { return search.runsEnded == 1; }, 120000);
}

// A manager that answers with an error is never "0 matches": the step fails
// with a "*****" line, and the services are "not searched".
TEST_F(ServiceKindTest, AManagerThatDoesNotOpenLeavesServicesNotSearched) {
    const std::string name = "MovixKindShut";
    const std::string old = "C:\\MVXKIND Shut";
    PlantedService planted(name, "\"" + old + "\\agent.exe\"");
    ASSERT_TRUE(planted.ok()) << GetLastError();
    for (const DWORD error : {DWORD(ERROR_ACCESS_DENIED), DWORD(RPC_S_SERVER_UNAVAILABLE)}) {
        int opens = 0;
        SetServiceFaultHookForTest([&](TServiceOp op, const std::string&) -> unsigned long {
            return op == TServiceOp::OpenManager ? (++opens, error) : 0;
        });
        TDdeClientConv progMan;
        Callback search;
        TSearchRunner runner(search, progMan);
        ASSERT_TRUE(SearchServicesOnly(runner, search, old));
        EXPECT_TRUE(search.rows.empty());
        EXPECT_TRUE(runner.StepFailed(KindSvc));
        // A refusal is final; a manager not ready yet is asked five times.
        EXPECT_EQ(opens, error == ERROR_ACCESS_DENIED ? 1 : 5);
        const std::string why = error == ERROR_ACCESS_DENIED ? "access denied" : "error " + std::to_string(error);
        EXPECT_EQ(runner.LogLines(),
                  std::vector<std::string>{"***** The search of services ended by an error, its count is not "
                                           "complete: the service manager did not open (" +
                                           why + ")"});
        EXPECT_EQ(KindResultText(*KindNamesOf(KindSvc), 0, runner.StepFailed(KindSvc)), "Services: not searched");
    }
    // Once the manager answers, the same service is found.
    SetServiceFaultHookForTest(nullptr);
    TDdeClientConv progMan;
    Callback search;
    TSearchRunner runner(search, progMan);
    ASSERT_TRUE(SearchServicesOnly(runner, search, old));
    EXPECT_EQ(search.rows.size(), 1u);
    EXPECT_FALSE(runner.StepFailed(KindSvc));
}

// A service gone since the search: the journal cannot read what it would
// set back, so the replacement leaves it to the journal's refusal and the
// manager is not asked to change anything.
TEST_F(ServiceKindTest, AServiceTheJournalCannotReadIsLeftAlone) {
    TFoundItem row;
    row.Item = "MovixKindGone";
    row.Path = "Movix Kind Gone";
    row.Kind = KindSvc;
    row.SubType = kSubTypeServiceCommand;
    row.Context = "C:\\MVXKIND Old\\agent.exe";
    char temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    std::string error;
    std::unique_ptr<TUndoRecorder> journal =
        TUndoRecorder::Create(temp, "C:\\MVXKIND Old", "C:\\MVXKIND New", "today", error);
    ASSERT_TRUE(journal) << error;
    TDdeClientConv progMan;
    Callback replace;
    TReplaceRunner runner(replace, progMan, nullptr);
    runner.SetJournal(journal.get());
    runner.Run({row}, "C:\\MVXKIND Old", "C:\\MVXKIND New");
    EXPECT_EQ(replace.log, std::vector<std::string>{"***** Service MovixKindGone left unchanged, the undo journal "
                                                    "could not record it: the service's path could not be read"});
}

}  // namespace
