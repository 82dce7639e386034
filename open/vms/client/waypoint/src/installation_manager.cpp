#include "installation_manager.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDirIterator>
#include <QtCore/QFileInfo>
#include <QtCore/QRegularExpression>
#include <QtCore/QStandardPaths>
#include <QtCore/QStringList>

#include <vorn/branding.h>
#include <vorn/build_info.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/utils/file_system/reserve_space.h>
#include <vorn/utils/scope_guard.h>
#include <vorn/zip/extractor.h>

namespace vorn::vms::waypoint {

using vorn::log_support::peerLogText;
using vorn::utils::SoftwareVersion;

namespace {

const QString kInstallationsPathPattern = QStringLiteral("/%1/%2/client/%3/");
const QString kInstallationsPathBase = QStringLiteral("AppData/Local");
const QString kFreeSpaceProbeFileName = QStringLiteral("dummytest.tmp");
// A package is unpacked into "<version folder>.partial" and moved into place when complete. The name
// never matches the version folder pattern, so no scan takes a half-unpacked client for a good one.
const QString kStagingSuffix = QStringLiteral(".partial");

// Versions below this one live in folders named major.minor.
const SoftwareVersion kFullFolderNameVersion(2, 2, 0, 0);

const QRegularExpression& versionFolderPattern()
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("\\d+\\.\\d+(?:\\.\\d+\\.\\d+){0,1}")));
    return pattern;
}

QString versionsText(const QList<SoftwareVersion>& versions)
{
    QStringList texts;
    for (const SoftwareVersion& version : versions)
        texts.append(version.toString());
    return QStringLiteral("{ ") + texts.join(QStringLiteral(", ")) + QStringLiteral(" }");
}

QString macBundleName()
{
    return vorn::branding::vmsName() + QStringLiteral(".app");
}

bool sameMajorMinor(const SoftwareVersion& a, const SoftwareVersion& b)
{
    return a.major() == b.major() && a.minor() == b.minor();
}

} // namespace

InstallationManager::InstallationManager(QObject* parent)
    : InstallationManager(Environment(), parent)
{}

InstallationManager::InstallationManager(Environment environment, QObject* parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_installationsDir(defaultInstallationsDir())
{
    updateInstalledVersionsInformation();
    removeUnusedVersions();
}

InstallationManager::~InstallationManager()
{
    waitForCleanup();
}

QString InstallationManager::defaultInstallationsDir()
{
    const QString home = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    if (home.isEmpty())
        return QString();
    return home + kInstallationsPathPattern.arg(kInstallationsPathBase, vorn::branding::company(),
                                                vorn::branding::customization());
}

QString InstallationManager::installationsDirPath() const
{
    const std::lock_guard lock(m_mutex);
    return m_installationsDir.absolutePath();
}

void InstallationManager::updateInstalledVersionsInformation()
{
    VN_LOG(6, this, "Entered update installed versions");
    const WallClock& clock = m_environment.clock;

    InstallationsMap installations;
    const QString programDir =
        m_environment.programDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_environment.programDir;
    const QString shippedDir =
        vorn::build_info::isLinux() ? QDir::cleanPath(programDir + QStringLiteral("/..")) : programDir;
    if (const auto shipped = InstallationInfo::fromDirectory(shippedDir, /*removable*/ false, clock)) {
        if (shipped->version().isNull())
            shipped->setVersion(SoftwareVersion(vorn::build_info::vmsVersion()));
        installations.insert(shipped->version(), shipped);
    } else {
        VN_LOG(5, this, "Can't find client binary in %1", programDir);
    }

    scanInstallationsDir(QDir(installationsDirPath()), &installations);

    const QString compatibilityRoot = vorn::branding::installationRoot();
    if constexpr (vorn::build_info::isMacOsX())
        addMacBundleInstallation(compatibilityRoot, QString(), &installations);
    else
        scanInstallationsDir(QDir(compatibilityRoot + QStringLiteral("/client")), &installations);

    if (installations.isEmpty())
        VN_LOG(5, this, "No compatibility versions found");
    else
        VN_LOG(5, this, "Compatibility versions: %1 found", versionsText(installations.keys()));

    {
        const std::lock_guard lock(m_mutex);
        m_installations.swap(installations);
    }
    updateLegacyVersionMarkers();
}

void InstallationManager::scanInstallationsDir(const QDir& root, InstallationsMap* installations) const
{
    const QStringList names = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& name : names) {
        if (!versionFolderPattern().match(name).hasMatch())
            continue;
        // A name of digits and dots past the range of a version number is no version either.
        const SoftwareVersion version(name);
        if (version.isNull())
            continue;
        QString folder = root.absoluteFilePath(name);
        if constexpr (vorn::build_info::isMacOsX())
            folder += QLatin1Char('/') + macBundleName();
        if (const auto info = InstallationInfo::fromDirectory(folder, /*removable*/ true, m_environment.clock)) {
            // The folder's name overrides "build_info.txt".
            info->setVersion(version);
            installations->insert(version, info);
        }
    }
}

