// Services as a target: the binary path (with its arguments) and the
// description of every service the service manager lists, searched for the
// Old address and rewritten through the manager itself.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/replace_groups.h"

namespace movix {

// The fields of a service that are searched and rewritten.
extern const char* const kServiceFieldCommand;      // "cmd": the binary path with its arguments
extern const char* const kServiceFieldDescription;  // "desc": the description

// One field of one service that names the Old address.
struct TServiceHit {
    std::string ServiceName;
    std::string DisplayName;
    std::string Field;  // kServiceFieldCommand or kServiceFieldDescription
    std::string Text;   // the field's text as the search read it
    // The Old address may go on there into a longer name (MaybeLongerName).
    bool MaybeLonger = false;
};

// Every field of every service and driver that holds the Old address
// at a path boundary, in the order the manager lists the services; the
// command before the description of each. A service that cannot be read is
// passed over in silence. `cancel`, when given and set, ends the walk before
// the next service. A manager that does not open (after a few tries) or does
// not list its services throws std::runtime_error: the services were not
// searched.
std::vector<TServiceHit> SearchServices(const std::string& oldAddr, const std::atomic<bool>* cancel = nullptr);

// What a replacement wrote into one field, with what was there before: what
// an undo journal keeps to set it back.
struct TServiceChange {
    std::string ServiceName;
    std::string Field;
    std::string Before;
    std::string After;
};

// Rewrites the field of `hit` through the service manager: the Old address
// replaced by the New one in the text the search found, after reading the
// field again and finding it still holds that text. Only that field changes
// (every other setting of the service is left as it is). A running service is
// not stopped: the log says the new path takes effect at its next start.
// Every failure (the service gone or changed since the search, access denied,
// the manager refusing) is a "*****" line and gives no change.
std::optional<TServiceChange> ReplaceServiceHit(const TServiceHit& hit,
                                                const std::string& oldAddr,
                                                const std::string& newAddr,
                                                const TLogLine& log);

// Sets the field back to `Before`, when it still holds what the replacement
// wrote (`After`); otherwise, and on any failure, a "*****" line and false.
bool RestoreServiceChange(const TServiceChange& change, const TLogLine& log);

// The current text of a field of a service, read through the manager;
// nothing when the service or its configuration does not open.
std::optional<std::string> ReadServiceField(const std::string& serviceName, const std::string& field);

// Test seam: a hook that may answer a Win32 error code in place of the
// manager for opening the manager for the search (the name is empty), for
// opening a service to change it, or for writing a field of it
// (0: go on as usual). Where the test prefix cannot refuse for real (its
// manager grants every access asked for), tests make the refusal here.
enum class TServiceOp { OpenManager, OpenForChange, WriteField };
using TServiceFaultHook = std::function<unsigned long(TServiceOp op, const std::string& serviceName)>;
void SetServiceFaultHookForTest(TServiceFaultHook hook);

}  // namespace movix
