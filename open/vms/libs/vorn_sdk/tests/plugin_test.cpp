#include <atomic>
#include <functional>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/kit/utils.h>
#include <vorn/sdk/analytics/helpers/plugin.h>
#include <vorn/sdk/helpers/error.h>
#include <vorn/sdk/helpers/lib_context.h>

#include "debug_capture.h"

namespace vorn::sdk::test {
namespace {

using namespace vorn::sdk::analytics;

constexpr const char* kDoObtainEngineMessage = "Either doObtainEngine() should be overridden, or the constructor "
                                               "with createEngine argument (deprecated) should be called.";

class TestEngine : public RefCountable<IEngine>
{
public:
    void getManifest(Result<const IString*>*) const override {}
    bool supportsDevice(const IDeviceDescription*) const override { return false; }
    void createDeviceAgent(Result<IDeviceAgent*>*, const IDeviceDescription*) override {}
};

class TestHostServices : public RefCountable<IHostServices>
{
public:
    int64_t serverTimeMs() const override { return 42; }
};

int32_t countOf(const IRefCountable* object)
{
    object->retain();
    return object->release();
}

// Every test runs against a named context of its own and captures the debug stream.
class PluginTest : public ::testing::Test
{
protected:
    PluginTest() { m_context.setName("test_lib"); }

