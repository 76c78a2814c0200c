// The mover of a folder tree, whose steps lie in two files: the move's
// own (folder_move_win.cpp: New made, Old renamed aside and removed, what
// was made taken back) and the copying of the files (folder_copy_win.cpp).
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/open_below_win.h"
#include "targets/folder_move_parts_win.h"
#include "targets/folder_move_win.h"
#include "targets/folder_tree_win.h"

namespace movix {
namespace move_parts {

constexpr DWORD kPiece = 1 << 20;
// Files copied side by side: under Wine most of a small file's copy is
// waiting for the server, and several copies wait together.
constexpr int kCopyThreads = 4;

// How often the copy tells the undo journal that it is still going.
constexpr auto kStillCopyingEvery = std::chrono::seconds(2);

class TreeMover {
  public:
    TreeMover(const TMoveCheck& check,
              const TMoveOptions& options,
              const std::atomic<bool>* cancel,
              const std::function<void(const TMoveProgress&)>& progress,
              const std::function<void(const std::string&)>& log)
        : old_(FullName(check.oldFolder)),
          new_(FullName(check.newFolder)),
          options_(options),
          cancel_(cancel),
          progressEvent_(progress),
          log_(log) {
        progress_.filesTotal = check.files;
        progress_.bytesTotal = check.bytes;
    }

    TMoveReport Rename();
    TMoveReport Copy();

  private:
    enum class Step { Done, Cancelled, Failed };

    void Log(const std::string& line) {
        if (log_)
            log_(line);
    }
    bool Cancelled() const { return cancel_ && cancel_->load(); }
    // On the calling thread only; the copying threads count under the lock.
    void Report(bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (options_.journal.stillCopying && now - lastSign_ >= kStillCopyingEvery) {
            lastSign_ = now;
            options_.journal.stillCopying();
        }
        if (!progressEvent_ || (!force && now - lastReport_ < std::chrono::milliseconds(options_.progressEveryMs)))
            return;
        lastReport_ = now;
        TMoveProgress progress;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            progress = progress_;
        }
        progress.seconds = std::chrono::duration<double>(now - started_).count();
        progressEvent_(progress);
    }
    // A file (or link) this move made at New, with its identity.
    void Made(std::size_t index, HANDLE file) {
        const std::uint64_t id = FileIdOf(file);
        std::lock_guard<std::mutex> lock(mutex_);
        madeFiles_.emplace_back(index, id);
    }
    // A copying thread's buffers; the calling thread, which copies too,
    // reports progress as it goes.
    struct Buffers {
        std::vector<char> data = std::vector<char>(kPiece), readBack = std::vector<char>(kPiece);
        bool reports = false;
    };

    bool MakeParents(std::wstring& why);
    bool MakeNewRoot(std::wstring& why);
    bool RecordCopyBegun(std::wstring& why);
    Step CopyTree(std::wstring& why);
    Step CopyFiles(const std::vector<std::size_t>& files, std::wstring& why);
    Step CopyFileChecked(std::size_t index, Buffers& buffers, std::wstring& why);
    bool CopyLate(const std::vector<TreeEntry>& left, const HeldTree& gone, std::wstring& why);
    void RemoveOld(const std::wstring& leftover, TMoveReport& report);
    Step CopyData(HANDLE in,
                  HANDLE out,
                  const std::wstring& name,
                  std::uint64_t size,
                  Buffers& buffers,
                  std::wstring& why);
    bool CopyLink(std::size_t index, std::wstring& why);
    bool FinishFolders(std::wstring& why);
    void RemoveCreated();
    bool LeaveJunction(std::wstring& why);
    void HandOver(HANDLE file, const std::wstring& name);

    std::wstring old_, new_;
    TMoveOptions options_;
    const std::atomic<bool>* cancel_;
    std::function<void(const TMoveProgress&)> progressEvent_;
    std::function<void(const std::string&)> log_;
    TMoveProgress progress_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastReport_{}, lastSign_ = std::chrono::steady_clock::now();
    // The tree copied, as listed; the folders of Old and of New held open
    // (and not shared for deletion) while files go from one to the other,
    // so that nothing can be put in their place.
    std::vector<TreeEntry> entries_;
    HeldTree source_, target_;
    // What this move made at New, in the order made: folders above New (by
    // name), New itself, its folders (by index), and files and links (by
    // index, with their identity).
    std::vector<std::wstring> madeParents_;
    bool madeRoot_ = false;
    std::vector<std::size_t> madeFolders_;
    std::vector<std::pair<std::size_t, std::uint64_t>> madeFiles_;
    TFlusher* flusher_ = nullptr;  // while copying
    bool newExisted_ = false;
    // The copies take their source's owner, while the system lets them.
    std::atomic<bool> ownerToo_{true};
    std::atomic<bool> stopCopying_{false};  // a copying thread failed
    std::mutex mutex_;                      // progress_ and madeFiles_ while files are copied
};

}  // namespace move_parts
}  // namespace movix
