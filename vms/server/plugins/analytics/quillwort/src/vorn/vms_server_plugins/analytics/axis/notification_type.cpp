#include "notification_type.h"

#include <QtCore/QStringList>

#include <vorn/log_support/log_text.h>

namespace vorn::vms_server_plugins::analytics::axis {

namespace {

void appendLines(const std::vector<NotificationType>& types, const QString& indent, QStringList* lines)
{
    for (const NotificationType& type : types) {
        lines->append(QStringLiteral("%1- topic: %2").arg(indent, type.topic));
        if (type.niceName)
            lines->append(QStringLiteral("%1  niceName: %2").arg(indent, *type.niceName));
        if (type.stateName)
            lines->append(QStringLiteral("%1  stateName: %2").arg(indent, *type.stateName));
        if (!type.children.empty()) {
            lines->append(QStringLiteral("%1  children:").arg(indent));
            appendLines(type.children, indent + QStringLiteral("  "), lines);
        }
    }
}

} // namespace

QString toString(const CoordinateDomain& domain)
{
    return QStringLiteral("%1 x %2").arg(vorn::log_support::toLogText(domain.width),
                                         vorn::log_support::toLogText(domain.height));
}

QString toString(const std::vector<NotificationType>& types, const QString& indent)
{
    QStringList lines;
    appendLines(types, indent, &lines);
    return lines.join(QLatin1Char('\n'));
}

} // namespace vorn::vms_server_plugins::analytics::axis
