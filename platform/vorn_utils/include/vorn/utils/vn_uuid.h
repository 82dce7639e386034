// VnUuid: a 128-bit identifier of the utility library, for ids that must be the same on every run and
// every machine (event type ids made from camera topic names).
//
//     const VnUuid id = VnUuid::fromArbitraryData(QStringLiteral("RuleEngine/VMD3/Profile1"));
//     id.toString();   // "{xxxxxxxx-xxxx-5xxx-xxxx-xxxxxxxxxxxx}", the same text for the same input
//
// fromArbitraryData() is a name-based RFC 4122 version-5 identifier: SHA-1 over the nil namespace and the
// UTF-8 bytes of the text. The server stores ids built from it, so neither the derivation nor the text
// form may ever change.
//
// A plain value; like SystemError it lives in the global namespace, where its callers find it.
#pragma once

#include <array>
#include <cstdint>

#include <QtCore/QByteArray>
#include <QtCore/QString>

class VnUuid
{
public:
    /** The null identifier: all sixteen bytes zero. */
    VnUuid() = default;

    /** The version-5 identifier of the text's UTF-8 bytes in the nil namespace. */
    static VnUuid fromArbitraryData(const QString& data);
    static VnUuid fromArbitraryData(const QByteArray& data);

    bool isNull() const;

    /** Lower-case hexadecimal in groups of 8-4-4-4-12, with hyphens and braces. */
    QString toString() const;

    const std::array<std::uint8_t, 16>& bytes() const { return m_bytes; }

    friend bool operator==(const VnUuid&, const VnUuid&) = default;

private:
    std::array<std::uint8_t, 16> m_bytes{};
};
