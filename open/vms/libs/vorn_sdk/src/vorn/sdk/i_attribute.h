// IAttribute: a typed name/value pair attached to metadata and best shots.
#pragma once

#include <cstdint>

#include <vorn/sdk/interface.h>

namespace vorn::sdk {

enum class AttributeType : int32_t {
    undefined = 0,
    number = 1,
    boolean = 2,
    string = 3,
};

class IAttribute : public Interface<IAttribute>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::IAttribute"};

    virtual int32_t type() const = 0; //< An AttributeType value.
    virtual const char* name() const = 0;
    virtual const char* value() const = 0; //< The value as text, whatever the type.
    virtual float confidence() const = 0;
};

} // namespace vorn::sdk
