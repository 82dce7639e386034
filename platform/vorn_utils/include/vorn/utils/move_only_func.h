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
// std::function makes an empty holder. A moved-from holder is empty.
//
// A callable of up to kInlineSize bytes that moves without throwing (a lambda capturing `this` and a
// member function pointer, or a few values) lives inside the holder: making, moving and destroying the
// holder then allocates nothing, so a completion handler given for every read costs no allocation.
// A larger callable is kept on the heap and its holder moves by pointer.
//
// A callable must not move, replace or reset the holder it runs from while it runs. One kept inside the
// holder runs in place: moving the holder moves the callable out from under its own call (what it
// captured reads as moved-from: an empty vector, a null pointer), and replacing or resetting the holder
// destroys it there. So a holder whose callable may re-arm it (a read handler that starts the next read,
// a timer handler that starts the timer again, a completion that starts the next request) is moved out
// first and called from there; the callable then finds its holder empty and may fill it anew:
//
//     auto handler = std::move(m_readHandler); // m_readHandler is empty now
//     handler(code, bytesRead);                // may store the next read's handler in m_readHandler
//
// Moving it out first also keeps the call safe when the callable destroys the object that holds it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <new>
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

    /**
     * A callable of at most this size (a completion handler capturing `this` and a few values) is kept
     * inside the holder, so making and moving the holder takes no allocation; a larger one goes to the heap.
     */
    static constexpr std::size_t kInlineSize = 4 * sizeof(void*);

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
        if constexpr (fitsInline<Stored>()) {
            ::new (static_cast<void*>(m_storage)) Stored(std::forward<F>(func));
            m_ops = &kInlineOps<Stored>;
        } else {
            *reinterpret_cast<Stored**>(m_storage) = new Stored(std::forward<F>(func));
            m_ops = &kHeapOps<Stored>;
        }
    }

    MoveOnlyFunc(MoveOnlyFunc&& other) noexcept { takeFrom(other); }

    MoveOnlyFunc& operator=(MoveOnlyFunc&& other) noexcept
    {
        if (&other == this)
            return *this;
        // The callable held so far is destroyed last, when this already holds the new one: its
        // destructor may reach the holder.
        MoveOnlyFunc previous(std::move(*this));
        takeFrom(other);
        return *this;
    }

    MoveOnlyFunc(const MoveOnlyFunc&) = delete;
    MoveOnlyFunc& operator=(const MoveOnlyFunc&) = delete;

    ~MoveOnlyFunc() { reset(); }

    MoveOnlyFunc& operator=(std::nullptr_t) noexcept
    {
        MoveOnlyFunc previous(std::move(*this));
        return *this;
    }

    explicit operator bool() const noexcept { return m_ops != nullptr; }

    // Const like std::function's: the holder does not change, the callable inside may. The callable runs
    // in place: it must not move, replace or reset this holder (see the top of the file).
    R operator()(Args... args) const
    {
        if (!m_ops)
            throw std::bad_function_call();
        return m_ops->call(m_storage, std::forward<Args>(args)...);
    }

    void swap(MoveOnlyFunc& other) noexcept
    {
        MoveOnlyFunc held(std::move(other));
        other.takeFrom(*this);
        takeFrom(held);
    }

private:
    // What the holder does with the callable it keeps; one constant table per stored type.
    struct Ops
    {
        R (*call)(unsigned char* storage, Args&&... args);
        // Moves the callable from `from` to the empty `to` and leaves nothing to destroy in `from`.
        void (*relocate)(unsigned char* from, unsigned char* to) noexcept;
        void (*destroy)(unsigned char* storage) noexcept;
    };

    template <typename F>
    static constexpr bool fitsInline()
    {
        return sizeof(F) <= kInlineSize && alignof(F) <= alignof(void*) && std::is_nothrow_move_constructible_v<F>;
    }

    template <typename F>
    static R invoke(F& func, Args&&... args)
    {
        if constexpr (std::is_void_v<R>)
            std::invoke(func, std::forward<Args>(args)...);
        else
            return std::invoke(func, std::forward<Args>(args)...);
    }

    template <typename F>
    static F& inlineCallable(unsigned char* storage) noexcept
    {
        return *std::launder(reinterpret_cast<F*>(storage));
    }

    template <typename F>
    static F*& heapCallable(unsigned char* storage) noexcept
    {
        return *reinterpret_cast<F**>(storage);
    }

    template <typename F>
    static constexpr Ops kInlineOps{[](unsigned char* storage, Args&&... args) -> R {
                                        return invoke(inlineCallable<F>(storage), std::forward<Args>(args)...);
                                    },
                                    [](unsigned char* from, unsigned char* to) noexcept {
                                        F& source = inlineCallable<F>(from);
                                        ::new (static_cast<void*>(to)) F(std::move(source));
                                        source.~F();
                                    },
                                    [](unsigned char* storage) noexcept { inlineCallable<F>(storage).~F(); }};

    template <typename F>
    static constexpr Ops kHeapOps{
        [](unsigned char* storage, Args&&... args) -> R {
            return invoke(*heapCallable<F>(storage), std::forward<Args>(args)...);
        },
        [](unsigned char* from, unsigned char* to) noexcept { heapCallable<F>(to) = heapCallable<F>(from); },
        [](unsigned char* storage) noexcept { delete heapCallable<F>(storage); }};

    void takeFrom(MoveOnlyFunc& other) noexcept
    {
        if (!other.m_ops)
            return;
        other.m_ops->relocate(other.m_storage, m_storage);
        m_ops = std::exchange(other.m_ops, nullptr);
    }

    void reset() noexcept
    {
        if (const Ops* ops = std::exchange(m_ops, nullptr))
            ops->destroy(m_storage);
    }

    const Ops* m_ops = nullptr;
    alignas(void*) mutable unsigned char m_storage[kInlineSize];
};

} // namespace vorn::utils
