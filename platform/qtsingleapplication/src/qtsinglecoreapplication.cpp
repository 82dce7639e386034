#include <qtsinglecoreapplication.h>

#include <unistd.h>

#include <QtCore/QCryptographicHash>
#include <QtCore/QDir>
#include <QtCore/QRegularExpression>

QtSingleCoreApplication::QtSingleCoreApplication(int& argc, char** argv)
    : QtSingleCoreApplication(QString(), argc, argv)
{}

QtSingleCoreApplication::QtSingleCoreApplication(const QString& id, int& argc, char** argv)
    : QCoreApplication(argc, argv)
    , m_id(id.isEmpty() ? QCoreApplication::applicationFilePath() : id)
    , m_lock(std::make_unique<QLockFile>(lockFilePath(m_id)))
{
    // Only a lock whose process is gone counts as stale, never an old one: an instance may run for months.
    m_lock->setStaleLockTime(0);
    isRunning();
}

QtSingleCoreApplication::~QtSingleCoreApplication() = default;

QString QtSingleCoreApplication::lockFilePath(const QString& id)
{
    // Ids may be paths; a hash keeps the file name valid and short, the readable part helps people.
    QString readable = id.section(QLatin1Char('/'), -1);
    readable.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    const QByteArray hash = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QDir::temp().filePath(
        QStringLiteral("qtsingleapp-%1-%2-%3.lock").arg(readable.left(40), QString::fromLatin1(hash)).arg(::getuid()));
}

bool QtSingleCoreApplication::isRunning()
{
    if (m_lock->isLocked())
        return false;
    return !m_lock->tryLock(0);
}
