// The records that cross the notification processors' interface: the event and object types a processor
// publishes in the device agent manifest, and the plain events and objects it emits.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <set>

#include <QtCore/QString>

#include <vorn/sdk/analytics/bounding_box.h>
#include <vorn/sdk/uuid.h>
#include <vorn/utils/url.h>

namespace vorn::vms_server_plugins::analytics::axis {

struct EventType
{
    QString id;
    QString name;
    bool isProlonged = false; //< an event with a start and an end: "stateDependent" in the manifest

    bool operator==(const EventType&) const = default;
};

struct ObjectType
{
    QString baseId;
    QString id;
    std::set<QString> inheritedAttributeNames;

    bool operator==(const ObjectType&) const = default;
};

struct Event
{
    int64_t timestamp = 0; //< microseconds since the epoch
    QString typeId;
    std::optional<vorn::sdk::Uuid> trackId;
    std::optional<QString> key;
    std::optional<QString> description;
    std::optional<bool> isActive; //< start (true) or end (false) of a prolonged event; none for an instant one
    std::map<QString, QString> attributes;
};

struct Object
{
    struct BestShot
    {
        std::optional<vorn::utils::Url> imageUrl; //< none: the best shot is the object's box in the frame
    };

    int64_t timestamp = 0; //< microseconds since the epoch
    QString typeId;
    vorn::sdk::Uuid trackId;
    vorn::sdk::analytics::BoundingBox boundingBox;
    std::map<QString, QString> attributes;
    std::optional<BestShot> bestShot;
};

/**
 * Whether the server has selected a type: written by the thread that passes the server's selection, read
 * by the threads that hand over data packets, so it is atomic; copies take the value.
 */
class NeededFlag
{
public:
    NeededFlag() = default;
    NeededFlag(const NeededFlag& other)
        : m_value(other.get())
    {}
    NeededFlag& operator=(const NeededFlag& other)
    {
        set(other.get());
        return *this;
    }

    bool get() const { return m_value.load(std::memory_order_acquire); }
    void set(bool value) { m_value.store(value, std::memory_order_release); }

private:
    std::atomic<bool> m_value{false};
};

} // namespace vorn::vms_server_plugins::analytics::axis