void InstallationManager::addMacBundleInstallation(const QString& root, const QString& version,
                                                   InstallationsMap* installations) const
{
    const QString folder = QDir(root).absoluteFilePath(macBundleName());
    if (const auto info = InstallationInfo::fromDirectory(folder, /*removable*/ true, m_environment.clock)) {
        info->setVersion(SoftwareVersion(version));
        installations->insert(info->version(), info);
    }
}

QSharedPointer<InstallationInfo> InstallationManager::installationForVersion(const SoftwareVersion& version,
                                                                             bool strict)
{
    {
        const std::lock_guard lock(m_mutex);
        if (const auto it = m_installations.constFind(version); it != m_installations.cend())
            return it.value();
    }
    updateInstalledVersionsInformation();

    const std::lock_guard lock(m_mutex);
    if (const auto it = m_installations.constFind(version); it != m_installations.cend())
        return it.value();
    if (strict)
        return {};
    const SoftwareVersion release(version.major(), version.minor(), 0, 0);
    if (const auto it = m_installations.constFind(release); it != m_installations.cend())
        return it.value();
    for (auto it = m_installations.cend(); it != m_installations.cbegin();) {
        --it;
        if (sameMajorMinor(it.key(), version))
            return it.value();
    }
    return {};
}

SoftwareVersion InstallationManager::nearestCompatibleVersion(const SoftwareVersion& version) const
{
    const std::lock_guard lock(m_mutex);
    if (m_installations.isEmpty())
        return {};
    if (m_installations.contains(version))
        return version;
    for (auto it = m_installations.cend(); it != m_installations.cbegin();) {
        --it;
        const SoftwareVersion& key = it.key();
        if (std::make_pair(key.major(), key.minor()) > std::make_pair(version.major(), version.minor()))
            continue;
        return sameMajorMinor(key, version) ? key : SoftwareVersion();
    }
    return {};
}

SoftwareVersion InstallationManager::latestVersion(int protoVersion) const
{
    const std::lock_guard lock(m_mutex);
    if (m_installations.isEmpty())
        return {};
    if (protoVersion == 0)
        return m_installations.lastKey();
    for (auto it = m_installations.cend(); it != m_installations.cbegin();) {
        --it;
        if (it.value()->protoVersion() == protoVersion)
            return it.key();
    }
    return {};
}

bool InstallationManager::isVersionInstalled(const SoftwareVersion& version, bool strict)
{
    const auto info = installationForVersion(version, strict);
    if (!info)
        return false;
    if (info->exists())
        return true;
    const std::lock_guard lock(m_mutex);
    // Only this record goes: a rescan may have put a good one in its place meanwhile.
    if (const auto it = m_installations.find(info->version()); it != m_installations.end() && it.value() == info)
        m_installations.erase(it);
    return false;
}

