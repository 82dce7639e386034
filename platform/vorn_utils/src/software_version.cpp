#include <vorn/utils/software_version.h>

#include <QtCore/QStringList>

namespace vorn::utils {

SoftwareVersion::SoftwareVersion(int major, int minor, int bugfix, int build)
    : m_numbers{major, minor, bugfix, build}
{}

SoftwareVersion::SoftwareVersion(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() > static_cast<int>(m_numbers.size()))
        return;
    std::array<int, 4> numbers{};
    for (int i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        // toInt() alone would take a sign or surrounding blanks; a version number is digits only.
        if (part.isEmpty() || part.size() > 10)
            return;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return;
        }
        bool ok = false;
        numbers[static_cast<std::size_t>(i)] = part.toInt(&ok);
        if (!ok)
            return;
    }
    m_numbers = numbers;
}

SoftwareVersion::SoftwareVersion(const char* text)
    : SoftwareVersion(QString::fromUtf8(text))
{}

bool SoftwareVersion::isNull() const
{
    return m_numbers == std::array<int, 4>{};
}

QString SoftwareVersion::toString(Format format) const
{
    QString text = QString::number(m_numbers[0]);
    for (int i = 1; i < static_cast<int>(format) && i < static_cast<int>(m_numbers.size()); ++i)
        text += QLatin1Char('.') + QString::number(m_numbers[static_cast<std::size_t>(i)]);
    return text;
}

} // namespace vorn::utils
