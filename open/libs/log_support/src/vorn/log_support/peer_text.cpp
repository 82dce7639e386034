#include "peer_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace vorn::log_support {

namespace {

constexpr std::string_view kCutMarkStart = "... (";
constexpr std::string_view kCutMarkEnd = " bytes in all)";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The cut mark with the longest length a std::size_t can have (20 digits), rounded up.
constexpr std::size_t kMaxCutMarkBytes = 64;
static_assert(kCutMarkStart.size() + 20 + kCutMarkEnd.size() <= kMaxCutMarkBytes);

constexpr char kHexDigits[] = "0123456789abcdef";

// The ASCII bytes that a quote shows as they are without a second look: printable, neither the escape
// character nor a '.' (which may start a forged cut mark).
constexpr std::array<bool, 256> kPlainAscii = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c)
        plain[static_cast<std::size_t>(c)] = c != '\\' && c != '.';
    return plain;
}();

// How one character (or one stray byte) of the peer's bytes is written into the quote.
enum class Form : std::uint8_t {
    asIs,      //< its bytes unchanged
    named,     //< a backslash and a letter ("\n") or a second backslash
    byte,      //< "\xNN" of its single byte
    character, //< "\uNNNN" of its code point
};

struct Unit
{
    std::size_t length = 0; //< bytes of the input it takes
    Form form = Form::asIs;
    char32_t value = 0; //< the letter (named), the byte (byte) or the code point (character)

    std::size_t quotedSize() const
    {
        switch (form) {
        case Form::asIs:
            return length;
        case Form::named:
            return 2;
        case Form::byte:
            return 4;
        case Form::character:
            return 6;
        }
        return 6;
    }
};

// Characters beyond ASCII that would break a line, hide text or reorder what a terminal shows of the
// line around them. Tested range by range from below, so that the common scripts take two tests.
bool isHiddenOrBreaking(char32_t c)
{
    if (c < 0xA0)
        return c >= 0x80; // C1 controls, NEL among them
    if (c < 0x200E)
        return c == 0x061C; // Arabic letter mark
    if (c <= 0x2069) {
        return c == 0x200E || c == 0x200F      // left-to-right and right-to-left marks
               || (c >= 0x2028 && c <= 0x202E) // line and paragraph separators, embeddings and overrides
               || c >= 0x2066;                 // isolates
    }
    return c == 0xFEFF; // byte order mark: invisible, and dropped by the decoder at the start of a text
}