QList<SoftwareVersion> InstallationManager::installedVersions() const
{
    const std::lock_guard lock(m_mutex);
    return m_installations.keys();
}

int InstallationManager::count() const
{
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(m_installations.size());
}

QString InstallationManager::installationDirForVersion(const SoftwareVersion& version) const
{
    const QString name = version < kFullFolderNameVersion ? version.toString(SoftwareVersion::MinorFormat)
                                                          : version.toString(SoftwareVersion::FullFormat);
    const std::lock_guard lock(m_mutex);
    return m_installationsDir.absoluteFilePath(name);
}

bool InstallationManager::checkFreeSpace(const QString& dir, qint64 size) const
{
    QFile probe(QDir(dir).filePath(kFreeSpaceProbeFileName));
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    const bool reserved = m_environment.reserveSpace ? m_environment.reserveSpace(probe, size)
                                                     : vorn::utils::file_system::reserveSpace(probe, size);
    probe.close();
    probe.remove();
    return reserved;
}

api::ResultType InstallationManager::installZip(const SoftwareVersion& version, const QString& zipFileName)
{
    // The zip file name is a pipe client's text: its log lines quote it, so that it cannot start a line.
    VN_LOG(5, this, "Installing update %1 from %2", version.toString(), peerLogText(zipFileName));

    // The folder is claimed first: a busy answer must not touch the running installation's progress.
    const QString targetDir = installationDirForVersion(version);
    {
        const std::lock_guard lock(m_mutex);
        // Versions below 2.2 of one major.minor share a folder: both would clear and fill it at once.
        if (m_foldersBeingInstalled.contains(targetDir)) {
            VN_LOG(2, this, "Cannot install %1 from %2: %3 is being installed already", version.toString(),
                   peerLogText(zipFileName), targetDir);
            return api::ResultType::busy;
        }
        m_foldersBeingInstalled.insert(targetDir);
    }
    const vorn::utils::ScopeGuard installed([this, targetDir] {
        const std::lock_guard lock(m_mutex);
        m_foldersBeingInstalled.remove(targetDir);
    });
    m_totalUnpackedSize.store(0);

    if (installationForVersion(version, /*strict*/ true)) {
        VN_LOG(4, this, "Version %1 is already installed", version.toString());
        return api::ResultType::alreadyInstalled;
    }

    const QString stagingDir = targetDir + kStagingSuffix;
    if (QDir(targetDir).exists())
        QDir(targetDir).removeRecursively();
    if (QDir(stagingDir).exists())
        QDir(stagingDir).removeRecursively();
    if (!QDir().mkpath(stagingDir)) {
        VN_LOG(2, this, "Cannot create directory %1", stagingDir);
        return api::ResultType::ioError;
    }
    vorn::utils::ScopeGuard removeStaging([stagingDir] { QDir(stagingDir).removeRecursively(); });

    const auto extractor = std::make_shared<vorn::zip::Extractor>(zipFileName, stagingDir);
    const qint64 unpackedSize = extractor->estimateUnpackedSize();
    if (!checkFreeSpace(stagingDir, unpackedSize)) {
        VN_LOG(2, this, "Not enough space to install %1.", peerLogText(zipFileName));
        return api::ResultType::notEnoughSpace;
    }

    m_totalUnpackedSize.store(unpackedSize);
    {
        // The replaced extractor may still be unpacking for another installation, which owns it too.
        const std::lock_guard lock(m_mutex);
        m_extractor = extractor;
    }

    const vorn::zip::Extractor::Error error = extractor->extractZip();
    if (error != vorn::zip::Extractor::Error::ok) {
        VN_LOG(2, this, "Cannot extract zip %1 to %2, errorCode = %3", peerLogText(zipFileName), targetDir,
               static_cast<int>(error));
        return api::ResultType::ioError;
    }

    QString installationFolder = targetDir;
    QString stagedFolder = stagingDir;
    if constexpr (vorn::build_info::isMacOsX()) {
        installationFolder += QLatin1Char('/') + macBundleName();
        stagedFolder += QLatin1Char('/') + macBundleName();
    }
    const auto invalidPackage = [&] {
        VN_LOG(2, this, "Update package %1 (%2) is invalid", version.toString(), peerLogText(zipFileName));
        return api::ResultType::brokenPackage;
    };
    if (!QFileInfo::exists(QDir(stagedFolder).filePath(InstallationInfo::clientExecutableRelativePath())))
        return invalidPackage();

    if (!QDir().rename(stagingDir, targetDir)) {
        VN_LOG(2, this, "Cannot move %1 to %2", stagingDir, targetDir);
        return api::ResultType::ioError;
    }
    removeStaging.disarm();

    const auto info = InstallationInfo::fromDirectory(installationFolder, /*removable*/ true, m_environment.clock);
    if (!info || !info->exists()) {
        QDir(targetDir).removeRecursively();
        return invalidPackage();
    }
    info->setVersion(version);
    QFile::remove(QDir(targetDir).filePath(QStringLiteral("update.json")));
    QFile::remove(QDir(targetDir).filePath(QStringLiteral("package.json")));
    {
        const std::lock_guard lock(m_mutex);
        m_installations.insert(version, info);
    }
    removeUnusedVersions();
    updateLegacyVersionMarkers();
    VN_LOG(4, this, "Version %1 has been installed successfully to %2", version.toString(), targetDir);
    return api::ResultType::ok;
}

