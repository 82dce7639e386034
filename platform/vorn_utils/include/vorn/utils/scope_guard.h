// vorn::utils::ScopeGuard: runs a callable when the scope that owns the guard ends, on every path out of it
// (return, early return, exception), unless it was disarmed first.
//
//     vorn::utils::ScopeGuard reply([&] { completion(result); });  // result still empty: failure
//     if (!parse(body, &result))
//         return;                                                   // completion(nullptr) runs here
//     ...
//
// The callable runs at most once. The guard's destructor never throws: an exception from the callable is
// caught and reported, because a destructor that throws during stack unwinding terminates the process.
// A guard can be moved out of a scope (the moved-from guard is disarmed); it cannot be copied.
#pragma once

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace vorn::utils {

namespace detail {

// Reports an exception that escaped a scope guard's callable; `what` may be null.
void reportScopeGuardException(const char* what) noexcept;

} // namespace detail

template <typename Func = std::function<void()>>
class ScopeGuard
{
public:
    explicit ScopeGuard(Func func) noexcept(std::is_nothrow_move_constructible_v<Func>)
        : m_func(std::move(func))
    {}

    ScopeGuard(ScopeGuard&& other) noexcept(std::is_nothrow_move_constructible_v<Func>)
        : m_func(std::move(other.m_func))
        , m_armed(std::exchange(other.m_armed, false))
    {}

    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ScopeGuard& operator=(ScopeGuard&&) = delete;

    ~ScopeGuard()
    {
        if (!m_armed)
            return;
        m_armed = false;
        try {
            m_func();
        } catch (const std::exception& error) {
            detail::reportScopeGuardException(error.what());
        } catch (...) {
            detail::reportScopeGuardException(nullptr);
        }
    }

    // The callable will not run.
    void disarm() noexcept { m_armed = false; }

    bool isArmed() const noexcept { return m_armed; }

private:
    Func m_func;
    bool m_armed = true;
};

template <typename Func>
ScopeGuard(Func) -> ScopeGuard<Func>;

} // namespace vorn::utils
