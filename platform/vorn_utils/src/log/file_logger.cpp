#include <vorn/utils/log/file_logger.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <vorn/utils/system_error.h>

namespace vorn::utils::log {

std::unique_ptr<FileLogger> FileLogger::open(const QString& path, Level maxLevel, QString* errorText)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        if (errorText)
            *errorText = QStringLiteral("Cannot create the folder %1").arg(info.absolutePath());
        return nullptr;
    }
    std::FILE* const file = std::fopen(QFile::encodeName(path).constData(), "ab");
    if (!file) {
        if (errorText) {
            *errorText = QStringLiteral("Cannot open %1: %2")
                             .arg(path, SystemError::toString(SystemError::getLastOSErrorCode()));
        }
        return nullptr;
    }
    return std::unique_ptr<FileLogger>(new FileLogger(file, path, maxLevel));
}

FileLogger::FileLogger(std::FILE* file, QString path, Level maxLevel)
    : StreamLogger(file, maxLevel)
    , m_file(file)
    , m_path(std::move(path))
{}

FileLogger::~FileLogger()
{
    std::fclose(m_file);
}

} // namespace vorn::utils::log
