// The Registry: its search and replacement.

#include "core/search_thread_win.h"
#include "targets/target_kinds_win.h"
#include "targets/undo_journal_win.h"
#include "targets/registry_replace_win.h"
#include "targets/service_entries.h"
#include "platform/handles.h"

namespace movix {

namespace {

// The control set the system runs with ("ControlSet001"); empty when the
// Registry does not say.
std::string CurrentControlSet() {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Select", 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return std::string();
    const RegKey key(raw);
    DWORD current = 0, type = 0, size = sizeof current;
    const LONG got = RegQueryValueExW(key.get(), L"Current", nullptr, &type, reinterpret_cast<BYTE*>(&current), &size);
    if (got != ERROR_SUCCESS || type != REG_DWORD || current == 0 || current > 999)
        return std::string();
    std::string digits = std::to_string(current);
    return "ControlSet" + std::string(3 - digits.size(), '0') + digits;
}

class TRegistryKind final : public TTargetKind {
  public:
    TRegistryKind() : TTargetKind(KindReg) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        TRegFoundEvent onFound = s.OnFound;
        if (s.ModeOf(KindSvc) >= 0) {
            // The services are searched in the same run: their search lists each binary path and description
            // once, as the service manager gives it; listed here too, it
            // would be rewritten behind the manager's back first.
            onFound = [onFound, controlSet = CurrentControlSet()](const std::string& item, const std::string& path,
                                                                  const std::string& context, int kind, int subType,
                                                                  const std::string& valueName) {
                // The Context is the value's name, "=" and its text.
                const std::size_t prefix = valueName.size() + 1;
                if ((subType == kSubTypeData || subType == kSubTypeExpandData) && context.size() >= prefix &&
                    IsServiceManagerValue(path, valueName, std::string_view(context).substr(prefix), controlSet))
                    return;
                onFound(item, path, context, kind, subType, valueName);
            };
        }
        TSearchRegThread* thread =
            new TSearchRegThread(KindReg, s.OldAddress, s.ProgressLabel, PlainHits(onFound), s.IgnoreKeys, s.Mode);
        thread->OnFoundValue = onFound;
        return thread;
    }
    bool LastToFirst() const override { return true; }
    // The replacer opens its part of the log with a head: handed one group
    // at a time, on its first call only.
    void BeginReplace(TKindReplace&) override { calls_ = 0; }
    bool RecordBefore(TUndoRecorder& journal, const TReplaceGroup& group, std::string& error) override {
        return journal.BeforeRegistry(group, error);
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        const bool head = calls_++ == 0;
        ReplaceOne(group, [&](std::vector<TReplaceGroup>& one) {
            ReplaceRegistry(one, run.OldAddress, run.NewAddress, run.ItemLabel, run.Log, head);
        });
    }

  private:
    int calls_ = 0;
};

}  // namespace

MOVIX_REGISTER_TARGET_KIND(TRegistryKind)

}  // namespace movix
