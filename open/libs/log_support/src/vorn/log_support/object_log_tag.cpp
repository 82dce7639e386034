#include "object_log_tag.h"

namespace vorn::log_support::detail {

QString makeObjectLogTag(const QString& className, std::uint64_t address, const QString& suffix)
{
    QString tag = className;
    tag += QStringLiteral("(0x");
    tag += QString::number(address, 16);
    if (!suffix.isEmpty()) {
        tag += QStringLiteral(", ");
        tag += suffix;
    }
    tag += QLatin1Char(')');
    return tag;
}

} // namespace vorn::log_support::detail
