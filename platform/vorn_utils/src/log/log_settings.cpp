#include <vorn/utils/log/log_settings.h>

#include <algorithm>
#include <cstdio>

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QSettings>

#include <vorn/utils/log/log.h>
#include <vorn/utils/log/rotating_file_logger.h>

namespace vorn::utils::log {

namespace {

struct LevelName
{
    const char* name;
    Level level;
};

constexpr LevelName kLevelNames[] = {
    {"none", Level::none}, {"always", Level::always}, {"error", Level::error},     {"warning", Level::warning},
    {"info", Level::info}, {"debug", Level::debug},   {"verbose", Level::verbose},
};

// Fans messages out to several loggers, each one asked on its own, and keeps to the tag filters.
class CompositeLogger : public AbstractLogger
{
public:
    CompositeLogger(std::vector<std::shared_ptr<AbstractLogger>> loggers, Filters filters)
        : AbstractLogger(highestLevel(loggers))
        , m_loggers(std::move(loggers))
        , m_filters(std::move(filters))
    {}

    bool isToBeLogged(Level level, const Tag& tag) const override
    {
        if (level > maxLevel() || !passesFilters(tag))
            return false;
        return std::any_of(m_loggers.begin(), m_loggers.end(),
                           [&](const auto& logger) { return logger->isToBeLogged(level, tag); });
    }

    void log(Level level, const Tag& tag, const QString& message) override
    {
        if (!passesFilters(tag))
            return;
        for (const auto& logger : m_loggers) {
            // A message demoted by the caller may exceed what it asked about; each logger still decides.
            if (level <= logger->maxLevel() || logger->isToBeLogged(level, tag))
                logger->log(level, tag, message);
        }
    }

private:
    static Level highestLevel(const std::vector<std::shared_ptr<AbstractLogger>>& loggers)
    {
        Level level = Level::none;
        for (const auto& logger : loggers)
            level = std::max(level, logger->maxLevel());
        return level;
    }

    bool passesFilters(const Tag& tag) const
    {
        if (m_filters.empty())
            return true;
        return std::any_of(m_filters.begin(), m_filters.end(),
                           [&](const QString& prefix) { return tag.toString().startsWith(prefix); });
    }

    const std::vector<std::shared_ptr<AbstractLogger>> m_loggers;
    const Filters m_filters;
};

} // namespace

bool LevelSettings::parse(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.size() == 1 && trimmed[0] >= QLatin1Char('0') && trimmed[0] <= QLatin1Char('6')) {
        primary = static_cast<Level>(trimmed[0].unicode() - '0');
        return true;
    }
    for (const LevelName& entry : kLevelNames) {
        if (trimmed.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
            primary = entry.level;
            return true;
        }
    }
    return false;
}

std::unique_ptr<AbstractLogger> buildLogger(const Settings& settings, const QString& applicationName,
                                            const QString& binaryPath, const Filters& filters,
                                            std::unique_ptr<AbstractLogger> writer)
{
    std::vector<std::shared_ptr<AbstractLogger>> loggers;
    if (writer) {
        Level level = Level::none;
        for (const LoggerSettings& entry : settings.loggers)
            level = std::max(level, entry.level.primary);
        writer->setMaxLevel(level);
        loggers.push_back(std::move(writer));
    } else {
        for (const LoggerSettings& entry : settings.loggers) {
            QString error;
            auto logger = RotatingFileLogger::open(entry.logBaseName, entry.level.primary, entry.maxFileSizeB,
                                                   entry.maxVolumeSizeB, &error);
            if (!logger) {
                std::fprintf(stderr, "%s: log file not written: %s\n", applicationName.toUtf8().constData(),
                             error.toUtf8().constData());
                continue;
            }
            logger->writeLine(QStringLiteral("---- %1 started logging (%2)\n")
                                  .arg(applicationName, binaryPath.isEmpty() ? QStringLiteral("-") : binaryPath)
                                  .toUtf8());
            loggers.push_back(std::move(logger));
        }
    }
    if (loggers.empty())
        return nullptr;
    return std::make_unique<CompositeLogger>(std::move(loggers), filters);
}

bool initializeFromConfigFile(const QString& iniFile, const QString& logDir, const QString& applicationName,
                              const QString& binaryPath, const QString& /*reserved*/)
{
    if (!QFileInfo(iniFile).isFile())
        return false;
    const QSettings ini(iniFile, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return false;

    LoggerSettings entry;
    if (ini.contains(QStringLiteral("logLevel")) &&
        !entry.level.parse(ini.value(QStringLiteral("logLevel")).toString()))
        return false;
    bool ok = true;
    if (ini.contains(QStringLiteral("maxFileSizeB")))
        entry.maxFileSizeB = ini.value(QStringLiteral("maxFileSizeB")).toLongLong(&ok);
    if (ok && ini.contains(QStringLiteral("maxVolumeSizeB")))
        entry.maxVolumeSizeB = ini.value(QStringLiteral("maxVolumeSizeB")).toLongLong(&ok);
    if (!ok || entry.maxFileSizeB <= 0 || entry.maxVolumeSizeB <= 0)
        return false;
    const QString fileName = ini.value(QStringLiteral("logFile"), applicationName).toString();
    entry.logBaseName = QDir(logDir).absoluteFilePath(fileName);

    Settings settings;
    settings.loggers.push_back(entry);
    std::unique_ptr<AbstractLogger> logger = buildLogger(settings, applicationName, binaryPath);
    if (!logger)
        return false;
    const Level level = logger->maxLevel();
    setMainLogger(std::move(logger));
    setMaxLevel(level);
    return true;
}

} // namespace vorn::utils::log
