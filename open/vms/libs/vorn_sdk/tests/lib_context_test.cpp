#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/sdk/helpers/lib_context.h>
#include <vorn/sdk/helpers/ref_countable.h>

#include "debug_capture.h"
#include "recording_registry.h"

namespace vorn::sdk::test {
namespace {

constexpr const char* kReportPrefix = "[vorn::sdk::LibContext] ";

TEST(LibContext, EntryPointsReachTheLibrarysOneContext)
{
    ILibContext* first = vornLibContext();
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(vornLibContext(), first);
    EXPECT_EQ(static_cast<ILibContext*>(&libContext()), first);
    EXPECT_STREQ(vornSdkVersion(), "5.1.4 R1");
    EXPECT_EQ(vornSdkVersion(), vornSdkVersion());
}

// Each row is a sequence of setName calls (nullopt = null pointer) on a fresh context.
TEST(LibContext, NameCanBeSetOnceFromTheDefault)
{
    using Name = std::optional<std::string>;
    struct Row
    {
        const char* name;
        std::vector<Name> calls;
        std::string expectedName;
        int expectedReports;
        const char* expectedCondition;
    };
    const std::vector<Row> rows{
        {"untouched", {}, "unnamed_lib_context", 0, ""},
        {"set once", {"A"}, "A", 0, ""},
        {"same name again", {"A", "A"}, "A", 0, ""},
        {"rename refused", {"A", "B"}, "A", 1, "m_name == kDefaultName || m_name == std::string(name)"},
        {"empty name", {""}, "incorrectly_named_lib_context", 1, "name[0] != '\\0'"},
        {"empty then other", {"", "B"}, "incorrectly_named_lib_context", 2, "m_name == kDefaultName"},
        {"null name", {std::nullopt}, "incorrectly_named_lib_context", 1, "(name)"},
        {"null after a name", {"A", std::nullopt}, "A", 1, "m_name == kDefaultName"},
        {"null twice", {std::nullopt, std::nullopt}, "incorrectly_named_lib_context", 2, "m_name == kDefaultName"},
        {"back to the default", {"A", "unnamed_lib_context"}, "A", 1, "m_name == kDefaultName"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DebugCapture capture;
        LibContext context;
        for (const Name& name : row.calls)
            context.setName(name ? name->c_str() : nullptr);
        EXPECT_EQ(context.name(), row.expectedName);
        EXPECT_EQ(capture.countLinesContaining(kReportPrefix), row.expectedReports);
        EXPECT_NE(capture.text().find(row.expectedCondition), std::string::npos) << capture.text();
    }
}

TEST(LibContext, RefusedRenameNamesBothNames)
{
    DebugCapture capture;
    LibContext context;
    context.setName("first");
    context.setName("second");
    EXPECT_NE(capture.text().find("Attempt to change LibContext name from \"first\" to \"second\"."), std::string::npos)
        << capture.text();
}

TEST(LibContext, RegistryIsSetOnceAndDeletedWithTheContext)
{
    std::vector<RegistryCall> log;
    std::vector<RegistryCall> secondLog;
    auto* registry = new RecordingRegistry(&log);
    RecordingRegistry second(&secondLog);
    DebugCapture capture;
    {
        LibContext context;
        context.setRefCountableRegistry(nullptr);
        EXPECT_EQ(context.refCountableRegistry(), nullptr);
        context.setRefCountableRegistry(registry);
        EXPECT_EQ(context.refCountableRegistry(), registry);
        EXPECT_EQ(capture.countLinesContaining(kReportPrefix), 0);

        context.setRefCountableRegistry(&second);
        EXPECT_EQ(context.refCountableRegistry(), registry);
        EXPECT_EQ(capture.countLinesContaining("LibContext refCountableRegistry has already been set."), 1);

        context.setRefCountableRegistry(registry); // the same one again is a second setting too
        EXPECT_EQ(capture.countLinesContaining(kReportPrefix), 2);
        EXPECT_TRUE(log.empty());
    }
    EXPECT_EQ(log, (std::vector<RegistryCall>{{RegistryCall::Kind::registryDeleted, nullptr, 0}}));
    EXPECT_TRUE(secondLog.empty()); // dropped without any call on it
}

// Readers on other threads see either no registry or the whole one, and the name before or after.
TEST(LibContext, NameAndRegistryAreSafeToReadWhileBeingSet)
{
    std::vector<RegistryCall> log;
    LibContext context;
    std::thread reader([&] {
        for (int i = 0; i < 1000; ++i) {
            const std::string name = context.name();
            EXPECT_TRUE(name == "unnamed_lib_context" || name == "a_longer_name_than_the_small_string_buffer");
            context.refCountableRegistry();
        }
    });
    context.setName("a_longer_name_than_the_small_string_buffer");
    context.setRefCountableRegistry(new RecordingRegistry(&log));
    reader.join();
    EXPECT_EQ(context.name(), "a_longer_name_than_the_small_string_buffer");
}

TEST(LibContext, ActiveContextIsTheLibrarysUnlessATestOverridesIt)
{
    LibContext context;
    context.setName("test_lib");
    {
        detail::ScopedActiveLibContext active(&context);
        EXPECT_EQ(detail::activeLibContextName(), "test_lib");
    }
    EXPECT_EQ(detail::activeLibContextName(), libContext().name());
}

class TestOptionMap : public RefCountable<IOptionMap>
{
public:
    using Pair = std::pair<const char*, const char*>;
    explicit TestOptionMap(std::vector<Pair> pairs)
        : m_pairs(std::move(pairs))
    {}

    int32_t count() const override { return static_cast<int32_t>(m_pairs.size()); }
    const char* keyAt(int32_t index) const override { return inRange(index) ? m_pairs[index].first : nullptr; }
    const char* valueAt(int32_t index) const override { return inRange(index) ? m_pairs[index].second : nullptr; }
    const char* valueOf(const char*) const override { return nullptr; }

private:
    bool inRange(int32_t index) const { return index >= 0 && index < count(); }
    std::vector<Pair> m_pairs;
};

TEST(LibContext, UnitTestOptionsAreReplacedByEachMap)
{
    using Options = std::map<std::string, std::string>;
    struct Row
    {
        const char* name;
        std::optional<std::vector<TestOptionMap::Pair>> pairs; //< nullopt: a null map
        Options expected;
    };
    // The rows run in order: each starts from the options that the previous one left.
    const std::vector<Row> rows{
        {"pairs in order", std::vector<TestOptionMap::Pair>{{"a", "1"}, {"b", "2"}}, {{"a", "1"}, {"b", "2"}}},
        {"null map changes nothing", std::nullopt, {{"a", "1"}, {"b", "2"}}},
        {"repeated key keeps the first value",
         std::vector<TestOptionMap::Pair>{{"k", "v1"}, {"k", "v2"}},
         {{"k", "v1"}}},
        {"null key or value skipped",
         std::vector<TestOptionMap::Pair>{{nullptr, "x"}, {"y", nullptr}, {"z", "3"}},
         {{"z", "3"}}},
        {"empty map empties", std::vector<TestOptionMap::Pair>{}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.pairs) {
            const auto map = makePtr<TestOptionMap>(*row.pairs);
            vornSetUnitTestOptions(map.get());
        } else {
            vornSetUnitTestOptions(nullptr);
        }
        EXPECT_EQ(unitTestOptions(), row.expected);
    }
}

} // namespace
} // namespace vorn::sdk::test
