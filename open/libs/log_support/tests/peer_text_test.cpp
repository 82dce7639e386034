#include <string>

#include <gtest/gtest.h>

#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/utils/log/log_capture.h>

#include "log_test_support.h"

namespace log_support_test {
namespace {

using vorn::log_support::PeerText;

constexpr std::size_t kLimit = PeerText::kMaxQuotedBytes;

// n characters c.
QString chars(std::size_t n, QChar c)
{
    return QString(static_cast<int>(n), c);
}

std::string repeated(std::size_t count, char c)
{
    return std::string(count, c);
}

QString marker(std::size_t fullLength)
{
    return QStringLiteral("... (%1 bytes in all)").arg(fullLength);
}

struct Row
{
    const char* name;
    std::string bytes;
    QString expected;
};

template <std::size_t N>
void expectQuotes(const Row (&rows)[N])
{
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(PeerText(std::string_view(row.bytes)).toString(), row.expected);
        EXPECT_EQ(PeerText(QByteArray::fromStdString(row.bytes)).toString(), row.expected);
    }
}

TEST(PeerText, escapesWhatCouldBreakHideOrForgeALine)
{
    const std::string e = "\xC3\xA9";            // U+00E9, two bytes
    const std::string clef = "\xF0\x9D\x84\x9E"; // U+1D11E, four bytes
    const Row rows[] = {
        {"plain text as it is", R"({"a":"b c","n":[1,2]})", R"({"a":"b c","n":[1,2]})"},
        {"a JSON escape shows its backslash doubled", R"({"a":"b\"c"})", R"({"a":"b\\"c"})"},
        {"empty", "", ""},
        {"line breaks and tab", "a\nb\r\nc\td", "a\\nb\\r\\nc\\td"},
        {"other control bytes in hex", std::string("\x01x\x1f\x7f", 4) + std::string(1, '\0'), "\\x01x\\x1f\\x7f\\x00"},
        {"a backslash doubled: no forged escape", "a\\nb\\x01\\", "a\\\\nb\\\\x01\\\\"},
        {"UTF-8 text decoded", "caf" + e + clef, QString::fromUtf8("caf\u00e9\U0001D11E")},
        {"the peer's own cut mark", "ok... (2 bytes in all)", "ok\\x2e.. (2 bytes in all)"},
        {"each of the peer's cut marks", "... (.... (", "\\x2e.. (.\\x2e.. ("},
        {"dots without the mark as they are", "1.5 ... .. ( ...(", "1.5 ... .. ( ...("},
        {"C1 controls: first and last",
         "a\xC2\x80"
         "b\xC2\x9F",
         "a\\u0080b\\u009f"},
        {"next line (C1)",
         "a\xC2\x85"
         "b",
         "a\\u0085b"},
        {"no-break space after the C1 controls as it is", "a\xC2\xA0", QString::fromUtf8("a\u00a0")},
        {"line and paragraph separators",
         "a\xE2\x80\xA8"
         "b\xE2\x80\xA9",
         "a\\u2028b\\u2029"},
        {"bidirectional embeddings and overrides", "\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD\xE2\x80\xAE",
         "\\u202a\\u202b\\u202c\\u202d\\u202e"},
        {"bidirectional isolates", "\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9", "\\u2066\\u2067\\u2068\\u2069"},
        {"bidirectional marks", "\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F", "\\u061c\\u200e\\u200f"},
        {"byte order mark, at the start and inside",
         "\xEF\xBB\xBF"
         "a\xEF\xBB\xBF",
         "\\ufeffa\\ufeff"},
        {"byte order mark at the start only",
         "\xEF\xBB\xBF"
         "a",
         "\\ufeffa"},
        {"neighbours of the escaped ranges as they are",
         "\xD8\x9B\xE2\x80\x8D\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
         QString::fromUtf8("\u061b\u200d\u2027\u202f\u2065\u206a")},
        {"invalid byte in hex", "a\xFF", "a\\xff"},
        {"stray continuation byte",
         "\x80"
         "a",
         "\\x80a"},
        {"overlong line feed", "\xC0\x8A", "\\xc0\\x8a"},
        {"overlong line separator", "\xF0\x82\x80\xA8", "\\xf0\\x82\\x80\\xa8"},
        {"overlong three-byte form", "\xE0\x80\x8A", "\\xe0\\x80\\x8a"},
        {"surrogate", "\xED\xA0\x80", "\\xed\\xa0\\x80"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"line separator cut off by the end", "a\xE2\x80", "a\\xe2\\x80"},
        {"cut-off character before ASCII",
         "\xE2\x80"
         "a",
         "\\xe2\\x80a"},
    };
    expectQuotes(rows);
    // The same amid plain text, where the common case tests many bytes or characters at once.
    const std::string padding = "0123456789abcdefghij";
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + ", amid plain text");
        EXPECT_EQ(PeerText(padding + row.bytes + padding).toString(),
                  QString::fromStdString(padding) + row.expected + QString::fromStdString(padding));
    }
    EXPECT_EQ(PeerText(static_cast<const char*>(nullptr)).toString(), "");
    EXPECT_EQ(PeerText("a\tb").toString(), "a\\tb");
}

