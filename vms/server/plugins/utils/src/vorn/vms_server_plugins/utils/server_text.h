// textOf: a text that the server hands over (a device description's id, name, login) as a QString:
//
//     url.setUserName(textOf(deviceInfo->login()));
//
// The server's texts are UTF-8 and may be null, which reads as the empty text.
#pragma once

#include <QtCore/QString>

#include <vorn/sdk/helpers/string.h>

namespace vorn::vms_server_plugins::utils {

inline QString textOf(const char* text)
{
    return QString::fromUtf8(vorn::sdk::textOrEmpty(text));
}

} // namespace vorn::vms_server_plugins::utils
