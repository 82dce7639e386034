// Event type ids and readable names made from the camera's topics.
//
//     normalizeTopic("tns1:RuleEngine/tnsaxis:VMD3/xinternal_data");  // "RuleEngine/VMD3/xinternal_data"
//     makeEventTypeId(type);               // "vorn.axis.{...}", the same for the same normalised topic
//     humanReadableName("tnsaxis:MotionRegionDetector");                // "Motion Region Detector"
//
// The ids are stored by the server: they depend only on the topic without its namespace prefixes, so a
// camera that renames a prefix keeps its ids, and they must never change between versions.
#pragma once

#include <QtCore/QString>

#include "notification_type.h"

namespace vorn::vms_server_plugins::analytics::axis {

/** The topic with every part's namespace prefix (the text up to its last ":") removed. */
QString normalizeTopic(const QString& topic);

/** "vorn.axis." followed by the name-based UUID text of the normalised topic. */
QString makeEventTypeId(const NotificationType& type);

/** The last element name of the text, split into capitalised words joined by single spaces. */
QString humanReadableName(const QString& name);

} // namespace vorn::vms_server_plugins::analytics::axis
