// Data packets: what the server passes into a consuming device agent (custom metadata, compressed
// video) and the base of the metadata packets a plugin hands back.
#pragma once

#include <cstdint>

#include <vorn/sdk/interface.h>

namespace vorn::sdk::analytics {

class IDataPacket : public Interface<IDataPacket>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::IDataPacket"};

    /** Microseconds since the epoch. */
    virtual int64_t timestampUs() const = 0;
};

/** A packet of the camera's metadata stream; found by asking an IDataPacket for its id. */
class ICustomMetadataPacket : public Interface<ICustomMetadataPacket, IDataPacket>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::ICustomMetadataPacket"};

    virtual const char* codec() const = 0;
    virtual const char* data() const = 0;
    virtual int32_t dataSize() const = 0;
};

/** An encoded video frame; found by asking an IDataPacket for its id. */
class ICompressedVideoPacket : public Interface<ICompressedVideoPacket, IDataPacket>
{
public:
    static constexpr InterfaceIds kInterfaceIds{"vorn::sdk::analytics::ICompressedVideoPacket1"};

    virtual const char* codec() const = 0;
    virtual const char* data() const = 0;
    virtual int32_t dataSize() const = 0;
};

} // namespace vorn::sdk::analytics
