#include "targets/target_kinds_win.h"

#include <exception>
#include <memory>

#include "platform/handles.h"
#include "targets/config_files.h"
#include "targets/config_files_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/ini_files_win.h"
#include "targets/progman_groups_win.h"
#include "targets/registry_replace_win.h"
#include "targets/service_entries.h"
#include "targets/service_kinds_win.h"
#include "targets/shortcuts_win.h"
#include "targets/undo_journal_win.h"

namespace movix {

namespace {

TFoundEvent PlainHits(const TRegFoundEvent& onFound) {
    return [onFound](const std::string& item, const std::string& path, const std::string& context, int kind,
                     int subType) { onFound(item, path, context, kind, subType, std::string()); };
}

// The control set the system runs with ("ControlSet001"); empty when the
// Registry does not say.
std::string CurrentControlSet() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Select", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::string();
    DWORD current = 0, type = 0, size = sizeof current;
    const LONG got =
        RegQueryValueExW(key, L"Current", nullptr, &type, reinterpret_cast<BYTE*>(&current), &size);
    RegCloseKey(key);
    if (got != ERROR_SUCCESS || type != REG_DWORD || current == 0 || current > 999)
        return std::string();
    std::string digits = std::to_string(current);
    return "ControlSet" + std::string(3 - digits.size(), '0') + digits;
}

// One group in the form the replacers take, and back: also when the
// replacer throws, so that the run can still name the group in its log.
template <typename Replacer>
void ReplaceOne(TReplaceGroup& group, Replacer&& replace) {
    std::vector<TReplaceGroup> one;
    one.push_back(std::move(group));
    auto giveBack = ScopeExit([&] { group = std::move(one[0]); });
    replace(one);
}

class TIniKind final : public TTargetKind {
  public:
    TIniKind() : TTargetKind(KindIni) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        auto* thread = new TSearchINIThread(KindIni, s.OldAddress, s.ProgressLabel, PlainHits(s.OnFound), s.Mode);
        thread->UseListings(s.Listings);
        return thread;
    }
    std::vector<std::string> FileTypes(const TKindSearch&) const override { return {"INI"}; }
    void BeginReplace(TKindReplace& run) override {
        // The journal notes the name each file's backup was kept under.
        log_ = run.Journal != nullptr ? run.Journal->WatchLog(run.Log) : run.Log;
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        ReplaceOne(group, [&](std::vector<TReplaceGroup>& one) {
            ReplaceIniFiles(one, run.OldAddress, run.NewAddress, run.ItemLabel, log_);
        });
    }

  private:
    TLogLine log_;
};

class TGroupKind final : public TTargetKind {
  public:
    TGroupKind() : TTargetKind(KindGrp) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        // Opened here, on the run's thread, which owns it; the thread only
        // asks through it, and the run's end closes it. A conversation that
        // did not open gives the thread empty replies.
        s.ProgMan->SetLink("ProgMan", "ProgMan");
        s.ProgMan->OpenLink();
        return new TSearchGrpThread(KindGrp, s.OldAddress, s.ProgressLabel, PlainHits(s.OnFound), s.ProgMan);
    }
    // The replacer only collects the commands; they go as one execute after
    // the last group, and the pass's lines follow then.
    void BeginReplace(TKindReplace& run) override {
        if (run.Journal != nullptr)
            run.Journal->UseConversation(run.ProgMan);
        pass_ = std::make_unique<TProgManPass>(*run.ProgMan);
    }
    TLogLine RunLog(TKindReplace&) override { return pass_->Log(); }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        ReplaceOne(group, [&](std::vector<TReplaceGroup>& one) {
            pass_->Replace(one, run.OldAddress, run.NewAddress, run.ItemLabel);
        });
    }
    void EndReplace(TKindReplace& run) override {
        try {
            pass_->Finish(run.Log, run.KeepResponsive);
        } catch (const std::exception& e) {
            run.Log(std::string("***** Program Manager: ") + e.what());
        }
        pass_.reset();
        if (run.Journal != nullptr)
            run.Journal->AfterGroupItems();
    }

  private:
    std::unique_ptr<TProgManPass> pass_;
};

