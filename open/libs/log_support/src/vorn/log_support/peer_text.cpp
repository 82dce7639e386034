#include "peer_text.h"

#include <algorithm>
#include <string>

#include <vorn/utils/to_string.h>

namespace vorn::log_support {

namespace {

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Where to cut `bytes` so that at most `limit` of them stay and no UTF-8 character is split: a cut in
// the middle of a character moves back to the character's first byte. Bytes that are no valid UTF-8
// (more than three continuation bytes in a row) are cut at the limit.
std::size_t cutAt(std::string_view bytes, std::size_t limit)
{
    if (bytes.size() <= limit)
        return bytes.size();
    constexpr std::size_t kMaxContinuationBytes = 3;
    std::size_t cut = limit;
    while (cut > 0 && limit - cut < kMaxContinuationBytes && isContinuation(static_cast<unsigned char>(bytes[cut])))
        --cut;
    return isContinuation(static_cast<unsigned char>(bytes[cut])) ? limit : cut;
}

void appendEscaped(std::string* out, unsigned char c)
{
    switch (c) {
    case '\n':
        out->append("\\n");
        return;
    case '\r':
        out->append("\\r");
        return;
    case '\t':
        out->append("\\t");
        return;
    default:
        break;
    }
    constexpr char kHexDigits[] = "0123456789abcdef";
    const char escaped[] = {'\\', 'x', kHexDigits[c >> 4], kHexDigits[c & 0x0F]};
    out->append(escaped, sizeof(escaped));
}

} // namespace

QString PeerText::toString() const
{
    const std::string_view kept = m_bytes.substr(0, cutAt(m_bytes, kMaxQuotedBytes));
    const bool hasControl =
        std::any_of(kept.begin(), kept.end(), [](char c) { return isControl(static_cast<unsigned char>(c)); });

    QString text;
    if (!hasControl) {
        text = vorn::detail::toString(kept);
    } else {
        std::string escaped;
        escaped.reserve(kept.size() + kept.size() / 4);
        for (const char c : kept) {
            if (isControl(static_cast<unsigned char>(c)))
                appendEscaped(&escaped, static_cast<unsigned char>(c));
            else
                escaped.push_back(c);
        }
        text = vorn::detail::toString(escaped);
    }
    if (kept.size() < m_bytes.size())
        text += QStringLiteral("... (%1 bytes in all)").arg(static_cast<qulonglong>(m_bytes.size()));
    return text;
}

QString peerLogText(const QString& text)
{
    return PeerText(text.toUtf8()).toString();
}

} // namespace vorn::log_support
