#include "object_log_tag.h"

#include <array>
#include <charconv>

#include <QtCore/QLatin1String>

namespace vorn::log_support::detail {

// Built in one allocation of the final size: a log statement with an object tag makes one of these
// every time it is written, so appending piece by piece (each append a reallocation) showed up as
// most of the cost of a detail line.
QString makeObjectLogTag(const QString& className, std::uint64_t address, const QString& suffix)
{
    std::array<char, 16> digits{}; //< 64 bits in hexadecimal.
    const auto digitsEnd = std::to_chars(digits.data(), digits.data() + digits.size(), address, 16).ptr;
    const QLatin1String addressText(digits.data(), static_cast<int>(digitsEnd - digits.data()));
    const QLatin1String opening("(0x");
    const QLatin1String separator(", ");

    QString tag;
    tag.reserve(className.size() + opening.size() + addressText.size() +
                (suffix.isEmpty() ? 0 : separator.size() + suffix.size()) + 1);
    tag.append(className).append(opening).append(addressText);
    if (!suffix.isEmpty())
        tag.append(separator).append(suffix);
    tag.append(QLatin1Char(')'));
    return tag;
}

} // namespace vorn::log_support::detail
