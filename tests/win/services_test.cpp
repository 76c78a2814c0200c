// The services target against the real service manager of the test prefix:
// services made for the test (and deleted after it), searched, rewritten and
// set back, read back through the manager and through the service's own key
// in the Registry, where the manager keeps its configuration.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "platform/wide_text_win.h"
#include "targets/services_win.h"

using namespace movix;

namespace {

using Lines = std::vector<std::string>;

const std::string kOld = "C:\\Acme Tools";
const std::string kNew = "D:\\Moved\\Acme Tools";

struct PlantedService {
    std::string name;
    std::string path;
    std::string description;
};

// The services a test plants, under names of its own (tests run side by
// side): one that names the Old folder in both fields, one in a neighbour
// folder whose name goes on (never a hit), and one in a folder whose name may
// go on after a blank (a doubtful hit).
std::vector<PlantedService> PlantedFor(const std::string& prefix) {
    return {
        {prefix + "Agent", "\"C:\\Acme Tools\\bin\\agent.exe\" /service /log=c:\\acme tools\\log",
         "Runs the agent of C:\\Acme Tools"},
        {prefix + "Neighbour", "C:\\Acme ToolsPro\\agent.exe", "Runs the agent of C:\\Acme ToolsPro"},
        {prefix + "Doubtful", "\"C:\\Acme Tools 2\\agent.exe\"", "Nothing of the folder here"},
    };
}

class ServiceManager {
  public:
    ServiceManager() : h_(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}
    ~ServiceManager() {
        if (h_)
            ::CloseServiceHandle(h_);
    }
    SC_HANDLE get() const { return h_; }

  private:
    SC_HANDLE h_;
};

bool DeleteTestService(const std::string& name) {
    ServiceManager scm;
    SC_HANDLE s = ::OpenServiceW(scm.get(), Utf8ToWide(name).c_str(), DELETE);
    if (!s)
        return false;
    const bool ok = ::DeleteService(s) != FALSE;
    ::CloseServiceHandle(s);
    return ok;
}

// Sets a field behind the replacer's back, as another program would.
bool ChangeBehind(const std::string& name, const std::string& field, const std::string& text) {
    ServiceManager scm;
    SC_HANDLE s = ::OpenServiceW(scm.get(), Utf8ToWide(name).c_str(), SERVICE_CHANGE_CONFIG);
    if (!s)
        return false;
    std::wstring wide = Utf8ToWide(text);
    BOOL ok;
    if (field == kServiceFieldCommand) {
        ok = ::ChangeServiceConfigW(s, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, wide.c_str(), nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr);
    } else {
        SERVICE_DESCRIPTIONW d{&wide[0]};
        ok = ::ChangeServiceConfig2W(s, SERVICE_CONFIG_DESCRIPTION, &d);
    }
    ::CloseServiceHandle(s);
    return ok != FALSE;
}

// The binary path as the manager keeps it in the Registry.
std::string ImagePathInRegistry(const std::string& name) {
    const std::wstring key = L"System\\CurrentControlSet\\Services\\" + Utf8ToWide(name);
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"ImagePath", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                       RRF_NOEXPAND, nullptr, buffer, &size) != ERROR_SUCCESS)
        return "<unreadable>";
    return WideToUtf8(buffer);
}

class ServicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix_ = std::string("MovixTest") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        planted_ = PlantedFor(prefix_);
        ServiceManager scm;
        ASSERT_NE(scm.get(), nullptr) << "the service manager does not open: " << ::GetLastError();
        for (const PlantedService& p : planted_)
            Plant(p, SERVICE_WIN32_OWN_PROCESS);
    }
    void Plant(const PlantedService& p, DWORD type) {
        ServiceManager scm;
        DeleteTestService(p.name);
        SC_HANDLE s = ::CreateServiceW(scm.get(), Utf8ToWide(p.name).c_str(), Utf8ToWide(p.name).c_str(),
                                       SERVICE_ALL_ACCESS, type, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       Utf8ToWide(p.path).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(s, nullptr) << p.name << ": " << ::GetLastError();
        std::wstring description = Utf8ToWide(p.description);
        SERVICE_DESCRIPTIONW d{&description[0]};
        EXPECT_TRUE(::ChangeServiceConfig2W(s, SERVICE_CONFIG_DESCRIPTION, &d));
        ::CloseServiceHandle(s);
    }
    void TearDown() override {
        SetServiceFaultHookForTest(nullptr);
        for (const PlantedService& p : planted_)
            DeleteTestService(p.name);
    }

    // The search's hits on the planted services only.
    std::vector<TServiceHit> PlantedHits(const std::atomic<bool>* cancel = nullptr) const {
        std::vector<TServiceHit> hits;
        for (TServiceHit& h : SearchServices(kOld, cancel))
            if (h.ServiceName.rfind(prefix_, 0) == 0)
                hits.push_back(std::move(h));
        return hits;
    }

    std::string prefix_;
    std::vector<PlantedService> planted_;
    Lines log_;
    TLogLine Log() {
        return [this](const std::string& line) { log_.push_back(line); };
    }
};

