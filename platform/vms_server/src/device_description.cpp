#include <vorn/vms_server/device_description.h>

#include <utility>

namespace vorn::vms_server {

DeviceDescription::DeviceDescription(Fields fields)
    : m_fields(std::move(fields))
{}

const char* DeviceDescription::id() const
{
    return m_fields.id.c_str();
}

const char* DeviceDescription::vendor() const
{
    return m_fields.vendor.c_str();
}

const char* DeviceDescription::model() const
{
    return m_fields.model.c_str();
}

const char* DeviceDescription::name() const
{
    return m_fields.name.c_str();
}

const char* DeviceDescription::url() const
{
    return m_fields.url.c_str();
}

const char* DeviceDescription::login() const
{
    return m_fields.login.c_str();
}

const char* DeviceDescription::password() const
{
    return m_fields.password.c_str();
}

int32_t DeviceDescription::channel() const
{
    return m_fields.channel;
}

} // namespace vorn::vms_server
