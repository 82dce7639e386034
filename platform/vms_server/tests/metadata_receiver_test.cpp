#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <vorn/sdk/analytics/i_metadata_packet.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server/metadata_receiver.h>

// The fakes below are templates over several versions of an interface: a method of a newer version
// overrides only in some instantiations, so it cannot be marked `override`.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Winconsistent-missing-override"
#endif

namespace vorn::vms_server {
namespace {

using namespace sdk::analytics;
using namespace std::chrono_literals;

// Plugin-side objects of the test's own: each owns its texts and counts how many of its kind are alive,
// so a test can prove that the receiver released everything it looked up.
std::atomic<int> g_liveFakes{0};

template <class I>
class Fake : public ServerRefCountable<I>
{
public:
    Fake() { ++g_liveFakes; }

protected:
    ~Fake() override { --g_liveFakes; }
};

class FakeAttribute final : public Fake<sdk::IAttribute>
{
public:
    FakeAttribute(int32_t type, std::string name, std::string value, float confidence)
        : m_type(type)
        , m_name(std::move(name))
        , m_value(std::move(value))
        , m_confidence(confidence)
    {}
    int32_t type() const override { return m_type; }
    const char* name() const override { return m_name.c_str(); }
    const char* value() const override { return m_value.c_str(); }
    float confidence() const override { return m_confidence; }

private:
    int32_t m_type;
    std::string m_name;
    std::string m_value;
    float m_confidence;
};

// Attributes of an item or best shot; the count may be set to lie, to test the receiver's limits.
struct FakeAttributes
{
    std::vector<sdk::Ptr<FakeAttribute>> list;
    std::optional<int32_t> claimedCount;

    int32_t count() const { return claimedCount.value_or(static_cast<int32_t>(list.size())); }
    const sdk::IAttribute* get(int32_t index) const
    {
        if (index < 0 || static_cast<std::size_t>(index) >= list.size())
            return nullptr;
        list[static_cast<std::size_t>(index)]->retain();
        return list[static_cast<std::size_t>(index)].get();
    }
};

// I is IEventMetadata0 (the oldest layout), IEventMetadata1 or IEventMetadata (the newest).
template <class I>
class FakeEventItem final : public Fake<I>
{
public:
    std::string typeIdText = "vorn.test.Event";
    std::string captionText = "caption";
    std::string descriptionText = "description";
    std::string keyText = "key";
    sdk::Uuid track{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
    FakeAttributes attributes;

    const char* typeId() const override { return typeIdText.c_str(); }
    float confidence() const override { return 0.5F; }
    const sdk::IAttribute* getAttribute(int32_t index) const override { return attributes.get(index); }
    int32_t attributeCount() const override { return attributes.count(); }
    const char* caption() const override { return captionText.c_str(); }
    const char* description() const override { return descriptionText.c_str(); }
    bool isActive() const override { return true; }
    void getTrackId(sdk::Uuid* out) const { *out = track; }
    const char* key() const { return keyText.c_str(); }
};

class FakeObjectItem final : public Fake<IObjectMetadata>
{
public:
    std::string typeIdText = "vorn.test.Object";
    FakeAttributes attributes;

    const char* typeId() const override { return typeIdText.c_str(); }
    float confidence() const override { return 0.25F; }
    const sdk::IAttribute* getAttribute(int32_t index) const override { return attributes.get(index); }
    int32_t attributeCount() const override { return attributes.count(); }
    void getTrackId(sdk::Uuid* out) const override { *out = sdk::Uuid{{0xAB}}; }
    const char* extraText() const override { return "extra"; }
    void getBoundingBox(BoundingBox* out) const override { *out = {0.1F, 0.2F, 0.3F, 0.4F}; }
};

// P is one of the packet interfaces; Item the interface of its items.
template <class P>
class FakeCompoundPacket final : public Fake<P>
{
public:
    int64_t timestamp = 1000;
    std::vector<sdk::Ptr<IMetadata>> items;
    std::optional<int32_t> claimedCount;

