// vorn::utils::log::StreamLogger: writes log messages as text lines to a C stream (stderr by default).
//
// One line per message, flushed at once so that nothing is lost when the process dies:
//
//     2024-05-01 12:34:56.789 7f12ab34c640 WARNING vorn::Foo(0x55d0c2a4f2b0): Connection lost
//
// (local time, thread id, level name or number, tag, message; UTF-8). Lines from several threads never
// interleave. The stream is borrowed: it must outlive the logger.
#pragma once

#include <cstdio>
#include <mutex>

#include <QtCore/QByteArray>

#include <vorn/utils/log/abstract_logger.h>

namespace vorn::utils::log {

class StreamLogger : public AbstractLogger
{
public:
    StreamLogger(std::FILE* stream, Level maxLevel);

    void log(Level level, const Tag& tag, const QString& message) override;

    // The line written for one message, line feed included.
    static QByteArray formatLine(Level level, const Tag& tag, const QString& message);

protected:
    // Writes the bytes and flushes; returns false when the stream reported an error.
    bool write(const QByteArray& line);

private:
    // Guards m_stream so that lines of two threads never interleave.
    std::mutex m_streamMutex;
    std::FILE* m_stream;
};

} // namespace vorn::utils::log
