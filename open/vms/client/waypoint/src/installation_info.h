// vorn::vms::waypoint::InstallationInfo: what the launcher knows of one installed client version, read
// from its installation folder.
//
// An installation folder holds the client executable (without it the folder is no installation), and
// may hold "build_info.txt" (lines "key=value"; the launcher reads "version" and "protoVersion" and
// never writes the file) and "properties.ini" (the last start, "stats/lastExecutionDateTime", in
// milliseconds since 1970, written by the launcher).
//
//     const QSharedPointer<InstallationInfo> info = InstallationInfo::fromDirectory(folder, true);
//     if (!info)
//         return;                              // no client executable in the folder
//     info->setVersion(versionFromFolderName); // before the record is shared
//     ...
//     info->updateLastExecutionTime();         // after the client was started
//
// Rules: records are always held by QSharedPointer and shared between the installation manager's map
// and its callers. The version is set only before a record is shared; the last execution time may be
// stamped by one thread while another reads it (the clean-up), so it is an atomic value. Everything
// else is fixed when the record is read.
#pragma once

#include <atomic>
#include <functional>

#include <QtCore/QByteArray>
#include <QtCore/QSharedPointer>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <vorn/utils/software_version.h>

namespace vorn::vms::waypoint {

// The current time in milliseconds since 1970-01-01 00:00 UTC. Tests hand in a clock of their own.
using WallClock = std::function<qint64()>;

/** The system clock, in milliseconds since 1970. */
qint64 systemClockMs();

class InstallationInfo
{
public:
    // What "build_info.txt" says.
    struct BuildInfo
    {
        vorn::utils::SoftwareVersion version;
        int protoVersion = 0;
    };

    /** The installation in `path`, or null when the folder holds no client executable. */
    static QSharedPointer<InstallationInfo> fromDirectory(const QString& path, bool removable,
                                                          WallClock clock = &systemClockMs);

    /** The client executable's path inside an installation folder ("bin/velorin" on Linux). */
    static QString clientExecutableRelativePath();

    /** The keys "version" and "protoVersion" of a "build_info.txt" text; later lines win. */
    static BuildInfo parseBuildInfo(const QByteArray& text);

    vorn::utils::SoftwareVersion version() const { return m_version; }
    void setVersion(const vorn::utils::SoftwareVersion& version) { m_version = version; }
    int protoVersion() const { return m_protoVersion; }
    bool isRemovable() const { return m_removable; }
    QString rootPath() const { return m_rootPath; }
    QString executableRelativePath() const { return m_executableRelativePath; }
    QString libraryRelativePath() const { return m_libraryRelativePath; }
    qint64 lastExecutionTime() const { return m_lastExecutionTime.load(std::memory_order_acquire); }

    /** rootPath/executableRelativePath; empty without an executable. */
    QString executableFilePath() const;
    /** The absolute folder of the executable. */
    QString executableDirPath() const;
    /** rootPath/libraryRelativePath; empty without a library folder. */
    QString libraryPath() const;
    /** True when the executable file is on disk. */
    bool exists() const;

    /** Stamps now as the last start, in the record and in "properties.ini". */
    void updateLastExecutionTime();

private:
    InstallationInfo(QString rootPath, bool removable, WallClock clock);
    void storeLastExecutionTime(qint64 time);

    vorn::utils::SoftwareVersion m_version;
    int m_protoVersion = 0;
    bool m_removable = false;
    QString m_rootPath;
    QString m_executableRelativePath;
    QString m_libraryRelativePath;
    std::atomic<qint64> m_lastExecutionTime{0};
    const WallClock m_clock;
};

} // namespace vorn::vms::waypoint
