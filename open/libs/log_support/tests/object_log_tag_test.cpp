#include <gtest/gtest.h>

#include <vorn/log_support/object_log_tag.h>

#include "log_test_support.h"

namespace log_support_test {

class Engine
{
public:
    virtual ~Engine() = default;
};

// Identifies itself by its camera's host, which may still be unknown.
class DeviceAgent : public Engine
{
public:
    explicit DeviceAgent(QString host)
        : m_host(std::move(host))
    {}
    QString logTagSuffix() const { return m_host; }

private:
    QString m_host;
};

class HiddenSuffix
{
    QString logTagSuffix() const { return QStringLiteral("private"); }
};

namespace {

using vorn::log_support::objectLogTag;

QString hex(const void* p)
{
    return QString::number(reinterpret_cast<quintptr>(p), 16);
}

TEST(ObjectLogTag, forms)
{
    const Engine engine;
    const DeviceAgent agent(QStringLiteral("camera.local"));
    const DeviceAgent agentWithoutHost{QString()};
    const HiddenSuffix hidden;
    const Engine* agentAsEngine = &agent;

    struct Row
    {
        const char* name;
        QString actual;
        QString expected;
    };
    const Row rows[] = {
        {"plainObject", objectLogTag(&engine), "log_support_test::Engine(0x" + hex(&engine) + ")"},
        {"suffix", objectLogTag(&agent), "log_support_test::DeviceAgent(0x" + hex(&agent) + ", camera.local)"},
        {"emptySuffixLeavesNoSeparator", objectLogTag(&agentWithoutHost),
         "log_support_test::DeviceAgent(0x" + hex(&agentWithoutHost) + ")"},
        // The static type has no suffix member; the class name is still the run-time one.
        {"runTimeClassThroughBase", objectLogTag(agentAsEngine),
         "log_support_test::DeviceAgent(0x" + hex(agentAsEngine) + ")"},
        {"privateSuffixIsNotUsed", objectLogTag(&hidden), "log_support_test::HiddenSuffix(0x" + hex(&hidden) + ")"},
        {"nullGivesStaticClassAndZero", objectLogTag(static_cast<const Engine*>(nullptr)),
         "log_support_test::Engine(0x0)"},
        {"nullWithSuffixMemberHasNoSuffix", objectLogTag(static_cast<DeviceAgent*>(nullptr)),
         "log_support_test::DeviceAgent(0x0)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.actual, row.expected);
    }
}

TEST(ObjectLogTag, addressIsLowerCaseHexWithoutLeadingZeros)
{
    EXPECT_EQ(vorn::log_support::detail::makeObjectLogTag("C", 0x00ABCDEFull, QString()), "C(0xabcdef)");
    EXPECT_EQ(vorn::log_support::detail::makeObjectLogTag("C", 0xFFFFFFFFFFFFFFFFull, "s"), "C(0xffffffffffffffff, s)");
}

} // namespace
} // namespace log_support_test
