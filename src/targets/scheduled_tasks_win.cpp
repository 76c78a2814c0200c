#include "targets/scheduled_tasks_win.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>

#include <cstdio>
#include <initializer_list>
#include <utility>

#include "core/command_lines.h"
#include "core/strings.h"
#include "platform/com_ptr_win.h"
#include "platform/wide_text_win.h"

namespace movix {

const char* const kTaskFieldProgram = "cmd";
const char* const kTaskFieldArguments = "arg";
const char* const kTaskFieldFolder = "dir";

namespace {

// The scheduler's class and interfaces, given here so that no import library
// of the scheduler is needed.
const CLSID kClsidTaskScheduler = {0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
const IID kIidTaskService = {0x2faba4c7, 0x4da9, 0x4013, {0x96, 0x97, 0x20, 0xcc, 0x3f, 0xd4, 0x0f, 0x85}};
const IID kIidExecAction = {0x4c3d624d, 0xfd6b, 0x49a3, {0xb9, 0xb7, 0x09, 0xcb, 0x3c, 0xd3, 0xf0, 0x47}};

// COM for the calling thread, undone when the scope ends. A thread that has
// COM already, in either model, keeps it as it is.
class ComInit {
public:
    ComInit() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    ~ComInit() {
        if (SUCCEEDED(hr_))
            ::CoUninitialize();
    }

private:
    HRESULT hr_;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::string& text) : b_(::SysAllocString(Utf8ToWide(text).c_str())) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(b_); }
    BSTR get() const noexcept { return b_; }
    BSTR* put() noexcept {
        ::SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    std::string Utf8() const { return b_ ? WideToUtf8(std::wstring_view(b_, ::SysStringLen(b_))) : std::string(); }

private:
    BSTR b_ = nullptr;
};

class Variant {
public:
    Variant() noexcept { ::VariantInit(&v_); }
    explicit Variant(LONG index) noexcept {
        ::VariantInit(&v_);
        V_VT(&v_) = VT_I4;
        V_I4(&v_) = index;
    }
    // A text, or VT_EMPTY for an empty one.
    explicit Variant(const std::string& text) {
        ::VariantInit(&v_);
        if (!text.empty()) {
            V_VT(&v_) = VT_BSTR;
            V_BSTR(&v_) = ::SysAllocString(Utf8ToWide(text).c_str());
        }
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&v_); }
    const VARIANT& get() const noexcept { return v_; }

private:
    VARIANT v_;
};

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string HresultWords(HRESULT hr) {
    if (hr == E_ACCESSDENIED)
        return "access denied";
    return "error " + HresultText(hr);
}

ComPtr<ITaskService> Connect() {
    ComPtr<ITaskService> service;
    if (FAILED(::CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskService,
                                  reinterpret_cast<void**>(service.put()))))
        return {};
    Variant none;
    if (FAILED(service->Connect(none.get(), none.get(), none.get(), none.get())))
        return {};
    return service;
}

ComPtr<ITaskFolder> OpenFolder(ITaskService* service, const std::string& path) {
    ComPtr<ITaskFolder> folder;
    Bstr name(path);
    if (FAILED(service->GetFolder(name.get(), folder.put())))
        return {};
    return folder;
}

// The exec action at position `index` (from 1); nothing for another kind of
// action or a position that is not there.
ComPtr<IExecAction> ExecActionAt(IActionCollection* actions, int index) {
    ComPtr<IAction> action;
    if (FAILED(actions->get_Item(index, action.put())) || !action)
        return {};
    TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
    if (FAILED(action->get_Type(&type)) || type != TASK_ACTION_EXEC)
        return {};
    return action.As<IExecAction>(kIidExecAction);
}

std::optional<std::string> GetField(IExecAction* exec, const std::string& field) {
    Bstr text;
    HRESULT hr = E_INVALIDARG;
    if (field == kTaskFieldProgram)
        hr = exec->get_Path(text.put());
    else if (field == kTaskFieldArguments)
        hr = exec->get_Arguments(text.put());
    else if (field == kTaskFieldFolder)
        hr = exec->get_WorkingDirectory(text.put());
    if (FAILED(hr))
        return std::nullopt;
    return text.Utf8();
}

HRESULT PutField(IExecAction* exec, const std::string& field, const std::string& text) {
    Bstr value(text);
    if (field == kTaskFieldProgram)
        return exec->put_Path(value.get());
    if (field == kTaskFieldArguments)
        return exec->put_Arguments(value.get());
    if (field == kTaskFieldFolder)
        return exec->put_WorkingDirectory(value.get());
    return E_INVALIDARG;
}

const char* FieldNoun(const std::string& field) {
    if (field == kTaskFieldProgram)
        return "program";
    if (field == kTaskFieldArguments)
        return "arguments";
    return "working folder";
}

