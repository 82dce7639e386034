#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/log_support/log.h>
#include <vorn/utils/log/capturing_logger.h>
#include <vorn/utils/log/log_capture.h>

#include "log_test_support.h"

// Counts the allocations of the thread that has switched counting on; every other allocation of this
// test program passes through uncounted. All plain forms are replaced together so that memory taken by
// one form is always given back by its partner.
namespace {

thread_local bool t_countAllocations = false;
thread_local int t_allocations = 0;

void* allocate(std::size_t size)
{
    if (t_countAllocations)
        ++t_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size)
{
    return allocate(size);
}

void* operator new[](std::size_t size)
{
    return allocate(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace log_support_test {

class Camera
{
public:
    QString logTagSuffix() const { return QStringLiteral("camera.local"); }

    void logProgress(int step) const { VN_LOG(6, this, "step %1", step); }
};

namespace {

using vorn::utils::log::CapturingLogger;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::utils::log::LogRecord;
using vorn::utils::log::Tag;

QString expectedTag(const Camera* camera)
{
    return QStringLiteral("log_support_test::Camera(0x%1, camera.local)")
        .arg(QString::number(reinterpret_cast<quintptr>(camera), 16));
}

// Counts how often the statement evaluated its tag source and its arguments.
struct Evaluations
{
    int tag = 0;
    int arguments = 0;

    Tag tagSource()
    {
        ++tag;
        return Tag(QStringLiteral("counted"));
    }

    int argument()
    {
        ++arguments;
        return 7;
    }
};

TEST(LogStatement, disabledStatementEvaluatesNothingAndAllocatesNothing)
{
    LogCapture capture(Level::info);
    Evaluations evaluations;

    t_allocations = 0;
    t_countAllocations = true;
    VN_LOG(5, evaluations.tagSource(), "value %1 %2", evaluations.argument(), std::string(100, 'x'));
    t_countAllocations = false;

    EXPECT_EQ(evaluations.tag, 0);
    EXPECT_EQ(evaluations.arguments, 0);
    EXPECT_EQ(t_allocations, 0);
    EXPECT_TRUE(capture.logger().records().empty());
}

TEST(LogStatement, enabledStatementIsSeenToAllocate)
{
    // The counter's control case: the same statement at an enabled level allocates.
    LogCapture capture(Level::info);
    Evaluations evaluations;

    t_allocations = 0;
    t_countAllocations = true;
    VN_LOG(4, evaluations.tagSource(), "value %1", evaluations.argument());
    t_countAllocations = false;

    EXPECT_GT(t_allocations, 0);
    EXPECT_EQ(evaluations.tag, 1);
    EXPECT_EQ(evaluations.arguments, 1);
    EXPECT_THAT(capture.logger().records(), testing::ElementsAre(LogRecord{Level::info, "counted", "value 7"}));
}

TEST(LogStatement, declinedStatementBuildsTagButNoMessage)
{
    LogCapture capture(Level::verbose);
    capture.logger().setMaxLevel(Level::info);
    Evaluations evaluations;

    VN_LOG(5, evaluations.tagSource(), "value %1", evaluations.argument());

    EXPECT_EQ(evaluations.tag, 1);
    EXPECT_EQ(evaluations.arguments, 0);
    EXPECT_TRUE(capture.logger().records().empty());
}

TEST(LogStatement, noLoggerWritesNothing)
{
    LogCapture capture(Level::verbose);
    const auto previous = vorn::utils::log::setMainLogger(nullptr);
    Evaluations evaluations;

    testing::internal::CaptureStderr();
    VN_LOG(3, evaluations.tagSource(), "value %1", evaluations.argument());
    const std::string written = testing::internal::GetCapturedStderr();
    vorn::utils::log::setMainLogger(previous);

    EXPECT_EQ(evaluations.arguments, 0);
    EXPECT_EQ(written, "");
}

// Changes errno wherever a logger can run, as a real one writing a file may.
class ErrnoChangingLogger : public CapturingLogger
{
public:
    using CapturingLogger::CapturingLogger;

    bool isToBeLogged(Level level, const Tag& tag) const override
    {
        errno = EBADF;
        return CapturingLogger::isToBeLogged(level, tag);
    }

    void log(Level level, const Tag& tag, const QString& message) override
    {
        errno = ENOSPC;
        CapturingLogger::log(level, tag, message);
    }
};

int argumentThatChangesErrno()
{
    errno = EINVAL;
    return 1;
}

TEST(LogStatement, keepsLastErrorCode)
{
    struct Row
    {
        const char* name;
        Level maxLevel;
        Level loggerLevel;
        bool installLogger;
        size_t expectedRecords;
    };
    const Row rows[] = {
        {"written", Level::verbose, Level::verbose, true, 1},
        {"declinedByLogger", Level::verbose, Level::warning, true, 0},
        {"disabledByMaxLevel", Level::warning, Level::verbose, true, 0},
        {"noLogger", Level::verbose, Level::verbose, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(row.maxLevel);
        const auto logger = std::make_shared<ErrnoChangingLogger>(row.loggerLevel);
        const auto previous = vorn::utils::log::setMainLogger(row.installLogger ? logger : nullptr);

        errno = EAGAIN;
        VN_LOG(4, Tag(QStringLiteral("t")), "value %1", argumentThatChangesErrno());
        const int errnoAfter = errno;

        vorn::utils::log::setMainLogger(previous);
        EXPECT_EQ(errnoAfter, EAGAIN);
        EXPECT_EQ(logger->records().size(), row.expectedRecords);
    }
}

class Base
{
public:
    virtual ~Base() = default;
    void logFromBase() { VN_LOG(4, this, "from base"); }
};

class Derived : public Base
{
};

TEST(LogStatement, tagSources)
{
    LogCapture capture(Level::verbose);
    const Camera camera;
    Derived derived;
    const Tag ownTag(QStringLiteral("own"));
    const std::string text = "text tag";

    camera.logProgress(2);
    derived.logFromBase();
    VN_LOG(4, typeid(Camera), "type");
    VN_LOG(4, ownTag, "tag");
    VN_LOG(4, text, "std::string");
    VN_LOG(4, QStringLiteral("%1/%2 : %3"), "QString");
    VN_LOG(4, "literal", "const char*");

    const QString derivedTag = QStringLiteral("log_support_test::(anonymous namespace)::Derived(0x%1)")
                                   .arg(QString::number(reinterpret_cast<quintptr>(static_cast<Base*>(&derived)), 16));
    EXPECT_THAT(capture.logger().records(),
                testing::ElementsAre(
                    LogRecord{Level::verbose, expectedTag(&camera), "step 2"},
                    LogRecord{Level::info, derivedTag, "from base"},
                    LogRecord{Level::info, "log_support_test::Camera", "type"}, LogRecord{Level::info, "own", "tag"},
                    LogRecord{Level::info, "text tag", "std::string"}, LogRecord{Level::info, "%1/%2 : %3", "QString"},
                    LogRecord{Level::info, "literal", "const char*"}));
}

TEST(LogStatement, isOneStatementInIfElse)
{
    LogCapture capture(Level::verbose);
    for (const bool condition : {true, false}) {
        if (condition)
            VN_LOG(4, "t", "then");
        else
            VN_LOG(4, "t", "else");
    }
    EXPECT_EQ(capture.logger().texts(), QStringList({"then", "else"}));
}

TEST(LogStatement, levelMayBeGivenAsLevelValue)
{
    LogCapture capture(Level::info);
    VN_LOG(Level::info, "t", "written");
    VN_LOG(Level::debug, "t", "not written");
    EXPECT_EQ(capture.logger().texts(), QStringList({"written"}));
}

} // namespace
} // namespace log_support_test
