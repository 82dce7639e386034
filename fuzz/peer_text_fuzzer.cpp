// The text that a log line makes of a camera's or peer's bytes (vorn::log_support::PeerText): any bytes
// at all, cut at any place.
//
// Beyond "no crash", read back from the text alone:
//   - it holds no character that starts a line, hides text or reorders it (controls, C1 controls, line
//     and paragraph separators, bidirectional marks and controls, the byte order mark);
//   - every backslash starts one of the escapes "\\", "\n", "\r", "\t", "\xNN" or "\uNNNN", and undoing
//     them gives back the bytes, all of them or the first ones: nothing is lost, changed or added;
//   - "... (" appears only as the cut mark at the end, "... (<N> bytes in all)" with N the length of the
//     bytes, and exactly when not every byte is shown; the quote before it is then nearly full, and
//     ends in no '.' of the peer's that would read as part of the mark;
//   - the quote is bounded by kMaxQuotedBytes whatever the bytes' length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <vorn/log_support/peer_text.h>

#include "fuzz_support.h"

namespace {

using vorn::log_support::PeerText;

// The longest escape, "\uNNNN": a cut quote has less room left than that.
constexpr std::size_t kLongestUnit = 6;

bool isForbidden(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

std::optional<unsigned> lowerHex(std::string_view digits)
{
    unsigned value = 0;
    for (const char digit : digits) {
        if (digit >= '0' && digit <= '9')
            value = value * 16 + static_cast<unsigned>(digit - '0');
        else if (digit >= 'a' && digit <= 'f')
            value = value * 16 + static_cast<unsigned>(digit - 'a' + 10);
        else
            return std::nullopt;
    }
    return value;
}

void appendUtf8(std::string* out, unsigned codePoint)
{
    if (codePoint < 0x80) {
        out->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// The bytes that the quote shows, or nothing when a backslash starts no known escape.
std::optional<std::string> unescape(std::string_view quote)
{
    std::string bytes;
    for (std::size_t i = 0; i < quote.size(); ++i) {
        if (quote[i] != '\\') {
            bytes.push_back(quote[i]);
            continue;
        }
        if (++i == quote.size())
            return std::nullopt;
        switch (quote[i]) {
        case '\\':
            bytes.push_back('\\');
            break;
        case 'n':
            bytes.push_back('\n');
            break;
        case 'r':
            bytes.push_back('\r');
            break;
        case 't':
            bytes.push_back('\t');
            break;
        case 'x':
        case 'u': {
            // "\xNN" is one byte, "\uNNNN" one character.
            const std::size_t digits = quote[i] == 'x' ? 2 : 4;
            if (quote.size() - i - 1 < digits)
                return std::nullopt;
            const auto value = lowerHex(quote.substr(i + 1, digits));
            if (!value)
                return std::nullopt;
            if (digits == 2)
                bytes.push_back(static_cast<char>(*value));
            else
                appendUtf8(&bytes, *value);
            i += digits;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    // The fuzzer's inputs stay short; a choice repeats them just past the limit, so that the cut sees
    // them too.
    const bool repeat = input.takeByte() % 4 == 0;
    const std::string_view rest = input.rest();
    const std::size_t copies = repeat && !rest.empty() ? 1 + PeerText::kMaxQuotedBytes / rest.size() : 1;
    QByteArray bytes;
    for (std::size_t i = 0; i < copies; ++i)
        bytes.append(rest.data(), static_cast<int>(rest.size()));

    const QString text = PeerText(bytes).toString();
    for (const QChar c : text) {
        if (isForbidden(c.unicode()))
            std::abort(); // A character that breaks, hides or reorders a line reached the log.
    }

    const QString mark = QStringLiteral("... (%1 bytes in all)").arg(bytes.size());
    const int markAt = static_cast<int>(text.indexOf(QStringLiteral("... (")));
    const bool cut = markAt >= 0;
    if (cut && (markAt != text.size() - mark.size() || !text.endsWith(mark)))
        std::abort(); // "... (" elsewhere than as the exact mark at the end: forged or wrong.
    const QByteArray quote = (cut ? text.left(markAt) : text).toUtf8();
    if (static_cast<std::size_t>(quote.size()) > PeerText::kMaxQuotedBytes)
        std::abort(); // The quote is not bounded.
    const std::optional<std::string> shown = unescape(std::string_view(quote.constData(), quote.size()));
    if (!shown)
        std::abort(); // A backslash that starts no escape: a peer's escape passed as ours.
    const std::string_view all(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (all.substr(0, shown->size()) != *shown)
        std::abort(); // The quote shows other bytes than the peer's.
    if (cut != (shown->size() < all.size()))
        std::abort(); // Marked as cut with every byte shown, or bytes left out without the mark.
    if (cut && quote.endsWith('.'))
        std::abort(); // The peer's dots run into the mark.
    if (cut && static_cast<std::size_t>(quote.size()) + kLongestUnit <= PeerText::kMaxQuotedBytes)
        std::abort(); // Cut while there was room for the next character or escape.
    return 0;
}
