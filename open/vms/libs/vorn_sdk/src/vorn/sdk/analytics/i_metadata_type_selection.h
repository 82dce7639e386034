// The event and object types the server currently needs from a device agent.
#pragma once

#include <cstdint>

#include <vorn/sdk/interface.h>

namespace vorn::sdk::analytics {

class ITextList : public Interface<ITextList>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::ITextList"};

    virtual int32_t count() const = 0;
    virtual const char* textAt(int32_t index) const = 0; //< Null for an index out of range.
};

class IMetadataTypeSelection : public Interface<IMetadataTypeSelection>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IMetadataTypeSelection"};

    /** Retained for the caller, or null meaning none. */
    virtual const ITextList* eventTypeIdList() const = 0;
    virtual const ITextList* objectTypeIdList() const = 0;
};

} // namespace vorn::sdk::analytics
