// vorn::utils::log::CapturingLogger: a logger for tests that keeps every message it is given.
//
// It takes messages up to its own maximum level (lower it to make the logger decline) and records
// level, tag text and message in arrival order. Messages may arrive from any thread. LogCapture
// (log_capture.h) installs one as the main logger for the length of a test.
#pragma once

#include <mutex>
#include <vector>

#include <vorn/utils/log/abstract_logger.h>

namespace vorn::utils::log {

struct LogRecord
{
    Level level = Level::none;
    QString tag;
    QString text;

    friend bool operator==(const LogRecord&, const LogRecord&) = default;
};

class CapturingLogger : public AbstractLogger
{
public:
    explicit CapturingLogger(Level maxLevel = Level::verbose)
        : AbstractLogger(maxLevel)
    {}

    void log(Level level, const Tag& tag, const QString& message) override;

    std::vector<LogRecord> records() const;
    // The message texts only, in arrival order.
    QStringList texts() const;
    void clear();

private:
    // Guards m_records.
    mutable std::mutex m_recordsMutex;
    std::vector<LogRecord> m_records;
};

} // namespace vorn::utils::log
