// vorn::utils::MoveOnlyFunc<R(Args...)>: a callable holder like std::function that also takes callables
// which cannot be copied (lambdas owning a std::unique_ptr, a socket, another MoveOnlyFunc). It can only
// be moved: a completion handler has exactly one owner, so it cannot run twice by accident, and what it
// owns is destroyed with it.
//
//     auto socket = std::make_unique<TCPSocket>();
//     TCPSocket* raw = socket.get();
//     raw->connectAsync(address,
//         [socket = std::move(socket), done = std::move(done)](SystemError::ErrorCode code) mutable {
//             done(code);                       // the socket closes when the handler is destroyed
//         });
//
// Calling an empty holder throws std::bad_function_call. A null function pointer or an empty
// std::function makes an empty holder.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace vorn::utils {

template <typename Signature>
class MoveOnlyFunc;

namespace detail {

template <typename T>
struct IsStdFunction : std::false_type
{
};

template <typename Signature>
struct IsStdFunction<std::function<Signature>> : std::true_type
{
};

template <typename T>
struct IsMoveOnlyFunc : std::false_type
{
};

template <typename Signature>
struct IsMoveOnlyFunc<MoveOnlyFunc<Signature>> : std::true_type
{
};

} // namespace detail

template <typename R, typename... Args>
class MoveOnlyFunc<R(Args...)>
{
public:
    using result_type = R;

    MoveOnlyFunc() noexcept = default;
    MoveOnlyFunc(std::nullptr_t) noexcept {}

    template <typename F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, MoveOnlyFunc> &&
             std::is_invocable_r_v<R, std::decay_t<F>&, Args...>) MoveOnlyFunc(F&& func)
    {
        using Stored = std::decay_t<F>;
        if constexpr (std::is_pointer_v<Stored> || std::is_member_pointer_v<Stored>) {
            if (func == nullptr)
                return;
        } else if constexpr (detail::IsStdFunction<Stored>::value || detail::IsMoveOnlyFunc<Stored>::value) {
            if (!func)
                return;
        }
        m_callable = std::make_unique<Holder<Stored>>(std::forward<F>(func));
    }

    MoveOnlyFunc(MoveOnlyFunc&&) noexcept = default;
    MoveOnlyFunc& operator=(MoveOnlyFunc&&) noexcept = default;
    MoveOnlyFunc(const MoveOnlyFunc&) = delete;
    MoveOnlyFunc& operator=(const MoveOnlyFunc&) = delete;

    MoveOnlyFunc& operator=(std::nullptr_t) noexcept
    {
        m_callable.reset();
        return *this;
    }

    explicit operator bool() const noexcept { return m_callable != nullptr; }

    // Const like std::function's: the holder does not change, the callable inside may.
    R operator()(Args... args) const
    {
        if (!m_callable)
            throw std::bad_function_call();
        return m_callable->call(std::forward<Args>(args)...);
    }

    void swap(MoveOnlyFunc& other) noexcept { m_callable.swap(other.m_callable); }

private:
    struct Callable
    {
        virtual ~Callable() = default;
        virtual R call(Args&&... args) = 0;
    };

    template <typename F>
    struct Holder final : Callable
    {
        template <typename Arg>
        explicit Holder(Arg&& arg)
            : func(std::forward<Arg>(arg))
        {}

        R call(Args&&... args) override
        {
            if constexpr (std::is_void_v<R>)
                std::invoke(func, std::forward<Args>(args)...);
            else
                return std::invoke(func, std::forward<Args>(args)...);
        }

        F func;
    };

    std::unique_ptr<Callable> m_callable;
};

} // namespace vorn::utils
