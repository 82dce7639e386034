#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/vms_server/object_registry.h>
#include <vorn/vms_server/registry_ledger.h>

namespace vorn::vms_server {
namespace {

TEST(RegistryLedger, BalancedLifeIsClean)
{
    RegistryLedger ledger;
    int a = 0;
    int b = 0;
    ledger.recordRegistration(&a, 1);
    ledger.recordRegistration(&b, 1);
    EXPECT_EQ(ledger.liveCount(), 2);
    EXPECT_FALSE(ledger.isClean());
    ledger.recordUnregistration(&a, 0);
    ledger.recordUnregistration(&b, 0);
    EXPECT_EQ(ledger.liveCount(), 0);
    EXPECT_EQ(ledger.registrationCount(), 2);
    EXPECT_EQ(ledger.unregistrationCount(), 2);
    EXPECT_TRUE(ledger.isClean()) << ledger.report();
}

TEST(RegistryLedger, FaultsAreNamed)
{
    struct Row
    {
        const char* name;
        void (*play)(RegistryLedger&, const void*);
        const char* fault;
        int64_t live;
    };
    const Row rows[] = {
        {"unregistered twice",
         [](RegistryLedger& l, const void* o) {
             l.recordRegistration(o, 1);
             l.recordUnregistration(o, 0);
             l.recordUnregistration(o, 0);
         },
         "unregistered twice", 0},
        {"never registered", [](RegistryLedger& l, const void* o) { l.recordUnregistration(o, 0); }, "never registered",
         0},
        {"registered twice while alive",
         [](RegistryLedger& l, const void* o) {
             l.recordRegistration(o, 1);
             l.recordRegistration(o, 1);
         },
         "registered again while alive", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RegistryLedger ledger;
        int object = 0;
        row.play(ledger, &object);
        ASSERT_EQ(ledger.faults().size(), 1u);
        EXPECT_NE(ledger.faults()[0].find(row.fault), std::string::npos) << ledger.faults()[0];
        EXPECT_EQ(ledger.liveCount(), row.live);
        EXPECT_FALSE(ledger.isClean());
    }
}

TEST(RegistryLedger, ReusedAddressIsANewObject)
{
    RegistryLedger ledger;
    int object = 0;
    for (int life = 0; life < 3; ++life) {
        ledger.recordRegistration(&object, 1);
        ledger.recordUnregistration(&object, 0);
    }
    EXPECT_TRUE(ledger.isClean()) << ledger.report();
}

// The dead are remembered as far back as the limit says: a second unregistration of a recent one is
// named as such, one of an object that died longer ago reads as never registered. Records of the dead
// serve the next objects without mixing them up.
TEST(RegistryLedger, RemembersTheRecentlyDeadUpToItsLimit)
{
    RegistryLedger ledger;
    std::vector<char> objects(RegistryLedger::kMaxRememberedDeadObjects + 10);
    for (const char& object : objects) {
        ledger.recordRegistration(&object, 1);
        ledger.recordUnregistration(&object, 0);
    }
    ASSERT_TRUE(ledger.isClean()) << ledger.report();

    ledger.recordUnregistration(&objects.back(), 0);
    ledger.recordUnregistration(&objects.front(), 0);
    ASSERT_EQ(ledger.faults().size(), 2u);
    EXPECT_NE(ledger.faults()[0].find("unregistered twice"), std::string::npos) << ledger.faults()[0];
    EXPECT_NE(ledger.faults()[1].find("never registered"), std::string::npos) << ledger.faults()[1];
    EXPECT_EQ(ledger.liveCount(), 0);
    EXPECT_EQ(ledger.registrationCount(), static_cast<int64_t>(objects.size()));
}

TEST(ObjectRegistry, RecordsOutliveTheRegistry)
{
    auto ledger = std::make_shared<RegistryLedger>();
    int object = 0;
    {
        // The plugin library's context owns the registry and deletes it at unload.
        std::unique_ptr<sdk::IRefCountableRegistry> registry = std::make_unique<ObjectRegistry>(ledger);
        registry->registerObject(reinterpret_cast<const sdk::IRefCountable*>(&object), 1);
        EXPECT_FALSE(ledger->registryDeleted());
    }
    EXPECT_TRUE(ledger->registryDeleted());
    EXPECT_EQ(ledger->liveCount(), 1);
    EXPECT_EQ(ledger->registrationCount(), 1);
}

} // namespace
} // namespace vorn::vms_server
