#include <vorn/branding.h>

#include <QtCore/QByteArray>
#include <QtCore/QtGlobal>

namespace vorn::branding {

QString company()
{
    return QStringLiteral("Velorin");
}

QString brand()
{
    return QStringLiteral("velorin");
}

QString customization()
{
    return QStringLiteral("velorin");
}

QString vmsName()
{
    return QStringLiteral("Velorin");
}

QString desktopClientLauncherName()
{
    return QStringLiteral("velorin");
}

QString waypointInternalName()
{
    return QStringLiteral("waypoint");
}

QString installationRoot()
{
    const QString overridden = qEnvironmentVariable(kInstallationRootVariable);
    if (!overridden.isEmpty())
        return overridden;
    return QStringLiteral("/opt/Velorin/velorin");
}

} // namespace vorn::branding
