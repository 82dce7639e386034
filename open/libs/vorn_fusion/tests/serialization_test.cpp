#include <vorn/fusion/serialization/json.h>

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/utils/assert.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/vms/api/analytics/attribute_description.h>
#include <vorn/vms/api/analytics/engine_manifest.h>
#include <vorn/vms/api/analytics/event_type.h>

namespace json_test {

// A small record tree that holds one field of each kind the machinery binds.
struct Inner
{
    QString text;
    int number = 0;
};

constexpr auto jsonFields(const Inner*)
{
    return std::tuple(QJson::field("text", &Inner::text), QJson::field("number", &Inner::number));
}

struct Outer
{
    std::string label;
    std::vector<Inner> inners;
    std::map<std::string, Inner> byKey;
    std::optional<QString> maybe;
    std::vector<QString> texts;
    vorn::vms::api::analytics::EventTypeFlags flags;
    QJsonValue raw;
};

constexpr auto jsonFields(const Outer*)
{
    return std::tuple(QJson::field("label", &Outer::label), QJson::field("inners", &Outer::inners),
                      QJson::field("byKey", &Outer::byKey), QJson::field("maybe", &Outer::maybe),
                      QJson::field("texts", &Outer::texts), QJson::field("flags", &Outer::flags),
                      QJson::field("raw", &Outer::raw));
}

// A record of another plugin, shaped as its manifest records are: the API fields of an event type
// followed by its own, and a manifest of capabilities and event types. It has only its field lists;
// everything else comes from the templates.
namespace other_plugin {

struct EventType
{
    QString id;
    QString name;
    QString icon;
    std::optional<QString> base;
    std::vector<QString> omittedBaseAttributes;
    std::vector<vorn::vms::api::analytics::AttributeDescription> attributes;
    vorn::vms::api::analytics::EventTypeFlags flags;
    QString groupId;
    QString provider;
    std::vector<std::string> triggers;
};

constexpr auto jsonFields(const EventType*)
{
    return std::tuple(QJson::field("id", &EventType::id), QJson::field("name", &EventType::name),
                      QJson::field("icon", &EventType::icon), QJson::field("base", &EventType::base),
                      QJson::field("omittedBaseAttributes", &EventType::omittedBaseAttributes),
                      QJson::field("attributes", &EventType::attributes), QJson::field("flags", &EventType::flags),
                      QJson::field("groupId", &EventType::groupId), QJson::field("provider", &EventType::provider),
                      QJson::field("triggers", &EventType::triggers));
}

struct EngineManifest
{
    vorn::vms::api::analytics::EngineManifest::Capabilities capabilities;
    std::vector<EventType> eventTypes;
};

constexpr auto jsonFields(const EngineManifest*)
{
    return std::tuple(QJson::field("capabilities", &EngineManifest::capabilities),
                      QJson::field("eventTypes", &EngineManifest::eventTypes));
}

} // namespace other_plugin

} // namespace json_test

namespace {

using json_test::Inner;
using json_test::Outer;
using vorn::utils::AssertionCapture;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::vms::api::analytics::EventTypeFlags;

std::vector<std::string> toStd(const QStringList& texts)
{
    std::vector<std::string> result;
    for (const QString& text : texts)
        result.push_back(text.toStdString());
    return result;
}

// Answers every read with a fixed text and writes a fixed text, counting its calls.
class FixedText : public CustomJsonSerializer
{
public:
    explicit FixedText(QString text)
        : m_text(std::move(text))
    {}

    void serialize(VnJsonContext*, const void*, QJsonValue* target) const override { *target = m_text; }

    bool deserialize(VnJsonContext*, const QJsonValue&, void* target) const override
    {
        ++m_reads;
        *static_cast<QString*>(target) = m_text;
        return true;
    }

