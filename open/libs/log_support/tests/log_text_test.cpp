#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/log_support/log.h>

#include "log_test_support.h"

namespace log_support_test {

class Channel
{
public:
    QString logTagSuffix() const { return QStringLiteral("10.0.0.1:8214"); }
};

// Stands for the library's byte buffer: bytes reached through data() and size().
struct ByteBuffer
{
    std::vector<char> bytes;
    const char* data() const { return bytes.data(); }
    size_t size() const { return bytes.size(); }
};

// Types whose text comes from a toString found next to them.
struct Address
{
    int port = 0;
};
std::string toString(const Address& address)
{
    return "port " + std::to_string(address.port);
}

namespace printable {
struct Version
{
    int major = 0;
};
QString toString(const Version& version)
{
    return QStringLiteral("v%1").arg(version.major);
}
} // namespace printable

namespace {

using vorn::log_support::toLogText;
using vorn::log_support::detail::formatLogMessage;

TEST(LogText, conversions)
{
    const Channel channel;
    const Channel* nullChannel = nullptr;
    const char bytesWithoutTerminator[3] = {'a', 'b', 'c'};
    const char* nullText = nullptr;
    const std::string_view view = std::string_view("abcdef").substr(1, 3);

    struct Row
    {
        const char* name;
        QString actual;
        QString expected;
    };
    const Row rows[] = {
        {"QString", toLogText(QStringLiteral("x %1")), "x %1"},
        {"constChar", toLogText(static_cast<const char*>("caf\xC3\xA9")), QString::fromUtf8("caf\u00e9")},
        {"nullConstChar", toLogText(nullText), ""},
        {"literal", toLogText("literal"), "literal"},
        {"charArrayWithoutTerminator", toLogText(bytesWithoutTerminator), "abc"},
        {"stdString", toLogText(std::string("a\0b", 3)), QString::fromUtf8("a\0b", 3)},
        {"stringViewIsBounded", toLogText(view), "bcd"},
        {"QByteArray", toLogText(QByteArray("\xE2\x82\xAC")), QString::fromUtf8("\u20ac")},
        {"uint16", toLogText(std::uint16_t{65535}), "65535"},
        {"int32Min", toLogText(std::numeric_limits<std::int32_t>::min()), "-2147483648"},
        {"uint32Max", toLogText(std::numeric_limits<std::uint32_t>::max()), "4294967295"},
        {"int64Min", toLogText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
        {"uint64Max", toLogText(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615"},
        {"longLong", toLogText(-5LL), "-5"},
        {"uint8IsNumber", toLogText(std::uint8_t{200}), "200"},
        {"char", toLogText('x'), "x"},
        {"true", toLogText(true), "true"},
        {"false", toLogText(false), "false"},
        {"double", toLogText(0.5), "0.5"},
        {"formatter", toLogText(vorn::Formatter("inner %1").args(QStringLiteral("text"))), "inner text"},
        {"objectPointer", toLogText(&channel),
         "log_support_test::Channel(0x" + QString::number(reinterpret_cast<quintptr>(&channel), 16) +
             ", 10.0.0.1:8214)"},
        {"nullObjectPointer", toLogText(nullChannel), "log_support_test::Channel(0x0)"},
        {"typeInfo", toLogText(typeid(Channel)), "log_support_test::Channel"},
        {"byteBuffer", toLogText(ByteBuffer{{'o', 'k', '\xC3', '\xA9'}}), QString::fromUtf8("ok\u00e9")},
        {"emptyByteBuffer", toLogText(ByteBuffer{}), ""},
        {"optionalEmpty", toLogText(std::optional<int>()), "none"},
        {"optionalInt", toLogText(std::optional<int>(42)), "42"},
        {"optionalString", toLogText(std::optional<std::string>("s")), "s"},
        {"toStringGivingStdString", toLogText(Address{80}), "port 80"},
        {"toStringGivingQString", toLogText(printable::Version{3}), "v3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.actual, row.expected);
    }
}

TEST(LogText, messageIsFilledInOnePass)
{
    struct Row
    {
        const char* name;
        QString actual;
        QString expected;
    };
    const Row rows[] = {
        {"noArguments", formatLogMessage("100% done %1"), "100% done %1"},
        {"oneArgumentFillsEveryLowestPlaceholder", formatLogMessage("%1 and %1", 5), "5 and 5"},
        {"oneArgumentIsNotRescanned", formatLogMessage("%1 %2", "%2"), "%2 %2"},
        {"severalArgumentsNotRescanned", formatLogMessage("%1 %2", "%2", 5), "%2 5"},
        {"argumentsTakePlaceholdersInOrder", formatLogMessage("%3 %1 %2", "a", "b", "c"), "c a b"},
        {"nineArguments", formatLogMessage("%1%2%3%4%5%6%7%8%9", 1, 2, 3, 4, 5, 6, 7, 8, 9), "123456789"},
        {"mixedTypes", formatLogMessage("Port %1 changed %2 -> %3", "VCA.Port", std::uint16_t{8214}, 9000),
         "Port VCA.Port changed 8214 -> 9000"},
        {"integersAtTheirLimits",
         formatLogMessage("%1 %2 %3 %4 %5 %6", std::numeric_limits<std::int64_t>::min(),
                          std::numeric_limits<std::uint64_t>::max(), std::int16_t{-7}, static_cast<unsigned char>(200),
                          'x', true),
         "-9223372036854775808 18446744073709551615 -7 200 x true"},
        {"oneArgumentTakesTheLowestPlaceholder", formatLogMessage("%2 then %3, %2", -1), "-1 then %3, -1"},
        // A single argument fills "%L1", "%0" and two-digit numbers by QString::arg's own rules.
        {"oneArgumentWithLocaleZeroAndTwoDigits", formatLogMessage("%L1 %0 %12", 7), "%L1 7 %12"},
        {"oneArgumentWithTwoDigitsOnly", formatLogMessage("%12 %13", 7), "7 %13"},
        {"utf8Format", formatLogMessage("Kamera \xc3\xa4 %1 \xe2\x82\xac", 5),
         QString::fromUtf8("Kamera \xc3\xa4 5 \xe2\x82\xac")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.actual, row.expected);
    }
}

} // namespace
} // namespace log_support_test