// The unit that starts at bytes[i] (i < bytes.size()). Valid UTF-8 after RFC 3629: no overlong forms,
// no surrogates, nothing past U+10FFFF, no sequence cut off by the end of the bytes; anything else is
// one stray byte.
Unit nextUnit(std::string_view bytes, std::size_t i)
{
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
        switch (c) {
        case '\n':
            return {1, Form::named, U'n'};
        case '\r':
            return {1, Form::named, U'r'};
        case '\t':
            return {1, Form::named, U't'};
        case '\\':
            return {1, Form::named, U'\\'};
        case '.':
            if (bytes.substr(i, kCutMarkStart.size()) == kCutMarkStart)
                return {1, Form::byte, c};
            return {1, Form::asIs, 0};
        default:
            break;
        }
        if (c < 0x20 || c == 0x7F)
            return {1, Form::byte, c};
        return {1, Form::asIs, 0};
    }

    std::size_t continuation = 0;
    char32_t codePoint = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        continuation = 1;
        codePoint = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        continuation = 2;
        codePoint = c & 0x0F;
        if (c == 0xE0)
            low = 0xA0; // below: overlong
        else if (c == 0xED)
            high = 0x9F; // above: surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        continuation = 3;
        codePoint = c & 0x07;
        if (c == 0xF0)
            low = 0x90; // below: overlong
        else if (c == 0xF4)
            high = 0x8F; // above: past U+10FFFF
    } else {
        return {1, Form::byte, c};
    }
    if (bytes.size() - i - 1 < continuation)
        return {1, Form::byte, c};
    for (std::size_t k = 1; k <= continuation; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if (next < low || next > high)
            return {1, Form::byte, c};
        codePoint = (codePoint << 6) | (next & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    if (isHiddenOrBreaking(codePoint))
        return {1 + continuation, Form::character, codePoint};
    return {1 + continuation, Form::asIs, 0};
}

// "... (<N> bytes in all)", on the stack.
class CutMark
{
public:
    explicit CutMark(std::size_t fullLength)
    {
        char* end = std::copy(kCutMarkStart.begin(), kCutMarkStart.end(), m_data.data());
        end = std::to_chars(end, m_data.data() + m_data.size(), fullLength).ptr;
        end = std::copy(kCutMarkEnd.begin(), kCutMarkEnd.end(), end);
        m_size = static_cast<std::size_t>(end - m_data.data());
    }

    std::string_view text() const { return {m_data.data(), m_size}; }

private:
    std::array<char, kMaxCutMarkBytes> m_data;
    std::size_t m_size = 0;
};

// Sixteen bytes or eight UTF-16 characters, tested at once (SSE2 on x86-64, NEON on ARM).
using ByteVector = std::uint8_t __attribute__((vector_size(16)));
using CharacterVector = std::uint16_t __attribute__((vector_size(16)));
constexpr std::size_t kVectorBytes = 16;
constexpr std::size_t kVectorCharacters = 8;

template <typename Vector>
bool anyLane(const Vector& lanes)
{
    std::uint64_t halves[2];
    static_assert(sizeof(halves) == sizeof(lanes));
    std::memcpy(halves, &lanes, sizeof(halves));
    return (halves[0] | halves[1]) != 0;
}

// Whether the ASCII byte head[i] needs an escape (a '.' only where it starts "... (").
bool asciiNeedsEscape(std::string_view head, std::size_t i)
{
    const auto c = static_cast<unsigned char>(head[i]);
    return c < 0x80 && !kPlainAscii[c] && (c != '.' || head.substr(i, kCutMarkStart.size()) == kCutMarkStart);
}

// Whether the ASCII of `head` holds nothing to escape; sets *beyondAscii when it holds other bytes,
// which only their decoded text can tell. Runs for every quote written, and mostly on bytes without
// anything to escape: sixteen bytes at a time, without a branch, and a second look only when there
// were two dots in a row.
bool asciiIsPlain(std::string_view head, bool* beyondAscii)
{
    ByteVector toEscape{};
    ByteVector dotPairs{};
    ByteVector highBits{};
    std::size_t i = 0;
    // Each step reads one byte past its vector, for the dot that follows a dot.
    for (; i + kVectorBytes < head.size(); i += kVectorBytes) {
        ByteVector v;
        ByteVector next;
        std::memcpy(&v, head.data() + i, sizeof(v));
        std::memcpy(&next, head.data() + i + 1, sizeof(next));
        toEscape |= (v < 0x20) | (v == 0x7F) | (v == '\\');
        dotPairs |= (v == '.') & (next == '.');
        highBits |= v;
    }
    // A cut mark that starts before i starts with a pair the vectors saw; one after it, the loop below sees.
    if (anyLane(toEscape) || (anyLane(dotPairs) && head.find(kCutMarkStart) != std::string_view::npos))
        return false;
    bool tailBeyondAscii = false;
    for (; i < head.size(); ++i) {
        if (asciiNeedsEscape(head, i))
            return false;
        tailBeyondAscii |= static_cast<unsigned char>(head[i]) >= 0x80;
    }
    *beyondAscii = tailBeyondAscii || anyLane(highBits & 0x80);
    return true;
}

// Whether the quote of the first `size` bytes, cut there, needs a look that those bytes alone cannot
// give: a '.' right before the cut mark, or the peer's own "... (" across the cut.
bool cutNeedsALook(std::string_view bytes, std::size_t size)
{
    if (size == bytes.size())
        return false;
    const std::size_t from = size - std::min(size, kCutMarkStart.size() - 1);
    return bytes[size - 1] == '.' ||
           bytes.substr(from, 2 * (kCutMarkStart.size() - 1)).find(kCutMarkStart) != std::string_view::npos;
}

constexpr char16_t kReplacementCharacter = 0xFFFD;

bool needsEscapeOrReplaced(char16_t c)
{
    return c == kReplacementCharacter || isHiddenOrBreaking(c);
}

// Whether the characters beyond ASCII of decoded text need no escape, and none is the replacement
// character, which may stand for bytes that were no valid UTF-8. Eight characters at a time, without a
// branch, are tested for the few that may need one (U+0080-U+009F, U+061C, U+200E-U+2069, U+FEFF and
// the replacement character); only text that holds one of them is tested character by character.
bool decodedIsPlain(const QString& text)
{
    const auto* const begin = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* const end = begin + text.size();
    const char16_t* c = begin;
    CharacterVector mayNeedEscape{};
    for (; end - c >= static_cast<std::ptrdiff_t>(kVectorCharacters); c += kVectorCharacters) {
        CharacterVector v;
        std::memcpy(&v, c, sizeof(v));
        // Plain int constants (0xFFFD: the replacement character): clang 14 crashes on a char16_t one.
        mayNeedEscape |= ((v - 0x80) <= 0x9F - 0x80) | (v == 0x061C) | ((v - 0x200E) <= 0x2069 - 0x200E) |
                         (v == 0xFEFF) | (v == 0xFFFD);
    }
    return std::none_of(anyLane(mayNeedEscape) ? begin : c, end, needsEscapeOrReplaced);
}

// The quote and its cut mark, on the stack: both are bounded.
class QuoteBuffer
{
public:
    std::size_t size() const { return m_size; }

    void append(const char* data, std::size_t size)
    {
        std::memcpy(m_data.data() + m_size, data, size);
        m_size += size;
    }

    void append(std::string_view text) { append(text.data(), text.size()); }

    bool endsWith(char c) const { return m_size > 0 && m_data[m_size - 1] == c; }

    void removeLast() { --m_size; }

    void append(std::string_view bytes, const Unit& unit)
    {
        switch (unit.form) {
        case Form::asIs:
            append(bytes.data(), unit.length);
            return;
        case Form::named: {
            const char escaped[] = {'\\', static_cast<char>(unit.value)};
            append(escaped, sizeof(escaped));
            return;
        }
        case Form::byte: {
            const char escaped[] = {'\\', 'x', kHexDigits[(unit.value >> 4) & 0x0F], kHexDigits[unit.value & 0x0F]};
            append(escaped, sizeof(escaped));
            return;
        }
        case Form::character: {
            const char escaped[] = {'\\',
                                    'u',
                                    kHexDigits[(unit.value >> 12) & 0x0F],
                                    kHexDigits[(unit.value >> 8) & 0x0F],
                                    kHexDigits[(unit.value >> 4) & 0x0F],
                                    kHexDigits[unit.value & 0x0F]};
            append(escaped, sizeof(escaped));
            return;
        }
        }
    }

    QString toString() const { return QString::fromUtf8(m_data.data(), static_cast<int>(m_size)); }

private:
    std::array<char, PeerText::kMaxQuotedBytes + kMaxCutMarkBytes> m_data;
    std::size_t m_size = 0;
};

} // namespace

