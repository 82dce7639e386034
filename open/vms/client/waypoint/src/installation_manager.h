// vorn::vms::waypoint::InstallationManager: the launcher's record of the client versions installed side
// by side, the lookups that choose the installation to start, the installation of a version from a zip
// package, and the clean-up of versions that have not been started for a long time.
//
// Installations come from three places, read in this order (a later one replaces an earlier one of the
// same version): the client shipped beside the launcher (never removed), the per-user installations
// root <home>/AppData/Local/<company>/client/<customization>/ (where installZip() installs), and the
// folder "client" of the branding's installation root (the compatibility versions).
//
//     InstallationManager manager;             // scans, then starts a clean-up
//     if (const auto info = manager.installationForVersion(version, /*strict*/ false))
//         start(info->executableFilePath());
//     const api::ResultType result = manager.installZip(version, zipPath);  // blocks while it unpacks
//
// Rules:
// - Every operation may be called from any thread. One mutex guards the version map, the root, the
//   current extractor and the set of folders being installed; it is never held while files are
//   scanned, extracted or removed, and never while logging or calling another operation.
// - Records are shared: a record handed out stays valid after a rescan or a clean-up drops it.
// - installZip() unpacks into a staging folder beside the version's folder and moves it into place
//   only when the package is complete, so a rescan never takes a half-unpacked client for a good one.
//   Two installations into one folder never run at once: the later one answers busy.
// - The current extractor is shared: progress queries read the latest installation's, and an
//   installation keeps its own extractor alive while it runs even when a later one replaced it.
// - At most one clean-up decides or removes at a time; its removals run on a thread of their own and
//   the destructor waits for them. Just before a version is removed, it is checked again: a version
//   started (or being installed) since the decision is kept.
#pragma once

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QSet>
#include <QtCore/QSharedPointer>
#include <QtCore/QString>

#include <vorn/utils/software_version.h>
#include <vorn/vms/waypoint/api/result_type.h>

#include "installation_info.h"

namespace vorn::zip {
class Extractor;
}

namespace vorn::vms::waypoint {

class InstallationManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int count READ count)

public:
    // What the manager takes from its surroundings; an empty member means the real thing. Tests
    // replace them.
    struct Environment
    {
        // Now, for the last execution times and the clean-up's limits.
        WallClock clock;
        // The launcher's program folder, beside which the shipped client lives.
        QString programDir;
        // The free-space reservation of an installation (vorn::utils::file_system::reserveSpace).
        std::function<bool(QFile& file, qint64 size)> reserveSpace;
        // Called on the clean-up's worker after the decision and before the first removal.
        std::function<void()> beforeCleanupRemovals;
    };

    // A removable installation not started for this long is removed (unless it is the newest).
    static constexpr qint64 kUnusedLimitMs = 15552000000; // 180 days
    // ... and for this long when a newer version of its protocol version is installed.
    static constexpr qint64 kUnusedLimitWithNewerProtocolMs = 2592000000; // 30 days

    explicit InstallationManager(QObject* parent = nullptr);
    explicit InstallationManager(Environment environment, QObject* parent = nullptr);
    ~InstallationManager() override;

    /** <home>/AppData/Local/<company>/client/<customization>/, or empty without a home folder. */
    static QString defaultInstallationsDir();

    /** Rebuilds the version map from the disk. */
    void updateInstalledVersionsInformation();

    /**
     * The installation of `version` (rescanning once when it is not known); when not strict and there
     * is none, the one of major.minor.0.0, else the highest of the same major and minor.
     */
    QSharedPointer<InstallationInfo> installationForVersion(const vorn::utils::SoftwareVersion& version, bool strict);
    /** `version` when installed, else the highest installed version of its major and minor; or null. */
    vorn::utils::SoftwareVersion nearestCompatibleVersion(const vorn::utils::SoftwareVersion& version) const;
    /** The highest installed version, of `protoVersion` when it is not 0; or null. */
    vorn::utils::SoftwareVersion latestVersion(int protoVersion = 0) const;
    /** The installation exists and its executable is on disk (an entry whose executable is gone is dropped). */
    bool isVersionInstalled(const vorn::utils::SoftwareVersion& version, bool strict);
    /** Installed versions, ascending. */
    QList<vorn::utils::SoftwareVersion> installedVersions() const;
    int count() const;

    /** Installs `version` from the zip package; blocks until it is done. */
    api::ResultType installZip(const vorn::utils::SoftwareVersion& version, const QString& zipFileName);
    /** Bytes unpacked so far by the latest installation (0 before the first). */
    qint64 installationProgress() const;
    /** The size estimate of the latest installation's package. */
    qint64 totalUnpackedSize() const;
    /** The absolute folder of `version` under the installations root. */
    QString installationDirForVersion(const vorn::utils::SoftwareVersion& version) const;
    /** True when `size` bytes could be reserved in a probe file in `dir`. */
    bool checkFreeSpace(const QString& dir, qint64 size) const;

    /** Starts a clean-up of unused versions unless one runs; returns at once. */
    void removeUnusedVersions();
    /** Removes the version's folder under the installations root and its map entry. */
    void removeInstallation(const vorn::utils::SoftwareVersion& version);
    /** Waits until the clean-up started last has removed what it chose. */
    void waitForCleanup();

    /** Keeps the empty marker files beside installations of versions below 2.2. */
    void updateLegacyVersionMarkers();
    void syncLegacyVersionMarkers(const vorn::utils::SoftwareVersion& version);

private:
    using InstallationsMap = QMap<vorn::utils::SoftwareVersion, QSharedPointer<InstallationInfo>>;

    // A version chosen by a clean-up, with the record and last start it was chosen by.
    struct CleanupCandidate
    {
        vorn::utils::SoftwareVersion version;
        QSharedPointer<InstallationInfo> record;
        qint64 lastExecutionTime = 0;
    };

    void scanInstallationsDir(const QDir& root, InstallationsMap* installations) const;
    void addMacBundleInstallation(const QString& root, const QString& version, InstallationsMap* installations) const;
    QString installationsDirPath() const;
    void runCleanup(std::vector<CleanupCandidate> candidates);
    bool stillUnused(const CleanupCandidate& candidate) const;
    void removeFolderOf(const vorn::utils::SoftwareVersion& version);

    const Environment m_environment;

    // All guarded by m_mutex.
    InstallationsMap m_installations;
    QDir m_installationsDir;
    std::shared_ptr<vorn::zip::Extractor> m_extractor;
    QSet<QString> m_foldersBeingInstalled;
    mutable std::mutex m_mutex;

    std::atomic<qint64> m_totalUnpackedSize{0};

    std::atomic<bool> m_cleanupRunning{false};
    // Guards m_cleanupResult: the worker of the last clean-up that had something to remove.
    std::mutex m_cleanupResultMutex;
    std::future<void> m_cleanupResult;
};

} // namespace vorn::vms::waypoint
