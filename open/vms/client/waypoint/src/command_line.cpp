#include "command_line.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QStandardPaths>

#include <vorn/branding.h>
#include <vorn/kit/ini_config.h>
#include <vorn/log_support/log.h>
#include <vorn/utils/file_system.h>
#include <vorn/utils/log/log_settings.h>
#include <vorn/utils/log/scope_of_function.h>

namespace vorn::vms::waypoint {

// The scope of the log messages that are tagged by function rather than by object.
struct CommandLineLogScope
{
};

namespace {

// The limits handed to the logging library: all files of the log together, and one file.
constexpr qint64 kLogVolumeSizeB = 52428800;
constexpr qint64 kLogFileSizeB = 10485760;

const QString kLogIniFileName = QStringLiteral("waypoint_log.ini");

void setUpLogging(const QString& levelText, const QString& fileText, const QString& dataDir)
{
    if (!levelText.isEmpty() && !fileText.isEmpty()) {
        initLogging(levelText, fileText);
        return;
    }
    const char* const iniFolder = vorn::kit::IniConfig::iniFilesDir();
    const QString iniFile = QDir(QString::fromUtf8(iniFolder ? iniFolder : "")).absoluteFilePath(kLogIniFileName);
    const QString logDir = QDir(dataDir).absolutePath() + QStringLiteral("/log");
    bool done = false;
    if (QFileInfo::exists(iniFile)) {
        done = vorn::utils::log::initializeFromConfigFile(iniFile, logDir, QCoreApplication::applicationName(),
                                                          QCoreApplication::applicationFilePath(), QString());
    }
    if (!done)
        initLogging(QStringLiteral("warning"), QDir(dataDir).absoluteFilePath(QStringLiteral("log/waypoint")));
}

} // namespace

StartupParameters parseCommandLineParameters()
{
    return parseCommandLineParameters(QCoreApplication::arguments());
}

StartupParameters parseCommandLineParameters(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption logLevelOption(QStringLiteral("log-level"), QStringLiteral("Log level."),
                                            QStringLiteral("level"));
    const QCommandLineOption logFileOption(QStringLiteral("log-file"), QStringLiteral("Log file."),
                                           QStringLiteral("name"));
    const QCommandLineOption quitOption(QStringLiteral("quit"), QStringLiteral("Kill client application"));
    const QCommandLineOption execOption(QStringLiteral("exec"), QStringLiteral("Go to background"));
    const QCommandLineOption protoOption(QStringLiteral("proto"),
                                         QStringLiteral("Launch latest client with this protocol."),
                                         QStringLiteral("protocol"));
    parser.addOption(logLevelOption);
    parser.addOption(logFileOption);
    parser.addOption(quitOption);
    parser.addOption(execOption);
    parser.addOption(protoOption);

    // Nothing can be reported yet: logging is set up from what the parser found.
    const bool parsed = parser.parse(arguments);

    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    vorn::utils::file_system::ensureDir(QDir(dataDir));

    setUpLogging(parser.value(logLevelOption), parser.value(logFileOption), dataDir);

    if (!parsed) {
        VN_LOG(5,
               vorn::utils::log::Tag(vorn::scopeOfFunction(typeid(CommandLineLogScope), "parseCommandLineParameters")),
               "Cmdline parsing error: %1", parser.errorText());
    }

    StartupParameters parameters;
    if (parser.isSet(quitOption))
        parameters.mode = StartupParameters::quit;
    else if (parser.isSet(execOption))
        parameters.mode = StartupParameters::exec;
    parameters.clientProtoVersion = parser.value(protoOption).toInt(); // 0 when missing or not a number
    parameters.clientArgs = removeLauncherOptions(arguments);
    return parameters;
}

QStringList removeLauncherOptions(const QStringList& arguments)
{
    QStringList clientArgs = arguments.mid(1);
    clientArgs.removeAll(QStringLiteral("--quit"));
    clientArgs.removeAll(QStringLiteral("--exec"));
    return clientArgs;
}

void initLogging(const QString& logLevel, const QString& logFile)
{
    vorn::utils::log::LoggerSettings entry;
    entry.level.parse(logLevel); // an unreadable text leaves the default level
    entry.maxVolumeSizeB = kLogVolumeSizeB;
    entry.maxFileSizeB = kLogFileSizeB;
    entry.logBaseName = logFile;
    vorn::utils::log::Settings settings;
    settings.loggers.push_back(entry);

    std::unique_ptr<vorn::utils::log::AbstractLogger> logger =
        vorn::utils::log::buildLogger(settings, vorn::branding::waypointInternalName(), QString(), {}, nullptr);
    if (!logger)
        return;
    const vorn::utils::log::Level level = logger->maxLevel();
    vorn::utils::log::setMainLogger(std::move(logger));
    // Log statements compare with the process-wide level before they ask the logger: follow the
    // logger's level, so a detailed level asked for on the command line is written.
    vorn::utils::log::setMaxLevel(level);
}

} // namespace vorn::vms::waypoint
