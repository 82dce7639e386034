// IString: a text that crosses the library boundary, owned by the object.
#pragma once

#include <vorn/sdk/interface.h>

namespace vorn::sdk {

class IString : public Interface<IString>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::IString"};

    /** Never null; valid while the caller holds a reference and the text is not changed. */
    virtual const char* text() const = 0;
};

} // namespace vorn::sdk