// The search finds the fields at path boundaries only, the replacement and
// the restore go through the manager.
TEST_F(ServicesTest, SearchReplaceAndRestoreRoundTrip) {
    std::atomic<bool> cancel{true};
    EXPECT_TRUE(PlantedHits(&cancel).empty());
    const std::vector<TServiceHit> all = PlantedHits();
    struct Expected {
        std::string name;
        const char* field;
        std::string text;
        bool maybeLonger;
    };
    const Expected expected[] = {
        {planted_[0].name, "cmd", planted_[0].path, false},
        {planted_[0].name, "desc", planted_[0].description, false},
        {planted_[2].name, "cmd", planted_[2].path, true},
    };
    ASSERT_EQ(all.size(), std::size(expected));
    std::vector<TServiceHit> hits;
    for (const Expected& e : expected) {
        auto it = std::find_if(all.begin(), all.end(),
                               [&](const TServiceHit& h) { return h.ServiceName == e.name && h.Field == e.field; });
        ASSERT_NE(it, all.end()) << e.name << " " << e.field;
        EXPECT_EQ(it->Text, e.text);
        EXPECT_EQ(it->DisplayName, e.name);
        EXPECT_EQ(it->MaybeLonger, e.maybeLonger) << e.name;
        if (e.name == planted_[0].name)
            hits.push_back(*it);
    }

    const std::string newPath = "\"D:\\Moved\\Acme Tools\\bin\\agent.exe\" /service /log=D:\\Moved\\Acme Tools\\log";
    const std::string newDescription = "Runs the agent of D:\\Moved\\Acme Tools";
    std::vector<TServiceChange> changes;
    for (const TServiceHit& h : hits) {
        std::optional<TServiceChange> c = ReplaceServiceHit(h, kOld, kNew, Log());
        ASSERT_TRUE(c.has_value()) << h.Field;
        EXPECT_EQ(c->Before, h.Text);
        changes.push_back(*c);
    }
    EXPECT_EQ(ReadServiceField(planted_[0].name, "cmd"), newPath);
    EXPECT_EQ(ImagePathInRegistry(planted_[0].name), newPath);
    EXPECT_EQ(ReadServiceField(planted_[0].name, "desc"), newDescription);
    EXPECT_EQ(ReadServiceField(planted_[1].name, "cmd"), planted_[1].path);
    const Lines replaced = {
        "SERVICE: " + planted_[0].name + "   old path: " + planted_[0].path + "   new path: " + newPath,
        "SERVICE: " + planted_[0].name + "   old description: " + planted_[0].description +
            "   new description: " + newDescription,
    };
    EXPECT_EQ(log_, replaced);

    log_.clear();
    for (const TServiceChange& c : changes)
        EXPECT_TRUE(RestoreServiceChange(c, Log()));
    EXPECT_EQ(ReadServiceField(planted_[0].name, "cmd"), planted_[0].path);
    EXPECT_EQ(ImagePathInRegistry(planted_[0].name), planted_[0].path);
    EXPECT_EQ(ReadServiceField(planted_[0].name, "desc"), planted_[0].description);
    const Lines restored = {
        "SERVICE: " + planted_[0].name + "   restored path: " + planted_[0].path,
        "SERVICE: " + planted_[0].name + "   restored description: " + planted_[0].description,
    };
    EXPECT_EQ(log_, restored);
}

