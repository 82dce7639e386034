#include "assert.h"

#include <string_view>

#include <vorn/utils/assert.h>
#include <vorn/utils/system_error.h>
#include <vorn/utils/to_string.h>

namespace vorn::log_support {

namespace {

// The path up to the last dot of its file name: "a/b.c/file.cpp" gives "a/b.c/file".
std::string_view withoutExtension(std::string_view path)
{
    const size_t nameStart = path.find_last_of("/\\") + 1; //< npos + 1 == 0
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot <= nameStart)
        return path;
    return path.substr(0, dot);
}

} // namespace

bool reportAssertionFailure(bool critical, const char* file, int line, const char* condition,
                            const vorn::Formatter& message)
{
    const SystemError::ErrorCode savedErrorCode = SystemError::getLastOSErrorCode();
    const QString text = QStringLiteral("ASSERTION FAILED: %1:%2 (%3) %4")
                             .arg(vorn::detail::toString(withoutExtension(file ? file : "")), QString::number(line),
                                  vorn::detail::toString(condition), message.toQString());
    const bool result = vorn::utils::assertFailure(critical, text);
    SystemError::setLastErrorCode(savedErrorCode);
    return result;
}

} // namespace vorn::log_support
