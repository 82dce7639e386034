// IOptionMap: an ordered map of texts that the server hands in (settings, unit-test options).
#pragma once

#include <cstdint>

#include <vorn/sdk/interface.h>

namespace vorn::sdk {

class IOptionMap : public Interface<IOptionMap>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::IOptionMap"};

    virtual int32_t count() const = 0;
    virtual const char* keyAt(int32_t index) const = 0;     //< Null for an index out of range.
    virtual const char* valueOf(const char* key) const = 0; //< Null for an absent key.
    virtual const char* valueAt(int32_t index) const = 0;   //< Null for an index out of range.
};

} // namespace vorn::sdk
