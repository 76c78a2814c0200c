// The search threads' common ground: a worker thread that reports hits and
// progress to the UI thread, and the folder walk of the file searches.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <set>
#include <vector>

#include "platform/work_threads.h"

namespace movix {

// Receives one hit on the UI thread: Item, Path, Context, kind code and
// sub-type code.
using TFoundEvent = std::function<
    void(const std::string& item, const std::string& path, const std::string& context, int kind, int subType)>;

// A search running on a worker thread of its own. The thread is made
// suspended; the owner sets OnTerminate and calls Resume. When the body
// (Execute) has returned, OnTerminate runs on the UI thread and then the
// object deletes itself (FreeOnTerminate): nobody waits for it or frees it,
// and it must not be touched after its OnTerminate has returned.
//
// Everything that touches a window runs on the UI thread: through
// Synchronize, which blocks the worker meanwhile, so the hit fields are
// stable while OnFound reads them and hits arrive in the order found; or,
// for the progress caption of a walk, as a copied text (QueueProgress).
//
// An error that escapes Execute ends the search as a cancelled one would:
// what was reported stays, FatalError() tells what happened, and OnTerminate
// still runs, so the run goes on with its next step.
class TMovixThread {
public:
    TMovixThread(int kind, const std::string& search, HWND progressLabel, TFoundEvent onFound);
    virtual ~TMovixThread();
    TMovixThread(const TMovixThread&) = delete;
    TMovixThread& operator=(const TMovixThread&) = delete;

    // Starts the body of a suspended thread; a second call does nothing.
    void Resume();
    // Asks the body to stop at its next check (sets Terminated).
    void Terminate() { Terminated = true; }
    // For an owner that keeps the object (FreeOnTerminate false): waits until
    // the thread has ended, running UI-thread calls meanwhile when called on
    // the UI thread. False when the time ran out. Such an owner deletes the
    // object only after the thread has ended (or if it was never resumed):
    // the parts of a subclass are gone before the base could wait. Deleting
    // a thread that still runs is a programming error (an assertion in debug
    // builds).
    bool WaitFor(DWORD timeoutMs = INFINITE);
    // Asks the body to stop and waits until the thread has ended; for an
    // owner about to delete a thread it resumed.
    void StopAndJoin();

    // The error that ended the body, empty when it returned normally.
    const std::string& FatalError() const { return fatalError_; }

    // Threads whose operating-system thread has not yet finished.
    static int RunningCount();

    // What the body could not open: folders, files, Registry keys. Written
    // by the body; read on the UI thread once the body has ended (in
    // OnTerminate or later).
    enum class Unreadable { Folder, File, Key };
    int UnreadableCount(Unreadable what) const { return unreadable_[static_cast<int>(what)]; }
    // Their names, as "folder C:\X" or "key HKCU\Y", the first kMaxUnreadableNames.
    const std::vector<std::string>& UnreadableNames() const { return unreadableNames_; }
    // True when something was refused for want of rights and this program
    // does not run with an administrator's rights.
    bool AdministratorCouldRead() const { return deniedWithoutAdmin_; }
    static constexpr std::size_t kMaxUnreadableNames = 1000;
    // Places a walk left out on purpose (for instance "Z:"); empty if none.
    std::string LeftOut;
    // What the body passed over on purpose and the user should hear of
    // ("3 files over 16 MB"): one note each, read like LeftOut.
    std::vector<std::string> PassedOver;

    // Set from the UI thread, read by the body at its checkpoints.
    std::atomic<bool> Terminated{false};
    bool FreeOnTerminate = true;
    // Runs on the UI thread when the body has ended (not when shutting down).
    std::function<void(TMovixThread* sender)> OnTerminate;

    const int Kind;

protected:
    // The thread body.
    virtual void Execute() = 0;
    // The match rule (ContainsUpper): SearchUpper in `s` where its last name ends.
    virtual bool Matches(std::string_view s) const;

    // Runs `method` on the UI thread and waits for it; an error it raises is
    // raised again here. When the application is shutting down the method
    // does not run and the search is told to stop (Terminated).
    void Synchronize(const std::function<void()>& method);
    // UI thread: passes the current hit fields to OnFound.
    void ReportHit();
    // UI thread: shows "In " and Path on the progress label.
    void ShowProgress();
    // Worker: the same caption without waiting for the UI thread, for
    // progress that changes thousands of times a second. The text is copied
    // now; it reaches the label at most every kProgressIntervalMs (later
    // captions replace earlier unshown ones), and always before the next
    // synchronised call and before OnTerminate, so a hit never shows beside
    // an older place. Saves a round trip to the UI thread per folder.
    void QueueProgress();
    // Worker: shows a queued caption that has waited its interval; cheap
    // enough to call before every file.
    void ProgressTick();
    static constexpr unsigned kProgressIntervalMs = 40;
    // Worker: counts a place that could not be opened, with the system's
    // error code (a place that no longer exists is not counted).
    void NoteUnreadable(Unreadable what, const std::string& name, DWORD error);

    // The hit about to be reported (Item, Path, Context, SubType) and where
    // the search is; written by the body, read on the UI thread only while
    // the body waits in Synchronize.
    int SubType = 0;
    HWND ProgressLabel;
    std::string Context;
    const std::string SearchUpper;
    std::string Path;
    std::string Item;
    TFoundEvent OnFound;

private:
    struct ProgressSlot;

    static DWORD WINAPI ThreadProc(void* param);
    void RunBody();
    // Sends the queued caption on its way to the UI thread.
    void PostProgress();

