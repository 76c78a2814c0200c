#include "engine/search_runner_win.h"

#include <utility>

#include "core/found_items.h"
#include "core/search_thread_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/ini_files_win.h"
#include "targets/progman_groups_win.h"
#include "targets/registry_search_win.h"
#include "targets/shortcuts_win.h"

namespace movix {

void TSearchRunner::Hit(const std::string& item,
                        const std::string& path,
                        const std::string& context,
                        int kind,
                        int subType,
                        const std::string& valueName) {
    callback_.Hit(item, path, context, kind, subType, valueName);
}

void TSearchRunner::Start(const TSearchSettings& settings) {
    settings_ = settings;
    if (settings_.IniMode < 0) {
        StartGroupSearch();
        return;
    }
    callback_.StepStarted(KindIni);
    TSearchINIThread* thread = new TSearchINIThread(
        KindIni, settings_.OldAddress, settings_.ProgressLabel,
        [this](const std::string& item, const std::string& path, const std::string& context, int kind, int subType) {
            Hit(item, path, context, kind, subType);
        },
        settings_.IniMode);
    current_ = thread;
    thread->OnTerminate = [this](TMovixThread*) { StartGroupSearch(); };
    thread->Resume();
}

void TSearchRunner::StartGroupSearch() {
    if (callback_.StopRequested())
        return;
    TakeStepNotes();
    if (!settings_.Groups) {
        StartShortcutSearch();
        return;
    }
    callback_.StepStarted(KindGrp);
    // Opened here, on this thread, which owns it; the thread only asks
    // through it, and Finish closes it. A conversation that did not open
    // gives the thread empty replies.
    progMan_.SetLink("ProgMan", "ProgMan");
    progMan_.OpenLink();
    TSearchGrpThread* thread = new TSearchGrpThread(
        KindGrp, settings_.OldAddress, settings_.ProgressLabel,
        [this](const std::string& item, const std::string& path, const std::string& context, int kind, int subType) {
            Hit(item, path, context, kind, subType);
        },
        &progMan_);
    current_ = thread;
    thread->OnTerminate = [this](TMovixThread*) { StartShortcutSearch(); };
    thread->Resume();
}

void TSearchRunner::StartShortcutSearch() {
    if (callback_.StopRequested())
        return;
    TakeStepNotes();
    if (settings_.ShortcutMode < 0) {
        StartRegistrySearch();
        return;
    }
    callback_.StepStarted(KindLnk);
    TSearchLNKThread* thread = new TSearchLNKThread(
        KindLnk, settings_.OldAddress, settings_.ProgressLabel,
        [this](const std::string& item, const std::string& path, const std::string& context, int kind, int subType) {
            Hit(item, path, context, kind, subType);
        },
        settings_.ShortcutMode);
    current_ = thread;
    thread->OnTerminate = [this](TMovixThread*) { StartRegistrySearch(); };
    thread->Resume();
}

void TSearchRunner::StartRegistrySearch() {
    if (callback_.StopRequested())
        return;
    TakeStepNotes();
    if (settings_.RegistryMode < 0) {
        Finish();
        return;
    }
    callback_.StepStarted(KindReg);
    TSearchRegThread* thread = new TSearchRegThread(
        KindReg, settings_.OldAddress, settings_.ProgressLabel,
        [this](const std::string& item, const std::string& path, const std::string& context, int kind, int subType) {
            Hit(item, path, context, kind, subType);
        },
        settings_.IgnoreKeys, settings_.RegistryMode);
    thread->OnFoundValue = [this](const std::string& item, const std::string& path, const std::string& context,
                                  int kind, int subType,
                                  const std::string& valueName) { Hit(item, path, context, kind, subType, valueName); };
    current_ = thread;
    thread->OnTerminate = [this](TMovixThread*) { Finish(); };
    thread->Resume();
}

void TSearchRunner::Finish() {
    if (callback_.StopRequested())
        return;
    TakeStepNotes();
    // Closed at the end of every run that gets here, searched or not.
    progMan_.CloseLink();
    callback_.RunEnded();
}

void TSearchRunner::RequestStop() {
    if (current_ != nullptr)
        current_->Terminate();
}

void TSearchRunner::TakeStepNotes() {
    // Called by the step that follows a search thread, within that thread's
    // OnTerminate: the object is still there, and is gone right after.
    TMovixThread* thread = current_;
    current_ = nullptr;
    if (thread == nullptr || thread->Kind < 1 || thread->Kind > 4)
        return;
    static const char* const kWhat[] = {"", "INI files", "Groups", "Shortcuts", "the Registry"};
    static const char* const kTitle[] = {"", "INI files", "Groups", "Shortcuts", "Registry"};
    const std::string what = kWhat[thread->Kind];
    if (!thread->FatalError().empty()) {
        stepFailed_[thread->Kind] = true;
        notes_.push_back("The search of " + what + " ended by an error: " + thread->FatalError() + ".");
        logLines_.push_back("***** The search of " + what +
                            " ended by an error, its count is not complete: " + thread->FatalError());
    }
    using U = TMovixThread::Unreadable;
    std::string counts;
    auto count = [&counts](int n, const char* one, const char* many) {
        if (n > 0)
            counts += (counts.empty() ? "" : ", ") + std::to_string(n) + (n == 1 ? one : many);
    };
    count(thread->UnreadableCount(U::Folder), " folder", " folders");
    count(thread->UnreadableCount(U::File), " file", " files");
    count(thread->UnreadableCount(U::Key), " key", " keys");
    if (!counts.empty()) {
        const int total =
            thread->UnreadableCount(U::Folder) + thread->UnreadableCount(U::File) + thread->UnreadableCount(U::Key);
        std::string note = kTitle[thread->Kind] + (": " + counts) + " could not be read";
        if (thread->AdministratorCouldRead())
            note += " (an administrator may be able to read them)";
        notes_.push_back(note + ".");
        logLines_.push_back(
            "***** In the search of " + what + ", " + counts + " could not be read" +
            (thread->AdministratorCouldRead() ? " (an administrator may be able to read them)" : std::string()) + ":");
        for (const std::string& name : thread->UnreadableNames())
            logLines_.push_back("*****   " + name);
        if (static_cast<std::size_t>(total) > thread->UnreadableNames().size())
            logLines_.push_back("*****   and " + std::to_string(total - thread->UnreadableNames().size()) + " more");
    }
    if (!thread->LeftOut.empty()) {
        notes_.push_back("Drive " + thread->LeftOut + ", the whole Unix file system, was not searched.");
        logLines_.push_back("Drive " + thread->LeftOut +
                            ", which holds the whole Unix file system, was left out "
                            "of the search of " +
                            what + ".");
    }
    callback_.StepEnded(thread->Kind);
}

}  // namespace movix
