// runPluginHost: a plugin's end-to-end tests run the vms_plugin_host tool on the built library as a child
// process until it ends by itself, and read its JSON lines:
//
//     const ToolRun run = runPluginHost(VMS_PLUGIN_HOST_PATH, HORNBEAM_PLUGIN_PATH, {"--list"});
//     EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
//     for (const QJsonObject& line : linesOfKind(run.lines, "pluginManifest")) ...
//
// Header only, for test programs, which link Qt Core and GoogleTest; the server library itself links neither.
#pragma once

#include <vector>

#include <QtCore/QByteArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <gtest/gtest.h>

namespace vorn::vms_server::testing {

/** How a vms_plugin_host run ended, and what it printed: its JSON lines in order, its error output. */
struct ToolRun
{
    bool finished = false;
    int exitCode = -1;
    std::vector<QJsonObject> lines;
    QString errors;
};

/** Runs the host tool on the library with the arguments until it ends by itself (two minutes at the most). */
inline ToolRun runPluginHost(const QString& hostPath, const QString& libraryPath, const QStringList& arguments)
{
    QProcess process;
    process.start(hostPath, QStringList{libraryPath} + arguments);
    ToolRun run;
    run.finished = process.waitForFinished(120'000);
    EXPECT_TRUE(run.finished) << process.errorString().toStdString();
    run.exitCode = process.exitCode();
    run.errors = QString::fromUtf8(process.readAllStandardError());
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        if (!line.trimmed().isEmpty())
            run.lines.push_back(QJsonDocument::fromJson(line).object());
    }
    return run;
}

/** The lines whose "kind" is kind, in order. */
inline std::vector<QJsonObject> linesOfKind(const std::vector<QJsonObject>& lines, const QString& kind)
{
    std::vector<QJsonObject> result;
    for (const QJsonObject& line : lines) {
        if (line["kind"] == kind)
            result.push_back(line);
    }
    return result;
}

} // namespace vorn::vms_server::testing