// The common case tests sixteen bytes, then eight decoded characters, at a time. A character to escape
// is found wherever those blocks fall on it, and quoted as the character-by-character way quotes it (a
// backslash anywhere sends the whole quote that way).
TEST(PeerText, escapesWhereverTheBlocksTestedAtOnceFall)
{
    struct Character
    {
        const char* name;
        std::string bytes;
        QString escaped;
    };
    const Character characters[] = {
        {"last C1 control", "\xC2\x9F", "\\u009f"},
        {"first C1 control", "\xC2\x80", "\\u0080"},
        {"Arabic letter mark", "\xD8\x9C", "\\u061c"},
        {"right-to-left mark", "\xE2\x80\x8F", "\\u200f"},
        {"right-to-left override", "\xE2\x80\xAE", "\\u202e"},
        {"paragraph separator", "\xE2\x80\xA9", "\\u2029"},
        {"pop directional isolate", "\xE2\x81\xA9", "\\u2069"},
        {"byte order mark", "\xEF\xBB\xBF", "\\ufeff"},
    };
    struct Place
    {
        const char* name;
        std::size_t before; //< ASCII bytes, so also characters, before it
        std::size_t after;
    };
    const Place places[] = {
        {"alone", 0, 0},
        {"start of the first block", 0, 20},
        {"middle of a block", 3, 20},
        {"last character of a block of eight, text ends there", 7, 0},
        {"last character of a block of eight, text goes on", 7, 9},
        {"first character of the second block of eight", 8, 8},
        {"ending the first sixteen bytes", 14, 17},
        {"across the end of the first sixteen bytes", 15, 16},
        {"in the bytes left after the blocks", 17, 1},
        {"after a long ASCII run", 1000, 3},
    };
    for (const Character& character : characters) {
        for (const Place& place : places) {
            SCOPED_TRACE(std::string(character.name) + ", " + place.name);
            const std::string bytes = repeated(place.before, 'a') + character.bytes + repeated(place.after, 'b');
            const QString expected = chars(place.before, 'a') + character.escaped + chars(place.after, 'b');
            EXPECT_EQ(PeerText(bytes).toString(), expected);
            EXPECT_EQ(PeerText(bytes + "\\").toString(), expected + "\\\\");
        }
    }
}

TEST(PeerText, quotesAtMostTheLimitAndMarksTheCut)
{
    const std::string e = "\xC3\xA9";             // U+00E9, two bytes
    const std::string euro = "\xE2\x82\xAC";      // U+20AC, three bytes
    const std::string clef = "\xF0\x9D\x84\x9E";  // U+1D11E, four bytes
    const std::string separator = "\xE2\x80\xA8"; // U+2028, quoted in six bytes
    const Row rows[] = {
        {"at the limit: whole", repeated(kLimit, 'a'), chars(kLimit, 'a')},
        {"one past the limit: cut with the full length", repeated(kLimit + 1, 'a'),
         chars(kLimit, 'a') + marker(kLimit + 1)},
        {"a megabyte", repeated(1 << 20, 'x'), chars(kLimit, 'x') + marker(1 << 20)},
        {"two-byte character across the cut is left out", repeated(kLimit - 1, 'a') + e + "b",
         chars(kLimit - 1, 'a') + marker(kLimit + 2)},
        {"two-byte character ending at the limit stays", repeated(kLimit - 2, 'a') + e + "b",
         chars(kLimit - 2, 'a') + QChar(0xE9) + marker(kLimit + 1)},
        {"three-byte character across the cut", repeated(kLimit - 2, 'a') + euro,
         chars(kLimit - 2, 'a') + marker(kLimit + 1)},
        {"four-byte character across the cut", repeated(kLimit - 1, 'a') + clef,
         chars(kLimit - 1, 'a') + marker(kLimit + 3)},
        {"control bytes past the cut do not count", repeated(kLimit, 'a') + "\n\n",
         chars(kLimit, 'a') + marker(kLimit + 2)},
        {"escapes count as written: at the limit", repeated(kLimit / 4, '\x01'),
         QString("\\x01").repeated(static_cast<int>(kLimit / 4))},
        {"escapes count as written: one past the limit", repeated(kLimit / 4 + 1, '\x01'),
         QString("\\x01").repeated(static_cast<int>(kLimit / 4)) + marker(kLimit / 4 + 1)},
        {"escape across the cut is left out, not halved", repeated(kLimit - 1, 'a') + "\n",
         chars(kLimit - 1, 'a') + marker(kLimit)},
        {"short bytes whose last escape does not fit", repeated(kLimit - 3, 'a') + "\x01",
         chars(kLimit - 3, 'a') + marker(kLimit - 2)},
        {"character escape ending at the limit stays", repeated(kLimit - 6, 'a') + separator,
         chars(kLimit - 6, 'a') + "\\u2028"},
        {"character escape across the cut is left out", repeated(kLimit - 5, 'a') + separator,
         chars(kLimit - 5, 'a') + marker(kLimit - 2)},
        {"escapes of a cut text", std::string(kLimit + 5, '\n'),
         QString("\\n").repeated(static_cast<int>(kLimit / 2)) + marker(kLimit + 5)},
        {"no character start near the cut: stray bytes in hex", repeated(kLimit + 10, '\x80'),
         QString("\\x80").repeated(static_cast<int>(kLimit / 4)) + marker(kLimit + 10)},
        {"the peer's cut mark in a cut text: ours only at the end", "x... (1 bytes in all)" + repeated(kLimit, 'z'),
         "x\\x2e.. (1 bytes in all)" + chars(kLimit - 24, 'z') + marker(kLimit + 21)},
    };
    expectQuotes(rows);
}