// A binary path that begins with Old unquoted is written in quotes when New
// holds a blank: unquoted, the manager would try C:\Program.exe first, as
// the service's own account. A driver's path is a file name, never quoted.
TEST_F(ServicesTest, UnquotedPathIsQuotedWhenNewHoldsABlank) {
    const std::string oldDir = "C:\\" + prefix_;
    const std::string newDir = "C:\\Program Files\\M\xC3\xBCller Tools";
    const PlantedService service{prefix_ + "Unquoted", oldDir + "\\svc.exe -run", "-"};
    const PlantedService driver{prefix_ + "Driver", oldDir + "\\drv.sys", "-"};
    planted_.push_back(service);
    planted_.push_back(driver);
    Plant(service, SERVICE_WIN32_OWN_PROCESS);
    Plant(driver, SERVICE_KERNEL_DRIVER);
    const struct {
        const PlantedService& planted;
        std::string after;
    } cases[] = {
        {service, "\"" + newDir + "\\svc.exe\" -run"},
        {driver, newDir + "\\drv.sys"},
    };
    const std::vector<TServiceHit> hits = SearchServices(oldDir, nullptr);
    for (const auto& c : cases) {
        const auto hit = std::find_if(hits.begin(), hits.end(), [&](const TServiceHit& h) {
            return h.ServiceName == c.planted.name && h.Field == kServiceFieldCommand;
        });
        ASSERT_NE(hit, hits.end()) << c.planted.name;
        const std::optional<TServiceChange> change = ReplaceServiceHit(*hit, oldDir, newDir, Log());
        ASSERT_TRUE(change.has_value()) << c.planted.name;
        EXPECT_EQ(ReadServiceField(c.planted.name, kServiceFieldCommand), c.after);
        EXPECT_EQ(ImagePathInRegistry(c.planted.name), c.after);
        EXPECT_TRUE(RestoreServiceChange(*change, Log()));
        EXPECT_EQ(ReadServiceField(c.planted.name, kServiceFieldCommand), c.planted.path);
        EXPECT_EQ(ImagePathInRegistry(c.planted.name), c.planted.path);
    }
}

// A field changed by someone else between the search and the replacement,
// or between the replacement and the restore, is left as the other made it.
TEST_F(ServicesTest, FieldsChangedMeanwhileAreLeftAlone) {
    const std::vector<TServiceHit> hits = PlantedHits();
    const auto hit = [&](const std::string& name, const char* field) {
        auto it = std::find_if(hits.begin(), hits.end(),
                               [&](const TServiceHit& h) { return h.ServiceName == name && h.Field == field; });
        return it == hits.end() ? TServiceHit{} : *it;
    };
    const TServiceHit cmd = hit(planted_[0].name, "cmd");
    const TServiceHit desc = hit(planted_[0].name, "desc");
    const TServiceHit gone = hit(planted_[2].name, "cmd");
    ASSERT_FALSE(cmd.Text.empty() || desc.Text.empty() || gone.Text.empty());

    const std::string theirs = "C:\\Acme Tools\\bin\\agent2.exe";
    ASSERT_TRUE(ChangeBehind(cmd.ServiceName, "cmd", theirs));
    EXPECT_FALSE(ReplaceServiceHit(cmd, kOld, kNew, Log()).has_value());
    EXPECT_EQ(ReadServiceField(cmd.ServiceName, "cmd"), theirs);
    EXPECT_EQ(log_, Lines{"***** SERVICE: " + cmd.ServiceName + ": the path has changed since the search, not updated"});

    log_.clear();
    std::optional<TServiceChange> c = ReplaceServiceHit(desc, kOld, kNew, Log());
    ASSERT_TRUE(c.has_value());
    ASSERT_TRUE(ChangeBehind(desc.ServiceName, "desc", "Their own words"));
    log_.clear();
    EXPECT_FALSE(RestoreServiceChange(*c, Log()));
    EXPECT_EQ(ReadServiceField(desc.ServiceName, "desc"), "Their own words");
    EXPECT_EQ(log_, Lines{"***** SERVICE: " + desc.ServiceName +
                          ": the description has changed since the replacement, not restored"});

    // A service deleted since the search.
    log_.clear();
    ASSERT_TRUE(DeleteTestService(gone.ServiceName));
    EXPECT_FALSE(ReplaceServiceHit(gone, kOld, kNew, Log()).has_value());
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].rfind("***** SERVICE: " + gone.ServiceName + ": ", 0), 0u) << log_[0];
    EXPECT_NE(log_[0].find("not updated"), std::string::npos) << log_[0];
}

