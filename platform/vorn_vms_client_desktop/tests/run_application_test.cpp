#include <vorn/vms/client/desktop/run_application.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>

#include <vorn/testing/scoped_environment.h>

#include <gtest/gtest.h>

namespace vorn::vms::client::desktop {
namespace {

using vorn::testing::ScopedEnvironment;

TEST(RunApplication, RecordsTheStartAndReturnsTheExitCode)
{
    QTemporaryDir dir;
    const QString record = dir.filePath("record.jsonl");
    const ScopedEnvironment recordPath(kRecordVariable, record.toUtf8());
    const ScopedEnvironment libraryPath("LD_LIBRARY_PATH", QByteArray("/opt/lib"));
    const ScopedEnvironment renderLoop("QSG_RENDER_LOOP", std::nullopt);

    char program[] = "velorin";
    char first[] = "--proto";
    char second[] = "ü x";
    char* argv[] = {program, first, second, nullptr};
    struct Row
    {
        const char* name;
        std::optional<QByteArray> exitCode;
        int expected;
    };
    const Row rows[] = {
        {"unset", std::nullopt, 0},
        {"set", QByteArray("3"), 3},
        {"negative", QByteArray("-1"), -1},
        {"not a number", QByteArray("x"), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ScopedEnvironment exitCode(kExitCodeVariable, row.exitCode);
        EXPECT_EQ(runApplication(3, argv), row.expected);
    }

    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 5); // four lines and the empty rest after the last line feed
    const QJsonObject first_ = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(first_.value("arguments").toVariant().toStringList(), QStringList({"--proto", "ü x"}));
    EXPECT_EQ(first_.value("workingFolder").toString(), QDir::currentPath());
    EXPECT_EQ(first_.value("libraryPath").toString(), "/opt/lib");
    EXPECT_TRUE(first_.value("renderLoop").isNull());
}

TEST(RunApplication, NoRecordWithoutTheVariable)
{
    const ScopedEnvironment recordPath(kRecordVariable, std::nullopt);
    const ScopedEnvironment exitCode(kExitCodeVariable, QByteArray("7"));
    char program[] = "velorin";
    char* argv[] = {program, nullptr};
    EXPECT_EQ(runApplication(1, argv), 7);
}

} // namespace
} // namespace vorn::vms::client::desktop
