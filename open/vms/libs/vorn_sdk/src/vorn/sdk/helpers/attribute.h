// Attribute: a typed name/value pair with a confidence, attached to event and object metadata and to
// best shots. Immutable after construction, so it may be read from any thread.
//
//     metadata->addAttribute(makePtr<Attribute>(AttributeType::number, "Speed", "42", 1.0F));
#pragma once

#include <cstdint>
#include <string>

#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/i_attribute.h>
#include <vorn/sdk/ptr.h>

namespace vorn::sdk {

class Attribute : public RefCountable<IAttribute>
{
public:
    /** type is an AttributeType value. */
    Attribute(int32_t type, std::string name, std::string value, float confidence);
    Attribute(AttributeType type, std::string name, std::string value, float confidence);

    /** Type undefined (0). */
    Attribute(std::string name, std::string value, float confidence);

    /** Copies all four values of any attribute; a null source or null texts give empty values. */
    explicit Attribute(const Ptr<IAttribute>& source);

    int32_t type() const override { return m_type; }
    const char* name() const override { return m_name.c_str(); }
    const char* value() const override { return m_value.c_str(); }
    float confidence() const override { return m_confidence; }

private:
    int32_t m_type = static_cast<int32_t>(AttributeType::undefined);
    std::string m_name;
    std::string m_value;
    float m_confidence = 1.0F;
};

} // namespace vorn::sdk
