// The launcher's tests run inside a single-instance application object, as the launcher does: the
// task server listens only under one. Its id names this test process, so test runs never see each
// other as running instances, and its lock lives in the run's own temp folder, removed at the end.
#include <QtCore/QCoreApplication>

#include <qtsinglecoreapplication.h>
#include <vorn/testing/scratch_folder.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const vorn::testing::ScratchFolder scratch(vorn::testing::ScratchFolder::Temp::redirect);
    int result = 0;
    {
        QtSingleCoreApplication app(QStringLiteral("waypoint_tests-%1").arg(QCoreApplication::applicationPid()), argc,
                                    argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
