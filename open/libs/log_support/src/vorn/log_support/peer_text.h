// vorn::log_support::PeerText: bytes that a camera or another peer sent, as a log line may quote them.
//
// A camera's reply or push can be megabytes long and hold any byte at all. Quoted as it came, a peer
// that repeats a bad push writes its whole body into the log each time, a line feed in it starts a line
// that looks like one of ours, and a bidirectional override makes a reader's terminal show our own text
// after it in another order. Wrapped in PeerText, the argument's log text is the quote of the bytes:
//
//   - every character that could start a line, hide or reorder text, or read as one of our escapes, is
//     escaped; the rest is the bytes' UTF-8 text as it is:
//       "\n", "\r", "\t"   line feed, carriage return, tab;
//       "\\"               a backslash, so that a peer's own "\n" reads as "\\n" and no escape is forged;
//       "\xNN"             any other byte below 0x20, 0x7F, and every byte that is not part of valid
//                          UTF-8 (a stray continuation byte, an overlong or cut-off sequence, a surrogate):
//                          one escape per byte, two lower-case hex digits;
//       "\uNNNN"           the characters beyond ASCII that hide or break text: the C1 controls
//                          U+0080-U+009F, the line and paragraph separators U+2028 and U+2029, the
//                          invisible bidirectional marks, embeddings, overrides and isolates (U+061C,
//                          U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) and the byte order mark U+FEFF
//                          (invisible; a UTF-8 decoder drops it at the start of a text): four lower-case
//                          hex digits of the code point;
//   - at most kMaxQuotedBytes bytes of that escaped text, never cut inside an escape or a character;
//   - followed by the cut mark "... (<N> bytes in all)", N the full length of the bytes, exactly when
//     not every byte is shown.
//
// The cut mark cannot be forged: where the bytes themselves hold "... (", its first '.' is written
// "\x2e", so "... (" appears in a quote only as our mark. (No escape can make it either: every escape
// starts with a backslash and holds no '.', ' ' or '('.) That costs a second look only where two dots
// follow each other. Nor does the peer's text run into the mark: a '.' that the mark would follow is
// written "\x2e" too, or left out where that escape has no room, so the mark's dots are all ours.
//
// Most quoted bytes hold nothing to escape: they are tested sixteen bytes (then eight decoded characters)
// at a time and decoded once, as they came; only bytes with something to escape are quoted character by
// character.
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
    // 1 KiB of quote (escaped text, without the cut mark): enough to recognise a reply or a push in the
    // log, while a flood of megabyte bodies, or of bodies that are all escapes, costs about a kilobyte a
    // line.
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

    // The quote described above.
    QString toString() const;

private:
    std::string_view m_bytes;
};

// The same quote of a camera's text that was decoded already (an XML value, a topic), for a line that a
// caller composes of several (a multi-line dump of a notification): the text's UTF-8 bytes quoted by
// PeerText, so the cut mark counts those bytes.
QString peerLogText(const QString& text);

// Found by argument-dependent lookup when a PeerText is a log argument.
inline QString toString(const PeerText& text)
{
    return text.toString();
}

} // namespace vorn::log_support