// The cut mark follows no '.' of the peer's, whether its own "... (" or any other dots meet the cut: they
// would read as part of the mark ("x..... (N bytes in all)"). Everything else about the cut stays as it is.
TEST(PeerText, cutMarkFollowsNoDotOfThePeers)
{
    const std::size_t full = kLimit + 20;
    // The peer's "... (" at `at`, the rest 'z' up to `full` bytes.
    const auto lookAlikeAt = [&](std::size_t at) { return repeated(at, 'a') + "... (" + repeated(full - at - 5, 'z'); };
    const Row rows[] = {
        {"the peer's mark starts at the limit", lookAlikeAt(kLimit), chars(kLimit, 'a') + marker(full)},
        {"limit after its first dot", lookAlikeAt(kLimit - 1), chars(kLimit - 1, 'a') + marker(full)},
        {"limit after its second dot", lookAlikeAt(kLimit - 2), chars(kLimit - 2, 'a') + marker(full)},
        {"limit after its third dot", lookAlikeAt(kLimit - 3), chars(kLimit - 3, 'a') + marker(full)},
        {"limit after its space", lookAlikeAt(kLimit - 4), chars(kLimit - 4, 'a') + "\\x2e" + marker(full)},
        // Its first dot, escaped, takes four bytes: the dots after it have no room for theirs.
        {"limit after its parenthesis", lookAlikeAt(kLimit - 5), chars(kLimit - 5, 'a') + "\\x2e" + marker(full)},
        {"limit a byte after it", lookAlikeAt(kLimit - 6), chars(kLimit - 6, 'a') + "\\x2e" + marker(full)},
        {"quote ends in its space", lookAlikeAt(kLimit - 7), chars(kLimit - 7, 'a') + "\\x2e.. " + marker(full)},
        {"quote ends in its parenthesis", lookAlikeAt(kLimit - 8), chars(kLimit - 8, 'a') + "\\x2e.. (" + marker(full)},
        {"an ellipsis that fills the quote", repeated(kLimit - 3, 'a') + "..." + repeated(20, 'z'),
         chars(kLimit - 3, 'a') + marker(kLimit + 20)},
        {"four dots: the first one escaped", repeated(kLimit - 4, 'a') + "...." + repeated(20, 'z'),
         chars(kLimit - 4, 'a') + "\\x2e" + marker(kLimit + 20)},
        {"dots after an escape left out", repeated(kLimit - 5, 'a') + "\n..." + repeated(20, 'z'),
         chars(kLimit - 5, 'a') + "\\n" + marker(kLimit + 19)},
        {"a dot at the limit, nothing cut", repeated(kLimit - 1, 'a') + ".", chars(kLimit - 1, 'a') + "."},
        {"a dot at the limit, one byte cut", repeated(kLimit - 1, 'a') + ".z",
         chars(kLimit - 1, 'a') + marker(kLimit + 1)},
    };
    expectQuotes(rows);
    // No dot runs into the mark, whatever the quote's length.
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(PeerText(row.bytes).toString().contains(QStringLiteral(".... (")));
    }
}

TEST(PeerText, peerLogTextQuotesDecodedTextTheSameWay)
{
    struct TextRow
    {
        const char* name;
        QString text;
        QString expected;
    };
    const TextRow rows[] = {
        {"plain", QString::fromUtf8("Stra\u00dfe"), QString::fromUtf8("Stra\u00dfe")},
        {"escapes", QString::fromUtf8("a\\b\nc\u2028d\u202e\u0085... ("), "a\\\\b\\nc\\u2028d\\u202e\\u0085\\x2e.. ("},
        {"cut counts UTF-8 bytes", QString(static_cast<int>(kLimit), QChar(0xE9)),
         chars(kLimit / 2, QChar(0xE9)) + marker(2 * kLimit)},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(vorn::log_support::peerLogText(row.text), row.expected);
    }
}

TEST(PeerText, logStatementQuotesTheBoundedText)
{
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
    const std::string body = "line 1\nline 2" + repeated(4 * kLimit, 'z');
    VN_LOG(3, "peer", "JSON parsing failed - %1, data: %2", "bad", PeerText(body));
    const QStringList texts = capture.logger().texts();
    ASSERT_EQ(texts.size(), 1);
    // "line 1\nline 2" takes 14 of the limit's bytes.
    EXPECT_EQ(texts[0],
              "JSON parsing failed - bad, data: line 1\\nline 2" + chars(kLimit - 14, 'z') + marker(body.size()));
}

} // namespace
} // namespace log_support_test
