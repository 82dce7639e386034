// DeviceDescription: the server's IDeviceDescription of one camera.
//
//     DeviceDescription::Fields camera;
//     camera.vendor = "Zodivadad";
//     camera.url = "http://127.0.0.1:8080/";
//     auto description = sdk::makePtr<DeviceDescription>(std::move(camera));
//     bool ours = engine->supportsDevice(description.get());
//
// Immutable after construction, so any thread may read it; a plugin may keep it retained.
#pragma once

#include <cstdint>
#include <string>

#include <vorn/sdk/analytics/i_device_description.h>
#include <vorn/vms_server/server_ref_countable.h>

namespace vorn::vms_server {

class DeviceDescription final : public ServerRefCountable<sdk::analytics::IDeviceDescription>
{
public:
    struct Fields
    {
        std::string id = "{00000000-0000-0000-0000-000000000001}";
        std::string vendor;
        std::string model;
        std::string name = "Camera 1";
        std::string url;
        std::string login;
        std::string password;
        int32_t channel = 0;
    };

    explicit DeviceDescription(Fields fields);

    const char* id() const override;
    const char* vendor() const override;
    const char* model() const override;
    const char* name() const override;
    const char* url() const override;
    const char* login() const override;
    const char* password() const override;
    int32_t channel() const override;

private:
    ~DeviceDescription() override = default;

    const Fields m_fields;
};

} // namespace vorn::vms_server
