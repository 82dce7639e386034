#include "notification.h"

#include <QtCore/QDateTime>
#include <QtCore/QStringList>

#include <vorn/log_support/peer_text.h>

namespace vorn::vms_server_plugins::analytics::axis {

using vorn::log_support::peerLogText;

QString timestampText(int64_t timestampUs)
{
    // Floor division: a timestamp before the epoch still rounds towards the earlier millisecond.
    int64_t ms = timestampUs / 1000;
    if (timestampUs % 1000 < 0)
        --ms;
    return QDateTime::fromMSecsSinceEpoch(ms).toString(Qt::ISODateWithMs);
}

QString toString(const Notification& notification, const QString& indent)
{
    QStringList lines;
    lines.append(QStringLiteral("%1timestamp: %2").arg(indent, timestampText(notification.timestamp)));
    lines.append(QStringLiteral("%1topic: %2").arg(indent, peerLogText(notification.topic)));
    if (notification.state)
        lines.append(QStringLiteral("%1state: %2").arg(indent, QLatin1String(*notification.state ? "true" : "false")));
    if (!notification.attributes.empty()) {
        lines.append(QStringLiteral("%1attributes:").arg(indent));
        for (const auto& [name, value] : notification.attributes)
            lines.append(QStringLiteral("%1  %2: %3").arg(indent, peerLogText(name), peerLogText(value)));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace vorn::vms_server_plugins::analytics::axis
