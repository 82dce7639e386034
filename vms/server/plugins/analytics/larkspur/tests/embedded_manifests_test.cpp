// The embedded engine manifests are shown to the server byte for byte, so they are checked here with
// an order-preserving reader (Boost.JSON keeps members in document order), independently of the
// serialisation machinery that reads them into records.
#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <boost/json.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QResource>

#include <vorn/utils/log/log_capture.h>
#include <vorn/vms/api/analytics/device_agent_manifest.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/engine_manifest.h>

namespace {

namespace json = boost::json;
using namespace vorn::vms_server_plugins::analytics::zodivadad;
using Strings = std::vector<std::string>;
using testing::ElementsAre;
using testing::ElementsAreArray;

struct Brand
{
    const char* manifestName;
    const char* vendorPattern;
    bool isZodivadad; //< The only one with "streamTypeFilter" and the person type.
};

const std::vector<Brand> kBrands = {
    {"manifest_zedir", "Zedir*", false},        {"manifest_duzodoz", "Duzodoz*", false},
    {"manifest_only", "ZERU*", false},          {"manifest_zidezozi", "Zidezozi*", false},
    {"manifest_zodivadad", "Zodivadad*", true},
};

void PrintTo(const Brand& brand, std::ostream* os)
{
    *os << brand.manifestName;
}

QByteArray resourceText(const Brand& brand)
{
    QFile file(QStringLiteral(":/zodivadad/%1.json").arg(brand.manifestName));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

Strings keysOf(const json::value& value)
{
    Strings keys;
    for (const auto& member : value.as_object())
        keys.emplace_back(member.key());
    return keys;
}

Strings stringsOf(const json::value& value)
{
    Strings texts;
    for (const auto& element : value.as_array())
        texts.emplace_back(element.as_string());
    return texts;
}

std::string text(const json::value& object, const char* key)
{
    return std::string(object.as_object().at(key).as_string());
}

std::optional<std::string> textIfAny(const json::value& object, const char* key)
{
    const json::value* member = object.as_object().if_contains(key);
    return member ? std::optional<std::string>(member->as_string()) : std::nullopt;
}

std::optional<std::string> toOptional(std::optional<const char*> value)
{
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

struct ExpectedEventType
{
    const char* id;
    const char* name;
    std::optional<const char*> flags;
    const char* section;
    int eventId;
    Strings numericAttributes; //< Empty: the key is absent.
    std::optional<const char*> descriptionNumericAttribute;
    std::optional<const char*> descriptionMaskAttribute;
    std::optional<const char*> subsectionWithArray;
};

const std::vector<ExpectedEventType> kEventTypes = {
    {"vorn.zodivadad.Motion", "Motion Detection", "", "basicalarm", 1, {}, {}, "alarm", {}},
    {"vorn.zodivadad.AudioAlarm", "Audio Alarm", "", "basicalarm", 6, {}, {}, {}, {}},
    {"vorn.zodivadad.DirectInput", "Direct Input", "", "basicalarm", 7, {}, {}, "alarm", {}},
    {"vorn.zodivadad.DirectOutput", "Direct Output", "", "basicalarm", 11, {}, {}, "alarm", {}},
    {"vorn.zodivadad.RegionEntrance", "Region Entrance", {}, "vcaalarm", 0, {}, {}, {}, {}},
    {"vorn.zodivadad.RegionExiting", "Region Exiting", {}, "vcaalarm", 1, {}, {}, {}, {}},
    {"vorn.zodivadad.AdvancedMotion", "Advanced Motion Detection", "stateDependent", "vcaalarm", 2, {}, {}, {}, {}},
    {"vorn.zodivadad.TamperingDetection", "Tampering Detection", "stateDependent", "vcaalarm", 3, {}, {}, {}, {}},
    {"vorn.zodivadad.LineCrossing", "Line Crossing", {}, "vcaalarm", 4, {"direction", "object"}, "line", {}, {}},
    {"vorn.zodivadad.LoiteringDetection", "Loitering Detection", "stateDependent", "vcaalarm", 5, {}, {}, {}, {}},
    {"vorn.zodivadad.HumanDetection", "Human Detection", "stateDependent", "vcaalarm", 6, {}, {}, {}, {}},
    {"vorn.zodivadad.PeopleCountingThresholdReached",
     "People Counting Threshold Reached",
     "stateDependent",
     "vcaalarm",
     7,
     {"in", "out", "object", "Thresholds"},
     {},
     {},
     {}},
    {"vorn.zodivadad.ObjectLeft", "Object Left", {}, "vcaalarm", 8, {"object"}, {}, {}, {}},
    {"vorn.zodivadad.ObjectRemoved", "Object Removed", {}, "vcaalarm", 9, {}, {}, {}, {}},
    {"vorn.zodivadad.PeopleCounting",
     "People Counting",
     "",
     "vcacount",
     0,
     {"in", "out", "capacity", "sum"},
     {},
     {},
     {}},
    {"vorn.zodivadad.RegionalPeopleCounting",
     "Regional People Counting",
     "",
     "regionalcount",
     0,
     {"number"},
     {},
     {},
     {}},
    {"vorn.zodivadad.Face",
     "Face [exclusive]",
     "",
     "face",
     0,
     {"age", "id", "blur", "gender", "glasses", "mask", "cap", "expression"},
     {},
     {},
     "face_data"},
};

struct ExpectedNumericAttribute
{
    const char* key;
    const char* name;
    Strings values;
};

const std::vector<ExpectedNumericAttribute> kNumericAttributes = {
    {"line", "Crossed line", {"#Unknown", "#1", "#2", "#3", "#4"}},
    {"direction", "Crossing direction", {"A->B", "B->A"}},
    {"object", "Object type", {"Unknown", "Human/Person", "Car/Vehicle"}},
    {"in", "Number of people entering", {}},
    {"out", "Number of people leaving", {}},
    {"capacity", "Current capacity", {}},
    {"sum", "Total people", {}},
    {"Thresholds", "Thresholds", {}},
    {"age", "Age", {}},
    {"id", "Id", {}},
    {"blur", "Blur", {}},
    {"gender", "Gender", {"male", "female"}},
    {"glasses", "Glasses", {"no", "eyeglasses", "sunglasses"}},
    {"mask", "Mask", {"no", "yes"}},
    {"cap", "Cap", {"no", "yes"}},
    {"expression", "Expression", {"happy", "sad", "calm"}},
    {"number", "Number", {}},
};

const Strings kVehicleAttributes = {
    "Color",    "Speed", "License Plate.Number", "License Plate.Color", "License Plate.Country", "License Plate.Type",
    "Direction"};
const Strings kBusAttributes = {"Color",
                                "Speed",
                                "Type",
                                "License Plate.Number",
                                "License Plate.Color",
                                "License Plate.Country",
                                "License Plate.Type",
                                "Direction"};

struct ExpectedSupportedType
{
    const char* objectTypeId;
    std::optional<Strings> attributes;
};

std::vector<ExpectedSupportedType> expectedSupportedTypes(bool withPerson)
{
    std::vector<ExpectedSupportedType> types = {
        {"vorn.zodivadad.LicensePlate", Strings{"Number", "Color", "Country", "Type"}},
        {"vorn.zodivadad.Vehicle", kVehicleAttributes},
        {"vorn.zodivadad.Car", kVehicleAttributes},
        {"vorn.zodivadad.Truck", kVehicleAttributes},
        {"vorn.zodivadad.Bus", kBusAttributes},
        {"vorn.zodivadad.Bike", kBusAttributes},
    };
    if (withPerson)
        types.push_back({"vorn.zodivadad.Person", std::nullopt});
    return types;
}

struct ExpectedAttribute
{
    const char* name;
    const char* subtype;
    const char* type;
};

struct ExpectedObjectType
{
    const char* id;
    const char* base;
    std::optional<std::vector<ExpectedAttribute>> attributes;
};

std::vector<ExpectedObjectType> expectedObjectTypes(bool withPerson)
{
    const std::vector<ExpectedAttribute> vehicle = {{"Direction", "vorn.zodivadad.Direction", "Enum"},
                                                    {"Color", "vorn.zodivadad.Color", "Color"}};
    std::vector<ExpectedObjectType> types = {
        {"vorn.zodivadad.LicensePlate", "vorn.base.LicensePlate",
         std::vector<ExpectedAttribute>{{"Type", "vorn.zodivadad.LicensePlateType", "Enum"},
                                        {"Color", "vorn.zodivadad.Color", "Color"}}},
        {"vorn.zodivadad.Vehicle", "vorn.base.Vehicle", vehicle},
        {"vorn.zodivadad.Car", "vorn.base.Car", vehicle},
        {"vorn.zodivadad.Truck", "vorn.base.Truck", vehicle},
        {"vorn.zodivadad.Bus", "vorn.base.Bus", vehicle},
        {"vorn.zodivadad.Bike", "vorn.base.Bike", vehicle},
    };
    if (withPerson)
        types.push_back({"vorn.zodivadad.Person", "vorn.base.Person", std::nullopt});
    return types;
}

class EmbeddedManifest : public testing::TestWithParam<Brand>
{
protected:
    void SetUp() override
    {
        m_text = resourceText(GetParam());
        ASSERT_FALSE(m_text.isEmpty());
        m_json = json::parse(std::string_view(m_text.constData(), static_cast<size_t>(m_text.size())));
    }

    const json::object& root() const { return m_json.as_object(); }

    QByteArray m_text;
    json::value m_json;
};

TEST_P(EmbeddedManifest, IsAZlibCompressedResource)
{
    const QResource resource(QStringLiteral(":/zodivadad/%1.json").arg(GetParam().manifestName));
    EXPECT_EQ(resource.compressionAlgorithm(), QResource::ZlibCompression);
}

TEST_P(EmbeddedManifest, HasItsTopLevelKeysInOrder)
{
    Strings expected = {"capabilities", "supportedCameraVendors", "supportedCameraModels", "deviceAgentSettingsModel",
                        "eventTypes",   "eventNumericAttributes", "supportedTypes",        "typeLibrary"};
    if (GetParam().isZodivadad) {
        expected.insert(expected.begin(), "streamTypeFilter");
        EXPECT_EQ(text(m_json, "streamTypeFilter"), "metadata");
    }
    EXPECT_EQ(keysOf(m_json), expected);
    EXPECT_EQ(text(m_json, "capabilities"), "deviceDependent");
    EXPECT_THAT(stringsOf(root().at("supportedCameraVendors")), ElementsAre(GetParam().vendorPattern));
    EXPECT_THAT(stringsOf(root().at("supportedCameraModels")), ElementsAre("*"));
}

TEST_P(EmbeddedManifest, OffersBothPortSettings)
{
    const json::value& model = root().at("deviceAgentSettingsModel");
    EXPECT_THAT(keysOf(model), ElementsAre("type", "items"));
    EXPECT_EQ(text(model, "type"), "Settings");
    const json::array& items = model.at("items").as_array();
    ASSERT_EQ(items.size(), 2u);
    const struct
    {
        const char* name;
        const char* caption;
        int defaultValue;
    } expected[] = {{"VCA.Port", "Port for Basic Video Analytics", 8214},
                    {"LPR.Port", "Port for License Plate Recognition", 3344}};
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_THAT(keysOf(items[i]),
                    ElementsAre("type", "name", "caption", "description", "minValue", "maxValue", "defaultValue"));
        EXPECT_EQ(text(items[i], "type"), "SpinBox");
        EXPECT_EQ(text(items[i], "name"), expected[i].name);
        EXPECT_EQ(text(items[i], "caption"), expected[i].caption);
        EXPECT_EQ(text(items[i], "description"), "Choose custom port if port is forwarded");
        EXPECT_EQ(items[i].at("minValue").as_int64(), 1);
        EXPECT_EQ(items[i].at("maxValue").as_int64(), 65535);
        EXPECT_EQ(items[i].at("defaultValue").as_int64(), expected[i].defaultValue);
    }
}

TEST_P(EmbeddedManifest, ListsTheSeventeenEventTypesInOrder)
{
    const json::array& eventTypes = root().at("eventTypes").as_array();
    ASSERT_EQ(eventTypes.size(), kEventTypes.size());
    for (size_t i = 0; i < kEventTypes.size(); ++i) {
        const ExpectedEventType& expected = kEventTypes[i];
        const json::value& actual = eventTypes[i];
        SCOPED_TRACE(expected.id);

        Strings keys = {"id", "name"};
        if (expected.flags)
            keys.push_back("flags");
        keys.insert(keys.end(), {"internalSection", "internalEventId"});
        if (expected.subsectionWithArray)
            keys.push_back("subsectionWithArray");
        if (!expected.numericAttributes.empty())
            keys.push_back("internalNumericAttributes");
        if (expected.descriptionNumericAttribute)
            keys.push_back("internalDescriptionNumericAttribute");
        if (expected.descriptionMaskAttribute)
            keys.push_back("internalDescriptionMaskAttribute");
        EXPECT_EQ(keysOf(actual), keys);

        EXPECT_EQ(text(actual, "id"), expected.id);
        EXPECT_EQ(text(actual, "name"), expected.name);
        EXPECT_EQ(textIfAny(actual, "flags"), toOptional(expected.flags));
        EXPECT_EQ(text(actual, "internalSection"), expected.section);
        EXPECT_EQ(actual.at("internalEventId").as_int64(), expected.eventId);
        if (!expected.numericAttributes.empty()) {
            EXPECT_EQ(stringsOf(actual.at("internalNumericAttributes")), expected.numericAttributes);
        }
        EXPECT_EQ(textIfAny(actual, "internalDescriptionNumericAttribute"),
                  toOptional(expected.descriptionNumericAttribute));
        EXPECT_EQ(textIfAny(actual, "internalDescriptionMaskAttribute"), toOptional(expected.descriptionMaskAttribute));
        EXPECT_EQ(textIfAny(actual, "subsectionWithArray"), toOptional(expected.subsectionWithArray));
    }
}

TEST_P(EmbeddedManifest, ListsTheSeventeenNumericAttributesInOrder)
{
    const json::value& attributes = root().at("eventNumericAttributes");
    Strings keys;
    for (const ExpectedNumericAttribute& expected : kNumericAttributes)
        keys.push_back(expected.key);
    ASSERT_EQ(keysOf(attributes), keys);
    for (const ExpectedNumericAttribute& expected : kNumericAttributes) {
        SCOPED_TRACE(expected.key);
        const json::value& actual = attributes.at(expected.key);
        EXPECT_THAT(keysOf(actual), ElementsAre("name", "values"));
        EXPECT_EQ(text(actual, "name"), expected.name);
        EXPECT_EQ(stringsOf(actual.at("values")), expected.values);
    }

    // Every attribute an event type names is defined.
    for (const ExpectedEventType& eventType : kEventTypes) {
        Strings names = eventType.numericAttributes;
        if (eventType.descriptionNumericAttribute)
            names.push_back(*eventType.descriptionNumericAttribute);
        for (const std::string& name : names)
            EXPECT_TRUE(attributes.as_object().contains(name)) << eventType.id << " names " << name;
    }
}

TEST_P(EmbeddedManifest, ListsTheSupportedTypes)
{
    const auto expected = expectedSupportedTypes(GetParam().isZodivadad);
    const json::array& actual = root().at("supportedTypes").as_array();
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].objectTypeId);
        EXPECT_EQ(text(actual[i], "objectTypeId"), expected[i].objectTypeId);
        if (expected[i].attributes) {
            EXPECT_THAT(keysOf(actual[i]), ElementsAre("objectTypeId", "attributes"));
            EXPECT_EQ(stringsOf(actual[i].at("attributes")), *expected[i].attributes);
        } else {
            EXPECT_THAT(keysOf(actual[i]), ElementsAre("objectTypeId"));
        }
    }
}

