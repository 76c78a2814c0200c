// The one way this program runs work on several threads: a few threads
// owned by a scope, and the shapes of work built on them (each of several
// items taken by the next free thread; a range in two halves; two tasks
// side by side). A thread the system cannot give is no failure: the work
// it would have done is done by the threads there are, this one among them.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace movix {

// Threads that are joined when the object ends, whatever leaves the scope;
// `beforeJoin`, where given, runs first (to tell the threads to stop).
class TWorkThreads {
  public:
    TWorkThreads() = default;
    explicit TWorkThreads(std::function<void()> beforeJoin) : beforeJoin_(std::move(beforeJoin)) {}
    ~TWorkThreads() { Join(); }
    TWorkThreads(const TWorkThreads&) = delete;
    TWorkThreads& operator=(const TWorkThreads&) = delete;

    // Starts `work` on a thread of its own; false when the system gave none
    // (the caller then does the work itself, or does without).
    template <typename Work>
    bool Start(Work&& work) {
        try {
            threads_.emplace_back(std::forward<Work>(work));
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }
    std::size_t Count() const { return threads_.size(); }
    void Join() {
        if (threads_.empty())
            return;
        if (beforeJoin_)
            beforeJoin_();
        for (std::thread& t : threads_)
            t.join();
        threads_.clear();
    }

  private:
    std::function<void()> beforeJoin_;
    std::vector<std::thread> threads_;
};

// Runs work(i) for every i below `count` on up to `threads` threads, this
// one among them, each taking the next i; a thread is added only for every
// `perThread` items. `work` must not throw.
template <typename Work>
void ForEachOnThreads(std::size_t count, int threads, std::size_t perThread, const Work& work) {
    std::atomic<std::size_t> next{0};
    auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            work(i);
    };
    TWorkThreads pool;
    for (int t = 1; t < threads && static_cast<std::size_t>(t) * perThread < count; ++t)
        if (!pool.Start(run))
            break;
    run();
}

// Runs `first` and `second` side by side, `second` on a thread of its own
// (or after `first` when no thread is given). Neither may throw.
template <typename First, typename Second>
void SideBySide(const First& first, const Second& second) {
    TWorkThreads pool;
    const bool apart = pool.Start([&] { second(); });
    first();
    if (!apart)
        second();
}

// Runs work(begin, end) over [0, count): in two halves side by side from
// `threshold` items on, else at once on this thread.
template <typename Work>
void ForHalves(std::size_t count, std::size_t threshold, const Work& work) {
    if (count < threshold) {
        work(std::size_t{0}, count);
        return;
    }
    const std::size_t half = count / 2;
    SideBySide([&] { work(std::size_t{0}, half); }, [&] { work(half, count); });
}

}  // namespace movix
