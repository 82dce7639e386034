// vorn::utils::log::RotatingFileLogger: a file logger with size limits.
//
// Each message is written as one entry in the form of StreamLogger::formatLine(): a first line that
// starts with the time, and a continuation line, begun by StreamLogger::kContinuationMark, for every line
// break the message holds. An entry is never split between two files.
//
// Writes to "<base>.log". When a line would take that file past the file limit, the file is renamed to
// "<base>_NNNNNN.log" (NNNNNN one more than the highest number there) and a new "<base>.log" begun; then
// the oldest numbered files are removed while all files together exceed the volume limit. So the log of
// a long-running program keeps its newest lines and never fills the disk. Lines never interleave; any
// thread may log. A file that cannot be written any more (disk full, folder gone) is retried at the
// next line rather than giving up for good.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

#include <QtCore/QString>

#include <vorn/utils/log/abstract_logger.h>

namespace vorn::utils::log {

class RotatingFileLogger : public AbstractLogger
{
public:
    // Null when "<base>.log" cannot be opened for appending; then *errorText (when given) says why.
    static std::unique_ptr<RotatingFileLogger> open(const QString& baseName, Level maxLevel, std::int64_t maxFileSizeB,
                                                    std::int64_t maxVolumeSizeB, QString* errorText = nullptr);
    ~RotatingFileLogger() override;

    void log(Level level, const Tag& tag, const QString& message) override;
    // Writes a line as it is (a header line, say): the caller's own text, which gets no continuation marks.
    void writeLine(const QByteArray& line);

    // "<base>.log", absolute.
    QString currentFilePath() const;

private:
    RotatingFileLogger(QString baseName, Level maxLevel, std::int64_t maxFileSizeB, std::int64_t maxVolumeSizeB);
    bool openCurrent(QString* errorText);
    void rotate();
    void removeOldest();

    const QString m_baseName; // absolute
    const std::int64_t m_maxFileSizeB;
    const std::int64_t m_maxVolumeSizeB;
    // Guards m_file and m_fileSize.
    std::mutex m_fileMutex;
    std::FILE* m_file = nullptr;
    std::int64_t m_fileSize = 0;
};

} // namespace vorn::utils::log