TEST_P(EmbeddedManifest, HoldsTheTypeLibrary)
{
    const json::value& library = root().at("typeLibrary");
    EXPECT_THAT(keysOf(library), ElementsAre("objectTypes", "enumTypes", "colorTypes"));

    const auto expectedObjects = expectedObjectTypes(GetParam().isZodivadad);
    const json::array& objects = library.at("objectTypes").as_array();
    ASSERT_EQ(objects.size(), expectedObjects.size());
    for (size_t i = 0; i < objects.size(); ++i) {
        const ExpectedObjectType& expected = expectedObjects[i];
        SCOPED_TRACE(expected.id);
        EXPECT_EQ(text(objects[i], "id"), expected.id);
        EXPECT_EQ(text(objects[i], "base"), expected.base);
        EXPECT_EQ(text(objects[i], "flags"), "hiddenDerivedType");
        if (!expected.attributes) {
            EXPECT_THAT(keysOf(objects[i]), ElementsAre("id", "base", "flags"));
            continue;
        }
        EXPECT_THAT(keysOf(objects[i]), ElementsAre("id", "base", "flags", "attributes"));
        const json::array& attributes = objects[i].at("attributes").as_array();
        ASSERT_EQ(attributes.size(), expected.attributes->size());
        for (size_t a = 0; a < attributes.size(); ++a) {
            EXPECT_THAT(keysOf(attributes[a]), ElementsAre("name", "subtype", "type"));
            EXPECT_EQ(text(attributes[a], "name"), (*expected.attributes)[a].name);
            EXPECT_EQ(text(attributes[a], "subtype"), (*expected.attributes)[a].subtype);
            EXPECT_EQ(text(attributes[a], "type"), (*expected.attributes)[a].type);
        }
    }

    const json::array& enums = library.at("enumTypes").as_array();
    ASSERT_EQ(enums.size(), 2u);
    for (const json::value& enumType : enums)
        EXPECT_THAT(keysOf(enumType), ElementsAre("id", "name", "items"));
    EXPECT_EQ(text(enums[0], "id"), "vorn.zodivadad.LicensePlateType");
    EXPECT_EQ(text(enums[0], "name"), "Type");
    EXPECT_THAT(stringsOf(enums[0].at("items")), ElementsAre("Black", "White", "Visitor"));
    EXPECT_EQ(text(enums[1], "id"), "vorn.zodivadad.Direction");
    EXPECT_EQ(text(enums[1], "name"), "Direction");
    EXPECT_THAT(stringsOf(enums[1].at("items")), ElementsAre("Incoming", "Outgoing"));

    const json::array& colors = library.at("colorTypes").as_array();
    ASSERT_EQ(colors.size(), 1u);
    EXPECT_THAT(keysOf(colors[0]), ElementsAre("id", "name", "base", "baseItems", "items"));
    EXPECT_EQ(text(colors[0], "id"), "vorn.zodivadad.Color");
    EXPECT_EQ(text(colors[0], "name"), "Color");
    EXPECT_EQ(text(colors[0], "base"), "vorn.base.Color");
    EXPECT_THAT(stringsOf(colors[0].at("baseItems")),
                ElementsAre("Black", "Blue", "Gray", "Green", "Red", "White", "Yellow", "Violet", "Orange"));
    const json::array& items = colors[0].at("items").as_array();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_THAT(keysOf(items[0]), ElementsAre("name", "rgb"));
    EXPECT_EQ(text(items[0], "name"), "Cyan");
    EXPECT_EQ(text(items[0], "rgb"), "#00FFFF");
}

