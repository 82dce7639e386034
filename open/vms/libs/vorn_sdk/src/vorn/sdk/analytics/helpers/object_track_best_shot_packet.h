// ObjectTrackBestShotPacket: the best image of one object track, as a URL or as encoded bytes with
// their format, plus the object's box and attributes. Filled by one thread, read-only once handed to
// the server's metadata receiver.
//
//     auto bestShot = makePtr<ObjectTrackBestShotPacket>(trackId, timestampUs, box);
//     bestShot->setImage("image/jpeg", std::move(jpegBytes));
//     receiver->receiveMetadata(bestShot.get());
//
// The interface reports the image size as int32, so images of kMaxImageDataSize bytes and more are
// refused (reported, and the packet keeps no image) rather than truncated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <vorn/sdk/analytics/bounding_box.h>
#include <vorn/sdk/analytics/i_metadata_packet.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/helpers/ref_countable.h>
#include <vorn/sdk/ptr.h>
#include <vorn/sdk/uuid.h>

namespace vorn::sdk::analytics {

class ObjectTrackBestShotPacket : public RefCountable<IObjectTrackBestShotPacket>
{
public:
    /** One past the largest image: imageDataSize() is an int32. */
    static constexpr size_t kMaxImageDataSize = size_t{1} << 31;

    explicit ObjectTrackBestShotPacket(Uuid trackId, int64_t timestampUs = -1, BoundingBox boundingBox = {});

    int64_t timestampUs() const override { return m_timestampUs; }
    /** Writes nothing to a null outValue. */
    void getTrackId(Uuid* outValue) const override;
    /** Writes nothing to a null outValue. */
    void getBoundingBox(BoundingBox* outValue) const override;
    const char* imageUrl() const override { return m_imageUrl.c_str(); }
    /** Null while there are no image bytes. */
    const char* imageData() const override;
    int32_t imageDataSize() const override;
    const char* imageDataFormat() const override { return m_imageDataFormat.c_str(); }
    /** Retained for the caller, or null outside [0, attributeCount). */
    const IAttribute* getAttribute(int32_t index) const override;
    int32_t attributeCount() const override;
    int32_t flags() const override { return m_flags; }

    void setTrackId(const Uuid& trackId) { m_trackId = trackId; }
    void setTimestampUs(int64_t timestampUs) { m_timestampUs = timestampUs; }
    void setBoundingBox(const BoundingBox& boundingBox) { m_boundingBox = boundingBox; }
    void setFlags(int32_t flags) { m_flags = flags; }
    void setImageUrl(std::string imageUrl) { m_imageUrl = std::move(imageUrl); }
    void setImageDataFormat(std::string imageDataFormat) { m_imageDataFormat = std::move(imageDataFormat); }

    /** An image that is too large is reported and leaves the packet without image bytes. */
    void setImageData(std::vector<char> imageData);

    /** Format and bytes together; an image that is too large leaves the packet without either. */
    void setImage(std::string imageDataFormat, std::vector<char> imageData);

    /** Appends the attribute, taking over the argument's reference; null is reported and not added. */
    void addAttribute(Ptr<Attribute> attribute);
    void addAttributes(const std::vector<Ptr<Attribute>>& attributes);

    /** Whether an image of this many bytes can be carried; reports the failed check when not. */
    static bool checkImageDataSize(size_t size);

private:
    Uuid m_trackId;
    int32_t m_flags = 0;
    int64_t m_timestampUs = -1;
    BoundingBox m_boundingBox;
    std::string m_imageUrl;
    std::vector<char> m_imageData;
    std::string m_imageDataFormat;
    std::vector<Ptr<Attribute>> m_attributes;
};

} // namespace vorn::sdk::analytics