    int64_t timestampUs() const override { return timestamp; }
    int64_t durationUs() const override { return 40; }
    int32_t itemCount() const override { return claimedCount.value_or(static_cast<int32_t>(items.size())); }
    const IMetadata* getItem(int32_t index) const override
    {
        if (index < 0 || static_cast<std::size_t>(index) >= items.size())
            return nullptr;
        items[static_cast<std::size_t>(index)]->retain();
        return items[static_cast<std::size_t>(index)].get();
    }
    int32_t flags() const { return 7; }
};

template <class I>
class FakeBestShot final : public Fake<I>
{
public:
    std::string image = std::string("\xFF\xD8\x00\xFF\xD9", 5);
    std::optional<int32_t> claimedImageSize;
    bool nullImage = false;
    FakeAttributes attributes;

    int64_t timestampUs() const override { return 2000; }
    void getTrackId(sdk::Uuid* out) const override { *out = sdk::Uuid{{0xCD}}; }
    void getBoundingBox(BoundingBox* out) const override { *out = {0.5F, 0.5F, 0.25F, 0.25F}; }
    const char* imageUrl() const { return "http://camera/shot.jpg"; }
    const char* imageData() const { return nullImage ? nullptr : image.data(); }
    int32_t imageDataSize() const { return claimedImageSize.value_or(static_cast<int32_t>(image.size())); }
    const char* imageDataFormat() const { return "image/jpeg"; }
    const sdk::IAttribute* getAttribute(int32_t index) const { return attributes.get(index); }
    int32_t attributeCount() const { return attributes.count(); }
    int32_t flags() const { return 1; }
};

class FakeDiagnostic final : public Fake<sdk::IPluginDiagnosticEvent>
{
public:
    Level level() const override { return Level::error; }
    const char* caption() const override { return "Subscription lost"; }
    const char* description() const override { return "The camera stopped answering"; }
};

// A metadata packet of no kind the server knows.
class FakeBarePacket final : public Fake<IMetadataPacket>
{
public:
    int64_t timestampUs() const override { return 0; }
};

template <class T>
sdk::Ptr<IMetadataPacket> asPacket(const sdk::Ptr<T>& packet)
{
    return sdk::queryInterface<IMetadataPacket>(packet);
}

class MetadataReceiverTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        receiver = nullptr;
        EXPECT_EQ(g_liveFakes, 0) << "the receiver kept a reference it looked up";
    }