// Refusals of the manager (a standard user is denied every change) are
// "*****" lines, and the field stays as it was; the test prefix's manager
// grants every access, so the refusals are made at the seam.
TEST_F(ServicesTest, RefusalsAreLoggedAndChangeNothing) {
    const std::string& name = planted_[0].name;
    const std::string& path = planted_[0].path;
    const TServiceHit hit{name, name, "cmd", path, false};
    const std::string moved = "\"D:\\Moved\\Acme Tools\\bin\\agent.exe\" /service /log=D:\\Moved\\Acme Tools\\log";
    struct Case {
        TServiceOp op;
        unsigned long error;
        bool restore;  // refuse the restore of a replacement, not the replacement
        std::string line;
    };
    const Case cases[] = {
        {TServiceOp::OpenForChange, ERROR_ACCESS_DENIED, false,
         "***** SERVICE: " + name + ": access denied (changing a service takes an administrator), not updated"},
        {TServiceOp::WriteField, ERROR_ACCESS_DENIED, false,
         "***** SERVICE: " + name +
             ": the path could not be changed (access denied (changing a service takes an administrator)), "
             "not updated"},
        {TServiceOp::WriteField, ERROR_INVALID_PARAMETER, true,
         "***** SERVICE: " + name + ": the path could not be changed (error 87), not restored"},
        {TServiceOp::OpenForChange, ERROR_SERVICE_MARKED_FOR_DELETE, true,
         "***** SERVICE: " + name + ": the service is marked for deletion, not restored"},
    };
    for (const Case& c : cases) {
        log_.clear();
        std::optional<TServiceChange> change;
        if (c.restore) {
            change = ReplaceServiceHit(hit, kOld, kNew, Log());
            ASSERT_TRUE(change.has_value());
            log_.clear();
        }
        SetServiceFaultHookForTest([&c](TServiceOp op, const std::string&) { return op == c.op ? c.error : 0ul; });
        if (c.restore)
            EXPECT_FALSE(RestoreServiceChange(*change, Log()));
        else
            EXPECT_FALSE(ReplaceServiceHit(hit, kOld, kNew, Log()).has_value());
        SetServiceFaultHookForTest(nullptr);
        EXPECT_EQ(log_, Lines{c.line});
        EXPECT_EQ(ReadServiceField(name, "cmd"), c.restore ? moved : path) << c.line;
        if (c.restore)
            ASSERT_TRUE(RestoreServiceChange(*change, Log()));
    }
}

// A service that is running is not stopped; the log says when its new path
// takes effect. Wine's own services run in the test prefix.
TEST_F(ServicesTest, RunningServiceIsChangedInPlace) {
    ServiceManager scm;
    SC_HANDLE s = ::OpenServiceW(scm.get(), L"PlugPlay", SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
    SERVICE_STATUS status{};
    if (!s || !::QueryServiceStatus(s, &status) || status.dwCurrentState != SERVICE_RUNNING) {
        if (s)
            ::CloseServiceHandle(s);
        GTEST_SKIP() << "no running PlugPlay service in this prefix";
    }
    ::CloseServiceHandle(s);
    const std::optional<std::string> path = ReadServiceField("PlugPlay", "cmd");
    ASSERT_TRUE(path.has_value());
    // Old and New differ in letter case only, so the service still starts.
    const std::string old = "plugplay.exe";
    TServiceHit hit{"PlugPlay", "Plug and Play", "cmd", *path, false};
    std::optional<TServiceChange> c = ReplaceServiceHit(hit, old, "PLUGPLAY.EXE", Log());
    ASSERT_TRUE(c.has_value()) << (log_.empty() ? "" : log_[0]);
    ASSERT_EQ(log_.size(), 2u);
    EXPECT_EQ(log_[1], "SERVICE: PlugPlay is running; the new path takes effect at its next start");
    EXPECT_TRUE(RestoreServiceChange(*c, Log()));
    EXPECT_EQ(ReadServiceField("PlugPlay", "cmd"), *path);
}

}  // namespace