class TShortcutKind final : public TTargetKind {
  public:
    TShortcutKind() : TTargetKind(KindLnk) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        auto* thread = new TSearchLNKThread(KindLnk, s.OldAddress, s.ProgressLabel, PlainHits(s.OnFound), s.Mode);
        thread->UseListings(s.Listings);
        return thread;
    }
    std::vector<std::string> FileTypes(const TKindSearch&) const override { return {"LNK"}; }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        ReplaceOne(group, [&](std::vector<TReplaceGroup>& one) {
            ReplaceShortcuts(one, run.OldAddress, run.NewAddress, run.ItemLabel, run.Log);
        });
    }
};

class TRegistryKind final : public TTargetKind {
  public:
    TRegistryKind() : TTargetKind(KindReg) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        TRegFoundEvent onFound = s.OnFound;
        if (s.ServicesSearched) {
            // The services' search lists each binary path and description
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
        TSearchRegThread* thread = new TSearchRegThread(KindReg, s.OldAddress, s.ProgressLabel, PlainHits(onFound),
                                                        s.IgnoreKeys, s.Mode);
        thread->OnFoundValue = onFound;
        return thread;
    }
    bool LastToFirst() const override { return true; }
    // The replacer opens its part of the log with a blank line and
    // "Updating Registry" on every call: handed one group at a time, the
    // first call's stand.
    void BeginReplace(TKindReplace& run) override {
        calls_ = 0;
        headToDrop_ = 0;
        const TLogLine log = run.Log;
        log_ = [this, log](const std::string& line) {
            static const char* const kHead[] = {"", "Updating Registry"};
            if (headToDrop_ > 0 && line == kHead[2 - headToDrop_]) {
                --headToDrop_;
                return;
            }
            headToDrop_ = 0;
            log(line);
        };
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        headToDrop_ = calls_++ > 0 ? 2 : 0;
        ReplaceOne(group, [&](std::vector<TReplaceGroup>& one) {
            ReplaceRegistry(one, run.OldAddress, run.NewAddress, run.ItemLabel, log_);
        });
    }

  private:
    int calls_ = 0;
    std::size_t headToDrop_ = 0;
    TLogLine log_;
};

class TConfigKind final : public TTargetKind {
  public:
    TConfigKind() : TTargetKind(KindCfg) {}
    TMovixThread* NewSearch(const TKindSearch& s) override {
        auto* thread = new TSearchConfigThread(KindCfg, s.OldAddress, s.ProgramFolder, s.ProgressLabel,
                                               PlainHits(s.OnFound), s.Mode, s.IniMode, FileTypes(s));
        thread->UseListings(s.Listings);
        return thread;
    }
    std::vector<std::string> FileTypes(const TKindSearch& s) const override {
        return ParseConfigTypes(s.ConfigTypes.empty() ? kDefaultConfigTypes : s.ConfigTypes);
    }
    void BeginReplace(TKindReplace& run) override {
        log_ = run.Journal != nullptr ? run.Journal->WatchLog(run.Log) : run.Log;
    }
    void Replace(TReplaceGroup& group, TKindReplace& run) override {
        ReplaceConfigFile(group, run.OldAddress, run.NewAddress, run.ItemLabel, log_);
    }

  private:
    TLogLine log_;
};

}  // namespace

const std::vector<TTargetKind*>& TargetKinds() {
    static TIniKind ini;
    static TGroupKind groups;
    static TShortcutKind shortcuts;
    static TRegistryKind registry;
    static TConfigKind configs;
    static TServiceKind services;
    static TTaskKind tasks;
    // In the order of kKindNames.
    static const std::vector<TTargetKind*> kinds = {&ini, &groups, &shortcuts, &registry, &configs, &services, &tasks};
    return kinds;
}

TTargetKind* FindTargetKind(int code) {
    for (TTargetKind* kind : TargetKinds())
        if (kind->Code() == code)
            return kind;
    return nullptr;
}

}  // namespace movix
