#include <vorn/utils/log/rotating_file_logger.h>

#include <algorithm>
#include <vector>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QRegularExpression>

#include <vorn/utils/log/stream_logger.h>
#include <vorn/utils/system_error.h>

namespace vorn::utils::log {

namespace {

struct RotatedFile
{
    qint64 number = 0;
    QString path;
    qint64 size = 0;
};

// The numbered files of a base name, oldest (lowest number) first.
std::vector<RotatedFile> rotatedFiles(const QString& baseName)
{
    const QFileInfo base(baseName);
    const QRegularExpression pattern(
        QStringLiteral("^%1_(\\d{1,18})\\.log$").arg(QRegularExpression::escape(base.fileName())));
    std::vector<RotatedFile> files;
    const QFileInfoList entries = base.dir().entryInfoList({base.fileName() + QStringLiteral("_*.log")}, QDir::Files);
    for (const QFileInfo& entry : entries) {
        const QRegularExpressionMatch match = pattern.match(entry.fileName());
        if (match.hasMatch())
            files.push_back({match.captured(1).toLongLong(), entry.absoluteFilePath(), entry.size()});
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    return files;
}

} // namespace

std::unique_ptr<RotatingFileLogger> RotatingFileLogger::open(const QString& baseName, Level maxLevel,
                                                             std::int64_t maxFileSizeB, std::int64_t maxVolumeSizeB,
                                                             QString* errorText)
{
    std::unique_ptr<RotatingFileLogger> logger(
        new RotatingFileLogger(QFileInfo(baseName).absoluteFilePath(), maxLevel, maxFileSizeB, maxVolumeSizeB));
    const std::lock_guard lock(logger->m_fileMutex);
    if (!logger->openCurrent(errorText))
        return nullptr;
    return logger;
}

RotatingFileLogger::RotatingFileLogger(QString baseName, Level maxLevel, std::int64_t maxFileSizeB,
                                       std::int64_t maxVolumeSizeB)
    : AbstractLogger(maxLevel)
    , m_baseName(std::move(baseName))
    , m_maxFileSizeB(maxFileSizeB)
    , m_maxVolumeSizeB(maxVolumeSizeB)
{}

RotatingFileLogger::~RotatingFileLogger()
{
    if (m_file)
        std::fclose(m_file);
}

QString RotatingFileLogger::currentFilePath() const
{
    return m_baseName + QStringLiteral(".log");
}

bool RotatingFileLogger::openCurrent(QString* errorText)
{
    const QString path = currentFilePath();
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        if (errorText)
            *errorText = QStringLiteral("Cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    m_file = std::fopen(QFile::encodeName(path).constData(), "ab");
    if (!m_file) {
        if (errorText) {
            *errorText = QStringLiteral("Cannot open %1: %2")
                             .arg(path, SystemError::toString(SystemError::getLastOSErrorCode()));
        }
        return false;
    }
    m_fileSize = QFileInfo(path).size();
    return true;
}

void RotatingFileLogger::log(Level level, const Tag& tag, const QString& message)
{
    writeLine(StreamLogger::formatLine(level, tag, message));
}

void RotatingFileLogger::writeLine(const QByteArray& line)
{
    const std::lock_guard lock(m_fileMutex);
    // A file that already holds something is rotated before it would pass its limit; a single line
    // longer than the limit still goes into a file of its own rather than being lost.
    if (m_file && m_fileSize > 0 && m_fileSize + line.size() > m_maxFileSizeB)
        rotate();
    if (!m_file && !openCurrent(nullptr))
        return;
    const size_t written = std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), m_file);
    m_fileSize += static_cast<std::int64_t>(written);
    if (std::fflush(m_file) != 0 || written != static_cast<size_t>(line.size())) {
        // Reopen at the next line: the folder may come back, or space be freed.
        std::fclose(m_file);
        m_file = nullptr;
    }
}

void RotatingFileLogger::rotate()
{
    std::fclose(m_file);
    m_file = nullptr;
    const std::vector<RotatedFile> files = rotatedFiles(m_baseName);
    const qint64 next = files.empty() ? 1 : files.back().number + 1;
    QFile::rename(currentFilePath(), QStringLiteral("%1_%2.log").arg(m_baseName).arg(next, 6, 10, QLatin1Char('0')));
    removeOldest();
    openCurrent(nullptr);
}

void RotatingFileLogger::removeOldest()
{
    const std::vector<RotatedFile> files = rotatedFiles(m_baseName);
    qint64 total = 0;
    for (const RotatedFile& file : files)
        total += file.size;
    // The new current file starts empty; keep the volume (rotated files) within the limit.
    for (const RotatedFile& file : files) {
        if (total <= m_maxVolumeSizeB)
            break;
        if (QFile::remove(file.path))
            total -= file.size;
    }
}

} // namespace vorn::utils::log
