// vorn::utils::log::StreamLogger: writes log messages as text lines to a C stream (stderr by default).
//
// One line per message, flushed at once so that nothing is lost when the process dies:
//
//     2024-05-01 12:34:56.789 7f12ab34c640 WARNING vorn::Foo(0x55d0c2a4f2b0): Connection lost
//
// (local time, thread id, level name or number, tag, message; UTF-8). Only this first line of an entry
// starts at column 0 with the time. A message (or a tag) that holds line breaks - "\n", "\r\n" or a lone
// "\r", each one break - goes on over continuation lines, each begun by kContinuationMark ("    | "):
//
//     2024-05-01 12:34:56.789 7f12ab34c640 ERROR vorn::Foo(0x55d0c2a4f2b0): Cannot read the reply:
//         | first line of the reply
//         | second line of the reply
//
// An empty line of the message, a line break at its end included, is the mark alone: every break the
// message holds shows. The mark keeps whatever text a message carries (a peer's bytes, say) from
// starting a line that reads as an entry of its own. Entries from several threads never interleave.
// The stream is borrowed: it must outlive the logger.
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

    // Begins every line of an entry after its first; starts with blanks, so never with a time.
    static constexpr char kContinuationMark[] = "    | ";

    // The text written for one message: its first line and its continuation lines, each ended by a
    // line feed.
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
