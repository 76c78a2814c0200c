#include "targets/services_win.h"

#include <windows.h>

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/command_lines.h"
#include "core/strings.h"
#include "platform/handles.h"
#include "platform/wide_text_win.h"

namespace movix {

const char* const kServiceFieldCommand = "cmd";
const char* const kServiceFieldDescription = "desc";

namespace {

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseServiceHandle(h); }
};
using ServiceHandle = UniqueHandle<ServiceHandleTraits>;

TServiceFaultHook& FaultHook() {
    static TServiceFaultHook hook;
    return hook;
}

DWORD FaultFor(TServiceOp op, const std::string& name) {
    const TServiceFaultHook& hook = FaultHook();
    return hook ? static_cast<DWORD>(hook(op, name)) : 0;
}

bool IsCommand(const std::string& field) {
    return field == kServiceFieldCommand;
}

// How the log names a field.
const char* FieldNoun(const std::string& field) {
    return IsCommand(field) ? "path" : "description";
}

// Fills `buffer` through a query that reports the size it needs; false when
// the query fails for any other reason.
template <typename Query>
bool QueryGrowing(std::string& buffer, Query query) {
    DWORD needed = 0;
    buffer.assign(1024, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (query(reinterpret_cast<BYTE*>(&buffer[0]), static_cast<DWORD>(buffer.size()), &needed))
            return true;
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.assign(needed > buffer.size() ? needed : buffer.size() * 2, '\0');
    }
    return false;
}

// The field's text; nothing when it cannot be read. The error is left in
// GetLastError.
std::optional<std::string> ReadField(SC_HANDLE service, const std::string& field) {
    std::string buffer;
    if (IsCommand(field)) {
        if (!QueryGrowing(buffer, [service](BYTE* p, DWORD size, DWORD* needed) {
                return ::QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(p), size, needed) !=
                       FALSE;
            }))
            return std::nullopt;
        const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
        return config->lpBinaryPathName ? WideToUtf8(config->lpBinaryPathName) : std::string();
    }
    if (!QueryGrowing(buffer, [service](BYTE* p, DWORD size, DWORD* needed) {
            return ::QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, p, size, needed) != FALSE;
        }))
        return std::nullopt;
    const auto* description = reinterpret_cast<const SERVICE_DESCRIPTIONW*>(buffer.data());
    return description->lpDescription ? WideToUtf8(description->lpDescription) : std::string();
}

// Writes the field through the manager, every other setting unchanged.
bool WriteField(SC_HANDLE service, const std::string& name, const std::string& field, const std::string& text) {
    if (const DWORD fault = FaultFor(TServiceOp::WriteField, name)) {
        ::SetLastError(fault);
        return false;
    }
    std::wstring wide = Utf8ToWide(text);
    if (IsCommand(field))
        return ::ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, wide.c_str(),
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
    SERVICE_DESCRIPTIONW description{};
    description.lpDescription = &wide[0];
    return ::ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description) != FALSE;
}

// A driver's binary path is the file the kernel loads, read whole, quotes
// and all: it is no command line. Not known is taken as a service.
bool IsDriver(SC_HANDLE service) {
    std::string buffer;
    if (!QueryGrowing(buffer, [service](BYTE* p, DWORD size, DWORD* needed) {
            return ::QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(p), size, needed) != FALSE;
        }))
        return false;
    const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
    return (config->dwServiceType & (SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER)) != 0;
}

bool IsRunning(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                &needed))
        return false;
    return status.dwCurrentState != SERVICE_STOPPED;
}

std::string ErrorWords(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return "access denied (changing a service takes an administrator)";
    case ERROR_SERVICE_DOES_NOT_EXIST:
        return "the service does not exist";
    case ERROR_SERVICE_MARKED_FOR_DELETE:
        return "the service is marked for deletion";
    default:
        return "error " + std::to_string(error);
    }
}

// What a refusal of the search's reading says: reading takes no administrator.
std::string ReadErrorWords(DWORD error) {
    return error == ERROR_ACCESS_DENIED ? std::string("access denied") : "error " + std::to_string(error);
}

