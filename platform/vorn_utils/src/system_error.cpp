#include <vorn/utils/system_error.h>

#include <cerrno>
#include <system_error>

SystemError::ErrorCode SystemError::getLastOSErrorCode()
{
    return static_cast<ErrorCode>(errno);
}

void SystemError::setLastErrorCode(ErrorCode code)
{
    errno = static_cast<int>(code);
}

QString SystemError::toString(ErrorCode code)
{
    // The category's message is thread-safe, unlike strerror().
    return QString::fromStdString(std::system_category().message(static_cast<int>(code)));
}