    sdk::Ptr<MetadataReceiver> receiver = sdk::makePtr<MetadataReceiver>();
};

TEST_F(MetadataReceiverTest, EventPacketCopyOutlivesThePluginObjects)
{
    {
        auto item = sdk::makePtr<FakeEventItem<IEventMetadata>>();
        item->attributes.list.push_back(sdk::makePtr<FakeAttribute>(3, "Color", "red", 0.75F));
        auto packet = sdk::makePtr<FakeCompoundPacket<IEventMetadataPacket>>();
        packet->items.push_back(item);
        receiver->receiveMetadata(asPacket(packet).get());
        // The plugin changes its objects right after the call, and then frees them.
        item->typeIdText.assign(64, 'x');
        item->attributes.list[0] = nullptr;
    }
    ASSERT_EQ(g_liveFakes, 0);

    const auto records = receiver->records();
    ASSERT_EQ(records.size(), 1u);
    const auto& packet = std::get<ReceivedEventPacket>(records[0]);
    EXPECT_EQ(packet.timestampUs, 1000);
    EXPECT_EQ(packet.durationUs, 40);
    EXPECT_EQ(packet.flags, 7);
    ASSERT_EQ(packet.items.size(), 1u);
    const auto& item = packet.items[0];
    EXPECT_EQ(item.typeId, "vorn.test.Event");
    EXPECT_EQ(item.caption, "caption");
    EXPECT_EQ(item.description, "description");
    EXPECT_TRUE(item.isActive);
    EXPECT_FLOAT_EQ(item.confidence, 0.5F);
    EXPECT_EQ(item.key, "key");
    ASSERT_TRUE(item.trackId);
    EXPECT_EQ(item.trackId->bytes[15], 16);
    ASSERT_EQ(item.attributes.size(), 1u);
    EXPECT_EQ(item.attributes[0].type, 3);
    EXPECT_EQ(item.attributes[0].name, "Color");
    EXPECT_EQ(item.attributes[0].value, "red");
    EXPECT_FLOAT_EQ(item.attributes[0].confidence, 0.75F);
}

TEST_F(MetadataReceiverTest, OldestLayoutsLeaveNewerFieldsEmpty)
{
    auto packet = sdk::makePtr<FakeCompoundPacket<IEventMetadataPacket0>>();
    packet->items.push_back(sdk::makePtr<FakeEventItem<IEventMetadata0>>());
    receiver->receiveMetadata(asPacket(packet).get());

    auto bestShot = sdk::makePtr<FakeBestShot<IObjectTrackBestShotPacket0>>();
    receiver->receiveMetadata(asPacket(bestShot).get());
    packet = nullptr;
    bestShot = nullptr;

    const auto records = receiver->records();
    ASSERT_EQ(records.size(), 2u);
    const auto& events = std::get<ReceivedEventPacket>(records[0]);
    EXPECT_FALSE(events.flags);
    ASSERT_EQ(events.items.size(), 1u);
    EXPECT_EQ(events.items[0].typeId, "vorn.test.Event");
    EXPECT_FALSE(events.items[0].trackId);
    EXPECT_FALSE(events.items[0].key);
    const auto& shot = std::get<ReceivedBestShot>(records[1]);
    EXPECT_EQ(shot.trackId.bytes[0], 0xCD);
    EXPECT_FALSE(shot.imageUrl);
    EXPECT_FALSE(shot.flags);
    EXPECT_TRUE(shot.imageData.empty());
}

TEST_F(MetadataReceiverTest, MiddleLayoutsGiveTheirFieldsOnly)
{
    {
        auto events = sdk::makePtr<FakeCompoundPacket<IEventMetadataPacket>>();
        events->items.push_back(sdk::makePtr<FakeEventItem<IEventMetadata1>>());
        receiver->receiveMetadata(asPacket(events).get());
        receiver->receiveMetadata(asPacket(sdk::makePtr<FakeBestShot<IObjectTrackBestShotPacket1>>()).get());
    }
    const auto records = receiver->records();
    ASSERT_EQ(records.size(), 2u);
    const auto& items = std::get<ReceivedEventPacket>(records[0]).items;
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(items[0].trackId); // from the second version on
    EXPECT_EQ(items[0].trackId->bytes[15], 16);
    EXPECT_EQ(items[0].key, std::nullopt); // from the third
    const auto& shot = std::get<ReceivedBestShot>(records[1]);
    EXPECT_EQ(shot.imageFormat, "image/jpeg"); // from the second version on
    EXPECT_EQ(shot.flags, std::nullopt);       // from the third
}

TEST_F(MetadataReceiverTest, ObjectPacketAndBestShotAreCopied)
{
    auto object = sdk::makePtr<FakeObjectItem>();
    object->attributes.list.push_back(sdk::makePtr<FakeAttribute>(1, "Speed", "12", 1.0F));
    auto packet = sdk::makePtr<FakeCompoundPacket<IObjectMetadataPacket>>();
    packet->items.push_back(object);
    receiver->receiveMetadata(asPacket(packet).get());
    auto bestShot = sdk::makePtr<FakeBestShot<IObjectTrackBestShotPacket>>();
    receiver->receiveMetadata(asPacket(bestShot).get());
    object = nullptr;
    packet = nullptr;
    bestShot = nullptr;

    const auto records = receiver->records();
    ASSERT_EQ(records.size(), 2u);
    const auto& objects = std::get<ReceivedObjectPacket>(records[0]);
    EXPECT_EQ(objects.flags, 7);
    ASSERT_EQ(objects.items.size(), 1u);
    EXPECT_EQ(objects.items[0].typeId, "vorn.test.Object");
    EXPECT_EQ(objects.items[0].trackId.bytes[0], 0xAB);
    EXPECT_EQ(objects.items[0].extraText, "extra");
    EXPECT_EQ(objects.items[0].boundingBox, (BoundingBox{0.1F, 0.2F, 0.3F, 0.4F}));
    ASSERT_EQ(objects.items[0].attributes.size(), 1u);
    EXPECT_EQ(objects.items[0].attributes[0].name, "Speed");

    const auto& shot = std::get<ReceivedBestShot>(records[1]);
    EXPECT_EQ(shot.timestampUs, 2000);
    EXPECT_EQ(shot.flags, 1);
    EXPECT_EQ(shot.imageUrl, "http://camera/shot.jpg");
    EXPECT_EQ(shot.imageFormat, "image/jpeg");
    EXPECT_EQ(shot.imageData, std::string("\xFF\xD8\x00\xFF\xD9", 5)); // Binary, zero byte included.
    EXPECT_EQ(shot.boundingBox, (BoundingBox{0.5F, 0.5F, 0.25F, 0.25F}));
}

TEST_F(MetadataReceiverTest, DiagnosticEventIsCopied)
{
    receiver->receiveDiagnosticEvent(sdk::makePtr<FakeDiagnostic>().get());
    const auto records = receiver->records();
    ASSERT_EQ(records.size(), 1u);
    const auto& diagnostic = std::get<ReceivedDiagnostic>(records[0]);
    EXPECT_EQ(diagnostic.level, 2);
    EXPECT_EQ(diagnostic.caption, "Subscription lost");
    EXPECT_EQ(diagnostic.description, "The camera stopped answering");
}

TEST_F(MetadataReceiverTest, UnreadableCallsBecomeFaults)
{
    struct Row
    {
        const char* name;
        std::function<void(MetadataReceiver&)> call;
        const char* fault; //< Null: the call is taken as a normal record.
    };
    const auto eventPacketWith = [](std::function<void(FakeCompoundPacket<IEventMetadataPacket>&)> change) {
        return [change](MetadataReceiver& r) {
            auto packet = sdk::makePtr<FakeCompoundPacket<IEventMetadataPacket>>();
            auto item = sdk::makePtr<FakeEventItem<IEventMetadata>>();
            packet->items.push_back(item);
            change(*packet);
            r.receiveMetadata(asPacket(packet).get());
        };
    };
    const auto itemWithAttributes = [&](int32_t count) {
        return eventPacketWith([count](FakeCompoundPacket<IEventMetadataPacket>& packet) {
            auto item = sdk::makePtr<FakeEventItem<IEventMetadata>>();
            for (int32_t i = 0; i < count; ++i)
                item->attributes.list.push_back(sdk::makePtr<FakeAttribute>(0, "a", "b", 1.0F));
            packet.items = {item};
        });
    };
    const auto bestShotWith = [](std::function<void(FakeBestShot<IObjectTrackBestShotPacket>&)> change) {
        return [change](MetadataReceiver& r) {
            auto shot = sdk::makePtr<FakeBestShot<IObjectTrackBestShotPacket>>();
            change(*shot);
            r.receiveMetadata(asPacket(shot).get());
        };
    };
    const Row rows[] = {
        {"null packet", [](MetadataReceiver& r) { r.receiveMetadata(nullptr); }, "null packet"},
        {"null diagnostic", [](MetadataReceiver& r) { r.receiveDiagnosticEvent(nullptr); }, "null event"},
        {"packet of no known kind",
         [](MetadataReceiver& r) { r.receiveMetadata(sdk::makePtr<FakeBarePacket>().get()); },
         "no event, object or best-shot packet"},
        {"negative item count", eventPacketWith([](auto& p) { p.claimedCount = -1; }), "item count -1"},
        {"item count past the limit",
         eventPacketWith([](auto& p) { p.claimedCount = MetadataReceiver::kMaxItemsPerPacket + 1; }),
         "item count 100001"},
        {"null item", eventPacketWith([](auto& p) { p.claimedCount = 2; }), "item 1 of 2 is null"},
        {"object item in an event packet", eventPacketWith([](auto& p) { p.items = {sdk::makePtr<FakeObjectItem>()}; }),
         "not event metadata"},
        {"attributes at the limit", itemWithAttributes(MetadataReceiver::kMaxAttributesPerItem), nullptr},
        {"attributes past the limit", itemWithAttributes(MetadataReceiver::kMaxAttributesPerItem + 1),
         "attribute count 10001"},
        {"negative image size", bestShotWith([](auto& s) { s.claimedImageSize = -1; }), "image size -1"},
        {"image size past the limit",
         bestShotWith([](auto& s) { s.claimedImageSize = MetadataReceiver::kMaxImageDataSize + 1; }), "out of range"},
        {"image size without data", bestShotWith([](auto& s) { s.nullImage = true; }), "without data"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto r = sdk::makePtr<MetadataReceiver>();
        row.call(*r);
        const auto records = r->records();
        ASSERT_EQ(records.size(), 1u);
        if (!row.fault) {
            EXPECT_FALSE(std::holds_alternative<ReceiverFault>(records[0]));
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<ReceiverFault>(records[0]));
        EXPECT_NE(std::get<ReceiverFault>(records[0]).message.find(row.fault), std::string::npos)
            << std::get<ReceiverFault>(records[0]).message;
    }
}

TEST(MetadataReceiver, TwoThreadsPushingKeepEveryRecordAndTheirOrder)
{
    constexpr int kPacketsPerThread = 200;
    std::atomic<int> listened{0};
    auto receiver = sdk::makePtr<MetadataReceiver>([&](const ReceivedRecord&) { ++listened; });

    const auto push = [&](int64_t firstTimestamp) {
        for (int i = 0; i < kPacketsPerThread; ++i) {
            auto packet = sdk::makePtr<FakeCompoundPacket<IObjectMetadataPacket>>();
            packet->timestamp = firstTimestamp + i;
            packet->items.push_back(sdk::makePtr<FakeObjectItem>());
            receiver->receiveMetadata(asPacket(packet).get());
        }
    };
    std::thread first(push, 0);
    std::thread second(push, 1'000'000);
    ASSERT_TRUE(receiver->waitForRecords(2 * kPacketsPerThread, 30s));
    first.join();
    second.join();

    const auto records = receiver->records();
    ASSERT_EQ(records.size(), 2u * kPacketsPerThread);
    EXPECT_EQ(listened, 2 * kPacketsPerThread);
    int64_t lastOfFirst = -1;
    int64_t lastOfSecond = 999'999;
    for (const auto& record : records) {
        const int64_t timestamp = std::get<ReceivedObjectPacket>(record).timestampUs;
        int64_t& last = timestamp < 1'000'000 ? lastOfFirst : lastOfSecond;
        EXPECT_EQ(timestamp, last + 1);
        last = timestamp;
    }
    EXPECT_FALSE(receiver->waitForRecords(2 * kPacketsPerThread + 1, 1ms));
    receiver = nullptr;
    EXPECT_EQ(g_liveFakes, 0);
}

TEST(MetadataReceiver, ListenerOnlyReceiverCountsButKeepsNothing)
{
    std::vector<int64_t> listened;
    const auto receiver = sdk::makePtr<MetadataReceiver>(
        [&](const ReceivedRecord& record) { listened.push_back(std::get<ReceivedObjectPacket>(record).timestampUs); },
        MetadataReceiver::Retention::listenerOnly);
    for (const int64_t timestamp : {7, 8}) {
        auto packet = sdk::makePtr<FakeCompoundPacket<IObjectMetadataPacket>>();
        packet->timestamp = timestamp;
        receiver->receiveMetadata(asPacket(packet).get());
    }
    EXPECT_EQ(listened, (std::vector<int64_t>{7, 8}));
    EXPECT_TRUE(receiver->records().empty());
    EXPECT_EQ(receiver->recordCount(), 2u);
    EXPECT_TRUE(receiver->waitForRecords(2, 1ms));
}

} // namespace
} // namespace vorn::vms_server
