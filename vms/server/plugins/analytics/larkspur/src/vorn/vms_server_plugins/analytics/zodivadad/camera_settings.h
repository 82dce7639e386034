// Reading and writing a Zodivadad camera's settings through its CGI scripts.
//
// A read is a GET of a CGI path with the query "action=<read action>"; the camera answers with
// script-style assignments (camera_settings_parser.h). A write is a GET with the query
// "action=<write action>&name=value&...". Every call makes its own HTTP client and blocks the calling
// thread until the camera answers or the client's time-outs end the wait:
//
//     const CameraSettings info = getSystemInformation(cameraUrl, credentials);
//     const bool lpr = info.count(QStringLiteral("system_lpr_support")) > 0;
//
// A reply counts only when its status is 2xx and its body arrives whole; anything else is logged at
// level 5 (with the request URL, never its password) and gives the empty map or false. The calls hold
// no shared state and may run on several threads at once.
#pragma once

#include <string_view>

#include <vorn/network/http/credentials.h>
#include <vorn/network/http/timeouts.h>
#include <vorn/utils/url.h>

#include "camera_settings_parser.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

inline constexpr std::string_view kAdminCgiPath = "/cgi-bin/admin/admin.cgi";
inline constexpr std::string_view kOperatorCgiPath = "/cgi-bin/operator/operator.cgi";
inline constexpr std::string_view kGetSystemInformationAction = "get.system.information";
inline constexpr std::string_view kGetLprSettingsAction = "get.lpr.settings";
inline constexpr std::string_view kSetLprSettingsAction = "set.lpr.settings";

/** The settings that a read action answers; empty on any failure. */
CameraSettings getCameraSettings(const vorn::utils::Url& cameraUrl, const vorn::network::http::Credentials& credentials,
                                 std::string_view path, std::string_view action,
                                 const vorn::network::http::Timeouts& timeouts = {});

CameraSettings getSystemInformation(const vorn::utils::Url& cameraUrl,
                                    const vorn::network::http::Credentials& credentials,
                                    const vorn::network::http::Timeouts& timeouts = {});

CameraSettings getLprSettings(const vorn::utils::Url& cameraUrl, const vorn::network::http::Credentials& credentials,
                              const vorn::network::http::Timeouts& timeouts = {});

/** Sends the settings with a write action; true when the camera answered with a 2xx status. */
bool setCameraSettings(const vorn::utils::Url& cameraUrl, const vorn::network::http::Credentials& credentials,
                       std::string_view path, std::string_view action, const CameraSettings& settings,
                       const vorn::network::http::Timeouts& timeouts = {});

} // namespace vorn::vms_server_plugins::analytics::zodivadad
