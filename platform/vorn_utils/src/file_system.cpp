#include <vorn/utils/file_system.h>

#include <QtCore/QFileInfo>

namespace vorn::utils::file_system {

bool ensureDir(const QDir& dir)
{
    const QString path = dir.absolutePath();
    QDir().mkpath(path);
    return QFileInfo(path).isDir();
}

} // namespace vorn::utils::file_system