struct TaskSearch {
    std::string oldUpper;
    const std::atomic<bool>* cancel;
    std::vector<TTaskHit> hits;

    bool Cancelled() const { return cancel && cancel->load(); }

    void SearchTask(IRegisteredTask* task) {
        Bstr path;
        ComPtr<ITaskDefinition> definition;
        ComPtr<IActionCollection> actions;
        LONG count = 0;
        if (FAILED(task->get_Path(path.put())) || FAILED(task->get_Definition(definition.put())) || !definition ||
            FAILED(definition->get_Actions(actions.put())) || !actions || FAILED(actions->get_Count(&count)))
            return;
        for (LONG i = 1; i <= count; ++i) {
            ComPtr<IExecAction> exec = ExecActionAt(actions.get(), static_cast<int>(i));
            if (!exec)
                continue;
            for (const char* field : {kTaskFieldProgram, kTaskFieldArguments, kTaskFieldFolder}) {
                const std::optional<std::string> text = GetField(exec.get(), field);
                if (!text || !ContainsUpper(*text, oldUpper))
                    continue;
                hits.push_back({path.Utf8(), static_cast<int>(i), field, *text, MaybeLongerName(*text, oldUpper)});
            }
        }
    }

    void SearchFolder(ITaskFolder* folder) {
        ComPtr<IRegisteredTaskCollection> tasks;
        LONG count = 0;
        if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.put())) && tasks &&
            SUCCEEDED(tasks->get_Count(&count))) {
            for (LONG i = 1; i <= count && !Cancelled(); ++i) {
                Variant index(i);
                ComPtr<IRegisteredTask> task;
                if (SUCCEEDED(tasks->get_Item(index.get(), task.put())) && task)
                    SearchTask(task.get());
            }
        }
        ComPtr<ITaskFolderCollection> folders;
        count = 0;
        if (FAILED(folder->GetFolders(0, folders.put())) || !folders || FAILED(folders->get_Count(&count)))
            return;
        for (LONG i = 1; i <= count && !Cancelled(); ++i) {
            Variant index(i);
            ComPtr<ITaskFolder> sub;
            if (SUCCEEDED(folders->get_Item(index.get(), sub.put())) && sub)
                SearchFolder(sub.get());
        }
    }
};

// A task opened for a change, with what registering it again needs.
struct OpenTask {
    ComPtr<ITaskService> service;
    ComPtr<ITaskFolder> folder;
    ComPtr<IRegisteredTask> task;
    std::string name;
};

// Opens the task at `taskPath`; on failure logs a "*****" line ending in
// `notDone` and gives an empty task.
OpenTask Open(const std::string& taskPath, const char* notDone, const TLogLine& log) {
    OpenTask t;
    t.service = Connect();
    if (!t.service) {
        log("***** TASK: " + taskPath + ": the Task Scheduler does not connect, " + notDone);
        return {};
    }
    std::string folderPath;
    SplitTaskPath(taskPath, folderPath, t.name);
    t.folder = OpenFolder(t.service.get(), folderPath);
    Bstr name(t.name);
    HRESULT hr = t.folder ? t.folder->GetTask(name.get(), t.task.put()) : HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    if (FAILED(hr) || !t.task) {
        log("***** TASK: " + taskPath + ": the task does not open (" + HresultWords(hr) + "), " + notDone);
        return {};
    }
    return t;
}

// The logon type and user the task runs under, for registering it again.
bool ReadPrincipal(ITaskDefinition* definition, TASK_LOGON_TYPE& logonType, std::string& user) {
    ComPtr<IPrincipal> principal;
    if (FAILED(definition->get_Principal(principal.put())) || !principal)
        return false;
    if (FAILED(principal->get_LogonType(&logonType)))
        return false;
    Bstr id;
    if (SUCCEEDED(principal->get_UserId(id.put())))
        user = id.Utf8();
    return true;
}

// Checks that every field of `hits` in the task's actions reads as the
// hit's Text; otherwise says which does not, and how, in `why` ("action 2
// (its program) has changed since ..." or "action 2 cannot be read").
bool FieldsHold(IActionCollection* actions, const std::vector<TTaskHit>& hits, const char* since, std::string& why) {
    for (const TTaskHit& hit : hits) {
        ComPtr<IExecAction> exec = ExecActionAt(actions, hit.Action);
        const std::optional<std::string> text = exec ? GetField(exec.get(), hit.Field) : std::nullopt;
        const std::string action = "action " + std::to_string(hit.Action);
        if (!text) {
            why = action + " cannot be read";
            return false;
        }
        if (*text != hit.Text) {
            why = action + " (its " + FieldNoun(hit.Field) + ") has changed since the " + since;
            return false;
        }
    }
    return true;
}

}  // namespace