    int reads() const { return m_reads; }

private:
    const QString m_text;
    mutable int m_reads = 0;
};

QJsonValue parse(const char* text)
{
    QJsonValue value;
    EXPECT_TRUE(QJsonDetail::deserialize_json(text, &value));
    return value;
}

TEST(JsonReading, FillsEveryKindOfFieldAndWritesItBack)
{
    const QByteArray text = R"({"label":"L","inners":[{"text":"a","number":1},{"number":-2}],)"
                            R"("byKey":{"z":{"text":"Z"},"a":{}},"maybe":"","texts":["x",""],)"
                            R"("flags":"hidden","raw":[1,{"k":null}],"unknown":true})";
    VnJsonContext ctx;
    Outer outer;
    ASSERT_TRUE(QJson::deserialize(&ctx, text, &outer));
    EXPECT_EQ(outer.label, "L");
    ASSERT_EQ(outer.inners.size(), 2u);
    EXPECT_EQ(outer.inners[1].number, -2);
    EXPECT_EQ(outer.byKey.begin()->first, "a");
    EXPECT_EQ(outer.maybe, QString(""));
    EXPECT_EQ(outer.texts, (std::vector<QString>{"x", ""}));
    EXPECT_EQ(static_cast<int>(outer.flags), 4);
    EXPECT_TRUE(outer.raw.isArray());
    EXPECT_TRUE(ctx.missingFieldSeen()); //< "text" of the second inner and of "a".
    EXPECT_TRUE(ctx.failedFieldPath().isEmpty());

    EXPECT_EQ(QJson::serialized(outer).toStdString(),
              R"({"byKey":{"a":{"number":0},"z":{"number":0,"text":"Z"}},"flags":"hidden",)"
              R"("inners":[{"number":1,"text":"a"},{"number":-2}],"label":"L","maybe":"","raw":[1,{"k":null}],)"
              R"("texts":["x",""]})");
}

TEST(JsonReading, ServesTheRecordsOfAnotherPluginThroughTheSameTemplates)
{
    namespace other = json_test::other_plugin;
    LogCapture capture(Level::verbose);
    const QByteArray text =
        R"({"capabilities":"deviceDependent|noAutoBestShots","streamTypeFilter":"compressedVideo","eventTypes":[)"
        R"({"id":"m","name":"Motion","flags":"stateDependent","triggers":["On","Off"]},)"
        R"({"id":"a","base":"b","omittedBaseAttributes":["x"],"attributes":[{"name":"n","type":"Enum",)"
        R"("subtype":"s"},7,{"name":"unread"}],"triggers":"Crossed","provider":"p"},)"
        R"({"id":"t","triggers":[1,"Late"]}]})";
    VnJsonContext ctx;
    other::EngineManifest manifest;
    ASSERT_TRUE(QJson::deserialize(&ctx, text, &manifest));
    EXPECT_EQ(static_cast<int>(manifest.capabilities), 128 | 512);
    ASSERT_EQ(manifest.eventTypes.size(), 3u);

    const other::EventType& motion = manifest.eventTypes[0];
    EXPECT_EQ(static_cast<int>(motion.flags), 1);
    EXPECT_EQ(motion.triggers, (std::vector<std::string>{"On", "Off"}));
    EXPECT_FALSE(motion.base.has_value());

    // A bad attribute stays in the list as a default element and ends the list; a bad trigger list
    // keeps its previous (empty) value; the keys after both are read on.
    const other::EventType& attributed = manifest.eventTypes[1];
    EXPECT_EQ(attributed.base, QString("b"));
    EXPECT_EQ(attributed.omittedBaseAttributes, std::vector<QString>{"x"});
    ASSERT_EQ(attributed.attributes.size(), 2u);
    EXPECT_EQ(attributed.attributes[0].name, "n");
    EXPECT_EQ(attributed.attributes[0].type, "Enum");
    EXPECT_EQ(attributed.attributes[0].subtype, "s");
    EXPECT_TRUE(attributed.attributes[1].name.isEmpty());
    EXPECT_TRUE(attributed.triggers.empty());
    EXPECT_EQ(attributed.provider, "p");

    EXPECT_EQ(manifest.eventTypes[2].triggers, std::vector<std::string>{""}); //< "Late" is not read.

    EXPECT_THAT(toStd(capture.logger().texts()),
                testing::ElementsAre(
                    R"(Can't deserialize field `attributes` from value `[{"name":"n","subtype":"s","type":"Enum"},7,)"
                    R"({"name":"unread"}]`)",
                    "Can't deserialize field `triggers` from value `\"Crossed\"`",
                    R"(Can't deserialize field `triggers` from value `[1,"Late"]`)"));
    // The tag names the reader's instantiation: here the one for the other plugin's attribute list.
    const QString tag = capture.logger().records().front().tag;
    EXPECT_TRUE(tag.startsWith("QJson::deserialize<std::vector<") && tag.contains("AttributeDescription"))
        << tag.toStdString();

    // The writer leaves out what is empty and keeps every attribute field.
    other::EngineManifest written;
    written.capabilities = manifest.capabilities;
    written.eventTypes = {manifest.eventTypes[1]};
    written.eventTypes[0].attributes.pop_back();
    written.eventTypes[0].triggers = {"Crossed"};
    EXPECT_EQ(QJson::serialized(written).toStdString(),
              R"({"capabilities":"deviceDependent|noAutoBestShots","eventTypes":[{"attributes":[{"name":"n",)"
              R"("subtype":"s","type":"Enum"}],"base":"b","flags":"","id":"a","omittedBaseAttributes":["x"],)"
              R"("provider":"p","triggers":["Crossed"]}]})");
}

TEST(JsonReading, StrictContextFailsTheRecordAndRecordsTheWholePath)
{
    LogCapture capture(Level::verbose);
    VnJsonContext ctx;
    ctx.setFailOnBadOptionalField(true);
    Outer outer;
    const QJsonValue value = parse(R"({"inners":[{"text":"a"},{"text":7,"number":3}],"label":"read","texts":["t"]})");

    EXPECT_FALSE(QJson::deserialize(&ctx, value, &outer));
    EXPECT_EQ(ctx.failedFieldPath(), "inners.text");
    EXPECT_EQ(ctx.failedValueText(), "7");
    ASSERT_EQ(outer.inners.size(), 2u);
    EXPECT_EQ(outer.inners[1].number, 0); //< Its record stopped at the bad key.
    EXPECT_EQ(outer.label, "read");       //< Keys are read in list order: "label" before "inners",
    EXPECT_TRUE(outer.texts.empty());     //< "texts" after it.
    EXPECT_THAT(
        toStd(capture.logger().texts()),
        testing::ElementsAre("Can't deserialize field `text` from value `7`",
                             R"(Can't deserialize field `inners` from value `[{"text":"a"},{"number":3,"text":7}]`)"));
}

TEST(JsonReading, TolerantContextPrependsLaterFailuresToTheFirstPath)
{
    LogCapture capture(Level::verbose);
    VnJsonContext ctx;
    Outer outer;
    const QJsonValue value = parse(R"({"inners":[{"text":7,"number":3}],"texts":5})");

    EXPECT_TRUE(QJson::deserialize(&ctx, value, &outer));
    EXPECT_EQ(ctx.failedFieldPath(), "texts.text");
    EXPECT_EQ(ctx.failedValueText(), "7");
    ASSERT_EQ(outer.inners.size(), 1u);
    EXPECT_EQ(outer.inners[0].number, 3); //< The bad key was skipped, the next one read.
    EXPECT_EQ(capture.logger().records().size(), 2u);
}

TEST(JsonReading, LogsUnderTheReadersInstantiationOnlyWhenLevelThreeIsWanted)
{
    const QJsonValue value = parse(R"({"label":1})");
    {
        LogCapture capture(Level::verbose);
        VnJsonContext ctx;
        Outer outer;
        EXPECT_TRUE(QJson::deserialize(&ctx, value, &outer));
        const auto records = capture.logger().records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].level, Level::warning);
        // The reader's instantiation for the field's type names the tag.
        EXPECT_TRUE(records[0].tag.startsWith("QJson::deserialize<std::") && records[0].tag.contains("string"))
            << records[0].tag.toStdString();
    }
    {
        LogCapture capture(Level::error);
        VnJsonContext ctx;
        Outer outer;
        EXPECT_TRUE(QJson::deserialize(&ctx, value, &outer));
        EXPECT_TRUE(capture.logger().records().empty());
        EXPECT_EQ(ctx.failedValueText(), "1"); //< Recorded whatever the level.
    }
}