    LibContext m_context;
    detail::ScopedActiveLibContext m_active{&m_context};
    DebugCapture m_capture;
};

struct ManifestResult
{
    Ptr<const IString> value;
    Ptr<const IString> message;
    ErrorCode code;
};

ManifestResult manifestOf(const Plugin& plugin)
{
    Result<const IString*> result;
    plugin.getManifest(&result);
    return {toPtr(result.value), toPtr(result.error.errorMessage), result.error.errorCode};
}

struct EngineResult
{
    Ptr<IEngine> value;
    Ptr<const IString> message;
    ErrorCode code;
};

EngineResult engineOf(Plugin& plugin)
{
    Result<IEngine*> result;
    plugin.obtainEngine(&result);
    return {toPtr(result.value), toPtr(result.error.errorMessage), result.error.errorCode};
}

TEST_F(PluginTest, LogsCreatedAndDestroyedWithTheContextName)
{
    Plugin* address = nullptr;
    {
        const auto plugin = makePtr<Plugin>();
        address = plugin.get();
        EXPECT_EQ(m_capture.countLinesContaining("Created IPlugin @0x"), 1);
        EXPECT_EQ(m_capture.countLinesContaining("Destroyed"), 0);
    }
    const auto lines = m_capture.lines();
    ASSERT_EQ(lines.size(), 2U) << m_capture.text();
    const std::string suffix = " IPlugin @" + kit::utils::toString(static_cast<const void*>(address)) + " of test_lib";
    EXPECT_NE(lines[0].find("Created" + suffix), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("Destroyed" + suffix), std::string::npos) << lines[1];
}

class ManifestPlugin : public Plugin
{
protected:
    std::string manifestString() const override { return R"({"id":"derived"})"; }
};

class ThrowingManifestPlugin : public Plugin
{
protected:
    std::string manifestString() const override { throw std::runtime_error("manifest broken"); }
};

TEST_F(PluginTest, ManifestComesFromTheTextOrTheOverride)
{
    struct Row
    {
        const char* name;
        Ptr<Plugin> plugin;
        ErrorCode code;
        const char* expected; //< The value's text, or the message's on failure.
        int reports;
    };
    const Row rows[] = {
        {"given text", makePtr<Plugin>(R"({"id":"given"})", nullptr), ErrorCode::noError, R"({"id":"given"})", 0},
        {"empty text falls back", makePtr<Plugin>("", nullptr), ErrorCode::noError, "", 1},
        {"override", Ptr<Plugin>(new ManifestPlugin()), ErrorCode::noError, R"({"id":"derived"})", 0},
        {"override throws", Ptr<Plugin>(new ThrowingManifestPlugin()), ErrorCode::unexpectedFailure, "manifest broken",
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_capture.clear();
        const ManifestResult result = manifestOf(*row.plugin);
        EXPECT_EQ(result.code, row.code);
        if (row.code == ErrorCode::noError) {
            ASSERT_TRUE(result.value);
            EXPECT_STREQ(result.value->text(), row.expected);
            EXPECT_EQ(countOf(result.value.get()), 1);
            EXPECT_FALSE(result.message);
        } else {
            EXPECT_FALSE(result.value);
            ASSERT_TRUE(result.message);
            EXPECT_STREQ(result.message->text(), row.expected);
            EXPECT_EQ(m_capture.countLinesContaining(std::string("ERROR: test_lib: ") + row.expected), 1);
        }
        EXPECT_EQ(m_capture.countLinesContaining("manifestString() should be overridden"), row.reports);
    }
}

TEST_F(PluginTest, FactoryIsCalledForEveryEngine)
{
    int calls = 0;
    Plugin* seen = nullptr;
    const auto plugin = makePtr<Plugin>("{}", [&](Plugin* p) -> IEngine* {
        ++calls;
        seen = p;
        return new TestEngine();
    });
    const EngineResult first = engineOf(*plugin);
    const EngineResult second = engineOf(*plugin);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(seen, plugin.get());
    ASSERT_TRUE(first.value);
    ASSERT_TRUE(second.value);
    EXPECT_NE(first.value, second.value);
    EXPECT_EQ(first.code, ErrorCode::noError);
    EXPECT_FALSE(first.message);
    EXPECT_EQ(countOf(first.value.get()), 1); // the caller's reference only
    EXPECT_EQ(m_capture.countLinesContaining("ERROR: "), 0);
}

class FailingEnginePlugin : public Plugin
{
public:
    explicit FailingEnginePlugin(Result<IEngine*> result)
        : m_result(result)
    {}

protected:
    Result<IEngine*> doObtainEngine() override { return m_result; }

private:
    Result<IEngine*> m_result;
};

// Engine failures: the result the server gets, and the one "ERROR: " line that says why.
TEST_F(PluginTest, EngineFailuresBecomeResultsAndOneErrorLine)
{
    struct Row
    {
        const char* name;
        std::function<Ptr<Plugin>()> make;
        ErrorCode code;
        const char* message; //< null: no message
        const char* errorLine;
    };
    const std::vector<Row> rows{
        {"factory returns null", [] { return makePtr<Plugin>("{}", [](Plugin*) -> IEngine* { return nullptr; }); },
         ErrorCode::generalFailure, "Unable to create Engine", "ERROR: test_lib: Unable to create Engine"},
        {"no factory, no override", [] { return makePtr<Plugin>(); }, ErrorCode::unexpectedFailure,
         kDoObtainEngineMessage, "ERROR: test_lib: Either doObtainEngine() should be overridden"},
        {"factory throws std::exception",
         [] { return makePtr<Plugin>("{}", [](Plugin*) -> IEngine* { throw std::runtime_error("no camera"); }); },
         ErrorCode::unexpectedFailure, "no camera", "ERROR: test_lib: no camera"},
        {"factory throws anything", [] { return makePtr<Plugin>("{}", [](Plugin*) -> IEngine* { throw 7; }); },
         ErrorCode::unexpectedFailure, "Unknown exception occurred", "ERROR: test_lib: Unknown exception occurred"},
        {"override fails with a message",
         [] { return Ptr<Plugin>(new FailingEnginePlugin(error(ErrorCode::networkFailure, "unreachable"))); },
         ErrorCode::networkFailure, "unreachable", "ERROR: test_lib: unreachable"},
        {"override fails without a message",
         [] { return Ptr<Plugin>(new FailingEnginePlugin(Error(ErrorCode::generalFailure, nullptr))); },
         ErrorCode::generalFailure, nullptr, "ERROR: test_lib: error code -100"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Ptr<Plugin> plugin = row.make();
        m_capture.clear();
        const EngineResult result = engineOf(*plugin);
        EXPECT_EQ(result.code, row.code);
        EXPECT_FALSE(result.value);
        if (row.message) {
            ASSERT_TRUE(result.message);
            EXPECT_STREQ(result.message->text(), row.message);
        } else {
            EXPECT_FALSE(result.message);
        }
        EXPECT_EQ(m_capture.countLinesContaining("ERROR: "), 1) << m_capture.text();
        EXPECT_EQ(m_capture.countLinesContaining(row.errorLine), 1) << m_capture.text();
    }
}

TEST_F(PluginTest, HostServicesAreRetainedAndReplaced)
{
    auto plugin = makePtr<Plugin>("{}", nullptr);
    const auto first = makePtr<TestHostServices>();
    const auto second = makePtr<TestHostServices>();
    EXPECT_FALSE(plugin->hostServices());

    plugin->attachHostServices(first.get());
    EXPECT_EQ(countOf(first.get()), 2);
    plugin->attachHostServices(first.get());
    EXPECT_EQ(countOf(first.get()), 2);
    {
        const Ptr<IHostServices> copy = plugin->hostServices();
        EXPECT_EQ(copy.get(), first.get());
        EXPECT_EQ(countOf(first.get()), 3);
    }

    plugin->attachHostServices(second.get());
    EXPECT_EQ(countOf(first.get()), 1);
    EXPECT_EQ(countOf(second.get()), 2);
    plugin->attachHostServices(nullptr);
    EXPECT_EQ(countOf(second.get()), 1);
    EXPECT_FALSE(plugin->hostServices());

    plugin->attachHostServices(second.get());
    plugin.reset(); // the server's last release: the plugin lets go of its services
    EXPECT_EQ(countOf(second.get()), 1);
}

// An engine thread reads the host services while the server attaches new ones: each reader holds a
// reference of its own, so a replaced object cannot die under it (AddressSanitizer checks).
TEST_F(PluginTest, HostServicesCanBeReadWhileReplaced)
{
    const auto plugin = makePtr<Plugin>("{}", nullptr);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load()) {
            if (const Ptr<IHostServices> services = plugin->hostServices()) {
                EXPECT_EQ(services->serverTimeMs(), 42);
            }
        }
    });
    for (int i = 0; i < 2000; ++i) {
        const auto services = makePtr<TestHostServices>();
        plugin->attachHostServices(services.get());
    }
    done = true;
    reader.join();
}

// A debug stream that fails every write and throws, as a stream with exceptions switched on does when
// its disk is full.
class ThrowingDebugStream
{
public:
    ThrowingDebugStream()
    {
        m_stream.exceptions(std::ios::badbit);
        m_previous = kit::debug::setStream(&m_stream);
    }
    ~ThrowingDebugStream() { kit::debug::setStream(m_previous); }

private:
    struct FailingBuffer : std::streambuf
    {
        int overflow(int) override { return traits_type::eof(); }
        std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
    };

