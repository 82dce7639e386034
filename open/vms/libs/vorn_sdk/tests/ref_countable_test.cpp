#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/sdk/analytics/helpers/event_metadata.h>
#include <vorn/sdk/analytics/helpers/event_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_metadata.h>
#include <vorn/sdk/analytics/helpers/object_metadata_packet.h>
#include <vorn/sdk/analytics/helpers/object_track_best_shot_packet.h>
#include <vorn/sdk/analytics/helpers/plugin.h>
#include <vorn/sdk/analytics/i_device_agent.h>
#include <vorn/sdk/analytics/i_engine.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/helpers/lib_context.h>
#include <vorn/sdk/helpers/plugin_diagnostic_event.h>
#include <vorn/sdk/helpers/string.h>

#include "debug_capture.h"
#include "recording_registry.h"

namespace vorn::sdk::test {
namespace {

using namespace vorn::sdk::analytics;

// Tells the test when it dies.
class Probe : public RefCountable<IString>
{
public:
    explicit Probe(std::function<void()> onDestroyed = {})
        : m_onDestroyed(std::move(onDestroyed))
    {}
    ~Probe() override
    {
        if (m_onDestroyed)
            m_onDestroyed();
    }

    const char* text() const override { return ""; }

    using RefCountable::counter;

private:
    std::function<void()> m_onDestroyed;
};

class TestEngine : public RefCountable<IEngine>
{
public:
    void getManifest(Result<const IString*>*) const override {}
    bool supportsDevice(const IDeviceDescription*) const override { return false; }
    void createDeviceAgent(Result<IDeviceAgent*>*, const IDeviceDescription*) override {}
};

class TestDeviceAgent : public RefCountable<IConsumingDeviceAgent>
{
public:
    void applySettings(Result<const IOptionMap*>*, const IOptionMap*) override {}
    void getManifest(Result<const IString*>*) const override {}
    void attachReceiver(IMetadataReceiver*) override {}
    void selectMetadataTypes(Result<void>*, const IMetadataTypeSelection*) override {}
    void consumeDataPacket(Result<void>*, IDataPacket*) override {}
};

int32_t countOf(const IRefCountable* object)
{
    object->retain();
    return object->release();
}

TEST(RefCountable, RetainAndReleaseCountAndDestroyAtZero)
{
    bool destroyed = false;
    auto* probe = new Probe([&] { destroyed = true; });
    EXPECT_EQ(probe->refCount(), 1);
    EXPECT_EQ(probe->retain(), 2);
    EXPECT_EQ(probe->retain(), 3);
    EXPECT_EQ(probe->release(), 2);
    EXPECT_EQ(probe->release(), 1);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(probe->release(), 0);
    EXPECT_TRUE(destroyed);
}

TEST(RefCountable, PtrAdoptsSharesAndReleases)
{
    bool destroyed = false;
    {
        Ptr<Probe> owner = makePtr<Probe>([&] { destroyed = true; });
        EXPECT_EQ(owner->refCount(), 1);
        {
            Ptr<IString> shared = owner; // copying retains
            EXPECT_EQ(owner->refCount(), 2);
            Ptr<IString> borrowed = shareToPtr(static_cast<IString*>(owner.get()));
            EXPECT_EQ(owner->refCount(), 3);
            Ptr<IString> moved = std::move(shared);
            EXPECT_EQ(owner->refCount(), 3);
        }
        EXPECT_EQ(owner->refCount(), 1);
        const auto& self = owner;
        owner = self; // self-assignment keeps the reference
        EXPECT_EQ(owner->refCount(), 1);
    }
    EXPECT_TRUE(destroyed);
}

// A Ptr that holds the only reference to an object may be assigned a Ptr that the object owns: the
// new reference is taken before the old object (and the Ptr inside it) dies.
TEST(RefCountable, PtrMoveAssignedFromAMemberOfItsOwnObject)
{
    struct Holder : Probe
    {
        using Probe::Probe;
        Ptr<IString> inner;
    };
    std::vector<std::string> destroyed;
    auto* holder = new Holder([&] { destroyed.push_back("holder"); });
    holder->inner = makePtr<Probe>([&] { destroyed.push_back("inner"); });
    Ptr<IString> outer(holder);

    outer = std::move(holder->inner);
    EXPECT_EQ(destroyed, std::vector<std::string>{"holder"});
    ASSERT_TRUE(outer);
    EXPECT_STREQ(outer->text(), "");
    EXPECT_EQ(countOf(outer.get()), 1);
    outer.reset();
    EXPECT_EQ(destroyed, (std::vector<std::string>{"holder", "inner"}));
}

// A node owns its child outright, and the child shares the node's count through its parent link:
// references taken through any node of the tree keep the whole tree alive.
class Node : public Probe
{
public:
    Node(int depth, std::string name, std::vector<std::string>* destroyed)
        : Probe([destroyed, name] { destroyed->push_back(name); })
    {
        if (depth > 0) {
            m_child = std::make_unique<Node>(depth - 1, name + ".child", destroyed);
            m_child->counter().parent = &counter();
        }
    }