QString PeerText::toString() const
{
    const std::string_view bytes = m_bytes;
    // The common case first: nothing to escape, so the quote is the bytes' own UTF-8, decoded once. The
    // decoder drops a leading byte order mark, so such bytes take the escaping way.
    const std::string_view head = bytes.substr(0, kMaxQuotedBytes);
    bool beyondAscii = false;
    if (asciiIsPlain(head, &beyondAscii) && !(beyondAscii && head.starts_with(kByteOrderMark)) &&
        !cutNeedsALook(bytes, head.size())) {
        QString text = QString::fromUtf8(head.data(), static_cast<int>(head.size()));
        if (!beyondAscii || decodedIsPlain(text)) {
            if (head.size() < bytes.size()) {
                const CutMark mark(bytes.size());
                text.append(QLatin1String(mark.text().data(), static_cast<int>(mark.text().size())));
            }
            return text;
        }
    }

    QuoteBuffer quote;
    std::size_t shown = 0;
    while (shown < bytes.size()) {
        const Unit unit = nextUnit(bytes, shown);
        // Each unit goes in whole or not at all, so no escape and no character is cut.
        if (quote.size() + unit.quotedSize() > kMaxQuotedBytes)
            break;
        quote.append(bytes.substr(shown), unit);
        shown += unit.length;
    }
    if (shown < bytes.size()) {
        // A '.' of the peer's right before the mark would read as part of it: the last one is written
        // "\x2e", and where that has no room, left out. (Only a '.' shown as it is ends the quote in a '.':
        // no escape ends in one.)
        const Unit dot{1, Form::byte, '.'};
        while (quote.endsWith('.') && quote.size() - 1 + dot.quotedSize() > kMaxQuotedBytes)
            quote.removeLast();
        if (quote.endsWith('.')) {
            quote.removeLast();
            quote.append({}, dot);
        }
        quote.append(CutMark(bytes.size()).text());
    }
    return quote.toString();
}

QString peerLogText(const QString& text)
{
    return PeerText(text.toUtf8()).toString();
}

} // namespace vorn::log_support
