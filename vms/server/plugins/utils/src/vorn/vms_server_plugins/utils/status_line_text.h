// statusLineText: the status line of the reply a camera client got, as a log line quotes it:
//
//     VN_LOG(5, this, "Request failed with HTTP code [%1]", statusLineText(client.response()));
//
// The camera writes the reason phrase, so it is quoted as a camera's bytes (bounded, control bytes
// escaped); "N/A" when no reply came.
#pragma once

#include <QtCore/QString>

#include <vorn/log_support/peer_text.h>
#include <vorn/network/http/response.h>

namespace vorn::vms_server_plugins::utils {

inline QString statusLineText(const vorn::network::http::Response* response)
{
    return response ? vorn::log_support::PeerText(response->statusLine.toString()).toString() : QStringLiteral("N/A");
}

} // namespace vorn::vms_server_plugins::utils
