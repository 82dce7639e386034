#include <vorn/utils/vn_uuid.h>

#include <QtCore/QCryptographicHash>

VnUuid VnUuid::fromArbitraryData(const QString& data)
{
    return fromArbitraryData(data.toUtf8());
}

VnUuid VnUuid::fromArbitraryData(const QByteArray& data)
{
    // RFC 4122, section 4.3: hash the namespace id (here the nil id, sixteen zero bytes) followed by the
    // name, keep the first sixteen bytes of the digest, then stamp the version and the variant.
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArray(16, '\0'));
    hash.addData(data);
    const QByteArray digest = hash.result();

    VnUuid id;
    for (std::size_t i = 0; i < id.m_bytes.size(); ++i)
        id.m_bytes[i] = static_cast<std::uint8_t>(digest[static_cast<int>(i)]);
    id.m_bytes[6] = static_cast<std::uint8_t>((id.m_bytes[6] & 0x0F) | 0x50); // version 5
    id.m_bytes[8] = static_cast<std::uint8_t>((id.m_bytes[8] & 0x3F) | 0x80); // variant 1 (RFC 4122)
    return id;
}

bool VnUuid::isNull() const
{
    for (const std::uint8_t byte : m_bytes) {
        if (byte != 0)
            return false;
    }
    return true;
}

QString VnUuid::toString() const
{
    static constexpr char kHex[] = "0123456789abcdef";
    QString text;
    text.reserve(38);
    text += QLatin1Char('{');
    for (std::size_t i = 0; i < m_bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += QLatin1Char('-');
        text += QLatin1Char(kHex[m_bytes[i] >> 4]);
        text += QLatin1Char(kHex[m_bytes[i] & 0x0F]);
    }
    text += QLatin1Char('}');
    return text;
}
