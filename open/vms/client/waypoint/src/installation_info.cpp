#include "installation_info.h"

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSettings>

#include <vorn/branding.h>
#include <vorn/build_info.h>

namespace vorn::vms::waypoint {

namespace {

const QString kBuildInfoFileName = QStringLiteral("build_info.txt");
const QString kPropertiesFileName = QStringLiteral("properties.ini");
const QString kLastExecutionKey = QStringLiteral("stats/lastExecutionDateTime");

} // namespace

qint64 systemClockMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

InstallationInfo::InstallationInfo(QString rootPath, bool removable, WallClock clock)
    : m_removable(removable)
    , m_rootPath(std::move(rootPath))
    , m_clock(clock ? std::move(clock) : WallClock(&systemClockMs))
{}

QString InstallationInfo::clientExecutableRelativePath()
{
    const QString name = vorn::branding::desktopClientLauncherName();
    if constexpr (vorn::build_info::isLinux())
        return QStringLiteral("bin/") + name;
    if constexpr (vorn::build_info::isMacOsX())
        return QStringLiteral("Contents/MacOS/") + name;
    return name;
}

InstallationInfo::BuildInfo InstallationInfo::parseBuildInfo(const QByteArray& text)
{
    BuildInfo result;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        // The key ends at the last equals sign of the line.
        const int separator = line.lastIndexOf(QLatin1Char('='));
        if (separator < 0)
            continue;
        const QString key = line.left(separator).trimmed();
        const QString value = line.mid(separator + 1).trimmed();
        if (key == QLatin1String("protoVersion")) {
            bool ok = false;
            const int number = value.toInt(&ok, 10);
            result.protoVersion = ok ? number : 0;
        } else if (key == QLatin1String("version")) {
            result.version = vorn::utils::SoftwareVersion(value);
        }
    }
    return result;
}

QSharedPointer<InstallationInfo> InstallationInfo::fromDirectory(const QString& path, bool removable, WallClock clock)
{
    QSharedPointer<InstallationInfo> info(new InstallationInfo(path, removable, std::move(clock)));
    const QDir dir(path);
    const QString executable = clientExecutableRelativePath();
    if (!QFileInfo::exists(dir.filePath(executable)))
        return {};
    info->m_executableRelativePath = executable;

    QFile buildInfo(dir.filePath(kBuildInfoFileName));
    if (buildInfo.exists() && buildInfo.open(QIODevice::ReadOnly)) {
        const BuildInfo parsed = parseBuildInfo(buildInfo.readAll());
        info->m_version = parsed.version;
        info->m_protoVersion = parsed.protoVersion;
    }

    const QString propertiesPath = dir.filePath(kPropertiesFileName);
    if (QFileInfo::exists(propertiesPath)) {
        const QSettings properties(propertiesPath, QSettings::IniFormat);
        info->m_lastExecutionTime.store(properties.value(kLastExecutionKey).toLongLong(), std::memory_order_release);
    }
    // A newly found installation counts as used at the moment it was first seen.
    if (info->lastExecutionTime() == 0)
        info->storeLastExecutionTime(info->m_clock());

    if (dir.exists(QStringLiteral("lib")))
        info->m_libraryRelativePath = QStringLiteral("lib");
    else if (dir.exists(QStringLiteral("../lib")))
        info->m_libraryRelativePath = QStringLiteral("../lib");
    return info;
}

QString InstallationInfo::executableFilePath() const
{
    if (m_executableRelativePath.isEmpty())
        return QString();
    return m_rootPath + QLatin1Char('/') + m_executableRelativePath;
}

QString InstallationInfo::executableDirPath() const
{
    const QString file = executableFilePath();
    return file.isEmpty() ? QString() : QFileInfo(file).absolutePath();
}

QString InstallationInfo::libraryPath() const
{
    if (m_libraryRelativePath.isEmpty())
        return QString();
    return m_rootPath + QLatin1Char('/') + m_libraryRelativePath;
}

bool InstallationInfo::exists() const
{
    return !m_executableRelativePath.isEmpty() && QFileInfo::exists(executableFilePath());
}

void InstallationInfo::updateLastExecutionTime()
{
    storeLastExecutionTime(m_clock());
}

void InstallationInfo::storeLastExecutionTime(qint64 time)
{
    m_lastExecutionTime.store(time, std::memory_order_release);
    QSettings properties(QDir(m_rootPath).absoluteFilePath(kPropertiesFileName), QSettings::IniFormat);
    properties.setValue(kLastExecutionKey, time);
    properties.sync();
}

} // namespace vorn::vms::waypoint
