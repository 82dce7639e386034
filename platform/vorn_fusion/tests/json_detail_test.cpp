#include <vorn/fusion/json_detail.h>
#include <vorn/fusion/vn_json_context.h>

#include <gtest/gtest.h>

#include <QtCore/QJsonArray>

namespace {

TEST(JsonDetail, ParsesAnyTopLevelValueAndRejectsAnythingElse)
{
    struct Row
    {
        const char* name;
        QByteArray text;
        bool parses;
        QJsonValue expected;
    };
    const std::vector<Row> rows = {
        {"object", R"( {"a": [1]} )", true, QJsonObject{{"a", QJsonArray{1}}}},
        {"array", "[]", true, QJsonArray{}},
        {"string", R"( "x" )", true, QJsonValue("x")},
        {"number", "-2.5", true, QJsonValue(-2.5)},
        {"null", "null", true, QJsonValue()},
        {"two values", "1, 2", false, {}},
        {"value and a bracket", "1]", false, {}},
        {"bracket pair around nothing", "][", false, {}},
        {"empty", "", false, {}},
        {"truncated object", R"({"a":)", false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QJsonValue value(QJsonValue::Undefined);
        QString error;
        EXPECT_EQ(QJsonDetail::deserialize_json(row.text, &value, &error), row.parses);
        if (row.parses) {
            EXPECT_EQ(value, row.expected);
            EXPECT_TRUE(error.isEmpty());
        } else {
            EXPECT_TRUE(value.isUndefined());
            EXPECT_FALSE(error.isEmpty());
        }
    }
}

TEST(JsonDetail, RendersScalarsWithoutAnEnclosingArray)
{
    QByteArray text = "stale";
    QJsonDetail::serialize_json(QJsonValue("a b"), &text, QJsonDocument::Indented);
    EXPECT_EQ(text, "\"a b\"");
    QJsonDetail::serialize_json(QJsonObject{{"k", 1}}, &text, QJsonDocument::Compact);
    EXPECT_EQ(text, "{\"k\":1}");
}

TEST(JsonDetail, FindsFieldsUnderFormerNamesOnlyWhenTheKeyIsAbsent)
{
    const QJsonObject object{{"current", 1}, {"old", 2}, {"older", 3}};
    const QHash<QString, QString> formerNames{{"current", "old"}, {"renamed", "older"}};
    const auto& type = typeid(int);
    EXPECT_EQ(QJsonDetail::findField(object, "current", &formerNames, type, true).value(), 1);
    EXPECT_EQ(QJsonDetail::findField(object, "renamed", &formerNames, type, true).value(), 3);
    EXPECT_EQ(QJsonDetail::findField(object, "renamed", nullptr, type, true), object.constEnd());
    EXPECT_EQ(QJsonDetail::findField(object, "missing", &formerNames, type, true), object.constEnd());
}

TEST(VnJsonContext, KeepsTheFirstValueAndPrependsLaterKeys)
{
    VnJsonContext ctx;
    EXPECT_TRUE(ctx.failedFieldPath().isEmpty());
    ctx.addFailedField("flags", "\"bogus\"");
    ctx.addFailedField("eventTypes", "[...]");
    EXPECT_EQ(ctx.failedFieldPath(), "eventTypes.flags");
    EXPECT_EQ(ctx.failedValueText(), "\"bogus\"");
}

TEST(VnJsonContext, FindsCustomSerializersByTypeId)
{
    struct Dummy : CustomJsonSerializer
    {
        void serialize(VnJsonContext*, const void*, QJsonValue*) const override {}
        bool deserialize(VnJsonContext*, const QJsonValue&, void*) const override { return false; }
    } dummy;
    VnJsonContext ctx;
    EXPECT_EQ(ctx.findCustomSerializer(10), nullptr);
    ctx.setCustomSerializer(10, &dummy);
    EXPECT_EQ(ctx.findCustomSerializer(10), &dummy);
    EXPECT_EQ(ctx.findCustomSerializer(2), nullptr);
    EXPECT_EQ(ctx.findCustomSerializer(1000), nullptr);
    EXPECT_EQ(ctx.findCustomSerializer(-1), nullptr);
}

} // namespace