void SplitTaskPath(const std::string& taskPath, std::string& folder, std::string& name) {
    const std::size_t slash = taskPath.find_last_of('\\');
    if (slash == std::string::npos) {
        folder = "\\";
        name = taskPath;
        return;
    }
    folder = slash == 0 ? std::string("\\") : taskPath.substr(0, slash);
    name = taskPath.substr(slash + 1);
}

std::vector<TTaskHit> SearchScheduledTasks(const std::string& oldAddr,
                                           const std::atomic<bool>* cancel,
                                           bool* listed) {
    if (listed)
        *listed = false;
    TaskSearch search{UpperText(oldAddr), cancel, {}};
    if (search.oldUpper.empty())
        return {};
    ComInit com;
    ComPtr<ITaskService> service = Connect();
    if (!service)
        return {};
    ComPtr<ITaskFolder> root = OpenFolder(service.get(), "\\");
    if (!root)
        return {};
    if (listed) {
        ComPtr<IRegisteredTaskCollection> tasks;
        LONG count = 0;
        *listed = SUCCEEDED(root->GetTasks(TASK_ENUM_HIDDEN, tasks.put())) && tasks &&
                  SUCCEEDED(tasks->get_Count(&count));
    }
    search.SearchFolder(root.get());
    return std::move(search.hits);
}

std::optional<std::string> ReadTaskXml(const std::string& taskPath) {
    ComInit com;
    OpenTask t = Open(taskPath, "", [](const std::string&) {});
    Bstr xml;
    if (!t.task || FAILED(t.task->get_Xml(xml.put())))
        return std::nullopt;
    return xml.Utf8();
}

std::optional<std::string> ReadTaskField(const std::string& taskPath, int action, const std::string& field) {
    ComInit com;
    OpenTask t = Open(taskPath, "", [](const std::string&) {});
    ComPtr<ITaskDefinition> definition;
    ComPtr<IActionCollection> actions;
    if (!t.task || FAILED(t.task->get_Definition(definition.put())) || !definition ||
        FAILED(definition->get_Actions(actions.put())) || !actions)
        return std::nullopt;
    ComPtr<IExecAction> exec = ExecActionAt(actions.get(), action);
    return exec ? GetField(exec.get(), field) : std::nullopt;
}

std::optional<TTaskChange> ReplaceTaskHits(const std::vector<TTaskHit>& hits,
                                           const std::string& oldAddr,
                                           const std::string& newAddr,
                                           const TLogLine& log) {
    if (hits.empty())
        return std::nullopt;
    const std::string& taskPath = hits.front().TaskPath;
    for (const TTaskHit& hit : hits) {
        if (hit.TaskPath != taskPath || hit.Action < 1 ||
            (hit.Field != kTaskFieldProgram && hit.Field != kTaskFieldArguments && hit.Field != kTaskFieldFolder)) {
            log("***** TASK: " + taskPath + ": the hits do not all name a field of this task, not updated");
            return std::nullopt;
        }
    }
    ComInit com;
    OpenTask t = Open(taskPath, "not updated", log);
    if (!t.task)
        return std::nullopt;

    TTaskChange change;
    change.TaskPath = taskPath;
    Bstr xml;
    ComPtr<ITaskDefinition> definition;
    ComPtr<IActionCollection> actions;
    HRESULT hr = t.task->get_Xml(xml.put());
    if (SUCCEEDED(hr))
        hr = t.task->get_Definition(definition.put());
    if (SUCCEEDED(hr) && definition)
        hr = definition->get_Actions(actions.put());
    if (FAILED(hr) || !definition || !actions) {
        log("***** TASK: " + taskPath + ": the task's definition cannot be read (" + HresultWords(hr) +
            "), not updated");
        return std::nullopt;
    }
    change.BeforeXml = xml.Utf8();

    TASK_LOGON_TYPE logonType = TASK_LOGON_NONE;
    std::string user;
    if (!ReadPrincipal(definition.get(), logonType, user)) {
        log("***** TASK: " + taskPath + ": the account the task runs under cannot be read, not updated");
        return std::nullopt;
    }
    if (logonType == TASK_LOGON_PASSWORD) {
        log("***** TASK: " + taskPath +
            ": the task runs with a stored password, which registering it again would need; not updated");
        return std::nullopt;
    }
    std::string why;
    if (!FieldsHold(actions.get(), hits, "search", why)) {
        log("***** TASK: " + taskPath + ": " + why + ", not updated");
        return std::nullopt;
    }

    // Every field is set in the definition first; the scheduler sees the
    // change only when the whole definition is registered.
    std::vector<std::string> lines;
    for (const TTaskHit& hit : hits) {
        std::string after = hit.Text;
        ReplaceAllText(after, oldAddr, newAddr);
        if (after == hit.Text)
            continue;
        // The program's path is a file name, the folder too; the arguments
        // are the command line's tail, each kept whole.
        if (hit.Field == kTaskFieldArguments) {
            const std::optional<std::string> quoted =
                RewriteCommandLine(hit.Text, oldAddr, newAddr, TCommandLineForm::ArgumentsOnly);
            if (!quoted) {
                log("***** TASK: " + taskPath + ": the arguments of action " + std::to_string(hit.Action) +
                    " cannot name the New address with each kept whole, not updated");
                return std::nullopt;
            }
            after = *quoted;
        }
        ComPtr<IExecAction> exec = ExecActionAt(actions.get(), hit.Action);
        hr = exec ? PutField(exec.get(), hit.Field, after) : E_NOINTERFACE;
        if (FAILED(hr)) {
            log("***** TASK: " + taskPath + ": the " + FieldNoun(hit.Field) + " of action " +
                std::to_string(hit.Action) + " cannot be set (" + HresultWords(hr) + "), not updated");
            return std::nullopt;
        }
        change.Before.push_back(hit);
        TTaskHit written = hit;
        written.Text = after;
        change.Written.push_back(std::move(written));
        lines.push_back("TASK: " + taskPath + "   old " + FieldNoun(hit.Field) + ": " + hit.Text + "   new " +
                        FieldNoun(hit.Field) + ": " + after);
    }
    if (change.Written.empty())
        return std::nullopt;

    Bstr name(t.name);
    Variant userId(user);
    Variant none;
    ComPtr<IRegisteredTask> registered;
    hr = t.folder->RegisterTaskDefinition(name.get(), definition.get(), TASK_UPDATE, userId.get(), none.get(),
                                          logonType, none.get(), registered.put());
    if (FAILED(hr)) {
        log("***** TASK: " + taskPath + ": the changed task could not be registered (" + HresultWords(hr) +
            "), not updated");
        return std::nullopt;
    }
    for (const std::string& line : lines)
        log(line);
    return change;
}

