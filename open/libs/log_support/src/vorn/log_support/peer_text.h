// vorn::log_support::PeerText: bytes that a camera or another peer sent, as a log line may quote them.
//
// A camera's reply or push can be megabytes long and hold any byte at all. Quoted as it came, a peer
// that repeats a bad push writes its whole body into the log each time, and a line feed in it starts a
// line that looks like one of ours. Wrapped in PeerText, the argument's log text is
//
//   - at most kMaxQuotedBytes of the bytes (never half a UTF-8 character), followed, when the bytes
//     were longer, by the marker "... (<full length> bytes in all)";
//   - with every control byte escaped: "\n", "\r" and "\t" as those two characters, any other byte
//     below 0x20 and 0x7F as "\xNN" (two lower-case hex digits).
//
//     VN_LOG(3, this, "JSON parsing failed - %1, data: %2", error, PeerText(body));
//
// A PeerText only refers to the bytes: make it inside the log statement, never keep it.
#pragma once

#include <cstddef>
#include <string_view>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace vorn::log_support {

class PeerText
{
public:
    // 1 KiB: enough to recognise a reply or a push in the log, while a flood of megabyte bodies costs
    // about a kilobyte a line.
    static constexpr std::size_t kMaxQuotedBytes = 1024;

    explicit PeerText(std::string_view bytes)
        : m_bytes(bytes)
    {}
    explicit PeerText(const QByteArray& bytes)
        : m_bytes(bytes.constData(), static_cast<std::size_t>(bytes.size()))
    {}
    explicit PeerText(const char* bytes)
        : m_bytes(bytes ? std::string_view(bytes) : std::string_view())
    {}

    std::string_view bytes() const { return m_bytes; }

    // The log text described above; the bytes are read as UTF-8.
    QString toString() const;

private:
    std::string_view m_bytes;
};

// The same text for a camera's text that was decoded already (an XML value, a topic), for a line that a
// caller composes of several (a multi-line dump of a notification).
QString peerLogText(const QString& text);

// Found by argument-dependent lookup when a PeerText is a log argument.
inline QString toString(const PeerText& text)
{
    return text.toString();
}

} // namespace vorn::log_support
