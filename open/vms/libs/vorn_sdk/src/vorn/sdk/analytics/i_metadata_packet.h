// Metadata packets a plugin hands to the server: event and object packets (a timestamp, a duration,
// flags and ordered items) and best-shot packets (a track's best image).
//
// Flags are passed to the server unchanged; bit 0 (kTimestampFromDeviceFlag) says that the
// timestamp came from the camera's own data rather than the server's clock.
#pragma once

#include <cstdint>

#include <vorn/sdk/analytics/i_data_packet.h>
#include <vorn/sdk/analytics/i_metadata.h>

namespace vorn::sdk::analytics {

inline constexpr int32_t kTimestampFromDeviceFlag = 1;

class IMetadataPacket : public Interface<IMetadataPacket, IDataPacket>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IMetadataPacket"};
};

class ICompoundMetadataPacket : public Interface<ICompoundMetadataPacket, IMetadataPacket>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::ICompoundMetadataPacket"};

    virtual int64_t durationUs() const = 0;
    virtual int32_t itemCount() const = 0;
    /** The item at index, retained for the caller, or null outside [0, itemCount). */
    virtual const IMetadata* getItem(int32_t index) const = 0;
};

class IObjectMetadataPacket0 : public Interface<IObjectMetadataPacket0, ICompoundMetadataPacket>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IObjectMetadataPacket"};
};

class IObjectMetadataPacket : public Interface<IObjectMetadataPacket, IObjectMetadataPacket0>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IObjectMetadataPacket1"};

    virtual int32_t flags() const = 0;
};

class IEventMetadataPacket0 : public Interface<IEventMetadataPacket0, ICompoundMetadataPacket>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IEventMetadataPacket"};
};

class IEventMetadataPacket : public Interface<IEventMetadataPacket, IEventMetadataPacket0>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IEventMetadataPacket1"};

    virtual int32_t flags() const = 0;
};

class IObjectTrackBestShotPacket0 : public Interface<IObjectTrackBestShotPacket0, IMetadataPacket>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IObjectTrackBestShotPacket"};

    virtual void getTrackId(Uuid* outValue) const = 0;
    virtual void getBoundingBox(BoundingBox* outValue) const = 0;
};

class IObjectTrackBestShotPacket1 : public Interface<IObjectTrackBestShotPacket1, IObjectTrackBestShotPacket0>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IObjectTrackBestShotPacket1"};

    virtual const char* imageUrl() const = 0;
    /** Null while there are no image bytes. */
    virtual const char* imageData() const = 0;
    virtual int32_t imageDataSize() const = 0;
    virtual const char* imageDataFormat() const = 0;
    virtual const IAttribute* getAttribute(int32_t index) const = 0;
    virtual int32_t attributeCount() const = 0;
};

class IObjectTrackBestShotPacket : public Interface<IObjectTrackBestShotPacket, IObjectTrackBestShotPacket1>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IObjectTrackBestShotPacket2"};

    virtual int32_t flags() const = 0;
};

} // namespace vorn::sdk::analytics
