#include <vorn/vms_server/host_services.h>

#include <chrono>
#include <utility>

namespace vorn::vms_server {

HostServices::HostServices()
    : m_clock(&HostServices::systemTimeMs)
{}

void HostServices::setClock(Clock clock)
{
    if (!clock)
        clock = &HostServices::systemTimeMs;
    const std::lock_guard lock(m_clockMutex);
    m_clock = std::move(clock);
}

void HostServices::setServerTimeMs(int64_t timeMs)
{
    setClock([timeMs] { return timeMs; });
}

int64_t HostServices::serverTimeMs() const
{
    Clock clock;
    {
        const std::lock_guard lock(m_clockMutex);
        clock = m_clock;
    }
    return clock();
}

int64_t HostServices::systemTimeMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace vorn::vms_server
