// The Axis plugin's requests to its camera: the one way to set up the synchronous client that asks it (the
// image size and the event catalogue when a device agent is made, the licence-plate record search while
// packets are handled), and the one way to send a request and take the body of its reply.
//
//     http::HttpClient client = makeCameraClient(*deviceInfo);
//     const std::optional<QByteArray> body = fetchCameraReply(&client, url, logTag);
//     if (!body)
//         return std::nullopt; // the reason is written already, at level 5
//
// A camera that accepts and then stays silent, or stalls in the middle of a body, costs the calling
// thread at most kCameraRequestTimeout per phase of the request; the time-outs run on the ScaledClock.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include <QtCore/QByteArray>

#include <vorn/network/http/http_client.h>
#include <vorn/sdk/analytics/i_device_description.h>
#include <vorn/utils/log/log.h>
#include <vorn/utils/url.h>

namespace vorn::vms_server_plugins::analytics::axis {

// How long a camera request may take in each of its phases (sending, the response header, the body). The
// requests run on server threads: a silent camera blocks the one that creates the device agent, or the one
// that delivered the plate's packet, at most this long per phase.
inline constexpr std::chrono::milliseconds kCameraRequestTimeout{10'000};

/**
 * A client for the camera of the description: every server certificate accepted, Digest only (the camera's
 * password never goes out as Basic), the description's user name and password, kCameraRequestTimeout for
 * each of the three phases, and "Connection: close" with every request, since each request opens a
 * connection of its own.
 */
vorn::network::http::HttpClient makeCameraClient(const vorn::sdk::analytics::IDeviceDescription& deviceInfo);

/**
 * GETs the URL, or POSTs the body with its Content-Type, and reads the whole body of a reply whose status
 * is a success. None on any failure, each written once at level 5 with the tag: "Request failed: %1" (no
 * response), "Bad HTTP response status: %1", "Couldn't read response body: %1".
 */
std::optional<QByteArray> fetchCameraReply(vorn::network::http::HttpClient* client, const vorn::utils::Url& url,
                                           const vorn::utils::log::Tag& logTag);
std::optional<QByteArray> fetchCameraReply(vorn::network::http::HttpClient* client, const vorn::utils::Url& url,
                                           const std::string& contentType, std::string_view body,
                                           const vorn::utils::log::Tag& logTag);

} // namespace vorn::vms_server_plugins::analytics::axis
