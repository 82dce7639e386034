#include "device_agent_manifest.h"

#include <map>
#include <set>

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>

#include <QtCore/QStringList>

namespace vorn::vms_server_plugins::analytics::axis {

namespace {

boost::json::string_view utf8(const QByteArray& bytes)
{
    return boost::json::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

boost::json::value text(const QString& value)
{
    return boost::json::value(utf8(value.toUtf8()));
}

} // namespace

std::string deviceAgentManifest(const std::vector<EventType>& eventTypes, const std::vector<ObjectType>& objectTypes)
{
    boost::json::array eventTypesJson;
    for (const EventType& eventType : eventTypes) {
        boost::json::object json;
        json["id"] = text(eventType.id);
        json["name"] = text(eventType.name);
        std::set<QString> flags;
        if (eventType.isProlonged)
            flags.insert(QStringLiteral("stateDependent"));
        if (!flags.empty())
            json["flags"] = text(QStringList(flags.begin(), flags.end()).join(QLatin1Char('|')));
        eventTypesJson.push_back(std::move(json));
    }

    boost::json::array objectTypesJson;
    std::map<QString, std::set<QString>> supportedTypes;
    for (const ObjectType& objectType : objectTypes) {
        boost::json::object json;
        json["base"] = text(objectType.baseId);
        json["id"] = text(objectType.id);
        json["flags"] = "hiddenDerivedType";
        objectTypesJson.push_back(std::move(json));
        for (const QString& id : {objectType.baseId, objectType.id})
            supportedTypes[id].insert(objectType.inheritedAttributeNames.begin(),
                                      objectType.inheritedAttributeNames.end());
    }

    boost::json::array supportedTypesJson;
    for (const auto& [id, attributes] : supportedTypes) {
        boost::json::array names;
        for (const QString& name : attributes)
            names.push_back(text(name));
        boost::json::object json;
        json["objectTypeId"] = text(id);
        json["attributes"] = std::move(names);
        supportedTypesJson.push_back(std::move(json));
    }

    boost::json::object manifest;
    manifest["eventTypes"] = std::move(eventTypesJson);
    boost::json::object typeLibrary;
    typeLibrary["objectTypes"] = std::move(objectTypesJson);
    manifest["typeLibrary"] = std::move(typeLibrary);
    manifest["supportedTypes"] = std::move(supportedTypesJson);
    return boost::json::serialize(manifest);
}

} // namespace vorn::vms_server_plugins::analytics::axis
