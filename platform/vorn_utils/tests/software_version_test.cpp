#include <vorn/utils/software_version.h>

#include <QtCore/QMap>

#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

TEST(SoftwareVersion, FromText)
{
    struct Row
    {
        const char* name;
        const char* text;
        SoftwareVersion expected;
    };
    const Row rows[] = {
        {"four numbers", "5.1.4.38659", SoftwareVersion(5, 1, 4, 38659)},
        {"two numbers", "5.1", SoftwareVersion(5, 1, 0, 0)},
        {"one number", "7", SoftwareVersion(7, 0, 0, 0)},
        {"three numbers", "4.2.1", SoftwareVersion(4, 2, 1, 0)},
        {"leading zeros", "05.01", SoftwareVersion(5, 1)},
        {"largest int", "2147483647.0.0.0", SoftwareVersion(2147483647, 0, 0, 0)},
        {"past int range", "2147483648.0.0.0", SoftwareVersion()},
        {"five numbers", "1.2.3.4.5", SoftwareVersion()},
        {"empty", "", SoftwareVersion()},
        {"empty part", "5..1", SoftwareVersion()},
        {"trailing dot", "5.1.", SoftwareVersion()},
        {"letter", "5.1.x", SoftwareVersion()},
        {"sign", "5.-1", SoftwareVersion()},
        {"blank", " 5.1", SoftwareVersion()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SoftwareVersion(row.text), row.expected);
        EXPECT_EQ(SoftwareVersion(QString::fromUtf8(row.text)), row.expected);
    }
}

TEST(SoftwareVersion, TextFormsAndNull)
{
    const SoftwareVersion version(5, 1, 4, 38659);
    EXPECT_EQ(version.toString(), "5.1.4.38659");
    EXPECT_EQ(version.toString(SoftwareVersion::FullFormat), "5.1.4.38659");
    EXPECT_EQ(version.toString(SoftwareVersion::MinorFormat), "5.1");
    EXPECT_EQ(version.major(), 5);
    EXPECT_EQ(version.minor(), 1);
    EXPECT_EQ(version.bugfix(), 4);
    EXPECT_EQ(version.build(), 38659);
    EXPECT_FALSE(version.isNull());
    EXPECT_TRUE(SoftwareVersion().isNull());
    EXPECT_EQ(SoftwareVersion().toString(), "0.0.0.0");
    EXPECT_FALSE(SoftwareVersion(0, 0, 0, 1).isNull());
}

TEST(SoftwareVersion, OrdersNumberByNumber)
{
    // Each row's first version is below its second: the first differing number decides, not the text.
    const std::pair<SoftwareVersion, SoftwareVersion> rows[] = {
        {SoftwareVersion("2.9"), SoftwareVersion("2.10")},
        {SoftwareVersion("5.1"), SoftwareVersion("5.1.0.1")},
        {SoftwareVersion("4.9.9.9"), SoftwareVersion("5.0")},
        {SoftwareVersion(), SoftwareVersion("0.0.0.1")},
        {SoftwareVersion("5.1.3.99999"), SoftwareVersion("5.1.4.0")},
    };
    for (const auto& [lower, higher] : rows) {
        SCOPED_TRACE(lower.toString().toStdString() + " < " + higher.toString().toStdString());
        EXPECT_LT(lower, higher);
        EXPECT_FALSE(higher < lower);
        EXPECT_NE(lower, higher);
    }
    QMap<SoftwareVersion, int> map;
    map.insert(SoftwareVersion("5.10"), 3);
    map.insert(SoftwareVersion("5.2"), 2);
    map.insert(SoftwareVersion("4.2"), 1);
    EXPECT_EQ(map.values(), QList<int>({1, 2, 3}));
}

} // namespace
} // namespace vorn::utils
