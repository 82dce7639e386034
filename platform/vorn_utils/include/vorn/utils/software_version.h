// vorn::utils::SoftwareVersion: a four-number version ("5.1.4.38659"), as the launcher keys its installed
// client versions.
//
// A version is built empty (the null version 0.0.0.0), from four numbers, or from a text of one to four
// dot-separated decimal numbers (missing numbers are 0: "5.1" is 5.1.0.0). A text that is anything else
// ("5.1.x", "5..1", "", " 5.1", five numbers, a number past the int range) gives the null version, so a
// damaged folder name or file never turns into a real version. Versions order number by number:
//
//     QMap<SoftwareVersion, QString> folders;
//     folders.insert(SoftwareVersion("5.1.4.38659"), path);
//     SoftwareVersion("5.1") < SoftwareVersion(5, 1, 0, 1);                   // true
//     SoftwareVersion(5, 1, 4, 1).toString(SoftwareVersion::MinorFormat);     // "5.1"
#pragma once

#include <array>
#include <compare>

#include <QtCore/QString>

namespace vorn::utils {

class SoftwareVersion
{
public:
    enum Format {
        MinorFormat = 2, // "major.minor"
        FullFormat = 4,  // "major.minor.bugfix.build"
    };

    SoftwareVersion() = default;
    SoftwareVersion(int major, int minor, int bugfix = 0, int build = 0);
    explicit SoftwareVersion(const QString& text);
    explicit SoftwareVersion(const char* text);

    int major() const { return m_numbers[0]; }
    int minor() const { return m_numbers[1]; }
    int bugfix() const { return m_numbers[2]; }
    int build() const { return m_numbers[3]; }

    // True for 0.0.0.0: never set, or made from a text that is not a version.
    bool isNull() const;

    QString toString(Format format = FullFormat) const;

    friend bool operator==(const SoftwareVersion&, const SoftwareVersion&) = default;
    friend std::strong_ordering operator<=>(const SoftwareVersion&, const SoftwareVersion&) = default;

private:
    std::array<int, 4> m_numbers{};
};

} // namespace vorn::utils
