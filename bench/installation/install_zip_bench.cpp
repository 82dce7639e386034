// Installing a client version from its zip package (InstallationManager::installZip: the lookup, the
// free-space reservation, the extraction with its checks, the move into place and the record) against
// `unzip -q` of the same package into an empty folder, run as its own process, in the same run. The
// package holds a client tree of about 200 MB: a few thousand small files (libraries, resources, QML,
// translations) and a few large ones, about as compressible as real binaries. Goal: at most 1.25x.
//
// Every iteration installs into an empty per-user root (the folder goes again with the timer paused).
// The times are wall times: the baseline runs in a process of its own, and both wait on the disk.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>

#include <vorn/testing/zip_builder.h>
#include <vorn/utils/log/log.h>

#include "bench_support.h"
#include "installation_manager.h"

extern char** environ;

namespace {

using vorn::bench::scaled;
using vorn::vms::waypoint::InstallationManager;

// Bytes of a file: runs of pseudo-random bytes and runs of repeated text, so that deflate shrinks the
// tree to about half, as it does real binaries.
std::string fileContent(std::uint64_t seed, std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    const std::string text = "QQmlEngine::importPlugin velorin::client::desktop::MainWindow ";
    for (std::size_t offset = 0; offset < size; offset += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const bool random = ((offset / 512) % 2) == 0;
        for (std::size_t i = 0; i < 8 && offset + i < size; ++i) {
            bytes[offset + i] = random ? static_cast<char>(state >> (8 * i)) : text[(offset + i) % text.size()];
        }
    }
    return bytes;
}

// The package, written once per program run.
class ClientPackage
{
public:
    ClientPackage()
    {
        const int smallFiles = scaled(3000, 40);
        const std::size_t largeFileSize = scaled<std::size_t>(34 << 20, 1 << 20);
        vorn::testing::ZipBuilder builder;
        builder.addFile("bin/velorin", fileContent(1, 256 * 1024), 0755);
        builder.addFile("build_info.txt", "version=5.1.4.38659\nprotoVersion=1234\n");
        for (int i = 0; i < smallFiles; ++i) {
            const std::string folder = "share/module" + std::to_string(i % 60) + "/";
            const std::size_t size = 1024 + static_cast<std::size_t>((i * 7919) % 40960);
            builder.addFile(folder + "file" + std::to_string(i) + ".qml", fileContent(100 + i, size));
        }
        for (int i = 0; i < 4; ++i) {
            const std::string name = "lib/libvelorin_part" + std::to_string(i) + ".so.5";
            builder.addFile(name, fileContent(10 + i, largeFileSize), 0755);
            builder.addSymlink("lib/libvelorin_part" + std::to_string(i) + ".so",
                               "libvelorin_part" + std::to_string(i) + ".so.5");
        }
        m_unpackedSize = builder.unpackedSize();
        if (!m_dir.isValid() || !builder.write(path()))
            std::abort();
    }

    QString path() const { return m_dir.filePath("client.zip"); }
    qint64 unpackedSize() const { return m_unpackedSize; }

private:
    QTemporaryDir m_dir;
    qint64 m_unpackedSize = 0;
};

const ClientPackage& package()
{
    static const ClientPackage instance;
    return instance;
}

// A home folder and roots of its own for the launcher's installation manager.
class LauncherWorld
{
public:
    LauncherWorld()
    {
        if (!m_dir.isValid())
            std::abort();
        qputenv("HOME", m_dir.filePath("home").toUtf8());
        qputenv("VORN_INSTALLATION_ROOT", m_dir.filePath("opt").toUtf8());
        QDir().mkpath(m_dir.filePath("program/bin"));
        vorn::utils::log::setMaxLevel(vorn::utils::log::Level::warning);
    }

    InstallationManager::Environment environment() const
    {
        InstallationManager::Environment environment;
        environment.programDir = m_dir.filePath("program/bin");
        return environment;
    }

    QString scratch(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

void installZip(benchmark::State& state)
{
    const LauncherWorld world;
    const ClientPackage& zip = package();
    InstallationManager manager(world.environment());
    const vorn::utils::SoftwareVersion version(5, 1, 4, 38659);
    for (auto _ : state) {
        if (manager.installZip(version, zip.path()) != vorn::vms::waypoint::api::ResultType::ok) {
            state.SkipWithError("installZip failed");
            break;
        }
        state.PauseTiming();
        manager.waitForCleanup();
        manager.removeInstallation(version);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * zip.unpackedSize());
}

void unzipQuiet(benchmark::State& state)
{
    const LauncherWorld world;
    const ClientPackage& zip = package();
    const std::string target = world.scratch("unzipped").toStdString();
    const std::string zipPath = zip.path().toStdString();
    for (auto _ : state) {
        char* const argv[] = {const_cast<char*>("unzip"),         const_cast<char*>("-q"),
                              const_cast<char*>(zipPath.c_str()), const_cast<char*>("-d"),
                              const_cast<char*>(target.c_str()),  nullptr};
        pid_t pid = 0;
        int status = 0;
        if (::posix_spawnp(&pid, "unzip", nullptr, nullptr, argv, environ) != 0 || ::waitpid(pid, &status, 0) != pid ||
            !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("unzip failed");
            break;
        }
        state.PauseTiming();
        QDir(QString::fromStdString(target)).removeRecursively();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * zip.unpackedSize());
}

const bool kRegistered = [] {
    vorn::bench::registerComparison({"Zip installation",
                                     "installZip of a 200 MB client tree (3000 small files, 4 large)",
                                     "unzip -q of the same package into an empty folder"},
                                    installZip, unzipQuiet, vorn::bench::TimeBase::wall);
    return true;
}();

} // namespace
