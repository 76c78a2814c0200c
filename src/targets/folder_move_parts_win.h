// The parts of a folder move that its files share: full names, the copy
// of a file's access rules, attributes and times, links and junctions, and
// the threads that write copies through to the disk.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_io_win.h"
#include "platform/wide_text_win.h"
#include "platform/work_threads.h"

namespace movix {
namespace move_parts {

inline std::string Narrow(const std::wstring& wide) {
    return WideToUtf8(wide);
}

// The full name of a folder, without a trailing backslash.
std::wstring FullName(const std::string& name);
// True when `path` is `folder` or lies below it, letter case aside.
bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder);
std::wstring ParentOf(const std::wstring& path);
DWORD AttributesOf(const std::wstring& path);
// The reparse data of a link, or nothing where the system cannot give it.
std::vector<BYTE> ReparseData(const std::wstring& path, DWORD& error);

// Whether the folder `renamed` holds, as taken from a parent, what `parent`
// hands down to folders; true where either cannot be read.
bool HandsDownWhatItHas(const std::wstring& parent, const std::wstring& renamed);
// Gives `to` the access rules a copy of `from` takes, and the owner of
// `from` where the system lets this user set it: `ownerToo` says whether to
// try, and is cleared once the system has refused (it refuses every file
// alike).
bool CopySecurity(HANDLE from, HANDLE to, DWORD& error, bool& ownerToo);
// Attributes and times of `from` onto `to` (a link's own reparse attribute
// is the system's to set).
bool CopyBasicInfo(HANDLE from, HANDLE to, DWORD& error);
// A directory junction made at `at` (a new folder) that leads to `to`.
bool MakeJunctionW(const std::wstring& at, const std::wstring& to, std::wstring& why);

// Writes the copies through to the disk on threads of their own: each
// flush waits for the disk, and flushes that wait together cost little more
// than one. A copy's handle is handed over once its data is checked; Finish
// waits for every flush, and only then may the source go.
class TFlusher {
  public:
    explicit TFlusher(int threads) {
        for (int i = 0; i < threads; ++i)
            if (!threads_.Start([this] { Work(); }))
                break;
    }
    ~TFlusher() {
        threads_.Join();
        for (auto& item : queue_)
            CloseHandle(item.first);
    }
    TFlusher(const TFlusher&) = delete;
    TFlusher& operator=(const TFlusher&) = delete;

    // Takes the handle over; waits while many are waiting already.
    void Submit(HANDLE file, std::wstring name) {
        if (threads_.Count() == 0) {
            // No thread was given: the copy is written through here.
            Flush({file, std::move(name)});
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return queue_.size() < kMostWaiting; });
        queue_.emplace_back(file, std::move(name));
        ++pending_;
        wake_.notify_one();
    }
    // Waits until every handle handed over is flushed and closed; false,
    // with the first failure, when any flush failed.
    bool Finish(std::wstring& why) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return pending_ == 0; });
        if (failure_.empty())
            return true;
        why = failure_;
        return false;
    }

  private:
    static constexpr std::size_t kMostWaiting = 128;

    void Work() {
        for (;;) {
            std::pair<HANDLE, std::wstring> item;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                if (queue_.empty())
                    return;
                item = std::move(queue_.front());
                queue_.pop_front();
            }
            Flush(item);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                --pending_;
            }
            done_.notify_all();
        }
    }
    void Flush(const std::pair<HANDLE, std::wstring>& item) {
        const bool flushed = FlushFileBuffers(item.first) != FALSE;
        const DWORD error = GetLastError();
        CloseHandle(item.first);
        std::lock_guard<std::mutex> lock(mutex_);
        if (!flushed && failure_.empty())
            failure_ = L"The copy " + item.second + L" could not be written to the disk: " +
                       Utf8ToWide(SystemErrorText(error));
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<std::pair<HANDLE, std::wstring>> queue_;
    std::size_t pending_ = 0;
    bool stop_ = false;
    std::wstring failure_;
    // Last, so that the threads end before what they use: told to stop,
    // they flush what is queued and leave.
    TWorkThreads threads_{[this] {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
    }};
};

}  // namespace move_parts
}  // namespace movix
