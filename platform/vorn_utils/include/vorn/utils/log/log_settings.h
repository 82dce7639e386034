// Settings-driven set-up of logging: what a program's command line or logging ini file asks for, turned
// into the main logger.
//
//     vorn::utils::log::Settings settings;
//     settings.loggers.resize(1);
//     settings.loggers[0].level.parse("info");
//     settings.loggers[0].logBaseName = "/var/log/app/app";      // files app.log, app_000001.log, ...
//     vorn::utils::log::setMainLogger(vorn::utils::log::buildLogger(settings, "app", QString()));
//
// Each LoggerSettings entry becomes one rotating file logger (rotating_file_logger.h); several entries
// are written to together. The process-wide level filter (maxLevel()) is not changed by buildLogger:
// callers that want statements above the current filter raise it to the built logger's maxLevel().
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include <QtCore/QString>

#include <vorn/utils/log/abstract_logger.h>
#include <vorn/utils/log/log_level.h>

namespace vorn::utils::log {

struct LevelSettings
{
    Level primary = Level::info;

    // Reads a level text: a name ("none", "always", "error", "warning", "info", "debug", "verbose",
    // any letter case) or a digit 0 to 6. False for anything else, leaving the level as it was.
    bool parse(const QString& text);
};

struct LoggerSettings
{
    // Together the files of one logger stay about this size: when it is passed, the oldest rotated
    // files are removed.
    static constexpr std::int64_t kDefaultMaxVolumeSizeB = 500LL * 1024 * 1024;
    // A file that reaches this size is closed, kept under a numbered name, and a new one begun.
    static constexpr std::int64_t kDefaultMaxFileSizeB = 10LL * 1024 * 1024;

    LevelSettings level;
    std::int64_t maxVolumeSizeB = kDefaultMaxVolumeSizeB;
    std::int64_t maxFileSizeB = kDefaultMaxFileSizeB;
    // Path of the files without the ".log" suffix; relative to the current folder when not absolute.
    QString logBaseName;
};

struct Settings
{
    std::vector<LoggerSettings> loggers;
};

// Tag prefixes a logger keeps to; an empty set takes every tag.
using Filters = std::set<QString>;

// The logger the settings describe: one rotating file per entry (a file that cannot be opened is left
// out, with a line on stderr saying why), each limited to `filters`. When `writer` is given, messages go
// to it instead of files (tests, consoles). Null when no entry could be set up. `applicationName` and
// `binaryPath` are written in each file's first line, so a file tells what wrote it.
std::unique_ptr<AbstractLogger> buildLogger(const Settings& settings, const QString& applicationName,
                                            const QString& binaryPath, const Filters& filters = {},
                                            std::unique_ptr<AbstractLogger> writer = nullptr);

// Sets logging up from an ini file (QSettings INI format) and returns true when it installed a main
// logger. Keys, all optional:
//     logLevel=info           the level (default info); an unreadable text fails the set-up
//     logFile=waypoint        the base name, relative to `logDir` (default: the application name)
//     maxFileSizeB=10485760   maxVolumeSizeB=524288000
// False, with nothing changed, when the file is missing or not readable as INI. On success the
// process-wide level filter becomes the logger's level. `reserved` is accepted for callers that pass
// an extra text and is unused.
bool initializeFromConfigFile(const QString& iniFile, const QString& logDir, const QString& applicationName,
                              const QString& binaryPath, const QString& reserved = QString());

} // namespace vorn::utils::log
