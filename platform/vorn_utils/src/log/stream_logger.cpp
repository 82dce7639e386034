#include <vorn/utils/log/stream_logger.h>

#include <QtCore/QDateTime>
#include <QtCore/QThread>

namespace vorn::utils::log {

namespace {

QByteArray levelName(Level level)
{
    switch (level) {
    case Level::none:
        return "NONE";
    case Level::always:
        return "ALWAYS";
    case Level::error:
        return "ERROR";
    case Level::warning:
        return "WARNING";
    case Level::info:
        return "INFO";
    case Level::debug:
        return "DEBUG";
    case Level::verbose:
        return "VERBOSE";
    }
    return "LEVEL" + QByteArray::number(static_cast<int>(level));
}

// Appends the text, writing each line break in it ("\r\n", a lone "\n" or a lone "\r") as one line feed
// followed by the continuation mark.
void appendMarkingLines(QByteArray* entry, const QByteArray& text)
{
    const char* const end = text.constData() + text.size();
    const char* lineStart = text.constData();
    for (const char* p = lineStart; p != end; ++p) {
        if (*p != '\n' && *p != '\r')
            continue;
        entry->append(lineStart, static_cast<int>(p - lineStart));
        entry->append('\n');
        entry->append(StreamLogger::kContinuationMark);
        if (*p == '\r' && p + 1 != end && p[1] == '\n')
            ++p;
        lineStart = p + 1;
    }
    entry->append(lineStart, static_cast<int>(end - lineStart));
}

} // namespace

StreamLogger::StreamLogger(std::FILE* stream, Level maxLevel)
    : AbstractLogger(maxLevel)
    , m_stream(stream)
{}

void StreamLogger::log(Level level, const Tag& tag, const QString& message)
{
    write(formatLine(level, tag, message));
}

QByteArray StreamLogger::formatLine(Level level, const Tag& tag, const QString& message)
{
    QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    line += ' ';
    line += QByteArray::number(reinterpret_cast<quintptr>(QThread::currentThreadId()), 16);
    line += ' ';
    line += levelName(level);
    line += ' ';
    appendMarkingLines(&line, (tag.toString() + QStringLiteral(": ") + message).toUtf8());
    line += '\n';
    return line;
}

bool StreamLogger::write(const QByteArray& line)
{
    const std::lock_guard lock(m_streamMutex);
    const size_t written = std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), m_stream);
    return std::fflush(m_stream) == 0 && written == static_cast<size_t>(line.size());
}

} // namespace vorn::utils::log
