// A Uniview camera's reply to hornbeam's subscribe or renew request as the metadata monitor reads it: the
// LAPI envelope (readLapiReply), then the lifetime that the camera grants and the renewal it decides.
//
// Input: the reply body.
//
// Beyond "no crash": whatever the camera's times say, the lifetime lies between 1 s and the duration that
// was asked, and the renewal comes no sooner than the floor and no later than the expiration.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <vorn/vms_server_plugins/analytics/uniview/lapi.h>
#include <vorn/vms_server_plugins/analytics/uniview/metadata_monitor.h>

#include "fuzz_support.h"

namespace uniview = vorn::vms_server_plugins::analytics::uniview;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::prepare(false);
    const uniview::LapiReply reply =
        uniview::readLapiReply(std::string_view(reinterpret_cast<const char*>(data), size));
    if (reply.status != uniview::LapiReply::Status::success)
        return 0;
    (void)reply.json["Response"]["CreatedID"].int_value();

    using Monitor = uniview::MetadataMonitor;
    const std::chrono::seconds lifetime = Monitor::grantedLifetime(reply.json);
    if (lifetime < std::chrono::seconds(1) || lifetime > std::chrono::seconds(Monitor::kSubscriptionDuration))
        std::abort();
    const int64_t now = 1'700'000'000;
    const int64_t expirationTime = Monitor::expirationTimeFromResponse(reply.json, now);
    if (expirationTime != now + lifetime.count())
        std::abort();
    const std::chrono::seconds delay = Monitor::renewDelay(expirationTime, now);
    if (delay < Monitor::kMinRenewDelay || delay > std::max(lifetime, Monitor::kMinRenewDelay))
        std::abort();
    return 0;
}
