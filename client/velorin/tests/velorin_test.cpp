// The velorin executable as the launcher starts it: its arguments reach the client library unchanged,
// the environment is left as inherited (on this platform), and the library's result is the exit code.
#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(Velorin, PassesArgumentsAndExitCodeThrough)
{
    struct Row
    {
        const char* name;
        QStringList arguments;
        const char* exitCode;
        int expected;
    };
    const Row rows[] = {
        {"no arguments", {}, "0", 0},
        {"arguments and a failure", {"--proto", "5", "ü x", ""}, "3", 3},
        {"large code", {"a"}, "255", 255},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString record = dir.filePath("record.jsonl");
        QProcess velorin;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELORIN_RECORD", record);
        environment.insert("VELORIN_EXIT_CODE", row.exitCode);
        environment.insert("QSG_RENDER_LOOP", "threaded");
        velorin.setProcessEnvironment(environment);
        velorin.setWorkingDirectory(dir.path());
        velorin.start(VELORIN_PATH, row.arguments);
        ASSERT_TRUE(velorin.waitForFinished(10000));
        EXPECT_EQ(velorin.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(velorin.exitCode(), row.expected);

        QFile file(record);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QJsonObject line = QJsonDocument::fromJson(file.readLine()).object();
        EXPECT_EQ(line.value("arguments").toVariant().toStringList(), row.arguments);
        EXPECT_EQ(line.value("workingFolder").toString(), dir.path());
        EXPECT_EQ(line.value("renderLoop").toString(), "threaded");
    }
}

} // namespace
