// TcpDataMonitor: the base of the TCP push channels that a device agent opens to its camera (the
// video-analytics channel and the licence-plate channel).
//
// The device agent drives every channel through this base alone:
//
//     monitor->setAddress(SocketAddress(host, kVcaDefaultPort)); // stored; no reconnection
//     if (monitor->setNeededTypes(eventTypeIds, objectTypeIds))
//         monitor->start();                                       // connects in the background
//     ...
//     monitor->stop();                                            // synchronous
//
// Rules:
// - start(), stop(), setAddress() and the other operations of the device agent are called from the
//   server's threads, one at a time (the device agent serialises them). A derived class runs its
//   network work on its own I/O thread and calls the device agent back from there.
// - stop() is synchronous: after it returns no callback of the channel runs, so the device agent may
//   change what the callbacks read, or be destroyed.
// - isStarted() follows start() and stop() only; lost connections do not change it.
// - The address is written by setAddress() on a server thread while the channel's I/O thread may read
//   it for a connection attempt or a log tag; address() hands out a copy taken under a lock.
#pragma once

#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include <QtCore/QString>

#include <vorn/network/socket_address.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

class DeviceAgent;

class TcpDataMonitor
{
public:
    explicit TcpDataMonitor(DeviceAgent* deviceAgent);
    virtual ~TcpDataMonitor();

    TcpDataMonitor(const TcpDataMonitor&) = delete;
    TcpDataMonitor& operator=(const TcpDataMonitor&) = delete;

    /** Begins connecting to address() and keeps the channel up until stop(). */
    virtual void start();

    /** Synchronous: no callback of the channel runs after it returns. */
    virtual void stop();

    virtual bool isStarted() const;

    /** The device agent setting that holds this channel's port ("VCA.Port", "LPR.Port"). */
    virtual std::string portSettingName() const = 0;

    /** Takes the types the server needs now; true when this channel has anything to fetch for them. */
    virtual bool setNeededTypes(const std::set<std::string>& neededEventTypeIds,
                                const std::set<std::string>& neededObjectTypeIds) = 0;

    /** Stores the camera address for the next connection attempt; does not reconnect. */
    void setAddress(vorn::network::SocketAddress address);
    vorn::network::SocketAddress address() const;

    /** "Addr <address> <connected or not connected> local addr <address or N/A>", the log tag suffix. */
    QString connectionInfo() const;
    QString logTagSuffix() const { return connectionInfo(); }

protected:
    DeviceAgent* const m_deviceAgent; //< Owns this channel and outlives it.

private:
    mutable std::mutex m_addressMutex; //< Guards m_address.
    vorn::network::SocketAddress m_address;
    std::atomic<bool> m_started{false};
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
