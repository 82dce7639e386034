// Notification: one camera message read from a packet of the camera's ONVIF metadata stream, as the
// metadata processor hands it to the notification processors.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include <QtCore/QString>

namespace vorn::vms_server_plugins::analytics::axis {

struct Notification
{
    int64_t timestamp = 0;                 //< microseconds since the epoch: the timestamp of the packet that carried it
    QString topic;                         //< as sent, namespace prefixes included
    std::optional<bool> state;             //< only for topics whose catalogue leaf names a state item
    std::map<QString, QString> attributes; //< every other data item, name to value

    bool operator==(const Notification&) const = default;
};

/**
 * An order of topics for maps that every notification searches and nothing lists: by length first, so that
 * most comparisons end without reading the texts, which often share a long first part.
 */
struct TopicSearchOrder
{
    bool operator()(const QString& a, const QString& b) const noexcept
    {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    }
};

/** Lines "timestamp: ...", "topic: ...", "state: ..." and the attributes, each led by the indent. */
QString toString(const Notification& notification, const QString& indent = QStringLiteral("  "));

/** Microseconds since the epoch as local ISO 8601 date and time with milliseconds (rounding down). */
QString timestampText(int64_t timestampUs);

} // namespace vorn::vms_server_plugins::analytics::axis
