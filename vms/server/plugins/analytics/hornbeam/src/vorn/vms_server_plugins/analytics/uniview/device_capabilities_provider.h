// uniview::DeviceCapabilitiesProvider: asks a camera which alarm and smart functions its channel supports
// and maps them to the plugin's event and object type ids.
//
//     DeviceCapabilitiesProvider provider(deviceAgent);        // sends both requests, returns at once
//     ...
//     const std::set<QString> types = provider.supportedEventTypes();   // first call waits for both
//
// Rules:
// - Both requests and their completions run on one I/O thread (the first client's); the set grows there
//   and is read only after both completions have been handled, under m_mutex.
// - supportedEventTypes() blocks the calling server thread until both requests have ended (each bounded by
//   the clients' time-outs; the wait itself by kMaxWait, in case a completion were ever lost); later calls
//   return the same set at once. It must not be called on the requests' I/O thread.
// - The destructor stops what is still outstanding; no completion runs after it.
#pragma once

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QtCore/QString>

#include <vorn/kit/json.h>
#include <vorn/network/http/async_client.h>
#include <vorn/utils/mutex.h>

namespace vorn::vms_server_plugins::analytics::uniview {

class DeviceAgent;

class DeviceCapabilitiesProvider
{
public:
    /** Three phases of 5 s each per request, with room for a loaded machine: never reached normally. */
    static constexpr std::chrono::seconds kMaxWait{30};

    explicit DeviceCapabilitiesProvider(DeviceAgent* deviceAgent);
    virtual ~DeviceCapabilitiesProvider();

    std::set<QString> supportedEventTypes();

    /** The capability table: capability name -> type ids. */
    static const std::map<std::string, std::set<QString>>& capabilityEventTypes();
    /** Whether a capability's value says it is supported (a non-zero number under one of the support keys). */
    static bool isSupported(const vorn::kit::detail::json11::Json& value, const std::string& name);

    QString logTagSuffix() const;

private:
    struct ClientContext
    {
        std::unique_ptr<vorn::network::http::AsyncClient> client;
        std::promise<void> promise;
    };
    using ReplyHandler = void (DeviceCapabilitiesProvider::*)(const vorn::kit::detail::json11::Json&);

    void startRequest(const QString& path, ReplyHandler handler);
    void onRequestDone(ClientContext* context, ReplyHandler handler);
    void onCapabilities(const vorn::kit::detail::json11::Json& data);
    void waitForRequests();

    DeviceAgent* const m_deviceAgent;
    vorn::Mutex m_mutex;
    std::vector<std::shared_ptr<ClientContext>> m_contexts;
    std::set<QString> m_supportedTypes;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
