// vorn::vms::api::analytics::PluginManifest: the identity of a plugin as the server shows it, and the
// settings model of its engines.
//
// A Q_GADGET, so that it is a Qt meta-type registered under its class name on first use; a JSON
// context can then hold a custom serializer for it.
//
//     PluginManifest manifest{"vorn.example", "Example", "Example plugin", "1.0.1", "Example", {}};
//     const std::string text = QJson::serialized(manifest).toStdString();
#pragma once

#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <QtCore/QObject>
#include <QtCore/QString>

class VnJsonContext;

namespace vorn::vms::api::analytics {

struct PluginManifest
{
    Q_GADGET

public:
    QString id;
    QString name;
    QString description;
    QString version;
    QString vendor;
    QJsonObject engineSettingsModel;
};

/** Keys "id", "name", "description", "version", "vendor", "engineSettingsModel" (always written). */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, PluginManifest* target);
void serialize(VnJsonContext* ctx, const PluginManifest& value, QJsonValue* target);

} // namespace vorn::vms::api::analytics