// Opens the service with what changing a field needs; on failure logs a
// "*****" line ending in `notDone` and gives nothing.
// Opens a service by its name through the manager. Under Wine the
// manager's process ends when it has been idle a while and is started again
// by the next call; met while it goes or comes, a call fails, and in its
// first moments it has even answered that a service it lists does not
// exist. So a failure is tried again, a few times, a quarter of a second
// apart; a refusal is final.
ServiceHandle OpenServiceNamed(const std::string& name, DWORD access, DWORD& error) {
    for (int attempt = 0;; ++attempt) {
        ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        error = manager ? 0 : ::GetLastError();
        if (manager) {
            ServiceHandle service(::OpenServiceW(manager.get(), Utf8ToWide(name).c_str(), access));
            if (service)
                return service;
            error = ::GetLastError();
        }
        if (attempt >= 4 || error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_NAME)
            return ServiceHandle();
        ::Sleep(250);
    }
}

ServiceHandle OpenForChange(const std::string& name, const char* notDone, const TLogLine& log) {
    ServiceHandle service;
    DWORD error = FaultFor(TServiceOp::OpenForChange, name);
    if (error == 0)
        service = OpenServiceNamed(name, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS, error);
    if (error != 0)
        log("***** SERVICE: " + name + ": " + ErrorWords(error) + ", " + notDone);
    return service;
}

}  // namespace

void SetServiceFaultHookForTest(TServiceFaultHook hook) {
    FaultHook() = std::move(hook);
}

std::vector<TServiceHit> SearchServices(const std::string& oldAddr, const std::atomic<bool>* cancel) {
    std::vector<TServiceHit> hits;
    const std::string oldUpper = UpperText(oldAddr);
    if (oldUpper.empty())
        return hits;
    // A manager that is not ready yet (see OpenServiceNamed) is asked again;
    // one that does not answer leaves the services not searched, which is
    // an error and never "0 matches".
    ServiceHandle manager;
    for (int attempt = 0;; ++attempt) {
        DWORD error = FaultFor(TServiceOp::OpenManager, std::string());
        if (error == 0) {
            manager.reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
            error = manager ? 0 : ::GetLastError();
        }
        if (error == 0)
            break;
        if (attempt >= 4 || error == ERROR_ACCESS_DENIED)
            throw std::runtime_error("the service manager did not open (" + ReadErrorWords(error) + ")");
        ::Sleep(250);
    }

    // The names first, in one list: the services are then read one by one.
    std::vector<std::pair<std::wstring, std::wstring>> services;
    DWORD resume = 0;
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        DWORD needed = 0, count = 0;
        const BOOL ok = ::EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32 | SERVICE_DRIVER,
                                                SERVICE_STATE_ALL, reinterpret_cast<BYTE*>(&buffer[0]),
                                                static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr);
        const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
        if (!ok && error != ERROR_MORE_DATA)
            throw std::runtime_error("the service manager did not list its services (" + ReadErrorWords(error) +
                                     ")");
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            services.emplace_back(entries[i].lpServiceName ? entries[i].lpServiceName : L"",
                                  entries[i].lpDisplayName ? entries[i].lpDisplayName : L"");
        if (ok)
            break;
        if (count == 0) {
            // Not one entry fitted: make room for what the manager asks.
            if (needed <= buffer.size())
                break;
            buffer.assign(needed, '\0');
        }
    }

    for (const auto& [wideName, wideDisplay] : services) {
        if (cancel && cancel->load())
            break;
        ServiceHandle service(::OpenServiceW(manager.get(), wideName.c_str(), SERVICE_QUERY_CONFIG));
        if (!service)
            continue;
        for (const char* field : {kServiceFieldCommand, kServiceFieldDescription}) {
            const std::optional<std::string> text = ReadField(service.get(), field);
            if (!text || !ContainsUpper(*text, oldUpper))
                continue;
            TServiceHit hit;
            hit.ServiceName = WideToUtf8(wideName);
            hit.DisplayName = WideToUtf8(wideDisplay);
            hit.Field = field;
            hit.Text = *text;
            hit.MaybeLonger = MaybeLongerName(*text, oldUpper);
            hits.push_back(std::move(hit));
        }
    }
    return hits;
}