    Node* child() const { return m_child.get(); }

private:
    std::unique_ptr<Node> m_child;
};

TEST(RefCountable, ParentChainSharesTheRootsCountAndDiesWithIt)
{
    DebugCapture capture;
    std::vector<std::string> destroyed;
    auto* root = new Node(2, "root", &destroyed);
    Node* child = root->child();
    Node* grandChild = child->child();

    EXPECT_EQ(grandChild->retain(), 2);
    EXPECT_EQ(child->retain(), 3);
    EXPECT_EQ(root->refCount(), 3);
    EXPECT_EQ(grandChild->refCount(), 3);
    EXPECT_EQ(root->release(), 2);
    EXPECT_EQ(child->release(), 1);
    EXPECT_TRUE(destroyed.empty());

    EXPECT_EQ(grandChild->release(), 0);
    // The root's members (its child) go before the root's own base.
    EXPECT_EQ(destroyed, (std::vector<std::string>{"root.child.child", "root.child", "root"}));
    EXPECT_EQ(capture.countLinesContaining("ASSERTION FAILED"), 0);
}

TEST(RefCountable, ReleaseToZeroDestroysTheOwnerOfTheLastRecord)
{
    std::vector<std::string> destroyed;
    auto* parent = new Probe([&] { destroyed.push_back("parent"); });
    // A counter record without owner that defers to the parent's.
    RefCountableCounter childRecord;
    childRecord.parent = &parent->counter();

    EXPECT_EQ(detail::addRefToCounter(&childRecord), 2);
    EXPECT_EQ(detail::releaseFromCounter(&childRecord), 1);
    EXPECT_TRUE(destroyed.empty());
    EXPECT_EQ(detail::releaseFromCounter(&childRecord), 0);
    EXPECT_EQ(destroyed, std::vector<std::string>{"parent"});
    EXPECT_EQ(childRecord.count, 1); // the child's own record was never touched
}

TEST(RefCountable, ReleaseBelowZeroIsReported)
{
    DebugCapture capture;
    RefCountableCounter record; // no owner: reaching 0 deletes nothing
    EXPECT_EQ(detail::releaseFromCounter(&record), 0);
    EXPECT_EQ(capture.countLinesContaining("ASSERTION FAILED"), 0);
    EXPECT_EQ(detail::releaseFromCounter(&record), -1);
    EXPECT_EQ(capture.countLinesContaining("newCount >= 0"), 1);
}

// Every concrete class answers its ids (each interface newest first, aliases after their primary id,
// then the bases down to the root), retaining once per answer; anything else gives null and leaves the
// count alone.
struct LookupRow
{
    const char* name;
    std::function<Ptr<IRefCountable>()> make;
    std::vector<const char*> ids;
};

std::vector<LookupRow> lookupRows()
{
    auto as = [](auto ptr) { return Ptr<IRefCountable>(std::move(ptr)); };
    return {
        {"String", [=] { return as(makePtr<String>("x")); }, {"vorn::sdk::IString", "vorn::sdk::IRefCountable"}},
        {"Attribute",
         [=] { return as(makePtr<Attribute>("n", "v", 1.0F)); },
         {"vorn::sdk::IAttribute", "vorn::sdk::IRefCountable"}},
        {"PluginDiagnosticEvent",
         [=] { return as(makePtr<PluginDiagnosticEvent>(IPluginDiagnosticEvent::Level::info, "c", "d")); },
         {"vorn::sdk::IPluginDiagnosticEvent", "vorn::sdk::IIntegrationDiagnosticEvent", "vorn::sdk::IRefCountable"}},
        {"EventMetadata",
         [=] { return as(makePtr<EventMetadata>()); },
         {"vorn::sdk::analytics::IEventMetadata2", "vorn::sdk::analytics::IEventMetadata1",
          "vorn::sdk::analytics::IEventMetadata", "vorn::sdk::analytics::IMetadata", "vorn::sdk::IRefCountable"}},
        {"ObjectMetadata",
         [=] { return as(makePtr<ObjectMetadata>()); },
         {"vorn::sdk::analytics::IObjectMetadata", "vorn::sdk::analytics::IMetadata", "vorn::sdk::IRefCountable"}},
        {"EventMetadataPacket",
         [=] { return as(makePtr<EventMetadataPacket>()); },
         {"vorn::sdk::analytics::IEventMetadataPacket1", "vorn::sdk::analytics::IEventMetadataPacket",
          "vorn::sdk::analytics::ICompoundMetadataPacket", "vorn::sdk::analytics::IMetadataPacket",
          "vorn::sdk::analytics::IDataPacket", "vorn::sdk::IRefCountable"}},
        {"ObjectMetadataPacket",
         [=] { return as(makePtr<ObjectMetadataPacket>()); },
         {"vorn::sdk::analytics::IObjectMetadataPacket1", "vorn::sdk::analytics::IObjectMetadataPacket",
          "vorn::sdk::analytics::ICompoundMetadataPacket", "vorn::sdk::analytics::IMetadataPacket",
          "vorn::sdk::analytics::IDataPacket", "vorn::sdk::IRefCountable"}},
        {"ObjectTrackBestShotPacket",
         [=] { return as(makePtr<ObjectTrackBestShotPacket>(Uuid())); },
         {"vorn::sdk::analytics::IObjectTrackBestShotPacket2", "vorn::sdk::analytics::IObjectTrackBestShotPacket1",
          "vorn::sdk::analytics::IObjectTrackBestShotPacket", "vorn::sdk::analytics::IMetadataPacket",
          "vorn::sdk::analytics::IDataPacket", "vorn::sdk::IRefCountable"}},
        {"Plugin",
         [=] { return as(makePtr<Plugin>("{}", nullptr)); },
         {"vorn::sdk::analytics::IPlugin", "vorn::sdk::analytics::IIntegration", "vorn::sdk::IPlugin",
          "vorn::sdk::IIntegration", "vorn::sdk::IRefCountable"}},
        {"Engine",
         [=] { return as(makePtr<TestEngine>()); },
         {"vorn::sdk::analytics::IEngine1", "vorn::sdk::analytics::IEngine", "vorn::sdk::IRefCountable"}},
        {"ConsumingDeviceAgent",
         [=] { return as(makePtr<TestDeviceAgent>()); },
         {"vorn::sdk::analytics::IConsumingDeviceAgent2", "vorn::sdk::analytics::IConsumingDeviceAgent1",
          "vorn::sdk::analytics::IConsumingDeviceAgent", "vorn::sdk::analytics::IDeviceAgent",
          "vorn::sdk::IRefCountable"}},
    };
}

// Ids that differ from a known one by letter case or by one character.
std::vector<std::string> nearMisses(const std::string& id)
{
    std::string caseChanged = id;
    caseChanged[id.rfind("::") + 2] = 'i'; // "IString" -> "iString"
    std::string lower = id;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string changed = id;
    changed[changed.size() / 2] = '_';
    return {id + "x", id.substr(0, id.size() - 1), id + " ", " " + id, caseChanged, lower, changed};
}

TEST(RefCountable, LookupAnswersEveryIdOfTheClassAndNothingElse)
{
    DebugCapture capture; // the plugin's life-cycle lines
    const std::vector<LookupRow> rows = lookupRows();
    std::vector<std::string> allIds;
    for (const LookupRow& row : rows)
        allIds.insert(allIds.end(), row.ids.begin(), row.ids.end());

    for (const LookupRow& row : rows) {
        SCOPED_TRACE(row.name);
        const Ptr<IRefCountable> object = row.make();
        const auto count = [&] { return countOf(object.get()); };
        ASSERT_EQ(count(), 1);

        for (const char* id : row.ids) {
            SCOPED_TRACE(id);
            IRefCountable* found = object->findInterface(id);
            EXPECT_EQ(found, object.get());
            EXPECT_EQ(count(), 2);
            if (found)
                found->release();

            for (const std::string& miss : nearMisses(id)) {
                SCOPED_TRACE(miss);
                if (std::find(row.ids.begin(), row.ids.end(), miss) != row.ids.end())
                    continue;
                EXPECT_EQ(object->findInterface(miss.c_str()), nullptr);
                EXPECT_EQ(count(), 1);
            }
        }

        for (const std::string& other : allIds) {
            if (std::find_if(row.ids.begin(), row.ids.end(), [&](const char* id) { return other == id; }) !=
                row.ids.end()) {
                continue;
            }
            SCOPED_TRACE(other);
            EXPECT_EQ(object->findInterface(other.c_str()), nullptr);
        }
        EXPECT_EQ(object->findInterface(nullptr), nullptr);
        EXPECT_EQ(count(), 1);
    }
}

TEST(RefCountable, QueryInterfaceGivesAUsableOlderVersion)
{
    auto event = makePtr<EventMetadata>();
    event->setCaption("caption");
    const Ptr<IEventMetadata0> old = queryInterface<IEventMetadata0>(event);
    ASSERT_TRUE(old);
    EXPECT_STREQ(old->caption(), "caption");
    EXPECT_EQ(event->refCount(), 2);
    EXPECT_FALSE(queryInterface<IObjectMetadata>(event));
    EXPECT_EQ(event->refCount(), 2);
}

// Registry notification, against a context of the test's own so the library's context stays untouched.
class RefCountableRegistry : public ::testing::Test
{
protected:
    std::vector<RegistryCall> m_log;
    std::unique_ptr<LibContext> m_context = std::make_unique<LibContext>();
    std::unique_ptr<detail::ScopedActiveLibContext> m_active =
        std::make_unique<detail::ScopedActiveLibContext>(m_context.get());

