// RefCountable<I>: the base of every interface object this library implements. It supplies the
// IRefCountable slots of interface I: the lookup along I's id chain, retain and release.
//
// Rules:
// - An object is born with count 1; its creator owns that reference, usually by adopting it into a
//   Ptr. retain() adds one reference, release() drops one; the release that reaches 0 deletes the
//   object through its virtual destructor. Both may be called from any thread.
// - Construct objects with new (makePtr); never delete one directly while references are left.
// - When the library context holds the server's object registry, construction reports the object
//   with registerObject (count 1) and destruction with unregisterObject (count 0 when it dies by
//   release). An object reports its end only to the registry it reported its birth to, and only while
//   that registry is still the context's: objects born before the registry was set, or dying after the
//   context was destroyed at unload, make no call.
//
//     class Attribute: public RefCountable<IAttribute> { ... };
//
//     Ptr<Attribute> a = makePtr<Attribute>("name", "value", 1.0F); // count 1, owned by a
//     Ptr<IAttribute> b = a;                                         // retained: count 2
//     IRefCountable* root = a->findInterface("vorn::sdk::IRefCountable"); // count 3
//     root->release();                                               // count 2
//
// A counter record may share another object's count through its parent link (an object that lives
// exactly as long as its parent); retain, release and refCount() then act on the last record of the
// chain, and the release that brings it to 0 deletes that record's owner.
#pragma once

#include <atomic>
#include <cstdint>

#include <vorn/sdk/i_lib_context.h>
#include <vorn/sdk/interface.h>
#include <vorn/sdk/ptr.h>

namespace vorn::sdk {

/** The counting part of a RefCountable object; see the file comment on parent links. */
struct RefCountableCounter
{
    std::atomic<int32_t> count{1};
    const IRefCountable* owner = nullptr;  //< Deleted when count reaches 0; may be null.
    RefCountableCounter* parent = nullptr; //< The record whose count this one shares, or null.
};

namespace detail {

/** The last record of the parent chain starting at counter. */
RefCountableCounter* rootCounter(const RefCountableCounter* counter);

int32_t addRefToCounter(const RefCountableCounter* counter);
int32_t releaseFromCounter(const RefCountableCounter* counter);

/** Reports a new object to the active library context's registry; returns that registry or null. */
IRefCountableRegistry* registerRefCountable(const IRefCountable* object, int32_t refCount);

/** Reports an object's end to registry when it is still the active library context's registry. */
void unregisterRefCountable(IRefCountableRegistry* registry, const IRefCountable* object, int32_t refCount);

/** Reports an object destroyed while references to it were left. */
void reportDestroyedWithReferences(const IRefCountable* object, int32_t refCount);

} // namespace detail

template <class I>
class RefCountable : public I
{
public:
    RefCountable(const RefCountable&) = delete;
    RefCountable& operator=(const RefCountable&) = delete;

    IRefCountable* findInterface(const char* interfaceId) override { return this->findInterfaceInChain(interfaceId); }

    int32_t retain() const override { return retainImpl(); }
    int32_t release() const override { return releaseImpl(); }

    /** The count of the last record of the parent chain; a plain read, for tests and diagnostics. */
    int32_t refCount() const { return detail::rootCounter(&m_counter)->count.load(std::memory_order_acquire); }

protected:
    RefCountable()
    {
        m_counter.owner = this;
        m_registry = detail::registerRefCountable(this, refCount());
    }

    ~RefCountable() override
    {
        const int32_t count = refCount();
        if (count > 0)
            detail::reportDestroyedWithReferences(this, count);
        detail::unregisterRefCountable(m_registry, this, count);
    }

    int32_t retainImpl() const { return addRefToCounter(&m_counter); }
    int32_t releaseImpl() const { return releaseFromCounter(&m_counter); }

    static int32_t addRefToCounter(const RefCountableCounter* counter) { return detail::addRefToCounter(counter); }

    static int32_t releaseFromCounter(const RefCountableCounter* counter)
    {
        return detail::releaseFromCounter(counter);
    }

    /**
     * The object's own counter record. A derived object that lives exactly as long as another may set
     * its parent to the other's record right after construction, before handing out references.
     */
    RefCountableCounter& counter() const { return m_counter; }

private:
    mutable RefCountableCounter m_counter;
    IRefCountableRegistry* m_registry = nullptr; //< The registry told of this object's birth, or null.
};

} // namespace vorn::sdk
