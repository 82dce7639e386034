#include <vorn/utils/scope_guard.h>

#include <stdexcept>
#include <string>

#include <QtCore/QString>
#include <QtCore/QtGlobal>
#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

TEST(ScopeGuard, RunsOnceOnEveryWayOut)
{
    int runs = 0;
    {
        ScopeGuard guard([&] { ++runs; });
    }
    EXPECT_EQ(runs, 1);

    auto returnsEarly = [&](bool early) {
        ScopeGuard guard([&] { ++runs; });
        if (early)
            return 1;
        return 2;
    };
    returnsEarly(true);
    returnsEarly(false);
    EXPECT_EQ(runs, 3);

    EXPECT_THROW(
        {
            ScopeGuard guard([&] { ++runs; });
            throw std::runtime_error("leaving");
        },
        std::runtime_error);
    EXPECT_EQ(runs, 4);
}

TEST(ScopeGuard, DisarmedOrMovedFromGuardDoesNotRun)
{
    int runs = 0;
    {
        ScopeGuard guard([&] { ++runs; });
        guard.disarm();
        EXPECT_FALSE(guard.isArmed());
    }
    EXPECT_EQ(runs, 0);

    {
        ScopeGuard<> outer([&] { ++runs; });
        {
            ScopeGuard<> inner(std::move(outer));
            EXPECT_FALSE(outer.isArmed());
        }
        EXPECT_EQ(runs, 1);
    }
    EXPECT_EQ(runs, 1);
}

QString g_lastMessage;

void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_lastMessage = message;
}

TEST(ScopeGuard, ExceptionFromTheActionIsReportedNotThrown)
{
    g_lastMessage.clear();
    const QtMessageHandler previous = qInstallMessageHandler(&captureMessage);
    auto leave = [] { ScopeGuard guard([] { throw std::runtime_error("disk full"); }); };
    EXPECT_NO_THROW(leave());
    auto leaveWithInt = [] { ScopeGuard guard([] { throw 42; }); };
    const QString firstMessage = g_lastMessage;
    EXPECT_NO_THROW(leaveWithInt());
    qInstallMessageHandler(previous);
    EXPECT_TRUE(firstMessage.contains("disk full")) << firstMessage.toStdString();
    EXPECT_TRUE(g_lastMessage.contains("not a std::exception")) << g_lastMessage.toStdString();
}

} // namespace
} // namespace vorn::utils
