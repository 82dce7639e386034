// OptionMap: the server's IOptionMap, an ordered map of texts (device agent settings, unit-test options).
//
//     auto settings = sdk::makePtr<OptionMap>();
//     settings->set("VCA.Port", "9000");
//     deviceAgent->applySettings(&result, settings.get());
//
// Keys keep the order of their first set(); setting a key again replaces its value in place. Fill the map
// before handing it to a plugin: the map has no lock and plugins read it without one.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <vorn/sdk/i_option_map.h>
#include <vorn/vms_server/server_ref_countable.h>

namespace vorn::vms_server {

class OptionMap final : public ServerRefCountable<sdk::IOptionMap>
{
public:
    OptionMap() = default;
    explicit OptionMap(std::vector<std::pair<std::string, std::string>> entries);

    void set(std::string key, std::string value);

    int32_t count() const override;
    const char* keyAt(int32_t index) const override;
    const char* valueOf(const char* key) const override;
    const char* valueAt(int32_t index) const override;

private:
    ~OptionMap() override = default;

    bool isIndex(int32_t index) const;

    std::vector<std::pair<std::string, std::string>> m_entries;
};

} // namespace vorn::vms_server
