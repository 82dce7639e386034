// The device agent manifest of one camera, narrowed from the engine manifest.
//
// A licence-plate camera offers no event types and only the plate and vehicle object types; any other
// camera offers every event type and only the vehicle and person object types. The enumeration and
// colour types that the offered object types refer to stay, the others go, and the settings of the
// channel that the camera does not use are removed from the settings model:
//
//     const QByteArray text = buildDeviceAgentManifest(engineManifestText, engine->manifest(), lprSupported);
//
// Plain functions of their arguments; they may run on any thread.
#pragma once

#include <optional>
#include <set>

#include <QtCore/QByteArray>
#include <QtCore/QJsonObject>
#include <QtCore/QString>

#include "engine_manifest.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

/** The object type ids that a camera of this kind offers. */
const std::set<QString>& allowedObjectTypes(bool lprSupported);

/**
 * The manifest as compact JSON text.
 *
 * @param engineManifestText The engine's manifest text, or none when the engine could not give it:
 *     the manifest then carries every event type of engineManifest and nothing is narrowed.
 * @param engineManifest The engine's parsed manifest: the source of the settings model.
 */
QByteArray buildDeviceAgentManifest(const std::optional<QByteArray>& engineManifestText,
                                    const EngineManifest& engineManifest, bool lprSupported);

/** The settings model with every item whose "name" starts with the prefix removed. */
QJsonObject removeSettingsItems(QJsonObject settingsModel, const QString& namePrefix);

} // namespace vorn::vms_server_plugins::analytics::zodivadad
