// What an Axis device agent asks its camera when it is created, and how it reads the answers: the image
// size CGI, whose reply becomes the coordinate domain of plate boxes, and the SOAP event-instance request,
// whose topic set becomes the event catalogue.
//
//     const CoordinateDomain domain = parseCoordinateDomain("image width = 1920\r\nimage height = 1080\r\n");
//     std::string reply = ...;                             // the camera's SOAP reply, as received
//     const CatalogueReadResult catalogue = parseNotificationTypes(&reply); // parses the text in place
//
// The readers are plain functions over the reply bytes: they never fail the device agent, they only
// leave the domain unknown or the catalogue empty.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include "notification_type.h"

namespace vorn::vms_server_plugins::analytics::axis {

inline constexpr char kImageSizePath[] = "/axis-cgi/imagesize.cgi";
inline constexpr char kEventServicePath[] = "/vapix/services";
inline constexpr char kEventServiceNamespace[] = "http://www.axis.com/vapix/ws/event1";

/** The SOAP 1.2 GetEventInstances envelope, byte for byte as the camera expects it; made once. */
const std::string& eventInstancesRequestBody();

/** The request's Content-Type: the SOAP action parameter alone, action="<namespace>/GetEventInstances". */
const std::string& eventInstancesContentType();

/**
 * The "image width" and "image height" lines of the CGI reply ("key = value" per line); a side whose line
 * is missing or unreadable stays -1.
 */
CoordinateDomain parseCoordinateDomain(const QByteArray& body);

struct CatalogueReadResult
{
    std::vector<NotificationType> types;
    std::optional<QString> parseError; //< set when the reply was refused or is not well-formed XML
};

/**
 * The catalogue below the reply's first "wstop:TopicSet" (none: an empty catalogue, no error). The text is
 * parsed in place and changed by it. A reply nested deeper than kMaxXmlDepth is refused before parsing.
 */
CatalogueReadResult parseNotificationTypes(std::string* body);

} // namespace vorn::vms_server_plugins::analytics::axis
