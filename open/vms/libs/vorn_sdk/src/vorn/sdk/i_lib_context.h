// The library context and the server's object registry: the two boundary objects without an
// interface id or a reference count. A plugin library has exactly one context, a static object that
// lives as long as the library; the server names it and hands it a registry once, which the context
// then owns and deletes at unload.
#pragma once

#include <cstdint>

#include <vorn/sdk/interface.h>

namespace vorn::sdk {

class IRefCountableRegistry
{
public:
    virtual ~IRefCountableRegistry() = default;
    virtual void registerObject(const IRefCountable* object, int32_t refCount) = 0;
    virtual void unregisterObject(const IRefCountable* object, int32_t refCount) = 0;
};

class ILibContext
{
public:
    virtual ~ILibContext() = default;
    virtual void setName(const char* name) = 0;
    /** Takes ownership of the registry; it can be set once. */
    virtual void setRefCountableRegistry(IRefCountableRegistry* registry) = 0;
};

} // namespace vorn::sdk