TEST(JsonReading, ConsultsCustomSerializersOfQtMetaTypesOnly)
{
    const FixedText fixed("custom");
    VnJsonContext ctx;
    ctx.setCustomSerializer(QMetaType::QString, &fixed);
    Outer outer;
    ASSERT_TRUE(QJson::deserialize(
        &ctx, parse(R"({"label":"plain","inners":[{"text":"a"}],"maybe":"b","texts":["c"]})"), &outer));
    EXPECT_EQ(outer.label, "plain"); //< std::string is no meta-type.
    EXPECT_EQ(outer.inners[0].text, "custom");
    EXPECT_EQ(outer.maybe, QString("custom"));
    EXPECT_EQ(outer.texts, std::vector<QString>{"custom"});
    EXPECT_EQ(fixed.reads(), 3);

    QJsonValue written;
    QJson::serialize(&ctx, QString("x"), &written);
    EXPECT_EQ(written.toString(), "custom");
}

TEST(JsonReading, RegistersContainerAndFlagTypesUnderTheirNames)
{
    const int listId = qMetaTypeId<std::vector<QString>>();
    EXPECT_EQ(QMetaType::type("std::vector<QString>"), listId);
    EXPECT_EQ(qMetaTypeId<std::vector<QString>>(), listId);
    EXPECT_TRUE(
        QMetaType::hasRegisteredConverterFunction(listId, qMetaTypeId<QtMetaTypePrivate::QSequentialIterableImpl>()));
    EXPECT_EQ(QMetaType::type("vorn::vms::api::analytics::EventTypeFlags"), qMetaTypeId<EventTypeFlags>());

    // A custom reader registered for the flag set's id takes over its reading.
    class AllFlags : public CustomJsonSerializer
    {
        void serialize(VnJsonContext*, const void*, QJsonValue* target) const override { *target = "all"; }
        bool deserialize(VnJsonContext*, const QJsonValue&, void* target) const override
        {
            *static_cast<EventTypeFlags*>(target) = EventTypeFlags(QFlag(15));
            return true;
        }
    } allFlags;
    VnJsonContext ctx;
    ctx.setCustomSerializer(qMetaTypeId<EventTypeFlags>(), &allFlags);
    Outer outer;
    ASSERT_TRUE(QJson::deserialize(&ctx, parse(R"({"flags":""})"), &outer));
    EXPECT_EQ(static_cast<int>(outer.flags), 15);
}