std::optional<std::string> ReadServiceField(const std::string& serviceName, const std::string& field) {
    // A read that meets the manager's process going (see OpenServiceNamed)
    // is tried again over a new handle.
    for (int attempt = 0; attempt < 5; ++attempt) {
        DWORD error = 0;
        ServiceHandle service = OpenServiceNamed(serviceName, SERVICE_QUERY_CONFIG, error);
        if (!service)
            return std::nullopt;
        if (std::optional<std::string> text = ReadField(service.get(), field))
            return text;
        ::Sleep(250);
    }
    return std::nullopt;
}

std::optional<TServiceChange> ReplaceServiceHit(const TServiceHit& hit,
                                                const std::string& oldAddr,
                                                const std::string& newAddr,
                                                const TLogLine& log) {
    const std::string& name = hit.ServiceName;
    const char* noun = FieldNoun(hit.Field);
    if (!IsCommand(hit.Field) && hit.Field != kServiceFieldDescription) {
        log("***** SERVICE: " + name + ": unknown field " + hit.Field + ", not updated");
        return std::nullopt;
    }
    std::string after = hit.Text;
    ReplaceAllText(after, oldAddr, newAddr);
    if (after == hit.Text)
        return std::nullopt;

    ServiceHandle service = OpenForChange(name, "not updated", log);
    if (!service)
        return std::nullopt;
    const std::optional<std::string> current = ReadField(service.get(), hit.Field);
    if (!current) {
        log("***** SERVICE: " + name + ": the " + noun + " cannot be read (" + ErrorWords(::GetLastError()) +
            "), not updated");
        return std::nullopt;
    }
    if (*current != hit.Text) {
        log("***** SERVICE: " + name + ": the " + noun + " has changed since the search, not updated");
        return std::nullopt;
    }
    // The manager starts a service through its path as a command line: a
    // New with a blank, unquoted, would have the system try C:\Program.exe
    // first.
    if (IsCommand(hit.Field) && !IsDriver(service.get())) {
        const std::optional<std::string> quoted =
            RewriteCommandLine(hit.Text, oldAddr, newAddr, TCommandLineForm::WithProgram);
        if (!quoted) {
            log("***** SERVICE: " + name + ": the path " + hit.Text +
                " cannot name the New address with its arguments kept as they are, not updated");
            return std::nullopt;
        }
        after = *quoted;
    }
    if (!WriteField(service.get(), name, hit.Field, after)) {
        log("***** SERVICE: " + name + ": the " + noun + " could not be changed (" + ErrorWords(::GetLastError()) +
            "), not updated");
        return std::nullopt;
    }
    log("SERVICE: " + name + "   old " + noun + ": " + hit.Text + "   new " + noun + ": " + after);
    if (IsCommand(hit.Field) && IsRunning(service.get()))
        log("SERVICE: " + name + " is running; the new path takes effect at its next start");
    return TServiceChange{name, hit.Field, hit.Text, after};
}

bool RestoreServiceChange(const TServiceChange& change, const TLogLine& log) {
    const std::string& name = change.ServiceName;
    if (!IsCommand(change.Field) && change.Field != kServiceFieldDescription) {
        log("***** SERVICE: " + name + ": unknown field " + change.Field + ", not restored");
        return false;
    }
    const char* noun = FieldNoun(change.Field);
    ServiceHandle service = OpenForChange(name, "not restored", log);
    if (!service)
        return false;
    const std::optional<std::string> current = ReadField(service.get(), change.Field);
    if (!current) {
        log("***** SERVICE: " + name + ": the " + noun + " cannot be read (" + ErrorWords(::GetLastError()) +
            "), not restored");
        return false;
    }
    if (*current != change.After) {
        log("***** SERVICE: " + name + ": the " + noun + " has changed since the replacement, not restored");
        return false;
    }
    if (!WriteField(service.get(), name, change.Field, change.Before)) {
        log("***** SERVICE: " + name + ": the " + noun + " could not be changed (" + ErrorWords(::GetLastError()) +
            "), not restored");
        return false;
    }
    log("SERVICE: " + name + "   restored " + noun + ": " + change.Before);
    if (IsCommand(change.Field) && IsRunning(service.get()))
        log("SERVICE: " + name + " is running; the restored path takes effect at its next start");
    return true;
}

}  // namespace movix
