#include <vorn/vms/client/desktop/run_application.h>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

namespace vorn::vms::client::desktop {

namespace {

QJsonValue environmentValue(const char* name)
{
    if (!qEnvironmentVariableIsSet(name))
        return QJsonValue(QJsonValue::Null);
    return QString::fromLocal8Bit(qgetenv(name));
}

void appendRecord(const QByteArray& path, const QByteArray& line)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        data += written;
        left -= written;
    }
    ::close(fd);
}

} // namespace

int runApplication(int argc, char** argv)
{
    const QByteArray recordPath = qgetenv(kRecordVariable);
    if (!recordPath.isEmpty()) {
        QJsonArray arguments;
        for (int i = 1; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        QJsonObject record;
        record.insert(QStringLiteral("arguments"), arguments);
        record.insert(QStringLiteral("workingFolder"), QDir::currentPath());
        record.insert(QStringLiteral("libraryPath"), environmentValue("LD_LIBRARY_PATH"));
        record.insert(QStringLiteral("renderLoop"), environmentValue("QSG_RENDER_LOOP"));
        appendRecord(recordPath, QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
    }
    bool ok = false;
    const int exitCode = qEnvironmentVariableIntValue(kExitCodeVariable, &ok);
    return ok ? exitCode : 0;
}

} // namespace vorn::vms::client::desktop
