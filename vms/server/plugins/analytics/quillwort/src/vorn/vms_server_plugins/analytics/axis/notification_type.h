// NotificationType: one node of a camera's event catalogue, and CoordinateDomain: the camera's image
// size, the two things a device agent learns from its camera when it is created.
//
// The catalogue is a tree of topics ("tns1:VideoSource" > "tns1:VideoSource/MotionAlarm"); each leaf
// stands for one kind of camera message. The notification processors share the tree out among
// themselves, each removing what it claims, so a processor sees only what its predecessors left.
#pragma once

#include <optional>
#include <vector>

#include <QtCore/QString>

namespace vorn::vms_server_plugins::analytics::axis {

struct CoordinateDomain
{
    float width = -1;  //< image width in pixels; -1 while unknown
    float height = -1; //< image height in pixels; -1 while unknown

    bool operator==(const CoordinateDomain&) const = default;
};

/** "%1 x %2", each number as the debug stream writes a float ("1920 x 1080", "-1 x -1"). */
QString toString(const CoordinateDomain& domain);

struct NotificationType
{
    QString topic; //< element names from the top down, joined with "/", namespace prefixes kept
    std::optional<QString> niceName;
    std::optional<QString> stateName; //< the data item that carries a leaf's state, if any
    std::vector<NotificationType> children;

    bool isLeaf() const { return children.empty(); }

    bool operator==(const NotificationType&) const = default;
};

/** The catalogue as log text: one "- topic: ..." block per node, depth first, children indented by two. */
QString toString(const std::vector<NotificationType>& types, const QString& indent = QStringLiteral("  "));

} // namespace vorn::vms_server_plugins::analytics::axis
