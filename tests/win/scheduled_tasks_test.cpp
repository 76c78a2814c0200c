// The scheduled-tasks target against the test prefix's own Task Scheduler:
// tasks registered from XML for the test (in a folder of their own, removed
// after it), searched, rewritten and set back, read back through the
// scheduler and through the task files it keeps in the system folder.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/search_runner_win.h"
#include "platform/com_ptr_win.h"
#include "platform/wide_text_win.h"
#include "search_test_support_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/scheduled_tasks_win.h"

using namespace movix;

namespace {

using Lines = std::vector<std::string>;

const std::string kOld = "C:\\Acme Tools";
const std::string kNew = "D:\\Moved\\Acme Tools";

const CLSID kClsidTaskScheduler = {0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
const IID kIidTaskService = {0x2faba4c7, 0x4da9, 0x4013, {0x96, 0x97, 0x20, 0xcc, 0x3f, 0xd4, 0x0f, 0x85}};

std::string TaskXml(const std::string& logon, const std::string& actions) {
    return "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
           "<RegistrationInfo><Description>Made by a test</Description></RegistrationInfo>"
           "<Principals><Principal id=\"Author\">" +
           logon +
           "</Principal></Principals>"
           "<Settings><Enabled>false</Enabled><Hidden>true</Hidden></Settings>"
           "<Actions Context=\"Author\">" +
           actions + "</Actions></Task>";
}

std::string Exec(const std::string& command, const std::string& arguments, const std::string& folder) {
    return "<Exec><Command>" + command + "</Command><Arguments>" + arguments + "</Arguments><WorkingDirectory>" +
           folder + "</WorkingDirectory></Exec>";
}

const char* const kInteractive = "<LogonType>InteractiveToken</LogonType>";

struct PlantedTask {
    std::string path;
    std::string xml;
};

// The tasks a test plants in a folder of its own (tests run side by side):
// one in a subfolder whose second action names the Old folder (its first
// names nothing), and one in a neighbour folder whose name goes on.
std::vector<PlantedTask> PlantedIn(const std::string& folder) {
    return {
        {folder + "\\Sub\\Agent",
         TaskXml(kInteractive, Exec("C:\\windows\\notepad.exe", "/p", "C:\\windows") +
                                   Exec("C:\\Acme Tools\\bin\\agent.exe", "/log \"c:\\acme tools\\log\"",
                                        "C:\\Acme Tools"))},
        {folder + "\\Neighbour", TaskXml(kInteractive, Exec("C:\\Acme ToolsPro\\agent.exe", "", "C:\\Acme ToolsPro"))},
    };
}

// A BSTR for a call, freed after it.
struct Text {
    BSTR b;
    explicit Text(const std::string& s) : b(::SysAllocString(Utf8ToWide(s).c_str())) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { ::SysFreeString(b); }
};

// The test's own way into the scheduler, apart from the code under test.
class Scheduler {
  public:
    Scheduler() {
        ::VariantInit(&none_);
        if (FAILED(::CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskService,
                                      reinterpret_cast<void**>(service_.put()))) ||
            FAILED(service_->Connect(none_, none_, none_, none_)))
            service_.reset();
    }
    bool ok() const { return static_cast<bool>(service_); }

    // The folder of `path` (made when asked and missing), and the last name.
    ComPtr<ITaskFolder> Parent(const std::string& path, bool create, std::string& name) {
        std::string parentPath;
        SplitTaskPath(path, parentPath, name);
        ComPtr<ITaskFolder> folder;
        if (SUCCEEDED(service_->GetFolder(Text(parentPath).b, folder.put())) || !create || parentPath == "\\")
            return folder;
        std::string own;
        ComPtr<ITaskFolder> grand = Parent(parentPath, true, own);
        if (grand)
            grand->CreateFolder(Text(own).b, none_, folder.put());
        return folder;
    }

    HRESULT Register(const std::string& path, const std::string& xml, TASK_LOGON_TYPE logon, const char* user) {
        std::string name;
        ComPtr<ITaskFolder> folder = Parent(path, true, name);
        if (!folder)
            return E_FAIL;
        VARIANT userId;
        ::VariantInit(&userId);
        if (user) {
            V_VT(&userId) = VT_BSTR;
            V_BSTR(&userId) = ::SysAllocString(Utf8ToWide(user).c_str());
        }
        ComPtr<IRegisteredTask> task;
        const HRESULT hr =
            folder->RegisterTask(Text(name).b, Text(xml).b, TASK_CREATE_OR_UPDATE, userId, none_, logon, none_, task.put());
        ::VariantClear(&userId);
        return hr;
    }

    void Delete(const std::string& path, bool folder) {
        std::string name;
        if (ComPtr<ITaskFolder> parent = Parent(path, false, name))
            folder ? parent->DeleteFolder(Text(name).b, 0) : parent->DeleteTask(Text(name).b, 0);
    }

    ComPtr<IRegisteredTask> Task(const std::string& path) {
        std::string name;
        ComPtr<IRegisteredTask> task;
        if (ComPtr<ITaskFolder> folder = Parent(path, false, name))
            folder->GetTask(Text(name).b, task.put());
        return task;
    }

    // The task's XML as the scheduler gives it; empty when it cannot.
    std::string Xml(const std::string& path) {
        ComPtr<IRegisteredTask> task = Task(path);
        BSTR xml = nullptr;
        if (!task || FAILED(task->get_Xml(&xml)) || !xml)
            return std::string();
        std::string text = WideToUtf8(xml);
        ::SysFreeString(xml);
        return text;
    }

    // What listing a folder's tasks and checking a task's actions and
    // account take, named where it fails on the planted task `path`.
    std::string Missing(const std::string& path) {
        std::string missing;
        const auto note = [&missing](HRESULT hr, const char* what) {
            if (FAILED(hr))
                missing += std::string(missing.empty() ? "" : ", ") + what;
        };
        std::string name;
        ComPtr<ITaskFolder> folder = Parent(path, false, name);
        ComPtr<IRegisteredTaskCollection> tasks;
        LONG count = 0;
        if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.put())))
            note(tasks->get_Count(&count), "IRegisteredTaskCollection::get_Count");
        if (Xml(path).find("agent.exe") == std::string::npos)
            note(E_FAIL, "keeping the actions of a task registered from XML (IRegisteredTask::get_Xml shows none)");
        ComPtr<ITaskDefinition> definition;
        ComPtr<IActionCollection> actions;
        ComPtr<IPrincipal> principal;
        TASK_LOGON_TYPE logon = TASK_LOGON_NONE;
        ComPtr<IRegisteredTask> task = Task(path);
        if (!task || FAILED(task->get_Definition(definition.put())) ||
            FAILED(definition->get_Actions(actions.put())) || FAILED(definition->get_Principal(principal.put())))
            return missing + " (a task's definition)";
        note(actions->get_Count(&count), "IActionCollection::get_Count");
        note(principal->get_LogonType(&logon), "IPrincipal::get_LogonType");
        return missing;
    }

  private:
    ComPtr<ITaskService> service_;
    VARIANT none_;
};