    FailingBuffer m_buffer;
    std::ostream m_stream{&m_buffer};
    std::ostream* m_previous = nullptr;
};

// The life-cycle lines are written from the constructor and the destructor, which the server reaches
// through the creation entry point and release(): a failing log line must not end the server process
// (an exception from a destructor would) nor cross into it.
TEST_F(PluginTest, FailingDebugStreamBreaksNothing)
{
    const ThrowingDebugStream throwing;
    auto* plugin = new Plugin();

    Result<const IString*> manifest;
    plugin->getManifest(&manifest);
    const auto manifestText = toPtr(manifest.value);
    const auto manifestMessage = toPtr(manifest.error.errorMessage);
    EXPECT_TRUE(manifestText || manifest.error.errorCode != ErrorCode::noError) << "the record is filled";

    Result<IEngine*> engine;
    plugin->obtainEngine(&engine);
    const auto engineMessage = toPtr(engine.error.errorMessage);
    EXPECT_EQ(engine.error.errorCode, ErrorCode::unexpectedFailure);
    EXPECT_EQ(engine.value, nullptr);

    EXPECT_EQ(plugin->release(), 0);
}

TEST_F(PluginTest, NullResultPointerIsIgnored)
{
    const auto plugin = makePtr<Plugin>();
    m_capture.clear();
    plugin->getManifest(nullptr);
    plugin->obtainEngine(nullptr);
    EXPECT_EQ(m_capture.text(), "");
}

} // namespace
} // namespace vorn::sdk::test
