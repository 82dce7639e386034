// Metadata items: what one event or one object looks like at one moment.
#pragma once

#include <cstdint>

#include <vorn/sdk/analytics/bounding_box.h>
#include <vorn/sdk/i_attribute.h>
#include <vorn/sdk/uuid.h>

namespace vorn::sdk::analytics {

class IMetadata : public Interface<IMetadata>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IMetadata"};

    virtual const char* typeId() const = 0;
    virtual float confidence() const = 0;
    /** The attribute at index, retained for the caller, or null outside [0, attributeCount). */
    virtual const IAttribute* getAttribute(int32_t index) const = 0;
    virtual int32_t attributeCount() const = 0;
};

class IObjectMetadata : public Interface<IObjectMetadata, IMetadata>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IObjectMetadata"};

    virtual void getTrackId(Uuid* outValue) const = 0;
    virtual const char* extraText() const = 0;
    virtual void getBoundingBox(BoundingBox* outValue) const = 0;
};

class IEventMetadata0 : public Interface<IEventMetadata0, IMetadata>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IEventMetadata"};

    virtual const char* caption() const = 0;
    virtual const char* description() const = 0;
    virtual bool isActive() const = 0;
};

class IEventMetadata1 : public Interface<IEventMetadata1, IEventMetadata0>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IEventMetadata1"};

    virtual void getTrackId(Uuid* outValue) const = 0;
};

class IEventMetadata : public Interface<IEventMetadata, IEventMetadata1>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IEventMetadata2"};

    virtual const char* key() const = 0;
};

} // namespace vorn::sdk::analytics
