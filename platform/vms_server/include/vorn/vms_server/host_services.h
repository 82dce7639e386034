// HostServices: the server's IHostServices, whose clock a test or the host tool can set.
//
//     auto services = sdk::makePtr<HostServices>();          // the system clock
//     services->setClock([&] { return fakeNowMs; });          // or a clock of the test's own
//     plugin->attachHostServices(services.get());
//
// The clock may be read by plugin threads at any time, so replacing it is guarded by a mutex; a clock
// function itself must be callable from any thread. The system clock and a stopped one are read
// without the mutex: plugins read the clock for every event they report.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include <vorn/sdk/i_host_services.h>
#include <vorn/vms_server/server_ref_countable.h>

namespace vorn::vms_server {

class HostServices final : public ServerRefCountable<sdk::IHostServices>
{
public:
    using Clock = std::function<int64_t()>;

    /** Starts on the system clock. */
    HostServices();

    /** Replaces the clock; an empty function goes back to the system clock. */
    void setClock(Clock clock);

    /** Stops the clock at a fixed time. */
    void setServerTimeMs(int64_t timeMs);

    int64_t serverTimeMs() const override;

    static int64_t systemTimeMs();

private:
    ~HostServices() override = default;

    enum class ClockKind { system, stopped, function };

    mutable std::mutex m_clockMutex;
    Clock m_clock; //< Read for ClockKind::function only.
    std::atomic<int64_t> m_stoppedTimeMs{0};
    std::atomic<ClockKind> m_clockKind{ClockKind::system}; //< Stored last, under m_clockMutex.
};

} // namespace vorn::vms_server
