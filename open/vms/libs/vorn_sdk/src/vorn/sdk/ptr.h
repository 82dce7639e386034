// Ptr<T>: an owning smart pointer over one reference of an interface object.
//
// Taking over a reference the caller already owns and taking a new one of a borrowed pointer are
// two differently named operations; there is no implicit conversion from a plain pointer:
//
//     Ptr<String> s = makePtr<String>("text");      // adopts the new object's first reference
//     Ptr<IHostServices> h = shareToPtr(borrowed);   // retains a borrowed pointer
//     Ptr<IString> found = queryInterface<IString>(obj); // holds the lookup's reference
//     IString* handedOut = s.releasePtr();           // gives the reference away, s is null
#pragma once

#include <cstddef>
#include <utility>

#include <vorn/sdk/interface.h>

namespace vorn::sdk {

template <class T>
class Ptr
{
public:
    Ptr() = default;
    Ptr(std::nullptr_t) {}

    /** Adopts the reference that the caller owns; does not retain. */
    explicit Ptr(T* p)
        : m_p(p)
    {}

    Ptr(const Ptr& other)
        : m_p(other.m_p)
    {
        retainIfAny();
    }
    Ptr(Ptr&& other) noexcept
        : m_p(std::exchange(other.m_p, nullptr))
    {}

    template <class U>
    Ptr(const Ptr<U>& other)
        : m_p(other.get())
    {
        retainIfAny();
    }

    template <class U>
    Ptr(Ptr<U>&& other) noexcept
        : m_p(other.releasePtr())
    {}

    ~Ptr() { reset(); }

    // Retains the new object before releasing the old one, so assigning an object to itself is safe.
    Ptr& operator=(const Ptr& other)
    {
        Ptr copy(other);
        std::swap(m_p, copy.m_p);
        return *this;
    }

    // Takes the other reference before releasing the old one: the old object may own other (a
    // member Ptr), and releasing it first would destroy other before it is read.
    Ptr& operator=(Ptr&& other) noexcept
    {
        if (this != &other) {
            T* previous = std::exchange(m_p, std::exchange(other.m_p, nullptr));
            if (previous)
                previous->release();
        }
        return *this;
    }

    Ptr& operator=(std::nullptr_t)
    {
        reset();
        return *this;
    }

    void reset()
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->release();
    }

    /** Hands the reference over to the caller and leaves this pointer null. */
    [[nodiscard]] T* releasePtr() { return std::exchange(m_p, nullptr); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    template <class U>
    bool operator==(const Ptr<U>& other) const
    {
        return m_p == other.get();
    }
    bool operator==(std::nullptr_t) const { return m_p == nullptr; }

private:
    void retainIfAny()
    {
        if (m_p)
            m_p->retain();
    }

    T* m_p = nullptr;
};

/** Adopts a reference the caller owns (a new object, a lookup or getter result). */
template <class T>
Ptr<T> toPtr(T* p)
{
    return Ptr<T>(p);
}

/** Takes a reference of its own to a borrowed pointer. */
template <class T>
Ptr<T> shareToPtr(T* p)
{
    if (p)
        p->retain();
    return Ptr<T>(p);
}

template <class T, class... Args>
Ptr<T> makePtr(Args&&... args)
{
    return Ptr<T>(new T(std::forward<Args>(args)...));
}

/** The object as interface I, retained, or null. */
template <class I, class T>
Ptr<I> queryInterface(T* object)
{
    if (!object)
        return {};
    return Ptr<I>(static_cast<I*>(const_cast<IRefCountable*>(static_cast<const IRefCountable*>(object))
                                      ->findInterface(I::kInterfaceIds.primary)));
}

template <class I, class T>
Ptr<I> queryInterface(const Ptr<T>& object)
{
    return queryInterface<I>(object.get());
}

} // namespace vorn::sdk