// The task's file in the scheduler's own store, as text.
std::string StoredTask(const std::string& taskPath) {
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::string bytes = movix_test::ReadFileBytes(WideToUtf8(system) + "\\Tasks" + taskPath);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return WideToUtf8(std::wstring_view(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2));
    return bytes;
}

class ScheduledTasksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        folder_ = std::string("\\MovixTest") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        agent_ = folder_ + "\\Sub\\Agent";
        planted_ = PlantedIn(folder_);
        scheduler_ = std::make_unique<Scheduler>();
        ASSERT_TRUE(scheduler_->ok()) << "the Task Scheduler does not connect";
        for (const PlantedTask& t : planted_)
            ASSERT_EQ(scheduler_->Register(t.path, t.xml, TASK_LOGON_INTERACTIVE_TOKEN, nullptr), S_OK) << t.path;
    }
    void TearDown() override {
        if (scheduler_ && scheduler_->ok()) {
            for (const PlantedTask& t : planted_)
                scheduler_->Delete(t.path, false);
            scheduler_->Delete(folder_ + "\\Password", false);
            scheduler_->Delete(folder_ + "\\Sub", true);
            scheduler_->Delete(folder_, true);
        }
        scheduler_.reset();
        ::CoUninitialize();
    }

    std::vector<TTaskHit> PlantedHits(const std::atomic<bool>* cancel = nullptr) const {
        std::vector<TTaskHit> hits;
        for (TTaskHit& h : SearchScheduledTasks(kOld, cancel))
            if (h.TaskPath.rfind(folder_ + "\\", 0) == 0)
                hits.push_back(std::move(h));
        return hits;
    }

    // What of the scheduler a test of the whole search and replacement
    // needs and Wine 8's lacks (its calls answer E_NOTIMPL); empty when
    // everything is there.
    std::string Missing() const { return scheduler_->Missing(agent_); }

    std::string folder_;
    std::string agent_;
    std::vector<PlantedTask> planted_;
    std::unique_ptr<Scheduler> scheduler_;
    Lines log_;
    TLogLine Log() {
        return [this](const std::string& line) { log_.push_back(line); };
    }
};

