#include "engine/search_runner_win.h"

#include <utility>

#include "core/found_items.h"
#include "core/search_thread_win.h"
#include "targets/config_files.h"
#include "targets/dde_conversation_win.h"
#include "targets/target_kinds_win.h"

namespace movix {

void TSearchRunner::Hit(const std::string& item,
                        const std::string& path,
                        const std::string& context,
                        int kind,
                        int subType,
                        const std::string& valueName) {
    callback_.Hit(item, path, context, kind, subType, valueName);
}

int TSearchRunner::ModeOf(const TSearchSettings& settings, int kind) {
    const auto it = settings.Modes.find(kind);
    return it != settings.Modes.end() ? it->second : -1;
}

void TSearchRunner::Start(const TSearchSettings& settings) {
    settings_ = settings;
    listings_.reset();
    if (settings_.SharedListings) {
        // What any file walk of the run looks at: the types of every kind
        // that walks folders.
        std::vector<std::string> types;
        for (TTargetKind* kind : TargetKinds()) {
            if (ModeOf(settings_, kind->Code()) < 0)
                continue;
            TKindSearch search;
            search.ConfigTypes = settings_.ConfigTypes;
            for (const std::string& type : kind->FileTypes(search))
                types.push_back(type);
        }
        if (!types.empty()) {
            SYSTEM_INFO system;
            ::GetSystemInfo(&system);
            const int workers = settings_.ListingWorkers >= 0
                                    ? settings_.ListingWorkers
                                    : TFolderListings::WorkersFor(static_cast<int>(system.dwNumberOfProcessors));
            listings_ = std::make_shared<TFolderListings>(
                [types](const std::string& name) { return HasConfigType(name, types); }, workers);
        }
    }
    StartAt(0);
}

void TSearchRunner::StartAt(std::size_t index) {
    if (index > 0 && callback_.StopRequested()) {
        // The thread that just ended is gone once this returns.
        current_ = nullptr;
        EndListings();
        return;
    }
    TakeStepNotes();
    const std::vector<TTargetKind*>& kinds = TargetKinds();
    while (index < kinds.size() && ModeOf(settings_, kinds[index]->Code()) < 0)
        ++index;
    if (index >= kinds.size()) {
        Finish();
        return;
    }
    TTargetKind& kind = *kinds[index];
    callback_.StepStarted(kind.Code());
    TKindSearch search;
    search.OldAddress = settings_.OldAddress;
    search.ProgramFolder = settings_.ProgramFolder;
    search.ProgressLabel = settings_.ProgressLabel;
    search.Mode = ModeOf(settings_, kind.Code());
    search.Modes = settings_.Modes;
    search.IgnoreKeys = settings_.IgnoreKeys;
    search.ConfigTypes = settings_.ConfigTypes;
    search.Listings = listings_;
    search.ProgMan = &progMan_;
    search.OnFound = [this](const std::string& item, const std::string& path, const std::string& context, int code,
                            int subType, const std::string& valueName) {
        Hit(item, path, context, code, subType, valueName);
    };
    TMovixThread* thread = kind.NewSearch(search);
    current_ = thread;
    thread->OnTerminate = [this, index](TMovixThread*) { StartAt(index + 1); };
    thread->Resume();
}

void TSearchRunner::Finish() {
    EndListings();
    if (callback_.StopRequested())
        return;
    // Closed at the end of every run that gets here, searched or not.
    progMan_.CloseLink();
    callback_.RunEnded();
}

void TSearchRunner::RequestStop() {
    if (current_ != nullptr)
        current_->Terminate();
    if (listings_)
        listings_->Stop();
}

void TSearchRunner::EndListings() {
    // The workers end now; the listings go with the last walk holding them.
    if (listings_)
        listings_->Stop();
    listings_.reset();
}

void TSearchRunner::TakeStepNotes() {
    // Called by the step that follows a search thread, within that thread's
    // OnTerminate: the object is still there, and is gone right after.
    TMovixThread* thread = current_;
    current_ = nullptr;
    const TKindNames* names = thread != nullptr ? KindNamesOf(thread->Kind) : nullptr;
    if (names == nullptr)
        return;
    const std::string what = names->Title;
    if (!thread->FatalError().empty()) {
        stepFailed_.insert(thread->Kind);
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
        std::string note = names->Short + (": " + counts) + " could not be read";
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
    for (const std::string& passed : thread->PassedOver) {
        notes_.push_back(std::string(names->Short) + ": " + passed + ".");
        logLines_.push_back("In the search of " + what + ", " + passed + ".");
    }
    callback_.StepEnded(thread->Kind);
}

}  // namespace movix
