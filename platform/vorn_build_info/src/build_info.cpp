#include <vorn/build_info.h>

namespace vorn::build_info {

QString vmsVersion()
{
    return QStringLiteral("5.1.4.38659");
}

} // namespace vorn::build_info