// The search walks every folder, hidden tasks included; the replacement
// registers the whole task again, the restore its XML from before.
TEST_F(ScheduledTasksTest, SearchReplaceAndRestoreRoundTrip) {
    if (const std::string missing = Missing(); !missing.empty())
        GTEST_SKIP() << "the Task Scheduler lacks " << missing;
    std::atomic<bool> cancel{true};
    EXPECT_TRUE(PlantedHits(&cancel).empty());
    const std::vector<TTaskHit> hits = PlantedHits();
    // Field, text found, text written, the name the log gives the field.
    const char* const fields[][4] = {
        {"cmd", "C:\\Acme Tools\\bin\\agent.exe", "D:\\Moved\\Acme Tools\\bin\\agent.exe", "program"},
        {"arg", "/log \"c:\\acme tools\\log\"", "/log \"D:\\Moved\\Acme Tools\\log\"", "arguments"},
        {"dir", "C:\\Acme Tools", "D:\\Moved\\Acme Tools", "working folder"},
    };
    ASSERT_EQ(hits.size(), std::size(fields));
    Lines replaced;
    for (std::size_t i = 0; i < hits.size(); ++i) {
        EXPECT_EQ(hits[i].TaskPath, agent_);
        EXPECT_EQ(hits[i].Action, 2);
        EXPECT_EQ(hits[i].Field, fields[i][0]);
        EXPECT_EQ(hits[i].Text, fields[i][1]);
        EXPECT_FALSE(hits[i].MaybeLonger);
        replaced.push_back("TASK: " + agent_ + "   old " + fields[i][3] + ": " + fields[i][1] + "   new " +
                           fields[i][3] + ": " + fields[i][2]);
    }

    std::optional<TTaskChange> change = ReplaceTaskHits(hits, kOld, kNew, Log());
    ASSERT_TRUE(change.has_value()) << (log_.empty() ? "" : log_[0]);
    EXPECT_EQ(log_, replaced);
    for (const auto& f : fields)
        EXPECT_EQ(ReadTaskField(agent_, 2, f[0]), f[2]) << f[0];
    EXPECT_EQ(ReadTaskField(agent_, 1, "cmd"), "C:\\windows\\notepad.exe");
    EXPECT_EQ(ReadTaskField(folder_ + "\\Neighbour", 1, "cmd"), "C:\\Acme ToolsPro\\agent.exe");
    const std::string stored = StoredTask(agent_);
    EXPECT_NE(stored.find("D:\\Moved\\Acme Tools\\bin\\agent.exe"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("C:\\Acme Tools"), std::string::npos) << stored;
    EXPECT_NE(change->BeforeXml.find("C:\\Acme Tools\\bin\\agent.exe"), std::string::npos);

    log_.clear();
    EXPECT_TRUE(RestoreTaskChange(*change, Log()));
    EXPECT_EQ(log_, Lines{"TASK: " + agent_ + "   its fields restored as they were before the replacement"});
    for (const TTaskHit& h : hits)
        EXPECT_EQ(ReadTaskField(h.TaskPath, h.Action, h.Field), h.Text) << h.Field;
    const std::string restored = StoredTask(agent_);
    EXPECT_NE(restored.find("C:\\Acme Tools\\bin\\agent.exe"), std::string::npos) << restored;
    EXPECT_EQ(restored.find("D:\\Moved"), std::string::npos) << restored;
}

// Restore puts back only the fields the replacement wrote: a trigger, a
// description and being enabled, all given to the task since, stay.
TEST_F(ScheduledTasksTest, RestoreKeepsWhatElseWasChangedInTheTaskSince) {
    if (const std::string missing = Missing(); !missing.empty())
        GTEST_SKIP() << "the Task Scheduler lacks " << missing;
    std::optional<TTaskChange> change = ReplaceTaskHits(PlantedHits(), kOld, kNew, Log());
    ASSERT_TRUE(change.has_value()) << (log_.empty() ? "" : log_[0]);
    std::string theirs =
        TaskXml(kInteractive, Exec("C:\\windows\\notepad.exe", "/p", "C:\\windows") +
                                  Exec("D:\\Moved\\Acme Tools\\bin\\agent.exe", "/log \"D:\\Moved\\Acme Tools\\log\"",
                                       "D:\\Moved\\Acme Tools"));
    theirs.replace(theirs.find("Made by a test"), 14, "Changed by its owner");
    theirs.replace(theirs.find("<Enabled>false</Enabled>"), 24, "<Enabled>true</Enabled>");
    theirs.replace(theirs.find("</RegistrationInfo>"), 19,
                   "</RegistrationInfo><Triggers><TimeTrigger><StartBoundary>2030-01-02T03:04:05</StartBoundary>"
                   "</TimeTrigger></Triggers>");
    ASSERT_EQ(scheduler_->Register(agent_, theirs, TASK_LOGON_INTERACTIVE_TOKEN, nullptr), S_OK);
    log_.clear();
    EXPECT_TRUE(RestoreTaskChange(*change, Log())) << (log_.empty() ? "" : log_[0]);
    for (const TTaskHit& h : change->Before)
        EXPECT_EQ(ReadTaskField(agent_, h.Action, h.Field), h.Text) << h.Field;
    const std::string now = scheduler_->Xml(agent_);
    EXPECT_NE(now.find("Changed by its owner"), std::string::npos) << now;
    EXPECT_NE(now.find("2030-01-02T03:04:05"), std::string::npos) << now;
    EXPECT_EQ(now.find("<Enabled>false</Enabled>"), std::string::npos) << now;
}

// A task changed by someone else since the search, or since the
// replacement, stays as the other made it: no field of it is written.
TEST_F(ScheduledTasksTest, TasksChangedMeanwhileAreLeftAlone) {
    if (const std::string missing = Missing(); !missing.empty())
        GTEST_SKIP() << "the Task Scheduler lacks " << missing;
    const std::vector<TTaskHit> hits = PlantedHits();
    ASSERT_EQ(hits.size(), 3u);
    const std::string theirs =
        TaskXml(kInteractive, Exec("C:\\windows\\notepad.exe", "/p", "C:\\windows") +
                                  Exec("C:\\Acme Tools\\bin\\agent.exe", "/their-own", "C:\\Acme Tools"));
    ASSERT_EQ(scheduler_->Register(agent_, theirs, TASK_LOGON_INTERACTIVE_TOKEN, nullptr), S_OK);
    EXPECT_FALSE(ReplaceTaskHits(hits, kOld, kNew, Log()).has_value());
    EXPECT_EQ(log_, Lines{"***** TASK: " + agent_ +
                          ": action 2 (its arguments) has changed since the search, not updated"});
    EXPECT_EQ(ReadTaskField(agent_, 2, "cmd"), "C:\\Acme Tools\\bin\\agent.exe");
    EXPECT_EQ(ReadTaskField(agent_, 2, "arg"), "/their-own");

    log_.clear();
    std::optional<TTaskChange> change = ReplaceTaskHits(PlantedHits(), kOld, kNew, Log());
    ASSERT_TRUE(change.has_value());
    ASSERT_EQ(scheduler_->Register(agent_, theirs, TASK_LOGON_INTERACTIVE_TOKEN, nullptr), S_OK);
    log_.clear();
    EXPECT_FALSE(RestoreTaskChange(*change, Log()));
    EXPECT_EQ(log_, Lines{"***** TASK: " + agent_ +
                          ": action 2 (its program) has changed since the replacement, not restored"});
    EXPECT_EQ(ReadTaskField(agent_, 2, "arg"), "/their-own");
}

// A task that runs with a stored password cannot be registered again
// without it: it is left as it is, and the log says why.
TEST_F(ScheduledTasksTest, TaskWithStoredPasswordIsLeftUnchanged) {
    if (const std::string missing = Missing(); !missing.empty())
        GTEST_SKIP() << "the Task Scheduler lacks " << missing;
    const std::string path = folder_ + "\\Password";
    const std::string xml = TaskXml("<UserId>movixtestuser</UserId><LogonType>Password</LogonType>",
                                    Exec("C:\\Acme Tools\\p.exe", "", ""));
    const HRESULT hr = scheduler_->Register(path, xml, TASK_LOGON_PASSWORD, "movixtestuser");
    if (FAILED(hr))
        GTEST_SKIP() << "the scheduler refuses a password task without its password: 0x" << std::hex << hr;
    std::vector<TTaskHit> hits;
    for (const TTaskHit& h : PlantedHits())
        if (h.TaskPath == path)
            hits.push_back(h);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_FALSE(ReplaceTaskHits(hits, kOld, kNew, Log()).has_value());
    EXPECT_EQ(log_, Lines{"***** TASK: " + path +
                          ": the task runs with a stored password, which registering it again would need; "
                          "not updated"});
    EXPECT_EQ(ReadTaskField(path, 1, "cmd"), "C:\\Acme Tools\\p.exe");
}

// Where the task cannot be checked against what the search found (it has
// changed, or the scheduler cannot show its actions or its account, as
// Wine's cannot), neither the replacement nor the restore registers
// anything: the task's XML is the same before and after, and one "*****"
// line says why.
TEST_F(ScheduledTasksTest, UncheckedTasksAreNeverRegistered) {
    const std::string before = scheduler_->Xml(agent_);
    ASSERT_FALSE(before.empty());
    const TTaskHit stale{agent_, 2, "cmd", "C:\\Acme Tools\\bin\\other.exe", false};
    const TTaskChange change{agent_, TaskXml(kInteractive, Exec("C:\\elsewhere.exe", "", "")),
                             {{agent_, 2, "cmd", "D:\\Moved\\Acme Tools\\bin\\agent.exe", false}}};
    struct Case {
        const char* what;
        std::function<bool()> run;
        const char* ending;
    };
    const Case cases[] = {
        {"replace", [&] { return ReplaceTaskHits({stale}, kOld, kNew, Log()).has_value(); }, ", not updated"},
        {"restore", [&] { return RestoreTaskChange(change, Log()); }, ", not restored"},
    };
    for (const Case& c : cases) {
        log_.clear();
        EXPECT_FALSE(c.run()) << c.what;
        ASSERT_EQ(log_.size(), 1u) << c.what;
        EXPECT_EQ(log_[0].rfind("***** TASK: " + agent_ + ": ", 0), 0u) << log_[0];
        EXPECT_EQ(log_[0].substr(log_[0].size() - std::strlen(c.ending)), c.ending) << log_[0];
        EXPECT_EQ(scheduler_->Xml(agent_), before) << c.what;
    }
    // A task that is not there.
    log_.clear();
    EXPECT_FALSE(
        ReplaceTaskHits({{folder_ + "\\Gone", 1, "cmd", "C:\\Acme Tools\\a.exe", false}}, kOld, kNew, Log()).has_value());
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].rfind("***** TASK: " + folder_ + "\\Gone: the task does not open", 0), 0u) << log_[0];
}

}  // namespace

