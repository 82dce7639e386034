#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QtCore/QString>

#include <QtCore/QFile>
#include <QtCore/QRegularExpression>
#include <QtCore/QTemporaryDir>

#include <vorn/utils/log/capturing_logger.h>
#include <vorn/utils/log/file_logger.h>
#include <vorn/utils/log/log.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/log/stream_logger.h>

// Shows texts as texts in failure messages.
[[maybe_unused]] static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace log_logger_test {
namespace {

using namespace vorn::utils::log;

const Tag kTag(QStringLiteral("vorn::Engine(0x1f)"));

TEST(Logger, takesLevelsUpToItsMaximum)
{
    CapturingLogger logger(Level::warning);
    struct Row
    {
        Level level;
        bool taken;
    };
    const Row rows[] = {{Level::none, false},           {Level::always, true}, {Level::error, true},
                        {Level::warning, true},         {Level::info, false},  {Level::verbose, false},
                        {static_cast<Level>(-1), false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.level));
        EXPECT_EQ(logger.isToBeLogged(row.level, kTag), row.taken);
    }
    logger.setMaxLevel(Level::verbose);
    EXPECT_TRUE(logger.isToBeLogged(Level::verbose, kTag));
}

TEST(Logger, mainLoggerIsReplacedAndRestored)
{
    const auto original = mainLogger();
    ASSERT_TRUE(original) << "a stderr logger is installed from the start";
    const Level originalLevel = maxLevel();
    {
        LogCapture capture(Level::debug);
        EXPECT_EQ(maxLevel(), Level::debug);
        EXPECT_EQ(getLogger(kTag).get(), &capture.logger());
        getLogger(kTag)->log(Level::error, kTag, QStringLiteral("message"));
        EXPECT_THAT(capture.logger().records(),
                    testing::ElementsAre(LogRecord{Level::error, kTag.toString(), QStringLiteral("message")}));

        const auto previous = setMainLogger(nullptr);
        EXPECT_EQ(previous.get(), &capture.logger());
        EXPECT_FALSE(getLogger(kTag));
        setMainLogger(previous);
    }
    EXPECT_EQ(mainLogger(), original);
    EXPECT_EQ(maxLevel(), originalLevel);
}

TEST(Logger, capturesFromSeveralThreads)
{
    CapturingLogger logger;
    constexpr int kThreads = 4;
    constexpr int kMessages = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&logger, t] {
            for (int i = 0; i < kMessages; ++i)
                logger.log(Level::info, kTag, QString::number(t));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(logger.records().size(), size_t{kThreads * kMessages});
    logger.clear();
    EXPECT_TRUE(logger.records().empty());
}

TEST(StreamLogger, writesOneFlushedLinePerMessage)
{
    std::FILE* const file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        StreamLogger logger(file, Level::verbose);
        logger.log(Level::warning, kTag, QString::fromUtf8("caf\u00e9 lost"));
        logger.log(static_cast<Level>(9), kTag, QStringLiteral("odd level"));
    }
    std::rewind(file);
    char buffer[512] = {};
    const size_t size = std::fread(buffer, 1, sizeof(buffer) - 1, file);
    std::fclose(file);

    const QStringList lines = QString::fromUtf8(buffer, static_cast<int>(size)).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], "");
    const QRegularExpression linePattern(
        QString::fromUtf8("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} [0-9a-f]+ (\\S+) (.*)$"));
    const auto first = linePattern.match(lines[0]);
    ASSERT_TRUE(first.hasMatch()) << lines[0].toStdString();
    EXPECT_EQ(first.captured(1), "WARNING");
    EXPECT_EQ(first.captured(2), QString::fromUtf8("vorn::Engine(0x1f): caf\u00e9 lost"));
    const auto second = linePattern.match(lines[1]);
    ASSERT_TRUE(second.hasMatch()) << lines[1].toStdString();
    EXPECT_EQ(second.captured(1), "LEVEL9");
}

TEST(FileLogger, appendsToFileAndCreatesItsFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("log/sub/waypoint.log"));
    for (const char* text : {"first", "second"}) {
        QString error;
        const auto logger = FileLogger::open(path, Level::info, &error);
        ASSERT_TRUE(logger) << error.toStdString();
        EXPECT_EQ(logger->path(), path);
        logger->log(Level::info, kTag, QString::fromLatin1(text));
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith("INFO vorn::Engine(0x1f): first"));
    EXPECT_TRUE(lines[1].endsWith("INFO vorn::Engine(0x1f): second"));
}

TEST(FileLogger, failsWithReasonWhenPathIsNotWritable)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString blocker = dir.filePath(QStringLiteral("file"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    struct Row
    {
        const char* name;
        QString path;
    };
    const Row rows[] = {
        {"folderIsAFile", blocker + "/log.txt"},
        {"pathIsAFolder", dir.path()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QString error;
        EXPECT_FALSE(FileLogger::open(row.path, Level::info, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(FileLogger::open(row.path, Level::info)) << "no error text asked for";
    }
}

} // namespace
} // namespace log_logger_test
