#include <vorn/utils/log/capturing_logger.h>

#include <QtCore/QStringList>

namespace vorn::utils::log {

void CapturingLogger::log(Level level, const Tag& tag, const QString& message)
{
    LogRecord record{level, tag.toString(), message};
    const std::lock_guard lock(m_recordsMutex);
    m_records.push_back(std::move(record));
}

std::vector<LogRecord> CapturingLogger::records() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_records;
}

QStringList CapturingLogger::texts() const
{
    QStringList texts;
    const std::lock_guard lock(m_recordsMutex);
    for (const LogRecord& record : m_records)
        texts.append(record.text);
    return texts;
}

void CapturingLogger::clear()
{
    const std::lock_guard lock(m_recordsMutex);
    m_records.clear();
}

} // namespace vorn::utils::log