qint64 InstallationManager::installationProgress() const
{
    const std::lock_guard lock(m_mutex);
    return m_extractor ? m_extractor->bytesExtracted() : 0;
}

qint64 InstallationManager::totalUnpackedSize() const
{
    return m_totalUnpackedSize.load();
}

void InstallationManager::removeUnusedVersions()
{
    if (m_cleanupRunning.exchange(true)) {
        VN_LOG(4, this, "Previous cleanup has not finished yet. Skipping...");
        return;
    }
    VN_LOG(4, this, "Starting cleanup procedure...");

    const qint64 now = m_environment.clock ? m_environment.clock() : systemClockMs();
    const auto unusedFor = [now](const InstallationInfo& info, qint64 limit) {
        return info.lastExecutionTime() < now - limit;
    };
    SoftwareVersion newest;
    std::vector<CleanupCandidate> candidates;
    {
        const std::lock_guard lock(m_mutex);
        QMap<int, QSharedPointer<InstallationInfo>> newestOfProtocol;
        for (auto it = m_installations.cbegin(); it != m_installations.cend(); ++it) {
            const QSharedPointer<InstallationInfo>& info = it.value();
            if (newest < info->version())
                newest = info->version();
            if (info->isRemovable() && unusedFor(*info, kUnusedLimitMs)) {
                candidates.push_back({info->version(), info, info->lastExecutionTime()});
                continue;
            }
            if (info->protoVersion() == 0)
                continue;
            const auto older = newestOfProtocol.constFind(info->protoVersion());
            if (older != newestOfProtocol.cend() && older.value()->isRemovable() &&
                unusedFor(*older.value(), kUnusedLimitWithNewerProtocolMs)) {
                const QSharedPointer<InstallationInfo>& olderInfo = older.value();
                candidates.push_back({olderInfo->version(), olderInfo, olderInfo->lastExecutionTime()});
            }
            newestOfProtocol.insert(info->protoVersion(), info);
        }
    }
    // The highest installed version is never removed.
    std::erase_if(candidates, [&newest](const CleanupCandidate& candidate) { return candidate.version == newest; });

    if (candidates.empty()) {
        m_cleanupRunning.store(false);
        VN_LOG(4, this, "Cleanup finished. Nothing was removed.");
        return;
    }

    auto worker = std::async(std::launch::async, [this, candidates = std::move(candidates)]() mutable {
        runCleanup(std::move(candidates));
    });
    // Replacing the future of an earlier clean-up waits for its worker, which has finished or is about to.
    const std::lock_guard lock(m_cleanupResultMutex);
    m_cleanupResult = std::move(worker);
}

