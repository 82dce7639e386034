// The launcher's tests run inside a single-instance application object, as the launcher does: the
// task server listens only under one. Its id names this test process, so test runs never see each
// other as running instances.
#include <QtCore/QCoreApplication>

#include <qtsinglecoreapplication.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QtSingleCoreApplication app(QStringLiteral("waypoint_tests-%1").arg(QCoreApplication::applicationPid()), argc,
                                argv);
    return RUN_ALL_TESTS();
}
