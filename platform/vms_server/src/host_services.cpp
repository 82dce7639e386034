#include <vorn/vms_server/host_services.h>

#include <chrono>
#include <utility>

namespace vorn::vms_server {

HostServices::HostServices()
    : m_clock(&HostServices::systemTimeMs)
{}

void HostServices::setClock(Clock clock)
{
    const ClockKind kind = clock ? ClockKind::function : ClockKind::system;
    if (!clock)
        clock = &HostServices::systemTimeMs;
    const std::lock_guard lock(m_clockMutex);
    m_clock = std::move(clock);
    m_clockKind.store(kind, std::memory_order_release);
}

void HostServices::setServerTimeMs(int64_t timeMs)
{
    const std::lock_guard lock(m_clockMutex);
    m_clock = [timeMs] { return timeMs; };
    m_stoppedTimeMs.store(timeMs, std::memory_order_relaxed);
    m_clockKind.store(ClockKind::stopped, std::memory_order_release);
}

int64_t HostServices::serverTimeMs() const
{
    switch (m_clockKind.load(std::memory_order_acquire)) {
    case ClockKind::system:
        return systemTimeMs();
    case ClockKind::stopped:
        return m_stoppedTimeMs.load(std::memory_order_relaxed);
    case ClockKind::function:
        break;
    }
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
