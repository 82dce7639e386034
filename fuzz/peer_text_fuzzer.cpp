// The text that a log line makes of a camera's or peer's bytes (vorn::log_support::PeerText): any bytes
// at all, cut at any place.
//
// Beyond "no crash": the text holds no control character (a quoted line feed never starts a line of its
// own), is bounded whatever the input's length, and is marked as cut exactly when the bytes were longer
// than the limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <QtCore/QString>

#include <vorn/log_support/peer_text.h>

#include "fuzz_support.h"

namespace {

using vorn::log_support::PeerText;

// Every kept byte escaped as "\xNN", then the marker with a length of up to 20 digits.
constexpr int kMaxTextSize = static_cast<int>(4 * PeerText::kMaxQuotedBytes) + 64;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    vorn::fuzz::prepare(input.takeBool());
    // The fuzzer's inputs stay short; a choice repeats them past the limit, so that the cut sees them too.
    const std::size_t copies = input.takeByte() % 4 == 0 ? 1 + PeerText::kMaxQuotedBytes : 1;
    QByteArray bytes;
    for (std::size_t i = 0; i < copies; ++i)
        bytes.append(input.rest().data(), static_cast<int>(input.rest().size()));

    const QString text = PeerText(bytes).toString();
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            std::abort(); // A control character reached the log.
    }
    if (text.size() > kMaxTextSize)
        std::abort(); // The quoted bytes are not bounded.
    const bool cut = text.endsWith(QStringLiteral(" bytes in all)"));
    if (cut != (static_cast<std::size_t>(bytes.size()) > PeerText::kMaxQuotedBytes))
        std::abort(); // Marked as cut when it was not, or cut without the mark.
    return 0;
}