TEST_P(EmbeddedManifest, ReadsIntoTheEngineManifestWithoutComplaint)
{
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
    bool success = false;
    const auto manifest = QJson::deserialized<EngineManifest>(m_text, EngineManifest(), &success);
    ASSERT_TRUE(success);
    EXPECT_TRUE(capture.logger().records().empty());

    EXPECT_EQ(static_cast<int>(manifest.capabilities), vorn::vms::api::analytics::EngineManifest::deviceDependent);
    EXPECT_EQ(manifest.supportedCameraVendors, std::vector<QString>{GetParam().vendorPattern});
    EXPECT_EQ(manifest.supportedCameraModels, std::vector<QString>{"*"});
    EXPECT_EQ(manifest.supportedTypes.size(), GetParam().isZodivadad ? 7 : 6);
    ASSERT_EQ(manifest.eventNumericAttributes.size(), 17u);
    EXPECT_EQ(manifest.eventNumericAttributes.begin()->first, "Thresholds"); //< Upper case sorts first.
    EXPECT_TRUE(manifest.deviceAgentSettingsModel.isObject());

    ASSERT_EQ(manifest.eventTypes.size(), 17u);
    Strings stateDependent;
    for (const EventType& eventType : manifest.eventTypes) {
        if (eventType.flags.testFlag(vorn::vms::api::analytics::EventTypeFlag::stateDependent))
            stateDependent.push_back(eventType.id.toStdString());
        EXPECT_EQ(eventType.flags & ~vorn::vms::api::analytics::EventTypeFlags(
                                        vorn::vms::api::analytics::EventTypeFlag::stateDependent),
                  vorn::vms::api::analytics::EventTypeFlags());
    }
    EXPECT_THAT(stateDependent, ElementsAre("vorn.zodivadad.AdvancedMotion", "vorn.zodivadad.TamperingDetection",
                                            "vorn.zodivadad.LoiteringDetection", "vorn.zodivadad.HumanDetection",
                                            "vorn.zodivadad.PeopleCountingThresholdReached"));

    const auto bySection = [&](const std::string& section, int eventId) -> QString {
        const auto found =
            std::find_if(manifest.eventTypes.begin(), manifest.eventTypes.end(), [&](const EventType& t) {
                return t.internalSection == section && t.internalEventId == eventId;
            });
        return found == manifest.eventTypes.end() ? QString() : found->id;
    };
    EXPECT_EQ(bySection("vcaalarm", 4), "vorn.zodivadad.LineCrossing");
    EXPECT_EQ(bySection("face", 0), "vorn.zodivadad.Face");
    EXPECT_EQ(bySection("basicalarm", 2), "");
}