    void setRegistry() { m_context->setRefCountableRegistry(new RecordingRegistry(&m_log)); }

    void TearDown() override
    {
        m_active.reset();
        m_context.reset();
    }
};

TEST_F(RefCountableRegistry, NoCallsWithoutRegistry)
{
    auto* probe = new Probe();
    probe->retain();
    probe->release();
    probe->release();
    TearDown();
    EXPECT_EQ(m_log, std::vector<RegistryCall>{});
}

TEST_F(RefCountableRegistry, OneRegisterAtBirthAndOneUnregisterAtDeath)
{
    setRegistry();
    auto* probe = new Probe();
    const IRefCountable* object = probe;
    EXPECT_EQ(probe->retain(), 2);
    probe->release();
    probe->release();
    const std::vector<RegistryCall> expected{
        {RegistryCall::Kind::registered, object, 1},
        {RegistryCall::Kind::unregistered, object, 0},
    };
    EXPECT_EQ(m_log, expected);
}

TEST_F(RefCountableRegistry, ObjectBornBeforeTheRegistryIsNotUnregistered)
{
    auto* early = new Probe();
    setRegistry();
    auto* late = new Probe();
    const IRefCountable* lateObject = late;
    early->release();
    late->release();
    const std::vector<RegistryCall> expected{
        {RegistryCall::Kind::registered, lateObject, 1},
        {RegistryCall::Kind::unregistered, lateObject, 0},
    };
    EXPECT_EQ(m_log, expected);
}

// An object that outlives the context (destroyed later by another static destructor at unload) must not
// reach the deleted registry; AddressSanitizer reports any such call.
TEST_F(RefCountableRegistry, ObjectOutlivingTheContextDoesNotTouchItsDeletedRegistry)
{
    setRegistry();
    auto* survivor = new Probe();
    m_active.reset();
    m_context.reset();
    ASSERT_EQ(m_log.back().kind, RegistryCall::Kind::registryDeleted);
    const size_t callsBefore = m_log.size();
    survivor->release();
    EXPECT_EQ(m_log.size(), callsBefore);
}

TEST_F(RefCountableRegistry, DestroyedWithReferencesLeftIsReportedWithItsCount)
{
    setRegistry();
    DebugCapture capture;
    auto probe = std::make_unique<Probe>();
    const IRefCountable* object = probe.get();
    probe->retain();
    probe.reset();
    EXPECT_EQ(capture.countLinesContaining("destroyed with 2 reference(s) left"), 1);
    EXPECT_EQ(m_log.back(), (RegistryCall{RegistryCall::Kind::unregistered, object, 2}));
}

} // namespace
} // namespace vorn::sdk::test