namespace {

struct TaskRunCallback : IRunCallback {
    void StepStarted(int) override {}
    void StepEnded(int) override {}
    void Hit(const std::string& item, const std::string&, const std::string&, int kind, int subType,
             const std::string& valueName) override {
        rows.push_back(item + " " + std::to_string(kind) + " " + std::to_string(subType) + " " + valueName);
    }
    void LogLine(const std::string&) override {}
    void RunEnded() override { ended = true; }
    void KeepResponsive() override {}
    bool StopRequested() override { return false; }
    std::vector<std::string> rows;
    bool ended = false;
};

}  // namespace

// The search run over the tasks: the planted task's three fields are rows
// (its path, the action's number), or, where the scheduler does not list
// its tasks (Wine's), the run says that it searched none rather than
// finding none.
TEST_F(ScheduledTasksTest, SearchRunFindsThePlantedTaskOrSaysItSearchedNone) {
    UiDispatcher::Init();
    TDdeClientConv progMan;
    TaskRunCallback callback;
    TSearchRunner runner(callback, progMan);
    TSearchSettings settings;
    settings.OldAddress = kOld;
    settings.Modes[KindTsk] = 0;
    runner.Start(settings);
    ASSERT_TRUE(movix_test::PumpUntil([&] { return callback.ended; }, 120000));
    Lines planted;
    for (const std::string& row : callback.rows)
        if (row.rfind(folder_ + "\\", 0) == 0)
            planted.push_back(row);
    const Lines& notes = runner.Notes();
    const bool searchedNone =
        std::find(notes.begin(), notes.end(),
                  "Scheduled tasks: the Task Scheduler did not list its tasks, none were searched.") != notes.end();
    if (searchedNone) {
        EXPECT_TRUE(planted.empty());
    } else {
        EXPECT_EQ(planted, (Lines{agent_ + " 7 25 2", agent_ + " 7 26 2", agent_ + " 7 27 2"}));
    }
    UiDispatcher::Shutdown();
}