    HANDLE handle_ = nullptr;
    DWORD threadId_ = 0;
    bool resumed_ = false;
    bool abandoned_ = false;  // deleted before it ever ran
    std::string fatalError_;
    int unreadable_[3] = {};
    std::vector<std::string> unreadableNames_;
    bool deniedWithoutAdmin_ = false;
    // Shared with the queued caption call, which may outlive a stopped thread.
    std::shared_ptr<ProgressSlot> progress_;
    // Worker only: the caption not yet sent, and when the last one was.
    std::string pendingCaption_;
    bool progressPending_ = false;
    ULONGLONG lastProgressPost_ = 0;
};

// One folder's entries as the file walks need them.
struct TListedEntry {
    std::string Name;  // in UTF-8
    DWORD Attributes = 0;
    ULONGLONG FileId = 0;
    bool Exact = true;  // the listed name has a UTF-8 form that gives it back
};
struct TFolderListing {
    DWORD Error = ERROR_SUCCESS;  // why the folder could not be opened or listed
    // In the order listed: every subfolder, and the files kept.
    std::vector<TListedEntry> Entries;
};

// The folder listings of one search run, shared by its file walks: a folder
// that several kinds walk (INI files, shortcuts and configuration files on
// every fixed drive) is listed once. Worker threads list ahead of the walks:
// a walk names the subfolders it is about to enter (Prefetch), the workers
// list them (the latest named first, as a walk goes depth first), and the
// walk takes each listing as it gets there, or lists it itself when no
// worker has begun it. The order a walk sees is its own either way.
class TFolderListings {
  public:
    // `keepFile` says which files' entries are kept (what no kind of the run
    // looks at is left out); `workers` threads list ahead (0: none).
    TFolderListings(std::function<bool(const std::string& name)> keepFile, int workers);
    ~TFolderListings();
    TFolderListings(const TFolderListings&) = delete;
    TFolderListings& operator=(const TFolderListings&) = delete;

    // The listing of a folder: kept from before, awaited from a worker, or
    // made now on the calling thread.
    std::shared_ptr<const TFolderListing> Get(const std::string& folder);
    // Lists these subfolders of a folder ahead, on the workers.
    void Prefetch(const std::string& folder, const std::vector<std::string>& names);
    // Ends the workers' lists: what they are listing is finished, nothing
    // more is begun. The walks can still Get (and list themselves).
    void Stop();

    // Workers for a machine with this many processors: as many listing
    // threads as cores, at least two, the walk's own thread counted.
    static int WorkersFor(int processors) { return processors > 2 ? processors - 1 : 1; }

  private:
    struct Slot;
    void Work();
    std::shared_ptr<const TFolderListing> List(const std::string& folder, std::vector<char>& buffer) const;

    std::function<bool(const std::string&)> keepFile_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::map<std::string, Slot> slots_;
    std::vector<std::string> queue_;  // a stack: the last named is listed first
    bool stopping_ = false;
    TWorkThreads workers_;
};

// A search that walks folders and examines the files of its kind's extension
// ("*.INI", "*.LNK").
//
// Mode 1: the Windows folder only; 2: the Windows folder and every folder
// below it; 3: every fixed drive, whole (paths read "C:\...", a drive's own
// files have Path "C:"); 4: the subclass's own list (SearchOwnList); any
// other mode examines nothing. Hidden and system files and folders are
// passed over; a folder that cannot be listed yields nothing and is counted
// (NoteUnreadable), and so is a file or folder whose listed name, in UTF-8,
// does not open it again (an unpaired surrogate; under Wine, a Unix name
// that is not UTF-8 and reads like another). Directory links (junctions, symbolic links, mount points)
// are never followed, and a folder reached twice (a Unix link, which Wine
// shows as a plain folder) is walked once only. Under Wine, mode 3 leaves
// out the drive that maps the Unix root unless the search string names it.
class TMovixFileThread : public TMovixThread {
public:
    TMovixFileThread(int kind, const std::string& search, HWND progressLabel, TFoundEvent onFound, int mode);

    // Test seam: walks `folder` as the Windows folder. Call before Resume.
    void SetWindowsDirForTest(const std::string& folder);
    // The run's shared listings; without them the walk lists each folder
    // itself. Call before Resume.
    void UseListings(std::shared_ptr<TFolderListings> listings) { listings_ = std::move(listings); }

protected:
    void Execute() override;
    // Examines one file: `name` is the bare file name, the folder is Path.
    virtual void ProcessFile(const std::string& name) = 0;
    // The subclass's own list of places (mode 4).
    virtual void SearchOwnList() {}
    // Whether a listed file is one to examine: by default, a file with the
    // kind's extension.
    virtual bool WantsFile(const std::string& name) const;

    // The folder's own files of the kind, without its subfolders.
    void SearchFolder(const std::string& folder);
    // The folder's own files, then each subfolder's tree, depth first.
    void SearchTree(const std::string& folder);
    // SearchTree of every fixed drive, named "C:" without a backslash.
    void SearchFixedDrives();

    const int Mode;
    std::string WindowsDir;

private:
    // One listing of the folder: files of the kind are examined as they
    // come, subfolders are remembered and walked afterwards, which gives the
    // same order as listing files and folders separately at half the cost.
    // `fileId` is the folder's file index from its parent's listing, or
    // kWalkStart for the start of a walk.
    static constexpr ULONGLONG kWalkStart = ~0ULL;
    void Walk(const std::string& folder, bool intoSubfolders, ULONGLONG fileId);

    std::string extension_;  // ".INI", ".LNK"
    // Folders walked so far: volume serial and file index.
    std::set<std::pair<DWORD, ULONGLONG>> visited_;
    DWORD volumeSerial_ = 0;  // of the walk now under way
    // The listing buffer, reused: a folder is listed whole before its
    // subfolders are entered.
    std::vector<char> listing_;
    std::shared_ptr<TFolderListings> listings_;
};

}  // namespace movix
