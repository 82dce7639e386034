// The reader of a Zodivadad camera's CGI settings reply.
//
// A read action of the camera's CGI scripts answers with script-style assignments separated by ";":
//
//     var system_lpr_support='1';
//     var system_model='IPCam 5000';
//
// parseCameraSettingsReply turns such a body into a map from setting name to value. It is a plain
// function over the body's bytes: it never reads past them and never fails; what is not an
// assignment is skipped, so an error page yields no settings (or stray ones where its text happens to
// hold "=" between ";" separators).
#pragma once

#include <map>
#include <string_view>

#include <QtCore/QString>

namespace vorn::vms_server_plugins::analytics::zodivadad {

/** Setting name to value, ordered by name; empty stands for nothing read, whatever the cause. */
using CameraSettings = std::map<QString, QString>;

/**
 * Each ";"-separated piece with an "=" gives one setting: the name before the first "=" without a
 * leading "var" keyword, the value after it without one pair of single quotes, both trimmed of
 * white space. A later piece replaces an earlier one of the same name. A piece is read as UTF-8 up to
 * its first zero byte.
 */
CameraSettings parseCameraSettingsReply(std::string_view body);

} // namespace vorn::vms_server_plugins::analytics::zodivadad
