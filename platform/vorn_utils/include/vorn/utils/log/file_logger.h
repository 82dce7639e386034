// vorn::utils::log::FileLogger: a StreamLogger that appends to a file it owns.
//
// open() creates the file's folder when needed and appends to an existing file; it fails with the
// system's reason instead of handing out a logger that writes nowhere:
//
//     QString error;
//     auto logger = vorn::utils::log::FileLogger::open(path, Level::info, &error);
//     if (!logger)
//         reportSomewhere(error);
#pragma once

#include <memory>

#include <vorn/utils/log/stream_logger.h>

namespace vorn::utils::log {

class FileLogger : public StreamLogger
{
public:
    // Null when the file cannot be opened for appending; then *errorText (when given) says why.
    static std::unique_ptr<FileLogger> open(const QString& path, Level maxLevel, QString* errorText = nullptr);

    ~FileLogger() override;

    const QString& path() const { return m_path; }

private:
    FileLogger(std::FILE* file, QString path, Level maxLevel);

    std::FILE* const m_file;
    const QString m_path;
};

} // namespace vorn::utils::log