TEST(JsonReading, TextThatIsNotARecordFailsWithoutLogging)
{
    struct Row
    {
        const char* name;
        QByteArray text;
        bool errorRecorded;
    };
    const std::vector<Row> rows = {
        {"not JSON", "{\"label\":", true},
        {"two values", "1 2", true},
        {"empty text", "", true},
        {"top-level array", "[{\"label\":\"x\"}]", false},
        {"top-level string", "\"label\"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        VnJsonContext ctx;
        Outer outer;
        outer.label = "untouched";
        EXPECT_FALSE(QJson::deserialize(&ctx, row.text, &outer));
        EXPECT_EQ(outer.label, "untouched");
        EXPECT_TRUE(ctx.failedFieldPath().isEmpty());
        EXPECT_EQ(!ctx.failedValueText().isEmpty(), row.errorRecorded);
        EXPECT_TRUE(capture.logger().records().empty());

        bool success = true;
        Outer fallback;
        fallback.label = "fallback";
        EXPECT_EQ(QJson::deserialized<Outer>(row.text, fallback, &success).label, "fallback");
        EXPECT_FALSE(success);
    }
}

TEST(JsonReading, MissingArgumentsAreReportedAndDoNothing)
{
    AssertionCapture assertions;
    VnJsonContext ctx;
    QString text;
    EXPECT_FALSE(QJson::deserialize(nullptr, QJsonValue("a"), &text));
    EXPECT_FALSE(QJson::deserialize(&ctx, QJsonValue("a"), static_cast<QString*>(nullptr)));
    EXPECT_FALSE(QJson::deserialize(&ctx, QByteArray("\"a\""), static_cast<QString*>(nullptr)));
    QJson::serialize(&ctx, text, QString("key"), static_cast<QJsonObject*>(nullptr));
    QJson::serialize(&ctx, text, static_cast<QByteArray*>(nullptr));
    QJson::serialize(nullptr, text, static_cast<QJsonValue*>(nullptr));
    EXPECT_THAT(toStd(assertions.reports()),
                testing::ElementsAre(testing::HasSubstr("(ctx && target)"), testing::HasSubstr("(ctx && target)"),
                                     testing::HasSubstr("(outTarget)"), testing::HasSubstr("(outTarget)"),
                                     testing::HasSubstr("(outTarget)"), testing::HasSubstr("(ctx && target)")));
    EXPECT_TRUE(text.isEmpty());
}

TEST(JsonWriting, RendersAnyValueAsCompactText)
{
    struct Row
    {
        const char* name;
        QJsonValue value;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"string", QJsonValue("a\"b"), R"("a\"b")"},
        {"number", QJsonValue(7.5), "7.5"},
        {"large integer", QJsonValue(2147483648.0), "2147483648"},
        {"boolean", QJsonValue(true), "true"},
        {"null", QJsonValue(), "null"},
        {"undefined", QJsonValue(QJsonValue::Undefined), "null"},
        {"array", QJsonArray{"a", 1}, R"(["a",1])"},
        {"object", QJsonObject{{"b", 1}, {"a", QJsonArray{}}}, R"({"a":[],"b":1})"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(QJson::serialized(row.value).toStdString(), row.expected);
    }
}

TEST(JsonWriting, MemberFormsReplaceOrLeaveTheMember)
{
    VnJsonContext ctx;
    QJsonObject object{{"kept", 1}, {"replaced", 2}};
    QJson::serialize(&ctx, QString("x"), QString("replaced"), &object);
    QJson::serialize(&ctx, std::optional<QString>(), QString("absent"), &object);
    QJson::serialize(&ctx, std::optional<QString>(QString()), QString("empty"), &object);
    QJsonArray array{0, 0};
    QJsonValueRef slot = array[1];
    QJson::serialize(&ctx, 5, &slot);
    EXPECT_EQ(QJson::serialized(QJsonValue(object)).toStdString(), R"({"empty":"","kept":1,"replaced":"x"})");
    EXPECT_EQ(QJson::serialized(QJsonValue(array)).toStdString(), "[0,5]");
}

} // namespace
