// vorn::utils::AsyncOperationGuard: drops the completions of an object once the object has been reset or
// destroyed, even when they are already queued on another thread.
//
//     class Monitor {
//         vorn::utils::AsyncOperationGuard m_guard;      // declared last: destroyed first
//         void start() { m_timer.start(5s, m_guard.wrap([this] { onTimer(); })); }
//         void cancel() { m_guard.reset(); }            // no onTimer() runs after this returns
//     };
//
// Rules of use:
// - wrap(f) returns a callable that, when called, takes the current guard's shared lock and runs `f`
//   only when the lock is valid, i.e. when neither reset() nor the destructor has begun since the
//   wrapping. The lock is held while `f` runs.
// - reset() and the destructor end the current guard: when they return, no completion wrapped before runs
//   any more, and one that was running on another thread has finished. Completions wrapped after reset()
//   belong to a new guard and run normally.
// - Locks nest on one thread: a guarded completion may call code that takes the same guard's lock again.
// - A reset() (or destruction) from inside a guarded completion of the same guard cannot wait for that
//   completion, which is its own caller: it is reported as an assertion failure, ends the guard for every
//   other thread, and returns without waiting for the calling thread's own locks (never a deadlock).
// - sharedGuard() hands out the current guard itself, for code that takes the lock by hand (a request
//   processor that must answer whether or not its owner still exists).
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace vorn::utils {

class AsyncOperationGuard
{
public:
    class SharedGuard
    {
    public:
        // A shared lock; valid while the guard had not been terminated when it was taken.
        class Lock
        {
        public:
            Lock() = default;
            Lock(Lock&& other) noexcept
                : m_guard(std::exchange(other.m_guard, nullptr))
            {}
            Lock& operator=(Lock&& other) noexcept;
            ~Lock() { unlock(); }
            Lock(const Lock&) = delete;
            Lock& operator=(const Lock&) = delete;

            explicit operator bool() const { return m_guard != nullptr; }
            void unlock();

        private:
            friend class SharedGuard;
            explicit Lock(SharedGuard* guard)
                : m_guard(guard)
            {}
            SharedGuard* m_guard = nullptr;
        };

        // Never blocks. Invalid once terminate() has begun.
        Lock lock();

        // Makes every later lock() invalid and waits until the locks of other threads are released. Locks of
        // the calling thread are reported (see the class comment) and not waited for.
        void terminate();

        bool isTerminated() const;

    private:
        void release();

        mutable std::mutex m_mutex; //< Guards the two fields below.
        std::condition_variable m_released;
        bool m_terminated = false;
        std::map<std::thread::id, int> m_holders; //< Lock count per thread, for nesting and for terminate().
    };

    AsyncOperationGuard();
    ~AsyncOperationGuard();
    AsyncOperationGuard(const AsyncOperationGuard&) = delete;
    AsyncOperationGuard& operator=(const AsyncOperationGuard&) = delete;

    // Ends the current guard (waiting as terminate() does) and starts a new one. From any thread.
    void reset();

    std::shared_ptr<SharedGuard> sharedGuard() const;

    template <typename Func>
    auto wrap(Func func) const
    {
        return [guard = sharedGuard(), func = std::move(func)](auto&&... args) mutable {
            const SharedGuard::Lock lock = guard->lock();
            if (!lock)
                return;
            func(std::forward<decltype(args)>(args)...);
        };
    }

private:
    mutable std::mutex m_mutex; //< Guards m_guard, which reset() replaces while other threads wrap.
    std::shared_ptr<SharedGuard> m_guard;
};

} // namespace vorn::utils
