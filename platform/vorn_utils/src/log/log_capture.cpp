#include <vorn/utils/log/log_capture.h>

namespace vorn::utils::log {

LogCapture::LogCapture(Level maxLevel)
    : m_logger(std::make_shared<CapturingLogger>(Level::verbose))
    , m_previousMaxLevel(log::maxLevel())
    , m_previousLogger(setMainLogger(m_logger))
{
    setMaxLevel(maxLevel);
}

LogCapture::~LogCapture()
{
    setMaxLevel(m_previousMaxLevel);
    setMainLogger(std::move(m_previousLogger));
}

} // namespace vorn::utils::log
