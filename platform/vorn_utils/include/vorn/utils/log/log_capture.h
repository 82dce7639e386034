// vorn::utils::log::LogCapture: test tool that captures what a test logs.
//
// While it lives, a CapturingLogger is the main logger and maxLevel() is the given level; on
// destruction the previous main logger and level come back.
//
//     vorn::utils::log::LogCapture capture(Level::verbose);
//     runCodeUnderTest();
//     EXPECT_THAT(capture.logger().texts(), Contains("Connection lost"));
#pragma once

#include <memory>

#include <vorn/utils/log/capturing_logger.h>
#include <vorn/utils/log/log.h>

namespace vorn::utils::log {

class LogCapture
{
public:
    explicit LogCapture(Level maxLevel = Level::verbose);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    CapturingLogger& logger() { return *m_logger; }

private:
    const std::shared_ptr<CapturingLogger> m_logger;
    const Level m_previousMaxLevel;
    std::shared_ptr<AbstractLogger> m_previousLogger;
};

} // namespace vorn::utils::log
