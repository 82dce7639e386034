#include "camera_discovery.h"

#include <QtCore/QList>

#include "notifications.h"
#include "xml_search.h"

namespace vorn::vms_server_plugins::analytics::axis {

namespace {

// The data item of a message instance that holds the state of a prolonged event, if one is flagged.
std::optional<QString> findStateName(const XmlNode* messageInstance)
{
    for (const XmlNode* data = messageInstance->first_node(); data; data = data->next_sibling()) {
        if (data->type() != rapidxml::node_element || nameOf(data) != "aev:DataInstance")
            continue;
        for (const XmlNode* item = data->first_node(); item; item = item->next_sibling()) {
            if (item->type() != rapidxml::node_element || nameOf(item) != "aev:SimpleItemInstance")
                continue;
            const XmlAttribute* flag = findAttribute(item, "isPropertyState");
            if (!flag)
                continue;
            const std::string_view value(flag->value(), flag->value_size());
            if (value != "true" && value != "1")
                continue;
            if (const XmlAttribute* name = findAttribute(item, "Name"))
                return valueText(name);
        }
    }
    return std::nullopt;
}

// Recursion follows the element nesting, which the caller has bounded by kMaxXmlDepth.
std::vector<NotificationType> parseTopicSet(const XmlNode* node, const QString& parentTopic)
{
    std::vector<NotificationType> result;
    for (const XmlNode* child = node->first_node(); child; child = child->next_sibling()) {
        if (child->type() != rapidxml::node_element)
            continue;
        NotificationType type;
        type.topic = parentTopic;
        if (!parentTopic.isEmpty())
            type.topic += QLatin1Char('/');
        type.topic += QString::fromUtf8(child->name(), static_cast<int>(child->name_size()));

        if (const XmlAttribute* niceName = findAttribute(child, "aev:NiceName"))
            type.niceName = valueText(niceName);
        else
            type.niceName = humanReadableName(type.topic);

        if (const XmlNode* messageInstance = findChild(child, "aev:MessageInstance")) {
            type.stateName = findStateName(messageInstance);
            result.push_back(std::move(type));
            continue;
        }
        type.children = parseTopicSet(child, type.topic);
        if (!type.children.empty())
            result.push_back(std::move(type));
    }
    return result;
}

} // namespace

const std::string& eventInstancesRequestBody()
{
    static const std::string body =
        std::string("\n") + "        <s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"> \n" +
        "          <s:Body\n" + "            xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" \n" +
        "            xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"\n" + "          >\n" +
        "            <GetEventInstances xmlns=\"" + kEventServiceNamespace + "\"/>\n" + "          </s:Body>\n" +
        "        </s:Envelope>\n" + "    ";
    return body;
}

const std::string& eventInstancesContentType()
{
    static const std::string contentType = std::string("action=\"") + kEventServiceNamespace + "/GetEventInstances\"";
    return contentType;
}

CoordinateDomain parseCoordinateDomain(const QByteArray& body)
{
    CoordinateDomain domain;
    for (const QByteArray& line : body.split('\n')) {
        const QList<QByteArray> parts = line.split('=');
        if (parts.size() != 2)
            continue;
        bool ok = false;
        const float value = parts[1].trimmed().toFloat(&ok);
        if (!ok)
            continue;
        const QByteArray key = parts[0].trimmed();
        if (key == "image width")
            domain.width = value;
        else if (key == "image height")
            domain.height = value;
    }
    return domain;
}

CatalogueReadResult parseNotificationTypes(std::string* body)
{
    CatalogueReadResult result;
    // The document's memory pool starts with a static block on the stack, so a catalogue of ordinary
    // size is read without allocating nodes on the heap.
    XmlDocument document;
    result.parseError = parseCameraXml(body, &document);
    if (result.parseError)
        return result;
    if (const XmlNode* topicSet = findDescendant(&document, "wstop:TopicSet"))
        result.types = parseTopicSet(topicSet, QString());
    return result;
}

} // namespace vorn::vms_server_plugins::analytics::axis
