#include <qtsinglecoreapplication.h>

#include <QtCore/QLockFile>
#include <QtCore/QTemporaryDir>

#include <vorn/testing/scoped_environment.h>

#include <gtest/gtest.h>

namespace {

TEST(QtSingleCoreApplication, IsRunningRechecksOnEveryCall)
{
    QTemporaryDir temp;
    const vorn::testing::ScopedEnvironment tmpdir("TMPDIR", temp.path().toUtf8());
    const QString id = QStringLiteral("single-app-test");

    // Another instance: the lock of the same id, held elsewhere.
    auto other = std::make_unique<QLockFile>(QtSingleCoreApplication::lockFilePath(id));
    ASSERT_TRUE(other->tryLock(0));
    EXPECT_TRUE(QtSingleCoreApplication::lockFilePath(id).startsWith(temp.path()));

    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    {
        QtSingleCoreApplication app(id, argc, argv);
        EXPECT_EQ(app.id(), id);
        EXPECT_TRUE(app.isRunning());
        EXPECT_TRUE(app.isRunning());

        // The other one ends: the next call sees it and this instance takes over.
        other.reset();
        EXPECT_FALSE(app.isRunning());
        EXPECT_FALSE(app.isRunning());
        QLockFile third(QtSingleCoreApplication::lockFilePath(id));
        EXPECT_FALSE(third.tryLock(0));
    }
    // Gone with the application object.
    QLockFile after(QtSingleCoreApplication::lockFilePath(id));
    EXPECT_TRUE(after.tryLock(0));
    EXPECT_NE(QtSingleCoreApplication::lockFilePath(id), QtSingleCoreApplication::lockFilePath("other"));
}

} // namespace