bool RestoreTaskChange(const TTaskChange& change, const TLogLine& log) {
    const std::string& taskPath = change.TaskPath;
    ComInit com;
    OpenTask t = Open(taskPath, "not restored", log);
    if (!t.task)
        return false;
    ComPtr<ITaskDefinition> definition;
    ComPtr<IActionCollection> actions;
    HRESULT hr = t.task->get_Definition(definition.put());
    if (SUCCEEDED(hr) && definition)
        hr = definition->get_Actions(actions.put());
    if (FAILED(hr) || !definition || !actions) {
        log("***** TASK: " + taskPath + ": the task's definition cannot be read (" + HresultWords(hr) +
            "), not restored");
        return false;
    }
    std::string why;
    if (!FieldsHold(actions.get(), change.Written, "replacement", why)) {
        log("***** TASK: " + taskPath + ": " + why + ", not restored");
        return false;
    }
    if (change.Before.size() != change.Written.size()) {
        log("***** TASK: " + taskPath + ": the texts of its fields before the replacement are not known, not restored");
        return false;
    }
    TASK_LOGON_TYPE logonType = TASK_LOGON_NONE;
    std::string user;
    if (!ReadPrincipal(definition.get(), logonType, user)) {
        log("***** TASK: " + taskPath + ": the account the task runs under cannot be read, not restored");
        return false;
    }
    if (logonType == TASK_LOGON_PASSWORD) {
        log("***** TASK: " + taskPath +
            ": the task runs with a stored password, which registering it again would need; not restored");
        return false;
    }
    // Only the fields the replacement wrote go back, into the definition as
    // it is now: what was changed since in the task (its triggers, its
    // settings, being disabled) stays.
    for (const TTaskHit& field : change.Before) {
        ComPtr<IExecAction> exec = ExecActionAt(actions.get(), field.Action);
        hr = exec ? PutField(exec.get(), field.Field, field.Text) : E_NOINTERFACE;
        if (FAILED(hr)) {
            log("***** TASK: " + taskPath + ": the " + FieldNoun(field.Field) + " of action " +
                std::to_string(field.Action) + " cannot be set (" + HresultWords(hr) + "), not restored");
            return false;
        }
    }
    Bstr name(t.name);
    Variant userId(user);
    Variant none;
    ComPtr<IRegisteredTask> registered;
    hr = t.folder->RegisterTaskDefinition(name.get(), definition.get(), TASK_UPDATE, userId.get(), none.get(),
                                          logonType, none.get(), registered.put());
    if (FAILED(hr)) {
        log("***** TASK: " + taskPath + ": the task with its fields as they were could not be registered (" +
            HresultWords(hr) + "), not restored");
        return false;
    }
    log("TASK: " + taskPath + "   its fields restored as they were before the replacement");
    return true;
}

}  // namespace movix
