#include <vorn/utils/flags_detail.h>

#include <vorn/utils/assert.h>
#include <vorn/utils/log/log.h>
#include <vorn/utils/to_string.h>

namespace vorn::utils::flags_detail {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\f\v";

void logWarning(const std::type_info& enumType, const QString& message)
{
    if (log::maxLevel() < log::Level::warning)
        return;
    const log::Tag tag(enumType);
    const auto logger = log::getLogger(tag);
    if (logger && logger->isToBeLogged(log::Level::warning, tag))
        logger->log(log::Level::warning, tag, message);
}

// Masks in reports are hexadecimal, as a reader compares them with the enum's bit values.
QString hexBits(int bits)
{
    return QStringLiteral("0x") + QString::number(static_cast<unsigned int>(bits), 16);
}

} // namespace

std::string_view trim(const std::string_view& token)
{
    const size_t first = token.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos)
        return {};
    const size_t last = token.find_last_not_of(kWhiteSpace);
    return token.substr(first, last - first + 1);
}

void logInvalidFlagRepresentation(const std::type_info& enumType, const std::string_view& token)
{
    logWarning(enumType, QStringLiteral("Invalid flag `%1` of %2: neither a flag name nor a number")
                             .arg(vorn::detail::toString(token), vorn::detail::toString(enumType)));
}

void logInvalidFlagValue(const std::type_info& enumType, int value, int invalidBits)
{
    logWarning(enumType, QStringLiteral("Invalid flag value %1 of %2: undefined bits %3%4")
                             .arg(QString::number(value), vorn::detail::toString(enumType), hexBits(invalidBits),
                                  value < 0 ? QStringLiteral(", negative") : QString()));
}

bool assertInvalidFlagValue(const std::type_info& enumType, int value, int invalidBits)
{
    return assertFailure(
        /*critical*/ false,
        QStringLiteral("ASSERTION FAILED: %1:%2 (%3) %4")
            .arg(QStringLiteral(__FILE__), QString::number(__LINE__), QStringLiteral("invalidBits == 0"),
                 QStringLiteral("Flag value %1 of %2 has bits without a name: %3")
                     .arg(QString::number(value), vorn::detail::toString(enumType), hexBits(invalidBits))));
}

} // namespace vorn::utils::flags_detail
