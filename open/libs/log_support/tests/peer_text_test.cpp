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

TEST(PeerText, quotesAtMostTheLimitWithControlBytesEscaped)
{
    const std::string e = "\xC3\xA9";            // U+00E9, two bytes
    const std::string euro = "\xE2\x82\xAC";     // U+20AC, three bytes
    const std::string clef = "\xF0\x9D\x84\x9E"; // U+1D11E, four bytes
    struct Row
    {
        const char* name;
        std::string bytes;
        QString expected;
    };
    const Row rows[] = {
        {"plain text as it is", R"({"a":"b\"c"})", R"({"a":"b\"c"})"},
        {"empty", "", ""},
        {"line breaks and tab", "a\nb\r\nc\td", "a\\nb\\r\\nc\\td"},
        {"other control bytes in hex", std::string("\x01x\x1f\x7f", 4) + std::string(1, '\0'), "\\x01x\\x1f\\x7f\\x00"},
        {"UTF-8 text decoded", "caf" + e, QString::fromUtf8("caf\u00e9")},
        {"invalid UTF-8 replaced", "a\xFF", QStringLiteral("a") + QChar(QChar::ReplacementCharacter)},
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
        {"no character start near the cut: cut at the limit", repeated(kLimit + 10, '\x80'),
         chars(kLimit, QChar(QChar::ReplacementCharacter)) + marker(kLimit + 10)},
        {"control bytes past the cut do not count", repeated(kLimit, 'a') + "\n\n",
         chars(kLimit, 'a') + marker(kLimit + 2)},
        {"escapes of a cut text", std::string(kLimit + 5, '\n'),
         QString("\\n").repeated(static_cast<int>(kLimit)) + marker(kLimit + 5)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(PeerText(std::string_view(row.bytes)).toString(), row.expected);
        EXPECT_EQ(PeerText(QByteArray::fromStdString(row.bytes)).toString(), row.expected);
    }
    EXPECT_EQ(PeerText(static_cast<const char*>(nullptr)).toString(), "");
    EXPECT_EQ(PeerText("a\tb").toString(), "a\\tb");
}

TEST(PeerText, logStatementQuotesTheBoundedText)
{
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
    const std::string body = "line 1\nline 2" + repeated(4 * kLimit, 'z');
    VN_LOG(3, "peer", "JSON parsing failed - %1, data: %2", "bad", PeerText(body));
    const QStringList texts = capture.logger().texts();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0],
              "JSON parsing failed - bad, data: line 1\\nline 2" + chars(kLimit - 13, 'z') + marker(body.size()));
}

} // namespace
} // namespace log_support_test
