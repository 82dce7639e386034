#include <vorn/utils/vn_uuid.h>

#include <gtest/gtest.h>

namespace {

// Ids that the server stores: written once by an independent RFC 4122 implementation (uuid5 over the nil
// namespace) and frozen here. A change of derivation or text form breaks every stored id.
TEST(VnUuid, NameBasedIdsAreFrozen)
{
    struct Row
    {
        const char* name;
        QString data;
        const char* expected;
    };
    const Row rows[] = {
        {"profile topic", QStringLiteral("RuleEngine/VMD3/Profile1"), "{e8202fda-f8ce-5bed-9c6d-28255e0b2fd2}"},
        {"video source topic", QStringLiteral("VideoSource/MotionAlarm"), "{2601d915-9900-5bd3-92f7-72495c0c823f}"},
        {"plate topic", QStringLiteral("CameraApplicationPlatform/ALPV.AllPlates"),
         "{041f0352-b140-5249-85e8-4e18939901bc}"},
        {"empty text", QString(), "{e129f27c-5103-5c5c-844b-cdf0a15e160d}"},
        {"non-ASCII text as UTF-8",
         QString::fromUtf8("V\xC3\xA4"
                           "der/\xC3\x96ppen"),
         "{e428b2f5-7126-52dc-97d7-af85f8262c50}"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const VnUuid id = VnUuid::fromArbitraryData(row.data);
        EXPECT_EQ(id.toString().toStdString(), row.expected);
        EXPECT_EQ(id, VnUuid::fromArbitraryData(row.data.toUtf8()));
        EXPECT_FALSE(id.isNull());
    }
}

TEST(VnUuid, DifferentTextsGiveDifferentIdsAndTheNullIdIsZero)
{
    EXPECT_NE(VnUuid::fromArbitraryData(QStringLiteral("a")), VnUuid::fromArbitraryData(QStringLiteral("b")));
    EXPECT_TRUE(VnUuid().isNull());
    EXPECT_EQ(VnUuid().toString(), QStringLiteral("{00000000-0000-0000-0000-000000000000}"));
}

} // namespace
