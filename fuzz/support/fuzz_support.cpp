#include "fuzz_support.h"

#include <atomic>
#include <memory>

#include <vorn/utils/assert.h>
#include <vorn/utils/log/abstract_logger.h>
#include <vorn/utils/log/log.h>

namespace vorn::fuzz {

namespace {

// Takes every message, so that statements build their texts, and keeps none of them.
class DiscardingLogger : public vorn::utils::log::AbstractLogger
{
public:
    DiscardingLogger()
        : AbstractLogger(vorn::utils::log::Level::verbose)
    {}

    void log(vorn::utils::log::Level, const vorn::utils::log::Tag& tag, const QString& message) override
    {
        // Touch the texts, as a real logger would, so that a broken one shows up under the sanitizers.
        m_characters.fetch_add(static_cast<std::uint64_t>(tag.toString().size() + message.size()),
                               std::memory_order_relaxed);
    }

private:
    std::atomic<std::uint64_t> m_characters{0};
};

std::atomic<bool> g_assertionAnswer{false};
std::atomic<std::uint64_t> g_assertions{0};

void installOnce()
{
    static const bool installed = [] {
        vorn::utils::log::setMainLogger(std::make_shared<DiscardingLogger>());
        vorn::utils::log::setMaxLevel(vorn::utils::log::Level::verbose);
        vorn::utils::setAssertionHandler([](bool, const QString& text) {
            g_assertions.fetch_add(1, std::memory_order_relaxed);
            static_cast<void>(text.size());
            return g_assertionAnswer.load(std::memory_order_relaxed);
        });
        return true;
    }();
    static_cast<void>(installed);
}

} // namespace

void prepare(bool assertionAnswer)
{
    installOnce();
    g_assertionAnswer.store(assertionAnswer, std::memory_order_relaxed);
}

std::uint64_t assertionCount()
{
    return g_assertions.load(std::memory_order_relaxed);
}

} // namespace vorn::fuzz
