// Log statements that write nothing: the parsers and channels are full of detail statements (level 5
// and 6) that run for every frame while the server logs at level 4, so their cost when off is paid on
// every hot path.
//
// - Disabled: the statement's level is above maxLevel(). It must cost no more than the level test
//   itself and allocate nothing (no tag, no argument, no text).
// - Enabled, declined: maxLevel() lets the statement through but the logger takes only up to level 4.
//   The tag is built (the logger is asked by tag), the message text is not.
// - Peer text: the quote that a written statement makes of a camera's body (PeerText). Bodies without
//   anything to escape are the common case and must cost about what decoding their UTF-8 costs.
#include <algorithm>
#include <memory>
#include <string>

#include <QtCore/QString>

#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/utils/log/capturing_logger.h>
#include <vorn/utils/log/log.h>

#include "bench_support.h"

namespace {

using vorn::bench::AllocationMeter;
using vorn::utils::log::Level;

// Stands for a channel: its log tag carries a connection description.
class Channel
{
public:
    QString logTagSuffix() const { return m_suffix; }

    void logAddressChange(const std::string& oldAddress, int port) const
    {
        VN_LOG(5, this, "Setting address %1 -> %2", oldAddress, port);
    }

private:
    QString m_suffix = QStringLiteral("Addr 192.0.2.10:8214 connected local addr 192.0.2.1:50312");
};

// Installs a main logger and a maximum level for one benchmark and puts the previous ones back.
class ScopedLogging
{
public:
    ScopedLogging(Level maxLevel, Level loggerLevel)
        : m_previousMaxLevel(vorn::utils::log::maxLevel())
        , m_previousLogger(
              vorn::utils::log::setMainLogger(std::make_shared<vorn::utils::log::CapturingLogger>(loggerLevel)))
    {
        vorn::utils::log::setMaxLevel(maxLevel);
    }

    ~ScopedLogging()
    {
        vorn::utils::log::setMaxLevel(m_previousMaxLevel);
        vorn::utils::log::setMainLogger(m_previousLogger);
    }

    ScopedLogging(const ScopedLogging&) = delete;
    ScopedLogging& operator=(const ScopedLogging&) = delete;

private:
    const Level m_previousMaxLevel;
    const std::shared_ptr<vorn::utils::log::AbstractLogger> m_previousLogger;
};

const std::string kAddress = "192.0.2.10:8214";

void disabledStatement(benchmark::State& state)
{
    const ScopedLogging logging(Level::info, Level::info);
    const Channel channel;
    AllocationMeter allocations(state);
    for (auto _ : state) {
        channel.logAddressChange(kAddress, 8215);
        benchmark::ClobberMemory();
    }
}

void levelTestAlone(benchmark::State& state)
{
    const ScopedLogging logging(Level::info, Level::info);
    AllocationMeter allocations(state);
    for (auto _ : state) {
        bool wanted = static_cast<int>(vorn::utils::log::maxLevel()) >= 5;
        benchmark::DoNotOptimize(wanted);
        benchmark::ClobberMemory();
    }
}

void declinedStatement(benchmark::State& state)
{
    const ScopedLogging logging(Level::verbose, Level::info);
    const Channel channel;
    AllocationMeter allocations(state);
    for (auto _ : state) {
        channel.logAddressChange(kAddress, 8215);
        benchmark::ClobberMemory();
    }
}

// A camera's reply as the detail statements quote it: JSON, ASCII, nothing to escape.
std::string jsonBody()
{
    return R"({"Response":{"ResponseURL":"/LAPI/V1.0/System/Event/Subscription","CreatedID":-1,)"
           R"("ResponseCode":0,"SubResponseCode":0,"ResponseString":"Succeed","StatusCode":0,)"
           R"("StatusString":"Succeed","Data":{"ID":7,"Reference":"http://192.0.2.10:80/LAPI/V1.0/)"
           R"(System/Event/Notification/7","CurrentTime":1700000000,"TerminationTime":1700000060}}})";
}

// A plate and place names as a camera sends them: two- and three-byte UTF-8 characters, nothing to escape.
std::string utf8Body()
{
    std::string body;
    while (body.size() < 300)
        body += "\"Plate\":\"\xD0\x90\xD0\x92 123 \xD0\x9A\",\"Place\":\"Stra\xC3\x9F"
                "e \xE2\x82\xAC\",";
    return body;
}

void quote(benchmark::State& state, const std::string& body)
{
    AllocationMeter allocations(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(vorn::log_support::PeerText(body).toString());
}

void decode(benchmark::State& state, const std::string& body, std::size_t limit)
{
    AllocationMeter allocations(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(QString::fromUtf8(body.data(), static_cast<int>(std::min(body.size(), limit))));
}

const bool kRegistered = [] {
    vorn::bench::registerComparison(
        {"Log statement", "disabled: level 5 while the maximum is 4", "the level test alone"}, disabledStatement,
        levelTestAlone);
    vorn::bench::registerComparison(
        {"Log statement", "enabled, logger declines: maximum 6, logger takes up to 4", "the same statement disabled"},
        declinedStatement, disabledStatement);

    constexpr std::size_t kWhole = std::string::npos;
    vorn::bench::registerComparison(
        {"Peer text", "JSON reply of 330 B, nothing to escape", "decoding its UTF-8 alone"},
        [](benchmark::State& state) { quote(state, jsonBody()); },
        [](benchmark::State& state) { decode(state, jsonBody(), kWhole); });
    vorn::bench::registerComparison(
        {"Peer text", "UTF-8 text of 300 B, nothing to escape", "decoding its UTF-8 alone"},
        [](benchmark::State& state) { quote(state, utf8Body()); },
        [](benchmark::State& state) { decode(state, utf8Body(), kWhole); });
    vorn::bench::registerComparison(
        {"Peer text", "1 MiB body, quoted up to the limit", "decoding 1 KiB of it alone"},
        [](benchmark::State& state) { quote(state, std::string(1 << 20, 'x')); },
        [](benchmark::State& state) {
            decode(state, std::string(1 << 20, 'x'), vorn::log_support::PeerText::kMaxQuotedBytes);
        });
    return true;
}();

} // namespace
