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
#include <vorn/utils/log/rotating_file_logger.h>
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

// What the writers make of line breaks: only an entry's first line starts with the time; every line
// break of the tag or message, whichever kind, starts a line that begins with the continuation mark.
TEST(StreamLogger, linesOfAMessageAfterItsFirstAreMarked)
{
    struct Row
    {
        const char* name;
        QString tag;
        QString message;
        QByteArray written; // after the time, thread id and level
    };
    const QString tag = kTag.toString();
    const Row rows[] = {
        {"single line", tag, "one", "vorn::Engine(0x1f): one\n"},
        {"empty", tag, "", "vorn::Engine(0x1f): \n"},
        {"two lines", tag, "one\ntwo", "vorn::Engine(0x1f): one\n    | two\n"},
        {"line feed at the end", tag, "one\n", "vorn::Engine(0x1f): one\n    | \n"},
        {"empty line between", tag, "one\n\ntwo", "vorn::Engine(0x1f): one\n    | \n    | two\n"},
        {"carriage return and line feed", tag, "one\r\ntwo\r\n", "vorn::Engine(0x1f): one\n    | two\n    | \n"},
        {"lone carriage return", tag, "one\rtwo", "vorn::Engine(0x1f): one\n    | two\n"},
        {"carriage return at the end", tag, "one\r", "vorn::Engine(0x1f): one\n    | \n"},
        {"line feed then carriage return", tag, "one\n\rtwo", "vorn::Engine(0x1f): one\n    | \n    | two\n"},
        {"forged entry", tag, "Cannot read:\r2031-01-01 00:00:00.000 ERROR InstallationManager: FORGED",
         "vorn::Engine(0x1f): Cannot read:\n    | 2031-01-01 00:00:00.000 ERROR InstallationManager: FORGED\n"},
        {"line break in the tag", "vorn::Engine(0x1f, cam\nera)", "one", "vorn::Engine(0x1f, cam\n    | era): one\n"},
        {"text beyond ASCII", tag, QString::fromUtf8("caf\u00e9\nna\u00efve"),
         "vorn::Engine(0x1f): caf\xc3\xa9\n    | na\xc3\xafve\n"},
    };
    const QRegularExpression header("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} [0-9a-f]+ ERROR ");
    const auto afterHeader = [&header](const QByteArray& entry) {
        const QRegularExpressionMatch match = header.match(QString::fromUtf8(entry));
        return match.hasMatch() ? entry.mid(match.capturedLength()) : "no header: " + entry;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::FILE* const file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        {
            StreamLogger logger(file, Level::verbose);
            logger.log(Level::error, Tag(row.tag), row.message);
        }
        std::rewind(file);
        char buffer[512] = {};
        const size_t size = std::fread(buffer, 1, sizeof(buffer) - 1, file);
        std::fclose(file);
        EXPECT_EQ(afterHeader(QByteArray(buffer, static_cast<int>(size))).toStdString(), row.written.toStdString());

        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const auto rotating = RotatingFileLogger::open(dir.filePath(QStringLiteral("app")), Level::verbose, 1000, 1000);
        ASSERT_TRUE(rotating);
        rotating->log(Level::error, Tag(row.tag), row.message);
        QFile written(rotating->currentFilePath());
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(afterHeader(written.readAll()).toStdString(), row.written.toStdString());
    }
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
