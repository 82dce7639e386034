// loadManifestText: the engine manifest text of a plugin, embedded in the library as a Qt resource and
// replaceable by a file under the server's working folder, so that a site can change a manifest without
// a new build:
//
//     m_manifestText = loadManifestText(":/uniview/manifest.json", "plugins/uniview/manifest.json",
//                                       vorn::utils::log::Tag(vorn::log_support::objectLogTag(this)));
//
// The file wins whenever it can be opened, whatever it holds (an empty file gives an empty manifest);
// the switch is logged at level 4 under the caller's tag as "Switch to external manifest file <absolute
// path>". Reads the files anew on every call and may run on any thread.
#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <vorn/utils/log/tag.h>

namespace vorn::vms_server_plugins::utils {

/** The bytes of externalPath when it can be read, else those of embeddedPath, else empty. */
QByteArray loadManifestText(const QString& embeddedPath, const QString& externalPath, const vorn::utils::log::Tag& tag);

} // namespace vorn::vms_server_plugins::utils
