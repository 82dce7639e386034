// ScaleCamera: one fake camera of the scale benchmark, as a plugin's scenario makes it. The benchmark
// runs many of them in a process of their own (CameraFarm) and drives them through this interface
// alone, so another plugin needs only its own camera class and scenario (see larkspur_scale.cpp):
//
//     class MyCamera final: public ScaleCamera
//     {
//         CameraDescription description() const override { return {.url = m_fake.url(), ...}; }
//         bool waitUntilLive(Deadline deadline) override { return m_fake.waitForSubscription(deadline); }
//         bool push(std::uint32_t sequence, TimePoint* sent) override { return m_fake.pushCarrying(sequence, sent); }
//     };
//
// The farm calls description() and waitUntilLive() from one thread; push() comes from a few driving
// threads at once, so it must be thread-safe. The camera may run threads of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vorn::bench::scale {

/** What the server knows of a camera before it asks the plugin for a device agent. */
struct CameraDescription
{
    std::string vendor;
    std::string model;
    std::string url;
    std::string login;
    std::string password;
    /** Device agent settings the server applies before it selects the metadata types (ports, ...). */
    std::vector<std::pair<std::string, std::string>> settings;
};

class ScaleCamera
{
public:
    using Deadline = std::chrono::steady_clock::time_point;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~ScaleCamera() = default;

    virtual CameraDescription description() const = 0;

    /** Waits until the plugin's live channel to this camera is up (registered, subscribed); false on time-out. */
    virtual bool waitUntilLive(Deadline deadline) = 0;

    /**
     * Sends one event whose metadata carries `sequence`, so that the receiver can tell which push it is
     * (the scenario's sequenceOf() reads it back). Returns once the bytes are written, with *sent set to
     * the time they went to the socket, as closely as the camera can tell (the latency starts there);
     * false when the camera has no live connection to send on.
     */
    virtual bool push(std::uint32_t sequence, TimePoint* sent) = 0;
};

} // namespace vorn::bench::scale
