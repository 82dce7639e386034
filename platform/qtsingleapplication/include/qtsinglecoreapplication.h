// QtSingleCoreApplication: a QCoreApplication that knows whether another instance of itself runs.
//
// Instances with the same id of the same user see each other, through a lock file
// "<temp folder>/qtsingleapp-<id>-<hash of id>-<user id>.lock" (the temp folder honours TMPDIR, so tests can give
// each run its own). The first instance takes the lock; isRunning() answers true while another process
// holds it. It re-checks on every call, so an instance that waits for another one to end sees it go:
//
//     QtSingleCoreApplication app(QStringLiteral("waypoint"), argc, argv);
//     if (app.isRunning()) {
//         tellTheOtherOneToQuit();
//         while (app.isRunning()) QThread::msleep(100);   // now this one holds the lock
//     }
//
// The lock of an instance that died is taken over (the lock file names a process that no longer runs).
#pragma once

#include <memory>

#include <QtCore/QCoreApplication>
#include <QtCore/QLockFile>
#include <QtCore/QString>

class QtSingleCoreApplication : public QCoreApplication
{
    Q_OBJECT

public:
    // The id is the application's file path.
    QtSingleCoreApplication(int& argc, char** argv);
    QtSingleCoreApplication(const QString& id, int& argc, char** argv);
    ~QtSingleCoreApplication() override;

    // True when another process of this id and user holds the instance lock. When none does, this
    // instance takes the lock (if it had not already) and the answer is false.
    bool isRunning();

    QString id() const { return m_id; }

    // The lock file of an id for the current user.
    static QString lockFilePath(const QString& id);

private:
    const QString m_id;
    std::unique_ptr<QLockFile> m_lock;
};