TEST_P(EmbeddedManifest, RoundTripsThroughTheDeviceAgentManifestWithoutLoss)
{
    using vorn::vms::api::analytics::DeviceAgentManifest;
    VnJsonContext ctx;
    DeviceAgentManifest manifest;
    ASSERT_TRUE(QJson::deserialize(&ctx, m_text, &manifest));
    EXPECT_TRUE(ctx.failedFieldPath().isEmpty());
    const QByteArray written = QJson::serialized(manifest);
    const json::value output = json::parse(std::string_view(written.constData(), static_cast<size_t>(written.size())));

    // Objects compare without regard to member order; what the writer sorts is still all there.
    EXPECT_EQ(output.at("typeLibrary"), root().at("typeLibrary"));
    EXPECT_EQ(output.at("supportedTypes"), root().at("supportedTypes"));
    EXPECT_EQ(output.at("deviceAgentSettingsModel"), root().at("deviceAgentSettingsModel"));

    // Event types keep their API fields; the plugin's own keys stay behind and "flags" is always written.
    const json::array& inputTypes = root().at("eventTypes").as_array();
    const json::array& outputTypes = output.at("eventTypes").as_array();
    ASSERT_EQ(outputTypes.size(), inputTypes.size());
    for (size_t i = 0; i < inputTypes.size(); ++i) {
        json::object expected;
        expected["id"] = inputTypes[i].at("id");
        expected["name"] = inputTypes[i].at("name");
        const auto* flags = inputTypes[i].as_object().if_contains("flags");
        expected["flags"] = flags ? *flags : json::value("");
        EXPECT_EQ(outputTypes[i], json::value(expected)) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Brands, EmbeddedManifest, testing::ValuesIn(kBrands),
                         [](const testing::TestParamInfo<Brand>& info) {
                             return std::string(info.param.manifestName);
                         });

} // namespace
