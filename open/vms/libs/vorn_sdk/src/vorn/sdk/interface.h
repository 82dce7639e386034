// The root of the interface model shared by plugin libraries and their host.
//
// Every object that crosses a library boundary derives from IRefCountable through a chain of
// Interface<I, Base> classes. The virtual table layout (slot order), the id texts and the counting
// rules are the contract between separately built libraries, so an interface is never changed in
// place: a new version is a new class with a new id that derives from the old one.
//
// Lookup answers the most derived interface first, each interface's alias after its primary id,
// then the bases down to "vorn::sdk::IRefCountable":
//
//     IRefCountable* any = ...;
//     if (auto* s = static_cast<IString*>(any->findInterface(IString::kInterfaceIds.primary)))
//     {
//         use(s->text()); // the lookup retained s for the caller
//         s->release();
//     }
//
// queryInterface<I>() of ptr.h does the same and holds the reference in a Ptr.
#pragma once

#include <cstdint>
#include <cstring>

namespace vorn::sdk {

// The id texts of one interface: a primary id and, for a few interfaces, an alias answered the same way.
struct InterfaceIds
{
    const char* primary = nullptr;
    const char* alias = nullptr;

    bool matches(const char* id) const
    {
        if (!id)
            return false;
        return std::strcmp(primary, id) == 0 || (alias && std::strcmp(alias, id) == 0);
    }
};

class IRefCountable
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::IRefCountable"};

    virtual ~IRefCountable() = default;

    /** This object, retained once for the caller, when it implements the id; null otherwise. */
    virtual IRefCountable* findInterface(const char* interfaceId) = 0;

    /** @return The count after the increment. */
    virtual int32_t retain() const = 0;

    /** @return The count after the decrement; the object is destroyed when it reaches 0. */
    virtual int32_t release() const = 0;

protected:
    // The last link of every lookup chain.
    IRefCountable* findInterfaceInChain(const char* interfaceId)
    {
        if (kInterfaceIds.matches(interfaceId)) {
            retain();
            return this;
        }
        return nullptr;
    }
};

// Links interface I into its base's lookup chain. Each interface declares
// `static constexpr InterfaceIds kInterfaceIds` and derives as `class I: public Interface<I, Base>`.
template <class I, class Base = IRefCountable>
class Interface : public Base
{
protected:
    IRefCountable* findInterfaceInChain(const char* interfaceId)
    {
        if (I::kInterfaceIds.matches(interfaceId)) {
            this->retain();
            return static_cast<I*>(this);
        }
        return Base::findInterfaceInChain(interfaceId);
    }
};

} // namespace vorn::sdk
