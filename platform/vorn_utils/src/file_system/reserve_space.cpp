#include <vorn/utils/file_system/reserve_space.h>

#include <cerrno>

#include <fcntl.h>
#include <sys/statvfs.h>

namespace vorn::utils::file_system {

namespace {

bool hasFreeSpace(int fd, qint64 size)
{
    struct statvfs info;
    if (::fstatvfs(fd, &info) != 0)
        return false;
    const auto available = static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
    return available >= static_cast<unsigned long long>(size);
}

} // namespace

bool reserveSpace(QFile& file, qint64 size)
{
    if (size <= 0)
        return true;
    const int fd = file.handle();
    if (fd < 0)
        return false;
    file.flush();
    const int result = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (result == 0)
        return true;
    // No allocation on this file system (or this kind of file): judge by the free space instead.
    if (result == EOPNOTSUPP || result == EINVAL)
        return hasFreeSpace(fd, size);
    return false; // ENOSPC, EFBIG (larger than a file may grow), EIO, ...
}

} // namespace vorn::utils::file_system