void InstallationManager::runCleanup(std::vector<CleanupCandidate> candidates)
{
    if (m_environment.beforeCleanupRemovals)
        m_environment.beforeCleanupRemovals();
    for (const CleanupCandidate& candidate : candidates) {
        if (!stillUnused(candidate)) {
            VN_LOG(4, this, "Keeping version %1: it was used or installed after the cleanup chose it",
                   candidate.version.toString());
            continue;
        }
        removeInstallation(candidate.version);
    }
    VN_LOG(4, this, "Cleanup finished. Removed %1 versions.", static_cast<int>(candidates.size()));
    m_cleanupRunning.store(false);
}

bool InstallationManager::stillUnused(const CleanupCandidate& candidate) const
{
    const QString folder = installationDirForVersion(candidate.version);
    const std::lock_guard lock(m_mutex);
    if (m_foldersBeingInstalled.contains(folder))
        return false;
    // A start stamps a new time on the record; a rescan puts a record of the same folder in its place,
    // read back with the time of the last start.
    if (candidate.record->lastExecutionTime() != candidate.lastExecutionTime)
        return false;
    const auto it = m_installations.constFind(candidate.version);
    return it == m_installations.cend() || it.value()->lastExecutionTime() == candidate.lastExecutionTime;
}

void InstallationManager::removeInstallation(const SoftwareVersion& version)
{
    VN_LOG(4, this, "Removing version %1", version.toString());
    const QString folder = installationDirForVersion(version);
    if (QDir(folder).exists())
        QDir(folder).removeRecursively();
    const std::lock_guard lock(m_mutex);
    m_installations.remove(version);
}

void InstallationManager::waitForCleanup()
{
    std::future<void> result;
    {
        const std::lock_guard lock(m_cleanupResultMutex);
        result = std::move(m_cleanupResult);
    }
    if (result.valid())
        result.wait();
}

void InstallationManager::updateLegacyVersionMarkers()
{
    SoftwareVersion newest;
    QList<SoftwareVersion> versions;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_installations.isEmpty())
            newest = m_installations.lastKey();
        versions = m_installations.keys();
    }
    for (const SoftwareVersion& version : versions) {
        if (version != newest)
            syncLegacyVersionMarkers(version);
    }
}

void InstallationManager::syncLegacyVersionMarkers(const SoftwareVersion& version)
{
    if (!(version < kFullFolderNameVersion))
        return;
    const auto info = installationForVersion(version, /*strict*/ false);
    if (!info)
        return;

    // The folder above the executable's folder: the folder of the installations on Windows, the
    // installation folder itself on Linux (its executable is in "bin/").
    const QDir markerDir(QDir::cleanPath(info->executableDirPath() + QStringLiteral("/..")));
    QSet<QString> staleMarkers;
    for (const QString& name : markerDir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        staleMarkers.insert(name);
    staleMarkers.remove(version.toString(SoftwareVersion::MinorFormat));

    const QList<SoftwareVersion> versions = installedVersions();
    for (const SoftwareVersion& other : versions) {
        if (other == version)
            continue;
        const QString name = other.toString(SoftwareVersion::MinorFormat);
        if (staleMarkers.remove(name))
            continue;
        if (!markerDir.exists(name)) {
            QFile marker(markerDir.filePath(name));
            if (marker.open(QIODevice::WriteOnly))
                marker.close();
        }
    }
    for (const QString& name : staleMarkers) {
        if (versionFolderPattern().match(name).hasMatch())
            QFile::remove(markerDir.filePath(name));
    }
}

} // namespace vorn::vms::waypoint
