#include <vorn/utils/log/log_settings.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <vorn/utils/log/capturing_logger.h>
#include <vorn/utils/log/log.h>
#include <vorn/utils/log/rotating_file_logger.h>

#include <gtest/gtest.h>

namespace vorn::utils::log {
namespace {

// Puts the main logger and the level filter back after a test that installs its own.
class ScopedMainLogger
{
public:
    ScopedMainLogger()
        : m_logger(mainLogger())
        , m_level(maxLevel())
    {}
    ~ScopedMainLogger()
    {
        setMainLogger(m_logger);
        setMaxLevel(m_level);
    }

private:
    std::shared_ptr<AbstractLogger> m_logger;
    Level m_level;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(LevelSettings, Parse)
{
    struct Row
    {
        const char* text;
        bool ok;
        Level level;
    };
    const Row rows[] = {
        {"warning", true, Level::warning}, {"WARNING", true, Level::warning}, {"verbose", true, Level::verbose},
        {"none", true, Level::none},       {"always", true, Level::always},   {"3", true, Level::warning},
        {" info ", true, Level::info},     {"7", false, Level::debug},        {"", false, Level::debug},
        {"loud", false, Level::debug},     {"-1", false, Level::debug},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        LevelSettings settings;
        settings.primary = Level::debug;
        EXPECT_EQ(settings.parse(row.text), row.ok);
        EXPECT_EQ(settings.primary, row.level);
    }
}

TEST(RotatingFileLogger, RotatesAndKeepsTheVolume)
{
    QTemporaryDir dir;
    const QString base = dir.filePath("log/app");
    // Lines of 100 bytes; files of at most 250 bytes (two lines), all rotated files at most 500 bytes.
    auto logger = RotatingFileLogger::open(base, Level::verbose, 250, 500);
    ASSERT_TRUE(logger);
    for (int i = 0; i < 20; ++i)
        logger->writeLine(QByteArray(98, char('a' + i)) + QByteArray::number(i % 10) + '\n');

    // 20 lines, two per file: the current file holds lines 18 and 19, and of the nine rotated files of
    // 200 bytes only the newest two fit the volume.
    EXPECT_EQ(readFile(base + ".log"), QByteArray(98, 's') + "8\n" + QByteArray(98, 't') + "9\n");
    const QStringList rotated = QDir(dir.filePath("log")).entryList({"app_*.log"}, QDir::Files, QDir::Name);
    EXPECT_EQ(rotated, QStringList({"app_000008.log", "app_000009.log"}));
    EXPECT_EQ(readFile(dir.filePath("log/app_000009.log")), QByteArray(98, 'q') + "6\n" + QByteArray(98, 'r') + "7\n");
}

TEST(RotatingFileLogger, ALineLongerThanAFileIsKept)
{
    QTemporaryDir dir;
    auto logger = RotatingFileLogger::open(dir.filePath("app"), Level::verbose, 10, 1000);
    ASSERT_TRUE(logger);
    logger->writeLine(QByteArray(50, 'x') + '\n');
    EXPECT_EQ(readFile(dir.filePath("app.log")).size(), 51);
}

TEST(LogSettings, InitializeFromConfigFile)
{
    struct Row
    {
        const char* name;
        QByteArray ini; // empty: no file
        bool ok;
        Level level;
        const char* file; // relative to the log folder
    };
    const Row rows[] = {
        {"full", "logLevel=verbose\nlogFile=custom\nmaxFileSizeB=1000\n", true, Level::verbose, "custom.log"},
        {"defaults", "; nothing but a comment\n", true, Level::info, "tool.log"},
        {"bad level", "logLevel=loud\n", false, Level::none, nullptr},
        {"bad size", "logLevel=info\nmaxFileSizeB=big\n", false, Level::none, nullptr},
        {"no file", "", false, Level::none, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ScopedMainLogger restore;
        const auto before = mainLogger();
        QTemporaryDir dir;
        const QString iniPath = dir.filePath("tool_log.ini");
        if (!row.ini.isEmpty()) {
            QFile file(iniPath);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(row.ini);
        }
        const QString logDir = dir.filePath("log");
        EXPECT_EQ(initializeFromConfigFile(iniPath, logDir, "tool", "/usr/bin/tool"), row.ok);
        if (!row.ok) {
            EXPECT_EQ(mainLogger(), before);
            continue;
        }
        EXPECT_EQ(maxLevel(), row.level);
        ASSERT_TRUE(mainLogger());
        mainLogger()->log(Level::error, Tag(QString("tag")), "hello");
        const QByteArray text = readFile(QDir(logDir).filePath(row.file));
        EXPECT_TRUE(text.startsWith("---- tool started logging (/usr/bin/tool)\n")) << text.toStdString();
        EXPECT_TRUE(text.endsWith("ERROR tag: hello\n")) << text.toStdString();
    }
}

TEST(LogSettings, BuildLoggerWithFiltersAndWriter)
{
    Settings settings;
    settings.loggers.resize(2);
    settings.loggers[0].level.primary = Level::warning;
    settings.loggers[1].level.primary = Level::debug;
    auto writer = std::make_unique<CapturingLogger>(Level::none);
    CapturingLogger* const captured = writer.get();
    const auto logger = buildLogger(settings, "app", QString(), {"vorn::"}, std::move(writer));
    ASSERT_TRUE(logger);
    EXPECT_EQ(logger->maxLevel(), Level::debug);
    EXPECT_TRUE(logger->isToBeLogged(Level::debug, Tag(QString("vorn::A"))));
    EXPECT_FALSE(logger->isToBeLogged(Level::verbose, Tag(QString("vorn::A"))));
    EXPECT_FALSE(logger->isToBeLogged(Level::error, Tag(QString("other"))));
    logger->log(Level::error, Tag(QString("other")), "dropped");
    logger->log(Level::info, Tag(QString("vorn::A")), "kept");
    EXPECT_EQ(captured->texts(), QStringList({"kept"}));

    // No file that can be opened: no logger.
    Settings unusable;
    unusable.loggers.resize(1);
    unusable.loggers[0].logBaseName = "/proc/no/such/folder/app";
    EXPECT_FALSE(buildLogger(unusable, "app", QString()));
}

} // namespace
} // namespace vorn::utils::log
