#include "attribute.h"

namespace vorn::sdk {

Attribute::Attribute(int32_t type, std::string name, std::string value, float confidence)
    : m_type(type)
    , m_name(std::move(name))
    , m_value(std::move(value))
    , m_confidence(confidence)
{}

Attribute::Attribute(AttributeType type, std::string name, std::string value, float confidence)
    : Attribute(static_cast<int32_t>(type), std::move(name), std::move(value), confidence)
{}

Attribute::Attribute(std::string name, std::string value, float confidence)
    : Attribute(AttributeType::undefined, std::move(name), std::move(value), confidence)
{}

Attribute::Attribute(const Ptr<IAttribute>& source)
{
    if (!source)
        return;
    m_type = source->type();
    const char* name = source->name();
    m_name = name ? name : "";
    const char* value = source->value();
    m_value = value ? value : "";
    m_confidence = source->confidence();
}

} // namespace vorn::sdk
